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

template <class S>
struct CoreChannel {
    using V = typename S::V;
    static constexpr int G = 32 / S::W;
    V low1[G], band1[G], high1[G], out[G];
    V peak[G], hold[G], outPeak[G], outHold[G], value[G], factor[G];

    void load(const CompanderLanes& l) {
        for (int g = 0; g < G; ++g) {
            const int o = g * S::W;
            low1[g] = S::load(l.low1 + o);
            band1[g] = S::load(l.band1 + o);
            high1[g] = S::load(l.high1 + o);
            out[g] = S::load(l.out + o);
            peak[g] = S::load(l.peak + o);
            hold[g] = S::load(l.hold + o);
            outPeak[g] = S::load(l.outPeak + o);
            outHold[g] = S::load(l.outHold + o);
            value[g] = S::load(l.value + o);
            factor[g] = S::load(l.factor + o);
        }
    }
    void store(const CompanderLanes& l) const {
        for (int g = 0; g < G; ++g) {
            const int o = g * S::W;
            S::store(l.low1 + o, low1[g]);
            S::store(l.band1 + o, band1[g]);
            S::store(l.high1 + o, high1[g]);
            S::store(l.out + o, out[g]);
            S::store(l.peak + o, peak[g]);
            S::store(l.hold + o, hold[g]);
            S::store(l.outPeak + o, outPeak[g]);
            S::store(l.outHold + o, outHold[g]);
            S::store(l.value + o, value[g]);
            S::store(l.bankValue + o, value[g]); // the bank's band samples are the companded ones
            S::store(l.factor + o, factor[g]);
        }
    }
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

template <class S, bool kUnitStageGain, bool kFullMix>
void runCompanderCoreFor(const CompanderCoreArgs& args) {
    using V = typename S::V;
    using M = typename S::M;
    constexpr int W = S::W;
    constexpr int G = 32 / W;

    CoreChannel<S> ch[2];
    ch[0].load(args.channel[0]);
    ch[1].load(args.channel[1]);
    float* io[2] = {args.left, args.right};

    // Band outputs of one chunk of W samples, sample-major; summed with samples in lanes.
    alignas(64) float bands[2][W][32];

    const V one = S::set1(1.0f);
    for (int start = 0; start < args.frames; start += W) {
        const int count = args.frames - start < W ? args.frames - start : W;
        for (int s = 0; s < count; ++s) {
            // Unrolled, so that the channel states can live in registers.
#pragma GCC unroll 2
            for (int c = 0; c < 2; ++c) {
                const CompanderLanes& l = args.channel[c];
                CoreChannel<S>& st = ch[c];
                const V x = S::set1(io[c][start + s]);
#pragma GCC unroll 8
                for (int g = 0; g < G; ++g) {
                    const int o = g * W;
                    // filter bank
                    const V high = S::sub(S::sub(x, S::mul(S::load(l.q + o), st.band1[g])), st.low1[g]);
                    st.high1[g] = high;
                    st.band1[g] = S::add(st.band1[g], S::mul(high, S::load(l.w2 + o)));
                    st.low1[g] = S::add(st.low1[g], st.band1[g]);
                    V y = S::mul(high, S::load(l.att + o));
                    if constexpr (!kUnitStageGain) y = S::mul(y, S::load(l.stageGain + o));
                    y = S::mul(y, S::load(l.bankGain2 + o));
                    st.out[g] = y;

                    // compander
                    V v = S::mul(y, S::load(l.pre + o));
                    followerStep<S>(v, st.peak[g], st.hold[g], S::load(l.attackStep + o),
                                    S::load(l.releaseStep + o), S::load(l.holdReset + o));
                    const V p = st.peak[g];
                    // Below full scale the peak is its own clamp: 1 - p is the inverted peak.
                    V f = S::maskAdd(st.factor[g], S::cmplt(p, one), one,
                                     S::mul(S::sub(one, p), S::load(l.multiplier + o)));
                    const M over = S::cmpgt(p, one);
                    if (S::any(over)) f = S::maskDiv(f, over, one, p);
                    st.factor[g] = f;
                    v = S::mul(v, f);
                    v = S::mul(v, S::load(l.postGain + o));
                    if (l.inverted) v = S::sub(y, v);
                    if constexpr (kFullMix) {
                        v = S::add(v, S::mul(y, S::load(l.oneMinusMix + o)));
                    } else {
                        v = S::add(S::mul(v, S::load(l.mix + o)), S::mul(y, S::load(l.oneMinusMix + o)));
                    }
                    st.value[g] = v;
                    followerStep<S>(v, st.outPeak[g], st.outHold[g], S::load(l.outAttackStep + o),
                                    S::load(l.outReleaseStep + o), S::load(l.outHoldReset + o));
                    S::store(&bands[c][s][o], v);
                }
            }
        }
        // Sum the 32 bands of each sample, lane 0 first: transposed blocks put the samples in
        // the lanes, and the bands are added one after another.
        for (int c = 0; c < 2; ++c)
            for (int half = 0; half < W; half += Sum::W)
                Sum::bandSums(&bands[c][half], count - half, io[c] + start + half);
    }
    ch[0].store(args.channel[0]);
    ch[1].store(args.channel[1]);
}

template <class S>
void runCompanderCore(const CompanderCoreArgs& args) {
    if (args.unitStageGain) {
        if (args.fullMix) return runCompanderCoreFor<S, true, true>(args);
        return runCompanderCoreFor<S, true, false>(args);
    }
    if (args.fullMix) return runCompanderCoreFor<S, false, true>(args);
    runCompanderCoreFor<S, false, false>(args);
}
