#pragma once
// Status codes and four-character codes shared by the audio-unit layer.

#include <cstdint>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <locale.h>

namespace plat {

using OSStatus = std::int32_t;
using NSInteger = long;

inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus kAudioUnitErr_Uninitialized = -10867;
inline constexpr OSStatus kAudioUnitErr_FormatNotSupported = -10868;
inline constexpr OSStatus kAudioUnitErr_TooManyFramesToProcess = -10874;
inline constexpr OSStatus kAudioUnitErr_NoConnection = -10876;
inline constexpr OSStatus kAudioUnitErr_InvalidElement = -10877;
inline constexpr OSStatus kAudioUnitErr_InvalidPropertyValue = -10851;
inline constexpr OSStatus kAudioUnitErr_MissingPreset = -66742;

// 'aumf' and friends: four bytes, first character in the most significant byte.
constexpr std::uint32_t fourCC(const char (&code)[5]) {
    return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

// The four bytes as text: Mac OS Roman bytes become UTF-8, NUL bytes are kept.
std::string fourCCString(std::uint32_t code);

// The "C" locale: numbers read and print with a decimal point whatever the process locale (GTK
// switches the process to the user's).
locale_t cLocale();

// While alive, this thread formats and parses in the C locale; for libraries that read or print
// numbers through the C library.
class CLocaleScope {
public:
    CLocaleScope() : previous_(uselocale(cLocale())) {}
    ~CLocaleScope() { uselocale(previous_); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_;
};

// A thread started for `body`. One that cannot be started (no memory for its stack, the limit of
// processes reached) throws std::system_error that says so: the library's own says only why.
template <class Body>
std::thread startThread(Body&& body) {
    try {
        return std::thread(std::forward<Body>(body));
    } catch (const std::system_error& e) {
        throw std::system_error(e.code(), "A thread could not be started");
    }
}

} // namespace plat
