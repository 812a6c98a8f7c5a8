#pragma once
// Captures what the console prints, for tests of diagnostic lines.

#include "plat/console.h"
#include "plat/dispatch.h"

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

// Collects everything the console writes while it lives.
class ConsoleCapture {
public:
    ConsoleCapture() {
        plat::Console::shared().setSink([this](std::string_view t) {
            std::lock_guard<std::mutex> lock(m_);
            text_.append(t);
            printedOnRealtimeThread_ |= plat::isRealtimeThread();
        });
    }
    ~ConsoleCapture() { plat::Console::shared().setSink({}); }
    std::string text() {
        plat::Console::shared().flush();
        std::lock_guard<std::mutex> lock(m_);
        return text_;
    }
    // Whether anything was printed while the printing thread was marked real-time (it never
    // should be: such lines belong in the ring).
    bool printedOnRealtimeThread() {
        plat::Console::shared().flush();
        std::lock_guard<std::mutex> lock(m_);
        return printedOnRealtimeThread_;
    }
    std::size_t count(std::string_view needle) {
        const std::string t = text();
        std::size_t n = 0;
        for (auto pos = t.find(needle); pos != std::string::npos; pos = t.find(needle, pos + needle.size()))
            ++n;
        return n;
    }

private:
    std::mutex m_;
    std::string text_;
    bool printedOnRealtimeThread_ = false;
};

// What earlier code left in the main queue or the console's ring is printed before capturing starts.
struct ConsoleSettled {
    ConsoleSettled() { settle(); }
    static void settle() {
        plat::RunLoop::main().drain();
        plat::Console::shared().flush();
    }
};

// A capture for code that logs through the main queue; `printed()` serves the queue before it reads.
class CapturedConsole : ConsoleSettled, public ConsoleCapture {
public:
    ~CapturedConsole() { settle(); }
    std::string printed() {
        plat::RunLoop::main().drain();
        return text();
    }
    bool contains(std::string_view needle) { return printed().find(needle) != std::string::npos; }
};
