// Two fingers scale, rotate and move one cell's content out of the grid; when they let go with
// the content enlarged beyond twice its size the cell shows its full-size view, otherwise it flies
// back into its place. A new pinch on the full-size view takes the cell back into the fingers.
#include <algorithm>
#include <cmath>

#include "platform/core/RunLoop.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Application.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/PinchGestureRecognizer.h"
#include "platform/ui/RotationGestureRecognizer.h"
#include "widgets/controls/GridView.h"
#include "widgets/controls/GridViewAdditions.h"
#include "widgets/controls/GridViewCell.h"

namespace kt {

namespace {

constexpr double MaximumScale = 3.0;
constexpr double MinimumScale = 0.5;
constexpr double FullSizeAlphaThreshold = 1.5;
constexpr double BackgroundAlphaCap = 0.9;
constexpr double FullSizeSwitchScale = 2.0;
constexpr double ReentryScale = 2.5;
constexpr double FinishDelay = 0.1;

bool isEndState(ui::GestureRecognizerState state) {
  return state == ui::GestureRecognizerState::Ended || state == ui::GestureRecognizerState::Cancelled ||
         state == ui::GestureRecognizerState::Failed;
}

// The scale of a view's transform as its layer reports it, in single precision.
float layerScale(const ui::View& view) {
  const auto value = view.layer()->valueForKeyPath("transform.scale");
  const double* scale = value ? std::get_if<double>(&*value) : nullptr;
  return scale ? static_cast<float>(*scale) : 1.0f;
}

}  // namespace

bool GridView::transformingGestureEnded(ui::GestureRecognizer& recognizer) {
  if (!isEndState(recognizer.state())) return false;
  core::WeakPtr<GridView> weakGrid = m_weakFactory.weakPtr();
  const core::WeakToken token(weakGrid, &m_finishPerform);
  core::RunLoop::main().cancelPerforms(token);
  core::RunLoop::main().performAfterDelay(token, FinishDelay, [weakGrid] {
    if (GridView* grid = weakGrid.get()) grid->transformingGestureDidFinish();
  });
  return true;
}

void GridView::pinchGestureUpdated(ui::GestureRecognizer& recognizer) {
  if (transformingGestureEnded(recognizer)) return;
  auto& pinch = static_cast<ui::PinchGestureRecognizer&>(recognizer);
  if (pinch.state() == ui::GestureRecognizerState::Began) transformingGestureDidBeginWithGesture(pinch);
  if (GridViewAdditions::hasRecognizedValidGesture(pinch)) transformingScaleStep(pinch.scale());
}

void GridView::rotationGestureUpdated(ui::GestureRecognizer& recognizer) {
  if (transformingGestureEnded(recognizer)) return;
  auto& rotation = static_cast<ui::RotationGestureRecognizer&>(recognizer);
  if (rotation.state() == ui::GestureRecognizerState::Began) transformingGestureDidBeginWithGesture(rotation);
  if (rotation.state() != ui::GestureRecognizerState::Changed) return;
  const std::shared_ptr<ui::View> content = m_transformingItem ? m_transformingItem->contentView() : nullptr;
  if (!content) return;
  content->setTransform(content->transform().rotated(rotation.rotation() - m_lastRotation));
  m_lastRotation = rotation.rotation();
}

void GridView::panGestureUpdated(ui::GestureRecognizer& recognizer) {
  if (transformingGestureEnded(recognizer)) {
    setScrollEnabled(true);
    return;
  }
  auto& pan = static_cast<ui::PanGestureRecognizer&>(recognizer);
  if (pan.state() == ui::GestureRecognizerState::Began) transformingGestureDidBeginWithGesture(pan);
  if (pan.state() != ui::GestureRecognizerState::Changed) return;
  if (pan.numberOfTouches() != 2) {
    GridViewAdditions::end(pan);
    return;
  }
  const std::shared_ptr<ui::View> content = m_transformingItem ? m_transformingItem->contentView() : nullptr;
  if (!content) return;
  const gfx::Point translation = pan.translationInView(this);
  const gfx::Point center = content->center();
  content->setCenter({center.x + translation.x, center.y + translation.y});
  pan.setTranslation({0, 0}, this);
}

void GridView::transformingScaleStep(double pinchScale) {
  const std::shared_ptr<GridViewCell> cell = m_transformingItem;
  const std::shared_ptr<ui::View> content = cell ? cell->contentView() : nullptr;
  if (!content) return;
  float current = layerScale(*content);
  if (current <= 0) return;

  double scale = 1 - (m_lastScale - pinchScale);
  scale = std::min(scale, MaximumScale / current);
  scale = std::max(scale, MinimumScale / current);
  if (scale < MinimumScale || scale > MaximumScale) return;

  content->setTransform(content->transform().scaled(scale, scale));
  m_lastScale = pinchScale;
  current += static_cast<float>(scale);
  const double alpha = std::clamp(1 - (MaximumScale - current), 0.0, 1.0);
  if (m_showFullSizeViewWithAlphaWhenTransforming && current >= FullSizeAlphaThreshold) {
    cell->stepToFullsizeWithAlpha(alpha);
  }
  cell->setBackgroundColor(gfx::Color::darkGray().withAlpha(std::min(alpha, BackgroundAlphaCap)));
}

void GridView::transformingGestureDidBeginWithGesture(ui::GestureRecognizer& gesture) {
  m_inFullSizeMode = false;
  if (m_inTransformingState) {
    // Back from full size: the content follows the fingers again, enlarged as it was shown.
    if (auto* pinch = dynamic_cast<ui::PinchGestureRecognizer*>(&gesture)) pinch->setScale(ReentryScale);
    m_inTransformingState = false;
    const std::shared_ptr<GridViewCell> cell = m_transformingItem;
    if (!cell) return;
    const auto& fullSizeView = cell->fullSizeView();
    const gfx::Point center = fullSizeView ? fullSizeView->center() : cell->bounds().center();
    cell->switchToFullSizeMode(false);
    if (const auto& content = cell->contentView()) {
      content->setTransform(gfx::AffineTransform::scale(ReentryScale, ReentryScale));
      content->setCenter(center);
    }
    return;
  }
  if (m_transformingItem) return;

  GridViewTransformationDelegate* delegate = m_transformDelegate.get();
  const int64_t position = positionAt(gesture.locationOfTouch(0, this));
  const std::shared_ptr<GridViewCell> cell = cellForItemAtIndex(position);
  if (!cell || !delegate) return;

  // Out of the grid into the host, over all of it, with the content where the cell was.
  ui::View* host = mainSuperView();
  const gfx::Rect frameInGrid = cell->frame();
  cell->removeFromSuperview();
  cell->setFrame(host->bounds());
  cell->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
  host->addSubview(cell);
  host->bringSubviewToFront(cell.get());
  if (const auto& content = cell->contentView()) content->setFrame(convertRectTo(frameInGrid, cell.get()));
  setSubviewsCacheAsInvalid();

  m_transformingItem = cell;
  cell->setFullSize(
      delegate->sizeInFullSizeForCell(*this, *cell, position, ui::Application::shared().statusBarOrientation()));
  cell->setFullSizeView(delegate->fullSizeViewForCell(*this, *cell, position));
  if (delegate->didStartTransformingCell) delegate->didStartTransformingCell(*this, *cell);
}

void GridView::transformingGestureDidFinish() {
  const std::shared_ptr<GridViewCell> cell = m_transformingItem;
  if (!cell || m_inTransformingState) return;
  const std::shared_ptr<ui::View> content = cell->contentView();
  GridViewTransformationDelegate* delegate = m_transformDelegate.get();

  if (m_lastScale > FullSizeSwitchScale) {
    m_lastRotation = 0;
    m_lastScale = 1;
    if (ui::View* host = cell->superview()) host->bringSubviewToFront(cell.get());
    float angle = 0;
    if (content) {
      const gfx::AffineTransform t = content->transform();
      angle = std::atan2(static_cast<float>(t.b), static_cast<float>(t.a));
      content->setTransform(gfx::AffineTransform::identity());
    }
    cell->switchToFullSizeMode(true);
    cell->setBackgroundColor(gfx::Color::darkGray().withAlpha(BackgroundAlphaCap));
    if (const std::shared_ptr<ui::View> fullSizeView = cell->fullSizeView()) {
      fullSizeView->setTransform(gfx::AffineTransform::rotation(angle));
      ui::View::animate(DefaultAnimationDuration, 0, DefaultAnimationOptions,
                        [fullSizeView] { fullSizeView->setTransform(gfx::AffineTransform::identity()); });
    }
    m_inTransformingState = true;
    m_inFullSizeMode = true;
    if (delegate && delegate->didEnterFullSizeForCell) delegate->didEnterFullSizeForCell(*this, *cell);
    // Further gestures act on the full-size view.
    if (const auto& fullSizeView = cell->fullSizeView()) attachTransformingGestures(*fullSizeView);
    return;
  }

  // Back into the grid.
  m_lastRotation = 0;
  m_lastScale = 1;
  m_transformingItem = nullptr;
  const gfx::Rect finalFrame = itemFrame(cell->tag() - TagOffset);
  const gfx::Rect frameInCell = convertRectTo(finalFrame, cell.get());
  cell->switchToFullSizeMode(false);
  cell->setAutoresizingMask(ui::AutoresizingNone);

  core::WeakPtr<GridView> weakGrid = m_weakFactory.weakPtr();
  ui::View::animate(
      DefaultAnimationDuration, 0, DefaultAnimationOptions,
      [cell, content, frameInCell] {
        if (content) {
          content->setTransform(gfx::AffineTransform::identity());
          content->setFrame(frameInCell);
        }
        cell->setBackgroundColor(gfx::Color::clear());
      },
      [weakGrid, cell, content, finalFrame](bool) {
        GridView* grid = weakGrid.get();
        if (!grid) return;
        cell->removeFromSuperview();
        cell->setFrame(finalFrame);
        if (content) content->setFrame(cell->bounds());
        grid->addSubview(cell);
        grid->setSubviewsCacheAsInvalid();
        cell->setFullSizeView(nullptr);
        grid->m_inFullSizeMode = false;
        GridViewTransformationDelegate* transformDelegate = grid->m_transformDelegate.get();
        if (transformDelegate && transformDelegate->didEndTransformingCell) {
          transformDelegate->didEndTransformingCell(*grid, *cell);
        }
        grid->attachTransformingGestures(*grid);
      });
}

void GridView::attachTransformingGestures(ui::View& view) {
  view.addGestureRecognizer(m_pinchGesture);
  view.addGestureRecognizer(m_rotationGesture);
  view.addGestureRecognizer(m_panGesture);
}

}  // namespace kt
