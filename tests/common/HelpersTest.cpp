// Lines printed in order from any thread, four-character codes, pinned views and unique names.
#include "Helpers.h"
#include "ConsoleCapture.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

TEST(Safeprint, WritesLinesInCallOrderWhenTheMainQueueRunsAndFromARealtimeThreadThroughTheRing) {
    ConsoleCapture out;
    plat::RunLoop::main().drain();
    safeprint("first line");
    debugprint("second line");
    EXPECT_EQ(out.text(), "");
    plat::RunLoop::main().drain();
    EXPECT_EQ(out.text(), "first line\nsecond line\n");
    std::thread render([] {
        plat::RealtimeScope realtime;
        safeprint("from the render thread");
        safeprint(std::string(400, 'x')); // cut to what a ring slot holds
    });
    render.join();
    EXPECT_EQ(plat::RunLoop::main().drain(), 0u); // nothing went through the main queue
    const std::string text = out.text().substr(23);
    EXPECT_EQ(text.substr(0, 23), "from the render thread\n");
    EXPECT_EQ(text.back(), '\n');
    EXPECT_LT(text.size(), 23u + 400u);
}

TEST(Helpers, FourCharacterCodesAsMacRomanTextPinnedViewsAndUniqueNames) {
    const std::pair<std::uint32_t, std::string> codes[] = {
        {0x61756D66, "aumf"}, {0x20202020, "    "}, {0, std::string(4, '\0')}, {0xA5414243u, "\u2022ABC"}};
    for (const auto& [code, text] : codes) EXPECT_EQ(stringValue(code), text);

    auto parent = std::make_shared<plat::UIView>(plat::CGRect(0, 0, 300, 200));
    auto child = std::make_shared<plat::UIView>(plat::CGRect(5, 5, 10, 10));
    auto lone = std::make_shared<plat::UIView>(plat::CGRect(1, 2, 3, 4));
    parent->addSubview(child);
    pinToSuperviewEdges(*child);
    pinToSuperviewEdges(*lone);
    EXPECT_FALSE(child->translatesAutoresizingMaskIntoConstraints());
    parent->setFrame(plat::CGRect(10, 10, 640, 480));
    parent->layoutIfNeeded();
    EXPECT_EQ(child->frame(), plat::CGRect(0, 0, 640, 480));
    EXPECT_TRUE(lone->translatesAutoresizingMaskIntoConstraints() && lone->constraints().empty());

    const std::string take = uniqueName("take"), plain = uniqueName(std::nullopt);
    EXPECT_TRUE(take.rfind("take-", 0) == 0 && take != uniqueName("take") && uniqueName("")[0] == '-')
        << take;
    std::set<std::string> names{plain};
    for (int i = 0; i < 1000; ++i) names.insert(uniqueName(std::nullopt));
    EXPECT_EQ(names.size(), 1001u);
}
