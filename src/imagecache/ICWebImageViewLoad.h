#pragma once

#include "imagecache/ICWebImageManager.h"  // the load options
#include "imagecache/ICWebImageOperation.h"
#include "platform/core/Error.h"
#include "platform/core/Queue.h"
#include "platform/core/ThreadCheck.h"
#include "platform/net/URL.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace ui {
class View;
}

namespace kt {

enum class ICImageCacheSource : int64_t;

// What a view loader hands its caller: the image, the error, where the image came from and the
// URL it was loaded from.
using ICWebImageViewCompletion =
    std::function<void(ImagePtr, std::optional<core::Error>, ICImageCacheSource, std::optional<net::URL>)>;
// The same without the URL, for the old names.
using ICWebImageOldViewCompletion = std::function<void(ImagePtr, std::optional<core::Error>, ICImageCacheSource)>;

// One load of the shared image manager into a slot of a view (an image view's image, a button's
// image for a state, ...), as the view loaders start it. It is the handle a loader registers for
// its slot: cancelling it cancels the manager's load, and a result that arrives after the cancel
// (already on its way to the main thread) is dropped, so a reused cell never shows an earlier
// row's image. Results are applied on the main thread and only while the view lives.
class ICWebImageViewLoad : public ICWebImageOperation {
 public:
  // What a result does to the view, on the main thread.
  struct Target {
    std::weak_ptr<ui::View> view;
    std::function<void(ui::View&, const ImagePtr&)> setImage;
    // With ICWebImageLoadDelayPlaceholder and no image; empty: nothing.
    std::function<void(ui::View&)> setPlaceholder;
    // Before anything else, once the view is known to live (the activity indicator goes); empty: nothing.
    std::function<void(ui::View&)> beforeResult;
    bool marksLayout = true;  // setNeedsLayout after setting an image or the placeholder
  };

  // Asks the shared manager for the URL's image. With ICWebImageLoadAvoidAutoSetImage and a
  // completion, an image goes to the completion instead of the view. The completion gets the
  // final result only (not the partial images of a progressive load, which are shown).
  static std::shared_ptr<ICWebImageViewLoad> start(Target target, const net::URL& url, unsigned options,
                                                   ICWebImageProgressCallback progress,
                                                   ICWebImageViewCompletion completed);

  // "ICWebImageErrorDomain" -1 "Trying to load a nil url".
  static core::Error nilURLError();
  // Gives the completion, when there is one, the nil-URL error.
  static void reportNilURL(const ICWebImageViewCompletion& completed);

  // The loaders run on the main thread, where the views and their registries live: called on
  // another thread, a loader goes to the main queue whole and runs there if the view still lives.
  // True when `again` was queued (the caller returns).
  template <class View, class Fn>
  static bool movedToMainThread(const std::shared_ptr<View>& view, Fn again) {
    if (core::onMainThread()) return false;
    core::Queue::main()->async([weak = std::weak_ptr<View>(view), again = std::move(again)] {
      if (auto strong = weak.lock()) again(strong);
    });
    return true;
  }

  // An old-style completion as a current one (it gets no URL); empty stays empty.
  static ICWebImageViewCompletion wrapOldCompletion(ICWebImageOldViewCompletion old) {
    if (!old) return {};
    return [old = std::move(old)](ImagePtr image, std::optional<core::Error> error, ICImageCacheSource source,
                                  std::optional<net::URL>) { old(std::move(image), std::move(error), source); };
  }

  void cancel() override;
  bool isCancelled() const { return m_cancelled->load(); }

 private:
  void setManagerOperation(std::shared_ptr<ICWebImageOperation> operation);

  // Shared with the result handler, which must not hold the load itself (the manager's
  // operation, which the load holds, may hold the handler).
  std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
  std::mutex m_mutex;
  std::shared_ptr<ICWebImageOperation> m_managerOperation;
};

}  // namespace kt
