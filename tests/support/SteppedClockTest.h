#pragma once
// Timers on a stepped clock: tests advance time exactly and serve the due timers.

#include "plat/dispatch.h"

#include <gtest/gtest.h>

#include <memory>

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
