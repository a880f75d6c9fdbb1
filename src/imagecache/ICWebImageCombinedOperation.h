#pragma once

#include "imagecache/ICWebImageOperation.h"

#include <functional>
#include <memory>
#include <mutex>

namespace core {
class Operation;
}

namespace kt {

// The handle of one load of the image manager: cancelling it cancels the cache query and the
// download behind it. Thread-safe.
class ICWebImageCombinedOperation : public ICWebImageOperation {
 public:
  // When the handle is already cancelled the block runs at once and is not kept.
  void setCancelBlock(std::function<void()> block);
  bool hasCancelBlock() const;
  bool isCancelled() const;
  std::shared_ptr<core::Operation> cacheOperation() const;
  void setCacheOperation(std::shared_ptr<core::Operation> operation);

  // Marks the handle cancelled, cancels and drops the cache query, then runs and drops the
  // cancel block.
  void cancel() override;

 private:
  mutable std::mutex m_mutex;
  std::function<void()> m_cancelBlock;
  bool m_cancelled = false;
  std::shared_ptr<core::Operation> m_cacheOperation;
};

}  // namespace kt
