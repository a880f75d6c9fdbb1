#include "app/Toust.h"

#include "app/APPFont.h"
#include "app/ScreenSize.h"
#include "platform/core/Queue.h"
#include "platform/gfx/Font.h"
#include "platform/ui/Application.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

namespace kt {

void Toust::showToustWithMessage(const std::string& message) {
  ui::Window* window = ui::Application::shared().keyWindow();
  if (!window) return;

  // A fixed frame: text that does not fit is cut off, the label does not grow.
  const gfx::Rect frame = isTwelveNineInch() ? gfx::Rect(362, 426, 639, 144) : gfx::Rect(272, 320, 480, 108);
  auto label = ui::Label::create(frame);
  label->setText(message);
  label->setTextColor(gfx::Color::black());
  label->setTextAlignment(gfx::TextAlignment::Center);
  label->setFont(APPFont::getSysFont_size34());
  label->setLineBreakMode(gfx::LineBreakMode::WordWrap);
  label->setNumberOfLines(0);
  label->layer()->setCornerRadius(5);
  label->setClipsToBounds(true);
  label->setBackgroundColor(gfx::Color::white(1, 0));
  window->addSubview(label);

  ui::View::animate(0.05, [label] { label->setBackgroundColor(gfx::Color::white(1, 0.5)); });

  // Only this label goes; whatever else was put on the window meanwhile stays.
  core::Queue::main()->after(Life, [label] {
    ui::View::animate(0.05, [label] { label->removeFromSuperview(); }, [](bool) {});
  });
}

}  // namespace kt
