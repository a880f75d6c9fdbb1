#include "platform/ui/NavigationBar.h"

#include <algorithm>

#include "platform/core/Locale.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Path.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

namespace ui {
namespace {

// The back button's title when the screen beneath has none, in the first of the user's languages
// that it is known in.
std::string defaultBackTitle() {
  for (const std::string& tag : core::preferredLanguages()) {
    const std::string language = tag.substr(0, tag.find('-'));
    if (language == "zh") return "返回";
    if (language == "en") return "Back";
  }
  return "Back";
}

constexpr double SideMargin = 8;
constexpr double ButtonWidth = 88;
// The back chevron: an open angle pointing left, at the side margin, centred on the title.
constexpr double ChevronWidth = 12;
constexpr double ChevronHeight = 21;
constexpr double ChevronLineWidth = 3;
constexpr double ChevronTitleGap = 6;

// The back button: the chevron drawn with a path in the title's colour (the tint, paler while
// highlighted) and the title left-aligned after it.
class BackButton : public Button {
 public:
  BackButton() : Button(ButtonType::System) {
    setContentHorizontalAlignment(ContentHorizontalAlignment::Left);
    setContentEdgeInsets(gfx::EdgeInsets{0, SideMargin + ChevronWidth + ChevronTitleGap, 0, 0});
  }

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override {
    Button::drawRect(ctx, rect);
    double mid = bounds().midY();
    gfx::Path chevron;
    chevron.moveTo(gfx::Point{SideMargin + ChevronWidth, mid - ChevronHeight / 2});
    chevron.lineTo(gfx::Point{SideMargin, mid});
    chevron.lineTo(gfx::Point{SideMargin + ChevronWidth, mid + ChevronHeight / 2});
    ctx.setStrokeColor(currentTitleColor());
    ctx.setLineWidth(ChevronLineWidth);
    ctx.setLineCap(gfx::LineCap::Round);
    ctx.setLineJoin(gfx::LineJoin::Round);
    ctx.stroke(chevron);
  }
};

// Behind the items: asks the bar to draw its background over the bar and the status band.
class BarBackgroundView : public View {
 public:
  explicit BarBackgroundView(NavigationBar* bar) : m_bar(bar) {
    setUserInteractionEnabled(false);
    setBackgroundColor(std::nullopt);
    setOpaque(false);
    setContentMode(ContentMode::Redraw);
  }
  bool drawsContent() const override { return true; }
  void drawRect(gfx::Context& ctx, const gfx::Rect& /*rect*/) override { m_bar->drawBackground(ctx, bounds()); }

 private:
  NavigationBar* m_bar;
};

std::shared_ptr<Label> makeTitleLabel() {
  auto label = Label::create();
  label->setFont(gfx::Font::boldSystemFont(17));
  label->setTextAlignment(gfx::TextAlignment::Center);
  label->setBackgroundColor(std::nullopt);
  label->setOpaque(false);
  return label;
}

}  // namespace

NavigationBar::NavigationBar(const gfx::Rect& frame) : View(frame) {
  setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleBottomMargin);
  m_background = std::make_shared<BarBackgroundView>(this);
  addSubview(m_background);
  m_titleLabel = makeTitleLabel();
  addSubview(m_titleLabel);
  m_backButton = std::make_shared<BackButton>();
  m_backButton->setHidden(true);
  m_backButton->addTarget(this, [this](Control&, const Event*) {
    if (auto action = m_backAction) action();
  }, ControlEventTouchUpInside);
  addSubview(m_backButton);
}

void NavigationBar::setBarTintColor(std::optional<gfx::Color> color) {
  m_barTintColor = color;
  m_background->setNeedsDisplay();
}

void NavigationBar::setBackgroundImage(std::shared_ptr<const gfx::Image> image) {
  m_backgroundImage = std::move(image);
  m_background->setNeedsDisplay();
}

void NavigationBar::setTitleColor(const gfx::Color& color) { m_titleLabel->setTextColor(color); }

void NavigationBar::setStatusBandHeight(double height) {
  height = std::max(0.0, height);
  if (height == m_statusBand) return;
  m_statusBand = height;
  setNeedsLayout();
}

bool NavigationBar::isCurrentItemView(const View* view) const {
  return view == m_titleView.get() || view == m_left.get() || view == m_right.get() || view == m_titleLabel.get() ||
         view == m_backButton.get();
}

// The bar's own title and back button stay to show the new item: copies of them leave instead.
std::vector<std::shared_ptr<View>> NavigationBar::leavingViews(bool backShown, bool titleShown) {
  std::vector<std::shared_ptr<View>> leaving;
  if (titleShown) {
    auto title = makeTitleLabel();
    title->setText(m_titleLabel->text());
    title->setTextColor(m_titleLabel->textColor());
    title->setFrame(m_titleLabel->frame());
    leaving.push_back(title);
  }
  if (backShown) {
    auto back = std::make_shared<BackButton>();
    back->setTitle(m_backButton->currentTitle());
    back->setFrame(m_backButton->frame());
    leaving.push_back(back);
  }
  for (auto& v : leaving) {
    v->setUserInteractionEnabled(false);
    insertSubviewAbove(v, m_background.get());
  }
  return leaving;
}

void NavigationBar::showItem(NavigationItem* item, std::optional<std::string> backTitle, double fadeDuration) {
  const bool fade = fadeDuration > 0 && window() && !isHidden();
  std::vector<std::shared_ptr<View>> leaving, coming;
  if (fade) leaving = leavingViews(!m_backButton->isHidden(), !m_titleLabel->isHidden() && !m_titleLabel->text().empty());
  auto replace = [&](const std::shared_ptr<View>& old, const std::shared_ptr<View>& now) {
    if (old == now) return;
    if (old && old->superview() == this) {
      if (fade)
        leaving.push_back(old);
      else
        old->removeFromSuperview();
    }
    if (!now) return;
    // It may still be fading out from an earlier change.
    now->setAlpha(1);
    if (now->superview() != this) addSubview(now);
    if (fade) coming.push_back(now);
  };
  std::shared_ptr<View> titleView = item ? item->titleView() : nullptr;
  std::shared_ptr<Button> left = item ? item->leftBarButtonItem() : nullptr;
  std::shared_ptr<Button> right = item ? item->rightBarButtonItem() : nullptr;
  replace(m_titleView, titleView);
  replace(m_left, left);
  replace(m_right, right);
  m_titleView = titleView;
  m_left = left;
  m_right = right;
  m_titleLabel->setText(item && item->title() ? *item->title() : std::string());
  m_titleLabel->setHidden(titleView != nullptr);
  bool showBack = backTitle.has_value() && !left && !(item && item->hidesBackButton());
  m_backButton->setHidden(!showBack);
  if (showBack) m_backButton->setTitle(backTitle->empty() ? defaultBackTitle() : *backTitle);
  setNeedsLayout();
  if (!fade) return;
  if (!m_titleLabel->isHidden()) coming.push_back(m_titleLabel);
  if (showBack) coming.push_back(m_backButton);
  fadeItems(leaving, coming, fadeDuration);
}

void NavigationBar::fadeItems(const std::vector<std::shared_ptr<View>>& leaving,
                              const std::vector<std::shared_ptr<View>>& coming, double duration) {
  // The new items are in place before they fade in.
  layoutIfNeeded();
  for (const auto& v : coming) v->setAlpha(0);
  View::animate(duration, 0, AnimationCurveEaseInOut, [&] {
    for (const auto& v : coming) v->setAlpha(1);
    for (const auto& v : leaving) v->setAlpha(0);
  }, [this, alive = weak_from_this(), gone = std::vector<std::weak_ptr<View>>(leaving.begin(), leaving.end())](bool) {
    if (alive.expired()) return;
    for (const auto& w : gone) {
      auto v = w.lock();
      // Unless a later change showed it again.
      if (!v || v->superview() != this || isCurrentItemView(v.get())) continue;
      v->removeFromSuperview();
      v->setAlpha(1);
    }
  });
}

void NavigationBar::layoutSubviews() {
  gfx::Rect b = bounds();
  m_background->setFrame(gfx::Rect(0, -m_statusBand, b.width(), b.height() + m_statusBand));
  auto place = [&](const std::shared_ptr<View>& v, bool leftSide) {
    if (!v) return;
    gfx::Size s = v->frame().size;
    if (s.width <= 0 || s.height <= 0) s = gfx::Size{ButtonWidth, b.height() - 8};
    double x = leftSide ? SideMargin : b.width() - SideMargin - s.width;
    v->setFrame(gfx::Rect(x, (b.height() - s.height) / 2, s.width, s.height));
  };
  place(m_left, true);
  place(m_right, false);
  if (!m_backButton->isHidden()) m_backButton->setFrame(gfx::Rect(0, 0, BackButtonWidth, b.height()));
  double side = SideMargin * 2 + ButtonWidth;
  gfx::Rect middle(side, 0, std::max(0.0, b.width() - 2 * side), b.height());
  m_titleLabel->setFrame(middle);
  if (m_titleView) {
    gfx::Size s = m_titleView->frame().size;
    m_titleView->setCenter(gfx::Point{b.midX(), b.midY()});
    if (s.width <= 0) m_titleView->setFrame(middle);
  }
}

void NavigationBar::drawBackground(gfx::Context& ctx, const gfx::Rect& area) {
  ctx.setFillColor(m_barTintColor.value_or(gfx::Color::white(0.97)));
  ctx.fillRect(area);
  if (m_backgroundImage) ctx.drawImage(*m_backgroundImage, area);
  // The hairline along the bottom edge.
  ctx.setFillColor(gfx::Color::white(0.7));
  ctx.fillRect(gfx::Rect(area.x(), area.maxY() - 0.5, area.width(), 0.5));
}

}  // namespace ui
