#include "ResponsePlot.h"

#include "plat/image.h"
#include "plat/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace presetmeasure {

namespace {

using plat::CGFloat;
using plat::CGPoint;
using plat::CGRect;
using plat::UIBezierPath;
using plat::UIColor;

constexpr int kWidth = 1350, kHeight = 505;
constexpr double kLowHz = 25.0, kHighHz = 20000.0;
constexpr double kTicksHz[] = {31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
constexpr const char* kTickLabels[] = {"31.5", "63", "125", "250", "500", "1k", "2k", "4k", "8k", "16k"};

// Bypass first, in black; then a palette whose neighbours are easy to tell apart.
constexpr UIColor kColours[] = {{0.00, 0.00, 0.00, 1}, {0.12, 0.47, 0.71, 1}, {1.00, 0.50, 0.05, 1},
                                {0.17, 0.63, 0.17, 1}, {0.84, 0.15, 0.16, 1}, {0.58, 0.40, 0.74, 1},
                                {0.55, 0.34, 0.29, 1}, {0.89, 0.47, 0.76, 1}, {0.50, 0.50, 0.50, 1},
                                {0.74, 0.74, 0.13, 1}, {0.09, 0.75, 0.81, 1}, {0.40, 0.20, 0.60, 1}};

UIColor colour(std::size_t i) {
    return kColours[i % std::size(kColours)];
}

plat::TextAttributes text(CGFloat size, plat::NSTextAlignment alignment = plat::NSTextAlignment::left) {
    return {plat::UIFont::systemFont(size), UIColor::black(), alignment};
}

void line(plat::CGContext& ctx, CGPoint a, CGPoint b, const UIColor& c, CGFloat width) {
    UIBezierPath path;
    path.moveTo(a);
    path.addLineTo(b);
    path.lineWidth = width;
    ctx.stroke(path, c);
}

// One panel: the responses at one pink-noise level, from `bottom` to `top` dB.
void drawPanel(plat::CGContext& ctx, const CGRect& area, const std::vector<Measurement>& measurements,
               Level level, double bottom, double top) {
    const CGRect plot(area.origin.x + 46, area.origin.y + 28, area.size.width - 56, area.size.height - 66);
    auto x = [&](double hz) {
        return plot.origin.x + plot.size.width * std::log(hz / kLowHz) / std::log(kHighHz / kLowHz);
    };
    auto y = [&](double db) { return plot.origin.y + plot.size.height * (top - db) / (top - bottom); };

    char title[96];
    std::snprintf(title, sizeof title, "Pink noise at %.0f dBFS RMS: against bypass, dB", kLevels[level]);
    plat::drawText(ctx, title, CGRect(plot.origin.x, area.origin.y + 4, plot.size.width, 20), text(14));

    const UIColor grid{0.85, 0.85, 0.85, 1};
    for (double db = bottom; db <= top + 1e-9; db += 5) {
        line(ctx, {plot.origin.x, y(db)}, {plot.origin.x + plot.size.width, y(db)}, grid, db == 0 ? 2 : 1);
        char label[16];
        std::snprintf(label, sizeof label, "%+.0f", db);
        plat::drawText(ctx, label, CGRect(area.origin.x, y(db) - 7, 40, 14),
                       text(11, plat::NSTextAlignment::right));
    }
    for (std::size_t t = 0; t < std::size(kTicksHz); ++t) {
        line(ctx, {x(kTicksHz[t]), plot.origin.y}, {x(kTicksHz[t]), plot.origin.y + plot.size.height}, grid,
             1);
        plat::drawText(ctx, kTickLabels[t],
                       CGRect(x(kTicksHz[t]) - 20, plot.origin.y + plot.size.height + 4, 40, 14),
                       text(11, plat::NSTextAlignment::center));
    }
    plat::drawText(ctx, "Hz, third-octave bands",
                   CGRect(plot.origin.x, plot.origin.y + plot.size.height + 18, plot.size.width, 14),
                   text(11, plat::NSTextAlignment::center));
    ctx.stroke(UIBezierPath::withRect(plot), UIColor{0.4, 0.4, 0.4, 1});

    ctx.saveGState();
    ctx.clip(plot);
    // Bypass last, so its line stays visible under the others.
    for (std::size_t n = measurements.size(); n-- > 0;) {
        UIBezierPath path;
        for (int b = 0; b < kThirdOctaves; ++b) {
            const CGPoint p{x(thirdOctaveCentre(b)), y(measurements[n].response[level][std::size_t(b)])};
            if (b == 0)
                path.moveTo(p);
            else
                path.addLineTo(p);
        }
        path.lineWidth = n == 0 ? 3.0 : 1.8;
        path.lineJoinStyle = UIBezierPath::LineJoin::round;
        ctx.stroke(path, colour(n));
    }
    ctx.restoreGState();
}

} // namespace

bool drawResponses(const std::vector<Measurement>& measurements, const std::string& path,
                   std::string* error) {
    double low = 0, high = 0;
    for (const auto& m : measurements)
        for (const auto& response : m.response)
            for (double db : response) {
                low = std::min(low, db);
                high = std::max(high, db);
            }
    const double bottom = 5 * std::floor(std::max(low, -40.0) / 5),
                 top = 5 * std::ceil(std::min(high, 20.0) / 5);

    plat::ImageSurface image(kWidth, kHeight);
    image.fill(UIColor::white());
    auto& ctx = image.context();
    const CGFloat panelHeight = 440, legendTop = panelHeight + 10;
    for (Level level : {quiet, medium, loud})
        drawPanel(ctx, CGRect(level * kWidth / 3.0, 0, kWidth / 3.0, panelHeight), measurements, level,
                  bottom, top);

    constexpr int kColumns = 6;
    for (std::size_t n = 0; n < measurements.size(); ++n) {
        const CGFloat left = 56 + CGFloat(n % kColumns) * (kWidth - 80) / kColumns;
        const CGFloat top = legendTop + CGFloat(n / kColumns) * 22;
        line(ctx, {left, top + 9}, {left + 28, top + 9}, colour(n), n == 0 ? 3.0 : 2.0);
        plat::drawText(ctx, measurements[n].name, CGRect(left + 36, top, 220, 18), text(13));
    }
    return image.writePNG(path, error);
}

} // namespace presetmeasure
