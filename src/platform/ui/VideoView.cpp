#include "platform/ui/VideoView.h"

#include <algorithm>

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/TapGestureRecognizer.h"

namespace ui {
namespace {

constexpr double kPlaySymbolSide = 72;

// A dark disc with a white triangle pointing right.
class PlaySymbolView : public View {
 public:
  using View::View;
  bool drawsContent() const override { return true; }
  void drawRect(gfx::Context& ctx, const gfx::Rect&) override {
    const gfx::Rect b = bounds();
    ctx.setFillColor(gfx::Color(0, 0, 0, 0.55));
    ctx.fillEllipse(b);
    const double s = std::min(b.width(), b.height());
    const double cx = b.x() + b.width() / 2;
    const double cy = b.y() + b.height() / 2;
    ctx.setFillColor(gfx::Color(1, 1, 1, 0.9));
    ctx.beginPath();
    ctx.moveTo({cx - s * 0.16, cy - s * 0.24});
    ctx.lineTo({cx + s * 0.26, cy});
    ctx.lineTo({cx - s * 0.16, cy + s * 0.24});
    ctx.closePath();
    ctx.fillPath();
  }
};

}  // namespace

std::shared_ptr<VideoView> VideoView::create(const gfx::Rect& frame) { return std::make_shared<VideoView>(frame); }

VideoView::VideoView(const gfx::Rect& frame) : View(frame), m_player(media::VideoPlayer::create()) {
  m_player->setDelegate(this);
  setBackgroundColor(gfx::Color::black());
  setContentMode(ContentMode::ScaleAspectFit);
  setClipsToBounds(true);

  m_track = View::create();
  m_track->setBackgroundColor(gfx::Color(1, 1, 1, 0.25));
  m_track->setUserInteractionEnabled(false);
  m_fill = View::create();
  m_fill->setBackgroundColor(gfx::Color(1, 1, 1, 0.9));
  m_fill->setUserInteractionEnabled(false);
  m_track->addSubview(m_fill);
  addSubview(m_track);

  m_playSymbol = std::make_shared<PlaySymbolView>();
  m_playSymbol->setOpaque(false);
  m_playSymbol->setBackgroundColor(gfx::Color::clear());
  m_playSymbol->setUserInteractionEnabled(false);
  m_playSymbol->setHidden(true);
  addSubview(m_playSymbol);

  addGestureRecognizer(std::make_shared<TapGestureRecognizer>([this](GestureRecognizer&) { togglePlay(); }, this));
  layoutSubviews();
}

VideoView::~VideoView() { m_player->setDelegate(nullptr); }

void VideoView::loadURL(const std::string& url) {
  layer()->setContents(nullptr);
  m_player->load(url);
  updateProgress();
  updatePlaySymbol();
}

void VideoView::play() {
  m_player->play();
  updatePlaySymbol();
}

void VideoView::pause() {
  m_player->pause();
  updatePlaySymbol();
}

bool VideoView::showsPlaySymbol() const { return !m_playSymbol->isHidden(); }

void VideoView::togglePlay() {
  if (m_player->isPlaying()) pause();
  else play();
}

void VideoView::layoutSubviews() {
  const gfx::Rect b = bounds();
  m_track->setFrame(gfx::Rect(0, b.height() - PositionBarHeight, b.width(), PositionBarHeight));
  m_fill->setFrame(gfx::Rect(0, 0, b.width() * m_progress, PositionBarHeight));
  const double side = std::min({kPlaySymbolSide, b.width(), b.height()});
  m_playSymbol->setFrame(gfx::Rect(b.x() + (b.width() - side) / 2, b.y() + (b.height() - side) / 2, side, side));
}

void VideoView::updateProgress() {
  const std::optional<double> length = m_player->duration();
  double progress = 0;
  if (m_player->state() == media::VideoPlayer::State::Ended) progress = 1;
  else if (length && *length > 0) progress = std::clamp(m_player->position() / *length, 0.0, 1.0);
  m_progress = progress;
  m_fill->setFrame(gfx::Rect(0, 0, bounds().width() * m_progress, PositionBarHeight));
}

void VideoView::updatePlaySymbol() {
  using State = media::VideoPlayer::State;
  const State state = m_player->state();
  // Offered once there is something to play and it is not playing.
  const bool offer = (state == State::Paused || state == State::Ended) && !m_player->isPlaying();
  m_playSymbol->setHidden(!offer);
}

void VideoView::playerDidBecomeReady(media::VideoPlayer&) {
  updateProgress();
  updatePlaySymbol();
  if (m_delegate) m_delegate->videoViewDidBecomeReady(*this);
}

void VideoView::playerDidShowFrame(media::VideoPlayer&, const std::shared_ptr<const gfx::Image>& frame) {
  layer()->setContents(frame);
  if (frame) layer()->setContentsScale(frame->scale());
  updateProgress();
}

void VideoView::playerDidChangeRate(media::VideoPlayer&) {
  updateProgress();
  updatePlaySymbol();
}

void VideoView::playerDidReachEnd(media::VideoPlayer&) {
  updateProgress();
  updatePlaySymbol();
  if (m_delegate) m_delegate->videoViewDidReachEnd(*this);
}

void VideoView::playerDidFail(media::VideoPlayer&, const core::Error& error) {
  updateProgress();
  updatePlaySymbol();
  if (m_delegate) m_delegate->videoViewDidFail(*this, error);
}

}  // namespace ui
