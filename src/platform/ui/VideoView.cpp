#include "platform/ui/VideoView.h"

namespace ui {

std::shared_ptr<VideoView> VideoView::create(const gfx::Rect& frame) { return std::make_shared<VideoView>(frame); }

VideoView::VideoView(const gfx::Rect& frame) : View(frame), m_player(media::VideoPlayer::create()) {
  m_player->setDelegate(this);
}

VideoView::~VideoView() { m_player->setDelegate(nullptr); }

void VideoView::loadURL(const std::string& url) { m_player->load(url); }
void VideoView::play() { m_player->play(); }
void VideoView::pause() { m_player->pause(); }
bool VideoView::showsPlaySymbol() const { return false; }
void VideoView::layoutSubviews() {}
void VideoView::playerDidBecomeReady(media::VideoPlayer&) {}
void VideoView::playerDidShowFrame(media::VideoPlayer&, const std::shared_ptr<const gfx::Image>&) {}
void VideoView::playerDidChangeRate(media::VideoPlayer&) {}
void VideoView::playerDidReachEnd(media::VideoPlayer&) {}
void VideoView::playerDidFail(media::VideoPlayer&, const core::Error&) {}
void VideoView::togglePlay() {}
void VideoView::updateProgress() {}
void VideoView::updatePlaySymbol() {}

}  // namespace ui
