#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/gfx/Compositor.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "support/RunUntil.h"

namespace uitest {

// A visible key window the size of the 1024 x 768 screen, and the application reset after.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Screen::main().reset();
    ui::Application::shared().reset();
    window = ui::Window::create(gfx::Rect(0, 0, 1024, 768));
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    window.reset();
    support::drainMainLoop();
    ui::Application::shared().reset();
  }

  std::shared_ptr<ui::Window> window;
};

// Renders a view's layer tree into a bitmap at scale 1 and returns the pixel at (x, y) as
// straight ARGB bytes packed 0xAARRGGBB (premultiplied values, exact for opaque pixels).
inline std::shared_ptr<gfx::Image> render(ui::View& view) {
  if (auto* w = view.window()) w->layoutAndDisplayIfNeeded();
  gfx::Size s = view.bounds().size;
  auto ctx = gfx::Context::bitmap(s, 1);
  gfx::Compositor::renderLayer(*view.layer(), *ctx);
  return ctx->makeImage();
}

}  // namespace uitest

namespace uitest {

// A solid image of w x h points at `scale`.
inline std::shared_ptr<gfx::Image> solidImage(int w, int h, uint32_t argb, double scale = 1) {
  int pw = int(w * scale), ph = int(h * scale);
  return gfx::Image::fromPixels(pw, ph, std::vector<uint32_t>(size_t(pw * ph), argb), scale);
}

// The centre of a view in window coordinates.
inline gfx::Point centerInWindow(const ui::View& v) {
  gfx::Rect b = v.bounds();
  return v.convertPointTo(b.center(), nullptr);
}

}  // namespace uitest
