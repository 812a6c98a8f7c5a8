// The plug-in's interface in a real GTK window under Xvfb, driven by xdotool as a user would. Each
// step waits for what it caused, so a busy machine only makes it slower.
#include "PanelRig.h"

#include "Xdotool.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdlib>

namespace {

// Serves the main loop until `done` holds; generous, for busy machines.
bool waitFor(const std::function<bool()>& done, double seconds = 30) {
    return plat::RunLoop::main().runUntil(done, std::chrono::milliseconds(long(seconds * 1000)));
}

// The largest difference of a colour channel between the window's pixels on the display and the
// tree rendered afresh: 0 when the screen shows what the tree draws, large where a part was left
// stale. The display is read as it stands, without asking for a redraw first.
int screenAgainstTree(plat::UIWindow& window) {
    gdk_display_sync(gdk_display_get_default());
    GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(window.nativeWindow()));
    const auto tree = window.snapshot();
    GdkPixbuf* screen = gdk_pixbuf_get_from_window(gw, 0, 0, tree->width(), tree->height());
    if (screen == nullptr) return 256;
    const int stride = gdk_pixbuf_get_rowstride(screen), step = gdk_pixbuf_get_n_channels(screen);
    const guchar* pixels = gdk_pixbuf_get_pixels(screen);
    int worst = 0;
    for (int y = 0; y < tree->height(); ++y)
        for (int x = 0; x < tree->width(); ++x) {
            const guchar* s = pixels + y * stride + x * step;
            const plat::Pixel t = tree->pixel(x, y);
            worst = std::max({worst, std::abs(s[0] - t.r), std::abs(s[1] - t.g), std::abs(s[2] - t.b)});
        }
    g_object_unref(screen);
    return worst;
}

} // namespace

TEST(Window, DrivenWithRealInputEvents) {
    FactoryFolder presets;
    auto vc = std::make_shared<AudioUnitViewController>();
    auto made = plat::UIWindow::makeOnScreen({512, 512}, "YUX Sorvane");
    ASSERT_TRUE(made.ok()) << made.error().description;
    auto window = made.value();
    window->setRootViewController(vc);
    window->makeKeyAndVisible();
    ASSERT_TRUE(vc->createAudioUnit(YUX_Sorvane_Extension_AudioUnit::componentDescriptionOfEffect()).ok());
    SorvaneViewBase& panel = vc->mainView->baseClass();
    const auto drawn = [&] {
        return !vc->mainView->needsDisplay() && !vc->underlay->needsDisplay() && !window->needsLayout();
    };
    ASSERT_TRUE(waitFor([&] {
        return window->nativeWindowId() != 0 && vc->audioUnit() && window->renderCount() > 0 && drawn();
    }));
    auto tree = vc->audioUnit()->parameterTree();
    tree->parameterWithAddress(1)->setValue(0.3f);
    ASSERT_TRUE(waitFor([&] { return panel.valueKnob == double(0.3f); })); // the drag starts from it

    const std::string id = std::to_string(window->nativeWindowId());
    auto to = [&](plat::CGPoint p) {
        return std::vector<std::string>{
            "mousemove", "--sync", "--window", id, std::to_string(int(p.x)), std::to_string(int(p.y))};
    };
    auto run = [&](std::vector<std::vector<std::string>> steps) {
        std::vector<std::string> script;
        for (const auto& step : steps) script.insert(script.end(), step.begin(), step.end());
        return xdotool(script);
    };
    // Up 40 and right 20 on the centre knob: +0.3.
    ASSERT_TRUE(run({to(kKnob), {"mousedown", "1"}, to({266, 236}), to({276, 216}), {"mouseup", "1"}}));
    EXPECT_TRUE(waitFor([&] {
        return std::abs(tree->parameterWithAddress(1)->value() - 0.6f) < 1e-6f && !panel.isKnobActive;
    }));
    ASSERT_TRUE(run({to(kLevels), {"click", "1"}}));
    ASSERT_TRUE(waitFor([&] { return panel.panelMode == 1 && drawn(); })); // the bars can be touched
    ASSERT_TRUE(run({to(band(3.2)), {"mousedown", "1"}, to(band(5.2)), to(band(7.2)), {"mouseup", "1"}}));
    EXPECT_TRUE(
        waitFor([&] { return tree->parameterWithAddress(1007)->value() == 0.75f && !vc->touchesLocked; }));
    for (int i = 0; i < 32; ++i)
        EXPECT_FLOAT_EQ(tree->parameterWithAddress(1000 + i)->value(), i >= 3 && i <= 7 ? 0.75f : 0.5f) << i;
    // Two notches of Ctrl + wheel down: a pinch to 1 / 1.21, ended once the wheel rests.
    ASSERT_TRUE(run({to({256, 480}), {"keydown", "ctrl", "click", "5", "click", "5", "keyup", "ctrl"}}));
    EXPECT_TRUE(waitFor([&] { return !vc->lockAutoLayout() && vc->pluginView->frame().width() < 500; }));
    const auto frame = vc->pluginView->frame();
    EXPECT_NEAR(frame.width(), 512 / 1.21, 0.5);
    EXPECT_NEAR(frame.midX(), 256, 0.5);

    // Meters that moved are drawn again where they moved, and the screen shows the tree.
    vc->audioUnit()->setShouldBypassEffect(true); // the timer leaves the meters to the test
    const float levels[32] = {0.9f, 0.2f, 0.7f, 0.4f, 1.0f, 0.0f, 0.6f, 0.3f};
    vc->underlay->setLevels(levels);
    const auto renders = window->renderCount();
    ASSERT_TRUE(waitFor([&] { return window->renderCount() > renders && drawn(); }));
    EXPECT_LE(screenAgainstTree(*window), 8);

    // A native widget laid over a view follows its frame, and hides with any view above it.
    GtkWidget* label = gtk_label_new("native");
    ASSERT_TRUE(window->placeNativeWidget(label, vc->pluginView));
    int x = -1;
    EXPECT_TRUE(waitFor([&] {
        gtk_widget_translate_coordinates(label, GTK_WIDGET(window->nativeWindow()), 0, 0, &x, nullptr);
        return x == int(std::lround(frame.minX())) &&
               gtk_widget_get_allocated_width(label) == int(std::lround(frame.width()));
    })) << x;
    for (const bool hidden : {true, false}) {
        vc->view()->setHidden(hidden);
        EXPECT_TRUE(waitFor([&] { return gtk_widget_get_visible(label) != hidden; })) << hidden;
    }

    // Alerts are GTK's own dialogs; closing one without a button is its cancel button. Keys go
    // through the X test extension: the dialog may be gone before the key is released.
    const auto dialog = [] {
        GtkWindow* found = nullptr;
        for (GList* w = gtk_window_list_toplevels(); w; w = g_list_delete_link(w, w))
            if (gtk_widget_get_mapped(GTK_WIDGET(w->data)) &&
                g_strcmp0(gtk_window_get_title(GTK_WINDOW(w->data)), "Sorvane alert") == 0)
                found = GTK_WINDOW(w->data);
        return found;
    };
    const auto press = [&](const char* key) {
        return waitFor(dialog) &&
               xdotool(
                   {"windowfocus", "--sync",
                    std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(GTK_WIDGET(dialog()))))}) &&
               xdotool({"key", key});
    };
    const std::pair<std::function<bool()>, const char*> answers[] = {
        {[&] { return press("Return"); }, "Answer was YES."},
        {[&] { return press("Escape"); }, "Answer was NO."},
        {[&] { return waitFor(dialog) && (gtk_window_close(dialog()), true); }, "Answer was NO."}};
    for (const auto& [answer, line] : answers) {
        CapturedConsole console;
        vc->alertQuestion("Sorvane alert", "Sure?");
        ASSERT_TRUE(answer()) << line;
        EXPECT_TRUE(waitFor([&] { return !vc->presentedViewController(); }));
        gdk_display_sync(gdk_display_get_default()); // gone from the display too, before the next
        EXPECT_EQ(console.count(line), 1u) << line;
    }

    const std::string shot = std::string(std::getenv("SORVANE_BINARY_DIR")) + "/panel_window.png";
    std::string error;
    EXPECT_TRUE(window->writeScreenshot(shot, &error)) << error;
    window->close();
}
