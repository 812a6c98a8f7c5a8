#pragma once
// Audio stream formats, buffers, time stamps, render events and the host's callables.

#include "plat/core.h"
#include "plat/error.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plat {

using AUAudioFrameCount = std::uint32_t;
using AUParameterAddress = std::uint64_t;
using AUValue = float;
using AUEventSampleTime = std::int64_t;
using AUAudioUnitStatus = OSStatus;
using AudioUnitRenderActionFlags = std::uint32_t;

// ---- buffers ---------------------------------------------------------------------------

struct AudioBuffer {
    std::uint32_t mNumberChannels = 0;
    std::uint32_t mDataByteSize = 0;
    void* mData = nullptr;
};

// A list with inline room for a handful of channel buffers; only the first
// mNumberBuffers entries are meaningful.
struct AudioBufferList {
    static constexpr std::uint32_t kCapacity = 8;
    std::uint32_t mNumberBuffers = 0;
    AudioBuffer mBuffers[kCapacity];
};

struct SMPTETime {
    std::int16_t mSubframes = 0, mSubframeDivisor = 0;
    std::uint32_t mCounter = 0, mType = 0, mFlags = 0;
    std::int16_t mHours = 0, mMinutes = 0, mSeconds = 0, mFrames = 0;
};

enum : std::uint32_t {
    kAudioTimeStampSampleTimeValid = 1u << 0,
    kAudioTimeStampHostTimeValid = 1u << 1,
};

struct AudioTimeStamp {
    double mSampleTime = 0;
    std::uint64_t mHostTime = 0;
    double mRateScalar = 0;
    std::uint64_t mWordClockTime = 0;
    SMPTETime mSMPTETime;
    std::uint32_t mFlags = 0;
    std::uint32_t mReserved = 0;
};

// ---- formats ---------------------------------------------------------------------------

// 32-bit float, deinterleaved, one buffer per channel: the only layout this layer speaks.
class AVAudioFormat {
public:
    AVAudioFormat(double sampleRate, std::uint32_t channels)
        : sampleRate_(sampleRate), channelCount_(channels) {}
    // The standard format; nothing when the rate is not positive and finite or channels is 0.
    static std::optional<AVAudioFormat> standardFormat(double sampleRate, std::uint32_t channels);

    double sampleRate() const { return sampleRate_; }
    std::uint32_t channelCount() const { return channelCount_; }
    bool operator==(const AVAudioFormat&) const = default;

private:
    double sampleRate_;
    std::uint32_t channelCount_;
};

// Owns one 64-byte aligned buffer per channel and exposes both list views of them.
class AVAudioPCMBuffer {
public:
    // Refuses (returns null) channel counts above the list capacity and absurd capacities.
    static std::unique_ptr<AVAudioPCMBuffer> make(const AVAudioFormat& format,
                                                  AUAudioFrameCount frameCapacity);

    const AVAudioFormat& format() const { return format_; }
    AUAudioFrameCount frameCapacity() const { return frameCapacity_; }
    AUAudioFrameCount frameLength() const { return frameLength_; }
    void setFrameLength(AUAudioFrameCount frames);

    // The list describing the buffer's own storage; never altered by callers.
    const AudioBufferList* audioBufferList() const { return &readOnly_; }
    // A list that renderers may repoint; it starts as a copy of the read-only one.
    AudioBufferList* mutableAudioBufferList() { return &mutable_; }
    float* channel(std::uint32_t c) const { return c < format_.channelCount() ? storage_[c].get() : nullptr; }

    AVAudioPCMBuffer(const AVAudioPCMBuffer&) = delete;
    AVAudioPCMBuffer& operator=(const AVAudioPCMBuffer&) = delete;

private:
    AVAudioPCMBuffer(const AVAudioFormat& format, AUAudioFrameCount capacity);
    struct AlignedFree {
        void operator()(float* p) const;
    };
    AVAudioFormat format_;
    AUAudioFrameCount frameCapacity_;
    AUAudioFrameCount frameLength_ = 0;
    std::unique_ptr<float, AlignedFree> storage_[AudioBufferList::kCapacity];
    AudioBufferList readOnly_;
    AudioBufferList mutable_;
};

// ---- render events ---------------------------------------------------------------------

enum class AURenderEventType : std::uint8_t {
    Parameter = 1,
    ParameterRamp = 2,
    MIDI = 8,
    MIDISysEx = 9,
};

union AURenderEvent;

struct AURenderEventHeader {
    AURenderEvent* next;
    AUEventSampleTime eventSampleTime;
    AURenderEventType eventType;
    std::uint8_t reserved;
};

struct AUParameterEvent {
    AURenderEvent* next;
    AUEventSampleTime eventSampleTime;
    AURenderEventType eventType;
    std::uint8_t reserved[3];
    AUAudioFrameCount rampDurationSampleFrames;
    AUParameterAddress parameterAddress;
    AUValue value;
};

struct AUMIDIEvent {
    AURenderEvent* next;
    AUEventSampleTime eventSampleTime;
    AURenderEventType eventType;
    std::uint8_t reserved;
    std::uint16_t length;
    std::uint8_t cable;
    std::uint8_t data[3];
};

union AURenderEvent {
    AURenderEventHeader head;
    AUParameterEvent parameter;
    AUMIDIEvent MIDI;
};

// ---- host callables --------------------------------------------------------------------
// Held and invoked by reference on the render thread: calling one never allocates.

using AURenderPullInputBlock = std::function<AUAudioUnitStatus(
    AudioUnitRenderActionFlags* actionFlags, const AudioTimeStamp* timestamp, AUAudioFrameCount frameCount,
    NSInteger inputBusNumber, AudioBufferList* inputData)>;

using AUMIDIOutputEventBlock = std::function<OSStatus(AUEventSampleTime eventSampleTime, std::uint8_t cable,
                                                      NSInteger length, const std::uint8_t* midiBytes)>;

using AUHostMusicalContextBlock = std::function<bool(
    double* currentTempo, double* timeSignatureNumerator, NSInteger* timeSignatureDenominator,
    double* currentBeatPosition, NSInteger* sampleOffsetToNextBeat, double* currentMeasureDownbeatPosition)>;

using AUHostTransportStateBlock =
    std::function<bool(std::uint32_t* transportStateFlags, double* currentSamplePosition,
                       double* cycleStartBeatPosition, double* cycleEndBeatPosition)>;

using AUScheduleMIDIEventBlock = std::function<void(AUEventSampleTime eventSampleTime, std::uint8_t cable,
                                                    NSInteger length, const std::uint8_t* midiBytes)>;

using AUInternalRenderBlock = std::function<AUAudioUnitStatus(
    AudioUnitRenderActionFlags* actionFlags, const AudioTimeStamp* timestamp, AUAudioFrameCount frameCount,
    NSInteger outputBusNumber, AudioBufferList* outputData, const AURenderEvent* realtimeEventListHead,
    const AURenderPullInputBlock* pullInputBlock)>;

// ---- errors and buses ------------------------------------------------------------------

inline constexpr const char* kOSStatusErrorDomain = "NSOSStatusErrorDomain";

// The rates a real host runs at. Units compute in single precision and derive their
// coefficients from the rate: far outside this range (0, NaN, beyond a float's range) they turn
// NaN, and a band filter tuned for a rate of a few hertz has nothing left to pass.
inline constexpr double kMinimumSampleRate = 8000.0;
inline constexpr double kMaximumSampleRate = 768000.0;
bool isSupportedSampleRate(double rate);
// Why a bus refuses `rate`, as its error says it: "sample rate <rate> Hz not supported: a bus
// carries 8000 to 768000 Hz".
std::string sampleRateRefusal(double rate);
// A rate as messages show it, whatever the locale: the shortest text that reads back as the rate,
// in plain digits from 1 Hz up to 1e12 ("44100", "800000", "3e+38", "1e-30", "nan").
std::string sampleRateText(double rate);

// One input or output connection point of an audio unit.
class AUAudioUnitBus {
public:
    // Fails for a format the bus can never carry (no channels, or more than a list holds).
    static std::shared_ptr<AUAudioUnitBus> make(const AVAudioFormat& format, Error* error = nullptr);

    const AVAudioFormat& format() const { return format_; }
    std::uint32_t maximumChannelCount() const { return maximumChannelCount_; }
    void setMaximumChannelCount(std::uint32_t count) { maximumChannelCount_ = count; }

    // Refuses 0 channels, more than the maximum, and any change while the owner has its
    // render resources allocated; the format stays as it was on refusal.
    bool setFormat(const AVAudioFormat& format, Error* error = nullptr);
    void setOwnerAllocated(bool allocated) { ownerAllocated_ = allocated; }

    // For an output bus: whether its owner allocates a buffer for it when render resources are
    // allocated, so that a host may render with a list that carries no buffers (null data
    // pointers) and read the output where the list then points. Taken into account at the next
    // allocation.
    bool shouldAllocateBuffer() const { return shouldAllocateBuffer_; }
    void setShouldAllocateBuffer(bool allocate) { shouldAllocateBuffer_ = allocate; }

    explicit AUAudioUnitBus(const AVAudioFormat& format) : format_(format) {}

private:
    AVAudioFormat format_;
    std::uint32_t maximumChannelCount_ = AudioBufferList::kCapacity;
    bool ownerAllocated_ = false;
    bool shouldAllocateBuffer_ = false;
};

} // namespace plat
