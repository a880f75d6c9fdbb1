#include "assets/Pictogram.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Path.h"

namespace kt::assets {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Drawing on the 24-unit grid.
struct Pen {
  gfx::Context& c;

  void fill(const gfx::Path& p) { c.fill(p); }
  void fillEvenOdd(const gfx::Path& p) { c.fill(p, gfx::FillRule::EvenOdd); }
  void stroke(const gfx::Path& p, double width = 2) {
    c.setLineWidth(width);
    c.stroke(p);
  }
  void line(gfx::Point a, gfx::Point b, double width = 2) {
    gfx::Path p;
    p.moveTo(a);
    p.lineTo(b);
    stroke(p, width);
  }
  void polyline(std::initializer_list<gfx::Point> points, double width = 2) {
    gfx::Path p;
    p.addLines(points);
    stroke(p, width);
  }
  void polygon(std::initializer_list<gfx::Point> points) {
    gfx::Path p;
    p.addLines(points);
    p.close();
    fill(p);
  }
  void disc(double cx, double cy, double r) { fill(gfx::Path::ellipse(gfx::Rect(cx - r, cy - r, 2 * r, 2 * r))); }
  void ring(double cx, double cy, double r, double width = 2) {
    stroke(gfx::Path::ellipse(gfx::Rect(cx - r, cy - r, 2 * r, 2 * r)), width);
  }
  void box(double x, double y, double w, double h, double radius = 0) {
    fill(radius > 0 ? gfx::Path::roundedRect(gfx::Rect(x, y, w, h), radius) : gfx::Path::rect(gfx::Rect(x, y, w, h)));
  }
  void frame(double x, double y, double w, double h, double radius, double width = 2) {
    stroke(gfx::Path::roundedRect(gfx::Rect(x, y, w, h), radius), width);
  }
};

gfx::Path heartPath(double dx = 0, double dy = 0) {
  gfx::Path p;
  p.moveTo({12 + dx, 21 + dy});
  p.curveTo({3 + dx, 15 + dy}, {1 + dx, 9 + dy}, {4 + dx, 5.5 + dy});
  p.curveTo({6.5 + dx, 2.8 + dy}, {10.5 + dx, 3.5 + dy}, {12 + dx, 7 + dy});
  p.curveTo({13.5 + dx, 3.5 + dy}, {17.5 + dx, 2.8 + dy}, {20 + dx, 5.5 + dy});
  p.curveTo({23 + dx, 9 + dy}, {21 + dx, 15 + dy}, {12 + dx, 21 + dy});
  p.close();
  return p;
}

gfx::Path starPath(double cx, double cy, double outer, double inner) {
  gfx::Path p;
  for (int i = 0; i < 10; ++i) {
    const double r = i % 2 == 0 ? outer : inner;
    const double a = -kPi / 2 + i * kPi / 5;
    const gfx::Point pt{cx + r * std::cos(a), cy + r * std::sin(a)};
    if (i == 0)
      p.moveTo(pt);
    else
      p.lineTo(pt);
  }
  p.close();
  return p;
}

// A small microphone with its head at (cx, top), `s` times the full size.
void microphone(Pen& pen, double cx, double top, double s) {
  pen.box(cx - 3 * s, top, 6 * s, 11 * s, 3 * s);
  gfx::Path cup;
  cup.addArc({cx, top + 7 * s}, 5.5 * s, 0, kPi, true);
  pen.stroke(cup, 1.8 * s);
  pen.line({cx, top + 12.5 * s}, {cx, top + 17 * s}, 1.8 * s);
  pen.line({cx - 3.5 * s, top + 17.5 * s}, {cx + 3.5 * s, top + 17.5 * s}, 1.8 * s);
}

void drawKind(Pen& pen, Pictogram::Kind kind) {
  using K = Pictogram::Kind;
  switch (kind) {
    case K::Play:
      pen.polygon({{8, 4.5}, {20, 12}, {8, 19.5}});
      break;
    case K::Pause:
      pen.box(6, 5, 4.5, 14, 1);
      pen.box(13.5, 5, 4.5, 14, 1);
      break;
    case K::PlayPause:
      pen.polygon({{2.5, 6}, {11, 12}, {2.5, 18}});
      pen.box(14, 6, 3, 12, 0.8);
      pen.box(19, 6, 3, 12, 0.8);
      break;
    case K::Next:
      pen.polygon({{3, 5}, {11.5, 12}, {3, 19}});
      pen.polygon({{11, 5}, {19.5, 12}, {11, 19}});
      pen.box(19.5, 5, 2.5, 14, 0.8);
      break;
    case K::Speaker: {
      pen.polygon({{2.5, 9}, {6.5, 9}, {12, 4}, {12, 20}, {6.5, 15}, {2.5, 15}});
      gfx::Path near, far;
      near.addArc({12, 12}, 4.5, -kPi / 4, kPi / 4, true);
      far.addArc({12, 12}, 8.5, -kPi / 3, kPi / 3, true);
      pen.stroke(near, 2);
      pen.stroke(far, 2);
      break;
    }
    case K::Microphone:
      microphone(pen, 12, 2.5, 1.05);
      break;
    case K::Vocal: {
      // A note on the left, a microphone on the right.
      pen.fill(gfx::Path::ellipse(gfx::Rect(1.5, 15, 6, 4.5)));
      pen.line({7, 17}, {7, 5}, 1.8);
      pen.polyline({{7, 5}, {11, 7}}, 1.8);
      microphone(pen, 17, 3, 0.95);
      break;
    }
    case K::Heart:
      pen.fill(heartPath());
      break;
    case K::BrokenHeart: {
      // Two halves along a zigzag crack, pulled slightly apart.
      gfx::Path left, right;
      left.addLines({{-1, -1}, {12.5, -1}, {11, 7}, {13.5, 11}, {10.5, 15}, {12, 23}, {-1, 25}});
      left.close();
      right.addLines({{25, -1}, {12.5, -1}, {11, 7}, {13.5, 11}, {10.5, 15}, {12, 23}, {25, 25}});
      right.close();
      pen.c.save();
      pen.c.clipToPath(left, gfx::FillRule::NonZero);
      pen.fill(heartPath(-1.2, 0.6));
      pen.c.restore();
      pen.c.save();
      pen.c.clipToPath(right, gfx::FillRule::NonZero);
      pen.fill(heartPath(1.2, -0.4));
      pen.c.restore();
      break;
    }
    case K::Search:
      pen.ring(10, 10, 6.5, 2.6);
      pen.line({15, 15}, {20.5, 20.5}, 3.2);
      break;
    case K::Back:
      pen.polyline({{16, 3}, {7, 12}, {16, 21}}, 3.2);
      break;
    case K::ChevronRight:
      pen.polyline({{8, 3}, {17, 12}, {8, 21}}, 3.2);
      break;
    case K::Triangle:
      pen.polygon({{7, 4}, {18, 12}, {7, 20}});
      break;
    case K::Queue:
      for (int i = 0; i < 3; ++i) {
        const double y = 6 + 6 * i;
        pen.disc(4.5, y, 1.6);
        pen.line({9, y}, {21, y}, 2.2);
      }
      break;
    case K::Sung:
      for (int i = 0; i < 3; ++i) {
        const double y = 5 + 6 * i;
        pen.line({3, y}, {i == 2 ? 11.0 : 19.0, y}, 2.2);
      }
      pen.polyline({{13.5, 17}, {16.5, 20}, {22, 13.5}}, 2.4);
      break;
    case K::Glass:
      pen.polygon({{4, 4}, {20, 4}, {12, 13}});
      pen.line({12, 12}, {12, 19}, 2);
      pen.line({7.5, 20}, {16.5, 20}, 2.2);
      pen.disc(17.5, 4.5, 2.4);
      break;
    case K::Food: {
      gfx::Path bowl;
      bowl.moveTo({2.5, 12});
      bowl.lineTo({21.5, 12});
      bowl.addArc({12, 12}, 9.5, 0, kPi, true);
      bowl.close();
      pen.fill(bowl);
      pen.box(8, 20.5, 8, 1.8, 0.9);
      pen.line({13, 9.5}, {20.5, 2.5}, 1.6);
      pen.line({15.5, 10}, {22, 4.5}, 1.6);
      gfx::Path steam;
      steam.moveTo({7, 9.5});
      steam.curveTo({5, 7.5}, {9, 6}, {7, 3.5});
      pen.stroke(steam, 1.4);
      break;
    }
    case K::Bill: {
      gfx::Path paper;
      paper.addLines({{5, 2.5}, {19, 2.5}, {19, 21.5}, {16.7, 19.8}, {14.3, 21.5}, {12, 19.8}, {9.7, 21.5},
                      {7.3, 19.8}, {5, 21.5}});
      paper.close();
      pen.stroke(paper, 1.8);
      pen.line({8.5, 8}, {15.5, 8}, 1.8);
      pen.line({8.5, 12}, {15.5, 12}, 1.8);
      pen.line({8.5, 16}, {12.5, 16}, 1.8);
      break;
    }
    case K::Bell: {
      gfx::Path bell;
      bell.addArc({12, 10.5}, 6.5, kPi, 2 * kPi, true);
      bell.lineTo({18.5, 16});
      bell.lineTo({21, 18.5});
      bell.lineTo({3, 18.5});
      bell.lineTo({5.5, 16});
      bell.close();
      pen.fill(bell);
      pen.disc(12, 3.2, 1.6);
      pen.disc(12, 20.5, 2.2);
      break;
    }
    case K::Clock:
      pen.ring(12, 12, 9, 2);
      pen.polyline({{12, 6.5}, {12, 12}, {16, 14.5}}, 2);
      break;
    case K::Calendar:
      pen.frame(3, 5, 18, 16, 2.5, 2);
      pen.box(3, 5, 18, 5, 2);
      pen.line({8, 2.5}, {8, 7}, 2.2);
      pen.line({16, 2.5}, {16, 7}, 2.2);
      for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col) pen.box(6.5 + 4 * col, 12.5 + 4 * row, 2.5, 2.5, 0.5);
      break;
    case K::Timer:
      pen.ring(12, 13.5, 8, 2);
      pen.box(9.5, 1.5, 5, 2.2, 0.8);
      pen.line({12, 3.5}, {12, 5.5}, 2);
      pen.polyline({{12, 9}, {12, 13.5}, {15, 15.5}}, 2);
      break;
    case K::Computer:
      pen.frame(2.5, 3.5, 19, 13, 1.8, 2);
      pen.box(5, 6, 14, 8, 0.6);
      pen.line({12, 16.5}, {12, 20}, 2.2);
      pen.line({7, 20.5}, {17, 20.5}, 2.2);
      break;
    case K::Server:
      for (int i = 0; i < 2; ++i) {
        const double y = 3 + 9.5 * i;
        pen.frame(3, y, 18, 8, 1.8, 2);
        pen.disc(7, y + 4, 1.4);
        pen.line({11, y + 4}, {17.5, y + 4}, 1.6);
      }
      break;
    case K::Person: {
      pen.disc(12, 7.5, 4.5);
      gfx::Path body;
      body.moveTo({3, 22});
      body.curveTo({3, 15}, {7, 13}, {12, 13});
      body.curveTo({17, 13}, {21, 15}, {21, 22});
      body.close();
      pen.fill(body);
      break;
    }
    case K::Star:
      pen.fill(starPath(12, 12.8, 11, 4.6));
      break;
    case K::Flame: {
      gfx::Path flame;
      flame.moveTo({12, 1.5});
      flame.curveTo({14, 6}, {20, 9}, {19.5, 15});
      flame.curveTo({19, 20}, {15.5, 22.5}, {12, 22.5});
      flame.curveTo({8, 22.5}, {4.5, 20}, {4.5, 15.5});
      flame.curveTo({4.5, 11.5}, {7, 9.5}, {8.5, 7.5});
      flame.curveTo({8.8, 10}, {9.5, 11.5}, {11, 12});
      flame.curveTo({10, 8}, {11, 4.5}, {12, 1.5});
      flame.close();
      gfx::Path inner;
      inner.moveTo({12.5, 12.5});
      inner.curveTo({14.5, 15}, {16, 17}, {15, 19.5});
      inner.curveTo({14.2, 21}, {9.8, 21}, {9, 19});
      inner.curveTo({8.5, 17}, {10.5, 16}, {12.5, 12.5});
      inner.close();
      flame.addPath(inner);
      pen.fillEvenOdd(flame);
      break;
    }
    case K::Trophy: {
      gfx::Path cup;
      cup.moveTo({6, 3});
      cup.lineTo({18, 3});
      cup.lineTo({18, 8});
      cup.curveTo({18, 12.5}, {15, 15}, {12, 15});
      cup.curveTo({9, 15}, {6, 12.5}, {6, 8});
      cup.close();
      pen.fill(cup);
      gfx::Path handles;
      handles.addArc({6, 7.5}, 3, kPi / 2, 3 * kPi / 2, true);
      handles.moveTo({18, 4.5});
      handles.addArc({18, 7.5}, 3, -kPi / 2, kPi / 2, true);
      pen.stroke(handles, 1.8);
      pen.box(10.8, 14.5, 2.4, 4.5);
      pen.box(7, 19, 10, 2.8, 0.8);
      break;
    }
    case K::Record: {
      gfx::Path disc = gfx::Path::ellipse(gfx::Rect(2, 2, 20, 20));
      disc.addEllipse(gfx::Rect(10.5, 10.5, 3, 3));
      pen.fillEvenOdd(disc);
      // Grooves in the background colour would need a second colour; thin gaps do the same.
      pen.c.save();
      pen.c.setBlendMode(gfx::BlendMode::DestinationOut);
      pen.ring(12, 12, 7.5, 0.7);
      pen.ring(12, 12, 5, 0.7);
      pen.c.restore();
      break;
    }
    case K::Duet:
      microphone(pen, 7.5, 3, 0.85);
      microphone(pen, 16.5, 3, 0.85);
      pen.fill(heartPath().transformed(gfx::AffineTransform::make(0.28, 0, 0, 0.28, 8.6, 0)));
      break;
    case K::Cheers: {
      auto glass = [&pen](double angle, double cx) {
        pen.c.save();
        pen.c.translate(cx, 13);
        pen.c.rotate(angle);
        gfx::Path body;
        body.addLines({{-3.5, -9}, {3.5, -9}, {2.8, 1}, {-2.8, 1}});
        body.close();
        pen.stroke(body, 1.8);
        pen.box(-3.2, -4.5, 6.4, 5.5, 0.5);
        pen.line({0, 1}, {0, 7}, 1.8);
        pen.line({-3, 7.5}, {3, 7.5}, 1.8);
        pen.c.restore();
      };
      glass(-0.35, 8);
      glass(0.35, 16);
      pen.line({11, 1.5}, {10.5, 0.2}, 1.2);
      pen.line({13, 1.5}, {13.5, 0.2}, 1.2);
      break;
    }
    case K::Check:
      pen.polyline({{4.5, 12.5}, {10, 18}, {19.5, 6.5}}, 3);
      break;
    case K::Cross:
      pen.line({6, 6}, {18, 18}, 2.8);
      pen.line({18, 6}, {6, 18}, 2.8);
      break;
    case K::Plus:
      pen.line({12, 3}, {12, 21}, 3);
      pen.line({3, 12}, {21, 12}, 3);
      break;
    case K::Minus:
      pen.line({3, 12}, {21, 12}, 3);
      break;
    case K::Info:
      pen.ring(12, 12, 9.5, 2);
      pen.disc(12, 7.3, 1.5);
      pen.box(10.8, 10, 2.4, 8, 0.8);
      break;
    case K::Note:
      pen.fill(gfx::Path::ellipse(gfx::Rect(3.5, 15.5, 7, 5.5)));
      pen.fill(gfx::Path::ellipse(gfx::Rect(13.5, 13.5, 7, 5.5)));
      pen.line({9.6, 18}, {9.6, 5}, 2);
      pen.line({19.6, 16}, {19.6, 3}, 2);
      pen.polygon({{8.6, 4.5}, {20.6, 2}, {20.6, 5.5}, {8.6, 8}});
      break;
    case K::Menu:
      for (int i = 0; i < 3; ++i) pen.box(3, 4.5 + 6.5 * i, 18, 2.6, 1.3);
      break;
    case K::Remote:
      pen.frame(7, 2, 10, 20, 3, 2);
      pen.disc(12, 7, 2.2);
      pen.box(9.5, 12, 2, 2, 0.5);
      pen.box(12.5, 12, 2, 2, 0.5);
      pen.box(9.5, 16, 2, 2, 0.5);
      pen.box(12.5, 16, 2, 2, 0.5);
      break;
    case K::Gift:
      pen.box(3, 9, 18, 4, 0.8);
      pen.box(4.5, 13.5, 15, 8, 0.8);
      pen.c.save();
      pen.c.setBlendMode(gfx::BlendMode::DestinationOut);
      pen.box(11, 9, 2, 13);
      pen.c.restore();
      pen.polyline({{12, 8.5}, {8, 4}, {6, 6.5}, {12, 8.5}}, 1.6);
      pen.polyline({{12, 8.5}, {16, 4}, {18, 6.5}, {12, 8.5}}, 1.6);
      break;
  }
}

}  // namespace

void Pictogram::draw(gfx::Context& context, Kind kind, const gfx::Rect& box, const gfx::Color& color) {
  const double side = std::min(box.width(), box.height());
  if (side <= 0) return;
  // Drawn apart and then placed, so that the cut-outs of a pictogram never cut into what lies
  // beneath it.
  const gfx::Rect square(box.x() + (box.width() - side) / 2, box.y() + (box.height() - side) / 2, side, side);
  auto layer = gfx::Context::bitmap({side, side}, context.scale());
  if (!layer) return;
  layer->scaleBy(side / 24, side / 24);
  layer->setFillColor(color);
  layer->setStrokeColor(color);
  layer->setLineCap(gfx::LineCap::Round);
  layer->setLineJoin(gfx::LineJoin::Round);
  Pen pen{*layer};
  drawKind(pen, kind);
  if (auto image = layer->makeImage()) context.drawImage(*image, square);
}

}  // namespace kt::assets
