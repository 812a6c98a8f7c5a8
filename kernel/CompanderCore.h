#pragma once
// The fused per-sample loop of the stereo compander, compiled once per instruction set.
// This header holds only plain data and declarations, so that translation units built
// for different instruction sets share no inline code.

struct CompanderLanes {
    // filter bank (single stage)
    float* low1;
    float* band1;
    float* high1;
    float* out;
    float* bankValue;
    const float* q;
    const float* w2;
    const float* att;
    const float* stageGain;
    const float* bankGain2;
    // detector follower
    float* peak;
    float* hold;
    const float* attackStep;
    const float* releaseStep;
    const float* holdReset; // decay x sampleRate
    // output follower
    float* outPeak;
    float* outHold;
    const float* outAttackStep;
    const float* outReleaseStep;
    const float* outHoldReset;
    // compander
    float* value;
    float* factor;
    const float* pre;
    const float* multiplier;
    const float* postGain; // post x gain2
    const float* mix;
    const float* oneMinusMix;
    bool inverted;
};

struct CompanderCoreArgs {
    CompanderLanes channel[2];
    float* left;
    float* right;
    int frames;
    bool unitStageGain; // every stage gain is exactly 1
    bool fullMix;       // every mix is exactly 1: the companded band alone
};

using CompanderCoreFn = void (*)(const CompanderCoreArgs&);

void companderCoreSSE(const CompanderCoreArgs& args);
void companderCoreAVX2(const CompanderCoreArgs& args);
void companderCoreAVX512(const CompanderCoreArgs& args);
// The widest loop this processor runs.
CompanderCoreFn selectCompanderCore();
