// The meter timer on a stepped clock, and the underlay redrawing what moved.
#include "PanelRig.h"
#include "SteppedClockTest.h"

#include <functional>

namespace {

class MeterTimer : public SteppedClockTest {
protected:
    void openWithSignal() {
        rig.open();
        // Some audio through the unit, so its meters hold values worth copying.
        auto& unit = *rig.vc->audioUnit();
        ASSERT_TRUE(unit.allocateRenderResources().ok());
        RenderHost host(unit.renderBlock());
        for (int i = 0; i < 8; ++i) host.cycle(512);
    }
    void ticks(int n) { tick(0.04, n); }
    PanelRig rig;
};

} // namespace

TEST_F(MeterTimer, FeedsTheUnderlayTwentyFiveTimesASecond) {
    openWithSignal();
    const auto start = rig.vc->counter;
    const auto draws = rig.vc->underlay->displayCount();
    tick(1.0 / 25, 25);
    EXPECT_EQ(rig.vc->counter - start, 25);
    const float* levels = rig.vc->audioUnit()->getLevels();
    const float* factors = rig.vc->audioUnit()->getFactors();
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(rig.vc->underlay->baseClass().valueLevel[i], double(levels[i]));
        EXPECT_EQ(rig.vc->underlay->baseClass().valueReduct[i], double(factors[i]));
    }
    rig.render();
    EXPECT_EQ(rig.vc->underlay->displayCount(), draws + 1); // redrawn once for all the ticks since
    ticks(5); // no sound since: the meters hold still and cost no redraw
    EXPECT_FALSE(rig.vc->underlay->needsDisplay());
}

TEST_F(MeterTimer, StopsWhileBypassedOrOutOfSightButNotWhenPartlyOutsideItsParent) {
    using Setup = std::function<void(AudioUnitViewController&)>;
    const auto placedAt = [](double x) -> Setup {
        return [x](auto& vc) { vc.pluginView->setFrame({x, 0, 512, 512}); };
    };
    const std::tuple<const char*, Setup, int> cases[] = {
        {"bypassed", [](auto& vc) { vc.audioUnit()->setShouldBypassEffect(true); }, 0},
        {"panel hidden", [](auto& vc) { vc.mainView->setHidden(true); }, 0},
        {"hidden ancestor", [](auto& vc) { vc.pluginView->setHidden(true); }, 0},
        {"underlay hidden", [](auto& vc) { vc.underlay->setHidden(true); }, 0},
        {"container outside its parent", placedAt(5000), 0},
        {"not in a window", [](auto& vc) { vc.view()->removeFromSuperview(); }, 0},
        {"partly outside its parent", placedAt(400), 5}};
    for (const auto& [name, setup, ticked] : cases) {
        SCOPED_TRACE(name);
        PanelRig other;
        std::swap(rig.window, other.window);
        std::swap(rig.vc, other.vc);
        openWithSignal();
        setup(*rig.vc);
        rig.vc->underlay->setLevels(std::array<float, 32>{}.data());
        ticks(5);
        EXPECT_EQ(rig.vc->counter, ticked);
        EXPECT_EQ(rig.vc->underlay->baseClass().valueLevel[10] != 0.0, ticked != 0);
    }
}

TEST_F(MeterTimer, WarnsOnEveryTickUntilAUnitArrives) {
    CapturedConsole console;
    rig.loadView();
    ticks(10);
    EXPECT_EQ(console.count("WARNING: The Audio unit is not initialized.\n"), 10u);
    EXPECT_EQ(rig.vc->counter, 0);
    rig.factory();
    ticks(3);
    EXPECT_EQ(console.count("WARNING: The Audio unit is not initialized.\n"), 10u);
}

TEST(Underlay, SetFocusAsksForARedrawAndChangesNoPixel) {
    const auto window = plat::UIWindow::makeHeadless({300, 300});
    const auto underlay = std::make_shared<SorvaneUnderlay>(plat::CGRect{0, 0, 300, 300});
    window->addSubview(underlay);
    const auto before = window->snapshot();
    for (const bool focus : {true, false}) {
        ASSERT_FALSE(underlay->needsDisplay());
        underlay->setFocus(focus);
        EXPECT_TRUE(underlay->needsDisplay()) << focus;
        const auto after = window->snapshot();
        for (int y = 0; y < 300; y += 2)
            for (int x = 0; x < 300; x += 2)
                ASSERT_EQ(before->pixel(x, y), after->pixel(x, y)) << x << "," << y;
    }
}

namespace {

// An underlay in a window, fed as the meter timer feeds it; each look compares its picture, redrawn
// where the meters moved, with the one a fresh underlay draws whole with the same values.
class MeterFace {
public:
    explicit MeterFace(plat::CGRect frame_) : frame(frame_) {
        factors.fill(0.5f);
        window->addSubview(underlay);
        window->snapshot();
    }

    // Whether the largest difference of a colour channel between the two pictures stays within a
    // few levels: where an edge crosses the border of a part redrawn, and along a bar's side when
    // only its length changed, cairo's antialiasing may differ by that much. A bar left stale
    // differs by far more.
    ::testing::AssertionResult same() const {
        const auto part = show(*window, *underlay);
        const auto fresh = plat::UIWindow::makeHeadless(window->bounds().size);
        const auto other = std::make_shared<SorvaneUnderlay>(frame);
        fresh->addSubview(other);
        const auto whole = show(*fresh, *other);
        int worst = 0;
        for (int y = 0; y < whole->height(); ++y)
            for (int x = 0; x < whole->width(); ++x) {
                const plat::Pixel a = part->pixel(x, y), b = whole->pixel(x, y);
                worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
            }
        if (worst <= 12) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "differs by " << worst << " levels";
    }

    plat::CGRect frame;
    plat::UIColor colour{0.753, 0.17, 0.402, 1};
    std::array<float, 32> levels{}, factors;
    const std::shared_ptr<plat::UIWindow> window =
        plat::UIWindow::makeHeadless({frame.maxX() + 11, frame.maxY() + 7});
    const std::shared_ptr<SorvaneUnderlay> underlay = std::make_shared<SorvaneUnderlay>(frame);

private:
    std::unique_ptr<plat::ImageSurface> show(plat::UIWindow& into, SorvaneUnderlay& meters) const {
        meters.setFrame(frame);
        meters.baseClass().colorLevel = colour;
        meters.setLevels(levels.data());
        meters.setFactors(factors.data());
        return into.snapshot();
    }
};

} // namespace

// Only the bars that moved are drawn again, and the picture is the one a fresh underlay draws whole.
TEST(Underlay, RedrawingWhatMovedGivesTheWholeRedrawsPicture) {
    // An odd size: the face is fitted at an odd scale, and bar ends fall between pixels.
    MeterFace face({3, 5, 690, 521});
    auto& [frame, colour, levels, factors, window, underlay] = face;
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"levels that grow",
         [&] {
             for (int i = 0; i < 32; ++i) levels[i] = 0.031f * float(i);
         }},
        {"levels that fall back past the bars' start", [&] { levels.fill(0.004f); }},
        {"gains that reduce", [&] { factors[5] = 0.1f, factors[6] = 0.0f; }},
        {"gains that turn to raising", [&] { factors[5] = 0.9f, factors[6] = 1.0f; }},
        {"a face resized", [&] { frame.size.width = 500; }},
        {"the level colour changed, all drawn again",
         [&] { colour.green = 0.8, underlay->setNeedsDisplay(); }},
    };
    for (const auto& [name, change] : steps) {
        change();
        EXPECT_TRUE(face.same()) << name;
    }
}

// Every band's bars at their own angle, long and short, out and back, moved alone (the damaged box
// of that one bar) and all at once (many boxes, some joined). A box one pixel short, or turned to
// the mirrored band, leaves part of the moved bar stale.
TEST(Underlay, RedrawingWhatMovedGivesTheWholeRedrawsPictureAtEveryBandsAngle) {
    struct Move {
        const char* fault;
        bool level;
        float value;
    };
    const Move moves[] = {
        {"a level grown full left short", true, 1.0f},
        {"a full level fallen back left standing", true, 0.0f},
        {"a level grown a little left short", true, 0.06f},
        {"a short level fallen back left standing", true, 0.0f},
        {"a gain bar grown to full reduction left short", false, 0},
        {"a full reduction gone back left standing", false, 0.5f},
        {"a gain bar grown inwards a little left short", false, 0.56f},
        {"a slight raise gone back left standing", false, 0.5f},
    };
    // Odd offsets and scale: bar ends fall between pixels.
    MeterFace face({3, 5, 437, 421});
    for (int band = 0; band < 32; ++band)
        for (const Move& move : moves) {
            face.underlay->setNeedsDisplay(); // from a whole picture: a stale part shows in one move only
            face.window->snapshot();
            (move.level ? face.levels : face.factors)[std::size_t(band)] = move.value;
            EXPECT_TRUE(face.same()) << move.fault << ", band " << band;
        }
    for (const Move& move : moves) {
        face.underlay->setNeedsDisplay();
        face.window->snapshot();
        for (int band = 0; band < 32; ++band)
            (move.level ? face.levels : face.factors)[std::size_t(band)] =
                move.value * float(band % 3 + 1) / 3;
        EXPECT_TRUE(face.same()) << move.fault << ", every band at once";
    }
}
