#include "imagecache/ButtonWebCache.h"

#include "imagecache/ButtonWebCacheDeprecated.h"
#include "platform/ui/Button.h"
#include "ViewLoaderFixture.h"

using namespace kt;
using support::runUntil;
using viewloader::isThumbnail;
using viewloader::Result;

namespace {

class ButtonWebCacheTest : public viewloader::ViewLoaderTest {
 protected:
  std::shared_ptr<ui::Button> button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(0, 0, 80, 40));
  std::shared_ptr<const gfx::Image> placeholder = gfx::Image::fromPixels(2, 2, std::vector<uint32_t>(4, 0xff00ff00u));
  const unsigned normal = ui::ControlStateNormal, highlighted = ui::ControlStateHighlighted;
};

}  // namespace

TEST_F(ButtonWebCacheTest, StatesLoadIndependentlyAndReloadingOneCancelsOnlyIt) {
  // Nothing is answered until every state has been given its load.
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("/images/thumb-1.jpg", venue::Fault::heldBy(gate));
  web.setFault("/images/thumb-2.jpg", venue::Fault::heldBy(gate));
  Result stale, lit, fresh;
  ButtonWebCache::ic_setImageWithURL(button, thumb(1), normal, placeholder, recordInto(stale));
  ButtonWebCache::ic_setImageWithURL(button, thumb(2), highlighted, placeholder, recordInto(lit));
  EXPECT_EQ(button->imageForState(normal), placeholder);
  EXPECT_EQ(button->imageForState(highlighted), placeholder);
  ButtonWebCache::ic_setImageWithURL(button, thumb(3), normal, nullptr, 0, recordInto(fresh));
  EXPECT_EQ(button->imageForState(normal), nullptr);
  gate->open();

  ASSERT_TRUE(runUntil([&] { return lit.calls == 1 && fresh.calls == 1; }));
  EXPECT_TRUE(isThumbnail(button->imageForState(highlighted), 2));
  EXPECT_TRUE(isThumbnail(button->imageForState(normal), 3));
  ASSERT_TRUE(runUntil([&] { return web.waitForAnswers(web.requestCount(), 0); }));
  settle();
  EXPECT_EQ(stale.calls, 0);
  EXPECT_TRUE(isThumbnail(button->imageForState(normal), 3));

  EXPECT_EQ(ButtonWebCache::ic_imageURLForState(button, normal), thumb(3));
  EXPECT_EQ(ButtonWebCache::ic_imageURLForState(button, highlighted), thumb(2));
  EXPECT_EQ(ButtonWebCache::ic_currentImageURL(button), thumb(3));
  button->setHighlighted(true);
  EXPECT_EQ(ButtonWebCacheDeprecated::currentImageURL(button), thumb(2));
  button->setHighlighted(false);
  button->setSelected(true);  // nothing stored for it: the normal state's
  EXPECT_EQ(ButtonWebCache::ic_currentImageURL(button), thumb(3));
}

TEST_F(ButtonWebCacheTest, ANilURLForgetsTheStatesURLAndReportsIt) {
  ButtonWebCache::ic_setImageWithURL(button, thumb(4), highlighted);
  Result result;
  ButtonWebCache::ic_setImageWithURL(button, std::nullopt, highlighted, placeholder, recordInto(result));
  EXPECT_EQ(ButtonWebCache::ic_imageURLForState(button, highlighted), std::nullopt);
  EXPECT_EQ(button->imageForState(highlighted), placeholder);
  ASSERT_EQ(result.calls, 1);
  EXPECT_EQ(result.error->code(), -1);
  settle();
  EXPECT_EQ(button->imageForState(highlighted), placeholder);  // the cancelled load set nothing
}

TEST_F(ButtonWebCacheTest, BackgroundImagesAreSlotsOfTheirOwn) {
  Result image, background;
  ButtonWebCache::ic_setImageWithURL(button, thumb(5), normal, recordInto(image));
  ButtonWebCache::ic_setBackgroundImageWithURL(button, thumb(6), normal, placeholder, ICWebImageLoadDelayPlaceholder,
                                               recordInto(background));
  EXPECT_EQ(button->backgroundImageForState(normal), placeholder);  // whatever the options
  ASSERT_TRUE(runUntil([&] { return image.calls == 1 && background.calls == 1; }));
  EXPECT_TRUE(isThumbnail(button->imageForState(normal), 5));
  EXPECT_TRUE(isThumbnail(button->backgroundImageForState(normal), 6));
  EXPECT_EQ(ButtonWebCache::ic_imageURLForState(button, normal), thumb(5));  // the background records none

  // The old names: cancelling the current state's image load leaves the background's alone.
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("images", venue::Fault::heldBy(gate));
  ButtonWebCacheDeprecated::setImageWithURL(button, thumb(7), normal, placeholder);
  int backgroundCalls = 0;
  ButtonWebCacheDeprecated::setBackgroundImageWithURL(
      button, thumb(8), normal, [&](std::shared_ptr<const gfx::Image> loaded, std::optional<core::Error>, ICImageCacheSource) {
        ++backgroundCalls;
        EXPECT_TRUE(isThumbnail(loaded, 8));
      });
  ButtonWebCacheDeprecated::cancelCurrentImageLoad(button);
  gate->open();
  ASSERT_TRUE(runUntil([&] { return backgroundCalls == 1; }));
  settle();
  EXPECT_EQ(button->imageForState(normal), placeholder);
  EXPECT_TRUE(isThumbnail(button->backgroundImageForState(normal), 8));
}
