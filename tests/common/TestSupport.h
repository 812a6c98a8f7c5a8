#pragma once
// Stepped time and captured console output for the common library's tests.

#include "plat/console.h"
#include "plat/dispatch.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>

// Replaces the timer clock with a manual one for the test; tick() advances it and serves the timers.
class SteppedClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::setClock(clock);
        plat::RunLoop::current().drain();
    }
    void TearDown() override {
        plat::RunLoop::current().drain();
        plat::setClock(nullptr);
    }
    void tick(double seconds, int count = 1) {
        for (int i = 0; i < count; ++i) {
            clock->advance(seconds);
            plat::RunLoop::current().drain();
        }
    }
    std::shared_ptr<plat::ManualClock> clock = std::make_shared<plat::ManualClock>();
};

// Collects everything the console writes while it lives.
class ConsoleCapture {
public:
    ConsoleCapture() {
        plat::Console::shared().setSink([this](std::string_view t) {
            std::lock_guard<std::mutex> lock(m_);
            text_.append(t);
        });
    }
    ~ConsoleCapture() { plat::Console::shared().setSink({}); }
    std::string text() {
        plat::Console::shared().flush();
        std::lock_guard<std::mutex> lock(m_);
        return text_;
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
};
