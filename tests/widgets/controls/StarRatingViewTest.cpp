// The star rating: the value from scores and drags (two decimals, limited to 0..1), the thumb's
// travel, the two delegate reports, and set-ups that stack rows.
#include "widgets/controls/StarRatingView.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/ui/ImageView.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using kt::StarRatingView;

class Recorder : public kt::StarRatingViewDelegate {
 public:
  explicit Recorder(bool hearsChanges = true) {
    if (hearsChanges) starRatingView = [this](StarRatingView&, float score) { scores.push_back(score); };
  }
  void didEndSlideTheProgress(StarRatingView&, float progress) override { ends.push_back(progress); }
  std::vector<float> scores;
  std::vector<float> ends;
};

class StarRatingViewTest : public support::ScreenTest {
 protected:
  std::shared_ptr<StarRatingView> add(const gfx::Rect& frame) {
    auto view = StarRatingView::create(frame, 5);
    view->setDelegate(recorder.weakPtr());
    window().addSubview(view);
    render();
    return view;
  }
  Recorder recorder;
};

TEST_F(StarRatingViewTest, ScoresAreLimitedAndRoundedToTwoDecimalsAndTheThumbFollows) {
  auto view = add(gfx::Rect(100, 100, 200, 40));
  EXPECT_EQ(view->starForegroundView()->frame().size.width, 200);  // all filled at first
  view->setScore(1.7f, false);
  view->setScore(-0.2f, false);
  view->setScore(0.333f, false);
  EXPECT_EQ(recorder.scores, (std::vector<float>{1.0f, 0.0f, 0.33f}));
  EXPECT_DOUBLE_EQ(view->starForegroundView()->frame().size.width, 200 * double(0.33f));
  EXPECT_TRUE(recorder.ends.empty());

  bool finished = false;
  view->setScore(0.5f, true, [&](bool f) { finished = f; });
  wait(0.3);
  EXPECT_TRUE(finished);
  EXPECT_EQ(view->starForegroundView()->frame().size.width, 100);
  EXPECT_EQ(view->imgV_progress()->frame(), gfx::Rect(70, -10, 60, 60));
  // The thumb's left edge stays within -0.3 H and W - 1.2 H.
  view->setScore(0, false);
  EXPECT_EQ(view->imgV_progress()->frame().minX(), -12);
  view->setScore(1, false);
  EXPECT_EQ(view->imgV_progress()->frame().minX(), 152);
}

TEST_F(StarRatingViewTest, DraggingFollowsTheFingerAndLiftingReportsTheEnd) {
  auto view = add(gfx::Rect(100, 100, 200, 40));
  drag({110, 120}, {250, 120});
  ASSERT_FALSE(recorder.scores.empty());
  EXPECT_EQ(recorder.scores.back(), 0.75f);
  for (size_t i = 1; i < recorder.scores.size(); ++i) EXPECT_GE(recorder.scores[i], recorder.scores[i - 1]);
  EXPECT_EQ(recorder.ends, (std::vector<float>{0.75f}));
  wait(0.3);
  EXPECT_EQ(view->starForegroundView()->frame().size.width, 150);

  // Lifting beyond either end reports the end's value; moves outside the view are not followed.
  drag({200, 120}, {400, 120});
  EXPECT_EQ(recorder.ends.back(), 1.0f);
  drag({200, 120}, {20, 120});
  EXPECT_EQ(recorder.ends.back(), 0.0f);
  EXPECT_EQ(view->starForegroundView()->frame().size.width, 0);
}

TEST_F(StarRatingViewTest, MissingDelegateOrOperationAndAZeroWidthAreSafe) {
  Recorder quiet(false);
  auto view = add(gfx::Rect(100, 100, 200, 40));
  view->setDelegate(quiet.weakPtr());
  drag({150, 120}, {200, 120});
  EXPECT_TRUE(quiet.scores.empty());
  EXPECT_EQ(quiet.ends, (std::vector<float>{0.5f}));

  {
    Recorder gone;
    view->setDelegate(gone.weakPtr());
  }
  tap({150, 120});
  EXPECT_EQ(view->starForegroundView()->frame().size.width, 50);

  auto flat = add(gfx::Rect(100, 300, 0, 40));
  flat->setScore(0.8f, false);
  EXPECT_EQ(recorder.scores.back(), 0.0f);
  EXPECT_EQ(flat->starForegroundView()->frame().size.width, 0);
}

TEST_F(StarRatingViewTest, NibViewsHaveFiveStarsAndEachSetUpAddsRows) {
  auto view = StarRatingView::create(gfx::Rect(0, 0, 210, 30), 7);
  EXPECT_EQ(view->starBackgroundView()->subviews()[6]->frame(), gfx::Rect(180, 0, 30, 30));
  view->awakeFromNib();
  EXPECT_EQ(view->numberOfStar(), 5);
  EXPECT_EQ(view->starForegroundView()->subviews().size(), 5u);
  view->setString_fore(std::nullopt);
  view->beginToSetupStarRatingView();
  EXPECT_EQ(view->string_fore(), "foregroundStar");
  EXPECT_EQ(view->subviews().size(), 9u);
  EXPECT_EQ(view->subviews().back(), view->imgV_progress());
}

}  // namespace
