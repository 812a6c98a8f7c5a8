// Queues, run loops, timers on a stepped clock, and the console's whole lines.
#include "ChildProcess.h"
#include "ConsoleCapture.h"
#include "SteppedClockTest.h"

#include "plat/dispatch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Counts its own destruction, to see when a timer lets go of its block.
struct Token {
    explicit Token(std::atomic<int>& gone) : gone_(gone) {}
    ~Token() { ++gone_; }
    std::atomic<int>& gone_;
};

} // namespace

TEST(MainQueue, RunsWorkInOrderNeverInlineAndWaitsForWorkFromOtherThreads) {
    std::vector<int> order;
    plat::MainQueue::async([&] { order.push_back(1); });
    plat::MainQueue::async([&] { order.push_back(2), plat::MainQueue::async([&] { order.push_back(4); }); });
    plat::MainQueue::async([&] { order.push_back(3); });
    EXPECT_TRUE(order.empty());
    plat::RunLoop::main().drain();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));

    std::atomic<bool> done{false};
    std::thread worker(
        [&] { std::this_thread::sleep_for(20ms), plat::MainQueue::async([&] { done = true; }); });
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return done.load(); }, 30s));
    worker.join();
    EXPECT_FALSE(plat::RunLoop::main().runUntil([] { return false; }, 10ms));
}

TEST(Queues, SerialWorkRunsOneAtATimeInOrderAndFinishesBeforeTheQueueGoesAndGlobalWorkRunsOffMain) {
    std::vector<int> order;
    std::atomic<int> inside{0}, onMain{0}, ran{0};
    bool overlapped = false;
    {
        plat::SerialQueue queue("test.serial");
        int value = 0;
        queue.sync([&] { queue.sync([&] { value = 2; }); }); // nested: runs at once instead of deadlocking
        EXPECT_EQ(value, 2);
        for (int i = 0; i < 100; ++i)
            queue.async([&, i] { overlapped |= ++inside > 1, order.push_back(i), --inside; });
    } // still queued work is done before the queue goes
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[std::size_t(i)], i);
    for (int i = 0; i < 16; ++i) plat::GlobalQueue::async([&] { onMain += plat::isMainThread(), ++ran; });
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return ran == 16; }, 30s));
    EXPECT_EQ(onMain.load(), 0);
}

TEST_F(SteppedClockTest, TimersFireOnTheirGridOneIntervalAfterSchedulingCollapsingMissedFires) {
    std::vector<std::int64_t> at;
    auto timer = plat::Timer::scheduled(
        0.1, true, [&](plat::Timer&) { at.push_back(clock->now().count() / 1'000'000); });
    for (double step : {0.099, 0.001, 0.25, 0.04, 0.01}) tick(step); // 0.35: three fires missed, one call
    EXPECT_EQ(at, (std::vector<std::int64_t>{100, 350, 400}));
    timer->invalidate();
    tick(1);
    EXPECT_EQ(at.size(), 3u);
    int fires = 0;
    auto fast =
        plat::Timer::scheduled(0, true, [&](plat::Timer&) { ++fires; }); // at least a tenth of a millisecond
    EXPECT_DOUBLE_EQ(fast->timeInterval(), 0.0001);
    for (int expected : {0, 1}) EXPECT_EQ((tick(0.00005), fires), expected);
    fast->invalidate();
    fast = plat::Timer::scheduled(-3, false, [](plat::Timer&) {});
    EXPECT_DOUBLE_EQ(fast->timeInterval(), 0.0001);
    fast->invalidate();
}

TEST_F(SteppedClockTest, ATimerLetsGoOfItsBlockOnceDoneEvenWhenInvalidatedFromInsideIt) {
    std::atomic<int> gone{0};
    int fires = 0;
    bool aliveAfterInvalidate = false;
    auto once = std::make_shared<Token>(gone), inside = std::make_shared<Token>(gone);
    std::weak_ptr<Token> watch = inside;
    auto single = plat::Timer::scheduled(0.01, false, [&, once](plat::Timer&) { ++fires; });
    auto repeating = plat::Timer::scheduled(0.02, true, [&, inside](plat::Timer& t) {
        ++fires, t.invalidate();
        aliveAfterInvalidate = !watch.expired() && gone.load() == 1;
    });
    once.reset(), inside.reset();
    tick(0.01, 6);
    EXPECT_EQ(fires, 2);
    EXPECT_FALSE(single->isValid());
    EXPECT_TRUE(aliveAfterInvalidate);
    EXPECT_EQ(gone.load(), 2); // both released once their blocks returned
    EXPECT_EQ(plat::RunLoop::current().scheduledTimerCount(), 0u);
}

TEST(Console, NoLineRunsOnBehindARingRecordLeftOpen) {
    ConsoleCapture console;
    auto& shared = plat::Console::shared();
    shared.postFormatted("sent %llu", 1);
    shared.postFormatted("sent %llu\n", 2); // another record
    shared.postFormatted("sent %llu", 3);
    shared.writeLine("value"); // another writer's line
    EXPECT_EQ(console.text(), "sent 1\nsent 2\nsent 3\nvalue\n");
}

TEST(Console, RecordsPostedOffTheRenderThreadAreNeverDroppedAndKeepTheirOrder) {
    ConsoleCapture console;
    auto& shared = plat::Console::shared();
    constexpr unsigned long long kLines = 10000; // well past what the ring holds
    std::thread other([&] {
        for (unsigned long long i = 0; i < kLines; ++i) shared.postFormatted("other %llu %f\n", i, 0.5);
    });
    for (unsigned long long i = 0; i < kLines; ++i) shared.postFormatted("main %llu\n", i);
    other.join();
    const std::string text = console.text();
    unsigned long long nextMain = 0, nextOther = 0;
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size(); ++lines) {
        const std::size_t end = text.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.rfind("main ", 0) == 0) {
            ASSERT_EQ(line, "main " + std::to_string(nextMain));
            ++nextMain;
        } else {
            ASSERT_EQ(line, "other " + std::to_string(nextOther) + " 0.500000");
            ++nextOther;
        }
    }
    EXPECT_EQ(std::tuple(lines, nextMain, nextOther), std::tuple(std::size_t(2 * kLines), kLines, kLines));
}

// The render thread's lines go through the ring while another thread writes directly, taking turns:
// each round the render thread posts its lines and hands over, and the other writes while those
// lines are still queued (the ring is drained every 20 ms). Every line comes out in the order of
// the turns.
TEST(Console, LinesFromTheRingAndFromOtherThreadsComeOutInTheOrderTheyWerePosted) {
    auto& shared = plat::Console::shared();
    using Write = std::function<void(unsigned long long)>;
    const auto line = [](unsigned long long round) { return "other " + std::to_string(round); };
    const std::pair<const char*, Write> writers[] = {
        {"write overtakes the ring", [&](auto r) { shared.write(line(r) + "\n"); }},
        {"writeLine overtakes the ring", [&](auto r) { shared.writeLine(line(r)); }},
        {"print overtakes the ring", [&](auto r) { shared.print(line(r) + "\n"); }},
        {"postText off the render thread overtakes the ring",
         [&](auto r) { shared.postText(line(r) + "\n"); }},
        {"postFormatted off the render thread overtakes the ring",
         [&](auto r) { shared.postFormatted("other %llu\n", r); }},
    };
    constexpr unsigned long long kRounds = 200;
    for (const auto& [fault, write] : writers) {
        SCOPED_TRACE(fault);
        ConsoleCapture console;
        std::atomic<unsigned long long> turn{0}; // odd: the other thread's turn
        std::atomic<bool> stalled{false};
        const auto awaitTurn = [&](unsigned long long wanted) {
            const auto deadline = std::chrono::steady_clock::now() + 30s;
            while (turn.load(std::memory_order_acquire) != wanted && !stalled)
                if (std::chrono::steady_clock::now() > deadline)
                    stalled = true;
                else
                    std::this_thread::yield();
            return !stalled;
        };
        std::thread render([&] {
            const plat::RealtimeScope realtime;
            for (unsigned long long r = 0; r < kRounds && awaitTurn(2 * r); ++r) {
                shared.postFormatted("render %llu a\n", r);
                shared.postFormatted("render %llu b %.1f\n", r, 0.5);
                shared.print("render c\n");
                turn.store(2 * r + 1, std::memory_order_release);
            }
        });
        std::thread other([&] {
            for (unsigned long long r = 0; r < kRounds && awaitTurn(2 * r + 1); ++r) {
                write(r);
                turn.store(2 * r + 2, std::memory_order_release);
            }
        });
        render.join(), other.join();
        ASSERT_FALSE(stalled);
        std::string expected;
        for (unsigned long long r = 0; r < kRounds; ++r) {
            const std::string n = std::to_string(r);
            expected += "render " + n + " a\nrender " + n + " b 0.5\nrender c\n" + line(r) + "\n";
        }
        EXPECT_EQ(console.text(), expected);
        EXPECT_FALSE(console.printedOnRealtimeThread()) << "the render thread's print written directly";
    }
}

namespace {

// How far exit has gone: 1 once it is past where static objects end, 2 once a thread wrote then.
std::atomic<int> gExitStage{0};

void writeToStandardError(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

} // namespace

// A process forked while another thread of its parent writes a line can write lines of its own:
// it does not start with the writers' lock held by a thread it does not have.
TEST(Console, AProcessForkedWhileAnotherThreadWritesCanWrite) {
    plat::Console::shared().setSink([](std::string_view) {});
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop) plat::Console::shared().writeLine("from the parent");
    });
    bool wrote = true;
    for (int i = 0; i < 50 && wrote; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            plat::Console::shared().writeLine("from the child");
            std::_Exit(0);
        }
        const int status = waitForChild(pid, "a process forked while a thread wrote, writing a line", 20);
        wrote = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    stop = true;
    writer.join();
    plat::Console::shared().setSink({});
    EXPECT_TRUE(wrote);
}

// The console is written to while the process exits (by a thread still searching, when a signal
// ended the application), and what the render thread posted just before is written out. Each row
// runs in a fresh process, whose console is made after the exit handler that waits for the writer.
TEST(Console, WritesWhileTheProcessExitsAreSafeAndTheRingIsWrittenOut) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* fault;
        void (*run)();
        const char* says;
    } rows[] = {
        {"the console destroyed at exit under a thread writing to it",
         [] {
             std::atexit([] {
                 gExitStage = 1;
                 const auto deadline = std::chrono::steady_clock::now() + 30s;
                 while (gExitStage != 2 && std::chrono::steady_clock::now() < deadline)
                     std::this_thread::yield();
             });
             plat::Console::shared().setSink(writeToStandardError);
             std::thread([] {
                 while (gExitStage != 1) std::this_thread::yield();
                 plat::Console::shared().writeLine("written while the process exits");
                 gExitStage = 2;
             }).detach();
             std::exit(0);
         },
         "written while the process exits"},
        {"the ring left unwritten at exit",
         [] {
             plat::Console::shared().setSink(writeToStandardError);
             const plat::RealtimeScope realtime;
             plat::Console::shared().postText("posted just before the exit\n");
             std::exit(0);
         },
         "posted just before the exit"},
    };
    // A process that does not end within a generous wait is ended by SIGALRM, which the check reports.
    const auto withinAMinute = [](void (*run)()) {
        ::alarm(60);
        run();
    };
    for (const auto& row : rows)
        EXPECT_EXIT(withinAMinute(row.run), testing::ExitedWithCode(0), row.says)
            << row.fault << " (or the process did not end within 60 s)";
}

namespace {

std::string escaped(std::string_view bytes) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
    }
    return out;
}

std::string utf8(char32_t c) {
    if (c < 0x80) return std::string(1, char(c));
    if (c < 0x800) return {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
    return {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
}

// Between two letters, so that an escape is seen to end where the text goes on.
std::string framed(const std::string& bytes) {
    std::string out = "a";
    out.append(bytes);
    out.push_back('b');
    return out;
}

} // namespace

// Every character below U+0800 as UTF-8, and every byte that cannot start one on its own: a control
// of either set, DEL, a quote or a backslash is shown escaped, whatever stands around it.
TEST(ShownText, EveryControlOfEitherSetAndEveryLoneHighByteIsEscapedAndNothingElse) {
    for (char32_t c = 0; c < 0x800; ++c) {
        const bool control = c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == '"' || c == '\\';
        const std::string bytes = utf8(c);
        const std::string shown = control ? escaped(bytes) : bytes;
        ASSERT_EQ(plat::shownText(framed(bytes)), framed(shown)) << std::hex << std::uint32_t(c);
    }
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string lone(1, char(byte));
        ASSERT_EQ(plat::shownText(framed(lone)), framed(escaped(lone))) << std::hex << byte;
    }
}

TEST(ShownText, BytesThatAreNotUTF8AreEscapedAndItsEdgesPassWhole) {
    const auto times = [](std::string_view text, std::size_t n) {
        std::string out;
        while (n-- > 0) out += text;
        return out;
    };
    const struct {
        const char* fault;
        std::string text, shown;
    } rows[] = {
        {"the first control passes", std::string("\0", 1), "\\x00"},
        {"the last control below space passes", "\x1f", "\\x1f"},
        {"space is escaped", " ", " "},
        {"tilde is escaped", "~", "~"},
        {"DEL passes", "\x7f", "\\x7f"},
        {"the first C1 control passes", "\xc2\x80", "\\xc2\\x80"},
        {"the last C1 control passes", "\xc2\x9f", "\\xc2\\x9f"},
        {"no-break space is escaped", "\xc2\xa0", "\xc2\xa0"},
        {"the raw CSI byte passes", "\x9b", "\\x9b"},
        {"a raw 0xA0 passes", "\xa0", "\\xa0"},
        {"a lone continuation after a sequence joins it", "\xc3\xa9\xbf", "\xc3\xa9\\xbf"},
        {"a two-byte overlong passes", "\xc0\x8a", "\\xc0\\x8a"},
        {"the highest two-byte overlong passes", "\xc1\xbf", "\\xc1\\xbf"},
        {"a three-byte overlong passes", "\xe0\x80\x8a", "\\xe0\\x80\\x8a"},
        {"the highest three-byte overlong passes", "\xe0\x9f\xbf", "\\xe0\\x9f\\xbf"},
        {"a four-byte overlong passes", "\xf0\x80\x80\x8a", "\\xf0\\x80\\x80\\x8a"},
        {"the highest four-byte overlong passes", "\xf0\x8f\xbf\xbf", "\\xf0\\x8f\\xbf\\xbf"},
        {"the first surrogate passes", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"the last surrogate passes", "\xed\xbf\xbf", "\\xed\\xbf\\xbf"},
        {"the first code point past U+10FFFF passes", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"a lead past F4 passes", "\xf5\x80\x80\x80", "\\xf5\\x80\\x80\\x80"},
        {"0xFE passes", "\xfe", "\\xfe"},
        {"0xFF passes", "\xff", "\\xff"},
        {"a sequence cut by the end passes", "\xe2\x82", "\\xe2\\x82"},
        {"a sequence cut by a letter passes",
         "\xe2\x82"
         "A",
         "\\xe2\\x82"
         "A"},
        {"a four-byte sequence cut short passes",
         "\xf0\x9f\x98"
         "A",
         "\\xf0\\x9f\\x98"
         "A"},
        {"the first three-byte form is escaped", "\xe0\xa0\x80", "\xe0\xa0\x80"},
        {"the last code point before the surrogates is escaped", "\xed\x9f\xbf", "\xed\x9f\xbf"},
        {"the first code point after the surrogates is escaped", "\xee\x80\x80", "\xee\x80\x80"},
        {"the first four-byte form is escaped", "\xf0\x90\x80\x80", "\xf0\x90\x80\x80"},
        {"U+10FFFF is escaped", "\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},
        {"an escape code and a forged line pass", "a\x1b[2Jb\nFORGED", "a\\x1b[2Jb\\x0aFORGED"},
        {"a long text cut at its end (a path losing its file name), or its cut unmarked",
         times("a", 300) + times("b", 300), times("a", 253) + "..." + times("b", 256)},
        {"a long text cut inside a two-byte character, at either side of the cut", times("\u00e9", 300) + "z",
         times("\u00e9", 126) + "..." + times("\u00e9", 127) + "z"},
    };
    for (const auto& row : rows) EXPECT_EQ(plat::shownText(row.text), row.shown) << row.fault;
    // A sequence cut by the end of the text, though the bytes after it would complete it.
    EXPECT_EQ(plat::shownText(std::string_view("\xe2\x82\xac", 2)), "\\xe2\\x82");
}
