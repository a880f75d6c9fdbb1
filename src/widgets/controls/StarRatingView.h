#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/WeakPtr.h"
#include "platform/ui/View.h"

namespace ui {
class ImageView;
}

namespace kt {

class StarRatingView;

// Hears the value of a star rating view. The view holds its delegate weakly.
class StarRatingViewDelegate {
 public:
  StarRatingViewDelegate() = default;
  StarRatingViewDelegate(const StarRatingViewDelegate&) = delete;
  StarRatingViewDelegate& operator=(const StarRatingViewDelegate&) = delete;
  virtual ~StarRatingViewDelegate() = default;

  // Optional: every change of the filled width, with the value (0..1, two decimals).
  std::function<void(StarRatingView& view, float score)> starRatingView;
  // The finger lifted, with the value it left.
  virtual void didEndSlideTheProgress(StarRatingView& view, float progress) = 0;

  core::WeakPtr<StarRatingViewDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<StarRatingViewDelegate> m_weakFactory{this};
};

// A row of filled stars over a row of empty ones, the filled row clipped to a width that follows
// a value between 0 and 1, with a thumb image riding on its edge. Dragging across the view sets
// the value. The rows are sized from the bounds when they are built; each set-up adds a new set.
class StarRatingView : public ui::View {
 public:
  using Completion = std::function<void(bool finished)>;

  static std::shared_ptr<StarRatingView> create(const gfx::Rect& frame, int32_t numberOfStar) {
    return std::make_shared<StarRatingView>(frame, numberOfStar);
  }
  StarRatingView(const gfx::Rect& frame, int32_t numberOfStar);
  // The set-up of a view loaded from a nib: always five stars.
  void awakeFromNib();
  // Builds the rows again, for a caller that changed the image names.
  void beginToSetupStarRatingView() { commonInit(); }

  void setScore(float score, bool animated, Completion completion = nullptr);
  void changeStarForegroundViewWithPoint(gfx::Point point);

  void touchesMoved(const ui::TouchSet& touches, const ui::Event* event) override;
  void touchesEnded(const ui::TouchSet& touches, const ui::Event* event) override;

  int32_t numberOfStar() const { return m_numberOfStar; }
  void setNumberOfStar(int32_t count) { m_numberOfStar = count; }
  const std::optional<std::string>& string_back() const { return m_stringBack; }
  void setString_back(std::optional<std::string> name) { m_stringBack = std::move(name); }
  const std::optional<std::string>& string_fore() const { return m_stringFore; }
  void setString_fore(std::optional<std::string> name) { m_stringFore = std::move(name); }
  const std::optional<std::string>& string_progress() const { return m_stringProgress; }
  void setString_progress(std::optional<std::string> name) { m_stringProgress = std::move(name); }
  StarRatingViewDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(core::WeakPtr<StarRatingViewDelegate> delegate) { m_delegate = std::move(delegate); }

  const std::shared_ptr<ui::View>& starBackgroundView() const { return m_starBackgroundView; }
  const std::shared_ptr<ui::View>& starForegroundView() const { return m_starForegroundView; }
  const std::shared_ptr<ui::ImageView>& imgV_progress() const { return m_imgVProgress; }

 private:
  void commonInit();
  // The empty row and the filled row: one builder under both names.
  std::shared_ptr<ui::View> buidlStarViewWithImageName(const std::optional<std::string>& name) const;
  std::shared_ptr<ui::View> buidlStarViewWithImageName2(const std::optional<std::string>& name) const {
    return buidlStarViewWithImageName(name);
  }
  // The value of x across the frame width, rounded to two decimals (0 for a view with no width).
  float valueAt(double x) const;

  int32_t m_numberOfStar = 5;
  std::optional<std::string> m_stringBack{"backgroundStar"};
  std::optional<std::string> m_stringFore{"foregroundStar"};
  std::optional<std::string> m_stringProgress;
  core::WeakPtr<StarRatingViewDelegate> m_delegate;
  std::shared_ptr<ui::View> m_starBackgroundView;
  std::shared_ptr<ui::View> m_starForegroundView;
  std::shared_ptr<ui::ImageView> m_imgVProgress;
};

}  // namespace kt
