#include "widgets/feedback/SNStatusBarView.h"

#include <cmath>

#include "platform/gfx/Font.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Label.h"

namespace kt {

namespace {
// The indicator is drawn smaller than the platform's small one.
constexpr double IndicatorScale = 0.7;
// Space between the indicator and the text.
constexpr double IndicatorGap = 8;
}  // namespace

SNStatusBarView::SNStatusBarView(const gfx::Rect& frame) : ui::View(frame) {}

SNStatusBarView::~SNStatusBarView() = default;

const std::shared_ptr<ui::Label>& SNStatusBarView::textLabel() {
  if (!m_textLabel) {
    m_textLabel = ui::Label::create();
    m_textLabel->setBackgroundColor(gfx::Color::clear());
    m_textLabel->setTextAlignment(gfx::TextAlignment::Center);
    m_textLabel->setAdjustsFontSizeToFitWidth(true);
    m_textLabel->setClipsToBounds(true);
    addSubview(m_textLabel);
    setNeedsLayout();
  }
  return m_textLabel;
}

const std::shared_ptr<ui::ActivityIndicatorView>& SNStatusBarView::activityIndicatorView() {
  if (!m_activityIndicatorView) {
    m_activityIndicatorView = ui::ActivityIndicatorView::create(ui::ActivityIndicatorStyle::White);
    m_activityIndicatorView->setTransform(gfx::AffineTransform::scale(IndicatorScale, IndicatorScale));
    addSubview(m_activityIndicatorView);
    setNeedsLayout();
  }
  return m_activityIndicatorView;
}

void SNStatusBarView::setTextVerticalPositionAdjustment(double points) {
  m_textVerticalPositionAdjustment = points;
  setNeedsLayout();
}

void SNStatusBarView::layoutSubviews() {
  const gfx::Rect b = bounds();
  auto label = textLabel();
  label->setFrame(gfx::Rect(0, m_textVerticalPositionAdjustment + 1, b.width(), b.height() - 1));
  if (!m_activityIndicatorView) return;

  double textWidth = 0;
  if (!label->text().empty() && label->font()) {
    textWidth = gfx::TextLayout(label->text(), gfx::TextStyle::withFont(label->font())).size().width;
  }
  const gfx::Size size = m_activityIndicatorView->frame().size;
  const double x = std::round((b.width() - textWidth) / 2) - size.width - IndicatorGap;
  const double y = std::ceil((b.height() - size.height) / 2 + 1);
  m_activityIndicatorView->setFrame(gfx::Rect(x, y, size.width, size.height));
}

}  // namespace kt
