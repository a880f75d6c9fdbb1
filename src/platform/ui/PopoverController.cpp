#include "platform/ui/PopoverController.h"

#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace ui {

std::shared_ptr<PopoverController> PopoverController::create(std::shared_ptr<ViewController> contentViewController) {
  return std::make_shared<PopoverController>(std::move(contentViewController));
}

PopoverController::PopoverController(std::shared_ptr<ViewController> contentViewController)
    : m_content(std::move(contentViewController)) {}

PopoverController::~PopoverController() = default;

gfx::Size PopoverController::popoverContentSize() const {
  if (m_contentSize) return *m_contentSize;
  if (m_content) {
    gfx::Size preferred = m_content->preferredContentSize();
    if (preferred.width > 0 && preferred.height > 0) return preferred;
  }
  if (m_content && m_content->isViewLoaded()) {
    gfx::Size s = m_content->view()->frame().size;
    if (s.width > 0 && s.height > 0) return s;
  }
  return DefaultContentSize;
}

void PopoverController::setPopoverContentSize(gfx::Size size, bool animated) {
  m_contentSize = size;
  if (m_visible && !m_dismissing) place(animated);
}

void PopoverController::setContentViewController(std::shared_ptr<ViewController> controller, bool) {
  if (controller == m_content) return;
  if (m_visible && m_content && m_content->isViewLoaded()) {
    m_content->beginAppearanceTransition(false, false);
    m_content->view()->removeFromSuperview();
    m_content->endAppearanceTransition();
  }
  m_content = std::move(controller);
  if (m_visible && m_content) {
    m_content->beginAppearanceTransition(true, false);
    attachContent();
    m_content->endAppearanceTransition();
  }
}

std::vector<std::shared_ptr<View>> PopoverController::passthroughViews() const {
  std::vector<std::shared_ptr<View>> views;
  for (const auto& w : m_passthrough) {
    if (auto v = w.lock()) views.push_back(v);
  }
  return views;
}

void PopoverController::setPassthroughViews(const std::vector<std::shared_ptr<View>>& views) {
  m_passthrough.assign(views.begin(), views.end());
  if (auto overlay = m_overlay.lock()) overlay->setPassthroughViews(m_passthrough);
}

void PopoverController::attachContent() {
  auto card = m_card.lock();
  if (!card || !m_content) return;
  const auto& view = m_content->view();
  view->setFrame(card->contentView()->bounds());
  view->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  card->contentView()->addSubview(view);
}

void PopoverController::place(bool animated) {
  auto card = m_card.lock();
  auto host = m_host.lock();
  if (!card || !host) return;
  auto placement = PopoverCardView::place(m_anchor, popoverContentSize(), m_permitted, host->bounds());
  m_arrowDirection = placement.arrowDirection;
  if (animated) View::animate(AnimationDuration, [&] { card->apply(placement); });
  else card->apply(placement);
}

void PopoverController::presentPopoverFromRect(const gfx::Rect& rect, View& inView, unsigned permitted, bool animated) {
  Window* w = inView.window();
  if (!w) w = Application::shared().keyWindow();
  if (!w) return;
  if (m_visible) dismiss(false, false);
  auto self = shared_from_this();
  auto host = std::static_pointer_cast<Window>(w->shared());
  m_host = host;
  m_anchor = inView.convertRectTo(rect, nullptr);
  m_permitted = permitted;

  auto overlay = std::make_shared<PopoverDismissingView>(host->bounds());
  overlay->setPassthroughViews(m_passthrough);
  overlay->keepAlive = self;
  std::weak_ptr<PopoverController> weak = self;
  overlay->onOutsideTouch = [weak] {
    if (auto s = weak.lock()) s->outsideTouch();
  };
  auto card = std::make_shared<PopoverCardView>();
  if (m_backgroundStyle == BackgroundStyle::Dark) card->setCardColor(gfx::Color::rgba(0.11, 0.12, 0.15));
  overlay->addSubview(card);
  m_overlay = overlay;
  m_card = card;
  place(false);
  m_visible = true;
  m_dismissing = false;
  if (m_content) m_content->beginAppearanceTransition(true, animated);
  attachContent();
  host->addSubview(overlay);
  overlay->layoutIfNeeded();
  if (!animated) {
    if (m_content) m_content->endAppearanceTransition();
    return;
  }
  card->setAlpha(0);
  auto content = m_content;
  View::animate(AnimationDuration, 0, AnimationAllowUserInteraction, [&] { card->setAlpha(1); }, [content](bool) {
    if (content) content->endAppearanceTransition();
  });
}

void PopoverController::outsideTouch() {
  if (!m_visible || m_dismissing) return;
  auto keep = shared_from_this();
  if (m_delegate && !m_delegate->popoverControllerShouldDismissPopover(*this)) return;
  dismiss(true, true);
}

void PopoverController::dismissPopoverAnimated(bool animated) {
  if (!m_visible || m_dismissing) return;
  dismiss(animated, false);
}

void PopoverController::dismiss(bool animated, bool byOutsideTap) {
  auto keep = shared_from_this();
  m_dismissing = true;
  auto content = m_content;
  if (content) content->beginAppearanceTransition(false, animated);
  auto overlay = m_overlay.lock();
  auto card = m_card.lock();
  std::weak_ptr<PopoverController> weak = keep;
  auto finish = [weak, overlay, content, byOutsideTap](bool) {
    std::shared_ptr<void> kept;
    if (overlay) {
      overlay->onOutsideTouch = nullptr;
      kept = std::move(overlay->keepAlive);
      overlay->removeFromSuperview();
    }
    if (content && content->isViewLoaded()) content->view()->removeFromSuperview();
    if (content) content->endAppearanceTransition();
    auto self = weak.lock();
    if (!self || self->m_overlay.lock() != overlay) return;  // presented again meanwhile
    self->m_visible = false;
    self->m_dismissing = false;
    self->m_overlay.reset();
    self->m_card.reset();
    self->m_host.reset();
    if (byOutsideTap && self->m_delegate) self->m_delegate->popoverControllerDidDismissPopover(*self);
  };
  // The layer stops catching touches at once.
  if (overlay) overlay->setUserInteractionEnabled(false);
  if (!animated || !card) {
    finish(true);
    return;
  }
  View::animate(AnimationDuration, 0, 0, [&] { card->setAlpha(0); }, finish);
}

}  // namespace ui
