#include "app/HUDClass.h"

#include "app/APPFont.h"
#include "platform/gfx/Font.h"
#include "widgets/feedback/AOProgressHUD.h"

namespace kt {

void HUDClass::applyStyle() {
  AOProgressHUD::setBackgroundColor(gfx::Color::white(0, 0.4));
  AOProgressHUD::setFont(APPFont::getSysFont_size26());
  AOProgressHUD::setDefaultMaskType(AOProgressHUD::MaskTypeClear);
  AOProgressHUD::setDefaultAnimationType(AOProgressHUD::AnimationTypeNative);
  AOProgressHUD::setDefaultStyle(AOProgressHUD::StyleCustom);
  AOProgressHUD::setForegroundColor(gfx::Color::whiteColor());
}

void HUDClass::showHud() {
  applyStyle();
  AOProgressHUD::show();
}

void HUDClass::showAOHudWithStatus(const std::string& status) {
  applyStyle();
  AOProgressHUD::showWithStatus(status);
}

void HUDClass::dismissHud() { AOProgressHUD::dismiss(); }

void HUDClass::dismissHudWithErrorStatus(const std::string& status) { AOProgressHUD::showErrorWithStatus(status); }

}  // namespace kt
