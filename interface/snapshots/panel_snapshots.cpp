// Renders the panel's pages, the meter underlay and the frame plate to PNG files, each at the canvas
// size 512 x 512 and fitted into a 1024 x 768 view.
//   panel_snapshots <output folder>
#include "PanelDrawing.h"
#include "PluginFrameBaseEx.h"
#include "SorvaneUnderlayBase.h"
#include "SorvaneViewBase.h"

#include "plat/console.h"
#include "plat/image.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace {

using plat::CGRect;

struct Size {
    int width, height;
    const char* suffix;
};
constexpr Size kSizes[] = {{512, 512, "512"}, {1024, 768, "1024x768"}};

// A gentle, repeatable spread of values over the 32 bands.
double wave(int i, double phase) {
    return 0.5 + 0.45 * std::sin(i * 0.37 + phase);
}

void setFrequencyLabels(SorvaneViewBase& panel) {
    for (int i = 0; i < SorvaneViewBase::kBandCount; ++i)
        panel.valueFrequency[i] =
            panel::frequencyLabelText(static_cast<float>(16.352 * std::pow(2.0, i / 3.0)));
}

void contrastPanel(SorvaneViewBase& panel, double c) {
    panel.colorContrast = {1 - c, 1 - c, 1 - c, 1};
    panel.colorContrastInverted = {c, c, c, 1};
}

bool render(const std::filesystem::path& folder, const std::string& name, bool whiteBackground,
            const std::function<void(const CGRect&)>& draw) {
    bool ok = true;
    for (const Size& s : kSizes) {
        plat::ImageSurface image(s.width, s.height);
        if (whiteBackground) image.fill(plat::UIColor::white());
        {
            plat::UIGraphicsContextScope scope(image.context());
            draw({0, 0, double(s.width), double(s.height)});
        }
        const std::string path = (folder / (name + "_" + s.suffix + ".png")).string();
        std::string error;
        if (image.writePNG(path, &error)) {
            std::printf("%s\n", plat::shownText(path).c_str());
        } else {
            std::fprintf(stderr, "panel_snapshots: %s\n", plat::shownMessage(error).c_str());
            ok = false;
        }
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: panel_snapshots <output folder>\n");
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "panel_snapshots: cannot create %s: %s\n",
                     plat::shownText(folder.string()).c_str(), plat::shownMessage(ec.message()).c_str());
        return 1;
    }

    bool ok = true;
    for (const auto& [value, name] : {std::pair{0.0, "main_0"}, {0.5, "main_0.5"}, {1.0, "main_1"}}) {
        SorvaneViewBase panel;
        setFrequencyLabels(panel);
        panel.valueKnob = value;
        ok &= render(folder, name, true,
                     [&](const CGRect& r) { panel.drawMain(r, ResizingBehavior::aspectFit); });
    }

    for (int mode = 1; mode <= 3; ++mode) {
        SorvaneViewBase panel;
        setFrequencyLabels(panel);
        panel.panelMode = mode;
        for (int i = 0; i < SorvaneViewBase::kBandCount; ++i) {
            panel.valueLevel[i] = wave(i, 0);
            panel.valueResonance[i] = wave(i, 2) * 0.8;
            panel.valueCompansion[i] = wave(i, 4);
        }
        panel.valueAttack = 0.2;
        panel.valueRelease = 0.85;
        panel.isReleaseActive = mode == 3;
        panel.isButtonCompansionActive = mode == 3;
        panel.isBypass = mode == 2;
        const char* name = mode == 1 ? "levels" : mode == 2 ? "resonance" : "compansion";
        ok &= render(folder, name, true,
                     [&](const CGRect& r) { panel.drawMain(r, ResizingBehavior::aspectFit); });
    }

    {
        // Ring labels as stored, texts that read as no whole number included.
        SorvaneViewBase panel;
        setFrequencyLabels(panel);
        const char* stored[] = {"nan\nhz", "inf\nhz", "1e30\nhz", "-inf\nhz"};
        for (int i = 0; i < 4; ++i) panel.valueFrequency[14 + i] = stored[i];
        panel.isBypass = true; // pressed or not, BYPASS keeps its idle size
        ok &= render(folder, "labels", true,
                     [&](const CGRect& r) { panel.drawMain(r, ResizingBehavior::aspectFit); });
    }

    SorvaneUnderlayBase underlay;
    for (int i = 0; i < SorvaneUnderlayBase::kBandCount; ++i) {
        underlay.valueLevel[i] = wave(i, 1) * 0.9;
        underlay.valueReduct[i] = wave(i, 3);
    }
    ok &= render(folder, "underlay", true,
                 [&](const CGRect& r) { underlay.drawMain(r, ResizingBehavior::aspectFit); });

    PluginFrameBaseEx frame;
    frame.contrast = 0.15;
    ok &= render(folder, "frame", false, [&](const CGRect& r) { frame.drawInView(r); });

    // The stack as the plug-in shows it: plate, meters, then the panel, at brightness 0.15.
    SorvaneViewBase panel;
    setFrequencyLabels(panel);
    contrastPanel(panel, 0.15);
    panel.valueKnob = 0.7;
    ok &= render(folder, "composite", false, [&](const CGRect& r) {
        frame.drawInView(r);
        underlay.drawInView(r, false);
        panel.drawInView(r, false);
    });

    return ok ? 0 : 1;
}
