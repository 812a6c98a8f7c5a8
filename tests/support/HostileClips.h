#pragma once
// Small audio files built byte by byte, so a test says exactly what a header declares and what the
// stream then holds: silent FLAC blocks (a few bytes each, up to 64k samples per channel), silent
// ADTS AAC frames (whose layout and rate may change from frame to frame) and silent PCM WAV.

#include <cstdint>
#include <string>
#include <vector>

// Fields most significant bit first, as FLAC and ADTS lay them out.
struct BitWriter {
    std::string bytes;
    int used = 0; // bits taken in the last byte
    BitWriter& put(std::uint64_t value, int count) {
        for (int i = count - 1; i >= 0; --i, used = (used + 1) % 8) {
            if (used == 0) bytes.push_back(0);
            if (i < 64 && ((value >> i) & 1)) bytes.back() = char(bytes.back() | (0x80 >> used));
        }
        return *this;
    }
    // FLAC's checks: CRC-8 (0x07) over a frame header, CRC-16 (0x8005) over the frame.
    BitWriter& putCrc(unsigned poly, int width) {
        unsigned c = 0;
        for (const unsigned char b : bytes)
            for (int i = 7; i >= 0; --i)
                c = ((c << 1) ^ ((((c >> (width - 1)) ^ (b >> i)) & 1) ? poly : 0)) & ((1u << width) - 1);
        return put(c, width);
    }
};

// `frames` blocks of `block` samples of 16-bit silence per channel, after a stream info that
// declares `declared` samples per channel (0: unknown). The blocks are numbered from 0, and from
// block `jumpAt` on `jump` more (all numbers below 128).
inline std::string flacSilence(unsigned channels, unsigned rate, unsigned block, unsigned frames,
                               std::uint64_t declared, unsigned jumpAt = 128, unsigned jump = 0) {
    BitWriter out{"fLaC"};
    out.put(0x80, 8).put(34, 24).put(block, 16).put(block, 16).put(0, 48).put(rate, 20);
    out.put(channels - 1, 3).put(15, 5).put(declared, 36).put(0, 128);
    for (unsigned n = 0; n < frames; ++n) {
        BitWriter frame;
        const unsigned number = n + (n >= jumpAt ? jump : 0);
        frame.put(0xFFF8, 16).put(0x70, 8).put(channels - 1, 4).put(0, 4).put(number, 8).put(block - 1, 16);
        frame.putCrc(0x07, 8).put(0, 24 * channels).putCrc(0x8005, 16); // constant subframes of 0
        out.bytes += frame.bytes;
    }
    return out.bytes;
}

// One ADTS frame around an AAC-LC raw data block, at sampling-rate index `rateIndex` (3: 48 kHz,
// 7: 22.05 kHz).
inline std::string adtsFrame(unsigned channels, unsigned rateIndex, const std::string& raw) {
    BitWriter header;
    header.put(0xFFF1, 16).put(1, 2).put(rateIndex, 4).put(0, 1).put(channels, 3).put(0, 4);
    header.put(7 + raw.size(), 13).put(0x7FF, 11).put(0, 2);
    return header.bytes + raw;
}

// `frames` silent AAC-LC frames of 1024 samples, mono or stereo, at sampling-rate index
// `rateIndex`.
inline std::string adtsSilence(unsigned channels, unsigned rateIndex, unsigned frames) {
    BitWriter raw; // one element (single, or pair without common window) of channels without bands
    raw.put(channels - 1, 3).put(0, 4).put(0, channels - 1).put(0, 22 * channels).put(7, 3);
    std::string out;
    for (unsigned n = 0; n < frames; ++n) out += adtsFrame(channels, rateIndex, raw.bytes);
    return out;
}

// The AAC packets of an m4a file with one track whose samples lie back to back from the first
// chunk on (as our writer lays them out), read from its sample-size and chunk-offset tables.
inline std::vector<std::string> m4aPackets(const std::string& file) {
    auto be32 = [&](std::size_t at) {
        return std::uint32_t((unsigned char)file[at]) << 24 |
               std::uint32_t((unsigned char)file[at + 1]) << 16 |
               std::uint32_t((unsigned char)file[at + 2]) << 8 | std::uint32_t((unsigned char)file[at + 3]);
    };
    const std::size_t stsz = file.find("stsz"), stco = file.find("stco");
    if (stsz == std::string::npos || stco == std::string::npos || be32(stco + 8) == 0) return {};
    const std::uint32_t count = be32(stsz + 12);
    std::size_t at = be32(stco + 12);
    std::vector<std::string> packets;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t size = be32(stsz + 16 + 4 * i);
        packets.push_back(file.substr(at, size));
        at += size;
    }
    return packets;
}

// 16-bit PCM WAV of `frames` silent frames.
inline std::string wavSilence(std::uint32_t channels, std::uint32_t rate, std::uint32_t frames) {
    const auto le = [](std::uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s.push_back(char(v >> (8 * i)));
        return s;
    };
    const std::uint32_t bytes = 2 * channels * frames;
    return "RIFF" + le(36 + bytes, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) +
           le(2 * channels * rate, 4) + le(2 * channels, 2) + le(16, 2) + "data" + le(bytes, 4) +
           std::string(bytes, '\0');
}
