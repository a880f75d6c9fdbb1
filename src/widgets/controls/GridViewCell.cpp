#include "widgets/controls/GridViewCell.h"

#include <algorithm>

#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/CollectionViewCell.h"
#include "platform/ui/Control.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "widgets/controls/GridViewAdditions.h"

namespace kt {

namespace {

constexpr unsigned FlexibleMargins = ui::AutoresizingFlexibleLeftMargin | ui::AutoresizingFlexibleRightMargin |
                                     ui::AutoresizingFlexibleTopMargin | ui::AutoresizingFlexibleBottomMargin;
constexpr unsigned FlexibleSize = ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight;
constexpr double DefaultDeleteButtonSide = 35;

// Views that have a highlighted state of their own.
void setHighlightedIfAble(ui::View& view, bool highlighted) {
  if (auto* label = dynamic_cast<ui::Label*>(&view)) {
    label->setHighlighted(highlighted);
  } else if (auto* image = dynamic_cast<ui::ImageView*>(&view)) {
    image->setHighlighted(highlighted);
  } else if (auto* control = dynamic_cast<ui::Control*>(&view)) {
    control->setHighlighted(highlighted);
  } else if (auto* collectionCell = dynamic_cast<ui::CollectionViewCell*>(&view)) {
    collectionCell->setHighlighted(highlighted);
  } else if (auto* gridCell = dynamic_cast<GridViewCell*>(&view)) {
    gridCell->setHighlighted(highlighted);
  }
}

}  // namespace

GridViewCell::GridViewCell(const gfx::Rect& frame) : ui::View(frame) {
  setAutoresizesSubviews(false);
  m_deleteButton = ui::Button::create(ui::ButtonType::Custom);
  m_deleteButton->setTitleColor(gfx::Color::black(), ui::ControlStateNormal);
  setDeleteButtonIcon(nullptr);
  setDeleteButtonOffset({-5, -5});
  m_deleteButton->setAlpha(0);
  addSubview(m_deleteButton);
  // The button lives no longer than the cell (its subview).
  m_deleteButton->addTarget(
      this, [this](ui::Control&, const ui::Event*) { actionDelete(); }, ui::ControlEventTouchUpInside);
}

GridViewCell::~GridViewCell() = default;

void GridViewCell::layoutSubviews() {
  if (!m_fullSizeView) return;
  if (m_inFullSizeMode) {
    const gfx::Rect b = bounds();
    m_fullSizeView->setFrame({(b.size.width - m_fullSize.width) * 0.5, (b.size.height - m_fullSize.height) * 0.5,
                              m_fullSize.width, m_fullSize.height});
  } else {
    m_fullSizeView->setFrame(bounds());
  }
}

void GridViewCell::touchesBegan(const ui::TouchSet&, const ui::Event*) { setHighlighted(true); }
void GridViewCell::touchesEnded(const ui::TouchSet&, const ui::Event*) { setHighlighted(false); }
void GridViewCell::touchesCancelled(const ui::TouchSet&, const ui::Event*) { setHighlighted(false); }

void GridViewCell::setContentView(std::shared_ptr<ui::View> view) {
  shake(false);
  gfx::Rect frame = bounds();
  if (m_contentView) {
    frame = m_contentView->frame();
    m_contentView->removeFromSuperview();
  }
  m_contentView = std::move(view);
  if (m_contentView) {
    m_contentView->setFrame(frame);
    m_contentView->setAutoresizingMask(ui::AutoresizingNone);
    addSubview(m_contentView);
  }
  bringSubviewToFront(m_deleteButton.get());
}

void GridViewCell::setFullSizeView(std::shared_ptr<ui::View> view) {
  if (view) {
    if (!m_inFullSizeMode) {
      view->setFrame(bounds());
      view->setAlpha(0);
    } else if (m_fullSizeView) {
      view->setFrame(m_fullSizeView->frame());
      view->setAlpha(m_fullSizeView->alpha());
    }
    m_defaultFullsizeViewResizingMask = view->autoresizingMask() | FlexibleMargins;
    view->setAutoresizingMask(m_fullSizeView ? m_fullSizeView->autoresizingMask() : ui::AutoresizingNone);
  }
  if (m_fullSizeView) m_fullSizeView->removeFromSuperview();
  m_fullSizeView = std::move(view);
  if (m_fullSizeView) addSubview(m_fullSizeView);
  bringSubviewToFront(m_deleteButton.get());
}

void GridViewCell::setFullSize(gfx::Size size) {
  m_fullSize = size;
  setNeedsLayout();
}

void GridViewCell::switchToFullSizeMode(bool fullSizeEnabled) {
  // Without a full-size view the steps on it are skipped; the content still fades out or in.
  std::weak_ptr<ui::View> weakSelf = shared();
  auto relayout = [weakSelf](bool) {
    if (auto self = weakSelf.lock()) self->setNeedsLayout();
  };
  auto fullView = m_fullSizeView;
  auto content = m_contentView;
  if (fullSizeEnabled) {
    gfx::Point center;
    if (fullView) {
      fullView->setAutoresizingMask(m_defaultFullsizeViewResizingMask);
      center = fullView->center();
      fullView->setFrame({fullView->frame().origin, m_fullSize});
      fullView->setCenter(center);
    }
    m_inFullSizeMode = true;
    const double contentAlpha = content ? content->alpha() : 0;
    if (fullView) fullView->setAlpha(std::max(fullView->alpha(), contentAlpha));
    if (content) content->setAlpha(0);
    const gfx::Size fullSize = m_fullSize;
    ui::View::animate(0.3, [fullView, fullSize, center] {
      if (!fullView) return;
      fullView->setAlpha(1);
      fullView->setFrame({fullView->frame().origin, fullSize});
      fullView->setCenter(center);
    }, relayout);
  } else {
    if (fullView) fullView->setAutoresizingMask(FlexibleSize);
    m_inFullSizeMode = false;
    if (fullView) fullView->setAlpha(0);
    if (content) content->setAlpha(0.6);
    const gfx::Rect cellBounds = bounds();
    ui::View::animate(0.3, [fullView, content, cellBounds] {
      if (content) content->setAlpha(1);
      if (fullView) fullView->setFrame(cellBounds);
    }, relayout);
  }
}

void GridViewCell::setEditing(bool editing, bool animated) {
  if (editing == m_editing) return;
  m_editing = editing;
  auto button = m_deleteButton;
  const double alpha = editing ? 1 : 0;
  if (animated) {
    ui::View::animate(0.2, 0, ui::AnimationAllowUserInteraction, [button, alpha] { button->setAlpha(alpha); });
  } else {
    button->setAlpha(alpha);
  }
  if (m_contentView) m_contentView->setUserInteractionEnabled(!editing);
  GridViewAdditions::shakeStatus(*this, editing);
}

void GridViewCell::setHighlighted(bool highlighted) {
  m_highlighted = highlighted;
  if (!m_contentView) return;
  GridViewAdditions::recursiveEnumerateSubviewsUsingBlock(
      *m_contentView, [highlighted](ui::View& view, bool&) { setHighlightedIfAble(view, highlighted); });
}

void GridViewCell::shake(bool on) {
  if (on == m_inShakingMode) return;
  if (m_contentView) GridViewAdditions::shakeStatus(*m_contentView, on);
  m_inShakingMode = on;
}

gfx::Point GridViewCell::deleteButtonOffset() const { return m_deleteButton->frame().origin; }

void GridViewCell::setDeleteButtonOffset(gfx::Point offset) {
  m_deleteButton->setFrame({offset, m_deleteButton->frame().size});
}

GridViewCell::ImagePtr GridViewCell::deleteButtonIcon() const { return m_deleteButton->currentImage(); }

void GridViewCell::setDeleteButtonIcon(ImagePtr image) {
  const gfx::Point origin = m_deleteButton->frame().origin;
  if (image) {
    m_deleteButton->setFrame({origin, image->size()});
    m_deleteButton->setTitle(std::nullopt, ui::ControlStateNormal);
    m_deleteButton->setBackgroundColor(gfx::Color::clear());
  } else {
    m_deleteButton->setFrame({origin, {DefaultDeleteButtonSide, DefaultDeleteButtonSide}});
    m_deleteButton->setTitle("X", ui::ControlStateNormal);
    m_deleteButton->setBackgroundColor(gfx::Color::white(2.0 / 3.0));
  }
  m_deleteButton->setImage(std::move(image), ui::ControlStateNormal);
}

void GridViewCell::actionDelete() {
  if (!m_deleteBlock) return;
  // A copy: the block may replace itself (the grid's reuse clears it).
  auto block = m_deleteBlock;
  block(*this);
}

void GridViewCell::prepareForReuse() {
  m_fullSize = {};
  setFullSizeView(nullptr);
  setEditing(false);
  m_deleteBlock = nullptr;
}

}  // namespace kt
