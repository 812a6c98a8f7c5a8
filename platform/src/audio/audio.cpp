#include "plat/audio.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace plat {

namespace {
// Beyond this a buffer is a mistake rather than a request (about 16 M frames per channel).
constexpr AUAudioFrameCount kMaxFrameCapacity = 1u << 24;
constexpr std::size_t kAlignment = 64;
} // namespace

std::optional<AVAudioFormat> AVAudioFormat::standardFormat(double sampleRate, std::uint32_t channels) {
    if (!(sampleRate > 0) || !std::isfinite(sampleRate) || channels == 0) return std::nullopt;
    return AVAudioFormat(sampleRate, channels);
}

void AVAudioPCMBuffer::AlignedFree::operator()(float* p) const {
    std::free(p);
}

AVAudioPCMBuffer::AVAudioPCMBuffer(const AVAudioFormat& format, AUAudioFrameCount capacity)
    : format_(format), frameCapacity_(capacity) {}

std::unique_ptr<AVAudioPCMBuffer> AVAudioPCMBuffer::make(const AVAudioFormat& format,
                                                         AUAudioFrameCount frameCapacity) {
    const auto channels = format.channelCount();
    if (channels == 0 || channels > AudioBufferList::kCapacity || frameCapacity > kMaxFrameCapacity)
        return nullptr;
    std::unique_ptr<AVAudioPCMBuffer> buffer(new AVAudioPCMBuffer(format, frameCapacity));
    const std::size_t bytes = std::size_t(frameCapacity) * sizeof(float);
    const std::size_t rounded = ((bytes + kAlignment - 1) / kAlignment) * kAlignment;
    buffer->readOnly_.mNumberBuffers = channels;
    for (std::uint32_t c = 0; c < channels; ++c) {
        void* p = std::aligned_alloc(kAlignment, rounded == 0 ? kAlignment : rounded);
        if (!p) return nullptr;
        std::memset(p, 0, rounded == 0 ? kAlignment : rounded);
        buffer->storage_[c].reset(static_cast<float*>(p));
        buffer->readOnly_.mBuffers[c] = AudioBuffer{1, std::uint32_t(bytes), p};
    }
    buffer->mutable_ = buffer->readOnly_;
    return buffer;
}

void AVAudioPCMBuffer::setFrameLength(AUAudioFrameCount frames) {
    frameLength_ = frames < frameCapacity_ ? frames : frameCapacity_;
}

bool isSupportedSampleRate(double rate) {
    return rate >= kMinimumSampleRate && rate <= kMaximumSampleRate; // NaN is neither
}

std::string sampleRateText(double rate) {
    // Rates a host may mean in plain digits ("800000", not "8e+05"), the far-off ones as exponents.
    char number[64];
    const bool plain = std::fabs(rate) >= 1 && std::fabs(rate) < 1e12;
    const auto written = plain ? std::to_chars(number, number + sizeof number, rate, std::chars_format::fixed)
                               : std::to_chars(number, number + sizeof number, rate);
    return std::string(number, written.ptr);
}

std::string sampleRateRefusal(double rate) {
    return "sample rate " + sampleRateText(rate) + " Hz not supported: a bus carries " +
           std::to_string(long(kMinimumSampleRate)) + " to " + std::to_string(long(kMaximumSampleRate)) +
           " Hz";
}

std::shared_ptr<AUAudioUnitBus> AUAudioUnitBus::make(const AVAudioFormat& format, Error* error) {
    std::string why;
    if (format.channelCount() == 0 || format.channelCount() > AudioBufferList::kCapacity) {
        why = "unsupported bus format";
    } else if (!isSupportedSampleRate(format.sampleRate())) {
        why = sampleRateRefusal(format.sampleRate());
    }
    if (!why.empty()) {
        if (error) *error = Error{kOSStatusErrorDomain, kAudioUnitErr_FormatNotSupported, std::move(why)};
        return nullptr;
    }
    return std::make_shared<AUAudioUnitBus>(format);
}

bool AUAudioUnitBus::setFormat(const AVAudioFormat& format, Error* error) {
    std::string why;
    if (ownerAllocated_) {
        why = "cannot change a bus format while render resources are allocated";
    } else if (format.channelCount() == 0 || format.channelCount() > maximumChannelCount_) {
        why = "channel count not supported by this bus";
    } else if (!isSupportedSampleRate(format.sampleRate())) {
        why = sampleRateRefusal(format.sampleRate());
    }
    if (!why.empty()) {
        if (error) *error = Error{kOSStatusErrorDomain, kAudioUnitErr_FormatNotSupported, std::move(why)};
        return false;
    }
    format_ = format;
    return true;
}

} // namespace plat
