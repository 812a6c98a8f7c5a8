// The plug-in's interface in a real GTK window under Xvfb, driven by xdotool as a user would.
#include "PanelRig.h"

#include "Xdotool.h"

#include <gtk/gtk.h>

#include <cstdlib>

TEST(Window, DrivenWithRealInputEvents) {
    FactoryFolder presets;
    auto vc = std::make_shared<AudioUnitViewController>();
    auto made = plat::UIWindow::makeOnScreen({512, 512}, "YUX Sorvane");
    ASSERT_TRUE(made.ok()) << made.error().description;
    auto window = made.value();
    window->setRootViewController(vc);
    window->makeKeyAndVisible();
    ASSERT_TRUE(vc->createAudioUnit(YUX_Sorvane_Extension_AudioUnit::componentDescriptionOfEffect()).ok());
    auto& loop = plat::RunLoop::main();
    ASSERT_TRUE(loop.runUntil(
        [&] { return window->nativeWindowId() != 0 && window->renderCount() > 0 && vc->audioUnit(); },
        std::chrono::seconds(5)));
    loop.runFor(std::chrono::milliseconds(300)); // mapped, placed and drawn before the pointer moves
    auto tree = vc->audioUnit()->parameterTree();
    tree->parameterWithAddress(1)->setValue(0.3f);

    const std::string id = std::to_string(window->nativeWindowId());
    auto to = [&](plat::CGPoint p) {
        return std::vector<std::string>{
            "mousemove", "--sync", "--window", id, std::to_string(int(p.x)), std::to_string(int(p.y))};
    };
    std::vector<std::string> script;
    auto add = [&](std::vector<std::string> words) {
        script.insert(script.end(), words.begin(), words.end());
    };
    add(to(kKnob)); // up 40 and right 20 on the centre knob: +0.3
    add({"mousedown", "1"});
    add(to({266, 236}));
    add(to({276, 216}));
    add({"mouseup", "1", "sleep", "0.6"});
    add(to(kLevels));
    add({"click", "1", "sleep", "0.6"});
    add(to(band(3.2)));
    add({"mousedown", "1"});
    add(to(band(5.2)));
    add(to(band(7.2)));
    add({"mouseup", "1", "sleep", "0.6"});
    add(to({256, 480}));
    add({"keydown", "ctrl", "click", "5", "click", "5", "keyup", "ctrl"});
    ASSERT_TRUE(xdotool(script));
    loop.runFor(std::chrono::milliseconds(600)); // the wheel's pinch ends once the wheel rests

    EXPECT_FLOAT_EQ(tree->parameterWithAddress(1)->value(), 0.6f);
    EXPECT_EQ(vc->mainView->baseClass().panelMode, 1);
    for (int i = 0; i < 32; ++i)
        EXPECT_FLOAT_EQ(tree->parameterWithAddress(1000 + i)->value(), i >= 3 && i <= 7 ? 0.75f : 0.5f) << i;
    const auto frame = vc->pluginView->frame();
    EXPECT_NEAR(frame.width(), 512 / 1.21, 0.5);
    EXPECT_NEAR(frame.midX(), 256, 0.5);
    EXPECT_FALSE(vc->lockAutoLayout());

    // A native widget laid over a view follows the view's frame.
    GtkWidget* label = gtk_label_new("native");
    ASSERT_TRUE(window->placeNativeWidget(label, vc->pluginView));
    loop.runFor(std::chrono::milliseconds(100));
    int x = -1, y = -1;
    gtk_widget_translate_coordinates(label, GTK_WIDGET(window->nativeWindow()), 0, 0, &x, &y);
    EXPECT_EQ(x, int(std::lround(frame.minX())));
    EXPECT_EQ(gtk_widget_get_allocated_width(label), int(std::lround(frame.width())));

    // An alert is GTK's own dialog: Return presses its default button.
    CapturedConsole console;
    vc->alert("Sorvane alert", "Press Return");
    EXPECT_TRUE(
        xdotool({"search", "--sync", "--name", "^Sorvane alert$", "windowfocus", "--sync", "key", "Return"}));
    loop.runUntil([&] { return !vc->presentedViewController(); }, std::chrono::seconds(5));
    EXPECT_EQ(console.count("Alert was accepted."), 1u);

    const std::string shot = std::string(std::getenv("SORVANE_BINARY_DIR")) + "/panel_window.png";
    std::string error;
    EXPECT_TRUE(window->writeScreenshot(shot, &error)) << error;
    window->close();
}
