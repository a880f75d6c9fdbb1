#include "assets/Artwork.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <filesystem>
#include <fstream>
#include <set>

#include "assets/Painter.h"
#include "assets/Pictogram.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Path.h"

namespace kt::assets {

namespace {

using gfx::Color;
using gfx::Path;
using gfx::Rect;
using gfx::Size;
using K = Pictogram::Kind;
namespace pal = palette;

constexpr double kPi = 3.14159265358979323846;

Rect whole(Size s) { return Rect(0, 0, s.width, s.height); }

void glyph(Painter& p, K kind, const Rect& box, const Color& color) { Pictogram::draw(p.context(), kind, box, color); }

// ---- Styles shared by several pictures ----

// A screen background; `seed` makes each screen's lights fall differently.
Artwork::Draw backdrop(unsigned seed, Color top = pal::dusk(), Color bottom = pal::night()) {
  return [=](Painter& p, Size s) { p.backdrop(s, top, bottom, seed); };
}

// A bar across the screen: dark gradient with a light rim on the edge that faces the content.
Artwork::Draw bar(bool rimAtBottom) {
  return [=](Painter& p, Size s) {
    p.fillVertical(Path::rect(whole(s)), pal::hex(0x2a2160), pal::hex(0x151036));
    p.glow(whole(s), {s.width / 2, rimAtBottom ? s.height : 0.0}, s.width * 0.4, pal::violet().withAlpha(0.25));
    const double y = rimAtBottom ? s.height - 1 : 0;
    p.fillLinear(Path::rect(Rect(0, y, s.width, 1)), pal::violet().withAlpha(0.2), pal::cyan().withAlpha(0.8),
                 {0, y}, {s.width, y});
  };
}

// The colours of a pressable face, normal or pressed.
struct Face {
  Color top, bottom, rim, ink;
};
Face normalFace() { return {pal::hex(0x6a54e8), pal::hex(0x3d2d9e), pal::hex(0x9d8cff), pal::text()}; }
Face pressedFace() { return {pal::hex(0xff7ab5), pal::hex(0xc23c7e), pal::hex(0xffb3d4), Color(1, 1, 1)}; }
Face face(bool pressed) { return pressed ? pressedFace() : normalFace(); }

// A rounded button with a label and, when `withGlyph`, a pictogram before it.
Artwork::Draw labelledButton(std::string label, bool pressed, std::optional<K> icon = std::nullopt,
                             double fontScale = 0.42) {
  return [=](Painter& p, Size s) {
    const Face f = face(pressed);
    const Rect r = whole(s).insetBy(1, 1);
    p.buttonFace(r, std::min(r.height() / 2, 14.0), f.top, f.bottom, f.rim);
    const double fontSize = s.height * fontScale;
    if (icon) {
      const double side = s.height * 0.5;
      const double textWidth = label.size() / 3.0 * fontSize * 1.05;  // CJK labels: three bytes a character
      const double start = (s.width - side - 8 - textWidth) / 2;
      glyph(p, *icon, Rect(start, (s.height - side) / 2, side, side), f.ink);
      p.text(label, Rect(start + side + 8, 0, textWidth + 4, s.height), fontSize, f.ink, true,
             gfx::TextAlignment::Left);
    } else {
      p.text(label, Rect(4, 0, s.width - 8, s.height), fontSize, f.ink, true);
    }
  };
}

// A pictogram alone, filling the frame.
Artwork::Draw icon(K kind, Color color) {
  return [=](Painter& p, Size s) { glyph(p, kind, whole(s), color); };
}

// A pictogram with a short label beside it, for the small pictures of the navigation bar and the
// module row of the home screen.
Artwork::Draw iconWithLabel(K kind, Color iconColor, std::string label, Color textColor, double fontSize) {
  return [=](Painter& p, Size s) {
    const double side = std::min(s.height, fontSize * 1.5);
    const double textWidth = label.size() / 3.0 * fontSize * 1.02;
    const double gap = fontSize * 0.3;
    const double start = std::max(0.0, (s.width - side - gap - textWidth) / 2);
    glyph(p, kind, Rect(start, (s.height - side) / 2, side, side), iconColor);
    p.text(label, Rect(start + side + gap, 0, s.width - start - side - gap, s.height), fontSize, textColor, true,
           gfx::TextAlignment::Left);
  };
}

// A text field frame: light lavender so that the dark purple typing colour reads well.
Artwork::Draw field(double radiusFraction) {
  return [=](Painter& p, Size s) {
    const Rect r = whole(s).insetBy(1, 1);
    const double radius = r.height() * radiusFraction;
    p.fillVertical(Path::roundedRect(r, radius), pal::hex(0xe9ecff), pal::hex(0xcfd5f7));
    p.stroke(Path::roundedRect(r, radius), pal::hex(0x9aa3dd), 1.2);
  };
}

// A card of the dark theme: raised panel with a rim.
void card(Painter& p, const Rect& r, double radius, Color top = pal::hex(0x2d2a6e), Color bottom = pal::hex(0x1a1845)) {
  p.fillVertical(Path::roundedRect(r, radius), top, bottom);
  p.stroke(Path::roundedRect(r.insetBy(0.75, 0.75), radius), pal::panelEdge().withAlpha(0.8), 1.5);
}

// A thin line across its frame.
Artwork::Draw line(Color color) {
  return [=](Painter& p, Size s) { p.fill(Path::rect(whole(s)), color); };
}

// A chevron that fills its frame, pointing left or right.
Artwork::Draw chevron(bool left, Color color) {
  return [=](Painter& p, Size s) {
    const double w = std::max(1.5, s.width * 0.2);
    const double x0 = w / 2 + 0.5, x1 = s.width - w / 2 - 0.5;
    Path path;
    path.moveTo({left ? x1 : x0, w / 2 + 0.5});
    path.lineTo({left ? x0 : x1, s.height / 2});
    path.lineTo({left ? x1 : x0, s.height - w / 2 - 0.5});
    p.stroke(path, color, w);
  };
}

// A large remote-control key: a disc with the pictogram and the caption under it.
Artwork::Draw remoteKey(K kind, std::string caption, bool pressed) {
  return [=](Painter& p, Size s) {
    const Face f = face(pressed);
    const double d = std::min(s.width - 8, s.height - 46);
    const Rect disc((s.width - d) / 2, 4, d, d);
    if (!pressed) p.glow(whole(s), disc.center(), d * 0.62, pal::violet().withAlpha(0.35));
    p.buttonFace(disc, d / 2, f.top, f.bottom, f.rim);
    glyph(p, kind, disc.insetBy(d * 0.26, d * 0.26), f.ink);
    p.text(caption, Rect(0, disc.maxY() + 8, s.width, s.height - disc.maxY() - 12), 17,
           pressed ? pal::pink() : pal::text(), true);
  };
}

// One of the six style tiles of the home screen: a gradient card with a large pictogram, leaving
// the lower strip for the title the screen puts there.
Artwork::Draw styleTile(K kind, uint32_t from, uint32_t to, Color iconColor) {
  return [=](Painter& p, Size s) {
    const Rect r = whole(s).insetBy(2, 2);
    p.fillLinear(Path::roundedRect(r, 14), pal::hex(from), pal::hex(to), {0, 0}, {s.width, s.height});
    p.glow(r, {s.width * 0.75, s.height * 0.2}, s.width * 0.6, Color(1, 1, 1, 0.18));
    p.fillVertical(Path::roundedRect(Rect(r.x(), s.height * 0.74, r.width(), r.maxY() - s.height * 0.74), 0),
                   Color(0, 0, 0, 0.0), Color(0, 0, 0, 0.35));
    p.stroke(Path::roundedRect(r, 14), Color(1, 1, 1, 0.25), 1.5);
    const double side = s.height * 0.5;
    glyph(p, kind, Rect((s.width - side) / 2, s.height * 0.14, side, side), iconColor);
  };
}

// A corner mark of the scan window: an L in the corner given by (right, bottom).
Artwork::Draw scanCorner(bool right, bool bottom) {
  return [=](Painter& p, Size s) {
    const double t = std::max(3.0, s.width * 0.16);
    p.fill(Path::rect(Rect(right ? s.width - t : 0, 0, t, s.height)), pal::cyan());
    p.fill(Path::rect(Rect(0, bottom ? s.height - t : 0, s.width, t)), pal::cyan());
  };
}

// A check box of the option lists.
Artwork::Draw checkBox(bool checked) {
  return [=](Painter& p, Size s) {
    const Rect r = whole(s).insetBy(1.5, 1.5);
    if (checked) {
      p.fillVertical(Path::ellipse(r), pal::violet(), pal::hex(0x4a34c0));
      glyph(p, K::Check, r.insetBy(r.width() * 0.18, r.height() * 0.18), Color(1, 1, 1));
    } else {
      p.fill(Path::ellipse(r), Color(1, 1, 1, 0.06));
      p.stroke(Path::ellipse(r), pal::muted(), 1.5);
    }
  };
}

// A key of the password pad: light, so that its black digit reads; darker when pressed.
Artwork::Draw padKey(bool round, bool pressed, std::optional<K> kind = std::nullopt) {
  return [=](Painter& p, Size s) {
    const Rect r = whole(s).insetBy(1, 1);
    const double radius = round ? std::min(r.width(), r.height()) / 2 : 8;
    p.buttonFace(r, radius, pressed ? pal::hex(0xb7bfea) : pal::hex(0xfafbff),
                 pressed ? pal::hex(0x959fd6) : pal::hex(0xdde2f7), pal::hex(0x8c96cf));
    if (kind) glyph(p, *kind, r.insetBy(r.width() * 0.25, r.height() * 0.22), pal::hex(0x2b2560));
  };
}

// A backspace key: a key with a left-pointing tag holding a cross.
void backspaceGlyph(Painter& p, const Rect& r, Color color) {
  const double h = r.height() * 0.5, w = h * 1.5;
  const double x = r.midX() - w / 2, y = r.midY() - h / 2;
  Path tag;
  tag.addLines({{x, y + h / 2}, {x + h * 0.45, y}, {x + w, y}, {x + w, y + h}, {x + h * 0.45, y + h}});
  tag.close();
  p.stroke(tag, color, 1.8);
  const double cx = x + w * 0.6, cy = y + h / 2, a = h * 0.2;
  Path cross;
  cross.moveTo({cx - a, cy - a});
  cross.lineTo({cx + a, cy + a});
  cross.moveTo({cx + a, cy - a});
  cross.lineTo({cx - a, cy + a});
  p.stroke(cross, color, 1.8);
}

// An order card of the bill list: a panel with a heading band and a dashed divider.
Artwork::Draw orderCard(Color accent) {
  return [=](Painter& p, Size s) {
    const Rect r = whole(s).insetBy(1, 1);
    card(p, r, 16);
    p.fillLinear(Path::roundedRect(Rect(r.x(), r.y(), r.width(), 70), 16), accent.withAlpha(0.55),
                 accent.withAlpha(0.05), {0, 0}, {s.width, 0});
    p.context().save();
    p.context().setStrokeColor(pal::panelEdge());
    p.context().setLineWidth(1);
    p.context().setLineDash(0, {6, 5});
    Path dash;
    dash.moveTo({24, 215});
    dash.lineTo({s.width - 24, 215});
    p.context().stroke(dash);
    p.context().restore();
    p.fill(Path::ellipse(Rect(-8, 207, 16, 16)), pal::night());
    p.fill(Path::ellipse(Rect(s.width - 8, 207, 16, 16)), pal::night());
  };
}

// The tail of a chat bubble in the bubble's colour, pointing away from the bubble.
Artwork::Draw bubbleTail(bool pointsLeft, Color color) {
  return [=](Painter& p, Size s) {
    Path tail;
    const double tip = pointsLeft ? 0 : s.width, base = pointsLeft ? s.width : 0;
    tail.moveTo({base, s.height * 0.15});
    tail.curveTo({(base + tip) / 2, s.height * 0.2}, {tip, s.height * 0.35}, {tip, s.height * 0.5});
    tail.curveTo({tip, s.height * 0.62}, {(base + tip) / 2, s.height * 0.8}, {base, s.height * 0.85});
    tail.close();
    p.fill(tail, color);
  };
}

// The mask of the spinning ring: opaque at one end of the turn, fading to nothing at the other.
void angleMask(Painter& p, Size s) {
  const gfx::Point c{s.width / 2, s.height / 2};
  const double radius = std::hypot(s.width, s.height) / 2;
  const int slices = 90;
  for (int i = 0; i < slices; ++i) {
    const double a0 = -kPi / 2 + 2 * kPi * i / slices, a1 = -kPi / 2 + 2 * kPi * (i + 1.05) / slices;
    Path wedge;
    wedge.moveTo(c);
    wedge.addArc(c, radius, a0, a1, true);
    wedge.close();
    p.fill(wedge, Color(0, 0, 0, (i + 1.0) / slices));
  }
}

// ---- The table ----

void addBaseScreen(std::vector<Artwork>& out) {
  // The frame every song screen shares: the bar, its back mark and the content background, and
  // the food screens' full background.
  out.push_back({"NavBarBg", {1024, 79}, bar(true)});
  out.push_back({"Return_selected", {16, 30}, chevron(true, pal::text())});
  out.push_back({"Bg2", {1024, 689}, backdrop(1)});
  out.push_back({"Default-Landscape", {1024, 768}, [](Painter& p, Size s) {
                   p.backdrop(s, pal::hex(0x1f1850), pal::night(), 7);
                   glyph(p, K::Microphone, Rect(s.width / 2 - 90, s.height / 2 - 110, 180, 180),
                         Color(1, 1, 1, 0.05));
                 }});
}

void addTabBar(std::vector<Artwork>& out) {
  // The custom tab bar at the bottom of the main screen and its two buttons.
  out.push_back({"TabBarBg_replace", {1024, 108}, bar(false)});
  out.push_back({"TarBar3_replace", {258, 99}, [](Painter& p, Size s) {
                   glyph(p, K::Note, Rect(s.width / 2 - 20, 14, 40, 40), pal::text());
                   p.text("点歌", Rect(0, 60, s.width, 26), 17, pal::text(), true);
                 }});
  for (bool selected : {false, true}) {
    out.push_back({selected ? "tabBar_icon_me_replace" : "tabBar_icon_me_default_replace",
                   {252, 117},
                   [selected](Painter& p, Size s) {
                     const Face f = face(selected);
                     const Rect disc(s.width / 2 - 36, 4, 72, 72);
                     p.buttonFace(disc, 36, f.top, f.bottom, f.rim);
                     glyph(p, K::Person, disc.insetBy(18, 18), f.ink);
                     p.text("我的", Rect(0, 82, s.width, 26), 17, selected ? pal::pink() : pal::text(), true);
                   }});
  }
}

void addSongHome(std::vector<Artwork>& out) {
  // The song home screen: its bar pictures, search bar, banner placeholder, module row, style
  // tiles, recommendation heading and the round remote-control button.
  out.push_back({"SongsHomePageBg", {1024, 689}, backdrop(2)});
  out.push_back({"Logo_varlo", {60, 25}, iconWithLabel(K::Glass, pal::gold(), "酒水", pal::text(), 13)});
  out.push_back({"AlreadySelect", {60, 25}, iconWithLabel(K::Queue, pal::cyan(), "已选", pal::text(), 13)});
  out.push_back({"AlreadySing", {60, 25}, iconWithLabel(K::Sung, pal::cyan(), "已唱", pal::text(), 13)});
  out.push_back({"Binding", {152, 20}, [](Painter& p, Size s) {
                   glyph(p, K::Remote, Rect(6, 1, 18, 18), pal::cyan());
                   p.text("点击绑定包房", Rect(26, 0, s.width - 30, s.height), 15, pal::text(), true,
                          gfx::TextAlignment::Left);
                 }});
  out.push_back({"SearchBar", {962, 45}, field(0.5)});
  out.push_back({"SearchTwo", {21, 21}, icon(K::Search, pal::hex(0x514786))});
  out.push_back({"Search", {21, 21}, icon(K::Search, pal::hex(0x3d3470))});
  out.push_back({"1", {1024, 225}, [](Painter& p, Size s) {
                   p.fillLinear(Path::rect(whole(s)), pal::hex(0x3b2385), pal::hex(0x13205a), {0, 0},
                                {s.width, s.height});
                   p.glow(whole(s), {s.width * 0.3, s.height * 0.3}, s.width * 0.35, pal::pink().withAlpha(0.25));
                   glyph(p, K::Note, Rect(s.width / 2 - 150, s.height / 2 - 40, 80, 80), Color(1, 1, 1, 0.8));
                   p.text("精彩推荐", Rect(s.width / 2 - 50, 0, 260, s.height), 40, Color(1, 1, 1, 0.85), true,
                          gfx::TextAlignment::Left);
                 }});
  out.push_back({"Favourite", {256, 34}, iconWithLabel(K::Heart, pal::pink(), "最爱", pal::text(), 19)});
  out.push_back({"Hot", {256, 34}, iconWithLabel(K::Flame, pal::hex(0xff8a4c), "最热", pal::text(), 19)});
  out.push_back({"Singers", {256, 34}, iconWithLabel(K::Microphone, pal::cyan(), "歌星", pal::text(), 19)});
  out.push_back({"Style", {256, 34}, iconWithLabel(K::Menu, pal::violet(), "分类", pal::text(), 19)});
  out.push_back({"SeparateLine2", {1024, 2}, line(pal::hex(0x2c3468))});
  const struct {
    K kind;
    uint32_t from, to;
    Color ink;
  } tiles[] = {
      {K::Trophy, 0x6b3fd6, 0x24185e, pal::gold()},         // charts
      {K::Duet, 0xd2467f, 0x3a1a5e, Color(1, 1, 1)},        // duets
      {K::Record, 0x2d5fcf, 0x161c4f, pal::hex(0x0c0a1e)},  // classics
      {K::Cheers, 0x1f9a9a, 0x13305a, Color(1, 1, 1)},      // friendship
      {K::Heart, 0xf06a9a, 0x5a1e5e, Color(1, 1, 1)},       // sweet
      {K::BrokenHeart, 0x4b4f8f, 0x15163a, pal::hex(0x9fb0ff)},  // heartbreak
  };
  for (int k = 0; k < 6; ++k)
    out.push_back({"Style_" + std::to_string(k + 1), {313, 228},
                   styleTile(tiles[k].kind, tiles[k].from, tiles[k].to, tiles[k].ink)});
  out.push_back({"RecommondLogo", {25, 24}, icon(K::Star, pal::gold())});
  out.push_back({"RemoteControl", {80, 80}, [](Painter& p, Size s) {
                   p.glow(whole(s), {s.width / 2, s.height / 2}, s.width / 2, pal::violet().withAlpha(0.5));
                   const Rect disc = whole(s).insetBy(6, 6);
                   p.buttonFace(disc, disc.width() / 2, pal::hex(0x7b5cff), pal::hex(0x3b2aa0), pal::hex(0xb5a8ff));
                   glyph(p, K::Remote, disc.insetBy(16, 16), Color(1, 1, 1));
                 }});
}

void addSongLists(std::vector<Artwork>& out) {
  // The song list screens and their cells: background, placeholder picture, the row buttons of
  // the search, queue and sung-songs lists, arrows, the search screen's pictures and the choice
  // alert's card.
  out.push_back({"SuperStarsBg", {1024, 689}, backdrop(3)});
  out.push_back({"SongsDefaultPic", {100, 100}, [](Painter& p, Size s) {
                   card(p, whole(s).insetBy(1, 1), 14, pal::hex(0x34307a), pal::hex(0x1c1a4a));
                   glyph(p, K::Note, whole(s).insetBy(s.width * 0.26, s.height * 0.26), pal::muted());
                 }});
  const struct {
    const char* base;
    const char* label;
  } rowButtons[] = {{"Sing", "点歌"}, {"TopSongs", "置顶"}, {"RepeatSongs", "再唱"}};
  for (const auto& b : rowButtons) {
    out.push_back({std::string(b.base) + "_normal", {80, 40}, labelledButton(b.label, false)});
    out.push_back({std::string(b.base) + "_selected", {80, 40}, labelledButton(b.label, true)});
  }
  out.push_back({"Arrow_right", {14, 26}, chevron(false, pal::muted())});
  out.push_back({"HotSearch", {23, 26}, icon(K::Flame, pal::hex(0xff8a4c))});
  out.push_back({"Alert_chooseSongs", {492, 252}, [](Painter& p, Size s) {
                   p.fillVertical(Path::rect(whole(s)), pal::hex(0x3a2d8a), pal::hex(0x1b1748));
                   p.glow(whole(s), {s.width / 2, 0}, s.width * 0.6, pal::pink().withAlpha(0.25));
                   glyph(p, K::Microphone, Rect(s.width / 2 - 24, 26, 48, 48), Color(1, 1, 1, 0.85));
                   // The button band along the bottom.
                   p.fill(Path::rect(Rect(0, 172, s.width, s.height - 172)), Color(1, 1, 1, 0.08));
                   p.fill(Path::rect(Rect(0, 172, s.width, 1)), Color(1, 1, 1, 0.25));
                 }});
  out.push_back({"SearchMusicBar", {869, 36}, field(0.5)});
  out.push_back({"History_delete", {18, 18}, [](Painter& p, Size s) {
                   p.fill(Path::ellipse(whole(s)), pal::hex(0x8b86b0));
                   glyph(p, K::Cross, whole(s).insetBy(s.width * 0.2, s.height * 0.2), pal::hex(0xe9ecff));
                 }});
  out.push_back({"Search_history_dim", {25, 25}, icon(K::Clock, pal::muted())});
  out.push_back({"Search_delete", {25, 25}, icon(K::Cross, pal::muted())});
}

void addRemoteControl(std::vector<Artwork>& out) {
  // The remote control screen: next song, original or accompaniment, play or pause, the volume
  // and microphone bars with their signs, and the return bar with its close sign.
  out.push_back({"Search_bg", {1024, 768}, backdrop(4, pal::hex(0x261a5c), pal::night())});
  for (bool pressed : {false, true}) {
    const std::string state = pressed ? "_selected" : "_normal";
    out.push_back({"Remote_change" + state, {96, 138}, remoteKey(K::Next, "切歌", pressed)});
    out.push_back({"Remote_Original" + state, {96, 138}, remoteKey(K::Vocal, "原唱/伴唱", pressed)});
    out.push_back({"Remote_situationPlay" + state, {96, 138}, remoteKey(K::PlayPause, "播放/暂停", pressed)});
  }
  out.push_back({"Remote_controlBg", {380, 63}, [](Painter& p, Size s) {
                   const Rect r = whole(s).insetBy(1, 1);
                   p.fillVertical(Path::roundedRect(r, r.height() / 2), pal::hex(0x2e2a72), pal::hex(0x1a1748));
                   p.stroke(Path::roundedRect(r, r.height() / 2), pal::panelEdge(), 1.5);
                 }});
  out.push_back({"Romote_voice", {38, 37}, icon(K::Speaker, pal::text())});
  out.push_back({"Remote_controlSubtract", {30, 2}, line(pal::text())});
  out.push_back({"Remote_controlAdd", {30, 30}, icon(K::Plus, pal::text())});
  out.push_back({"Remote_mike", {40, 45}, icon(K::Microphone, pal::text())});
  out.push_back({"Remote_return", {1024, 80}, bar(false)});
  out.push_back({"Remote_X", {30, 30}, icon(K::Cross, pal::text())});
}

void addBinding(std::vector<Artwork>& out) {
  // The room binding screen (portrait): the scan window's moving net and corner marks, the
  // caption that opens the guide, the guide itself, and the room-code panel.
  out.push_back({"scan_net", {468, 578}, [](Painter& p, Size s) {
                   // Grid lines that grow brighter towards the bottom, where the scanning edge is.
                   const double step = 18;
                   for (double y = step; y < s.height; y += step)
                     p.fill(Path::rect(Rect(0, y, s.width, 1)), pal::cyan().withAlpha(0.35 * y / s.height));
                   for (double x = step / 2; x < s.width; x += step)
                     p.fillVertical(Path::rect(Rect(x, 0, 1, s.height)), pal::cyan().withAlpha(0.0),
                                    pal::cyan().withAlpha(0.35));
                   p.fillVertical(Path::rect(Rect(0, s.height - 60, s.width, 60)), pal::cyan().withAlpha(0),
                                  pal::cyan().withAlpha(0.35));
                   p.fill(Path::rect(Rect(0, s.height - 3, s.width, 3)), pal::cyan());
                 }});
  out.push_back({"Common_Boox_1", {27, 27}, scanCorner(false, false)});
  out.push_back({"Common_Boox_2", {27, 27}, scanCorner(true, false)});
  out.push_back({"Common_Boox_3", {27, 27}, scanCorner(false, true)});
  out.push_back({"Common_Boox_4", {27, 27}, scanCorner(true, true)});
  out.push_back({"BindingWays", {144, 22}, [](Painter& p, Size s) {
                   glyph(p, K::Info, Rect(2, 2, 18, 18), pal::cyan());
                   p.text("如何绑定包房", Rect(24, 0, s.width - 24, s.height - 2), 15, pal::cyan(), true,
                          gfx::TextAlignment::Left);
                   p.fill(Path::rect(Rect(24, s.height - 2, s.width - 26, 1)), pal::cyan().withAlpha(0.7));
                 }});
  for (bool pressed : {false, true})
    out.push_back({pressed ? "RoomCode_selected" : "RoomCode_normal", {352, 70},
                   labelledButton("输入房台码", pressed, K::Remote, 0.34)});
  out.push_back({"BindingGuide", {410, 430}, [](Painter& p, Size s) {
                   card(p, whole(s).insetBy(1, 1), 18);
                   p.text("绑定包房", Rect(0, 22, s.width, 34), 24, pal::text(), true);
                   const char* steps[] = {"扫描包房电视上的二维码", "或点击下方“输入房台码”", "输入房台码后点击“验证”"};
                   for (int i = 0; i < 3; ++i) {
                     const double y = 96 + 100 * i;
                     const Rect badge(30, y, 40, 40);
                     p.fillVertical(Path::ellipse(badge), pal::violet(), pal::hex(0x4a34c0));
                     p.text(std::to_string(i + 1), badge, 20, Color(1, 1, 1), true);
                     p.text(steps[i], Rect(84, y, s.width - 104, 40), 18, pal::text(), false,
                            gfx::TextAlignment::Left);
                   }
                   glyph(p, K::Remote, Rect(s.width - 70, s.height - 70, 44, 44), pal::muted());
                 }});
  out.push_back({"GuideDelete", {19, 19}, [](Painter& p, Size s) {
                   p.fill(Path::ellipse(whole(s)), pal::hex(0x4a4f8f));
                   glyph(p, K::Cross, whole(s).insetBy(s.width * 0.2, s.height * 0.2), Color(1, 1, 1));
                 }});
  out.push_back({"RoomCodeBg", {768, 95}, [](Painter& p, Size s) {
                   p.fillVertical(Path::rect(whole(s)), pal::hex(0x2a2160), pal::hex(0x16113a));
                   p.fill(Path::rect(Rect(0, 0, s.width, 1.5)), pal::violet().withAlpha(0.8));
                 }});
  out.push_back({"RoomCodeInput", {563, 54}, field(0.22)});
  out.push_back({"RoomCodeVerify", {100, 37}, labelledButton("验证", false)});
}

void addOrdering(std::vector<Artwork>& out) {
  // The food ordering screens: category headers and arrows, option check boxes, the package
  // chooser's group headers, the condition tags, the dish placeholder and selected mark, the gift
  // grid, the order list cards, the chat cells and the room status strip's icons.
  out.push_back({"未选中", {300, 50}, [](Painter& p, Size s) {
                   p.fillVertical(Path::rect(whole(s)), pal::hex(0xeceefd), pal::hex(0xd3d8f5));
                   p.fill(Path::rect(Rect(0, s.height - 1, s.width, 1)), pal::hex(0x9aa3dd));
                 }});
  out.push_back({"三角2", {20, 25}, icon(K::Triangle, pal::hex(0x514786))});
  out.push_back({"com_btn_checked", {24, 24}, checkBox(true)});
  out.push_back({"com_btn_check", {24, 24}, checkBox(false)});
  out.push_back({"SetMeal-05", {540, 50}, [](Painter& p, Size s) {
                   p.fillVertical(Path::rect(whole(s)), pal::hex(0x3a2f86), pal::hex(0x241c5c));
                   p.fill(Path::rect(Rect(0, s.height - 1, s.width, 1)), pal::panelEdge());
                 }});
  out.push_back({"SetMeal-03", {20, 20}, icon(K::Triangle, Color(1, 1, 1))});
  out.push_back({"SetMeal-04", {20, 20}, icon(K::Triangle, pal::muted())});
  out.push_back({"ConditionBg_Normal", {67, 30}, [](Painter& p, Size s) {
                   const Rect r = whole(s).insetBy(1, 1);
                   p.fill(Path::roundedRect(r, r.height() / 2), Color(1, 1, 1, 0.05));
                   p.stroke(Path::roundedRect(r, r.height() / 2), pal::hex(0x93979c), 1.2);
                 }});
  out.push_back({"ConditionBg_Selected", {67, 30}, [](Painter& p, Size s) {
                   const Rect r = whole(s).insetBy(1, 1);
                   p.fillVertical(Path::roundedRect(r, r.height() / 2), pal::violet(), pal::hex(0x4a34c0));
                 }});
  out.push_back({"DefaultImage", {240, 180}, [](Painter& p, Size s) {
                   card(p, whole(s).insetBy(1, 1), 8, pal::hex(0x34307a), pal::hex(0x1c1a4a));
                   glyph(p, K::Food, Rect(s.width / 2 - 40, s.height / 2 - 40, 80, 80), pal::muted());
                 }});
  out.push_back({"FoodSelectedMark", {40, 40}, [](Painter& p, Size s) {
                   const Rect r = whole(s).insetBy(3, 3);
                   p.fillVertical(Path::ellipse(r), pal::pink(), pal::hex(0xc23c7e));
                   p.stroke(Path::ellipse(r), Color(1, 1, 1), 2);
                 }});
  out.push_back({"Gift_selected", {256, 278}, [](Painter& p, Size s) {
                   const Rect r = whole(s).insetBy(2, 2);
                   p.fill(Path::roundedRect(r, 10), pal::violet().withAlpha(0.15));
                   p.stroke(Path::roundedRect(r, 10), pal::violet(), 3);
                 }});
  out.push_back({"GiftSeparateLineV", {1, 278}, line(pal::hex(0x2c3468))});
  out.push_back({"GiftSeparateLineH", {768, 1}, line(pal::hex(0x2c3468))});
  out.push_back({"Gift_1", {136, 144}, [](Painter& p, Size s) {
                   card(p, whole(s).insetBy(1, 1), 14, pal::hex(0x3b2f86), pal::hex(0x1c1a4a));
                   glyph(p, K::Gift, whole(s).insetBy(30, 30), pal::pink());
                 }});
  out.push_back({"ListMenu", {22, 22}, icon(K::Bill, pal::hex(0x34b5ca))});
  out.push_back({"ListStyle2", {648, 270}, orderCard(pal::violet())});
  out.push_back({"NormalListStyle1", {648, 270}, orderCard(pal::blue())});
  out.push_back({"Calendar", {21, 21}, icon(K::Calendar, pal::hex(0x768fb9))});
  out.push_back({"Timer", {21, 21}, icon(K::Timer, pal::hex(0x768fb9))});
  out.push_back({"UserDefaultPic", {72, 72}, [](Painter& p, Size s) {
                   p.fillVertical(Path::ellipse(whole(s)), pal::hex(0x4a4f8f), pal::hex(0x26285a));
                   glyph(p, K::Person, whole(s).insetBy(s.width * 0.22, s.height * 0.2), pal::text());
                 }});
  out.push_back({"ChatCellCorner", {30, 36}, bubbleTail(true, pal::hex(0x26325a))});
  out.push_back({"MeChatCellCorner", {30, 36}, bubbleTail(false, pal::hex(0x4f76f3))});
  out.push_back({"Computer Off", {14, 14}, icon(K::Computer, Color(1, 1, 1))});
  out.push_back({"web_server", {14, 14}, icon(K::Server, Color(1, 1, 1))});
  out.push_back({"tab_me", {14, 14}, icon(K::Person, Color(1, 1, 1))});
  out.push_back({"Clock", {14, 14}, icon(K::Clock, Color(1, 1, 1))});
}

void addWidgets(std::vector<Artwork>& out) {
  // The shared widgets: the order password pad, the banner's page dots, the star rating, the
  // progress overlay's icons and ring mask, and the pull-to-refresh arrow.
  out.push_back({"alert_inputBg", {173, 41}, field(0.2)});
  out.push_back({"alert_delete", {58, 41}, [](Painter& p, Size s) {
                   padKey(false, false)(p, s);
                   backspaceGlyph(p, whole(s), pal::hex(0x2b2560));
                 }});
  out.push_back({"alert_delete2", {58, 41}, [](Painter& p, Size s) {
                   padKey(false, true)(p, s);
                   backspaceGlyph(p, whole(s), pal::hex(0x2b2560));
                 }});
  out.push_back({"alert_numBg", {60, 60}, padKey(true, false)});
  out.push_back({"alert_numBg2", {60, 60}, padKey(true, true)});
  out.push_back({"PageCBg", {8, 8}, line(Color(1, 1, 1, 0.35))});
  out.push_back({"PageC", {8, 8}, line(pal::cyan())});
  out.push_back({"backgroundStar", {30, 30}, [](Painter& p, Size s) {
                   glyph(p, K::Star, whole(s).insetBy(1, 1), pal::hex(0x3a3f78));
                 }});
  out.push_back({"foregroundStar", {30, 30}, icon(K::Star, pal::gold())});
  // Template images of the progress overlay: only their alpha counts, they are drawn in its tint.
  out.push_back({"info", {28, 28}, icon(K::Info, Color(1, 1, 1)), "AOProgressHUD.bundle"});
  out.push_back({"success", {28, 28},
                 [](Painter& p, Size s) {
                   p.stroke(Path::ellipse(whole(s).insetBy(1.5, 1.5)), Color(1, 1, 1), 2);
                   glyph(p, K::Check, whole(s).insetBy(6, 6), Color(1, 1, 1));
                 },
                 "AOProgressHUD.bundle"});
  out.push_back({"error", {28, 28},
                 [](Painter& p, Size s) {
                   p.stroke(Path::ellipse(whole(s).insetBy(1.5, 1.5)), Color(1, 1, 1), 2);
                   glyph(p, K::Cross, whole(s).insetBy(6, 6), Color(1, 1, 1));
                 },
                 "AOProgressHUD.bundle"});
  out.push_back({"angle-mask", {40, 40}, angleMask, "AOProgressHUD.bundle"});
  out.push_back({"arrow", {15, 40},
                 [](Painter& p, Size s) {
                   Path shaft;
                   shaft.moveTo({s.width / 2, 2});
                   shaft.lineTo({s.width / 2, s.height - 4});
                   p.stroke(shaft, pal::hex(0x555a80), 2.5);
                   Path head;
                   head.moveTo({1.5, s.height - 12});
                   head.lineTo({s.width / 2, s.height - 2});
                   head.lineTo({s.width - 1.5, s.height - 12});
                   p.stroke(head, pal::hex(0x555a80), 2.5);
                 },
                 "PRRefresh.bundle"});
}

void addDesktopIcon(std::vector<Artwork>& out) {
  // The program's icon in a desktop's menu: a microphone with a note on a rounded night tile with
  // a stage light behind it. Written to "icons" (128 pixels, and 256 at twice the scale), which
  // the installation puts in the desktop's icon theme rather than among the resources.
  out.push_back({"ktv-client", {128, 128},
                 [](Painter& p, Size s) {
                   const Rect tile = whole(s).insetBy(6, 6);
                   const double radius = s.width * 0.2;
                   p.fillVertical(Path::roundedRect(tile, radius), pal::hex(0x4a35b8), pal::night());
                   p.glow(tile, {s.width * 0.5, s.height * 0.3}, s.width * 0.45, pal::pink().withAlpha(0.45));
                   p.stroke(Path::roundedRect(tile.insetBy(1, 1), radius - 1), pal::hex(0x9d8cff), 2);
                   glyph(p, K::Microphone, Rect(s.width * 0.2, s.height * 0.22, s.width * 0.5, s.height * 0.6),
                         pal::text());
                   glyph(p, K::Note, Rect(s.width * 0.58, s.height * 0.18, s.width * 0.26, s.height * 0.26),
                         pal::gold());
                 },
                 "icons"});
}

std::vector<Artwork> buildTable() {
  std::vector<Artwork> out;
  addBaseScreen(out);
  addTabBar(out);
  addSongHome(out);
  addSongLists(out);
  addRemoteControl(out);
  addBinding(out);
  addOrdering(out);
  addWidgets(out);
  addDesktopIcon(out);
  return out;
}

core::Error writeError(const std::string& path, const std::string& what) {
  core::Value::Dictionary info;
  info[core::Error::LocalizedDescriptionKey] = core::Value(what + ": " + path);
  info[core::Error::FilePathKey] = core::Value(path);
  return core::Error(core::Error::CoreDomain, core::Error::FileWriteUnknown, core::Value(std::move(info)));
}

}  // namespace

std::string Artwork::fileName(double scale) const {
  if (scale == 1) return name + ".png";
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "@%gx.png", scale);
  return name + suffix;
}

bool Artwork::drawnAt(double scale) const {
  // The desktop's icon theme takes the icon in sizes of its own, not by the interface's scales.
  return folder != "icons" || scale <= 2;
}

std::shared_ptr<gfx::Image> Artwork::render(double scale) const {
  if (!draw) return nullptr;
  auto context = gfx::Context::bitmap(size, scale);
  if (!context) return nullptr;
  Painter painter(*context);
  draw(painter, size);
  return context->makeImage();
}

const std::vector<Artwork>& Artwork::all() {
  static const std::vector<Artwork> table = buildTable();
  return table;
}

const Artwork* Artwork::find(const std::string& name) {
  for (const Artwork& a : all())
    if (a.name == name) return &a;
  return nullptr;
}

const std::vector<double>& Artwork::scales() {
  static const std::vector<double> list{1, 2, 3};
  return list;
}

std::optional<core::Error> Artwork::writeAll(const std::string& resourcesDir) {
  namespace fs = std::filesystem;
  const std::vector<Artwork>& table = all();
  std::set<std::string> folders;
  for (const Artwork& art : table) folders.insert(art.folder);
  for (const std::string& name : folders) {
    const fs::path folder = fs::path(resourcesDir) / name;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) return writeError(folder.string(), "cannot make the folder");
  }

  // Encoding the large backgrounds takes most of the time, so the pictures are shared out
  // among a few threads; each draws and writes its own files.
  const size_t jobs = table.size() * scales().size();
  std::atomic<size_t> next{0};
  std::mutex failureMutex;
  std::optional<core::Error> failure;
  auto work = [&]() {
    for (size_t job = next++; job < jobs; job = next++) {
      const Artwork& art = table[job / scales().size()];
      const double scale = scales()[job % scales().size()];
      if (!art.drawnAt(scale)) continue;
      const std::string path = (fs::path(resourcesDir) / art.folder / art.fileName(scale)).string();
      auto image = art.render(scale);
      auto png = image ? image->pngData() : std::nullopt;
      bool written = false;
      if (png) {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(png->data(), static_cast<std::streamsize>(png->size()));
        file.close();
        written = static_cast<bool>(file);
      }
      if (!written) {
        std::lock_guard<std::mutex> lock(failureMutex);
        if (!failure) failure = writeError(path, png ? "cannot write" : "cannot draw " + art.name);
        next = jobs;
      }
    }
  };
  const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < count; ++i) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  return failure;
}

}  // namespace kt::assets
