#include "platform/gfx/Layer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Transaction.h"

namespace gfx {
namespace {

constexpr double kPi = 3.14159265358979323846;

void expectPoint(Point actual, Point expected, double tol = 1e-9) {
  EXPECT_NEAR(actual.x, expected.x, tol);
  EXPECT_NEAR(actual.y, expected.y, tol);
}

void expectRect(const Rect& actual, const Rect& expected, double tol = 1e-9) {
  EXPECT_NEAR(actual.x(), expected.x(), tol);
  EXPECT_NEAR(actual.y(), expected.y(), tol);
  EXPECT_NEAR(actual.width(), expected.width(), tol);
  EXPECT_NEAR(actual.height(), expected.height(), tol);
}

// Layer tests change geometry freely: no implicit animations. The drawing scale a test sets is
// put back however the test ends (a failed ASSERT returns early).
class LayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Transaction::begin();
    Transaction::setDisableActions(true);
  }
  void TearDown() override {
    Transaction::commit();
    Image::setDrawingScale(m_savedDrawingScale);
  }

 private:
  const double m_savedDrawingScale = Image::drawingScale();
};

TEST_F(LayerTest, FrameBoundsPositionAndAnchor) {
  auto l = Layer::create();
  l->setFrame(Rect(10, 20, 100, 50));
  EXPECT_EQ(l->bounds(), Rect(0, 0, 100, 50));
  EXPECT_EQ(l->position(), (Point{60, 45}));
  // Moving the anchor keeps the position, so the frame moves.
  l->setAnchorPoint({0, 0});
  EXPECT_EQ(l->frame(), Rect(60, 45, 100, 50));
  l->setFrame(Rect(0, 0, 20, 10));
  EXPECT_EQ(l->position(), (Point{0, 0}));
  // The bounds origin does not move the frame.
  l->setBounds(Rect(5, 5, 20, 10));
  EXPECT_EQ(l->frame(), Rect(0, 0, 20, 10));
}

TEST_F(LayerTest, FrameUnderATransform) {
  auto l = Layer::create();
  l->setFrame(Rect(0, 0, 100, 50));
  l->setAffineTransform(AffineTransform::scale(2, 2));
  expectRect(l->frame(), Rect(-50, -25, 200, 100));
  // A quarter turn about the centre swaps width and height.
  l->setAffineTransform(AffineTransform::rotation(kPi / 2));
  expectRect(l->frame(), Rect(25, -25, 50, 100));
  // Setting the frame under a pure scale sizes the bounds unscaled.
  l->setAffineTransform(AffineTransform::scale(2, 2));
  l->setFrame(Rect(0, 0, 100, 100));
  EXPECT_EQ(l->bounds().size, (Size{50, 50}));
  EXPECT_EQ(l->position(), (Point{50, 50}));
  expectRect(l->frame(), Rect(0, 0, 100, 100));
  EXPECT_EQ(l->affineTransform(), AffineTransform::scale(2, 2));
}

TEST_F(LayerTest, ConvertPointAcrossATree) {
  auto root = Layer::create();
  root->setFrame(Rect(0, 0, 400, 400));
  auto a = Layer::create();
  a->setFrame(Rect(100, 100, 100, 100));
  auto b = Layer::create();
  b->setFrame(Rect(10, 20, 30, 30));
  root->addSublayer(a);
  a->addSublayer(b);
  expectPoint(b->convertPoint({0, 0}, root.get()), {110, 120});
  expectPoint(b->convertPoint({0, 0}, nullptr), {110, 120});
  expectPoint(root->convertPoint({110, 120}, b.get()), {0, 0});
  expectPoint(b->convertPointFrom({110, 120}, nullptr), {0, 0});

  // A scrolled superlayer (bounds origin) shifts its sublayers.
  a->setBounds(Rect(0, 50, 100, 100));
  expectPoint(b->convertPoint({0, 0}, root.get()), {110, 70});

  // A half turn of `a` about its centre maps b's origin through the centre.
  a->setBounds(Rect(0, 0, 100, 100));
  a->setAffineTransform(AffineTransform::rotation(kPi));
  expectPoint(b->convertPoint({0, 0}, root.get()), {190, 180});
  expectPoint(root->convertPoint({190, 180}, b.get()), {0, 0});

  // Sibling to sibling, and rects.
  auto c = Layer::create();
  c->setFrame(Rect(300, 300, 10, 10));
  root->addSublayer(c);
  expectPoint(c->convertPoint({0, 0}, b.get()), b->convertPointFrom({300, 300}, root.get()));
  expectRect(b->convertRect(Rect(0, 0, 10, 10), root.get()), Rect(180, 170, 10, 10));

  // A sublayer transform of the root (about its centre) applies to everything inside.
  a->setAffineTransform(AffineTransform::identity());
  root->setSublayerTransform(Transform3D::scale(0.5, 0.5, 1));
  expectPoint(a->convertPoint({0, 0}, root.get()), {150, 150});
}

TEST_F(LayerTest, PerspectiveConversionRoundTrips) {
  auto root = Layer::create();
  root->setFrame(Rect(0, 0, 200, 200));
  Transform3D persp;
  persp.m34 = -1.0 / 500;
  root->setSublayerTransform(persp);
  auto card = Layer::create();
  card->setFrame(Rect(50, 50, 100, 100));
  card->setTransform(Transform3D::rotation(0.5, 0, 1, 0));
  root->addSublayer(card);
  Point p = card->convertPoint({20, 30}, root.get());
  // The near edge grows, the far one shrinks: the point is no longer where a flat layer has it.
  EXPECT_GT(std::fabs(p.x - 70), 0.5);
  expectPoint(root->convertPoint(p, card.get()), {20, 30}, 1e-6);
}

TEST_F(LayerTest, HitTesting) {
  auto root = Layer::create();
  root->setFrame(Rect(0, 0, 300, 300));
  auto a = Layer::create();
  a->setFrame(Rect(0, 0, 100, 100));
  auto b = Layer::create();
  b->setFrame(Rect(50, 50, 100, 100));  // overlaps a, above it
  auto inner = Layer::create();
  inner->setFrame(Rect(10, 10, 20, 20));
  root->addSublayer(a);
  root->addSublayer(b);
  b->addSublayer(inner);
  EXPECT_EQ(root->hitTest({10, 10}), a.get());
  EXPECT_EQ(root->hitTest({90, 90}), b.get());  // the later sublayer is in front
  EXPECT_EQ(root->hitTest({65, 65}), inner.get());
  EXPECT_EQ(root->hitTest({200, 250}), root.get());
  EXPECT_EQ(root->hitTest({-1, 5}), nullptr);
  // zPosition brings a to the front.
  a->setZPosition(1);
  EXPECT_EQ(root->hitTest({90, 90}), a.get());
  // Hidden layers are skipped.
  a->setHidden(true);
  EXPECT_EQ(root->hitTest({90, 90}), b.get());
  // Transforms are followed: b turned half round about its centre.
  b->setAffineTransform(AffineTransform::rotation(kPi));
  EXPECT_EQ(root->hitTest({125, 125}), inner.get());
  EXPECT_EQ(root->hitTest({65, 65}), b.get());
}

TEST_F(LayerTest, SublayerOrderAndOwnership) {
  auto root = Layer::create();
  auto a = Layer::create(), b = Layer::create(), c = Layer::create(), d = Layer::create();
  root->addSublayer(a);
  root->addSublayer(b);
  root->insertSublayer(c, 0);
  root->insertSublayerAbove(d, c.get());
  ASSERT_EQ(root->sublayers().size(), 4u);
  EXPECT_EQ(root->sublayers()[0], c);
  EXPECT_EQ(root->sublayers()[1], d);
  EXPECT_EQ(root->sublayers()[2], a);
  EXPECT_EQ(b->superlayer(), root.get());
  // Moving within the same parent.
  root->insertSublayerBelow(b, c.get());
  EXPECT_EQ(root->sublayers()[0], b);
  EXPECT_EQ(root->sublayers().size(), 4u);
  root->insertSublayer(a, 100);
  EXPECT_EQ(root->sublayers().back(), a);
  // Replace keeps the place.
  auto e = Layer::create();
  root->replaceSublayer(c.get(), e);
  EXPECT_EQ(root->sublayers()[1], e);
  EXPECT_EQ(c->superlayer(), nullptr);
  // Adding elsewhere moves it; a layer cannot contain its ancestor.
  auto other = Layer::create();
  other->addSublayer(e);
  EXPECT_EQ(root->sublayers().size(), 3u);
  EXPECT_EQ(e->superlayer(), other.get());
  e->addSublayer(other);
  EXPECT_EQ(other->superlayer(), nullptr);
  // The parent owns: a removed layer with no other owner goes away.
  std::weak_ptr<Layer> weak = d;
  d.reset();
  root->sublayers()[1]->removeFromSuperlayer();
  EXPECT_TRUE(weak.expired());
}

TEST_F(LayerTest, RevisionBumpsOnChanges) {
  auto l = Layer::create();
  uint64_t r = l->revision();
  l->setOpacity(1);  // unchanged
  EXPECT_EQ(l->revision(), r);
  l->setOpacity(0.5);
  EXPECT_GT(l->revision(), r);
  r = l->revision();
  l->setBackgroundColor(Color::red());
  EXPECT_GT(l->revision(), r);
  r = l->revision();
  l->addSublayer(Layer::create());
  EXPECT_GT(l->revision(), r);
  r = l->revision();
  l->sublayers()[0]->removeFromSuperlayer();
  EXPECT_GT(l->revision(), r);
  r = l->revision();
  l->setNeedsDisplay();
  EXPECT_GT(l->revision(), r);
  r = l->revision();
  EXPECT_TRUE(l->setValueForKeyPath("position.x", 7.0));
  EXPECT_GT(l->revision(), r);
  r = l->revision();
  l->setMask(Layer::create());
  EXPECT_GT(l->revision(), r);
}

class CountingDelegate : public LayerDelegate {
 public:
  int draws = 0;
  int layouts = 0;
  void drawLayer(Layer& layer, Context& ctx) override {
    ++draws;
    ctx.setFillColor(Color::red());
    ctx.fillRect(Rect(layer.bounds().x(), layer.bounds().y(), 5, 5));
  }
  void layoutSublayersOfLayer(Layer&) override { ++layouts; }
};

TEST_F(LayerTest, DisplayDrawsOnceIntoACache) {
  auto l = Layer::create();
  CountingDelegate d;
  l->setDelegate(&d);
  l->setBounds(Rect(10, 10, 20, 10));
  l->setContentsScale(2);
  l->displayIfNeeded();
  EXPECT_EQ(d.draws, 0);  // nothing asked for yet
  EXPECT_EQ(l->drawnContent(), nullptr);

  l->setNeedsDisplay();
  EXPECT_TRUE(l->needsDisplay());
  l->displayIfNeeded();
  l->displayIfNeeded();
  EXPECT_EQ(d.draws, 1);
  EXPECT_FALSE(l->needsDisplay());
  auto img = l->drawnContent();
  ASSERT_TRUE(img);
  EXPECT_EQ(img->pixelWidth(), 40);
  EXPECT_EQ(img->pixelHeight(), 20);
  // Drawing is in bounds space: the bounds origin is the image's top left.
  EXPECT_EQ(img->pixelAt(0, 0), 0xFFFF0000u);
  EXPECT_EQ(img->pixelAt(9, 9), 0xFFFF0000u);
  EXPECT_EQ(img->pixelAt(10, 10), 0u);

  // Bounds changes redraw only when asked to.
  l->setBounds(Rect(10, 10, 30, 10));
  EXPECT_FALSE(l->needsDisplay());
  l->setNeedsDisplayOnBoundsChange(true);
  l->setBounds(Rect(10, 10, 40, 10));
  EXPECT_TRUE(l->needsDisplay());
  l->displayIfNeeded();
  EXPECT_EQ(d.draws, 2);
  EXPECT_EQ(l->drawnContent()->pixelWidth(), 80);

  // Without a delegate nothing is drawn.
  l->setDelegate(nullptr);
  l->setNeedsDisplay();
  l->displayIfNeeded();
  EXPECT_EQ(l->drawnContent(), nullptr);
}

// A layer showing an image of a higher scale than the drawing scale (double artwork at 800 / 768)
// keeps that scale for the image, but draws at the drawing scale: no larger bitmap, reduced again
// at every frame.
TEST_F(LayerTest, DrawnContentIsNeverAboveTheDrawingScale) {
  const double k = 800.0 / 768;
  Image::setDrawingScale(k);
  auto l = Layer::create();
  CountingDelegate d;
  l->setDelegate(&d);
  l->setBounds(Rect(0, 0, 30, 20));
  l->setContentsScale(2);
  l->setNeedsDisplay();
  l->displayIfNeeded();
  auto img = l->drawnContent();
  ASSERT_TRUE(img);
  EXPECT_EQ(img->scale(), k);
  EXPECT_EQ(img->pixelWidth(), 32);  // 31.25 pixels, the last in part
  EXPECT_EQ(img->pixelHeight(), 21);
  EXPECT_EQ(l->contentsScale(), 2);
  // Below the drawing scale, the contents scale.
  l->setContentsScale(1);
  l->setNeedsDisplay();
  l->displayIfNeeded();
  EXPECT_EQ(l->drawnContent()->scale(), 1);
  l->setDelegate(nullptr);
}

// Drawn content follows the scale it would be drawn at, whichever of the two scales moved: a
// layer of contents scale 2 drawn at drawing scale 1 was kept at its scale-1 bitmap (shown
// blurred) once the drawing scale became 2, and at a fractional drawing scale every
// setContentsScale(2) repeating the value drew it again.
TEST_F(LayerTest, DrawnContentIsRedrawnWhenTheScaleItIsDrawnAtChangesAndOnlyThen) {
  Image::setDrawingScale(1);
  auto l = Layer::create();
  CountingDelegate d;
  l->setDelegate(&d);
  l->setBounds(Rect(0, 0, 30, 20));
  l->setContentsScale(2);
  l->setNeedsDisplay();
  l->displayIfNeeded();
  ASSERT_TRUE(l->drawnContent());
  EXPECT_EQ(l->drawnContent()->scale(), 1);
  // The drawing scale alone rises: drawn again, sharp.
  Image::setDrawingScale(2);
  EXPECT_TRUE(l->needsDisplay());
  const uint64_t before = l->revision();
  l->displayIfNeeded();
  EXPECT_EQ(d.draws, 2);
  EXPECT_GT(l->revision(), before);
  ASSERT_TRUE(l->drawnContent());
  EXPECT_EQ(l->drawnContent()->scale(), 2);
  EXPECT_EQ(l->drawnContent()->pixelWidth(), 60);
  // A drawing scale above the contents scale changes nothing it draws.
  Image::setDrawingScale(3);
  EXPECT_FALSE(l->needsDisplay());

  // At a fractional drawing scale the bitmap is drawn at that scale; the same contents scale set
  // again, or another one that is still above the drawing scale, leaves it.
  Image::setDrawingScale(800.0 / 768);
  l->displayIfNeeded();
  EXPECT_EQ(d.draws, 3);
  for (double again : {2.0, 2.0, 3.0, 2.0}) {
    l->setContentsScale(again);
    EXPECT_FALSE(l->needsDisplay()) << again;
    l->displayIfNeeded();
  }
  EXPECT_EQ(d.draws, 3);
  // Below the drawing scale it is drawn again, at the contents scale.
  l->setContentsScale(1);
  EXPECT_TRUE(l->needsDisplay());
  l->displayIfNeeded();
  EXPECT_EQ(d.draws, 4);
  EXPECT_EQ(l->drawnContent()->scale(), 1);
  l->setDelegate(nullptr);
}

TEST_F(LayerTest, SubclassDrawsAndEmptyBoundsDrawNothing) {
  struct Dot : Layer {
    int draws = 0;
    void drawInContext(Context& ctx) override {
      ++draws;
      ctx.setFillColor(Color::blue());
      ctx.fillRect(Rect(0, 0, 1, 1));
    }
  };
  auto dot = std::make_shared<Dot>();
  dot->setNeedsDisplay();
  dot->displayIfNeeded();
  EXPECT_EQ(dot->draws, 0);
  EXPECT_EQ(dot->drawnContent(), nullptr);
  dot->setBounds(Rect(0, 0, 2, 2));
  dot->setNeedsDisplay();
  dot->displayIfNeeded();
  EXPECT_EQ(dot->draws, 1);
  ASSERT_TRUE(dot->drawnContent());
  EXPECT_EQ(dot->drawnContent()->pixelAt(0, 0), 0xFF0000FFu);
}

TEST_F(LayerTest, LayoutRunsOncePerRequestDownTheTree) {
  auto root = Layer::create();
  auto child = Layer::create();
  CountingDelegate rd, cd;
  root->setDelegate(&rd);
  child->setDelegate(&cd);
  root->addSublayer(child);  // marks root
  root->layoutIfNeeded();
  EXPECT_EQ(rd.layouts, 1);
  EXPECT_EQ(cd.layouts, 0);
  root->layoutIfNeeded();
  EXPECT_EQ(rd.layouts, 1);
  child->setBounds(Rect(0, 0, 10, 10));  // a size change marks the child
  EXPECT_TRUE(child->needsLayout());
  root->layoutIfNeeded();
  EXPECT_EQ(rd.layouts, 1);
  EXPECT_EQ(cd.layouts, 1);
  child->setPosition({3, 3});  // moving does not
  EXPECT_FALSE(child->needsLayout());
}

TEST_F(LayerTest, KeyPathsOnTheModel) {
  auto l = Layer::create(LayerKind::Shape);
  l->setBounds(Rect(0, 0, 10, 20));
  EXPECT_TRUE(l->setValueForKeyPath("bounds.size.height", 40.0));
  EXPECT_EQ(l->bounds(), Rect(0, 0, 10, 40));
  EXPECT_TRUE(l->setValueForKeyPath("strokeEnd", 0.5));
  EXPECT_EQ(l->strokeEnd(), 0.5);
  EXPECT_TRUE(l->setValueForKeyPath("transform.rotation.z", kPi / 2));
  EXPECT_NEAR(std::get<double>(*l->valueForKeyPath("transform.rotation.z")), kPi / 2, 1e-12);
  EXPECT_TRUE(l->setValueForKeyPath("transform.scale", 2.0));
  EXPECT_NEAR(l->transform().m12, 2, 1e-9);
  EXPECT_FALSE(l->setValueForKeyPath("opacity", Point{1, 2}));
  EXPECT_FALSE(l->setValueForKeyPath("madeUp", 1.0));
  EXPECT_EQ(std::get<Point>(*l->valueForKeyPath("anchorPoint")), (Point{0.5, 0.5}));
}

}  // namespace
}  // namespace gfx
