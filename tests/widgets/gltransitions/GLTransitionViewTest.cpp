// The transition view: snapshot textures (sizes, coordinates, pixels), framebuffers that follow
// the view's size, and the display-link clock that drives its transition.
#include "widgets/gltransitions/GLTransitionView.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "StubTransitions.h"
#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/gl/Context.h"
#include "support/UiHarness.h"

namespace {

constexpr double Frame = 1.0 / 60;

struct RecordingDelegate : kt::GLTransitionViewDelegate {
  int finished = 0;
  void transitionViewDidFinishTransition(kt::GLTransitionView&) override { ++finished; }
};

// A view of `size`: `top` down to `split` points, `bottom` below.
std::shared_ptr<ui::View> twoColours(gfx::Size size, double split, gfx::Color top, gfx::Color bottom) {
  auto view = ui::View::create(gfx::Rect(0, 0, size.width, size.height));
  view->setBackgroundColor(bottom);
  auto upper = ui::View::create(gfx::Rect(0, 0, size.width, split));
  upper->setBackgroundColor(top);
  view->addSubview(upper);
  return view;
}

class GLTransitionViewTest : public support::ScreenTest {
 protected:
  GLTransitionViewTest() {
    view->setTransition(transition);
    view->setDelegate(delegate.weakPtr());
  }

  // Lets `count` display frames pass (and a hair more, so that rounding in the sums of frame
  // times never leaves the last one waiting).
  void frames(int count) { wait(count * Frame + 1e-7); }

  // A texture of the view's context: its size and its texels as 0xRRGGBBAA, first row first.
  struct Texture {
    int width = 0, height = 0;
    std::vector<uint32_t> texels;
    uint32_t at(int x, int y) const { return __builtin_bswap32(texels[static_cast<size_t>(y) * width + x]); }
  };
  Texture read(GLuint name) {
    gl::Context::setCurrentContext(view->context());
    Texture t;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &t.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &t.height);
    t.texels.resize(static_cast<size_t>(t.width) * t.height);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.texels.data());
    return t;
  }
  // The corners' coordinates are (x0, y0), (x3, y0), (x0, y3), (x3, y3).
  void expectCoords(float x0, float y0, float x3, float y3) {
    const kt::GLTexCoords& c = transition->basicTexCoords();
    const float expected[] = {x0, y0, x3, y0, x0, y3, x3, y3};
    const float actual[] = {c.x0, c.y0, c.x1, c.y1, c.x2, c.y2, c.x3, c.y3};
    for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(actual[i], expected[i]) << "coordinate " << i;
  }

  std::shared_ptr<support::CountingTransition> transition = std::make_shared<support::CountingTransition>();
  RecordingDelegate delegate;
  std::shared_ptr<kt::GLTransitionView> view = kt::GLTransitionView::create(gfx::Rect(0, 0, 100, 50));
};

TEST_F(GLTransitionViewTest, TexturesArePowersOfTwoAndCoordinatesCoverTheSnapshot) {
  auto tall = ui::View::create(gfx::Rect(0, 0, 320, 480));
  view->createBeginTextureWithView(*tall);
  const GLuint begin = view->beginTexture();
  Texture t = read(begin);
  EXPECT_EQ(t.width, 512);
  EXPECT_EQ(t.height, 512);
  EXPECT_FLOAT_EQ(view->textureWidthNormalized(), 0.625f);
  EXPECT_FLOAT_EQ(view->textureHeightNormalized(), 0.9375f);
  expectCoords(0, 0.0625f, 0.625f, 1);

  // The same texture takes the next snapshot, at that one's size.
  auto small = ui::View::create(gfx::Rect(0, 0, 10, 10));
  view->createBeginTextureWithView(*small);
  EXPECT_EQ(view->beginTexture(), begin);
  t = read(begin);
  EXPECT_EQ(t.width, 16);
  EXPECT_EQ(t.height, 16);

  // A quarter turn: the frame is 320 x 480, the picture 480 x 320, so width and height swap.
  auto turned = ui::View::create(gfx::Rect(0, 0, 480, 320));
  turned->setTransform(gfx::AffineTransform::make(0, 1, -1, 0, 0, 0));
  view->createEndTextureWithView(*turned);
  EXPECT_FLOAT_EQ(view->textureWidthNormalized(), 0.625f);
  expectCoords(0, 0.375f, 0.9375f, 1);
}

TEST_F(GLTransitionViewTest, SnapshotLiesUpsideDownAtTheBottomOfTheTextureOfItsOwnContext) {
  // Another context is current: the texture still goes into the view's.
  auto other = gl::Context::create(gl::RenderingAPI::OpenGLES1);
  ASSERT_TRUE(gl::Context::setCurrentContext(other));
  // 40 x 30, red above y = 15 and blue below, in a 64 x 32 texture.
  auto source = twoColours({40, 30}, 15, gfx::Color::red(), gfx::Color::blue());
  const auto image = view->createBeginTextureWithView(*source);
  ASSERT_TRUE(gl::Context::setCurrentContext(other));
  EXPECT_FALSE(glIsTexture(view->beginTexture()));
  const Texture t = read(view->beginTexture());
  ASSERT_EQ(t.width, 64);
  ASSERT_EQ(t.height, 32);
  // Rows below H - h stay empty; the view's bottom row is row 2, its top row the last.
  EXPECT_EQ(t.at(10, 1), 0u);
  EXPECT_EQ(t.at(10, 2), 0x0000FFFFu);
  EXPECT_EQ(t.at(10, 16), 0x0000FFFFu);
  EXPECT_EQ(t.at(10, 17), 0xFF0000FFu);
  EXPECT_EQ(t.at(39, 31), 0xFF0000FFu);
  EXPECT_EQ(t.at(40, 31), 0u);

  // The image is that bitmap, one pixel per point.
  ASSERT_TRUE(image);
  EXPECT_EQ(image->scale(), 1);
  EXPECT_EQ(image->pixelHeight(), 32);
  EXPECT_EQ(image->pixelAt(10, 2), 0xFF0000FFu);
  EXPECT_EQ(image->pixelAt(10, 31), 0xFFFF0000u);
}

TEST_F(GLTransitionViewTest, ViewsLargerThanTheLargestTextureAreScaledToFit) {
  // The 12.9-inch tablet's screen in landscape, with a green strip down its right edge.
  auto wide = twoColours({1366, 1024}, 1024, gfx::Color::whiteColor(), gfx::Color::whiteColor());
  auto strip = ui::View::create(gfx::Rect(1356, 0, 10, 1024));
  strip->setBackgroundColor(gfx::Color::green());
  wide->addSubview(strip);
  const auto image = view->createBeginTextureWithView(*wide);
  const Texture t = read(view->beginTexture());
  EXPECT_EQ(t.width, 1024);
  EXPECT_EQ(t.height, 1024);
  EXPECT_FLOAT_EQ(view->textureWidthNormalized(), 1);
  EXPECT_FLOAT_EQ(view->textureHeightNormalized(), 1);
  expectCoords(0, 0, 1, 1);
  // 1356 points in, scaled by 1024 / 1366, is texel 1016.5.
  EXPECT_EQ(t.at(1023, 500), 0x00FF00FFu);
  EXPECT_EQ(t.at(1018, 500), 0x00FF00FFu);
  EXPECT_EQ(t.at(1014, 500), 0xFFFFFFFFu);
  // The overlay's image keeps the view's own size.
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 1366);
  EXPECT_EQ(image->pixelAt(1360, 500), 0xFF00FF00u);
}

TEST_F(GLTransitionViewTest, FirstFrameStepsByZeroThenByTheClockCappedAtTheLimit) {
  view->reset();
  EXPECT_TRUE(view->isHidden());
  view->startAnimation();
  frames(3);
  ASSERT_EQ(transition->steps.size(), 3u);
  EXPECT_FALSE(view->isHidden());
  EXPECT_EQ(transition->steps[0], 0);
  EXPECT_NEAR(transition->steps[1], Frame, 1e-6);
  EXPECT_NEAR(transition->steps[2], Frame, 1e-6);

  // A stall of 0.2 s counts as the float 0.05.
  core::Clock::advance(0.2);
  wait(0);
  ASSERT_EQ(transition->steps.size(), 4u);
  EXPECT_EQ(transition->steps[3], static_cast<double>(0.05f));
  EXPECT_EQ(transition->inits, 1);
  EXPECT_EQ(transition->draws, 4);
  EXPECT_EQ(delegate.finished, 0);
}

TEST_F(GLTransitionViewTest, FrameIntervalChangesTheRateWithoutEndingTheTransition) {
  view->setAnimationFrameInterval(0);
  EXPECT_EQ(view->animationFrameInterval(), 1);
  view->startAnimation();
  frames(4);
  EXPECT_EQ(transition->steps.size(), 4u);

  view->setAnimationFrameInterval(2);
  frames(10);
  EXPECT_EQ(transition->steps.size(), 9u);
  EXPECT_NEAR(transition->steps.back(), 2 * Frame, 1e-6);
  EXPECT_EQ(transition->inits, 1);
  EXPECT_TRUE(view->isAnimating());
  EXPECT_EQ(delegate.finished, 0);
}

TEST_F(GLTransitionViewTest, StoppingTellsTheDelegateOnce) {
  view->startAnimation();
  frames(2);
  view->stopAnimation();
  view->stopAnimation();
  EXPECT_EQ(delegate.finished, 1);
  frames(3);
  EXPECT_EQ(transition->steps.size(), 2u);

  // A transition that finishes stops the view on that frame, drawn last.
  view->reset();
  transition->finishAfter = 5;
  view->startAnimation();
  frames(10);
  EXPECT_EQ(transition->steps.size(), 5u);
  EXPECT_EQ(transition->draws, 5);
  EXPECT_EQ(delegate.finished, 2);
  EXPECT_FALSE(view->isAnimating());
}

TEST_F(GLTransitionViewTest, WithoutAContextTheTransitionStillRunsToItsEnd) {
  view->setContext(nullptr);
  EXPECT_EQ(view->defaultFramebuffer(), 0u);
  transition->finishAfter = 2;
  view->startAnimation();
  frames(3);
  EXPECT_EQ(transition->steps.size(), 2u);
  EXPECT_EQ(transition->draws, 0);
  EXPECT_EQ(delegate.finished, 1);
}

TEST_F(GLTransitionViewTest, DelegateMayStartTheNextAnimation) {
  struct Restarter : kt::GLTransitionViewDelegate {
    int finished = 0;
    void transitionViewDidFinishTransition(kt::GLTransitionView& v) override {
      if (++finished == 1) {
        v.reset();
        v.startAnimation();
      }
    }
  } restarter;
  view->setDelegate(restarter.weakPtr());
  transition->finishAfter = 1;
  view->startAnimation();
  frames(2);
  EXPECT_EQ(restarter.finished, 2);
  EXPECT_EQ(transition->inits, 2);
}

TEST_F(GLTransitionViewTest, FramebufferFollowsTheViewsSizeAfterALayout) {
  std::vector<std::string> logged;
  const core::LogSink previous = core::setLogSink([&](const std::string& line) { logged.push_back(line); });

  view->setFrame(gfx::Rect(0, 0, 200, 80));
  view->layoutSubviews();
  EXPECT_EQ(view->defaultFramebuffer(), 0u);
  view->drawView();
  EXPECT_EQ(view->backingWidth(), 200);
  EXPECT_EQ(view->backingHeight(), 80);
  const auto shown = view->layer()->contents();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->pixelWidth(), 200);
  EXPECT_EQ(shown->pixelAt(199, 79), 0xFF00FF00u);
  EXPECT_TRUE(logged.empty());

  // An empty view cannot have a complete framebuffer: that is logged, and frames go on.
  view->setFrame(gfx::Rect(0, 0, 0, 0));
  view->layoutSubviews();
  view->drawView();
  view->drawView();
  EXPECT_EQ(transition->draws, 3);
  ASSERT_EQ(logged.size(), 1u);
  std::smatch found;
  ASSERT_TRUE(std::regex_search(logged[0], found, std::regex("Failed to make complete framebuffer object ([0-9a-f]+)$")));
  EXPECT_NE(std::stoul(found[1].str(), nullptr, 16), static_cast<unsigned long>(GL_FRAMEBUFFER_COMPLETE));
  core::setLogSink(previous);
}

TEST_F(GLTransitionViewTest, GoingAwayDeletesItsGLObjectsAndStopsItsClock) {
  auto source = ui::View::create(gfx::Rect(0, 0, 20, 20));
  view->createBeginTextureWithView(*source);
  view->createEndTextureWithView(*source);
  view->startAnimation();
  frames(1);
  const std::shared_ptr<gl::Context> context = view->context();
  const GLuint textures[] = {view->beginTexture(), view->endTexture()};
  const GLuint framebuffer = view->defaultFramebuffer();
  const GLuint renderbuffers[] = {view->colorRenderbuffer(), view->depthRenderbuffer()};

  view.reset();
  EXPECT_EQ(gl::Context::currentContext(), nullptr);
  frames(3);
  EXPECT_EQ(transition->steps.size(), 1u);

  ASSERT_TRUE(gl::Context::setCurrentContext(context));
  for (GLuint texture : textures) EXPECT_FALSE(glIsTexture(texture));
  EXPECT_FALSE(glIsFramebuffer(framebuffer));
  for (GLuint renderbuffer : renderbuffers) EXPECT_FALSE(glIsRenderbuffer(renderbuffer));
  gl::Context::setCurrentContext(nullptr);
}

}  // namespace
