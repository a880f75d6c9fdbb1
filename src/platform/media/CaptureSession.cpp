#include "platform/media/CaptureSession.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/core/ThreadCheck.h"
#include "platform/gfx/Image.h"
#include "platform/media/CaptureDevice.h"
#include "platform/media/CaptureDeviceInput.h"
#include "platform/media/CaptureMetadataOutput.h"
#include "platform/media/CaptureVideoPreviewLayer.h"
#include "platform/media/CodeRecognizer.h"
#include "platform/media/CodeTracker.h"
#include "platform/media/FrameSource.h"
#include "platform/media/MetadataMachineReadableCodeObject.h"

namespace media {
namespace {

// Both queues are never destroyed: frame threads and pool threads post to them while the
// process exits.

// Sources start and stop here, in the order the sessions asked.
const std::shared_ptr<core::Queue>& controlQueue() {
  static const auto* queue = new std::shared_ptr<core::Queue>(core::Queue::createSerial("media.control"));
  return *queue;
}

// Frames are recognised here, one at a time.
const std::shared_ptr<core::Queue>& recognitionQueue() {
  static const auto* queue = new std::shared_ptr<core::Queue>(core::Queue::createSerial("media.recognition"));
  return *queue;
}

struct FrameSize {
  int width;
  int height;
};

FrameSize sizeFor(CaptureSessionPreset preset) {
  switch (preset) {
    case CaptureSessionPreset::High: return {1280, 720};
    case CaptureSessionPreset::Medium: return {640, 480};
    case CaptureSessionPreset::Low: return {320, 240};
  }
  return {1280, 720};
}

}  // namespace

// What the session shares with the threads that feed and read frames. Each run of the session
// has a generation; frames, recognitions and reports of any other generation are dropped.
struct CaptureSession::Pipeline : std::enable_shared_from_this<Pipeline> {
  using Objects = std::vector<std::shared_ptr<MetadataObject>>;
  struct Config {
    std::vector<MetadataObjectType> types;
    gfx::Rect rectOfInterest;
    std::shared_ptr<core::Queue> queue;
    CaptureMetadataOutput::Reporter report;
  };
  struct Frame {
    std::shared_ptr<const gfx::Image> image;
    uint64_t generation = 0;
  };
  // Frames waiting for recognition: a live source overwrites the oldest, a pushed one waits.
  static constexpr size_t MaxPending = 2;

  std::weak_ptr<CaptureSession> session;  // main thread

  std::mutex mutex;
  std::condition_variable taken;
  uint64_t generation = 0;
  bool active = false;
  std::deque<Frame> pending;
  bool draining = false;
  std::shared_ptr<const gfx::Image> latest;
  bool previewPosted = false;
  Config config;

  // On the recognition queue only.
  CodeRecognizer recognizer;
  CodeTracker tracker{CaptureMetadataOutput::ForgetAfterFrames};
  uint64_t trackedGeneration = 0;

  // On the control queue only.
  std::shared_ptr<FrameSource> source;

  bool isCurrent(uint64_t gen) {
    std::lock_guard lock(mutex);
    return active && generation == gen;
  }

  uint64_t begin() {
    std::lock_guard lock(mutex);
    ++generation;
    active = true;
    pending.clear();
    latest = nullptr;
    return generation;
  }

  void end() {
    {
      std::lock_guard lock(mutex);
      ++generation;
      active = false;
      pending.clear();
    }
    taken.notify_all();
    controlQueue()->async([self = shared_from_this()] { self->stopSource(); });
  }

  void stopSource() {
    if (!source) return;
    source->stop();
    source.reset();
  }

  void startSource(const std::shared_ptr<CaptureDevice>& device, FrameSize size, uint64_t gen) {
    stopSource();
    if (!isCurrent(gen)) return;
    core::Error error;
    auto fresh = device->makeSource(size.width, size.height);
    std::weak_ptr<Pipeline> weak = weak_from_this();
    auto handler = [weak, gen](std::shared_ptr<const gfx::Image> image, bool mayDrop) {
      if (auto self = weak.lock()) self->frameArrived(std::move(image), mayDrop, gen);
    };
    if (!fresh || !fresh->start(handler, &error)) {
      KT_LOG("camera %s does not start: %s", device->uniqueID().c_str(), error.description().c_str());
      core::Queue::main()->async([weak, gen] {
        auto self = weak.lock();
        if (!self || !self->isCurrent(gen)) return;
        if (auto session = self->session.lock()) session->stopRunning();
      });
      return;
    }
    source = std::move(fresh);
  }

  void frameArrived(std::shared_ptr<const gfx::Image> image, bool mayDrop, uint64_t gen) {
    if (!image) return;
    std::unique_lock lock(mutex);
    auto stale = [&] { return !active || generation != gen; };
    if (stale()) return;
    latest = image;
    if (!previewPosted) {
      previewPosted = true;
      core::Queue::main()->async([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->showLatest();
      });
    }
    if (mayDrop) {
      if (pending.size() >= MaxPending) pending.pop_front();
    } else {
      taken.wait(lock, [&] { return pending.size() < MaxPending || stale(); });
      if (stale()) return;
    }
    pending.push_back({std::move(image), gen});
    if (!draining) {
      draining = true;
      recognitionQueue()->async([self = shared_from_this()] { self->drain(); });
    }
  }

  // Main thread.
  void showLatest() {
    {
      std::lock_guard lock(mutex);
      previewPosted = false;
      if (!active) return;
    }
    if (auto s = session.lock()) s->frameShown();
  }

  // The next frame of the current run and the configuration to read it with; false when none is
  // left.
  bool next(Frame& frame, Config& cfg) {
    std::lock_guard lock(mutex);
    while (!pending.empty()) {
      frame = std::move(pending.front());
      pending.pop_front();
      taken.notify_all();
      if (active && frame.generation == generation) {
        cfg = config;
        return true;
      }
    }
    draining = false;
    return false;
  }

  void drain() {
    Frame frame;
    Config cfg;
    while (next(frame, cfg)) {
      if (trackedGeneration != frame.generation) {
        tracker.reset();
        trackedGeneration = frame.generation;
      }
      auto fresh = tracker.frame(recognizer.recognize(*frame.image, cfg.types, cfg.rectOfInterest));
      if (fresh.empty() || !cfg.report) continue;
      Objects objects;
      for (auto& code : fresh) {
        objects.push_back(std::make_shared<MetadataMachineReadableCodeObject>(code.type, std::move(code.text)));
      }
      auto queue = cfg.queue ? cfg.queue : core::Queue::main();
      queue->async([weak = weak_from_this(), gen = frame.generation, report = cfg.report, objects = std::move(objects)] {
        auto self = weak.lock();
        if (self && self->isCurrent(gen)) report(objects);
      });
    }
  }
};

std::shared_ptr<CaptureSession> CaptureSession::create() {
  auto session = std::make_shared<CaptureSession>();
  session->m_pipeline->session = session;
  return session;
}

CaptureSession::CaptureSession() : m_pipeline(std::make_shared<Pipeline>()) {}

CaptureSession::~CaptureSession() {
  if (m_running) m_pipeline->end();
  for (const auto& output : m_outputs) output->detach();
}

bool CaptureSession::canAddInput(const std::shared_ptr<CaptureDeviceInput>& input) const {
  return input && input->device() && m_inputs.empty();
}

void CaptureSession::addInput(const std::shared_ptr<CaptureDeviceInput>& input) {
  KT_ASSERT_MAIN_THREAD();
  if (!canAddInput(input)) {
    KT_LOG("the input cannot be added");
    return;
  }
  m_inputs.push_back(input);
}

void CaptureSession::removeInput(const std::shared_ptr<CaptureDeviceInput>& input) {
  KT_ASSERT_MAIN_THREAD();
  std::erase(m_inputs, input);
}

bool CaptureSession::canAddOutput(const std::shared_ptr<CaptureMetadataOutput>& output) const {
  return output && m_outputs.empty() && output->m_session.expired();
}

void CaptureSession::addOutput(const std::shared_ptr<CaptureMetadataOutput>& output) {
  KT_ASSERT_MAIN_THREAD();
  if (!canAddOutput(output)) {
    KT_LOG("the output cannot be added");
    return;
  }
  m_outputs.push_back(output);
  output->attach(shared_from_this());
  outputConfigChanged();
}

void CaptureSession::removeOutput(const std::shared_ptr<CaptureMetadataOutput>& output) {
  KT_ASSERT_MAIN_THREAD();
  if (std::find(m_outputs.begin(), m_outputs.end(), output) == m_outputs.end()) return;
  std::erase(m_outputs, output);
  output->detach();
  outputConfigChanged();
}

void CaptureSession::outputConfigChanged() {
  Pipeline::Config config;
  if (!m_outputs.empty()) {
    const auto& output = m_outputs.front();
    config = {output->metadataObjectTypes(), output->rectOfInterest(), output->metadataObjectsCallbackQueue(),
              output->reporter()};
  }
  std::lock_guard lock(m_pipeline->mutex);
  m_pipeline->config = std::move(config);
}

void CaptureSession::startRunning() {
  KT_ASSERT_MAIN_THREAD();
  if (m_running) return;
  if (m_inputs.empty()) {
    KT_LOG("a session without input does not run");
    return;
  }
  m_running = true;
  uint64_t gen = m_pipeline->begin();
  controlQueue()->async([pipeline = m_pipeline, device = m_inputs.front()->device(), size = sizeFor(m_preset), gen] {
    pipeline->startSource(device, size, gen);
  });
}

void CaptureSession::stopRunning() {
  KT_ASSERT_MAIN_THREAD();
  if (!m_running) return;
  m_running = false;
  m_pipeline->end();
}

std::shared_ptr<const gfx::Image> CaptureSession::latestFrame() const {
  std::lock_guard lock(m_pipeline->mutex);
  return m_pipeline->latest;
}

void CaptureSession::addPreviewLayer(const std::shared_ptr<CaptureVideoPreviewLayer>& layer) {
  m_previewLayers.push_back(layer);
}

void CaptureSession::frameShown() {
  auto frame = latestFrame();
  std::erase_if(m_previewLayers, [](const auto& weak) { return weak.expired(); });
  for (const auto& weak : m_previewLayers) {
    if (auto layer = weak.lock()) layer->showFrame(frame);
  }
}

}  // namespace media
