#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace gfx {
class Image;
}

namespace media {

class CaptureDeviceInput;
class CaptureMetadataOutput;
class CaptureVideoPreviewLayer;

// The frame size asked of a camera: High 1280 x 720, Medium 640 x 480, Low 320 x 240.
enum class CaptureSessionPreset { High, Medium, Low };

// Runs frames from one input to a metadata output and to preview layers. Used on the main
// thread; nothing here blocks it: the source is started and stopped on a queue of the session and
// codes are recognised on another. Stopping (or destroying the session) ends frames, recognition
// and reports at once: nothing is reported for frames of an earlier run.
class CaptureSession : public std::enable_shared_from_this<CaptureSession> {
 public:
  static std::shared_ptr<CaptureSession> create();
  CaptureSession();
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  CaptureSessionPreset sessionPreset() const { return m_preset; }
  void setSessionPreset(CaptureSessionPreset preset) { m_preset = preset; }

  // One device input and one metadata output, each in one session only.
  bool canAddInput(const std::shared_ptr<CaptureDeviceInput>& input) const;
  void addInput(const std::shared_ptr<CaptureDeviceInput>& input);
  void removeInput(const std::shared_ptr<CaptureDeviceInput>& input);
  bool canAddOutput(const std::shared_ptr<CaptureMetadataOutput>& output) const;
  void addOutput(const std::shared_ptr<CaptureMetadataOutput>& output);
  void removeOutput(const std::shared_ptr<CaptureMetadataOutput>& output);
  const std::vector<std::shared_ptr<CaptureDeviceInput>>& inputs() const { return m_inputs; }
  const std::vector<std::shared_ptr<CaptureMetadataOutput>>& outputs() const { return m_outputs; }

  void startRunning();
  void stopRunning();
  bool isRunning() const { return m_running; }

  // The newest frame of this run (nullptr before the first).
  std::shared_ptr<const gfx::Image> latestFrame() const;

 private:
  friend class CaptureMetadataOutput;
  friend class CaptureVideoPreviewLayer;
  struct Pipeline;

  void outputConfigChanged();
  void addPreviewLayer(const std::shared_ptr<CaptureVideoPreviewLayer>& layer);
  void frameShown();

  CaptureSessionPreset m_preset = CaptureSessionPreset::High;
  std::vector<std::shared_ptr<CaptureDeviceInput>> m_inputs;
  std::vector<std::shared_ptr<CaptureMetadataOutput>> m_outputs;
  std::vector<std::weak_ptr<CaptureVideoPreviewLayer>> m_previewLayers;
  bool m_running = false;
  std::shared_ptr<Pipeline> m_pipeline;
};

}  // namespace media
