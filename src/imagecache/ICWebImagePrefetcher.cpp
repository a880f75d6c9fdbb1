#include "imagecache/ICWebImagePrefetcher.h"

#include "platform/core/Clock.h"
#include "platform/core/Queue.h"

#include <algorithm>

namespace kt {

std::shared_ptr<ICWebImagePrefetcher> ICWebImagePrefetcher::sharedImagePrefetcher() {
  // Made once and never destroyed, like the platform's shared objects.
  static auto* shared = new std::shared_ptr<ICWebImagePrefetcher>(std::make_shared<ICWebImagePrefetcher>());
  return *shared;
}

ICWebImagePrefetcher::ICWebImagePrefetcher() : ICWebImagePrefetcher(std::make_shared<ICWebImageManager>()) {}

ICWebImagePrefetcher::ICWebImagePrefetcher(std::shared_ptr<ICWebImageManager> manager)
    : m_manager(std::move(manager)), m_prefetcherQueue(core::Queue::main()) {
  setMaxConcurrentDownloads(3);
}

int ICWebImagePrefetcher::maxConcurrentDownloads() const {
  return m_manager->imageDownloader()->maxConcurrentDownloads();
}

void ICWebImagePrefetcher::setMaxConcurrentDownloads(int count) {
  m_manager->imageDownloader()->setMaxConcurrentDownloads(count);
}

void ICWebImagePrefetcher::prefetchURLs(std::vector<std::optional<net::URL>> urls, Progress progress,
                                        Completion completed) {
  cancelPrefetching();
  m_startedTime = core::Clock::wallNow();
  m_prefetchURLs = std::move(urls);
  m_progressBlock = std::move(progress);
  m_completionBlock = std::move(completed);
  if (m_prefetchURLs.empty()) {
    if (auto done = std::move(m_completionBlock)) done(0, 0);
    m_completionBlock = nullptr;
    m_progressBlock = nullptr;
    return;
  }
  auto width = static_cast<uint64_t>(std::max(0, maxConcurrentDownloads()));
  uint64_t run = m_run;
  for (uint64_t i = 0; i < width && m_requestedCount < m_prefetchURLs.size(); ++i) {
    if (run != m_run) return;  // a load that answered at once began another run
    startPrefetchingAtIndex(i);
  }
}

void ICWebImagePrefetcher::cancelPrefetching() {
  ++m_run;
  m_prefetchURLs.clear();
  m_requestedCount = 0;
  m_skippedCount = 0;
  m_finishedCount = 0;
  m_manager->cancelAll();
}

void ICWebImagePrefetcher::startPrefetchingAtIndex(uint64_t index) {
  if (index >= m_prefetchURLs.size()) return;
  ++m_requestedCount;
  std::weak_ptr<ICWebImagePrefetcher> weakSelf = weak_from_this();
  uint64_t run = m_run;
  m_manager->downloadImageWithURL(
      m_prefetchURLs[index], m_options, nullptr,
      [weakSelf, run, index](ImagePtr image, std::optional<core::Error>, ICImageCacheSource, bool finished,
                             std::optional<net::URL>) {
        if (!finished) return;
        if (auto self = weakSelf.lock()) self->loadFinished(run, index, image != nullptr);
      });
}

void ICWebImagePrefetcher::loadFinished(uint64_t run, uint64_t index, bool gaveImage) {
  if (run != m_run) return;
  uint64_t total = m_prefetchURLs.size();
  ++m_finishedCount;
  if (auto progress = m_progressBlock) progress(m_finishedCount, total);
  if (!gaveImage) ++m_skippedCount;
  if (run != m_run) return;
  auto delegate = m_delegate.lock();
  if (delegate && delegate->didPrefetchURL) delegate->didPrefetchURL(*this, m_prefetchURLs[index], m_finishedCount, total);
  if (run != m_run) return;
  if (total > m_requestedCount) {
    std::weak_ptr<ICWebImagePrefetcher> weakSelf = weak_from_this();
    // The index is read when the task runs: loads that answered meanwhile have moved it on.
    m_prefetcherQueue->async([weakSelf, run] {
      auto self = weakSelf.lock();
      if (self && run == self->m_run) self->startPrefetchingAtIndex(self->m_requestedCount);
    });
  } else if (m_finishedCount == m_requestedCount) {
    reportStatus();
    auto completed = std::move(m_completionBlock);
    m_completionBlock = nullptr;
    m_progressBlock = nullptr;
    if (completed) completed(m_finishedCount, m_skippedCount);
  }
}

void ICWebImagePrefetcher::reportStatus() {
  auto delegate = m_delegate.lock();
  if (delegate && delegate->didFinishWithTotalCount)
    delegate->didFinishWithTotalCount(*this, m_prefetchURLs.size() - m_skippedCount, m_skippedCount);
}

}  // namespace kt
