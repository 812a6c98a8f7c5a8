#include "PluginFrameEx.h"

PluginFrameEx::PluginFrameEx(plat::CGRect frame)
    : UIControl(frame), baseClass_(std::make_unique<PluginFrameBaseEx>()) {
    setDrawsContent(true);
    setUserInteractionEnabled(false);
}

void PluginFrameEx::draw(const plat::CGRect& rect) {
    baseClass_->contrast = contrast;
    baseClass_->mainColor = mainColor;
    baseClass_->draw(rect, ResizingBehavior::aspectFit);
}
