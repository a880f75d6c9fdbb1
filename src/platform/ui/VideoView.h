#pragma once

#include <memory>
#include <string>

#include "platform/core/Error.h"
#include "platform/ui/View.h"
#include "platform/video/VideoPlayer.h"

namespace ui {

class VideoView;

// Every operation is optional.
class VideoViewDelegate {
 public:
  virtual ~VideoViewDelegate() = default;
  // The clip is open and its first picture shows.
  virtual void videoViewDidBecomeReady(VideoView&) {}
  virtual void videoViewDidReachEnd(VideoView&) {}
  virtual void videoViewDidFail(VideoView&, const core::Error&) {}
};

// Shows a clip: the player's pictures in the view's layer, fitted to its bounds with their
// proportions kept (black bars where the picture does not fill the view), a play symbol in the
// middle while it is not playing, and a thin bar along the bottom whose filled part is the
// position over the length. A tap plays or pauses; at the end a tap plays from the beginning.
// Main thread only.
class VideoView : public View, private media::VideoPlayerDelegate {
 public:
  static std::shared_ptr<VideoView> create(const gfx::Rect& frame = gfx::Rect());
  explicit VideoView(const gfx::Rect& frame = gfx::Rect());
  ~VideoView() override;

  // Not owned: the caller keeps the delegate alive while it is set.
  VideoViewDelegate* delegate() const { return m_delegate; }
  void setDelegate(VideoViewDelegate* delegate) { m_delegate = delegate; }

  // Opens the clip and shows its first picture, paused; see media::VideoPlayer::load.
  void loadURL(const std::string& url);
  void play();
  void pause();
  bool isPlaying() const { return m_player->isPlaying(); }

  const std::shared_ptr<media::VideoPlayer>& player() const { return m_player; }
  // The filled part of the position bar, 0 to 1.
  double shownProgress() const { return m_progress; }
  // Whether the play symbol shows.
  bool showsPlaySymbol() const;

  // The height of the position bar, in points.
  static constexpr double PositionBarHeight = 4;

  void layoutSubviews() override;

 private:
  void playerDidBecomeReady(media::VideoPlayer&) override;
  void playerDidShowFrame(media::VideoPlayer&, const std::shared_ptr<const gfx::Image>&) override;
  void playerDidChangeRate(media::VideoPlayer&) override;
  void playerDidReachEnd(media::VideoPlayer&) override;
  void playerDidFail(media::VideoPlayer&, const core::Error&) override;

  void togglePlay();
  void updateProgress();
  void updatePlaySymbol();

  VideoViewDelegate* m_delegate = nullptr;
  std::shared_ptr<media::VideoPlayer> m_player;
  std::shared_ptr<View> m_track;
  std::shared_ptr<View> m_fill;
  std::shared_ptr<View> m_playSymbol;
  double m_progress = 0;
};

}  // namespace ui
