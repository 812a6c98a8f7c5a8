#include "AudioCodecs.h"

#include <algorithm>
#include <cstring>

namespace plat {

namespace {
Error misuse(const URL& url, std::string_view why) {
    std::string text = "'";
    text.append(url.path()).append("': ").append(why);
    return Error{kOSStatusErrorDomain, kAudioUnitErr_InvalidPropertyValue, std::move(text)};
}
} // namespace

AVAudioFile::AVAudioFile(URL url, AVAudioFormat format) : url_(std::move(url)), format_(format) {}

Result<std::shared_ptr<AVAudioFile>> AVAudioFile::forReading(const URL& url) {
    if (!url.isFileURL()) return misuse(url, "only local files can be read.");
    auto decoded = engine_detail::decodeAudioFile(url.filePath());
    if (!decoded.ok()) return decoded.error();
    std::shared_ptr<AVAudioFile> file(new AVAudioFile(url, decoded.value()->format));
    file->samples_ = std::move(decoded.value());
    return file;
}

Result<std::shared_ptr<AVAudioFile>> AVAudioFile::forWriting(const URL& url,
                                                             const AVAudioFileSettings& settings) {
    if (!url.isFileURL()) return misuse(url, "only local files can be written.");
    auto writer = engine_detail::makeAudioFileWriter(url.filePath(), settings);
    if (!writer.ok()) return writer.error();
    std::shared_ptr<AVAudioFile> file(
        new AVAudioFile(url, AVAudioFormat(settings.sampleRate, settings.channelCount)));
    file->writer_ = std::move(writer.value());
    return file;
}

AVAudioFile::~AVAudioFile() {
    (void)close();
}

AVAudioFramePosition AVAudioFile::length() const {
    return samples_ ? samples_->frames() : written_;
}

void AVAudioFile::setFramePosition(AVAudioFramePosition position) {
    position_ = std::clamp<AVAudioFramePosition>(position, 0, length());
}

Result<void> AVAudioFile::read(AVAudioPCMBuffer& buffer, AUAudioFrameCount frames) {
    if (!samples_) return misuse(url_, "the file is open for writing, not reading.");
    if (!(buffer.format() == format_)) return misuse(url_, "the buffer's format is not the file's.");
    if (position_ >= samples_->frames()) return misuse(url_, "there is nothing left to read.");
    const auto n = AUAudioFrameCount(std::min<AVAudioFramePosition>(
        {AVAudioFramePosition(frames), AVAudioFramePosition(buffer.frameCapacity()),
         samples_->frames() - position_}));
    for (std::uint32_t c = 0; c < format_.channelCount(); ++c)
        std::memcpy(buffer.channel(c), samples_->channels[c].data() + position_, n * sizeof(float));
    buffer.setFrameLength(n);
    position_ += n;
    return {};
}

Result<void> AVAudioFile::write(const AVAudioPCMBuffer& buffer) {
    if (!writer_)
        return misuse(url_, samples_ ? "the file is open for reading, not writing." : "the file is closed.");
    if (!(buffer.format() == format_)) return misuse(url_, "the buffer's format is not the file's.");
    const float* channels[AudioBufferList::kCapacity] = {};
    for (std::uint32_t c = 0; c < format_.channelCount(); ++c) channels[c] = buffer.channel(c);
    auto written = writer_->write(channels, buffer.frameLength());
    if (written.ok()) {
        written_ += buffer.frameLength();
        position_ = written_;
    }
    return written;
}

Result<void> AVAudioFile::close() {
    if (!writer_) return {};
    auto writer = std::move(writer_);
    return writer->finish();
}

} // namespace plat
