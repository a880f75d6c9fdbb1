#include "platform/gfx/Compositor.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "NoActions.h"
#include "platform/core/Clock.h"
#include "platform/gfx/Animation.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Transaction.h"

namespace gfx {
namespace {

std::shared_ptr<Layer> rootLayer(double w, double h) {
  NoActions na;
  auto root = Layer::create();
  root->setFrame(Rect(0, 0, w, h));
  return root;
}

std::shared_ptr<Layer> solid(const Rect& frame, const Color& c) {
  NoActions na;
  auto l = Layer::create();
  l->setFrame(frame);
  l->setBackgroundColor(c);
  return l;
}

struct Px {
  int a, r, g, b;
};

// The premultiplied pixel at device coordinates.
Px pixel(const Compositor& c, int x, int y) {
  cairo_surface_t* s = c.surface();
  cairo_surface_flush(s);
  if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(s) || y >= cairo_image_surface_get_height(s)) return {0, 0, 0, 0};
  const unsigned char* row = cairo_image_surface_get_data(s) + static_cast<size_t>(y) * cairo_image_surface_get_stride(s);
  uint32_t v = reinterpret_cast<const uint32_t*>(row)[x];
  return {int(v >> 24), int((v >> 16) & 255), int((v >> 8) & 255), int(v & 255)};
}

bool isRed(Px p) { return p.a > 250 && p.r > 250 && p.g < 5 && p.b < 5; }
bool isClear(Px p) { return p.a == 0; }

TEST(CompositorTest, SolidLayerFillsItsFrameExactlyAtScale) {
  Compositor comp({100, 80}, 2);
  ASSERT_NE(comp.surface(), nullptr);
  EXPECT_EQ(cairo_image_surface_get_width(comp.surface()), 200);
  auto root = rootLayer(100, 80);
  root->addSublayer(solid(Rect(10, 20, 30, 15), Color::red()));
  Rect dirty = comp.renderFrame(root);
  EXPECT_EQ(dirty, Rect(0, 0, 100, 80));  // the first frame draws everything
  EXPECT_TRUE(isRed(pixel(comp, 20, 40)));   // top-left device pixel of the layer
  EXPECT_TRUE(isRed(pixel(comp, 79, 69)));   // bottom-right
  EXPECT_TRUE(isClear(pixel(comp, 19, 40)));
  EXPECT_TRUE(isClear(pixel(comp, 80, 50)));
  EXPECT_TRUE(isClear(pixel(comp, 30, 70)));
  EXPECT_TRUE(isClear(pixel(comp, 150, 150)));
}

TEST(CompositorTest, CornerRadiusRoundsBackgroundAndClipsSublayers) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  auto rounded = solid(Rect(0, 0, 40, 40), Color::red());
  auto clipper = solid(Rect(50, 0, 40, 40), Color::clear());
  auto inner = solid(Rect(-10, -10, 60, 60), Color::blue());
  {
    NoActions na;
    rounded->setCornerRadius(12);
    clipper->setCornerRadius(12);
    clipper->setMasksToBounds(true);
    clipper->addSublayer(inner);
    root->addSublayer(rounded);
    root->addSublayer(clipper);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isClear(pixel(comp, 1, 1)));
  EXPECT_TRUE(isRed(pixel(comp, 20, 20)));
  EXPECT_TRUE(isRed(pixel(comp, 20, 1)));  // the straight part of the edge
  EXPECT_TRUE(isClear(pixel(comp, 51, 1)));
  EXPECT_TRUE(isClear(pixel(comp, 88, 38)));
  EXPECT_EQ(pixel(comp, 70, 20).b, 255);
  EXPECT_TRUE(isClear(pixel(comp, 95, 20)));  // the sublayer reaches here but is clipped

  // Only the masked corners are rounded.
  {
    NoActions na;
    rounded->setMaskedCorners(CornerTopLeft);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isClear(pixel(comp, 1, 1)));
  EXPECT_TRUE(isRed(pixel(comp, 38, 1)));
  EXPECT_TRUE(isRed(pixel(comp, 38, 38)));
}

TEST(CompositorTest, OpacityOfALayerWithSublayersAppliesToTheGroup) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  auto group = solid(Rect(0, 0, 100, 100), Color::clear());
  auto a = solid(Rect(10, 10, 50, 50), Color::red());
  auto b = solid(Rect(30, 30, 50, 50), Color::blue());
  auto nested = solid(Rect(0, 0, 10, 10), Color::green());
  {
    NoActions na;
    group->setOpacity(0.5);
    b->setOpacity(0.5);
    b->addSublayer(nested);
    group->addSublayer(a);
    group->addSublayer(b);
    root->addSublayer(group);
  }
  comp.renderFrame(root);
  // Red alone at half.
  Px red = pixel(comp, 15, 15);
  EXPECT_NEAR(red.a, 128, 2);
  EXPECT_NEAR(red.r, 128, 2);
  // Where blue (itself at half) covers red, red shows through blue before the group's half:
  // 0.5 * (0.5 blue + 0.5 red), alpha 0.5. Per-layer opacity would give alpha 0.625.
  Px overlap = pixel(comp, 45, 45);
  EXPECT_NEAR(overlap.a, 128, 2);
  EXPECT_NEAR(overlap.r, 64, 2);
  EXPECT_NEAR(overlap.b, 64, 2);
  // The green sublayer of the half-transparent blue layer covers blue and red alike inside b's
  // group: 0.5 * 0.5 green over 0.5 * red.
  Px green = pixel(comp, 35, 35);
  EXPECT_NEAR(green.a, 128, 2);
  EXPECT_NEAR(green.g, 64, 2);
  EXPECT_NEAR(green.r, 64, 2);
  EXPECT_NEAR(green.b, 0, 2);
}

TEST(CompositorTest, RotatedLayerTurnsAboutItsAnchorPoint) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  auto bar = solid(Rect(20, 45, 60, 10), Color::red());
  {
    NoActions na;
    bar->setTransform(Transform3D::rotation(M_PI / 2, 0, 0, 1));
    root->addSublayer(bar);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isRed(pixel(comp, 50, 25)));
  EXPECT_TRUE(isRed(pixel(comp, 50, 74)));
  EXPECT_TRUE(isClear(pixel(comp, 25, 50)));
  EXPECT_TRUE(isClear(pixel(comp, 74, 50)));
  EXPECT_TRUE(isClear(pixel(comp, 50, 15)));

  // 45 degrees: the corner of a square reaches out along the axes.
  auto diamond = solid(Rect(0, 0, 20, 20), Color::blue());
  {
    NoActions na;
    bar->removeFromSuperlayer();
    diamond->setPosition({50, 50});
    diamond->setTransform(Transform3D::rotation(M_PI / 4, 0, 0, 1));
    root->addSublayer(diamond);
  }
  comp.renderFrame(root);
  EXPECT_GT(pixel(comp, 50, 42).b, 250);
  EXPECT_GT(pixel(comp, 57, 50).b, 250);
  EXPECT_EQ(pixel(comp, 41, 41).a, 0);  // the square's unrotated corner
  EXPECT_EQ(pixel(comp, 58, 58).a, 0);
}

TEST(CompositorTest, PerspectiveRotationLandsWhereTheMatrixProjects) {
  Compositor comp({200, 200}, 1);
  auto root = rootLayer(200, 200);
  auto card = solid(Rect(50, 50, 100, 100), Color::red());
  Transform3D perspective;
  perspective.m34 = -1.0 / 250;
  Transform3D t = Transform3D::rotation(0.6, 0, 1, 0).concat(perspective);
  {
    NoActions na;
    card->setTransform(t);
    root->addSublayer(card);
  }
  comp.renderFrame(root);

  // Expected corners: bounds corner relative to the anchor, through the transform, plus position.
  Transform3D full = Transform3D::translation(-50, -50, 0).concat(t).concat(Transform3D::translation(100, 100, 0));
  std::vector<Point> corners;
  for (Point p : {Point{0, 0}, Point{100, 0}, Point{100, 100}, Point{0, 100}}) corners.push_back(*full.project(p));
  // A trapezoid: one vertical edge is taller than the other.
  double left = corners[3].y - corners[0].y, right = corners[2].y - corners[1].y;
  EXPECT_GT(std::fabs(left - right), 10);
  Point centre{0, 0};
  for (Point p : corners) centre = {centre.x + p.x / 4, centre.y + p.y / 4};
  for (Point p : corners) {
    double dx = centre.x - p.x, dy = centre.y - p.y, len = std::hypot(dx, dy);
    dx /= len, dy /= len;
    // A pixel and a half inside the corner is red, a pixel and a half outside is empty.
    Px in = pixel(comp, int(std::floor(p.x + 1.5 * dx)), int(std::floor(p.y + 1.5 * dy)));
    Px out = pixel(comp, int(std::floor(p.x - 1.5 * dx)), int(std::floor(p.y - 1.5 * dy)));
    EXPECT_GT(in.a, 128) << "inside corner " << p.x << "," << p.y;
    EXPECT_LT(out.a, 64) << "outside corner " << p.x << "," << p.y;
  }
  // Along the middle row the horizontal edges sit where projected.
  Point top = *full.project({50, 0}), bottom = *full.project({50, 100});
  EXPECT_GT(pixel(comp, int(top.x), int(std::ceil(top.y + 1))).a, 128);
  EXPECT_LT(pixel(comp, int(top.x), int(std::floor(top.y - 1.5))).a, 64);
  EXPECT_GT(pixel(comp, int(bottom.x), int(std::floor(bottom.y - 2))).a, 128);
  EXPECT_LT(pixel(comp, int(bottom.x), int(std::ceil(bottom.y + 1))).a, 64);
}

TEST(CompositorTest, PerspectiveFromTheSuperlayersSublayerTransform) {
  Compositor comp({200, 200}, 1);
  auto root = rootLayer(200, 200);
  auto stage = solid(Rect(0, 0, 200, 200), Color::clear());
  auto card = solid(Rect(50, 50, 100, 100), Color::blue());
  Transform3D perspective;
  perspective.m34 = -1.0 / 300;
  {
    NoActions na;
    stage->setSublayerTransform(perspective);
    card->setTransform(Transform3D::rotation(-0.7, 1, 0, 0));
    stage->addSublayer(card);
    root->addSublayer(stage);
  }
  comp.renderFrame(root);
  // Sublayer transform about the stage's centre (100,100): card point → card transform about its
  // anchor → position → perspective about the stage centre.
  Transform3D full = Transform3D::translation(-50, -50, 0)
                         .concat(Transform3D::rotation(-0.7, 1, 0, 0))
                         .concat(Transform3D::translation(100, 100, 0))
                         .concat(Transform3D::translation(-100, -100, 0))
                         .concat(perspective)
                         .concat(Transform3D::translation(100, 100, 0));
  Point tl = *full.project({0, 0}), br = *full.project({100, 100});
  Point tr = *full.project({100, 0}), bl = *full.project({0, 100});
  EXPECT_GT(std::fabs((tr.x - tl.x) - (br.x - bl.x)), 10);  // top and bottom edges differ
  EXPECT_GT(pixel(comp, int(tl.x + 3), int(tl.y + 2)).b, 128);
  EXPECT_LT(pixel(comp, int(tl.x - 3), int(tl.y + 2)).a, 64);
  EXPECT_GT(pixel(comp, int(br.x - 3), int(br.y - 2)).b, 128);
  EXPECT_LT(pixel(comp, int(br.x + 3), int(br.y - 2)).a, 64);
  EXPECT_LT(pixel(comp, 100, int(tl.y - 2)).a, 64);
  EXPECT_GT(pixel(comp, 100, int(tl.y + 2)).a, 128);
}

// A large checkerboard turned steeply in perspective: every pixel whose point on the board lies
// well inside a square shows that square's colour, and every pixel whose point lies well off the
// board shows nothing. The board covers enough pixels to be drawn in bands on several threads.
TEST(CompositorTest, ATurnedBoardShowsEachSquareWhereTheProjectionPutsIt) {
  constexpr int W = 600, H = 440, Cell = 12;
  std::vector<uint32_t> px(W * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) px[y * W + x] = ((x / Cell + y / Cell) % 2) ? 0xffff0000u : 0xff0000ffu;
  Compositor comp({640, 480}, 1);
  auto root = rootLayer(640, 480);
  auto board = Layer::create();
  Transform3D perspective;
  perspective.m34 = -1.0 / 400;
  const Transform3D turn = Transform3D::rotation(0.9, 0.2, 1, 0);
  {
    NoActions na;
    board->setFrame(Rect(20, 20, W, H));
    board->setContents(Image::fromPixels(W, H, std::move(px), 1));
    root->setSublayerTransform(perspective);
    board->setTransform(turn);
    root->addSublayer(board);
  }
  comp.renderFrame(root);
  const Transform3D full = Transform3D::translation(-W / 2.0, -H / 2.0, 0)
                               .concat(turn)
                               .concat(Transform3D::translation(320, 240, 0))
                               .concat(Transform3D::translation(-320, -240, 0))
                               .concat(perspective)
                               .concat(Transform3D::translation(320, 240, 0));
  // Screen → board through the inverse of the plane-to-plane matrix.
  const auto h = full.homography();
  const double inv[9] = {h[4] * h[8] - h[5] * h[7], h[2] * h[7] - h[1] * h[8], h[1] * h[5] - h[2] * h[4],
                         h[5] * h[6] - h[3] * h[8], h[0] * h[8] - h[2] * h[6], h[2] * h[3] - h[0] * h[5],
                         h[3] * h[7] - h[4] * h[6], h[1] * h[6] - h[0] * h[7], h[0] * h[4] - h[1] * h[3]};
  int squares = 0, empty = 0, wrong = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const double X = x + 0.5, Y = y + 0.5;
      const double w = inv[6] * X + inv[7] * Y + inv[8];
      const double u = (inv[0] * X + inv[1] * Y + inv[2]) / w, v = (inv[3] * X + inv[4] * Y + inv[5]) / w;
      // How far, in board pixels, one screen pixel reaches around this point.
      const double alongX = std::hypot(inv[0] - u * inv[6], inv[3] - v * inv[6]) / w;
      const double alongY = std::hypot(inv[1] - u * inv[7], inv[4] - v * inv[7]) / w;
      const double reach = 1.5 * std::max({1.0, alongX, alongY});
      const Px got = pixel(comp, x, y);
      if (u < -reach || v < -reach || u > W + reach || v > H + reach) {
        ++empty;
        if (got.a != 0) ++wrong;
        continue;
      }
      const double cu = std::fmod(u, Cell), cv = std::fmod(v, Cell);
      if (u < reach || v < reach || u > W - reach || v > H - reach || cu < reach || cu > Cell - reach ||
          cv < reach || cv > Cell - reach)
        continue;
      ++squares;
      const bool red = (int(u) / Cell + int(v) / Cell) % 2;
      if (got.a < 250 || (red ? got.r < 250 || got.b > 5 : got.b < 250 || got.r > 5)) ++wrong;
    }
  }
  EXPECT_GT(squares, 40000);
  EXPECT_GT(empty, 40000);
  EXPECT_EQ(wrong, 0);
}

// One striped board for every caller, so that compositors on several threads draw the same image.
// Never destroyed: a test draws it on a thread that goes on while the process exits.
const std::shared_ptr<Image>& stripedBoard() {
  static const auto* const board = new std::shared_ptr<Image>([] {
    constexpr int W = 600, H = 440;
    std::vector<uint32_t> px(W * H);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) px[y * W + x] = (x / 10 % 2) ? 0xffff0000u : 0xff00ff00u | uint32_t(y * 255 / H);
    return Image::fromPixels(W, H, std::move(px), 1);
  }());
  return *board;
}

// The striped board turned in perspective by `angle`, drawn a few times by a compositor of its
// own on the calling thread; the pixels of the last frame. Large enough to be drawn in bands.
std::vector<uint32_t> turnedBoardPixels(double angle, int frames) {
  constexpr int W = 600, H = 440;
  Compositor comp({640, 480}, 1);
  auto root = rootLayer(640, 480);
  auto board = Layer::create();
  Transform3D perspective;
  perspective.m34 = -1.0 / 500;
  {
    NoActions na;
    board->setFrame(Rect(20, 20, W, H));
    board->setContents(stripedBoard());
    root->setSublayerTransform(perspective);
    board->setTransform(Transform3D::rotation(angle, 1, 0.3, 0));
    root->addSublayer(board);
  }
  for (int i = 0; i < frames; ++i) {
    comp.invalidate();
    comp.renderFrame(root);
  }
  cairo_surface_t* s = comp.surface();
  cairo_surface_flush(s);
  std::vector<uint32_t> out;
  for (int y = 0; y < 480; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s));
    out.insert(out.end(), row, row + 640);
  }
  return out;
}

// Turned layers drawn straight onto a frame over what the frame before left there: one over
// another whose box holds it, one whose box overlaps another's and reaches past the surface; then
// a flat layer drawn after them too. They come out as laid over a cleared picture, with nothing of
// the frame before left beside them.
TEST(CompositorTest, TurnedLayersOverAnEarlierFrameComeOutAsOverAClearedPicture) {
  constexpr int W = 640, H = 480;
  auto root = rootLayer(W, H);
  auto flat = solid(Rect(10, 400, 100, 50), Color::green());
  {
    NoActions na;
    Transform3D perspective;
    perspective.m34 = -1.0 / 500;
    root->setSublayerTransform(perspective);
    auto board = Layer::create();
    board->setFrame(Rect(60, 40, 480, 360));
    board->setContents(stripedBoard());
    board->setTransform(Transform3D::rotation(0.5, 0, 1, 0));
    auto pane = solid(Rect(200, 150, 240, 160), Color(0.1, 0.3, 0.8, 0.6));
    pane->setTransform(Transform3D::rotation(0.6, 1, 0, 0));
    auto corner = Layer::create();
    corner->setFrame(Rect(420, 300, 400, 300));
    corner->setContents(stripedBoard());
    corner->setTransform(Transform3D::rotation(-0.4, 1, 1, 0));
    root->addSublayer(board);
    root->addSublayer(pane);
    root->addSublayer(corner);
  }
  for (bool withFlat : {false, true}) {
    SCOPED_TRACE(withFlat ? "with a flat layer after them" : "turned layers only");
    if (withFlat) {
      NoActions na;
      root->addSublayer(flat);
    }
    auto ctx = Context::bitmap({W, H}, 1);
    ASSERT_TRUE(ctx);
    Compositor::renderLayer(*root, *ctx);
    const std::shared_ptr<Image> cleared = ctx->makeImage();
    ASSERT_TRUE(cleared);

    Compositor comp({W, H}, 1);
    comp.renderFrame(solid(Rect(0, 0, W, H), Color::red()));
    comp.invalidate();
    comp.renderFrame(root);
    int differ = 0, clear = 0;
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < W; ++x) {
        const Px p = pixel(comp, x, y);
        const uint32_t got = uint32_t(p.a) << 24 | uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | uint32_t(p.b);
        if (got == 0) ++clear;
        if (got != cleared->pixelAt(x, y) && ++differ <= 5)
          ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got << " against " << cleared->pixelAt(x, y);
      }
    }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(clear, W * H / 20);
  }
}

// Two threads compositing turned layers of the same image at the same time share the threads
// that draw bands; each still gets exactly the picture it gets alone.
TEST(CompositorTest, TurnedLayersCompositedOnTwoThreadsAtOnceComeOutAsAlone) {
  const std::vector<uint32_t> aloneA = turnedBoardPixels(0.7, 1), aloneB = turnedBoardPixels(-0.5, 1);
  ASSERT_NE(aloneA, aloneB);
  std::vector<uint32_t> a, b;
  std::thread other([&] { b = turnedBoardPixels(-0.5, 12); });
  a = turnedBoardPixels(0.7, 12);
  other.join();
  EXPECT_TRUE(a == aloneA);
  EXPECT_TRUE(b == aloneB);
}

// A child forked after the band threads started has none of them: it draws on its own thread,
// the same picture, does not wait for threads that are not there, and ends through exit() as a
// program whose main returns does, with the static destructors run.
TEST(CompositorDeathTest, AForkedChildDrawsTurnedLayersWithoutTheParentsThreadsAndExits) {
  GTEST_FLAG_SET(death_test_style, "fast");
  const std::vector<uint32_t> alone = turnedBoardPixels(0.7, 1);
  EXPECT_EXIT(
      {
        alarm(60);  // a child that waits for threads it does not have ends here
        std::exit(turnedBoardPixels(0.7, 1) == alone ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// The threads the calling process has.
int threadCount() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(dir))
      if (e->d_name[0] != '.') ++n;
    closedir(dir);
  }
  return n;
}

// A process with another thread forks before it ever drew in bands; the child, the first to
// want band threads, draws turned layers on its own thread all the same (starting threads after
// such a fork is not safe: the thread checker ends the child for it), and exits through exit().
// The process ends with the child's status.
void forkBeforeAnyBandedDrawing() {
  std::atomic<bool> running{false};
  std::thread([&running] {
    running = true;
    running.notify_all();
    for (;;) pause();
  }).detach();
  running.wait(false);
  const pid_t child = fork();
  if (child == 0) {
    alarm(60);  // a child that waits for threads it does not have ends here
    const int threads = threadCount();
    turnedBoardPixels(0.7, 2);
    std::exit(threadCount() == threads ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) std::exit(2);
  std::exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

TEST(CompositorDeathTest, AChildForkedBeforeAnyBandedDrawingDrawsTurnedLayersOnItsOwnThreadAndExits) {
  // A fresh process, in which nothing has drawn in bands yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        alarm(120);
        forkBeforeAnyBandedDrawing();
      },
      testing::ExitedWithCode(0), "");
}

// The process exits (its static destructors run) while another thread is in the middle of drawing
// turned layers; the drawing may go on meanwhile, and the process ends with status 0 (a sanitizer
// that saw a race would change it).
void exitWhileATurnedLayerIsDrawn() {
  static std::atomic<int> frames{0};
  std::thread([] {
    for (;;) {
      turnedBoardPixels(0.7, 1);
      frames.fetch_add(1);
      frames.notify_all();
    }
  }).detach();
  frames.wait(0);  // the band threads have started and the drawing goes round
  std::exit(0);
}

TEST(CompositorDeathTest, AThreadDrawingTurnedLayersWhileTheProcessExitsLetsItEnd) {
  // A fresh process, whose band threads start in it.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        alarm(60);
        exitWhileATurnedLayerIsDrawn();
      },
      testing::ExitedWithCode(0), "");
}

TEST(CompositorTest, ShadowIsOffsetAndFollowsPathOrShape) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  auto box = solid(Rect(20, 20, 20, 20), Color::blue());
  {
    NoActions na;
    box->setShadowColor(Color::red());
    box->setShadowOpacity(1);
    box->setShadowRadius(0);
    box->setShadowOffset({10, 5});
    root->addSublayer(box);
  }
  comp.renderFrame(root);
  EXPECT_EQ(pixel(comp, 25, 25).b, 255);      // the layer over its shadow
  EXPECT_TRUE(isRed(pixel(comp, 45, 30)));     // right of the layer, inside the shadow
  EXPECT_TRUE(isRed(pixel(comp, 35, 42)));     // below
  EXPECT_TRUE(isClear(pixel(comp, 50, 30)));   // past the shadow's right edge (30 + 20)
  EXPECT_TRUE(isClear(pixel(comp, 25, 18)));   // nothing above: the offset goes down
  EXPECT_TRUE(isClear(pixel(comp, 45, 22)));

  // A shadow path replaces the shape; a blur softens the edge.
  {
    NoActions na;
    box->setShadowPath(Path::rect(Rect(0, 0, 40, 10)));
    box->setShadowRadius(4);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isRed(pixel(comp, 55, 30)));
  EXPECT_TRUE(isClear(pixel(comp, 45, 42)));
  Px edge = pixel(comp, 70, 29);  // the path's right edge at x = 20 + 10 + 40
  EXPECT_GT(edge.a, 60);
  EXPECT_LT(edge.a, 200);
}

TEST(CompositorTest, MaskLayerAlphaShowsTheLayer) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  auto content = solid(Rect(0, 0, 100, 100), Color::red());
  auto mask = Layer::create(LayerKind::Shape);
  auto child = solid(Rect(0, 50, 100, 50), Color::blue());
  {
    NoActions na;
    mask->setFrame(Rect(0, 0, 100, 100));
    Path p = Path::rect(Rect(0, 0, 50, 100));
    p.addRect(Rect(50, 0, 50, 25));
    mask->setPath(p);
    mask->setFillColor(Color::black());
    auto half = solid(Rect(50, 75, 50, 25), Color(0, 0, 0, 0.5));
    mask->addSublayer(half);
    content->addSublayer(child);
    content->setMask(mask);
    root->addSublayer(content);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isRed(pixel(comp, 25, 25)));
  EXPECT_TRUE(isRed(pixel(comp, 75, 10)));
  EXPECT_TRUE(isClear(pixel(comp, 75, 40)));
  EXPECT_TRUE(isClear(pixel(comp, 75, 60)));  // the sublayer is masked too
  EXPECT_EQ(pixel(comp, 25, 75).b, 255);
  Px half = pixel(comp, 75, 90);
  EXPECT_NEAR(half.a, 128, 2);
  EXPECT_NEAR(half.b, 128, 2);
}

TEST(CompositorTest, ZPositionOrdersSiblingsAndHiddenLayersVanish) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  auto first = solid(Rect(0, 0, 60, 60), Color::red());
  auto second = solid(Rect(30, 30, 60, 60), Color::blue());
  root->addSublayer(first);
  root->addSublayer(second);
  comp.renderFrame(root);
  EXPECT_EQ(pixel(comp, 45, 45).b, 255);  // later sibling on top
  {
    NoActions na;
    first->setZPosition(1);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isRed(pixel(comp, 45, 45)));
  {
    NoActions na;
    first->setHidden(true);
  }
  Rect dirty = comp.renderFrame(root);
  EXPECT_EQ(dirty, Rect(0, 0, 60, 60));
  EXPECT_TRUE(isClear(pixel(comp, 10, 10)));
  EXPECT_EQ(pixel(comp, 45, 45).b, 255);
}

TEST(CompositorTest, ShapeLayerStrokesOnlyBetweenStrokeStartAndEnd) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  auto shape = Layer::create(LayerKind::Shape);
  {
    NoActions na;
    shape->setFrame(Rect(0, 0, 100, 100));
    Path p;
    p.moveTo({10, 50});
    p.lineTo({90, 50});
    shape->setPath(p);
    shape->setFillColor(std::nullopt);
    shape->setStrokeColor(Color::red());
    shape->setLineWidth(4);
    shape->setStrokeStart(0.25);
    shape->setStrokeEnd(0.75);
    root->addSublayer(shape);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isClear(pixel(comp, 20, 50)));
  EXPECT_TRUE(isRed(pixel(comp, 32, 50)));
  EXPECT_TRUE(isRed(pixel(comp, 68, 50)));
  EXPECT_TRUE(isClear(pixel(comp, 80, 50)));
  EXPECT_TRUE(isClear(pixel(comp, 50, 53)));

  // Dashes of 10 on, 10 off from the start of the visible part.
  {
    NoActions na;
    shape->setStrokeStart(0);
    shape->setStrokeEnd(1);
    shape->setLineDashPattern({10, 10});
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isRed(pixel(comp, 15, 50)));
  EXPECT_TRUE(isClear(pixel(comp, 25, 50)));
  EXPECT_TRUE(isRed(pixel(comp, 35, 50)));
}

TEST(CompositorTest, GradientLayerRunsBetweenItsPoints) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  auto g = Layer::create(LayerKind::Gradient);
  {
    NoActions na;
    g->setFrame(Rect(0, 0, 100, 100));
    g->setColors({Color::red(), Color::blue()});
    g->setLocations({0.25, 0.75});
    root->addSublayer(g);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isRed(pixel(comp, 50, 10)));
  Px mid = pixel(comp, 50, 50);
  EXPECT_NEAR(mid.r, 128, 4);
  EXPECT_NEAR(mid.b, 128, 4);
  EXPECT_EQ(pixel(comp, 50, 90).b, 255);
}

TEST(CompositorTest, ContentsImageHonoursGravity) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  auto img = Image::fromPixels(10, 10, std::vector<uint32_t>(100, 0xff00ff00u));
  auto l = Layer::create();
  {
    NoActions na;
    l->setFrame(Rect(0, 0, 40, 40));
    l->setContents(img);
    l->setContentsGravity(ContentsGravity::BottomRight);
    root->addSublayer(l);
  }
  comp.renderFrame(root);
  EXPECT_EQ(pixel(comp, 35, 35).g, 255);
  EXPECT_TRUE(isClear(pixel(comp, 25, 35)));
  {
    NoActions na;
    l->setContentsGravity(ContentsGravity::Resize);
  }
  comp.renderFrame(root);
  EXPECT_EQ(pixel(comp, 1, 1).g, 255);
  EXPECT_EQ(pixel(comp, 38, 38).g, 255);
}

class Painter : public LayerDelegate {
 public:
  void drawLayer(Layer&, Context& ctx) override {
    ++calls;
    ctx.setFillColor(Color::red());
    ctx.fillRect(Rect(0, 0, 10, 10));
  }
  int calls = 0;
};

// At a fractional scale a layer's bounds end inside a pixel; its content, drawn at the scale shown,
// is still copied pixel for pixel rather than stretched over the fraction and resampled.
TEST(CompositorTest, DrawnContentAtAFractionalScaleIsCopiedPixelForPixel) {
  const double scale = 1.0417;
  Compositor comp({100, 100}, scale);
  auto root = rootLayer(100, 100);
  // Every other pixel column black, the others clear.
  struct Columns : LayerDelegate {
    void drawLayer(Layer&, Context& ctx) override {
      ctx.setFillColor(Color::black());
      for (int i = 0; i < 64; i += 2) ctx.fillRect(Rect(i / 1.0417, 0, 1 / 1.0417, 30));
    }
  } columns;
  auto l = Layer::create();
  {
    NoActions na;
    l->setFrame(Rect(0, 0, 40.3, 20.3));  // 41.98 x 21.15 pixels
    l->setContentsScale(scale);
    l->setDelegate(&columns);
    l->setNeedsDisplay();
    root->addSublayer(l);
  }
  comp.renderFrame(root);
  for (int x = 0; x < 41; ++x) {
    if (x % 2 == 0)
      EXPECT_EQ(pixel(comp, x, 10).a, 255) << x;
    else
      EXPECT_TRUE(isClear(pixel(comp, x, 10))) << x;
  }
  l->setDelegate(nullptr);
}

TEST(CompositorTest, DrawnContentIsRefreshedOnlyWhenMarked) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  Painter painter;
  auto l = Layer::create();
  {
    NoActions na;
    l->setFrame(Rect(20, 20, 40, 40));
    l->setDelegate(&painter);
    l->setNeedsDisplay();
    root->addSublayer(l);
  }
  comp.renderFrame(root);
  EXPECT_EQ(painter.calls, 1);
  EXPECT_TRUE(isRed(pixel(comp, 25, 25)));
  EXPECT_TRUE(isClear(pixel(comp, 35, 35)));
  EXPECT_EQ(comp.renderFrame(root), Rect());
  EXPECT_EQ(painter.calls, 1);
  l->setNeedsDisplay();
  EXPECT_TRUE(comp.needsFrame(root));
  EXPECT_EQ(comp.renderFrame(root), Rect(20, 20, 40, 40));
  EXPECT_EQ(painter.calls, 2);
  l->setDelegate(nullptr);
}

// What asks for a frame is what a frame draws: the mask of a hidden layer, and a hidden
// sublayer inside a mask, are not drawn, so their drawing to do asks for none (it asked for one
// every turn); shown again, they are drawn at once.
TEST(CompositorTest, DrawingToDoThatNoFrameDrawsAsksForNoFrame) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  Painter maskPainter, innerPainter;
  auto content = solid(Rect(0, 0, 50, 50), Color::blue());
  auto mask = Layer::create();
  auto group = Layer::create();
  auto inner = Layer::create();
  {
    NoActions na;
    mask->setFrame(Rect(0, 0, 50, 50));
    mask->setDelegate(&maskPainter);
    group->setFrame(Rect(0, 0, 50, 50));
    group->setHidden(true);
    inner->setFrame(Rect(20, 20, 20, 20));
    inner->setDelegate(&innerPainter);
    group->addSublayer(inner);
    mask->addSublayer(group);
    content->setMask(mask);
    content->setHidden(true);
    root->addSublayer(content);
  }
  comp.renderFrame(root);
  // The mask's drawing is due (as after a change of the drawing scale), the layer hidden.
  mask->setNeedsDisplay();
  comp.renderFrame(root);
  EXPECT_FALSE(comp.needsFrame(root));
  EXPECT_EQ(maskPainter.calls, 0);
  {
    NoActions na;
    content->setHidden(false);
  }
  EXPECT_TRUE(comp.needsFrame(root));
  comp.renderFrame(root);
  EXPECT_EQ(maskPainter.calls, 1);
  EXPECT_EQ(pixel(comp, 5, 5).b, 255);        // where the mask drew
  EXPECT_TRUE(isClear(pixel(comp, 30, 30)));  // where it did not: the group is hidden
  // A frame that drew the mask asks for no other.
  EXPECT_FALSE(comp.needsFrame(root));
  // Drawing due under a hidden layer of the mask waits for it to be shown.
  inner->setNeedsDisplay();
  comp.renderFrame(root);
  EXPECT_FALSE(comp.needsFrame(root));
  EXPECT_EQ(innerPainter.calls, 0);
  {
    NoActions na;
    group->setHidden(false);
  }
  EXPECT_TRUE(comp.needsFrame(root));
  comp.renderFrame(root);
  EXPECT_EQ(innerPainter.calls, 1);
  EXPECT_EQ(pixel(comp, 25, 25).b, 255);
  EXPECT_FALSE(comp.needsFrame(root));
  mask->setDelegate(nullptr);
  inner->setDelegate(nullptr);
}

TEST(CompositorTest, FrameMidAnimationShowsPresentationValues) {
  core::Clock::setVirtual(true);
  {
    Compositor comp({100, 100}, 1);
    auto root = rootLayer(100, 100);
    auto l = solid(Rect(0, 40, 20, 20), Color::red());
    root->addSublayer(l);
    comp.renderFrame(root);
    auto anim = BasicAnimation::withKeyPath("position.x");
    anim->fromValue = 10.0;
    anim->toValue = 90.0;
    anim->duration = 1;
    l->addAnimation(anim, "slide");
    EXPECT_TRUE(comp.needsFrame(root));
    core::Clock::advance(0.5);
    Rect dirty = comp.renderFrame(root);
    EXPECT_TRUE(isRed(pixel(comp, 45, 50)));
    EXPECT_TRUE(isRed(pixel(comp, 54, 50)));
    EXPECT_TRUE(isClear(pixel(comp, 5, 50)));  // the model position is not drawn
    EXPECT_TRUE(dirty.contains(Rect(0, 40, 60, 20)));
    core::Clock::advance(0.25);
    comp.renderFrame(root);
    EXPECT_TRUE(isClear(pixel(comp, 45, 50)));
    EXPECT_TRUE(isRed(pixel(comp, 65, 50)));
    l->removeAllAnimations();
    comp.renderFrame(root);
    EXPECT_TRUE(isRed(pixel(comp, 5, 50)));
    EXPECT_FALSE(comp.needsFrame(root));
  }
  core::Clock::setVirtual(false);
}

TEST(CompositorTest, DirtyRegionOfAOneLayerChangeIsItsOldAndNewRect) {
  Compositor comp({200, 200}, 2);
  auto root = rootLayer(200, 200);
  {
    NoActions na;
    root->setBackgroundColor(Color::whiteColor());
    for (int i = 0; i < 10; ++i) root->addSublayer(solid(Rect(10 + i * 15, 150, 10, 10), Color::blue()));
  }
  auto moving = solid(Rect(10, 10, 20, 20), Color::red());
  root->addSublayer(moving);
  EXPECT_TRUE(comp.needsFrame(root));
  comp.renderFrame(root);
  EXPECT_FALSE(comp.needsFrame(root));
  EXPECT_EQ(comp.renderFrame(root), Rect());

  {
    NoActions na;
    moving->setPosition({60, 70});
  }
  EXPECT_TRUE(comp.needsFrame(root));
  EXPECT_EQ(comp.renderFrame(root), Rect(10, 10, 60, 70));  // (10,10,20,20) ∪ (50,60,20,20)

  // What the partial frame left is what a full frame draws.
  Compositor fresh({200, 200}, 2);
  fresh.renderFrame(root);
  auto a = comp.snapshot(), b = fresh.snapshot();
  ASSERT_TRUE(a && b);
  int diffs = 0;
  for (int y = 0; y < a->pixelHeight(); ++y)
    for (int x = 0; x < a->pixelWidth(); ++x) diffs += a->pixelAt(x, y) != b->pixelAt(x, y);
  EXPECT_EQ(diffs, 0);

  // A removed layer leaves its rect dirty.
  moving->removeFromSuperlayer();
  Rect dirty = comp.renderFrame(root);
  EXPECT_TRUE(dirty.contains(Rect(50, 60, 20, 20)));
  EXPECT_EQ(comp.snapshot()->pixelAt(120, 130), 0xffffffffu);  // the white root shows again
}

TEST(CompositorTest, RenderLayerDrawsInTheLayersOwnSpace) {
  auto l = solid(Rect(300, 300, 20, 10), Color::red());
  auto child = solid(Rect(10, 0, 10, 10), Color::blue());
  l->addSublayer(child);
  auto ctx = Context::bitmap({20, 10}, 2);
  ASSERT_TRUE(ctx);
  Compositor::renderLayer(*l, *ctx);
  auto img = ctx->makeImage();
  ASSERT_TRUE(img);
  EXPECT_EQ(img->pixelAt(2, 2), 0xffff0000u);
  EXPECT_EQ(img->pixelAt(38, 18), 0xff0000ffu);
}

TEST(CompositorTest, SnapshotIsACopy) {
  Compositor comp({10, 10}, 1);
  auto root = solid(Rect(0, 0, 10, 10), Color::red());
  comp.renderFrame(root);
  auto snap = comp.snapshot();
  ASSERT_TRUE(snap);
  {
    NoActions na;
    root->setBackgroundColor(Color::blue());
  }
  comp.renderFrame(root);
  EXPECT_EQ(snap->pixelAt(5, 5), 0xffff0000u);
  EXPECT_EQ(comp.snapshot()->pixelAt(5, 5), 0xff0000ffu);
}

TEST(CompositorTest, BadInputDrawsNothingAndDoesNotBreakTheFrame) {
  Compositor none({0, 10}, 1);
  EXPECT_EQ(none.surface(), nullptr);
  EXPECT_EQ(none.snapshot(), nullptr);
  EXPECT_EQ(none.renderFrame(Layer::create()), Rect());

  Compositor comp({50, 50}, 1);
  auto root = rootLayer(50, 50);
  auto flat = solid(Rect(0, 0, 20, 20), Color::blue());
  auto shape = Layer::create(LayerKind::Shape);
  auto ok = solid(Rect(30, 30, 10, 10), Color::red());
  {
    NoActions na;
    flat->setTransform(Transform3D::scale(0, 1, 1));  // edge-on
    shape->setFrame(Rect(0, 0, 50, 50));
    shape->setPath(Path::rect(Rect(0, 0, 10, 10)));
    shape->setStrokeColor(Color::green());
    shape->setLineWidth(2);
    shape->setLineDashPattern({0, 0});  // refused by Cairo: drawn solid instead
    root->addSublayer(flat);
    root->addSublayer(shape);
    root->addSublayer(ok);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isRed(pixel(comp, 35, 35)));
  EXPECT_TRUE(isClear(pixel(comp, 15, 15)));
  EXPECT_EQ(pixel(comp, 5, 0).g, 255);
}

// ---- Cached shadows ----

// Pixels that differ between two compositors' surfaces.
int differingPixels(const Compositor& a, const Compositor& b) {
  auto x = a.snapshot(), y = b.snapshot();
  if (!x || !y || x->pixelWidth() != y->pixelWidth() || x->pixelHeight() != y->pixelHeight()) return -1;
  int diffs = 0;
  for (int j = 0; j < x->pixelHeight(); ++j)
    for (int i = 0; i < x->pixelWidth(); ++i) diffs += x->pixelAt(i, j) != y->pixelAt(i, j);
  return diffs;
}

// What comp shows must be what a compositor without any history draws of the same tree.
void expectSameAsFreshFrame(const Compositor& comp, const std::shared_ptr<Layer>& root) {
  Compositor fresh(comp.size(), comp.scale());
  fresh.renderFrame(root);
  EXPECT_EQ(differingPixels(comp, fresh), 0);
}

// A card whose shadow follows its drawing (no shadow path), with one sublayer.
struct Card {
  std::shared_ptr<Layer> layer = solid(Rect(20, 20, 40, 30), Color::whiteColor());
  std::shared_ptr<Layer> dot = solid(Rect(5, 5, 10, 10), Color::blue());
  Card() {
    NoActions na;
    layer->setShadowColor(Color::red());
    layer->setShadowOpacity(1);
    layer->setShadowRadius(4);
    layer->setShadowOffset({0, 10});
    layer->addSublayer(dot);
  }
};

TEST(CompositorTest, CachedShadowIsReusedUntilItsParametersChange) {
  Compositor comp({100, 100}, 2);
  auto root = rootLayer(100, 100);
  Card card;
  auto pathCard = solid(Rect(70, 10, 20, 20), Color::whiteColor());
  {
    NoActions na;
    pathCard->setShadowOpacity(1);
    pathCard->setShadowRadius(2);
    pathCard->setShadowOffset({0, 40});
    pathCard->setShadowPath(Path::rect(Rect(0, 0, 20, 20)));
    root->addSublayer(card.layer);
    root->addSublayer(pathCard);
  }
  comp.renderFrame(root);
  auto first = comp.snapshot();
  Compositor::CacheStats st = comp.cacheStats();
  EXPECT_EQ(st.entries, 2u);
  EXPECT_EQ(st.misses, 2u);
  EXPECT_GT(st.bytes, 0u);

  // A full redraw of an unchanged tree blurs nothing and draws the same pixels.
  comp.invalidate();
  comp.renderFrame(root);
  EXPECT_EQ(comp.cacheStats().misses, 2u);
  EXPECT_GE(comp.cacheStats().hits, 2u);
  ASSERT_TRUE(first);
  Compositor firstCopy({100, 100}, 2);
  firstCopy.renderFrame(root);
  EXPECT_EQ(differingPixels(comp, firstCopy), 0);

  // The shadow below the card, 10 points down: red, fading out over the blur.
  Px under = pixel(comp, 80, 115);
  EXPECT_GT(under.r, 200);
  EXPECT_EQ(under.g, 0);
  int edgeAlpha = pixel(comp, 80, 2 * (20 + 30 + 10) + 3).a;

  // A wider blur reaches further; a new colour shows at once.
  {
    NoActions na;
    card.layer->setShadowRadius(10);
  }
  comp.renderFrame(root);
  EXPECT_GT(pixel(comp, 80, 2 * (20 + 30 + 10) + 3).a, edgeAlpha);
  expectSameAsFreshFrame(comp, root);
  {
    NoActions na;
    card.layer->setShadowColor(Color::green());
    pathCard->setShadowColor(Color::blue());
  }
  comp.renderFrame(root);
  Px green = pixel(comp, 80, 115);
  EXPECT_EQ(green.r, 0);
  EXPECT_GT(green.g, 100);
  EXPECT_EQ(green.g, green.a);
  Px blue = pixel(comp, 160, 120);  // the path card's shadow, 40 points below it
  EXPECT_GT(blue.b, 200);
  EXPECT_EQ(blue.r, 0);
  expectSameAsFreshFrame(comp, root);

  // Fainter, then a changed shadow path.
  {
    NoActions na;
    card.layer->setShadowOpacity(0.25);
    pathCard->setShadowPath(Path::rect(Rect(0, 0, 10, 20)));
  }
  comp.renderFrame(root);
  EXPECT_NEAR(pixel(comp, 80, 115).a, green.a / 4.0, 1);
  EXPECT_GT(pixel(comp, 145, 120).b, 200);
  EXPECT_TRUE(isClear(pixel(comp, 175, 120)));
  expectSameAsFreshFrame(comp, root);

  // Dropped on request; the next frame makes them anew, alike.
  comp.purgeCaches();
  EXPECT_EQ(comp.cacheStats().entries, 0u);
  uint64_t misses = comp.cacheStats().misses;
  comp.invalidate();
  comp.renderFrame(root);
  EXPECT_EQ(comp.cacheStats().misses, misses + 2);
  expectSameAsFreshFrame(comp, root);
}

TEST(CompositorTest, ShadowCastByTheDrawingFollowsSublayerChanges) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  Card card;
  root->addSublayer(card.layer);
  comp.renderFrame(root);
  EXPECT_EQ(comp.cacheStats().misses, 1u);

  // A new colour leaves the alpha alone: the shadow is kept, the card shows the colour.
  {
    NoActions na;
    card.dot->setBackgroundColor(Color::green());
  }
  comp.renderFrame(root);
  EXPECT_EQ(comp.cacheStats().misses, 1u);
  EXPECT_EQ(pixel(comp, 30, 30).g, 255);
  expectSameAsFreshFrame(comp, root);

  // Sticking out of the card, the sublayer casts a shadow of its own part.
  {
    NoActions na;
    card.dot->setFrame(Rect(-15, 5, 10, 10));
  }
  comp.renderFrame(root);
  EXPECT_EQ(comp.cacheStats().misses, 2u);
  EXPECT_GT(pixel(comp, 10, 40).r, 200);  // 10 points below the dot at x 5..15
  expectSameAsFreshFrame(comp, root);

  // Hidden, it casts nothing.
  {
    NoActions na;
    card.dot->setHidden(true);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isClear(pixel(comp, 10, 40)));
  expectSameAsFreshFrame(comp, root);

  // Drawn content changing its alpha changes the shadow too.
  struct Stripe : LayerDelegate {
    double width = 10;
    void drawLayer(Layer&, Context& ctx) override {
      ctx.setFillColor(Color::black());
      ctx.fillRect(Rect(0, 0, width, 30));
    }
  } stripe;
  {
    NoActions na;
    card.layer->setBackgroundColor(std::nullopt);
    card.layer->setDelegate(&stripe);
    card.layer->setNeedsDisplay();
  }
  comp.renderFrame(root);
  EXPECT_GT(pixel(comp, 25, 55).r, 200);
  EXPECT_TRUE(isClear(pixel(comp, 50, 55)));
  stripe.width = 40;
  card.layer->setNeedsDisplay();
  comp.renderFrame(root);
  EXPECT_GT(pixel(comp, 50, 55).r, 200);
  expectSameAsFreshFrame(comp, root);
  card.layer->setDelegate(nullptr);
}

TEST(CompositorTest, CachedShadowMovesWithWholePixelsAndIsRedoneForFractions) {
  Compositor comp({100, 100}, 2);
  auto root = rootLayer(100, 100);
  Card card;
  root->addSublayer(card.layer);
  comp.renderFrame(root);
  {
    NoActions na;
    card.layer->setPosition({card.layer->position().x + 7, card.layer->position().y + 3.5});  // 7 px by 14 px
  }
  comp.renderFrame(root);
  EXPECT_EQ(comp.cacheStats().misses, 1u);
  expectSameAsFreshFrame(comp, root);
  {
    NoActions na;
    card.layer->setPosition({card.layer->position().x + 0.25, card.layer->position().y});  // half a pixel
  }
  comp.renderFrame(root);
  EXPECT_EQ(comp.cacheStats().misses, 2u);
  expectSameAsFreshFrame(comp, root);
  // Turned, the card is blurred again as well.
  {
    NoActions na;
    card.layer->setTransform(Transform3D::rotation(0.3, 0, 0, 1));
  }
  comp.renderFrame(root);
  EXPECT_EQ(comp.cacheStats().misses, 3u);
  expectSameAsFreshFrame(comp, root);
}

TEST(CompositorTest, CachedShadowBelongsToItsLayerNotToItsAddress) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  // Two layers made by the same calls have the same revision: only their identity tells them apart.
  auto make = [&](const Color& c) {
    NoActions na;
    auto l = solid(Rect(20, 20, 40, 30), c);
    l->setShadowColor(c);
    l->setShadowOpacity(1);
    l->setShadowRadius(2);
    l->setShadowOffset({0, 35});
    return l;
  };
  auto blue = make(Color::blue());
  root->addSublayer(blue);
  comp.renderFrame(root);
  EXPECT_EQ(pixel(comp, 40, 70).b, 255);
  const Layer* oldAddress = blue.get();
  blue->removeFromSuperlayer();
  blue.reset();
  // Try for a layer at the freed address (the allocator usually hands it out again).
  std::vector<std::shared_ptr<Layer>> spare;
  auto green = make(Color::green());
  for (int i = 0; i < 64 && green.get() != oldAddress; ++i) {
    spare.push_back(green);
    green = make(Color::green());
  }
  root->addSublayer(green);
  comp.renderFrame(root);
  Px p = pixel(comp, 40, 70);
  EXPECT_EQ(p.b, 0);
  EXPECT_GT(p.g, 100);
  EXPECT_EQ(pixel(comp, 40, 30).g, 255);
  expectSameAsFreshFrame(comp, root);
  EXPECT_EQ(comp.cacheStats().entries, 1u);

  // Layers that leave the tree leave the cache.
  green->removeFromSuperlayer();
  comp.renderFrame(root);
  EXPECT_EQ(comp.cacheStats().entries, 0u);
  EXPECT_EQ(comp.cacheStats().bytes, 0u);

  // Once forgotten, the address is free for the next layer; it is drawn as itself.
  oldAddress = green.get();
  green.reset();
  spare.clear();
  auto red = make(Color::red());
  for (int i = 0; i < 64 && red.get() != oldAddress; ++i) {
    spare.push_back(red);
    red = make(Color::red());
  }
  root->addSublayer(red);
  comp.renderFrame(root);
  EXPECT_TRUE(isRed(pixel(comp, 40, 30)));
  EXPECT_GT(pixel(comp, 40, 70).r, 100);
  EXPECT_EQ(pixel(comp, 40, 70).g, 0);
  expectSameAsFreshFrame(comp, root);
}

TEST(CompositorTest, AnimatedShadowAndSublayersAreDrawnAtTheirPresentationValues) {
  core::Clock::setVirtual(true);
  {
    Compositor comp({100, 100}, 1);
    auto root = rootLayer(100, 100);
    Card card;
    root->addSublayer(card.layer);
    comp.renderFrame(root);
    auto radius = BasicAnimation::withKeyPath("shadowRadius");
    radius->fromValue = 0.0;
    radius->toValue = 12.0;
    radius->duration = 1;
    card.layer->addAnimation(radius, "radius");
    auto slide = BasicAnimation::withKeyPath("position.x");
    slide->fromValue = 0.0;
    slide->toValue = 40.0;
    slide->duration = 1;
    card.dot->addAnimation(slide, "slide");
    for (int i = 0; i < 4; ++i) {
      core::Clock::advance(0.2);
      comp.renderFrame(root);
      expectSameAsFreshFrame(comp, root);
    }
    card.layer->removeAllAnimations();
    card.dot->removeAllAnimations();
    comp.renderFrame(root);
    expectSameAsFreshFrame(comp, root);
  }
  core::Clock::setVirtual(false);
}

TEST(CompositorTest, ShapeExtentFollowsPathAndStrokeChanges) {
  Compositor comp({100, 100}, 1);
  auto root = rootLayer(100, 100);
  auto shape = Layer::create(LayerKind::Shape);
  {
    NoActions na;
    shape->setFrame(Rect(0, 0, 100, 100));
    shape->setPath(Path::rect(Rect(20, 20, 20, 20)));
    shape->setFillColor(std::nullopt);
    shape->setStrokeColor(Color::red());
    shape->setLineWidth(2);
    root->addSublayer(shape);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isRed(pixel(comp, 20, 30)));
  EXPECT_TRUE(isClear(pixel(comp, 16, 30)));
  // A thicker stroke reaches past the old extent: the frame redraws up to the new one.
  {
    NoActions na;
    shape->setLineWidth(10);
  }
  Rect dirty = comp.renderFrame(root);
  EXPECT_TRUE(dirty.contains(Rect(15, 15, 30, 30)));
  EXPECT_TRUE(isRed(pixel(comp, 16, 30)));
  expectSameAsFreshFrame(comp, root);
  // A new path: the old one goes, the new one shows.
  {
    NoActions na;
    shape->setPath(Path::rect(Rect(60, 60, 20, 20)));
  }
  dirty = comp.renderFrame(root);
  EXPECT_TRUE(dirty.contains(Rect(55, 55, 30, 30)));
  EXPECT_TRUE(isClear(pixel(comp, 20, 30)));
  EXPECT_TRUE(isRed(pixel(comp, 56, 70)));
  // Square caps on an open path reach past its ends.
  {
    NoActions na;
    Path line;
    line.moveTo({50, 10});
    line.lineTo({90, 10});
    shape->setPath(line);
    shape->setLineWidth(8);
    shape->setLineCap(LineCap::Square);
  }
  comp.renderFrame(root);
  EXPECT_TRUE(isRed(pixel(comp, 47, 10)));
  EXPECT_TRUE(isRed(pixel(comp, 92, 10)));
  expectSameAsFreshFrame(comp, root);
}

TEST(CompositorTest, TranslucentLeafLayersLookAsThroughAGroup) {
  // Each leaf at 0.4 on the left; on the right the same leaf, opaque, in a container at 0.4,
  // which draws through a group.
  auto thumb = [] {
    std::vector<uint32_t> px(16 * 16);
    for (int i = 0; i < 256; ++i) px[i] = (i / 16 + i % 16) % 2 ? 0xff00ff00u : 0x80000080u;
    return Image::fromPixels(16, 16, std::move(px), 1);
  }();
  Compositor comp({120, 100}, 2);
  auto root = rootLayer(120, 100);
  {
    NoActions na;
    root->setBackgroundColor(Color(0.9, 0.8, 0.1));
  }
  auto leaves = [&](double opacity) {
    NoActions na;
    std::vector<std::shared_ptr<Layer>> out;
    out.push_back(solid(Rect(5, 5, 40, 20), Color::red()));
    out.push_back(solid(Rect(5, 30, 40, 20), Color(0, 0, 1, 0.5)));
    out.back()->setCornerRadius(7);
    out.push_back(Layer::create());
    out.back()->setFrame(Rect(5, 55, 40, 40));
    out.back()->setContents(thumb);
    out.back()->setTransform(Transform3D::rotation(0.2, 0, 0, 1));
    for (auto& l : out) l->setOpacity(opacity);
    return out;
  };
  for (auto& l : leaves(0.4)) root->addSublayer(l);
  for (auto& l : leaves(1)) {
    NoActions na;
    auto container = Layer::create();
    container->setFrame(Rect(60, 0, 60, 100));
    container->setOpacity(0.4);
    container->addSublayer(l);
    root->addSublayer(container);
  }
  comp.renderFrame(root);
  auto snap = comp.snapshot();
  ASSERT_TRUE(snap);
  int worst = 0, painted = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 110; ++x) {
      uint32_t a = snap->pixelAt(x, y), b = snap->pixelAt(x + 120, y);
      for (int sh = 0; sh < 32; sh += 8) worst = std::max(worst, std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)));
      painted += a != snap->pixelAt(239, 199);
    }
  }
  EXPECT_LE(worst, 2);  // rounding only
  EXPECT_GT(painted, 3000);
  // Red at 0.4 over the yellow background.
  Px red = pixel(comp, 20, 20);
  EXPECT_EQ(red.a, 255);
  EXPECT_NEAR(red.r, (0.4 + 0.6 * 0.9) * 255, 1.5);
  EXPECT_NEAR(red.g, 0.6 * 0.8 * 255, 1.5);
}

}  // namespace
}  // namespace gfx

namespace gfx {
namespace {

// A strip 100 high turned by +60° and its sublayer turned back by -60° about the same (x) axis:
// in a Transform layer the turns cancel and the sublayer lies flat, full height; in a plain
// layer each turn is flattened on its own and the sublayer shrinks to a quarter (cos 60° twice).
int paintedRows(LayerKind outerKind) {
  Compositor comp({200, 200}, 1);
  auto root = rootLayer(200, 200);
  NoActions na;
  auto outer = Layer::create(outerKind);
  outer->setFrame(Rect(50, 50, 100, 100));
  outer->setTransform(Transform3D::rotation(M_PI / 3, 1, 0, 0));
  auto inner = solid(Rect(0, 0, 100, 100), Color::red());
  inner->setTransform(Transform3D::rotation(-M_PI / 3, 1, 0, 0));
  outer->addSublayer(inner);
  root->addSublayer(outer);
  comp.renderFrame(root);
  int rows = 0;
  for (int y = 0; y < 200; ++y) rows += isRed(pixel(comp, 100, y)) ? 1 : 0;
  return rows;
}

TEST(CompositorTest, ATransformLayerKeepsItsSublayersIn3D) {
  EXPECT_NEAR(paintedRows(LayerKind::Transform), 100, 1);
  EXPECT_NEAR(paintedRows(LayerKind::Plain), 25, 1);
}

}  // namespace
}  // namespace gfx
