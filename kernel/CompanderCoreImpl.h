#pragma once
// The fused stereo loop, written once over a small set of vector operations `S`: a group
// width W (4, 8 or 16 lanes), a vector type V and a lane-mask type M. Every lane sees
// exactly the operations, in exactly the order, of the per-sample band objects, so every
// width rounds alike. Where the loop takes a shorter road (a masked-off step that adds or
// subtracts +0, a max for a compare and select, a skipped multiplication by exactly 1), the
// result is the same for every value the state can hold: peaks and hold counts are never
// negative, never NaN, never -0, and products are never denormal while denormals are flushed.
//
// Included only by the per-instruction-set translation units, inside an unnamed namespace,
// after the definition of `S` and of `Sum`, the block transpose used for the band sums.

// Marks the last sample of a stage (no standard header here: these units share no inline code).
template <bool B>
struct LastSample {
    static constexpr bool value = B;
};

// The compander's factor from the detector's peak p: 1 + (1 - p) m below full scale (where the
// peak is its own clamp, so 1 - p is the inverted peak), 1 / p above it, kept at exactly 1.
// A group whose lanes all lie on one side of full scale, the common case, takes one of the two
// without a select; `loud` says whether they all lay above it last time, the side to try
// first.
template <class S>
inline typename S::V factorStep(typename S::V pk, typename S::V factor, typename S::V multiplier,
                                bool& loud) {
    using V = typename S::V;
    using M = typename S::M;
    const V one = S::set1(1.0f);
    if (loud) {
        if (S::all(S::cmpgt(pk, one))) return S::div(one, pk);
        loud = false;
    }
    const M under = S::cmplt(pk, one);
    const V rising = S::add(one, S::mul(S::sub(one, pk), multiplier));
    if (S::all(under)) return rising;
    const M over = S::cmpgt(pk, one);
    if (S::all(over)) {
        loud = true;
        return S::div(one, pk);
    }
    V f = S::blend(under, rising, factor);
    if (S::any(over)) f = S::maskDiv(f, over, one, pk);
    return f;
}

// The constants of one follower, for one group.
template <class S>
struct FollowerConstants {
    using V = typename S::V;
    V attackStep, releaseStep, negReleaseStep, holdReset;

    void load(const float* attack, const float* release, const float* reset, int o) {
        attackStep = S::load(attack + o);
        releaseStep = S::load(release + o);
        negReleaseStep = S::sub(S::zero(), releaseStep);
        holdReset = S::load(reset + o);
    }
};

// One follower step on one group: rise by a step when above the peak; otherwise count the
// hold down, then fall by a step, never below 0. Equal (or NaN) input leaves both alone.
// "hold - 1 <= 0" is tested as "hold <= 1" (the same for every float), so the test need not
// wait for the subtraction. A masked-off step adds or subtracts +0, which changes nothing,
// and adding the negated release step is subtracting it.
template <class S>
inline void followerStep(typename S::V x, typename S::V& peak, typename S::V& hold,
                         const FollowerConstants<S>& k) {
    using V = typename S::V;
    using M = typename S::M;
    const V zero = S::zero();
    const V one = S::set1(1.0f);
    const V a = S::abs(x);
    const M above = S::cmpgt(a, peak);
    const M below = S::cmplt(a, peak);
    const M expired = S::andMask(below, S::cmple(hold, one));
    if constexpr (S::kMaskRegisters) {
        peak = S::addIf(S::max(S::subIf(peak, expired, k.releaseStep), zero), above, k.attackStep);
        hold = S::blend(above, k.holdReset, S::max(S::subIf(hold, below, one), zero));
    } else {
        // A select costs three bitwise operations here, so the step is chosen first (rise and
        // fall never both apply) and added once; when above, the hold that is counted down is
        // +0 and the reset wins the max.
        const V step = S::bitOr(S::bitAnd(above, k.attackStep), S::bitAnd(expired, k.negReleaseStep));
        peak = S::maxNonNegative(S::add(peak, step), zero);
        hold = S::maxNonNegative(S::sub(S::andNot(above, hold), S::bitAnd(below, one)),
                                 S::bitAnd(above, k.holdReset));
    }
}

// The per-lane constants of one group side by side, so that a pass reaches them all from one
// pointer rather than through a pointer of its own per constant and group.
template <class S>
struct GroupConstants {
    using V = typename S::V;
    V q, w2, att, stageGain, bankGain2;            // filter bank
    V pre, multiplier, postGain, mix, oneMinusMix; // compander
    FollowerConstants<S> detector, output;

    void load(const CompanderLanes& l, int o) {
        q = S::load(l.q + o);
        w2 = S::load(l.w2 + o);
        att = S::load(l.att + o);
        stageGain = S::load(l.stageGain + o);
        bankGain2 = S::load(l.bankGain2 + o);
        pre = S::load(l.pre + o);
        detector.load(l.attackStep, l.releaseStep, l.holdReset, o);
        output.load(l.outAttackStep, l.outReleaseStep, l.outHoldReset, o);
        multiplier = S::load(l.multiplier + o);
        postGain = S::load(l.postGain + o);
        mix = S::load(l.mix + o);
        oneMinusMix = S::load(l.oneMinusMix + o);
    }
};

// The state one sample hands to the next is held in registers for a pass of P groups over a
// chunk; group p of a pass is group `first + p` counted over both channels, left first.
template <class S, int P>
struct Pass {
    using V = typename S::V;
    static constexpr int G = 32 / S::W; // groups per channel
    const CompanderLanes* channels;
    const GroupConstants<S>* constants;
    int first;

    int channel(int p) const { return (first + p) / G; }
    int offset(int p) const { return (first + p) % G * S::W; }
    const CompanderLanes& lanes(int p) const { return channels[channel(p)]; }
    const GroupConstants<S>& k(int p) const { return constants[first + p]; }
    void load(float* CompanderLanes::*field, V (&v)[P]) const {
        for (int p = 0; p < P; ++p) v[p] = S::load(lanes(p).*field + offset(p));
    }
    void store(float* CompanderLanes::*field, const V (&v)[P]) const {
        for (int p = 0; p < P; ++p) S::store(lanes(p).*field + offset(p), v[p]);
    }
};

// kInvert: 0 neither channel inverts, 1 both do, 2 each channel as its lanes say.
template <class S, bool kUnitStageGain, bool kFullMix, int kInvert>
void runCompanderCoreFor(const CompanderCoreArgs& args) {
    using V = typename S::V;
    constexpr int W = S::W;
    constexpr int G = 32 / W; // groups per channel
    // Groups per pass: enough to overlap the recursions, few enough for their state to stay in
    // registers; a pass lies within one channel or takes in both. A pass runs the filter bank
    // kLead samples ahead of the compander: the bank's recursion is a chain of dependent
    // operations that leaves most of the processor idle, and the compander's work, which does
    // not wait for it, fills the gaps. The output follower, which feeds nothing but the
    // meters, and the band sums then run over the chunk, each a pass of its own, so that the
    // follower's state stays out of the compander's registers.
    constexpr int P = S::P;
    constexpr int PM = S::PMeter;
    constexpr int kChunk = 64;
    constexpr int kLead = 8;
    static_assert((G % P == 0 || P == 2 * G) && (G % PM == 0 || PM == 2 * G) && kChunk % Sum::W == 0 &&
                  kLead <= kChunk);

    // Band outputs of one chunk and the bank's lead into the next, sample-major; summed with
    // samples in lanes once every group of the chunk is done (the inputs are read before any
    // output is written).
    alignas(64) float bands[2][kChunk + kLead][32];
    float* io[2] = {args.left, args.right};
    const int frames = args.frames;
    // Local copies: the vector stores may alias anything the caller can see, which would make
    // every pointer be read again after each of them.
    const CompanderLanes channels[2] = {args.channel[0], args.channel[1]};
    GroupConstants<S> constants[2 * G];
    for (int g = 0; g < 2 * G; ++g) constants[g].load(channels[g / G], g % G * W);

    // Sample n of the filter bank for group p of a pass, into row `row`.
    const auto bankStep = [&](const auto& pass, int p, V& low1, V& band1, int n, int row, auto last) {
        const int c = pass.channel(p);
        const int o = pass.offset(p);
        const GroupConstants<S>& k = pass.k(p);
        const V x = S::set1(io[c][n]);
        const V high = S::sub(S::sub(x, S::mul(k.q, band1)), low1);
        band1 = S::add(band1, S::mul(high, k.w2));
        low1 = S::add(low1, band1);
        V y = S::mul(high, k.att);
        if constexpr (!kUnitStageGain) y = S::mul(y, k.stageGain);
        y = S::mul(y, k.bankGain2);
        S::store(&bands[c][row][o], y);
        if constexpr (decltype(last)::value) {
            S::store(pass.lanes(p).high1 + o, high);
            S::store(pass.lanes(p).out + o, y);
        }
    };
    // The compander on row `row` for group p of a pass, in place.
    const auto compStep = [&](const auto& pass, int p, V& peak, V& hold, V& factor, bool& loud, int row,
                              auto last) {
        const int c = pass.channel(p);
        const int o = pass.offset(p);
        const GroupConstants<S>& k = pass.k(p);
        const V y = S::load(&bands[c][row][o]);
        V v = S::mul(y, k.pre);
        followerStep<S>(v, peak, hold, k.detector);
        factor = factorStep<S>(peak, factor, k.multiplier, loud);
        v = S::mul(v, factor);
        v = S::mul(v, k.postGain);
        if constexpr (kInvert == 1) v = S::sub(y, v);
        if constexpr (kInvert == 2)
            if (pass.lanes(p).inverted) v = S::sub(y, v);
        if constexpr (kFullMix) {
            v = S::add(v, S::mul(y, k.oneMinusMix));
        } else {
            v = S::add(S::mul(v, k.mix), S::mul(y, k.oneMinusMix));
        }
        S::store(&bands[c][row][o], v);
        if constexpr (decltype(last)::value) {
            S::store(pass.lanes(p).value + o, v);
            S::store(pass.lanes(p).bankValue + o, v); // the bank's band samples are the companded ones
        }
    };
    using Yes = LastSample<true>;
    using No = LastSample<false>;

    // The bank's lead.
    const int lead = frames < kLead ? frames : kLead;
    for (int first = 0; first < 2 * G; first += P) {
        const Pass<S, P> pass{channels, constants, first};
        V low1[P], band1[P];
        pass.load(&CompanderLanes::low1, low1);
        pass.load(&CompanderLanes::band1, band1);
        for (int n = 0; n < lead; ++n)
#pragma GCC unroll 4
            for (int p = 0; p < P; ++p) {
                if (n == frames - 1)
                    bankStep(pass, p, low1[p], band1[p], n, n, Yes{});
                else
                    bankStep(pass, p, low1[p], band1[p], n, n, No{});
            }
        pass.store(&CompanderLanes::low1, low1);
        pass.store(&CompanderLanes::band1, band1);
    }
    for (int start = 0; start < frames; start += kChunk) {
        const int count = frames - start < kChunk ? frames - start : kChunk;
        // Rows j < banked get the bank's sample start + kLead + j beside the compander's row j.
        const int bankLeft = frames - start - kLead;
        const int banked = bankLeft < count ? bankLeft : count;
        for (int first = 0; first < 2 * G; first += P) {
            const Pass<S, P> pass{channels, constants, first};
            V low1[P], band1[P], peak[P], hold[P], factor[P];
            bool loud[P] = {};
            pass.load(&CompanderLanes::low1, low1);
            pass.load(&CompanderLanes::band1, band1);
            pass.load(&CompanderLanes::peak, peak);
            pass.load(&CompanderLanes::hold, hold);
            pass.load(&CompanderLanes::factor, factor);
            const auto both = [&](int j, auto bankLast, auto compLast) {
#pragma GCC unroll 4
                for (int p = 0; p < P; ++p) {
                    bankStep(pass, p, low1[p], band1[p], start + kLead + j, kLead + j, bankLast);
                    compStep(pass, p, peak[p], hold[p], factor[p], loud[p], j, compLast);
                }
            };
            const auto comp = [&](int j, auto compLast) {
#pragma GCC unroll 4
                for (int p = 0; p < P; ++p)
                    compStep(pass, p, peak[p], hold[p], factor[p], loud[p], j, compLast);
            };
            int j = 0;
            for (; j + 1 < banked; ++j) both(j, No{}, No{});
            if (j < banked) {
                // the compander's last row of the chunk (the bank goes on in the next), or the
                // bank's last sample of the call
                if (banked < bankLeft)
                    both(j, No{}, Yes{});
                else if (j + 1 == count)
                    both(j, Yes{}, Yes{});
                else
                    both(j, Yes{}, No{});
                ++j;
            }
            for (; j + 1 < count; ++j) comp(j, No{});
            if (j < count) comp(j, Yes{});
            pass.store(&CompanderLanes::low1, low1);
            pass.store(&CompanderLanes::band1, band1);
            pass.store(&CompanderLanes::peak, peak);
            pass.store(&CompanderLanes::hold, hold);
            pass.store(&CompanderLanes::factor, factor);
        }
        // The output follower over the companded bands.
        for (int first = 0; first < 2 * G; first += PM) {
            const Pass<S, PM> pass{channels, constants, first};
            V peak[PM], hold[PM];
            pass.load(&CompanderLanes::outPeak, peak);
            pass.load(&CompanderLanes::outHold, hold);
            for (int j = 0; j < count; ++j) {
#pragma GCC unroll 4
                for (int p = 0; p < PM; ++p) {
                    const GroupConstants<S>& k = pass.k(p);
                    followerStep<S>(S::load(&bands[pass.channel(p)][j][pass.offset(p)]), peak[p], hold[p],
                                    k.output);
                }
            }
            pass.store(&CompanderLanes::outPeak, peak);
            pass.store(&CompanderLanes::outHold, hold);
        }
        // Sum the 32 bands of each sample, lane 0 first: transposed blocks put the samples in
        // the lanes, and the bands are added one after another.
        Sum::bandSums(bands[0], bands[1], count, io[0] + start, io[1] + start);
        // The bank's lead becomes the next chunk's first rows.
        const int carried = frames - start - count < kLead ? frames - start - count : kLead;
        for (int c = 0; c < 2; ++c)
            for (int r = 0; r < carried; ++r)
                for (int o = 0; o < 32; o += W) S::store(&bands[c][r][o], S::load(&bands[c][count + r][o]));
    }
}

template <class S>
void runCompanderCore(const CompanderCoreArgs& args) {
    const bool uniform = args.channel[0].inverted == args.channel[1].inverted;
    if (uniform && args.unitStageGain && args.fullMix) {
        if (args.channel[0].inverted) return runCompanderCoreFor<S, true, true, 1>(args);
        return runCompanderCoreFor<S, true, true, 0>(args);
    }
    runCompanderCoreFor<S, false, false, 2>(args);
}
