#include "imagecache/WebCacheOperation.h"

#include <gtest/gtest.h>

#include "imagecache/AnnotationViewWebCacheDeprecated.h"
#include "imagecache/HighlightedWebCacheDeprecated.h"
#include "platform/ui/AnnotationView.h"
#include "platform/ui/ImageView.h"
#include "ViewLoaderFixture.h"

using namespace kt;
using support::runUntil;
using viewloader::isThumbnail;
using viewloader::Result;

namespace {

struct CountingOperation : ICWebImageOperation {
  explicit CountingOperation(std::vector<int>& log, int id) : log(log), id(id) {}
  void cancel() override { log.push_back(id); }
  std::vector<int>& log;
  int id;
};

}  // namespace

TEST(WebCacheOperation, ASlotCancelsWhatItHeldBeforeTakingTheNext) {
  auto view = ui::View::create();
  std::vector<int> cancelled;
  auto op = [&](int id) { return std::make_shared<CountingOperation>(cancelled, id); };
  WebCacheOperation::ic_setImageLoadOperation(view, op(1), "a");
  WebCacheOperation::ic_setImageLoadOperation(view, op(2), "b");
  WebCacheOperation::ic_setImageLoadOperation(view, op(3), "a");
  EXPECT_EQ(cancelled, (std::vector<int>{1}));
  WebCacheOperation::ic_setImageLoadOperation(view, ICWebImageOperationList{op(4), nullptr, op(5)}, "a");
  EXPECT_EQ(cancelled, (std::vector<int>{1, 3}));
  WebCacheOperation::ic_cancelImageLoadOperationWithKey(view, "a");
  EXPECT_EQ(cancelled, (std::vector<int>{1, 3, 4, 5}));
  WebCacheOperation::ic_cancelImageLoadOperationWithKey(view, "a");  // already gone
  WebCacheOperation::ic_cancelImageLoadOperationWithKey(view, "");
  WebCacheOperation::ic_removeImageLoadOperationWithKey(view, "b");
  WebCacheOperation::ic_cancelImageLoadOperationWithKey(view, "b");
  EXPECT_EQ(cancelled, (std::vector<int>{1, 3, 4, 5}));

  // A view's loads are not cancelled when it goes, and do not keep it.
  std::weak_ptr<ui::View> gone = view;
  WebCacheOperation::ic_setImageLoadOperation(view, op(6), "c");
  view.reset();
  EXPECT_TRUE(gone.expired());
  EXPECT_EQ(cancelled.size(), 4u);
}

using OtherLoadersTest = viewloader::ViewLoaderTest;

TEST_F(OtherLoadersTest, HighlightedImageHasNoPlaceholderAndRecordsNoURL) {
  auto view = ui::ImageView::create();
  Result result;
  HighlightedWebCache::ic_setHighlightedImageWithURL(view, thumb(1), recordInto(result));
  EXPECT_EQ(view->highlightedImage(), nullptr);
  ASSERT_TRUE(runUntil([&] { return result.calls == 1; }));
  EXPECT_TRUE(isThumbnail(view->highlightedImage(), 1));
  EXPECT_EQ(view->image(), nullptr);

  auto gate = std::make_shared<venue::Gate>();
  web.setFault("/images/thumb-2.jpg", venue::Fault::heldBy(gate));
  HighlightedWebCacheDeprecated::setHighlightedImageWithURL(view, thumb(2));
  HighlightedWebCacheDeprecated::cancelCurrentHighlightedImageLoad(view);
  gate->open();
  int oldCalls = 0;
  HighlightedWebCacheDeprecated::setHighlightedImageWithURL(
      view, std::nullopt, [&](std::shared_ptr<const gfx::Image>, std::optional<core::Error> error, ICImageCacheSource) {
        ++oldCalls;
        EXPECT_EQ(error->domain(), "ICWebImageErrorDomain");
      });
  EXPECT_EQ(oldCalls, 1);
  settle();
  EXPECT_TRUE(isThumbnail(view->highlightedImage(), 1));
}

TEST_F(OtherLoadersTest, AnnotationViewShowsThePlaceholderAgainWhenADelayedLoadFails) {
  auto view = ui::AnnotationView::create(gfx::Rect(0, 0, 80, 80));
  auto placeholder = gfx::Image::fromPixels(2, 2, std::vector<uint32_t>(4, 0xff00ff00u));
  Result loaded;
  AnnotationViewWebCache::ic_setImageWithURL(view, thumb(3), placeholder, ICWebImageLoadDelayPlaceholder,
                                             recordInto(loaded));
  EXPECT_EQ(view->image(), placeholder);  // at once whatever the options
  EXPECT_EQ(AnnotationViewWebCacheDeprecated::imageURL(view), thumb(3));
  ASSERT_TRUE(runUntil([&] { return loaded.calls == 1; }));
  EXPECT_TRUE(isThumbnail(view->image(), 3));

  web.setFault("/images/thumb-4.jpg", venue::Fault::status(404));
  Result failed;
  AnnotationViewWebCache::ic_setImageWithURL(view, thumb(4), nullptr, ICWebImageLoadDelayPlaceholder, recordInto(failed));
  view->setImage(placeholder);
  ASSERT_TRUE(runUntil([&] { return failed.calls == 1; }));
  EXPECT_EQ(view->image(), nullptr);  // the (nil) placeholder set again

  Result none;
  AnnotationViewWebCacheDeprecated::setImageWithURL(view, std::nullopt, placeholder, 0,
                                                    [&](std::shared_ptr<const gfx::Image>, std::optional<core::Error> e,
                                                        ICImageCacheSource) { none.calls += e ? 1 : 0; });
  EXPECT_EQ(none.calls, 1);
  EXPECT_EQ(AnnotationViewWebCache::ic_imageURL(view), std::nullopt);
}
