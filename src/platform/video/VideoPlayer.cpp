#include "platform/video/VideoPlayer.h"

#include "platform/gfx/Image.h"

namespace media {

struct VideoPlayer::Pipeline {};

std::shared_ptr<VideoPlayer> VideoPlayer::create() { return std::make_shared<VideoPlayer>(); }
VideoPlayer::VideoPlayer() = default;
VideoPlayer::~VideoPlayer() = default;

void VideoPlayer::load(const std::string& url) {
  m_url = url;
  m_state = State::Loading;
}
void VideoPlayer::play() { m_wantsPlay = true; }
void VideoPlayer::pause() { m_wantsPlay = false; }
double VideoPlayer::position() const { return 0; }
std::optional<double> VideoPlayer::duration() const { return std::nullopt; }
bool VideoPlayer::drainTeardowns(double) { return true; }

}  // namespace media
