#include "SorvaneViewBase.h"

#include "PanelDrawing.h"

using panel::GState;
using panel::radians;
using plat::CGContext;
using plat::CGPoint;
using plat::UIFont;

SorvaneViewBase::SorvaneViewBase() {
    valueLevel.fill(0.5);
    valueResonance.fill(0.1);
    valueCompansion.fill(0.5);
    valueFrequency.fill("hz");
}

SorvaneViewBase::~SorvaneViewBase() = default;

void SorvaneViewBase::drawInView(const CGRect& bounds, bool isHidden) {
    if (isHidden) return;
    drawMain(bounds, ResizingBehavior0::aspectFit);
}

void SorvaneViewBase::drawMain(CGRect frame, ResizingBehavior0 resizing) {
    CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    GState whole(*ctx);
    panel::enterCanvas(*ctx, apply(resizing, kCanvas, frame, *this), 512, 512);

    const UIColor titleColor = colorContrast.withAlphaComponent(0.8);
    const UIColor ringColor = colorContrast.withAlphaComponent(0.5);

    {
        GState g(*ctx);
        ctx->translateBy(256, 256);
        panel::strokeRound(*ctx, UIBezierPath::withOvalIn({-200, -200, 400, 400}), ringColor, 6);
    }
    {
        GState g(*ctx);
        ctx->translateBy(256, 256);
        panel::strokeRound(*ctx, UIBezierPath::withOvalIn({-40, -40, 80, 80}), colorContrast, 1);
    }

    const UIFont labelFont = UIFont::systemFont(9);
    for (int i = 0; i < kBandCount; ++i) {
        GState g(*ctx);
        ctx->translateBy(256, 256);
        ctx->rotate(radians(10.0 * i - 155));
        panel::drawCentredText(*ctx, valueFrequency[i], {-32, -226, 64, 18}, labelFont, colorContrast);
    }

    panel::placeSymbol(*ctx, {256, 256}, isKnobActive ? 1.5 : 1.1, {-55, -60, 110, 110}, [&] {
        drawSymbolKnobBiDi({0, 0, 110, 110}, ResizingBehavior::stretch, valueKnob, "comp./exp.",
                           isKnobActive);
    });

    const bool page3 = panelMode == 3, page2 = panelMode == 2, page1 = panelMode == 1;
    auto page = [&](void (SorvaneViewBase::*draw)(CGRect, ResizingBehavior0)) {
        GState g(*ctx);
        ctx->clip(kCanvas);
        ctx->translateBy(0, 0);
        (this->*draw)(kCanvas, ResizingBehavior0::stretch);
    };
    if (page3)
        page(&SorvaneViewBase::drawSymbolCompansion);
    else if (page2)
        page(&SorvaneViewBase::drawSymbolResonance);
    else if (page1)
        page(&SorvaneViewBase::drawSymbolLevels);

    struct Button {
        CGPoint centre;
        bool grown;
        bool active;
        const char* label;
    };
    const Button buttons[] = {
        {{93.1, 49.25}, isButtonLevelsActive, isButtonLevelsActive, "LEVELS"},
        {{422.1, 49.25}, isButtonResonanceActive, isButtonResonanceActive, "RESONANCE"},
        {{422.1, 452.25}, isButtonCompansionActive, isButtonCompansionActive, "COMPANSION"},
        {{93.1, 461.25}, isButtonBypassActive, isBypass, "BYPASS"},
    };
    for (const Button& b : buttons) {
        panel::placeSymbol(*ctx, b.centre, b.grown ? 1.5 : 1.1, {-51, -12.5, 102, 25}, [&] {
            drawSymbolButton({0, 0, 102, 25}, ResizingBehavior::stretch, b.active, b.label);
        });
    }

    const UIFont titleFont = UIFont::withName("HelveticaNeue-CondensedBold", 15.5);
    panel::drawCentredText(*ctx, "YUX SORVANE", {156, 464, 200, 22}, titleFont, titleColor);
    panel::drawCentredText(*ctx, "SPECTRAL COMPANDER", {156, 475, 200, 22}, titleFont, colorLevel);

    {
        GState g(*ctx);
        ctx->clip(kCanvas);
        ctx->translateBy(0, 0);
        drawSymbolHotspots(kCanvas, ResizingBehavior0::stretch);
    }
}

void SorvaneViewBase::drawSymbolHotspots(CGRect frame, ResizingBehavior0 resizing) {
    CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    GState g(*ctx);
    panel::enterCanvas(*ctx, apply(resizing, kCanvas, frame, *this), 512, 512);

    if (panelMode > 0) {
        hotspotSlidersPath = UIBezierPath::withRect({49, 191, 414, 128});
        hotspotKnobAttackPath = UIBezierPath::withRect({183, 69, 66, 66});
        hotspotKnobReleasePath = UIBezierPath::withRect({262, 69, 66, 66});
    } else {
        hotspotKnobPath = UIBezierPath::withRect({196, 194, 120, 120});
    }
    hotspotButtonLevelsPath = UIBezierPath::withRect({33, 32, 120, 34});
    hotspotButtonResonancePath = UIBezierPath::withRect({362, 32, 120, 34});
    hotspotButtonCompansionPath = UIBezierPath::withRect({362, 444, 120, 34});
    hotspotButtonBypassPath = UIBezierPath::withRect({33, 444, 120, 34});
    hotspotCaption1Path = UIBezierPath::withRect({197, 4, 120, 34});
    hotspotCaption2Path = UIBezierPath::withRect({175, 469, 161, 34});
}
