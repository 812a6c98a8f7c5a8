// Feeds arbitrary bytes to the clip decoder, as a clip file on disk would. The bytes go into one
// file in memory that the decoder opens by its /proc name, so every input takes the real path.
#include "plat/audiofile.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("clip", 0);
    static const auto url = plat::URL::fileURL("/proc/self/fd/" + std::to_string(fd));
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) __builtin_trap();
    const auto file = plat::AVAudioFile::forReading(url);
    if (!file.ok()) return 0;
    // A clip that opens is what a player can take, and within the bound.
    const auto& samples = *file.value()->samples();
    const auto format = file.value()->processingFormat();
    const auto frames = samples.frames();
    if (format.channelCount() == 0 || samples.channels.size() != format.channelCount() ||
        !(format.sampleRate() > 0) || frames <= 0 ||
        frames * std::int64_t(sizeof(float) * format.channelCount()) >
            plat::AVAudioFile::kMaximumDecodedBytes)
        __builtin_trap();
    for (const auto& channel : samples.channels)
        if (std::int64_t(channel.size()) != frames) __builtin_trap();
    return 0;
}
