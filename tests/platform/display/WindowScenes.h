#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "platform/display/WindowSurface.h"
#include "platform/gl/Context.h"
#include "platform/gl/GL.h"
#include "platform/ui/Button.h"
#include "platform/ui/Window.h"

// What the real-window tests show: a blue window with a red button at (200, 150, 400 x 300) that
// counts its taps.
struct ButtonScene {
  ButtonScene() {
    window->setBackgroundColor(gfx::Color::rgba(0, 0, 1));
    button->setBackgroundColor(gfx::Color::rgba(0.8, 0.2, 0.2));
    button->addTarget(nullptr, [this](ui::Control&, const ui::Event*) { ++taps; }, ui::ControlEventTouchUpInside);
    window->addSubview(button);
    window->makeKeyAndVisible();
  }
  std::shared_ptr<ui::Window> window = ui::Window::create();
  std::shared_ptr<ui::Button> button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(200, 150, 400, 300));
  int taps = 0;
};

// The left button pressed and let go at (x, y), the window's own pixels, put in SDL's queue for the
// surface to take: a mouse is a finger, so this is a tap.
inline void pushTap(display::WindowSurface& surface, int x, int y) {
  SDL_Event down{};
  down.type = SDL_MOUSEBUTTONDOWN;
  down.button.windowID = SDL_GetWindowID(surface.sdlWindow());
  down.button.button = SDL_BUTTON_LEFT;
  down.button.state = SDL_PRESSED;
  down.button.clicks = 1;
  down.button.x = x;
  down.button.y = y;
  SDL_Event up = down;
  up.type = SDL_MOUSEBUTTONUP;
  up.button.state = SDL_RELEASED;
  SDL_PushEvent(&down);
  SDL_PushEvent(&up);
}

// GL drawn through the platform's own contexts between frames of a real window, as the GL
// transitions draw: three rounds of a GL clear read back, each followed by a frame of the window
// in another colour, which `shown` checks is what the window shows (0xRRGGBB).
inline void drawGLBetweenFrames(ui::Window& window, display::WindowSurface& surface,
                                const std::function<void(uint32_t rgb, int round)>& shown) {
  auto context = gl::Context::create(gl::RenderingAPI::OpenGLES1);
  ASSERT_NE(context, nullptr);
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(gl::Context::setCurrentContext(context));
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    GLubyte rgba[4] = {};
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    EXPECT_EQ(rgba[0], 255);
    EXPECT_EQ(rgba[2], 0);

    const bool cyan = round % 2 == 0;
    window.setBackgroundColor(gfx::Color::rgba(0, cyan ? 1 : 0, 1));
    EXPECT_FALSE(surface.renderFrame().isEmpty());
    shown(cyan ? 0x00FFFFu : 0x0000FFu, round);
  }
  gl::Context::setCurrentContext(nullptr);
}
