#pragma once
// The fused stereo loop, written once over a small set of vector operations `S`: a group
// width W (4, 8 or 16 lanes), a vector type V and a lane-mask type M. Every lane sees
// exactly the operations, in exactly the order, of the per-sample band objects, so every
// width rounds alike. Where the loop takes a shorter road (max instead of a compare and
// select, a skipped multiplication by exactly 1), the result is the same for every value
// the state can hold: peaks and hold counts are never negative, never NaN, never -0, and
// products are never denormal while denormals are flushed.
//
// Included only by the per-instruction-set translation units, inside an unnamed namespace,
// after the definition of `S` and of `Sum`, the block transpose used for the band sums.

// Marks the last sample of a pass (no standard header here: these units share no inline code).
template <bool B>
struct LastSample {
    static constexpr bool value = B;
};

// One follower step on one group: rise by a step when above the peak; otherwise count the
// hold down, then fall by a step, never below 0. Equal (or NaN) input leaves both alone.
template <class S>
inline void followerStep(typename S::V x, typename S::V& peak, typename S::V& hold, typename S::V attackStep,
                         typename S::V releaseStep, typename S::V holdReset) {
    using V = typename S::V;
    using M = typename S::M;
    const V zero = S::zero();
    const V a = S::abs(x);
    const M above = S::cmpgt(a, peak);
    const M below = S::cmplt(a, peak);
    const V counted = S::sub(hold, S::set1(1.0f));
    const M expired = S::andMask(below, S::cmple(counted, zero));
    const V peakBelow = S::maskMax(peak, expired, S::sub(peak, releaseStep), zero);
    const V holdBelow = S::maskMax(hold, below, counted, zero);
    peak = S::maskAdd(peakBelow, above, peak, attackStep);
    hold = S::blend(above, holdReset, holdBelow);
}

// The state that one sample hands to the next, for P groups of one channel, held in registers
// for a pass over a chunk. The bank's last input and output and the compander's last samples
// are not carried: the pass writes them out at its last sample.
template <class S, int P>
struct GroupState {
    using V = typename S::V;
    V low1[P], band1[P], peak[P], hold[P], outPeak[P], outHold[P], factor[P];

    // Group p of the pass is group `first + p` counted over both channels, left first.
    void load(const CompanderCoreArgs& args, int first) {
        for (int p = 0; p < P; ++p) {
            const CompanderLanes& l = args.channel[(first + p) / (32 / S::W)];
            const int o = (first + p) % (32 / S::W) * S::W;
            low1[p] = S::load(l.low1 + o);
            band1[p] = S::load(l.band1 + o);
            peak[p] = S::load(l.peak + o);
            hold[p] = S::load(l.hold + o);
            outPeak[p] = S::load(l.outPeak + o);
            outHold[p] = S::load(l.outHold + o);
            factor[p] = S::load(l.factor + o);
        }
    }
    void store(const CompanderCoreArgs& args, int first) const {
        for (int p = 0; p < P; ++p) {
            const CompanderLanes& l = args.channel[(first + p) / (32 / S::W)];
            const int o = (first + p) % (32 / S::W) * S::W;
            S::store(l.low1 + o, low1[p]);
            S::store(l.band1 + o, band1[p]);
            S::store(l.peak + o, peak[p]);
            S::store(l.hold + o, hold[p]);
            S::store(l.outPeak + o, outPeak[p]);
            S::store(l.outHold + o, outHold[p]);
            S::store(l.factor + o, factor[p]);
        }
    }
};

// kInvert: 0 neither channel inverts, 1 both do, 2 each channel as its lanes say.
template <class S, bool kUnitStageGain, bool kFullMix, int kInvert>
void runCompanderCoreFor(const CompanderCoreArgs& args) {
    using V = typename S::V;
    using M = typename S::M;
    constexpr int W = S::W;
    constexpr int G = 32 / W; // groups per channel
    constexpr int P = S::P;   // groups per pass: enough to overlap the filter's recursion, few
                              // enough for their state to stay in registers; a pass lies within
                              // one channel or takes in both
    constexpr int kChunk = 64;
    static_assert((G % P == 0 || P == 2 * G) && kChunk % Sum::W == 0);

    // Band outputs of one chunk, sample-major; summed with samples in lanes once every group
    // of the chunk is done (the inputs are read before any output is written).
    alignas(64) float bands[2][kChunk][32];
    float* io[2] = {args.left, args.right};
    const V one = S::set1(1.0f);

    for (int start = 0; start < args.frames; start += kChunk) {
        const int count = args.frames - start < kChunk ? args.frames - start : kChunk;
        for (int first = 0; first < 2 * G; first += P) {
            GroupState<S, P> st;
            st.load(args, first);
            // One sample of the pass; `last` also writes out the samples the band objects keep.
            const auto step = [&](int s, auto last) {
#pragma GCC unroll 4
                for (int p = 0; p < P; ++p) {
                    const int c = (first + p) / G;
                    const CompanderLanes& l = args.channel[c];
                    const int o = (first + p) % G * W;
                    const V x = S::set1(io[c][start + s]);
                    // filter bank
                    const V high = S::sub(S::sub(x, S::mul(S::load(l.q + o), st.band1[p])), st.low1[p]);
                    st.band1[p] = S::add(st.band1[p], S::mul(high, S::load(l.w2 + o)));
                    st.low1[p] = S::add(st.low1[p], st.band1[p]);
                    V y = S::mul(high, S::load(l.att + o));
                    if constexpr (!kUnitStageGain) y = S::mul(y, S::load(l.stageGain + o));
                    y = S::mul(y, S::load(l.bankGain2 + o));

                    // compander
                    V v = S::mul(y, S::load(l.pre + o));
                    followerStep<S>(v, st.peak[p], st.hold[p], S::load(l.attackStep + o),
                                    S::load(l.releaseStep + o), S::load(l.holdReset + o));
                    const V pk = st.peak[p];
                    // Below full scale the peak is its own clamp: 1 - p is the inverted peak.
                    V f = S::maskAdd(st.factor[p], S::cmplt(pk, one), one,
                                     S::mul(S::sub(one, pk), S::load(l.multiplier + o)));
                    const M over = S::cmpgt(pk, one);
                    if (S::any(over)) f = S::maskDiv(f, over, one, pk);
                    st.factor[p] = f;
                    v = S::mul(v, f);
                    v = S::mul(v, S::load(l.postGain + o));
                    if constexpr (kInvert == 1) v = S::sub(y, v);
                    if constexpr (kInvert == 2)
                        if (l.inverted) v = S::sub(y, v);
                    if constexpr (kFullMix) {
                        v = S::add(v, S::mul(y, S::load(l.oneMinusMix + o)));
                    } else {
                        v = S::add(S::mul(v, S::load(l.mix + o)), S::mul(y, S::load(l.oneMinusMix + o)));
                    }
                    followerStep<S>(v, st.outPeak[p], st.outHold[p], S::load(l.outAttackStep + o),
                                    S::load(l.outReleaseStep + o), S::load(l.outHoldReset + o));
                    S::store(&bands[c][s][o], v);
                    if constexpr (decltype(last)::value) {
                        S::store(l.high1 + o, high);
                        S::store(l.out + o, y);
                        S::store(l.value + o, v);
                        S::store(l.bankValue + o, v); // the bank's band samples are the companded ones
                    }
                }
            };
            for (int s = 0; s + 1 < count; ++s) step(s, LastSample<false>{});
            step(count - 1, LastSample<true>{});
            st.store(args, first);
        }
        // Sum the 32 bands of each sample, lane 0 first: transposed blocks put the samples in
        // the lanes, and the bands are added one after another.
        for (int c = 0; c < 2; ++c)
            for (int s = 0; s < count; s += Sum::W) Sum::bandSums(&bands[c][s], count - s, io[c] + start + s);
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
