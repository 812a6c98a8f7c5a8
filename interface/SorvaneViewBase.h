// The plug-in panel's drawing object: everything the panel shows, and the routines that draw it on
// a 512 x 512 canvas fitted into the view. The panel control writes the state; the drawing reads it and
// records only the fitting (viewScale, viewOrigin) and the touch areas (the hotspot paths).
#pragma once

#include "CanvasFitting.h"

#include "plat/graphics.h"

#include <array>
#include <memory>
#include <string>

class AudioUnitViewController;
class YUX_Sorvane_Extension_AudioUnit;

class SorvaneViewBase {
public:
    using CGFloat = plat::CGFloat;
    using CGRect = plat::CGRect;
    using UIColor = plat::UIColor;
    using UIBezierPath = plat::UIBezierPath;
    // Symbol drawings fit with the pure form, whole-canvas drawings with the recording form.
    using ResizingBehavior = ::ResizingBehavior;
    using ResizingBehavior0 = ::ResizingBehavior;

    static constexpr int kBandCount = 32;
    static constexpr CGRect kCanvas{0, 0, 512, 512};

    SorvaneViewBase();
    virtual ~SorvaneViewBase();
    SorvaneViewBase(const SorvaneViewBase&) = delete;
    SorvaneViewBase& operator=(const SorvaneViewBase&) = delete;

    std::weak_ptr<AudioUnitViewController> viewController; // does not keep the controller alive
    // The controller's audio unit, when there is a controller (defined with the panel view).
    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> audioUnit() const;
    UIColor colorContrast{0, 0, 0, 1};
    UIColor colorContrastInverted{1, 1, 1, 1};
    UIColor colorLevel{0.753, 0.17, 0.402, 1};
    UIColor colorReduction{0.197, 0.633, 0.91, 1};
    static constexpr UIColor colorHotspot{0.408, 0.8, 0.32, 0.064};
    CGFloat valueKnob = 0.5;
    CGFloat valueAttack = 0.5;
    CGFloat valueRelease = 0.5;
    bool isKnobActive = false;
    bool isAttackActive = false;
    bool isReleaseActive = false;
    bool isButtonLevelsActive = false;
    bool isButtonResonanceActive = false;
    bool isButtonCompansionActive = false;
    bool isButtonBypassActive = false;
    std::array<CGFloat, kBandCount> valueLevel;
    std::array<CGFloat, kBandCount> valueResonance;
    std::array<CGFloat, kBandCount> valueCompansion;
    std::array<std::string, kBandCount> valueFrequency;
    CGFloat panelMode = 0; // 0 main page, 1 LEVELS, 2 RESONANCE, 3 COMPANSION
    bool isBypass = false;
    UIBezierPath hotspotKnobPath;
    UIBezierPath hotspotButtonLevelsPath;
    UIBezierPath hotspotButtonResonancePath;
    UIBezierPath hotspotButtonCompansionPath;
    UIBezierPath hotspotButtonBypassPath;
    UIBezierPath hotspotKnobReleasePath;
    UIBezierPath hotspotKnobAttackPath;
    UIBezierPath hotspotCaption1Path;
    UIBezierPath hotspotCaption2Path;
    UIBezierPath hotspotSlidersPath;
    // View points per canvas unit, and where the canvas's origin lies in the view, as of the last
    // recording fit that scaled.
    plat::CGSize viewScale{1, 1};
    plat::CGPoint viewOrigin{0, 0};

    float getScalingFactor() const { return static_cast<float>(viewScale.width); }

    // Each routine draws into the current graphics context, leaves its state as it found it, and
    // draws nothing when there is no current context.
    virtual void drawMain(CGRect frame = kCanvas, ResizingBehavior0 resizing = ResizingBehavior0::aspectFit);
    virtual void drawSymbolKnobBiDi(CGRect frame = {0, 0, 110, 110},
                                    ResizingBehavior resizing = ResizingBehavior::aspectFit,
                                    CGFloat valueKnob = 0.5, const std::string& labelKnob = "knob",
                                    bool isActive = false);
    virtual void drawSymbolKnobUni(CGRect frame = {0, 0, 110, 110},
                                   ResizingBehavior resizing = ResizingBehavior::aspectFit,
                                   const std::string& labelKnob = "knob", bool isActive = false,
                                   CGFloat valueKnob2 = 0.5, bool isEmphasized = true);
    virtual void drawSymbolButton(CGRect frame = {0, 0, 102, 25},
                                  ResizingBehavior resizing = ResizingBehavior::aspectFit,
                                  bool isActive = false, const std::string& buttonLabel = "button");
    virtual void drawSymbolResonance(CGRect frame = kCanvas,
                                     ResizingBehavior0 resizing = ResizingBehavior0::aspectFit);
    virtual void drawSymbolLevels(CGRect frame = kCanvas,
                                  ResizingBehavior0 resizing = ResizingBehavior0::aspectFit);
    virtual void drawSymbolCompansion(CGRect frame = kCanvas,
                                      ResizingBehavior0 resizing = ResizingBehavior0::aspectFit);
    // Draws nothing; records the touch areas of the page on display.
    virtual void drawSymbolHotspots(CGRect frame = kCanvas,
                                    ResizingBehavior0 resizing = ResizingBehavior0::aspectFit);

    // The panel view's drawing pass: the whole face fitted into its bounds, nothing while hidden.
    void drawInView(const CGRect& bounds, bool isHidden);

private:
    enum class PageKind { levels, resonance, compansion };
    void drawPage(PageKind kind, CGRect frame, ResizingBehavior0 resizing);
};
