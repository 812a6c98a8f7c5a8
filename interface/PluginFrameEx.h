// The background plate's view: a grey rounded plate in the brightness the view controller sets.
#pragma once

#include "PluginFrameBaseEx.h"

#include "plat/uicontrol.h"

#include <memory>

class PluginFrameEx : public plat::UIControl {
public:
    explicit PluginFrameEx(plat::CGRect frame = {});

    // Setting it does not redraw; the setter's caller asks for display.
    float contrast = 0.15f;
    plat::UIColor mainColor = plat::UIColor::lightGray();
    PluginFrameBaseEx& baseClass() const { return *baseClass_; }

    void draw(const plat::CGRect& rect) override;

private:
    std::unique_ptr<PluginFrameBaseEx> baseClass_;
};
