#pragma once
// Standard-output diagnostics.
//
// Whole lines go out through one locked writer, so lines from different threads never
// interleave. The render thread may not lock, allocate or call into the kernel, so
// anything raised there goes into a preallocated lock-free ring instead; a background
// thread drains it in order. Non-real-time writers drain the ring first, so a line
// raised on the render thread is never overtaken by one written after it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace plat {

// Marks the calling thread as a real-time thread for the lifetime of the scope.
// Code that may run on either kind of thread asks `isRealtimeThread()` to pick the ring.
class RealtimeScope {
public:
    RealtimeScope();
    ~RealtimeScope();
    RealtimeScope(const RealtimeScope&) = delete;
    RealtimeScope& operator=(const RealtimeScope&) = delete;

private:
    bool previous_;
};

bool isRealtimeThread();

// Text from outside the program (a path, an environment setting, a record's contents, a library's
// message) as it enters an error's text or a line: past `limit` bytes its middle gives way to "...",
// at characters, so a path keeps where it starts and its file name, and a message its reason. It
// stays raw: the line that prints it escapes it. Cut once, where it enters, each such text leaves
// room for the others, so a line is never cut at its end.
inline constexpr std::size_t kShownTextBytes = 512;
std::string cutInMiddle(std::string_view text, std::size_t limit = kShownTextBytes);
// One such text made safe for a one-line message: cut as above, then control bytes (C0, DEL, and
// C1 written in UTF-8), bytes that are not UTF-8, '"' and '\\' are shown as \xNN escapes, so
// nothing reaches the terminal as a command or a line break.
std::string shownText(std::string_view text, std::size_t limit = kShownTextBytes);
// An error's text, or another made of such texts already cut, escaped for a line as above. Only
// past kShownMessageBytes, far more than its parts may take, is its middle cut, as a last resort.
inline constexpr std::size_t kShownMessageBytes = 16 * kShownTextBytes;
std::string shownMessage(std::string_view text);
// At most `limit` bytes of `text`: cut before the character that would straddle the limit. Bytes
// that begin no character (continuation bytes with no lead) are cut as bytes, so a text of them is
// not cut to nothing.
std::string_view cutAtCharacter(std::string_view text, std::size_t limit);

class Console {
public:
    static Console& shared();

    // Writes text as it stands (callers include their own line breaks). Not for the render thread.
    void write(std::string_view text);
    // Writes text followed by one line break. Not for the render thread.
    void writeLine(std::string_view text);

    // On a real-time thread: queues a record that is formatted later with `format`, which must
    // be a string literal (or otherwise live for the program) taking one unsigned long long
    // and, in the second form, one double. Never blocks; a full ring drops the record.
    // On any other thread the record is formatted and written at once, after what the ring holds
    // and exactly as the ring would write it: such records are never dropped.
    void postFormatted(const char* format, unsigned long long integer);
    void postFormatted(const char* format, unsigned long long integer, double value);
    // The same for a copy of text (truncated to the slot size).
    void postText(std::string_view text);

    // Writes `text` from any thread: through the ring on a real-time thread, directly otherwise.
    void print(std::string_view text);

    // Drains everything queued so far and flushes standard output. Not for the render thread.
    void flush();

    // Replaces where text goes (tests capture it; benchmarks discard it). Pass an empty
    // function to return to standard output. Call while no other thread is writing.
    void setSink(std::function<void(std::string_view)> sink);

    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

private:
    Console();
    ~Console();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace plat
