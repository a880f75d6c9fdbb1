#include "platform/display/Surface.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/core/Paths.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/display/TextInput.h"
#include "platform/gfx/Animation.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Transaction.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace display {

namespace {

// The screen layer never animates: its size follows the screen mode at once.
class ScreenLayerDelegate : public gfx::LayerDelegate {
 public:
  std::shared_ptr<gfx::Animation> actionForLayer(gfx::Layer&, const std::string&) override {
    return gfx::Animation::noAction();
  }
};

ScreenLayerDelegate& screenLayerDelegate() {
  static ScreenLayerDelegate delegate;
  return delegate;
}

// The surface whose shape the main screen turns the interface against (the last one made).
const Surface* g_shapeOwner = nullptr;

}  // namespace

Surface::Surface() {
  auto& screen = ui::Screen::main();
  m_size = screen.bounds().size;
  m_wide = m_size.width >= m_size.height;
  m_scale = drawableScale(m_size, screen.drawingScale());
  m_screenLayer = gfx::Layer::create();
  m_screenLayer->setDelegate(&screenLayerDelegate());
  // The interface turns against this display's shape from now on.
  screen.setDisplayShape(m_wide);
  g_shapeOwner = this;
}

Surface::~Surface() {
  if (g_shapeOwner == this) {
    ui::Screen::main().setDisplayShape(std::nullopt);
    g_shapeOwner = nullptr;
  }
  stop();
  // The windows' layers go back to being roots of their own.
  auto hung = m_screenLayer->sublayers();
  for (auto& layer : hung) layer->removeFromSuperlayer();
}

void Surface::setWindow(std::shared_ptr<ui::Window> window) { m_window = std::move(window); }

std::shared_ptr<ui::Window> Surface::window() const {
  if (m_window) return m_window;
  ui::Window* key = ui::Application::shared().keyWindow();
  if (!key) return nullptr;
  return std::static_pointer_cast<ui::Window>(key->weak_from_this().lock());
}

std::vector<std::shared_ptr<ui::Window>> Surface::shownWindows() const {
  if (m_window) return {m_window};
  return ui::Application::shared().visibleWindows();
}

std::shared_ptr<ui::Window> Surface::windowForTouchAt(gfx::Point screenPoint) const {
  if (m_window) return m_window;
  return ui::Application::shared().windowForTouchAt(screenPoint);
}

bool Surface::scrollAt(gfx::Point screenPoint, gfx::Point travel) const {
  auto window = windowForTouchAt(screenPoint);
  if (!window) return false;
  gfx::Point p = window->convertPointFromScreen(screenPoint);
  gfx::Point q = window->convertPointFromScreen({screenPoint.x + travel.x, screenPoint.y + travel.y});
  return window->scrollWheel(p, {q.x - p.x, q.y - p.y});
}

ui::Window* Surface::textInputWindow() const {
  if (m_window) return m_window.get();
  return ui::Application::shared().textInputWindow();
}

gfx::Compositor& Surface::compositor() {
  if (!m_compositor) m_compositor = std::make_unique<gfx::Compositor>(m_size, m_scale);
  return *m_compositor;
}

gfx::Size Surface::displaySize() const {
  gfx::Size s = ui::Screen::main().bounds().size;
  if ((s.width >= s.height) != m_wide) std::swap(s.width, s.height);
  return s;
}

int Surface::quarterTurns() const {
  return ui::Screen::main().displayQuarterTurns(ui::Application::shared().statusBarOrientation());
}

// Screen points to display points. Exact quarter turns: no rounding creeps into the frames.
gfx::AffineTransform Surface::screenTransform() const {
  gfx::Size s = ui::Screen::main().bounds().size;
  switch (quarterTurns()) {
    case -1:  // the screen's top along the display's left edge
      return gfx::AffineTransform::make(0, -1, 1, 0, 0, s.width);
    case 1:   // the screen's top along the display's right edge
      return gfx::AffineTransform::make(0, 1, -1, 0, s.height, 0);
    default:
      return gfx::AffineTransform::identity();
  }
}

gfx::Point Surface::screenPointFromDisplay(gfx::Point p) const { return screenTransform().inverted().apply(p); }

gfx::Point Surface::displayPointFromScreen(gfx::Point p) const { return screenTransform().apply(p); }

gfx::Point Surface::screenVectorFromDisplay(gfx::Point v) const {
  gfx::Point o = screenPointFromDisplay({0, 0}), t = screenPointFromDisplay(v);
  return {t.x - o.x, t.y - o.y};
}

namespace {

struct ScreenPlacement {
  gfx::Rect bounds;
  gfx::Point position;
  gfx::Transform3D transform;
};

ScreenPlacement placementFor(gfx::Size screen, gfx::Size display, int quarterTurns) {
  // The turn about the layer's centre, which sits at the display's centre.
  gfx::AffineTransform turn = quarterTurns == 0 ? gfx::AffineTransform::identity()
                              : quarterTurns < 0 ? gfx::AffineTransform::make(0, -1, 1, 0, 0, 0)
                                                 : gfx::AffineTransform::make(0, 1, -1, 0, 0, 0);
  return ScreenPlacement{gfx::Rect(gfx::Point(), screen), gfx::Point{display.width / 2, display.height / 2},
                         gfx::Transform3D::fromAffine(turn)};
}

}  // namespace

bool Surface::screenLayerPlaced() const {
  ScreenPlacement want = placementFor(ui::Screen::main().bounds().size, m_size, quarterTurns());
  return m_screenLayer->bounds() == want.bounds && m_screenLayer->position() == want.position &&
         m_screenLayer->transform() == want.transform;
}

void Surface::placeScreenLayer() {
  if (screenLayerPlaced()) return;
  ScreenPlacement want = placementFor(ui::Screen::main().bounds().size, m_size, quarterTurns());
  m_screenLayer->setBounds(want.bounds);
  m_screenLayer->setPosition(want.position);
  m_screenLayer->setTransform(want.transform);
}

// Picks up a change of the screen mode; true when the surface was remade.
bool Surface::followScreen() {
  const auto& screen = ui::Screen::main();
  gfx::Size size = displaySize();
  const double scale = drawableScale(size, screen.drawingScale());
  if (size == m_size && scale == m_scale && m_compositor) return false;
  // A new drawing scale alone makes a new compositor, not a new size.
  const bool resized = m_compositor != nullptr && size != m_size;
  m_size = size;
  m_scale = scale;
  // The old compositor's surface and kept shadows go before the new ones are made.
  m_compositor.reset();
  m_compositor = std::make_unique<gfx::Compositor>(m_size, m_scale);
  m_drawn = false;
  if (resized) sizeChanged();
  return true;
}

bool Surface::holds(const std::vector<std::shared_ptr<ui::Window>>& windows) const {
  const auto& hung = m_screenLayer->sublayers();
  if (hung.size() != windows.size()) return false;
  for (size_t i = 0; i < hung.size(); ++i) {
    if (hung[i] != windows[i]->layer()) return false;
  }
  return true;
}

void Surface::hang(const std::vector<std::shared_ptr<ui::Window>>& windows) {
  if (holds(windows)) return;
  auto hung = m_screenLayer->sublayers();
  for (auto& layer : hung) layer->removeFromSuperlayer();
  for (const auto& w : windows) m_screenLayer->addSublayer(w->layer());
}

double Surface::drawableScale(gfx::Size points, double wanted) {
  const double largest = gfx::Compositor::largestScale(points);
  return largest > 0 && wanted > largest ? largest : wanted;
}

bool Surface::needsFrame() const {
  auto windows = shownWindows();
  if (windows.empty()) return false;
  if (!m_compositor || !m_drawn || !holds(windows)) return true;
  const gfx::Size size = displaySize();
  if (size != m_size || drawableScale(size, ui::Screen::main().drawingScale()) != m_scale || !screenLayerPlaced())
    return true;
  return m_compositor->needsFrame(m_screenLayer);
}

gfx::Rect Surface::renderFrame() {
  if (shownWindows().empty()) return gfx::Rect();
  followScreen();
  // Each window's own pass: layout parents before children, then content drawing. A pass may
  // show or hide windows: the list is read again after.
  for (const auto& w : shownWindows()) w->layoutAndDisplayIfNeeded();
  followTextInput();
  auto windows = shownWindows();
  if (windows.empty()) return gfx::Rect();
  placeScreenLayer();
  hang(windows);
  auto& comp = compositor();
  if (m_drawn && !comp.needsFrame(m_screenLayer)) return gfx::Rect();
  gfx::Rect dirty = comp.renderFrame(m_screenLayer);
  if (!m_drawn) dirty = gfx::Rect(gfx::Point(), m_size);
  m_drawn = true;
  if (dirty.isEmpty()) return dirty;
  ++m_frames;
  present(dirty);
  return dirty;
}

std::shared_ptr<gfx::Image> Surface::snapshot() {
  renderFrame();
  return compositor().snapshot();
}

bool Surface::saveScreenshot(const std::string& path, core::Error* error) {
  if (shownWindows().empty()) {
    core::setError(error, core::Error::withDescription(ErrorDomain, NoWindow, "There is no window to show."));
    return false;
  }
  auto image = snapshot();
  std::optional<std::string> png = image ? image->pngData() : std::nullopt;
  if (!png) {
    core::setError(error, core::Error::withDescription(ErrorDomain, EncodingFailed, "The screenshot could not be encoded."));
    return false;
  }
  auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) core::paths::makeDirectories(path.substr(0, slash));
  if (!core::paths::writeFileAtomically(path, *png)) {
    core::Error e(ErrorDomain, WriteFailed,
                  core::Value(core::Value::Dictionary{
                      {core::Error::LocalizedDescriptionKey, core::Value("The screenshot could not be written.")},
                      {core::Error::FilePathKey, core::Value(path)}}));
    core::setError(error, e);
    KT_LOG("cannot write %s", path.c_str());
    return false;
  }
  return true;
}

void Surface::start(double framesPerSecond) {
  stop();
  double interval = 1.0 / std::clamp(framesPerSecond, 1.0, 60.0);
  m_timer = core::Timer::create(interval, true, [this](core::Timer&) { tick(); });
  // Animations now start with the first frame that shows them.
  gfx::Transaction::frameSourceAdded();
  // Common modes: frames keep coming while a nested loop runs in another mode (tracking).
  core::RunLoop::main().addTimer(m_timer, core::RunLoop::CommonModes);
}

void Surface::stop() {
  if (!m_timer) return;
  m_timer->invalidate();
  m_timer.reset();
  gfx::Transaction::frameSourceRemoved();
}

void Surface::tick() {
  pollInput();
  followTextInput();
  if (needsFrame()) renderFrame();
  // The frame is on show: animations committed before it begin now.
  gfx::Transaction::frameDrawn();
}

void Surface::followTextInput() {
  std::optional<gfx::Rect> rect = activeInputRect();
  if (rect) {
    // Screen coordinates to the display's, which differ while the interface is turned.
    gfx::Point a = displayPointFromScreen(rect->origin);
    gfx::Point b = displayPointFromScreen({rect->maxX(), rect->maxY()});
    rect = gfx::Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y));
  }
  if (rect == m_textInputRect) return;
  m_textInputRect = rect;
  textInputChanged(rect);
}

}  // namespace display
