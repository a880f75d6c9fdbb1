#include "platform/media/CaptureMetadataOutput.h"

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/core/ThreadCheck.h"
#include "platform/media/CaptureSession.h"
#include "platform/media/CodeRecognizer.h"

namespace media {

// The delegate as given: a weak pointer of either kind.
struct CaptureMetadataOutput::Delegate {
  core::WeakPtr<CaptureMetadataOutputObjectsDelegate> weakPtr;
  std::weak_ptr<CaptureMetadataOutputObjectsDelegate> weak;
  bool shared = false;

  void report(CaptureMetadataOutput& output, const std::vector<std::shared_ptr<MetadataObject>>& objects,
              const CaptureConnection& connection) const {
    if (shared) {
      if (auto d = weak.lock()) d->captureOutput(output, objects, connection);
    } else if (auto* d = weakPtr.get()) {
      d->captureOutput(output, objects, connection);
    }
  }
};

std::shared_ptr<CaptureMetadataOutput> CaptureMetadataOutput::create() {
  return std::make_shared<CaptureMetadataOutput>();
}

CaptureMetadataOutput::~CaptureMetadataOutput() = default;

void CaptureMetadataOutput::setMetadataObjectsDelegate(core::WeakPtr<CaptureMetadataOutputObjectsDelegate> delegate,
                                                       std::shared_ptr<core::Queue> queue) {
  KT_ASSERT_MAIN_THREAD();
  m_delegate = std::make_shared<Delegate>(Delegate{std::move(delegate), {}, false});
  m_queue = std::move(queue);
  configChanged();
}

void CaptureMetadataOutput::setMetadataObjectsDelegate(std::weak_ptr<CaptureMetadataOutputObjectsDelegate> delegate,
                                                       std::shared_ptr<core::Queue> queue) {
  KT_ASSERT_MAIN_THREAD();
  m_delegate = std::make_shared<Delegate>(Delegate{{}, std::move(delegate), true});
  m_queue = std::move(queue);
  configChanged();
}

std::vector<MetadataObjectType> CaptureMetadataOutput::availableMetadataObjectTypes() const {
  auto session = m_session.lock();
  if (!session || session->inputs().empty()) return {};
  return CodeRecognizer::supportedTypes();
}

void CaptureMetadataOutput::setMetadataObjectTypes(const std::vector<MetadataObjectType>& types) {
  KT_ASSERT_MAIN_THREAD();
  const auto available = availableMetadataObjectTypes();
  m_types.clear();
  for (const auto& type : types) {
    if (std::find(available.begin(), available.end(), type) == available.end()) {
      KT_LOG("type %s is not available here", type.c_str());
    } else if (std::find(m_types.begin(), m_types.end(), type) == m_types.end()) {
      m_types.push_back(type);
    }
  }
  configChanged();
}

void CaptureMetadataOutput::setRectOfInterest(const gfx::Rect& rect) {
  KT_ASSERT_MAIN_THREAD();
  m_rectOfInterest = rect;
  configChanged();
}

void CaptureMetadataOutput::configChanged() {
  if (auto session = m_session.lock()) session->outputConfigChanged();
}

CaptureMetadataOutput::Reporter CaptureMetadataOutput::reporter() {
  return [weakSelf = weak_from_this(), delegate = m_delegate, session = m_session](
             const std::vector<std::shared_ptr<MetadataObject>>& objects) {
    auto self = weakSelf.lock();
    if (!self || !delegate) return;
    delegate->report(*self, objects, CaptureConnection{session});
  };
}

}  // namespace media
