#include "plat/console.h"
#include "plat/core.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <pthread.h>
#include <string>
#include <thread>

namespace plat {

namespace {
thread_local bool tRealtime = false;

constexpr std::size_t kSlots = 4096; // a power of two
constexpr std::size_t kTextBytes = 232;

enum class Kind : std::uint8_t { Text, Integer, IntegerValue };

// One slot of a bounded multi-producer queue (sequence-numbered cells): producers claim
// a position with one compare-and-swap, fill the cell and publish it through its sequence.
struct Cell {
    std::atomic<std::size_t> sequence{0};
    Kind kind = Kind::Text;
    std::uint16_t length = 0;
    const char* format = nullptr;
    unsigned long long integer = 0;
    double value = 0;
    char text[kTextBytes];
};
} // namespace

RealtimeScope::RealtimeScope() : previous_(tRealtime) {
    tRealtime = true;
}
RealtimeScope::~RealtimeScope() {
    tRealtime = previous_;
}
bool isRealtimeThread() {
    return tRealtime;
}

struct Console::Impl {
    std::unique_ptr<std::array<Cell, kSlots>> cells = std::make_unique<std::array<Cell, kSlots>>();
    alignas(64) std::atomic<std::size_t> enqueuePos{0};
    alignas(64) std::size_t dequeuePos = 0; // guarded by writeMutex

    std::mutex writeMutex;
    std::function<void(std::string_view)> sink;
    bool ringLineOpen = false; // guarded by writeMutex

    std::mutex wakeMutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread drainer;

    Impl() {
        for (std::size_t i = 0; i < kSlots; ++i) (*cells)[i].sequence.store(i, std::memory_order_relaxed);
    }

    // Producer side: lock-free, allocation-free.
    Cell* claim() {
        std::size_t pos = enqueuePos.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = (*cells)[pos & (kSlots - 1)];
            const std::size_t seq = cell.sequence.load(std::memory_order_acquire);
            const auto diff = static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(pos);
            if (diff == 0) {
                if (enqueuePos.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) return &cell;
            } else if (diff < 0) {
                return nullptr; // full: the record is dropped rather than wait
            } else {
                pos = enqueuePos.load(std::memory_order_relaxed);
            }
        }
    }
    void publish(Cell* cell) {
        const std::size_t pos = cell->sequence.load(std::memory_order_relaxed);
        cell->sequence.store(pos + 1, std::memory_order_release);
    }

    void emit(std::string_view text) {
        if (sink) {
            sink(text);
        } else {
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
        }
    }

    // Before a writer's own text: what the ring held is out, and a record of it that left its
    // line open is ended, so the text does not run on behind another thread's diagnostic.
    void drainForWriter() {
        drainLocked();
        if (!ringLineOpen) return;
        ringLineOpen = false;
        emit("\n");
    }

    // A record after one that left its line open starts a line of its own. Call with writeMutex held.
    void emitRecord(std::string_view text) {
        if (ringLineOpen && !text.empty()) emit("\n");
        emit(text);
        if (!text.empty()) ringLineOpen = text.back() != '\n';
    }

    // A record posted off the real-time thread: written at once, after everything the ring holds,
    // exactly as it would have been written from the ring. It is never dropped, however many come.
    void writeRecordNow(std::string_view text) {
        std::lock_guard<std::mutex> guard(writeMutex);
        drainLocked();
        emitRecord(text);
    }

    static std::string_view formatted(char (&buffer)[512], int n) {
        return std::string_view(buffer, n < 0 ? 0 : std::min<std::size_t>(std::size_t(n), sizeof buffer - 1));
    }

    // Consumer side; call with writeMutex held.
    void drainLocked() {
        const CLocaleScope numbersWithAPoint;
        for (;;) {
            Cell& cell = (*cells)[dequeuePos & (kSlots - 1)];
            const std::size_t seq = cell.sequence.load(std::memory_order_acquire);
            if (static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(dequeuePos + 1) < 0) break;
            char buffer[512];
            std::string_view text;
            switch (cell.kind) {
            case Kind::Text:
                text = std::string_view(cell.text, cell.length);
                break;
            case Kind::Integer: {
                const int n = std::snprintf(buffer, sizeof buffer, cell.format, cell.integer);
                text = std::string_view(buffer,
                                        n < 0 ? 0 : std::min<std::size_t>(std::size_t(n), sizeof buffer - 1));
                break;
            }
            case Kind::IntegerValue: {
                const int n = std::snprintf(buffer, sizeof buffer, cell.format, cell.integer, cell.value);
                text = std::string_view(buffer,
                                        n < 0 ? 0 : std::min<std::size_t>(std::size_t(n), sizeof buffer - 1));
                break;
            }
            }
            emitRecord(text);
            cell.sequence.store(dequeuePos + kSlots, std::memory_order_release);
            ++dequeuePos;
        }
    }

    void run() {
        std::unique_lock<std::mutex> lock(wakeMutex);
        while (!stopping) {
            // The render thread cannot signal (that would be a system call), so the ring is polled:
            // often enough that its lines show without a noticeable delay, seldom enough to cost
            // next to nothing while the program idles.
            wake.wait_for(lock, std::chrono::milliseconds(20));
            lock.unlock();
            {
                std::lock_guard<std::mutex> guard(writeMutex);
                drainLocked();
            }
            lock.lock();
        }
    }
};

namespace {

bool isContinuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The bytes of the sequence a lead byte begins, by its pattern alone; 1 for any other byte.
std::size_t sequenceLength(char byte) {
    const auto lead = static_cast<unsigned char>(byte);
    return lead >= 0xF8 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// Where the character holding byte `at` begins: earlier than `at` only when a lead byte there
// begins a sequence that reaches it. A continuation byte with no such lead is a character of its own.
std::size_t characterStart(std::string_view text, std::size_t at) {
    if (at >= text.size() || !isContinuation(text[at])) return at;
    for (std::size_t start = at; start > 0 && at - start < 3;) {
        if (!isContinuation(text[--start])) return sequenceLength(text[start]) > at - start ? start : at;
    }
    return at;
}

} // namespace

std::string_view cutAtCharacter(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    return text.substr(0, characterStart(text, limit));
}

std::string cutInMiddle(std::string_view text, std::size_t limit) {
    constexpr std::string_view kMark = "...";
    if (text.size() <= limit) return std::string(text);
    if (limit - limit / 2 < kMark.size()) return std::string(cutAtCharacter(text, limit)); // no room
    // The end is kept the larger: a path's last 256 bytes hold any file name ("/" and 255 bytes).
    const std::size_t tailBytes = limit / 2;
    std::string cut(cutAtCharacter(text, limit - kMark.size() - tailBytes));
    std::size_t from = text.size() - tailBytes;
    if (const std::size_t start = characterStart(text, from); start < from) {
        const std::size_t end = start + sequenceLength(text[start]);
        while (from < end && from < text.size() && isContinuation(text[from])) ++from;
    }
    cut.append(kMark).append(text.substr(from));
    return cut;
}

std::string shownMessage(std::string_view text) {
    return shownText(text, kShownMessageBytes);
}

std::string shownText(std::string_view whole, std::size_t limit) {
    constexpr char hex[] = "0123456789abcdef";
    const std::string cut = cutInMiddle(whole, limit);
    const std::string_view text = cut;
    std::string out;
    out.reserve(text.size());
    const auto escape = [&](unsigned char byte) {
        out += "\\x";
        out += hex[byte >> 4];
        out += hex[byte & 15];
    };
    // The length of the UTF-8 sequence starting at i, or 0 when the bytes there are none. Overlong
    // forms, surrogates and code points past U+10FFFF are none: a decoder that takes them anyway
    // may turn them into controls.
    const auto sequence = [&](std::size_t i) -> std::size_t {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        if (length == 0 || i + length > text.size()) return 0;
        const auto second = static_cast<unsigned char>(text[i + 1]);
        const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (second < low || second > high) return 0;
        for (std::size_t k = 2; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
        return length;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7f || byte == '"' || byte == '\\')
                escape(byte);
            else
                out += char(byte);
            continue;
        }
        const std::size_t length = sequence(i);
        const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (length == 0) {
            escape(byte); // not UTF-8: a terminal may take a lone byte as a control
        } else if (c1) {
            escape(byte), escape(static_cast<unsigned char>(text[i + 1])), ++i; // U+0080..U+009F
        } else {
            out.append(text.substr(i, length));
            i += length - 1;
        }
    }
    return out;
}

Console& Console::shared() {
    // Never destroyed: a thread may still write while the process exits. What the ring holds then
    // is written out at exit.
    static auto* console = [] {
        std::atexit([] { shared().flush(); });
        auto* made = new Console;
        // A process forked while another thread writes (the drainer does, every few milliseconds)
        // would start with the writers' lock held by a thread it does not have, and its first line
        // would wait for good: a fork waits for the lock, and both processes leave it free.
        static std::mutex* const writing = &made->impl_->writeMutex;
        ::pthread_atfork([] { writing->lock(); }, [] { writing->unlock(); }, [] { writing->unlock(); });
        return made;
    }();
    return *console;
}

Console::Console() : impl_(std::make_unique<Impl>()) {
    // Without its thread (the process could start none) the console still writes: the ring is
    // then drained by the next writer and at exit, and the failure is told by what ends the run.
    try {
        impl_->drainer = startThread([this] { impl_->run(); });
    } catch (const std::system_error&) {
    }
}

Console::~Console() {
    {
        std::lock_guard<std::mutex> lock(impl_->wakeMutex);
        impl_->stopping = true;
    }
    impl_->wake.notify_all();
    if (impl_->drainer.joinable()) impl_->drainer.join();
    std::lock_guard<std::mutex> guard(impl_->writeMutex);
    impl_->drainLocked();
}

void Console::write(std::string_view text) {
    std::lock_guard<std::mutex> guard(impl_->writeMutex);
    impl_->drainForWriter();
    impl_->emit(text);
}

void Console::writeLine(std::string_view text) {
    std::lock_guard<std::mutex> guard(impl_->writeMutex);
    impl_->drainForWriter();
    if (impl_->sink) {
        std::string line;
        line.reserve(text.size() + 1);
        line.append(text).push_back('\n');
        impl_->emit(line);
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

void Console::postFormatted(const char* format, unsigned long long integer) {
    if (!isRealtimeThread()) {
        char buffer[512];
        const CLocaleScope numbersWithAPoint;
        impl_->writeRecordNow(Impl::formatted(buffer, std::snprintf(buffer, sizeof buffer, format, integer)));
        return;
    }
    if (Cell* cell = impl_->claim()) {
        cell->kind = Kind::Integer;
        cell->format = format;
        cell->integer = integer;
        impl_->publish(cell);
    }
}

void Console::postFormatted(const char* format, unsigned long long integer, double value) {
    if (!isRealtimeThread()) {
        char buffer[512];
        const CLocaleScope numbersWithAPoint;
        impl_->writeRecordNow(
            Impl::formatted(buffer, std::snprintf(buffer, sizeof buffer, format, integer, value)));
        return;
    }
    if (Cell* cell = impl_->claim()) {
        cell->kind = Kind::IntegerValue;
        cell->format = format;
        cell->integer = integer;
        cell->value = value;
        impl_->publish(cell);
    }
}

void Console::postText(std::string_view text) {
    if (!isRealtimeThread()) {
        impl_->writeRecordNow(text.substr(0, kTextBytes));
        return;
    }
    if (Cell* cell = impl_->claim()) {
        cell->kind = Kind::Text;
        const std::size_t n = text.size() < kTextBytes ? text.size() : kTextBytes;
        std::memcpy(cell->text, text.data(), n);
        cell->length = std::uint16_t(n);
        impl_->publish(cell);
    }
}

void Console::print(std::string_view text) {
    if (isRealtimeThread()) {
        postText(text);
    } else {
        write(text);
    }
}

void Console::flush() {
    std::lock_guard<std::mutex> guard(impl_->writeMutex);
    impl_->drainLocked();
    if (!impl_->sink) std::fflush(stdout);
}

void Console::setSink(std::function<void(std::string_view)> sink) {
    std::lock_guard<std::mutex> guard(impl_->writeMutex);
    impl_->drainForWriter(); // an open line ends where it began
    impl_->sink = std::move(sink);
}

} // namespace plat
