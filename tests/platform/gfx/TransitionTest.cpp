#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "platform/core/Clock.h"
#include "platform/gfx/Animation.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Transaction.h"
#include "support/RunUntil.h"

namespace gfx {
namespace {

struct Px {
  int a, r, g, b;
};

Px unpack(uint32_t v) { return {int(v >> 24), int((v >> 16) & 255), int((v >> 8) & 255), int(v & 255)}; }

Px pixel(const Compositor& c, int x, int y) {
  cairo_surface_t* s = c.surface();
  cairo_surface_flush(s);
  const unsigned char* row = cairo_image_surface_get_data(s) + static_cast<size_t>(y) * cairo_image_surface_get_stride(s);
  return unpack(reinterpret_cast<const uint32_t*>(row)[x]);
}

// Premultiplied channels within a couple of steps of rounding.
::testing::AssertionResult near(Px p, Px want) {
  auto off = [](int x, int y) { return std::abs(x - y) > 2; };
  if (off(p.a, want.a) || off(p.r, want.r) || off(p.g, want.g) || off(p.b, want.b))
    return ::testing::AssertionFailure() << "pixel (" << p.a << "," << p.r << "," << p.g << "," << p.b << ") want (" << want.a
                                         << "," << want.r << "," << want.g << "," << want.b << ")";
  return ::testing::AssertionSuccess();
}

const Px kRed{255, 255, 0, 0}, kGreen{255, 0, 255, 0}, kBlue{255, 0, 0, 255}, kClear{0, 0, 0, 0};

std::shared_ptr<TransitionAnimation> transition(TransitionAnimation::Type type, std::string subtype = "", double duration = 1) {
  auto t = TransitionAnimation::make(type);
  t->subtype = std::move(subtype);
  t->duration = duration;
  return t;
}

// A 100x100 window with one 40x40 layer at (10, 10) and changes made without implicit actions.
class TransitionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Transaction::begin();
    Transaction::setDisableActions(true);
    m_root->setFrame(Rect(0, 0, 100, 100));
    m_layer->setFrame(Rect(10, 10, 40, 40));
    m_layer->setBackgroundColor(Color::red());
    m_root->addSublayer(m_layer);
  }
  // Ends the turn: animations added in it begin once it commits (the test holds no display).
  void endTurn() {
    Transaction::commit();
    Transaction::begin();
    Transaction::setDisableActions(true);
  }
  void TearDown() override {
    Transaction::commit();
    Transaction::flush();
    support::drainMainLoop();
  }
  // Makes the layer red on its left half and green on its right half.
  void twoTone() {
    m_half->setFrame(Rect(20, 0, 20, 40));
    m_half->setBackgroundColor(Color::green());
    m_layer->addSublayer(m_half);
  }
  // The new look: blue all over.
  void becomeBlue() {
    m_layer->setBackgroundColor(Color::blue());
    m_half->removeFromSuperlayer();
  }

  support::VirtualClock m_clock;
  Compositor m_comp{{100, 100}, 1};
  std::shared_ptr<Layer> m_root = Layer::create();
  std::shared_ptr<Layer> m_layer = Layer::create();
  std::shared_ptr<Layer> m_half = Layer::create();
};

TEST_F(TransitionTest, FadeBlendsOldAndNewWhicheverOrderTheChangeAndTheAdditionCome) {
  for (bool changeFirst : {true, false}) {
    SCOPED_TRACE(changeFirst ? "change, then add" : "add, then change");
    m_layer->setBackgroundColor(Color::red());
    m_comp.renderFrame(m_root);
    ASSERT_TRUE(near(pixel(m_comp, 30, 30), kRed));
    if (changeFirst) m_layer->setBackgroundColor(Color::blue());
    m_layer->addAnimation(transition(TransitionAnimation::Type::Fade), "fade");
    if (!changeFirst) m_layer->setBackgroundColor(Color::blue());
    endTurn();
    m_comp.renderFrame(m_root);
    EXPECT_TRUE(near(pixel(m_comp, 30, 30), kRed));  // nothing has moved yet
    core::Clock::advance(0.25);
    m_comp.renderFrame(m_root);
    EXPECT_TRUE(near(pixel(m_comp, 30, 30), {255, 191, 0, 64}));
    core::Clock::advance(0.25);
    m_comp.renderFrame(m_root);
    EXPECT_TRUE(near(pixel(m_comp, 30, 30), {255, 128, 0, 128}));
    EXPECT_TRUE(near(pixel(m_comp, 5, 5), kClear));
    m_layer->removeAnimation("fade");
  }
}

TEST_F(TransitionTest, FadeFollowsTheTimingFunctionAndCoversChangedSublayersAndRedrawnContent) {
  struct Painter : LayerDelegate {
    Color color = Color::red();
    void drawLayer(Layer&, Context& ctx) override {
      ctx.setFillColor(color);
      ctx.fillRect(Rect(0, 0, 20, 20));
    }
  } painter;
  auto drawn = Layer::create();
  drawn->setFrame(Rect(0, 0, 20, 20));
  drawn->setDelegate(&painter);
  drawn->setNeedsDisplay();
  twoTone();
  m_layer->addSublayer(drawn);
  m_comp.renderFrame(m_root);
  ASSERT_TRUE(near(pixel(m_comp, 15, 15), kRed));
  ASSERT_TRUE(near(pixel(m_comp, 45, 30), kGreen));

  // Redrawn content, a removed sublayer, a new one.
  painter.color = Color::blue();
  drawn->setNeedsDisplay();
  m_half->removeFromSuperlayer();
  m_half.reset();
  auto blue = Layer::create();
  blue->setFrame(Rect(20, 0, 20, 40));
  blue->setBackgroundColor(Color::blue());
  m_layer->addSublayer(blue);
  auto t = transition(TransitionAnimation::Type::Fade);
  t->timingFunction = TimingFunction::named(TimingFunction::Name::EaseIn);
  m_layer->addAnimation(t, "fade");
  endTurn();
  core::Clock::advance(0.5);
  m_comp.renderFrame(m_root);
  const double p = TimingFunction::named(TimingFunction::Name::EaseIn).evaluate(0.5);
  const int in = static_cast<int>(p * 255 + 0.5), out = 255 - in;
  EXPECT_TRUE(near(pixel(m_comp, 15, 15), {255, out, 0, in}));
  EXPECT_TRUE(near(pixel(m_comp, 45, 30), {255, 0, out, in}));
  EXPECT_TRUE(near(pixel(m_comp, 25, 40), kRed));  // red before and after
  drawn->setDelegate(nullptr);
}

TEST_F(TransitionTest, SlidingTypesPlaceOldAndNewMidWay) {
  using Type = TransitionAnimation::Type;
  struct Case {
    Type type;
    const char* subtype;
    Px left, right;  // at x 20 and 40 (the layer spans 10..50)
  };
  // Old: red left half, green right half. New: blue.
  const Case horizontal[] = {
      {Type::MoveIn, "fromLeft", kBlue, kGreen},  // the new covers the left half, the old stays
      {Type::MoveIn, "", kBlue, kGreen},          // left by default
      {Type::MoveIn, "fromRight", kRed, kBlue},
      {Type::Push, "fromLeft", kBlue, kRed},      // the old's left half pushed to the right
      {Type::Push, "fromRight", kGreen, kBlue},
      {Type::Reveal, "fromLeft", kBlue, kRed},    // the old slides right, the new stays put
      {Type::Reveal, "fromRight", kGreen, kBlue},
  };
  for (const Case& c : horizontal) {
    SCOPED_TRACE(testing::Message() << int(c.type) << " " << c.subtype);
    m_layer->setBackgroundColor(Color::red());
    twoTone();
    m_comp.renderFrame(m_root);
    becomeBlue();
    m_layer->addAnimation(transition(c.type, c.subtype), "t");
    endTurn();
    core::Clock::advance(0.5);
    m_comp.renderFrame(m_root);
    EXPECT_TRUE(near(pixel(m_comp, 20, 30), c.left));
    EXPECT_TRUE(near(pixel(m_comp, 40, 30), c.right));
    EXPECT_TRUE(near(pixel(m_comp, 5, 30), kClear));  // kept within the bounds
    EXPECT_TRUE(near(pixel(m_comp, 55, 30), kClear));
    m_layer->removeAnimation("t");
  }

  // Vertical: old red on top of green below (a sublayer on the lower half), new blue.
  struct VCase {
    Type type;
    const char* subtype;
    Px top, bottom;  // at y 20 and 40
  };
  const VCase vertical[] = {
      {Type::MoveIn, "fromTop", kBlue, kGreen},
      {Type::MoveIn, "fromBottom", kRed, kBlue},
      {Type::Push, "fromBottom", kGreen, kBlue},
      {Type::Reveal, "fromTop", kBlue, kRed},
  };
  for (const VCase& c : vertical) {
    SCOPED_TRACE(testing::Message() << int(c.type) << " " << c.subtype);
    m_layer->setBackgroundColor(Color::red());
    m_half->setFrame(Rect(0, 20, 40, 20));
    m_half->setBackgroundColor(Color::green());
    m_layer->addSublayer(m_half);
    m_comp.renderFrame(m_root);
    becomeBlue();
    m_layer->addAnimation(transition(c.type, c.subtype), "t");
    endTurn();
    core::Clock::advance(0.5);
    m_comp.renderFrame(m_root);
    EXPECT_TRUE(near(pixel(m_comp, 30, 20), c.top));
    EXPECT_TRUE(near(pixel(m_comp, 30, 40), c.bottom));
    EXPECT_TRUE(near(pixel(m_comp, 30, 55), kClear));
    m_layer->removeAnimation("t");
  }
}

TEST_F(TransitionTest, EndsOnTheNewLookAndRedrawsTheAreaEveryFrameMeanwhile) {
  twoTone();
  m_comp.renderFrame(m_root);
  becomeBlue();
  int stops = 0;
  bool finished = false;
  auto t = transition(TransitionAnimation::Type::Push, "fromRight");
  t->onStop = [&](bool f) {
    ++stops;
    finished = f;
  };
  m_layer->addAnimation(t, "push");
  endTurn();
  for (int i = 0; i < 3; ++i) {
    core::Clock::advance(0.2);
    EXPECT_TRUE(m_comp.needsFrame(m_root));
    Rect dirty = m_comp.renderFrame(m_root);
    EXPECT_TRUE(dirty.contains(Rect(10, 10, 40, 40))) << i;
  }
  ASSERT_TRUE(support::runUntil([&] { return stops > 0; }));
  EXPECT_TRUE(finished);
  EXPECT_FALSE(m_layer->hasAnimations());
  m_comp.renderFrame(m_root);
  EXPECT_TRUE(near(pixel(m_comp, 12, 30), kBlue));
  EXPECT_TRUE(near(pixel(m_comp, 48, 30), kBlue));
  EXPECT_FALSE(m_comp.needsFrame(m_root));
  EXPECT_EQ(stops, 1);
}

TEST_F(TransitionTest, RemovalStopsUnfinishedAndShowsTheNewLook) {
  m_comp.renderFrame(m_root);
  m_layer->setBackgroundColor(Color::blue());
  int stops = 0;
  bool finished = true;
  auto t = transition(TransitionAnimation::Type::Fade);
  t->onStop = [&](bool f) {
    ++stops;
    finished = f;
  };
  m_layer->addAnimation(t, "fade");
  endTurn();
  core::Clock::advance(0.5);
  m_comp.renderFrame(m_root);
  ASSERT_TRUE(near(pixel(m_comp, 30, 30), {255, 128, 0, 128}));
  m_layer->removeAnimation("fade");
  EXPECT_EQ(stops, 1);
  EXPECT_FALSE(finished);
  Rect dirty = m_comp.renderFrame(m_root);
  EXPECT_TRUE(dirty.contains(Rect(10, 10, 40, 40)));
  EXPECT_TRUE(near(pixel(m_comp, 30, 30), kBlue));
}

TEST_F(TransitionTest, ImmediateRenderingShowsTheTransitionToo) {
  m_comp.renderFrame(m_root);
  m_layer->setBackgroundColor(Color::blue());
  m_layer->addAnimation(transition(TransitionAnimation::Type::MoveIn, "fromTop"), "t");
  endTurn();
  core::Clock::advance(0.5);
  auto ctx = Context::bitmap({40, 40}, 2);
  ASSERT_TRUE(ctx);
  m_layer->renderInContext(*ctx);
  auto img = ctx->makeImage();
  ASSERT_TRUE(img);
  EXPECT_TRUE(near(unpack(img->pixelAt(40, 20)), kBlue));  // top half (device pixels at scale 2)
  EXPECT_TRUE(near(unpack(img->pixelAt(40, 60)), kRed));
  m_layer->removeAnimation("t");

  m_layer->addAnimation(transition(TransitionAnimation::Type::Fade), "t");
  m_layer->setBackgroundColor(Color::green());
  endTurn();
  core::Clock::advance(0.5);
  auto ctx2 = Context::bitmap({40, 40}, 1);
  ASSERT_TRUE(ctx2);
  m_layer->renderInContext(*ctx2);
  // The look last drawn on screen was red: blue was never shown.
  EXPECT_TRUE(near(unpack(ctx2->makeImage()->pixelAt(20, 20)), {255, 128, 128, 0}));
  m_layer->removeAnimation("t");
}

}  // namespace
}  // namespace gfx
