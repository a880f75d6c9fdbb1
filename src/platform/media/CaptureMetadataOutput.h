#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/WeakPtr.h"
#include "platform/gfx/Geometry.h"
#include "platform/media/MetadataObject.h"

namespace core {
class Queue;
}

namespace media {

class CaptureMetadataOutput;
class CaptureSession;

// The link between a session's input and an output, handed to the delegate with each report.
struct CaptureConnection {
  std::weak_ptr<CaptureSession> session;
};

class CaptureMetadataOutputObjectsDelegate {
 public:
  virtual ~CaptureMetadataOutputObjectsDelegate() = default;
  // The codes that came into view in one frame (never empty), on the delegate queue.
  virtual void captureOutput(CaptureMetadataOutput& output,
                             const std::vector<std::shared_ptr<MetadataObject>>& metadataObjects,
                             const CaptureConnection& connection) = 0;
};

// Recognises codes in the frames of its session and reports them to its delegate: each code once
// per appearance (a code that stays in view is reported once; once it has been out of the frames
// for ForgetAfterFrames frames in a row, or the session was restarted, it is reported again).
// Only the requested types are looked for, only inside rectOfInterest. Used on the main thread.
class CaptureMetadataOutput : public std::enable_shared_from_this<CaptureMetadataOutput> {
 public:
  static constexpr int ForgetAfterFrames = 8;

  static std::shared_ptr<CaptureMetadataOutput> create();
  CaptureMetadataOutput() = default;
  ~CaptureMetadataOutput();
  CaptureMetadataOutput(const CaptureMetadataOutput&) = delete;
  CaptureMetadataOutput& operator=(const CaptureMetadataOutput&) = delete;

  // The delegate is held weakly and called on `queue` (the main queue when null).
  void setMetadataObjectsDelegate(core::WeakPtr<CaptureMetadataOutputObjectsDelegate> delegate,
                                  std::shared_ptr<core::Queue> queue);
  void setMetadataObjectsDelegate(std::weak_ptr<CaptureMetadataOutputObjectsDelegate> delegate,
                                  std::shared_ptr<core::Queue> queue);
  const std::shared_ptr<core::Queue>& metadataObjectsCallbackQueue() const { return m_queue; }

  // Empty until the output is in a session that has an input; then the four code types.
  std::vector<MetadataObjectType> availableMetadataObjectTypes() const;
  // Types are kept in the order given; a type not available is left out (and logged).
  void setMetadataObjectTypes(const std::vector<MetadataObjectType>& types);
  const std::vector<MetadataObjectType>& metadataObjectTypes() const { return m_types; }

  // The part of the frame searched, as fractions of the frame: (0, 0, 1, 1) is the whole frame,
  // x and y from its top left. The part outside 0..1 is ignored, so a rectangle larger than the
  // unit square (say one given in points) searches the whole frame; one outside it, nothing.
  const gfx::Rect& rectOfInterest() const { return m_rectOfInterest; }
  void setRectOfInterest(const gfx::Rect& rect);

 private:
  friend class CaptureSession;
  struct Delegate;

  using Reporter = std::function<void(const std::vector<std::shared_ptr<MetadataObject>>&)>;

  void attach(const std::shared_ptr<CaptureSession>& session) { m_session = session; }
  void detach() { m_session.reset(); }
  // What the recognising side calls, on the delegate queue: reports to the delegate as set now.
  Reporter reporter();
  void configChanged();

  std::weak_ptr<CaptureSession> m_session;
  std::shared_ptr<Delegate> m_delegate;
  std::shared_ptr<core::Queue> m_queue;
  std::vector<MetadataObjectType> m_types;
  gfx::Rect m_rectOfInterest{{0, 0}, {1, 1}};
};

}  // namespace media
