#include "app/WGActionSheet.h"

#include "platform/ui/Application.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/Window.h"

namespace kt {

std::shared_ptr<WGActionSheet> WGActionSheet::create(const std::shared_ptr<ui::View>& subview) {
  auto sheet = std::make_shared<WGActionSheet>();
  sheet->addTheSubview(subview);
  return sheet;
}

WGActionSheet::WGActionSheet() : ui::View(gfx::Rect()) {}

WGActionSheet::~WGActionSheet() = default;

void WGActionSheet::addTheSubview(const std::shared_ptr<ui::View>& subview) {
  if (!subview) return;
  setFrame(subview->frame());
  setBackgroundColor(gfx::Color::clear());
  addSubview(subview);
}

void WGActionSheet::show() {
  ui::Window* window = ui::Application::shared().keyWindow();
  if (!window || this->window()) return;

  const gfx::Rect windowFrame = window->frame();
  const double wd = windowFrame.size.width;
  const double ht = windowFrame.size.height;
  const double h = frame().size.height;

  auto holder = ui::View::create(window->bounds());
  holder->setBackgroundColor(gfx::Color::clear());
  holder->setUserInteractionEnabled(true);
  auto veil = ui::View::create(windowFrame);
  veil->setBackgroundColor(gfx::Color::white(0, 0.1));
  holder->addSubview(veil);
  window->addSubview(holder);
  m_holder = holder;

  std::weak_ptr<ui::Responder> weakSelf = weak_from_this();
  holder->addGestureRecognizer(std::make_shared<ui::TapGestureRecognizer>([weakSelf](ui::GestureRecognizer&) {
    if (auto self = std::static_pointer_cast<WGActionSheet>(weakSelf.lock())) self->dismiss();
  }));

  setFrame(gfx::Rect(0, ht, wd, h));
  holder->addSubview(shared());

  ui::View::animate(0.3, [veil] { veil->setBackgroundColor(gfx::Color::white(0, 0.4)); });
  ui::View::animate(0.4, [this, wd, ht, h] { setFrame(gfx::Rect(0, ht - h, wd, h)); });
}

void WGActionSheet::dismiss() {
  auto holder = m_holder.lock();
  if (!holder) return;
  ui::Window* keyWindow = ui::Application::shared().keyWindow();
  const gfx::Rect windowFrame = keyWindow ? keyWindow->frame() : holder->bounds();
  const double holderHeight = holder->frame().size.height;
  ui::View::animate(
      0.3,
      [this, windowFrame, holderHeight] {
        setFrame(gfx::Rect(0, windowFrame.size.height, windowFrame.size.width, holderHeight));
      },
      [holder](bool) { holder->removeFromSuperview(); });
}

}  // namespace kt
