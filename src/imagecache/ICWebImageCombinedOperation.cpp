#include "imagecache/ICWebImageCombinedOperation.h"

#include "platform/core/OperationQueue.h"

namespace kt {

void ICWebImageCombinedOperation::setCancelBlock(std::function<void()> block) {
  {
    std::lock_guard lock(m_mutex);
    if (!m_cancelled) {
      m_cancelBlock = std::move(block);
      return;
    }
  }
  if (block) block();
}

bool ICWebImageCombinedOperation::hasCancelBlock() const {
  std::lock_guard lock(m_mutex);
  return m_cancelBlock != nullptr;
}

bool ICWebImageCombinedOperation::isCancelled() const {
  std::lock_guard lock(m_mutex);
  return m_cancelled;
}

std::shared_ptr<core::Operation> ICWebImageCombinedOperation::cacheOperation() const {
  std::lock_guard lock(m_mutex);
  return m_cacheOperation;
}

void ICWebImageCombinedOperation::setCacheOperation(std::shared_ptr<core::Operation> operation) {
  std::lock_guard lock(m_mutex);
  m_cacheOperation = std::move(operation);
}

void ICWebImageCombinedOperation::cancel() {
  std::shared_ptr<core::Operation> query;
  std::function<void()> block;
  {
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    query = std::move(m_cacheOperation);
    m_cacheOperation = nullptr;
    block = std::move(m_cancelBlock);
    m_cancelBlock = nullptr;
  }
  if (query) query->cancel();
  if (block) block();
}

}  // namespace kt
