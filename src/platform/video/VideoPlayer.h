#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Error.h"

typedef struct _GstMessage GstMessage;

namespace gfx {
class Image;
}

namespace media {

class VideoPlayer;

// What a player tells its owner, on the main thread. Every operation is optional.
class VideoPlayerDelegate {
 public:
  virtual ~VideoPlayerDelegate() = default;
  // The clip has been opened and its first picture is ready (the player holds it paused).
  virtual void playerDidBecomeReady(VideoPlayer&) {}
  // A new picture to show; the newest one is also player.currentFrame().
  virtual void playerDidShowFrame(VideoPlayer&, const std::shared_ptr<const gfx::Image>&) {}
  // Playing started or stopped (play, pause, the end of the clip, a failure).
  virtual void playerDidChangeRate(VideoPlayer&) {}
  // The clip played to its end; the last picture stays.
  virtual void playerDidReachEnd(VideoPlayer&) {}
  // The clip cannot be played; the player is done (Failed) and reports nothing more.
  virtual void playerDidFail(VideoPlayer&, const core::Error&) {}
};

// Plays one clip from a URL (http, https or file, or a local path) with GStreamer's playbin:
// pictures come from an application sink as BGRA frames and are handed to the main thread as
// images; sound goes to the sound server or, without one, the sound card (its devices looked for
// in /dev/snd, or where KT_SOUND_DEVICES says), and nowhere when there is neither or the
// environment variable KT_AUDIO_OUTPUT is "none" (the test harness sets it, so tests play
// silently and need no sound device). A sound card without GStreamer's element for it is said
// once on standard error and in the log, with the package that brings the element. HTTP goes through the proxy the
// environment names (http_proxy, https_proxy, all_proxy, no_proxy), never for a loopback host.
// Under the virtual clock a clip keeps the program's time (see PipelineClock).
//
// The player is used on the main thread. The pipeline runs on GStreamer's own threads; its bus is
// watched by a descriptor source on the main run loop (in the common modes), so every report
// arrives on the main thread, from the loop, never from inside a call. Destroying the player (or
// a failure) hands the pipeline to a background queue that stops and frees it, so the main thread
// never waits for the streaming threads to wind down; drainTeardowns() waits for those.
class VideoPlayer : public std::enable_shared_from_this<VideoPlayer> {
 public:
  enum class State {
    Idle,     // nothing loaded
    Loading,  // opening the clip
    Paused,   // ready, not playing
    Playing,
    Ended,    // played to the end; play() starts again from the beginning
    Failed,   // see error()
  };

  static constexpr const char* ErrorDomain = "VideoPlayerErrorDomain";
  enum ErrorCode : int64_t {
    InvalidURL = 1,         // the text is no URL the player can open
    CannotOpen = 2,         // the clip cannot be read: missing file, HTTP error, refused connection
    CannotDecode = 3,       // the bytes are no clip this player can decode
    EngineUnavailable = 4,  // GStreamer or one of its needed elements is missing
    PlaybackFailed = 5,     // any other failure while playing
  };

  static std::shared_ptr<VideoPlayer> create();
  VideoPlayer();
  ~VideoPlayer();
  VideoPlayer(const VideoPlayer&) = delete;
  VideoPlayer& operator=(const VideoPlayer&) = delete;

  // Not owned: the caller keeps the delegate alive while it is set.
  VideoPlayerDelegate* delegate() const { return m_delegate; }
  void setDelegate(VideoPlayerDelegate* delegate) { m_delegate = delegate; }

  // Opens the clip and prepares its first picture, without playing; ends whatever was loaded
  // before. A text that makes no URL fails (reported later, from the run loop, like every report).
  void load(const std::string& url);
  // Plays (at once, or as soon as the clip is ready); from the end, starts again.
  void play();
  void pause();
  // Whether the player is playing or will play as soon as the clip is ready.
  bool isPlaying() const { return m_wantsPlay && (m_state == State::Loading || m_state == State::Playing); }

  State state() const { return m_state; }
  const std::string& url() const { return m_url; }
  const std::optional<core::Error>& error() const { return m_error; }

  // Seconds into the clip (0 before anything played; with pictures, the time of the picture
  // shown), and the clip's length once known.
  double position() const;
  std::optional<double> duration() const;
  // The newest picture, nullptr before the first.
  const std::shared_ptr<const gfx::Image>& currentFrame() const { return m_frame; }
  // The number of pictures shown since load().
  uint64_t framesShown() const { return m_framesShown; }

  // The element a clip's sound goes to now ("autoaudiosink", "alsasink" or "fakesink"); a sound
  // card without its element is said, once while it lasts. Asked again by every clip that opens.
  static const char* soundSinkName();

  // Waits (real time) until every pipeline handed over for teardown has been freed; a negative
  // time-out waits for ever. Returns whether none is left. For an orderly exit and for tests.
  static bool drainTeardowns(double timeoutSeconds = -1);

 private:
  friend struct PipelineCallbacks;
  struct Pipeline;
  struct FrameSlot;

  void startPipeline(const std::string& uri);
  void stopPipeline();
  void handleBusMessages();
  void handleMessage(GstMessage* message);
  static void frameArrived(const std::shared_ptr<FrameSlot>& slot);
  void takeFrame(const std::shared_ptr<FrameSlot>& slot);
  void startPlaying();
  void fail(const core::Error& error);
  // Reports from a later turn of the main loop, dropped when another clip has been loaded since.
  void failLater(const core::Error& error);
  void reportRateLater();

  VideoPlayerDelegate* m_delegate = nullptr;
  State m_state = State::Idle;
  std::string m_url;
  std::optional<core::Error> m_error;
  bool m_wantsPlay = false;
  uint64_t m_generation = 0;  // one more with every load
  std::shared_ptr<const gfx::Image> m_frame;
  // The time in the clip of the picture shown, or, after a seek, of the picture to come;
  // negative while the pictures carry none.
  double m_frameTime = -1;
  uint64_t m_framesShown = 0;
  mutable std::optional<double> m_duration;
  mutable double m_lastPosition = 0;
  std::unique_ptr<Pipeline> m_pipeline;
};

}  // namespace media
