#include "platform/ui/View.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "platform/ui/Event.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Touch.h"
#include "platform/ui/Window.h"

using gfx::Point;
using gfx::Rect;
using gfx::Size;
using ui::View;

using ViewInWindow = uitest::WindowTest;

namespace {

// Records the hierarchy callbacks and layout passes it receives.
class RecordingView : public View {
 public:
  explicit RecordingView(const Rect& frame = Rect(), std::vector<std::string>* log = nullptr)
      : View(frame), m_log(log) {}
  void layoutSubviews() override { ++layouts; }
  void willMoveToSuperview(View* v) override { note(v ? "willMoveToSuperview" : "willMoveToSuperview(null)"); }
  void didMoveToSuperview() override { note("didMoveToSuperview"); }
  void willMoveToWindow(ui::Window* w) override { note(w ? "willMoveToWindow" : "willMoveToWindow(null)"); }
  void didMoveToWindow() override { note("didMoveToWindow"); }
  void didAddSubview(View*) override { note("didAddSubview"); }
  void willRemoveSubview(View*) override { note("willRemoveSubview"); }
  void touchesBegan(const ui::TouchSet& t, const ui::Event* e) override {
    note("touchesBegan");
    View::touchesBegan(t, e);
  }
  int layouts = 0;

 private:
  void note(const std::string& s) {
    if (m_log) m_log->push_back(s);
  }
  std::vector<std::string>* m_log;
};

std::vector<View*> order(const View& v) {
  std::vector<View*> out;
  for (auto& s : v.subviews()) out.push_back(s.get());
  return out;
}

void expectNear(Point p, double x, double y) {
  EXPECT_NEAR(p.x, x, 1e-9);
  EXPECT_NEAR(p.y, y, 1e-9);
}

}  // namespace

TEST(ViewGeometry, FrameBoundsAndCenterFollowEachOther) {
  auto v = View::create(Rect(10, 20, 100, 50));
  EXPECT_EQ(v->frame(), Rect(10, 20, 100, 50));
  EXPECT_EQ(v->bounds(), Rect(0, 0, 100, 50));
  EXPECT_EQ(v->center(), (Point{60, 45}));
  v->setCenter({100, 100});
  EXPECT_EQ(v->frame(), Rect(50, 75, 100, 50));
  v->setBounds(Rect(0, 0, 20, 10));
  EXPECT_EQ(v->frame(), Rect(90, 95, 20, 10));
  // A scale keeps the centre and bounds; the frame grows around the centre.
  v->setTransform(gfx::AffineTransform::scale(2, 3));
  EXPECT_EQ(v->bounds(), Rect(0, 0, 20, 10));
  EXPECT_EQ(v->frame(), Rect(80, 85, 40, 30));
  // The layer holds the same geometry.
  EXPECT_EQ(v->layer()->model().position, (Point{100, 100}));
}

TEST(ViewGeometry, ConvertPointThroughOffsetsBoundsOriginsAndTransforms) {
  auto root = View::create(Rect(0, 0, 500, 500));
  auto a = View::create(Rect(100, 50, 200, 200));
  auto b = View::create(Rect(10, 10, 50, 50));
  root->addSubview(a);
  a->addSubview(b);
  expectNear(b->convertPointTo({0, 0}, root.get()), 110, 60);
  expectNear(root->convertPointTo({110, 60}, b.get()), 0, 0);
  expectNear(b->convertPointTo({5, 5}, nullptr), 115, 65);  // null is the root
  expectNear(b->convertPointFrom({115, 65}, nullptr), 5, 5);

  // A scrolled superview: its bounds origin shifts what it shows.
  a->setBounds(Rect(0, 30, 200, 200));
  expectNear(b->convertPointTo({0, 0}, root.get()), 110, 30);

  // A rotation of a by 90° about its centre (200, 150 in root): its local (0, 30) corner, 100
  // left of and 100 above the centre, lands 100 right of and 100 above it.
  a->setTransform(gfx::AffineTransform::rotation(M_PI / 2));
  expectNear(a->convertPointTo({0, 30}, root.get()), 300, 50);
  expectNear(root->convertPointTo({300, 50}, a.get()), 0, 30);
  Rect r = a->convertRectTo(Rect(0, 30, 200, 100), root.get());
  EXPECT_NEAR(r.x(), 200, 1e-9);
  EXPECT_NEAR(r.y(), 50, 1e-9);
  EXPECT_NEAR(r.width(), 100, 1e-9);
  EXPECT_NEAR(r.height(), 200, 1e-9);

  // Siblings in one tree.
  auto c = View::create(Rect(400, 400, 10, 10));
  root->addSubview(c);
  Point viaRoot = root->convertPointTo(b->convertPointTo({1, 2}, root.get()), c.get());
  expectNear(b->convertPointTo({1, 2}, c.get()), viaRoot.x, viaRoot.y);
}

TEST(ViewHierarchy, SubviewOrderOperations) {
  auto root = View::create();
  auto a = View::create(), b = View::create(), c = View::create(), d = View::create();
  root->addSubview(a);
  root->addSubview(b);
  root->addSubview(c);
  EXPECT_EQ(order(*root), (std::vector<View*>{a.get(), b.get(), c.get()}));
  root->insertSubview(d, 1);
  EXPECT_EQ(order(*root), (std::vector<View*>{a.get(), d.get(), b.get(), c.get()}));
  root->bringSubviewToFront(a.get());
  EXPECT_EQ(order(*root), (std::vector<View*>{d.get(), b.get(), c.get(), a.get()}));
  root->sendSubviewToBack(c.get());
  EXPECT_EQ(order(*root), (std::vector<View*>{c.get(), d.get(), b.get(), a.get()}));
  root->exchangeSubviews(0, 3);
  EXPECT_EQ(order(*root), (std::vector<View*>{a.get(), d.get(), b.get(), c.get()}));
  root->insertSubviewAbove(a, b.get());
  EXPECT_EQ(order(*root), (std::vector<View*>{d.get(), b.get(), a.get(), c.get()}));
  root->insertSubviewBelow(c, d.get());
  EXPECT_EQ(order(*root), (std::vector<View*>{c.get(), d.get(), b.get(), a.get()}));
  // Adding again brings to the front; the layers keep the same order.
  root->addSubview(d);
  EXPECT_EQ(order(*root), (std::vector<View*>{c.get(), b.get(), a.get(), d.get()}));
  std::vector<gfx::Layer*> layers;
  for (auto& l : root->layer()->sublayers()) layers.push_back(l.get());
  EXPECT_EQ(layers, (std::vector<gfx::Layer*>{c->layer().get(), b->layer().get(), a->layer().get(), d->layer().get()}));

  b->removeFromSuperview();
  EXPECT_EQ(b->superview(), nullptr);
  EXPECT_EQ(b->layer()->superlayer(), nullptr);
  EXPECT_EQ(order(*root), (std::vector<View*>{c.get(), a.get(), d.get()}));

  // Moving to another superview takes it out of the first.
  auto other = View::create();
  other->addSubview(a);
  EXPECT_EQ(a->superview(), other.get());
  EXPECT_EQ(order(*root), (std::vector<View*>{c.get(), d.get()}));
  EXPECT_TRUE(a->isDescendantOf(other.get()));
  EXPECT_FALSE(a->isDescendantOf(root.get()));
  // A view cannot become its own descendant's subview.
  a->addSubview(other);
  EXPECT_EQ(other->superview(), nullptr);
}

TEST(ViewHierarchy, ViewWithTagIsDepthFirstSelfFirst) {
  auto root = View::create();
  auto a = View::create(), a1 = View::create(), b = View::create();
  root->addSubview(a);
  a->addSubview(a1);
  root->addSubview(b);
  a1->setTag(7);
  b->setTag(7);
  EXPECT_EQ(root->viewWithTag(7).get(), a1.get());
  root->setTag(7);
  EXPECT_EQ(root->viewWithTag(7).get(), root.get());
  EXPECT_EQ(root->viewWithTag(99), nullptr);
  EXPECT_EQ(b->viewWithTag(0), nullptr);
}

TEST_F(ViewInWindow, MovingCallbacksComeInOrder) {
  std::vector<std::string> log;
  auto parent = std::make_shared<RecordingView>(Rect(), &log);
  auto child = std::make_shared<RecordingView>(Rect(), &log);
  window->addSubview(parent);
  log.clear();
  parent->addSubview(child);
  EXPECT_EQ(log, (std::vector<std::string>{"willMoveToSuperview", "willMoveToWindow", "didMoveToWindow",
                                           "didMoveToSuperview", "didAddSubview"}));
  EXPECT_EQ(child->window(), window.get());
  log.clear();
  child->removeFromSuperview();
  EXPECT_EQ(log, (std::vector<std::string>{"willMoveToSuperview(null)", "willMoveToWindow(null)", "willRemoveSubview",
                                           "didMoveToWindow", "didMoveToSuperview"}));
  EXPECT_EQ(child->window(), nullptr);
  // Outside any window there are no window callbacks.
  auto loose = View::create();
  log.clear();
  loose->addSubview(child);
  EXPECT_EQ(log, (std::vector<std::string>{"willMoveToSuperview", "didMoveToSuperview"}));
}

TEST_F(ViewInWindow, HitTestingSkipsHiddenTransparentAndNonInteractiveViews) {
  auto back = View::create(Rect(0, 0, 300, 300));
  auto front = View::create(Rect(50, 50, 100, 100));
  auto inner = View::create(Rect(10, 10, 20, 20));
  window->addSubview(back);
  back->addSubview(front);
  front->addSubview(inner);
  EXPECT_EQ(window->hitTest({65, 65}, nullptr).get(), inner.get());
  EXPECT_EQ(window->hitTest({100, 100}, nullptr).get(), front.get());
  EXPECT_EQ(window->hitTest({10, 10}, nullptr).get(), back.get());
  EXPECT_EQ(window->hitTest({500, 500}, nullptr).get(), window.get());

  inner->setHidden(true);
  EXPECT_EQ(window->hitTest({65, 65}, nullptr).get(), front.get());
  front->setAlpha(0.005);
  EXPECT_EQ(window->hitTest({65, 65}, nullptr).get(), back.get());
  front->setAlpha(0.01);
  EXPECT_EQ(window->hitTest({65, 65}, nullptr).get(), front.get());
  front->setUserInteractionEnabled(false);
  inner->setHidden(false);
  // The whole subtree goes with a view that takes no interaction.
  EXPECT_EQ(window->hitTest({65, 65}, nullptr).get(), back.get());

  // A subview sticking out of its superview is not hit outside the superview.
  front->setUserInteractionEnabled(true);
  auto outside = View::create(Rect(90, 90, 50, 50));
  front->addSubview(outside);
  EXPECT_EQ(window->hitTest({145, 145}, nullptr).get(), outside.get());
  EXPECT_EQ(window->hitTest({175, 175}, nullptr).get(), back.get());

  // Through a transform: a view scaled up twice about its centre takes points it covers.
  auto scaled = View::create(Rect(400, 400, 20, 20));
  window->addSubview(scaled);
  scaled->setTransform(gfx::AffineTransform::scale(2, 2));
  EXPECT_EQ(window->hitTest({395, 395}, nullptr).get(), scaled.get());
}

TEST_F(ViewInWindow, TouchesGoToTheHitViewAndUpTheResponderChain) {
  std::vector<std::string> log;
  auto parent = std::make_shared<RecordingView>(Rect(0, 0, 200, 200), &log);
  auto child = std::make_shared<RecordingView>(Rect(50, 50, 50, 50), &log);
  window->addSubview(parent);
  parent->addSubview(child);
  log.clear();
  auto touch = window->beginTouch({60, 70});
  // The child does not handle it itself, so its superview also sees it.
  EXPECT_EQ(log, (std::vector<std::string>{"touchesBegan", "touchesBegan"}));
  EXPECT_EQ(touch->view().get(), child.get());
  EXPECT_EQ(touch->window(), window.get());
  expectNear(touch->locationInView(child.get()), 10, 20);
  window->moveTouch(touch, {65, 90});
  expectNear(touch->previousLocationInView(child.get()), 10, 20);
  expectNear(touch->locationInView(nullptr), 65, 90);
  window->endTouch(touch);
  EXPECT_EQ(touch->phase(), ui::TouchPhase::Ended);
  EXPECT_EQ(child->nextResponder(), parent.get());
  EXPECT_EQ(window->nextResponder(), &ui::Application::shared());

  // A quick second touch at the same place counts as a double tap.
  auto second = window->beginTouch({61, 71});
  EXPECT_EQ(second->tapCount(), 2);
  window->endTouch(second);
}

TEST(ViewAutoresizing, EachMaskDistributesTheChange) {
  struct Case {
    unsigned mask;
    Rect expected;
  };
  // The superview grows from 100 x 100 to 200 x 160; the subview starts at (10, 20, 30, 40), so its
  // margins are 10 / 60 across and 20 / 40 down.
  const Case cases[] = {
      {ui::AutoresizingNone, Rect(10, 20, 30, 40)},
      {ui::AutoresizingFlexibleLeftMargin, Rect(110, 20, 30, 40)},
      {ui::AutoresizingFlexibleWidth, Rect(10, 20, 130, 40)},
      {ui::AutoresizingFlexibleRightMargin, Rect(10, 20, 30, 40)},
      {ui::AutoresizingFlexibleTopMargin, Rect(10, 80, 30, 40)},
      {ui::AutoresizingFlexibleHeight, Rect(10, 20, 30, 100)},
      {ui::AutoresizingFlexibleBottomMargin, Rect(10, 20, 30, 40)},
      // Shared in proportion: left 10 and right 60 of the 100 extra across.
      {ui::AutoresizingFlexibleLeftMargin | ui::AutoresizingFlexibleRightMargin, Rect(10 + 100.0 * 10 / 70, 20, 30, 40)},
      {ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight, Rect(10, 20, 130, 100)},
      {ui::AutoresizingFlexibleLeftMargin | ui::AutoresizingFlexibleWidth, Rect(10 + 25, 20, 30 + 75, 40)},
      {ui::AutoresizingFlexibleTopMargin | ui::AutoresizingFlexibleHeight | ui::AutoresizingFlexibleBottomMargin,
       Rect(10, 20 + 60.0 * 20 / 100, 30, 40 + 60.0 * 40 / 100)},
  };
  for (const auto& c : cases) {
    auto super = View::create(Rect(0, 0, 100, 100));
    auto sub = View::create(Rect(10, 20, 30, 40));
    super->addSubview(sub);
    sub->setAutoresizingMask(c.mask);
    super->setFrame(Rect(0, 0, 200, 160));
    Rect f = sub->frame();
    EXPECT_NEAR(f.x(), c.expected.x(), 1e-9) << "mask " << c.mask;
    EXPECT_NEAR(f.y(), c.expected.y(), 1e-9) << "mask " << c.mask;
    EXPECT_NEAR(f.width(), c.expected.width(), 1e-9) << "mask " << c.mask;
    EXPECT_NEAR(f.height(), c.expected.height(), 1e-9) << "mask " << c.mask;
  }
  // Switched off, nothing moves; a size never goes below zero.
  auto super = View::create(Rect(0, 0, 100, 100));
  auto sub = View::create(Rect(10, 20, 30, 40));
  super->addSubview(sub);
  sub->setAutoresizingMask(ui::AutoresizingFlexibleWidth);
  super->setAutoresizesSubviews(false);
  super->setBounds(Rect(0, 0, 200, 100));
  EXPECT_EQ(sub->frame(), Rect(10, 20, 30, 40));
  super->setAutoresizesSubviews(true);
  super->setBounds(Rect(0, 0, 80, 100));
  EXPECT_EQ(sub->frame(), Rect(10, 20, 0, 40));
}

TEST_F(ViewInWindow, LayoutRunsOncePerRequestBeforeRendering) {
  auto parent = std::make_shared<RecordingView>(Rect(0, 0, 100, 100));
  auto child = std::make_shared<RecordingView>(Rect(0, 0, 10, 10));
  parent->addSubview(child);
  window->addSubview(parent);
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(parent->layouts, 1);
  EXPECT_EQ(child->layouts, 1);
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(parent->layouts, 1);

  parent->setNeedsLayout();
  parent->setNeedsLayout();
  EXPECT_TRUE(parent->needsLayout());
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(parent->layouts, 2);
  EXPECT_EQ(child->layouts, 1);

  // A change of size asks for layout; the same size does not.
  child->setFrame(Rect(5, 5, 10, 10));
  child->setFrame(Rect(0, 0, 20, 10));
  child->layoutIfNeeded();
  EXPECT_EQ(child->layouts, 2);
  child->layoutIfNeeded();
  EXPECT_EQ(child->layouts, 2);

  // The pass also runs by itself on the next turn of the main run loop.
  parent->setNeedsLayout();
  support::drainMainLoop();
  EXPECT_EQ(parent->layouts, 3);
}

TEST(ViewSizing, SizeToFitUsesSizeThatFits) {
  class Fixed : public View {
   public:
    Size sizeThatFits(Size) const override { return {33, 44}; }
  };
  auto v = std::make_shared<Fixed>();
  v->setFrame(Rect(5, 6, 1, 1));
  v->sizeToFit();
  EXPECT_EQ(v->frame(), Rect(5, 6, 33, 44));
  auto plain = View::create(Rect(1, 2, 3, 4));
  plain->sizeToFit();
  EXPECT_EQ(plain->frame(), Rect(1, 2, 3, 4));
}

TEST_F(ViewInWindow, DrawRectFillsTheLayerContentAndBackgroundShows) {
  class Drawing : public View {
   public:
    using View::View;
    bool drawsContent() const override { return true; }
    void drawRect(gfx::Context& ctx, const Rect&) override {
      ++draws;
      ctx.setFillColor(gfx::Color::red());
      ctx.fillRect(Rect(0, 0, 10, 10));
    }
    int draws = 0;
  };
  auto v = std::make_shared<Drawing>(Rect(0, 0, 40, 20));
  v->setBackgroundColor(gfx::Color::blue());
  window->addSubview(v);
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(v->draws, 1);
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(v->draws, 1);
  v->setNeedsDisplay();
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(v->draws, 2);

  auto image = uitest::render(*v);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelAt(5, 5), 0xFFFF0000u);
  EXPECT_EQ(image->pixelAt(30, 15), 0xFF0000FFu);
}

// Asked to display, a view whose drawing draws nothing makes no bitmap: a plain view (its
// background still shows), an image view (its image still shows), a view whose drawRect is called
// but draws nothing; a view that draws makes one.
TEST_F(ViewInWindow, ViewsThatDrawNothingMakeNoBitmap) {
  class Drawing : public View {
   public:
    using View::View;
    void drawRect(gfx::Context& ctx, const Rect&) override {
      ++draws;
      if (!paint) return;
      ctx.setFillColor(gfx::Color::red());
      ctx.fillRect(Rect(0, 0, 10, 10));
    }
    int draws = 0;
    bool paint = true;
  };
  auto plain = View::create(Rect(0, 0, 40, 20));
  plain->setBackgroundColor(gfx::Color::blue());
  auto image = ui::ImageView::create(Rect(0, 30, 20, 20));
  image->setImage(uitest::solidImage(10, 10, 0xFF00FF00u, 2));
  auto idle = std::make_shared<Drawing>(Rect(50, 0, 20, 20));
  idle->paint = false;
  auto drawing = std::make_shared<Drawing>(Rect(50, 30, 20, 20));
  for (const auto& v : std::vector<std::shared_ptr<View>>{plain, image, idle, drawing}) {
    window->addSubview(v);
    v->setNeedsDisplay();
  }
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(idle->draws, 1);
  EXPECT_EQ(drawing->draws, 1);
  EXPECT_EQ(plain->layer()->drawnContent(), nullptr);
  EXPECT_EQ(image->layer()->drawnContent(), nullptr);
  EXPECT_EQ(idle->layer()->drawnContent(), nullptr);
  ASSERT_NE(drawing->layer()->drawnContent(), nullptr);

  EXPECT_EQ(uitest::render(*plain)->pixelAt(30, 10), 0xFF0000FFu);
  EXPECT_EQ(uitest::render(*image)->pixelAt(10, 10), 0xFF00FF00u);
  EXPECT_EQ(uitest::render(*drawing)->pixelAt(5, 5), 0xFFFF0000u);
  // A view that drew and then draws nothing keeps no bitmap of before.
  drawing->paint = false;
  drawing->setNeedsDisplay();
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(drawing->layer()->drawnContent(), nullptr);
}

TEST_F(ViewInWindow, FirstResponderIsOnePerWindow) {
  class Focusable : public View {
   public:
    bool canBecomeFirstResponder() const override { return true; }
  };
  auto a = std::make_shared<Focusable>(), b = std::make_shared<Focusable>();
  auto plain = View::create();
  window->addSubview(a);
  window->addSubview(b);
  window->addSubview(plain);
  EXPECT_FALSE(plain->becomeFirstResponder());
  EXPECT_TRUE(a->becomeFirstResponder());
  EXPECT_TRUE(a->isFirstResponder());
  EXPECT_TRUE(b->becomeFirstResponder());
  EXPECT_FALSE(a->isFirstResponder());
  EXPECT_EQ(window->firstResponder(), b.get());
  // Removal from the window gives it up.
  b->removeFromSuperview();
  EXPECT_EQ(window->firstResponder(), nullptr);
  // Outside a window nothing can become first responder.
  EXPECT_FALSE(b->becomeFirstResponder());
}
