#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BaseVC.h"
#include "app/WGAlertView.h"
#include "platform/core/NotificationCenter.h"
#include "platform/media/CaptureMetadataOutput.h"

namespace media {
class CaptureSession;
}
namespace ui {
class Button;
class ImageView;
class TextField;
class View;
}  // namespace ui

namespace kt {

// What the binding screen's delegate adopts; it declares no operations.
class ScanQRCodeVCDelegate {
 public:
  virtual ~ScanQRCodeVCDelegate() = default;
};

// The room binding screen, presented modally in portrait (768 x 1024, 1023 x 1366 on the
// 12.9-inch tablet). The camera picture fills the screen under a dim veil with a square scan
// window; a recognised code's text is a URL that starts the three binding requests (the scanned
// address, the room information, the bind), and the room-code panel lets the guest type the room
// code instead, which goes straight to the bind. A successful bind stores "uid", allows landscape
// only again and closes the screen.
//
// The camera runs while the scan window is uncovered: a recognised code, the room-code panel and
// the guide overlay stop it; closing an overlay, sending a typed code and every failed step start
// it again. One binding runs at a time: codes recognised meanwhile are ignored. Without a camera
// there is no preview and the typed road still works.
class ScanQRCodeVC : public BaseVC, public WGAlertViewDelegate, public media::CaptureMetadataOutputObjectsDelegate {
 public:
  // The alert text of a failed step.
  static constexpr const char* FailureMessage = "绑定失败，请重新操作";
  // The progress overlay's text while a binding runs.
  static constexpr const char* BindingStatus = "绑定中";

  ScanQRCodeVC();
  ~ScanQRCodeVC() override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  // ---- Camera ----
  // Sets up and starts the capture session; without a camera nothing (no session, no preview).
  void beginScanning();
  // The codes recognised in one frame, in order (main queue): the first one's text starts a
  // binding, unless one is running already.
  void captureOutput(media::CaptureMetadataOutput& output,
                     const std::vector<std::shared_ptr<media::MetadataObject>>& metadataObjects,
                     const media::CaptureConnection& connection) override;
  // The capture session; null without a camera.
  const std::shared_ptr<media::CaptureSession>& session() const { return m_session; }

  // ---- Binding ----
  // Step 1: the scanned text, requested as an absolute http or https address.
  void getResult(const std::string& scanned);
  // Step 2: the room information of the token step 1 gave.
  void getRoomCodeWithRoomInfo(const std::string& roomInfo);
  // Step 3: binds the room code (sent as given).
  void bindingRoomWithRoomCode(const std::string& roomCode);
  // A typed room code: the progress overlay, then step 3.
  void sendInputText(const std::string& text);
  // True from the start of a binding until it fails or succeeds.
  bool isBinding() const { return m_binding; }

  // ---- Actions ----
  void bandingClick();        // opens the room-code panel
  void verifyClick();         // sends the typed code
  void dismissTheRoomCode();  // closes the panel, keeping the typed text
  void showGuideClick();      // slides the guide in
  void removeGuideView();     // slides the guide out
  void keyboardWillShow(const core::Notification& notification);
  // Rebuilds the scan line's endless slide.
  void reuserAnimation();
  void didClickTheActionButtonAtIndex(int index) override;
  void leftBarButtonClick() override;
  // Turns this screen's window to landscape right by hand: logs the device and status bar
  // orientations, sets the status bar orientation to landscape right, turns the window by a
  // quarter, gives the root view the main screen's application frame as bounds and asks
  // shouldAutorotate (the answer is not used). Nothing in the program calls it; without a window
  // only the status bar and the bounds change.
  void orientationInit();

  // Not retained; nothing sets or reads it.
  ScanQRCodeVCDelegate* delegate() const { return m_delegate; }
  void setDelegate(ScanQRCodeVCDelegate* delegate) { m_delegate = delegate; }
  // Held weakly; never set by the screen, nothing reads it.
  std::shared_ptr<ui::View> maskView() const { return m_maskView.lock(); }
  void setMaskView(const std::shared_ptr<ui::View>& view) { m_maskView = view; }

  // ---- Views (made by viewDidLoad) ----
  const std::shared_ptr<ui::View>& view_guideBg() const { return m_view_guideBg; }
  const std::shared_ptr<ui::View>& view_roomCode() const { return m_view_roomCode; }
  const std::shared_ptr<ui::View>& view_textF() const { return m_view_textF; }
  const std::shared_ptr<ui::TextField>& textF_roomCode() const { return m_textF_roomCode; }
  const std::shared_ptr<ui::View>& scanWindow() const { return m_scanWindow; }
  void setScanWindow(std::shared_ptr<ui::View> view) { m_scanWindow = std::move(view); }
  const std::shared_ptr<ui::ImageView>& imgV_scan() const { return m_imgV_scan; }
  void setImgV_scan(std::shared_ptr<ui::ImageView> view) { m_imgV_scan = std::move(view); }

  // ---- The view builders, in the order viewDidLoad calls them ----
  void setBgAlphaView();
  void setupMyView();
  void setupGuideView();
  void setupRoomCodeView();

 private:
  // Starts or stops the capture session; nothing without one. Once the screen has closed
  // itself the camera stays off.
  void startScanning();
  void stopScanning();
  // A failed step: the overlay down, the camera on again, the alert with the message.
  void failStep(const std::string& message);
  void showAlert(const std::string& message);
  // Landscape only again, the camera off, the navigation controller dismissed.
  void close();
  // Runs the action on this screen while it lives (for taps and notifications).
  std::function<void()> whileAlive(void (ScanQRCodeVC::*action)());
  // A custom button on `parent` whose touch-up-inside runs the action.
  std::shared_ptr<ui::Button> addButton(ui::View& parent, const gfx::Rect& frame, void (ScanQRCodeVC::*action)());
  // A tap anywhere on the view (outside its controls) runs the action.
  void addTap(ui::View& view, void (ScanQRCodeVC::*action)());
  // The frame F(y) of the overlays: full size at that height.
  static gfx::Rect fullFrameAt(double y);

  std::shared_ptr<ui::View> m_view_guideBg;
  std::shared_ptr<ui::View> m_view_roomCode;
  std::shared_ptr<ui::View> m_view_textF;
  std::shared_ptr<ui::TextField> m_textF_roomCode;
  std::shared_ptr<ui::View> m_scanWindow;
  std::shared_ptr<ui::ImageView> m_imgV_scan;
  ScanQRCodeVCDelegate* m_delegate = nullptr;
  std::shared_ptr<media::CaptureSession> m_session;
  std::weak_ptr<ui::View> m_maskView;
  bool m_binding = false;
  bool m_closed = false;
  core::Observation m_foregroundObserver;
  core::Observation m_keyboardObserver;
};

}  // namespace kt
