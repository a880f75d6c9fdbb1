#include "platform/ui/PanGestureRecognizer.h"

#include <cmath>

#include "platform/core/Clock.h"
#include "platform/ui/Touch.h"
#include "platform/ui/View.h"

namespace ui {
namespace {

using State = GestureRecognizerState;

// The velocity looks this far back.
constexpr double VelocityWindow = 0.1;

// A displacement (not a position) between the window's space and a view's.
gfx::Point vectorToView(gfx::Point v, const View* view) {
  if (!view) return v;
  gfx::Point a = view->convertPointFrom(gfx::Point{0, 0}, nullptr), b = view->convertPointFrom(v, nullptr);
  return gfx::Point{b.x - a.x, b.y - a.y};
}

gfx::Point vectorFromView(gfx::Point v, const View* view) {
  if (!view) return v;
  gfx::Point a = view->convertPointTo(gfx::Point{0, 0}, nullptr), b = view->convertPointTo(v, nullptr);
  return gfx::Point{b.x - a.x, b.y - a.y};
}

}  // namespace

gfx::Point PanGestureRecognizer::translationInView(const View* view) const { return vectorToView(m_translation, view); }

void PanGestureRecognizer::setTranslation(gfx::Point translation, const View* view) {
  m_translation = vectorFromView(translation, view);
  // The velocity keeps measuring from here on.
  m_samples.clear();
  addSample();
}

gfx::Point PanGestureRecognizer::velocityInView(const View* view) const {
  if (m_samples.size() < 2) return vectorToView(gfx::Point{0, 0}, view);
  const Sample& last = m_samples.back();
  const Sample* first = nullptr;
  for (const auto& s : m_samples) {
    if (s.time >= last.time - VelocityWindow && &s != &last) {
      first = &s;
      break;
    }
  }
  if (!first || last.time - first->time <= 0) return gfx::Point{0, 0};
  double dt = last.time - first->time;
  gfx::Point v{(last.translation.x - first->translation.x) / dt, (last.translation.y - first->translation.y) / dt};
  return vectorToView(v, view);
}

void PanGestureRecognizer::addSample() {
  double now = core::Clock::now();
  m_samples.push_back({now, m_translation});
  // Keep one sample older than the window at most.
  while (m_samples.size() > 2 && m_samples[1].time < now - VelocityWindow) m_samples.erase(m_samples.begin());
}

void PanGestureRecognizer::touchesBegan(const TouchSet& touches, const Event* event) {
  bool first = numberOfTouches() == 0 && state() == State::Possible;
  GestureRecognizer::touchesBegan(touches, event);
  // Fingers beyond the maximum are not part of the pan.
  while (numberOfTouches() > m_maximumTouches) untrackTouches({this->touches().back()});
  if (first) {
    m_translation = gfx::Point{0, 0};
    m_samples.clear();
  }
  m_lastCentroid = centroidInWindow();
  addSample();
}

void PanGestureRecognizer::touchesMoved(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesMoved(touches, event);
  gfx::Point c = centroidInWindow();
  m_translation.x += c.x - m_lastCentroid.x;
  m_translation.y += c.y - m_lastCentroid.y;
  m_lastCentroid = c;
  addSample();
  if (state() == State::Possible) {
    size_t n = numberOfTouches();
    if (n >= m_minimumTouches && n <= m_maximumTouches &&
        std::hypot(m_translation.x, m_translation.y) >= Hysteresis) {
      setState(State::Began);
    }
  } else if (state() == State::Began || state() == State::Changed) {
    setState(State::Changed);
  }
}

void PanGestureRecognizer::touchesEnded(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesEnded(touches, event);
  m_lastCentroid = centroidInWindow();
  addSample();
  size_t n = numberOfTouches();
  if (state() == State::Began || state() == State::Changed) {
    if (n == 0 || n < m_minimumTouches) setState(State::Ended);
  } else if (state() == State::Possible && n == 0) {
    setState(State::Failed);
  }
}

void PanGestureRecognizer::touchesCancelled(const TouchSet& touches, const Event* event) {
  GestureRecognizer::touchesCancelled(touches, event);
  m_lastCentroid = centroidInWindow();
  if (state() == State::Began || state() == State::Changed) {
    setState(State::Cancelled);
  } else if (state() == State::Possible) {
    setState(State::Failed);
  }
}

void PanGestureRecognizer::reset() {
  GestureRecognizer::reset();
  m_translation = gfx::Point{0, 0};
  m_lastCentroid = gfx::Point{0, 0};
  m_samples.clear();
}

}  // namespace ui
