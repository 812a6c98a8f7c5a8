// The knob and button symbols of the panel, each on its own small canvas.
#include "SorvaneViewBase.h"

#include "PanelDrawing.h"

#include <cmath>

using panel::GState;
using panel::radians;
using panel::strokeRound;
using plat::CGContext;
using plat::UIFont;

namespace {

// The translucent disc behind a knob (body on the centre knob, halo on the small ones).
plat::UIBezierPath knobDisc(CGContext& ctx) {
    ctx.translateBy(4.9, 46.16);
    ctx.rotate(radians(-29.64));
    return plat::UIBezierPath::withOvalIn({0, 0, 73.33, 73.33});
}

// Everything of a knob that turns with its value, drawn about the pivot with the pointer up.
void drawKnobPointerGroup(CGContext& ctx, const plat::UIColor& rim, const plat::UIColor& contrast,
                          const plat::UIColor& gripOutline, const plat::UIColor& accent) {
    strokeRound(ctx, plat::UIBezierPath::withOvalIn({-30, -30, 60, 60}), rim, 0.5);
    plat::UIBezierPath grip = panel::gripPath();
    ctx.fill(grip, contrast);
    strokeRound(ctx, grip, gripOutline, 1.5);
    strokeRound(ctx, plat::UIBezierPath::withOvalIn({-15.5, -15.5, 31, 31}), contrast, 1.5);
    ctx.fill(plat::UIBezierPath::withOvalIn({-2, -20.7, 4, 4}), accent);
    plat::UIBezierPath pointer;
    pointer.moveTo({-0.5, -39});
    pointer.addLineTo({1.67, -35.25});
    pointer.addLineTo({-2.67, -35.25});
    pointer.close();
    ctx.fill(pointer, accent);
    strokeRound(ctx, pointer, accent, 1.5);
}

// The dotted scale under both knobs: round-capped zero-length dashes every 4 units.
void drawDottedScale(CGContext& ctx, const plat::UIColor& color) {
    GState g(ctx);
    const plat::CGFloat dots[] = {0, 4};
    ctx.setLineDash(0, dots);
    strokeRound(ctx, plat::UIBezierPath::withArc({55, 60}, 41, radians(-220), radians(40), true), color, 2);
}

} // namespace

void SorvaneViewBase::drawSymbolKnobBiDi(CGRect frame, ResizingBehavior resizing, CGFloat value,
                                         const std::string& labelKnob, bool isActive) {
    CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    GState whole(*ctx);
    panel::enterCanvas(*ctx, apply(resizing, {0, 0, 110, 110}, frame), 110, 110);

    const UIColor valueColor = colorLevel.withAlphaComponent(0.6);
    const UIColor bodyColor =
        isActive ? colorLevel.withAlphaComponent(0.2) : colorReduction.withAlphaComponent(0.2);
    const UIColor outlineColor = colorContrast.withAlphaComponent(0.8);
    const UIColor bodyEdgeColor = colorContrast.withAlphaComponent(0.2);
    const CGFloat pointerAngle = (2 * value - 1) * 130;
    const CGFloat pointerArcAngle = -(90 - (2 * value - 1) * 130);
    const std::string valueText = panel::wholeNumberText((2 * value - 1) * 100);

    {
        GState g(*ctx);
        UIBezierPath body = knobDisc(*ctx);
        ctx->fill(body, bodyColor);
        strokeRound(*ctx, body, bodyEdgeColor, 1);
    }
    {
        GState g(*ctx);
        ctx->translateBy(55, 60);
        ctx->rotate(radians(pointerAngle));
        drawKnobPointerGroup(*ctx, colorContrast, colorContrast, outlineColor, colorLevel);
    }
    drawDottedScale(*ctx, outlineColor);
    if (value > 0.5)
        strokeRound(*ctx, UIBezierPath::withArc({55, 60}, 41, radians(-90), radians(pointerArcAngle), true),
                    valueColor, 2);
    if (value < 0.5)
        strokeRound(*ctx, UIBezierPath::withArc({55, 60}, 41, radians(pointerArcAngle), radians(-90), true),
                    valueColor, 2);

    panel::drawCentredText(*ctx, valueText, {5, 100, 99, 10}, UIFont::withName("HelveticaNeue", 8.5),
                           colorContrast);
    panel::drawCentredText(*ctx, labelKnob, {6, -1, 98, 12}, UIFont::withName("HelveticaNeue", 10),
                           colorContrast);
}

void SorvaneViewBase::drawSymbolKnobUni(CGRect frame, ResizingBehavior resizing, const std::string& labelKnob,
                                        bool isActive, CGFloat value, bool isEmphasized) {
    CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    GState whole(*ctx);
    panel::enterCanvas(*ctx, apply(resizing, {0, 0, 110, 110}, frame), 110, 110);

    const UIColor valueColor = colorLevel.withAlphaComponent(0.7);
    const UIColor trackColor = colorContrast.withAlphaComponent(0.8);
    const UIColor haloColor = colorContrast.withAlphaComponent(0.2);
    const UIColor stateColor = isActive ? colorLevel : colorContrast;
    const CGFloat knobAngle = (2 * value - 1) * -130;
    const CGFloat valueArcEnd = 220 - 260 * value;
    const std::string valueText = panel::wholeNumberText(100 * value);

    if (isEmphasized) {
        GState g(*ctx);
        UIBezierPath halo = knobDisc(*ctx);
        ctx->fill(halo, haloColor);
        strokeRound(*ctx, halo, haloColor, 1);
    }
    {
        GState g(*ctx);
        ctx->translateBy(55, 60);
        ctx->rotate(radians(-knobAngle));
        drawKnobPointerGroup(*ctx, stateColor, colorContrast, trackColor, colorLevel);
    }
    drawDottedScale(*ctx, trackColor);
    strokeRound(*ctx, UIBezierPath::withArc({55, 60}, 41, radians(-220), radians(-valueArcEnd), true),
                valueColor, 2);

    panel::drawCentredText(*ctx, valueText, {6, 99, 98, 10}, UIFont::withName("HelveticaNeue", 8.5),
                           stateColor);
    panel::drawCentredText(*ctx, labelKnob, {6, 1, 98, 12}, UIFont::withName("HelveticaNeue", 10),
                           stateColor);
}

void SorvaneViewBase::drawSymbolButton(CGRect frame, ResizingBehavior resizing, bool isActive,
                                       const std::string& buttonLabel) {
    CGContext* ctx = plat::UIGraphicsGetCurrentContext();
    if (ctx == nullptr) return;
    GState whole(*ctx);
    panel::enterCanvas(*ctx, apply(resizing, {0, 0, 102, 25}, frame), 102, 25);

    const UIColor outlineColor = colorContrast.withAlphaComponent(0.5);
    const UIColor captionColor = isActive ? colorLevel : outlineColor;
    strokeRound(*ctx, UIBezierPath::withRoundedRect({1, 1, 100, 23}, 3), outlineColor, 1.5);
    panel::drawCentredText(*ctx, buttonLabel, {1, 1, 100, 23}, UIFont::withName("HelveticaNeue", 10),
                           captionColor);
}
