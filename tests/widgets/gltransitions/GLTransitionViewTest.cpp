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
#include "platform/gl/EAGLLayer.h"
#include "support/UiHarness.h"

namespace {

constexpr double Frame = 1.0 / 60;

struct RecordingDelegate : kt::GLTransitionViewDelegate {
  int finished = 0;
  void transitionViewDidFinishTransition(kt::GLTransitionView&) override { ++finished; }
};

// A view of `size` whose top part (down to `split` points) is `top` and the rest `bottom`.
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

  // The texture's size and its pixels as R, G, B, A bytes, first row first.
  struct TextureData {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;
    uint32_t rgba(int x, int y) const {
      const uint8_t* p = &bytes[(static_cast<size_t>(y) * width + x) * 4];
      return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    }
  };
  TextureData read(GLuint texture) {
    gl::Context::setCurrentContext(view->context());
    TextureData data;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &data.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &data.height);
    data.bytes.resize(static_cast<size_t>(data.width) * data.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, data.bytes.data());
    return data;
  }
  void expectCoords(float x0, float y0, float x3, float y3) {
    const kt::GLTexCoords& c = transition->basicTexCoords();
    EXPECT_FLOAT_EQ(c.x0, x0);
    EXPECT_FLOAT_EQ(c.y0, y0);
    EXPECT_FLOAT_EQ(c.x1, x3);
    EXPECT_FLOAT_EQ(c.y1, y0);
    EXPECT_FLOAT_EQ(c.x2, x0);
    EXPECT_FLOAT_EQ(c.y2, y3);
    EXPECT_FLOAT_EQ(c.x3, x3);
    EXPECT_FLOAT_EQ(c.y3, y3);
  }

  std::shared_ptr<support::CountingTransition> transition = std::make_shared<support::CountingTransition>();
  RecordingDelegate delegate;
  std::shared_ptr<kt::GLTransitionView> view = kt::GLTransitionView::create(gfx::Rect(0, 0, 100, 50));
};

TEST_F(GLTransitionViewTest, IsAnOpaqueGLViewOnePixelPerPoint) {
  ASSERT_TRUE(view->context());
  EXPECT_TRUE(view->isOpaque());
  EXPECT_TRUE(view->eaglLayer()->isOpaque());
  EXPECT_FALSE(view->eaglLayer()->drawableProperties().retainedBacking);
  EXPECT_EQ(view->eaglLayer()->drawableProperties().colorFormat, gl::ColorFormatRGBA8);
  EXPECT_EQ(view->eaglLayer()->contentsScale(), 1);
  EXPECT_EQ(view->animationFrameInterval(), 1);
  EXPECT_FALSE(view->isAnimating());
  // Set up at once, at the view's size.
  EXPECT_NE(view->defaultFramebuffer(), 0u);
  EXPECT_EQ(view->backingWidth(), 100);
  EXPECT_EQ(view->backingHeight(), 50);
}

TEST_F(GLTransitionViewTest, TexturesArePowersOfTwoAndCoordinatesCoverTheSnapshot) {
  auto tall = twoColours({320, 480}, 240, gfx::Color::red(), gfx::Color::blue());
  EXPECT_TRUE(view->createBeginTextureWithView(*tall));
  const GLuint begin = view->beginTexture();
  ASSERT_NE(begin, 0u);
  TextureData data = read(begin);
  EXPECT_EQ(data.width, 512);
  EXPECT_EQ(data.height, 512);
  EXPECT_FLOAT_EQ(view->textureWidthNormalized(), 0.625f);
  EXPECT_FLOAT_EQ(view->textureHeightNormalized(), 0.9375f);
  expectCoords(0, 0.0625f, 0.625f, 1);

  // The texture is reused for the next snapshot, at that one's size.
  auto small = ui::View::create(gfx::Rect(0, 0, 10, 10));
  EXPECT_TRUE(view->createBeginTextureWithView(*small));
  EXPECT_EQ(view->beginTexture(), begin);
  data = read(begin);
  EXPECT_EQ(data.width, 16);
  EXPECT_EQ(data.height, 16);
  expectCoords(0, 0.375f, 0.625f, 1);

  // Just past a power of two, and exactly the largest side.
  auto odd = ui::View::create(gfx::Rect(0, 0, 17, 1024));
  view->createEndTextureWithView(*odd);
  data = read(view->endTexture());
  EXPECT_EQ(data.width, 32);
  EXPECT_EQ(data.height, 1024);
  EXPECT_FLOAT_EQ(view->textureHeightNormalized(), 1);

  // A quarter turn: the frame is 320 x 480, the picture 480 x 320, so width and height swap.
  auto turned = ui::View::create(gfx::Rect(0, 0, 480, 320));
  turned->setTransform(gfx::AffineTransform::make(0, 1, -1, 0, 0, 0));
  ASSERT_DOUBLE_EQ(turned->frame().width(), 320);
  view->createEndTextureWithView(*turned);
  EXPECT_FLOAT_EQ(view->textureWidthNormalized(), 0.625f);
  EXPECT_FLOAT_EQ(view->textureHeightNormalized(), 0.9375f);
  expectCoords(0, 0.375f, 0.9375f, 1);
}

TEST_F(GLTransitionViewTest, SnapshotLiesUpsideDownAtTheBottomOfTheTexture) {
  // 40 x 30: red above y = 15, blue below, in a 64 x 32 texture.
  auto source = twoColours({40, 30}, 15, gfx::Color::red(), gfx::Color::blue());
  const auto image = view->createBeginTextureWithView(*source);
  const TextureData data = read(view->beginTexture());
  ASSERT_EQ(data.width, 64);
  ASSERT_EQ(data.height, 32);
  constexpr uint32_t Red = 0xFF0000FF, Blue = 0x0000FFFF;
  // Rows below H - h stay empty; the view's bottom row is row 2, its top row the last.
  EXPECT_EQ(data.rgba(10, 0), 0u);
  EXPECT_EQ(data.rgba(10, 1), 0u);
  EXPECT_EQ(data.rgba(10, 2), Blue);
  EXPECT_EQ(data.rgba(10, 16), Blue);
  EXPECT_EQ(data.rgba(10, 17), Red);
  EXPECT_EQ(data.rgba(39, 31), Red);
  EXPECT_EQ(data.rgba(40, 20), 0u);
  EXPECT_EQ(data.rgba(63, 31), 0u);

  // The image is the same bitmap: the view upside down at its bottom left, one pixel per point.
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 64);
  EXPECT_EQ(image->pixelHeight(), 32);
  EXPECT_EQ(image->scale(), 1);
  EXPECT_EQ(image->pixelAt(10, 1), 0u);
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
  const TextureData data = read(view->beginTexture());
  EXPECT_EQ(data.width, 1024);
  EXPECT_EQ(data.height, 1024);
  EXPECT_FLOAT_EQ(view->textureWidthNormalized(), 1);
  EXPECT_FLOAT_EQ(view->textureHeightNormalized(), 1);
  expectCoords(0, 0, 1, 1);
  // 1356 points in, scaled by 1024 / 1366, is texel 1016.5.
  EXPECT_EQ(data.rgba(1023, 500), 0x00FF00FFu);
  EXPECT_EQ(data.rgba(1018, 500), 0x00FF00FFu);
  EXPECT_EQ(data.rgba(1014, 500), 0xFFFFFFFFu);
  // The overlay image keeps the view's own size.
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 1366);
  EXPECT_EQ(image->pixelHeight(), 1024);
  EXPECT_EQ(image->pixelAt(1360, 500), 0xFF00FF00u);

  // Too tall: only the height is scaled.
  auto tall = ui::View::create(gfx::Rect(0, 0, 100, 1500));
  view->createEndTextureWithView(*tall);
  EXPECT_EQ(read(view->endTexture()).height, 1024);
  EXPECT_FLOAT_EQ(view->textureWidthNormalized(), 100.0f / 128);
  EXPECT_FLOAT_EQ(view->textureHeightNormalized(), 1);
}

TEST_F(GLTransitionViewTest, TexturesGoIntoTheViewsOwnContext) {
  auto other = gl::Context::create(gl::RenderingAPI::OpenGLES1);
  ASSERT_TRUE(gl::Context::setCurrentContext(other));
  auto source = twoColours({20, 20}, 10, gfx::Color::red(), gfx::Color::blue());
  view->createEndTextureWithView(*source);
  ASSERT_TRUE(gl::Context::setCurrentContext(other));
  EXPECT_FALSE(glIsTexture(view->endTexture()));
  EXPECT_EQ(read(view->endTexture()).width, 32);
}

TEST_F(GLTransitionViewTest, FirstFrameStepsByZeroThenByTheClockCappedAtTheLimit) {
  view->reset();
  EXPECT_TRUE(view->isHidden());
  view->startAnimation();
  ASSERT_TRUE(view->isAnimating());
  frames(3);
  ASSERT_EQ(transition->steps.size(), 3u);
  EXPECT_FALSE(view->isHidden());
  EXPECT_EQ(transition->inits, 1);
  EXPECT_EQ(transition->steps[0], 0);
  EXPECT_NEAR(transition->steps[1], Frame, 1e-6);
  EXPECT_NEAR(transition->steps[2], Frame, 1e-6);
  EXPECT_EQ(view->framesCount(), 3);

  // A stall of 0.2 s counts as the float 0.05.
  core::Clock::advance(0.2);
  wait(0);
  ASSERT_EQ(transition->steps.size(), 4u);
  EXPECT_EQ(transition->steps[3], static_cast<double>(0.05f));
  EXPECT_EQ(transition->inits, 1);
  EXPECT_EQ(transition->draws, 4);

  // After a reset the next frame starts over.
  view->reset();
  frames(1);
  EXPECT_EQ(transition->inits, 2);
  EXPECT_EQ(transition->steps.back(), 0);
  EXPECT_EQ(delegate.finished, 0);
}

TEST_F(GLTransitionViewTest, FrameIntervalChangesTheRateWithoutEndingTheTransition) {
  view->setAnimationFrameInterval(0);
  EXPECT_EQ(view->animationFrameInterval(), 1);
  view->startAnimation();
  frames(4);
  EXPECT_EQ(transition->steps.size(), 4u);

  view->setAnimationFrameInterval(2);
  EXPECT_EQ(view->animationFrameInterval(), 2);
  EXPECT_TRUE(view->isAnimating());
  frames(10);
  EXPECT_EQ(transition->steps.size(), 9u);
  EXPECT_NEAR(transition->steps.back(), 2 * Frame, 1e-6);
  EXPECT_EQ(transition->inits, 1);
  EXPECT_EQ(delegate.finished, 0);

  view->setAnimationFrameInterval(-3);
  EXPECT_EQ(view->animationFrameInterval(), 2);
}

TEST_F(GLTransitionViewTest, StoppingTellsTheDelegateOnce) {
  // Nothing starts without a transition.
  view->setTransition(nullptr);
  view->startAnimation();
  EXPECT_FALSE(view->isAnimating());
  view->setTransition(transition);

  view->startAnimation();
  view->startAnimation();
  frames(2);
  EXPECT_EQ(transition->steps.size(), 2u);
  view->stopAnimation();
  view->stopAnimation();
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_FALSE(view->isAnimating());
  frames(3);
  EXPECT_EQ(transition->steps.size(), 2u);

  // A transition that finishes stops the view on the frame it finishes, drawn last.
  view->reset();
  transition->finishAfter = 5;
  view->startAnimation();
  frames(10);
  EXPECT_EQ(transition->steps.size(), 5u);
  EXPECT_EQ(transition->draws, 5);
  EXPECT_EQ(delegate.finished, 2);
  EXPECT_FALSE(view->isAnimating());
}

TEST_F(GLTransitionViewTest, DelegateMayStartTheNextAnimation) {
  struct Restarter : kt::GLTransitionViewDelegate {
    int finished = 0;
    void transitionViewDidFinishTransition(kt::GLTransitionView& view) override {
      if (++finished == 1) {
        view.reset();
        view.startAnimation();
      }
    }
  } restarter;
  view->setDelegate(restarter.weakPtr());
  transition->finishAfter = 1;
  view->startAnimation();
  frames(1);
  EXPECT_TRUE(view->isAnimating());
  frames(1);
  EXPECT_EQ(restarter.finished, 2);
  EXPECT_EQ(transition->inits, 2);
  EXPECT_FALSE(view->isAnimating());
}

TEST_F(GLTransitionViewTest, FramebufferFollowsTheViewsSizeAfterALayout) {
  std::vector<std::string> logged;
  const core::LogSink previous = core::setLogSink([&](const std::string& line) { logged.push_back(line); });

  view->setFrame(gfx::Rect(0, 0, 200, 80));
  view->layoutSubviews();
  EXPECT_EQ(view->defaultFramebuffer(), 0u);
  EXPECT_EQ(view->colorRenderbuffer(), 0u);
  EXPECT_EQ(view->depthRenderbuffer(), 0u);
  view->drawView();
  EXPECT_NE(view->defaultFramebuffer(), 0u);
  EXPECT_EQ(view->backingWidth(), 200);
  EXPECT_EQ(view->backingHeight(), 80);
  // The frame went into the layer at that size.
  const auto shown = view->layer()->contents();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->pixelWidth(), 200);
  EXPECT_EQ(shown->pixelHeight(), 80);
  EXPECT_EQ(shown->pixelAt(199, 79), 0xFF00FF00u);
  EXPECT_TRUE(logged.empty());

  // An empty view cannot have a complete framebuffer: that is logged, and frames go on.
  view->setFrame(gfx::Rect(0, 0, 0, 0));
  view->layoutSubviews();
  view->drawView();
  EXPECT_EQ(view->backingWidth(), 0);
  EXPECT_EQ(transition->draws, 2);
  EXPECT_EQ(view->framesCount(), 2);
  ASSERT_EQ(logged.size(), 1u);
  std::smatch found;
  ASSERT_TRUE(std::regex_search(logged[0], found, std::regex("Failed to make complete framebuffer object ([0-9a-f]+)$")))
      << logged[0];
  const unsigned long status = std::stoul(found[1].str(), nullptr, 16);
  EXPECT_NE(status, static_cast<unsigned long>(GL_FRAMEBUFFER_COMPLETE));
  EXPECT_NE(status, 0ul);
  view->drawView();
  EXPECT_EQ(transition->draws, 3);

  core::setLogSink(previous);
}

TEST_F(GLTransitionViewTest, GoingAwayDeletesItsGLObjectsAndStopsItsClock) {
  auto source = twoColours({20, 20}, 10, gfx::Color::red(), gfx::Color::blue());
  view->createBeginTextureWithView(*source);
  view->createEndTextureWithView(*source);
  view->startAnimation();
  frames(1);
  ASSERT_EQ(transition->steps.size(), 1u);
  const std::shared_ptr<gl::Context> context = view->context();
  const GLuint textures[] = {view->beginTexture(), view->endTexture()};
  const GLuint framebuffer = view->defaultFramebuffer();
  const GLuint renderbuffers[] = {view->colorRenderbuffer(), view->depthRenderbuffer()};

  view.reset();
  EXPECT_EQ(gl::Context::currentContext(), nullptr);
  frames(3);
  EXPECT_EQ(transition->steps.size(), 1u);
  EXPECT_EQ(delegate.finished, 0);

  ASSERT_TRUE(gl::Context::setCurrentContext(context));
  for (GLuint texture : textures) EXPECT_FALSE(glIsTexture(texture)) << texture;
  EXPECT_FALSE(glIsFramebuffer(framebuffer));
  for (GLuint renderbuffer : renderbuffers) EXPECT_FALSE(glIsRenderbuffer(renderbuffer)) << renderbuffer;
  gl::Context::setCurrentContext(nullptr);
}

}  // namespace
