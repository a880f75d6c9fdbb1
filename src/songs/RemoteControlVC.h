#pragma once

#include <optional>
#include <string>

#include "app/BaseVC.h"
#include "platform/core/Value.h"

namespace ui {
class Control;
}  // namespace ui

namespace kt {

struct CloudRequest;

// The full-screen remote control of the room's song player: three big keys (next song, original
// or accompaniment track, play or pause) and two bars stepping the room's music and microphone
// volume down or up, over a background of its own, with a return bar along the bottom edge.
//
// Every key sends one GET to the cloud service's interface host naming the room by the stored
// "uid", read afresh at each tap; the screen keeps no state between taps. Several commands may be
// in flight at once, each reporting on its own. A reply that passes the service's success test
// shows "已切歌" for the next song and nothing for the others; any other decoded reply shows the
// service's "msg", and no reply (failure, time-out, a body that is no JSON), a reply without a
// message or a missing binding shows "请先绑定包房". A command in flight keeps the screen alive
// until its reply has been handled, so a reply after the guest has left still shows its message.
class RemoteControlVC : public BaseVC {
 public:
  // Tags of the big keys, answered by btnClick.
  static constexpr int NextSongTag = 1001;
  static constexpr int TrackTag = 1002;
  static constexpr int PlayPauseTag = 1003;
  // Tags of the volume keys, answered by operationClick (the same numbers, another group).
  static constexpr int VolumeDownTag = 1001;
  static constexpr int VolumeUpTag = 1002;
  static constexpr int MicDownTag = 1003;
  static constexpr int MicUpTag = 1004;

  // The message of a failed command.
  static constexpr const char* NotBoundMessage = "请先绑定包房";
  // The message of a next song that went through.
  static constexpr const char* SkippedMessage = "已切歌";

  RemoteControlVC();
  ~RemoteControlVC() override;

  // Hides both bar buttons, clears the bar, drops the base content view and builds the screen.
  void viewDidLoad() override;
  // Builds the view tree: background, keys, volume bars and the return bar.
  void setupMyView();

  // The big keys' action: the playback command of the key's tag (another tag sends nothing).
  void btnClick(const ui::Control& button);
  // The volume keys' action: the volume command of the key's tag (another tag sends nothing).
  void operationClick(const ui::Control& button);
  // The return bar's action: pops the screen, animated.
  void returnClick();


 private:
  // What the screen shows for a command's reply: nothing, or the message of the choice box.
  static std::optional<std::string> messageForReply(const std::optional<core::Value>& reply, bool isNextSong);
  using Command = CloudRequest (*)(const std::string& uid);
  // Sends the command for the stored "uid"; without a binding it only says so.
  void send(Command command, bool isNextSong);
};

}  // namespace kt
