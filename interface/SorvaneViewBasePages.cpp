// The three band pages laid over the main face: LEVELS, RESONANCE and COMPANSION.
#include "SorvaneViewBase.h"

#include "PanelDrawing.h"

#include <string>

using panel::GState;
using plat::CGContext;
using plat::UIFont;

namespace {
constexpr plat::UIColor kPageGrey{0.685, 0.685, 0.685, 1};
constexpr plat::UIColor kResonanceColor{0.8, 0.398, 0.32, 1};
} // namespace

void SorvaneViewBase::drawSymbolLevels(CGRect frame, ResizingBehavior0 resizing) {
    drawPage(PageKind::levels, frame, resizing);
}

void SorvaneViewBase::drawSymbolResonance(CGRect frame, ResizingBehavior0 resizing) {
    drawPage(PageKind::resonance, frame, resizing);
}

void SorvaneViewBase::drawSymbolCompansion(CGRect frame, ResizingBehavior0 resizing) {
    drawPage(PageKind::compansion, frame, resizing);
}

void SorvaneViewBase::drawPage(PageKind kind, CGRect frame, ResizingBehavior0 resizing) {
    CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    GState whole(*ctx);
    panel::enterCanvas(*ctx, apply(resizing, kCanvas, frame, *this), 512, 512);

    const bool levels = kind == PageKind::levels;
    const UIColor ink = levels ? colorContrast : kPageGrey;
    const UIColor barColor = levels ? colorLevel : kind == PageKind::resonance ? kResonanceColor : kPageGrey;
    const std::array<CGFloat, kBandCount>& values = levels                        ? valueLevel
                                                    : kind == PageKind::resonance ? valueResonance
                                                                                  : valueCompansion;
    const char* caption = levels ? "LEVELS" : kind == PageKind::resonance ? "RESONANCE" : "COMPANSION";

    UIBezierPath panelPath = UIBezierPath::withRoundedRect({36, 146, 440, 220}, 6);
    ctx->fill(panelPath, ink.withAlphaComponent(0.2));
    panelPath.lineWidth = 2;
    ctx->stroke(panelPath, ink);

    // Every bar's free end lies at y = 320 - 128 v: unipolar bars rise from 320, bipolar ones leave the
    // centre line 256 upwards (v > 0.5) or downwards (v < 0.5).
    for (int i = 0; i < kBandCount; ++i) {
        const CGFloat x = 49 + 13.0 * i;
        const CGFloat v = values[i];
        CGRect bar;
        if (kind == PageKind::compansion) {
            const CGFloat b = 2 * v - 1;
            bar = b < 0 ? CGRect{x, 256, 10, -b * 64} : CGRect{x, 256 - b * 64, 10, b * 64};
        } else {
            bar = {x, 320 - 128 * v, 10, 128 * v};
        }
        ctx->fill(UIBezierPath::withRoundedRect(bar, 5), barColor);
    }

    const UIFont numberFont = UIFont::systemFont(9);
    for (int i = 0; i < kBandCount; ++i)
        panel::drawCentredText(*ctx, std::to_string(i + 1), {48 + 13.0 * i, 329, 13, 13}, numberFont, ink);

    if (kind == PageKind::compansion) {
        struct Knob {
            plat::CGPoint centre;
            bool active;
            CGFloat value;
            const char* label;
        };
        const Knob knobs[] = {{{216, 102}, isAttackActive, valueAttack, "ATTACK"},
                              {{295, 102}, isReleaseActive, valueRelease, "RELEASE"}};
        for (const Knob& k : knobs) {
            panel::placeSymbol(*ctx, k.centre, k.active ? 1.5 : 1.1, {-30, -30, 60, 60}, [&] {
                drawSymbolKnobUni({0, 0, 60, 60}, ResizingBehavior::stretch, k.label, k.active, k.value,
                                  true);
            });
        }
    }

    const UIColor captionColor = levels                        ? colorLevel
                                 : kind == PageKind::resonance ? kResonanceColor
                                                               : kPageGrey;
    panel::drawCentredText(*ctx, caption, {156, 161, 200, 20},
                           UIFont::withName("HelveticaNeue-CondensedBold", 15.5), captionColor);

    UIBezierPath line;
    line.moveTo({47, 256});
    line.addLineTo({464, 256});
    panel::strokeRound(*ctx, line, ink.withAlphaComponent(0.8), 1.5);
}
