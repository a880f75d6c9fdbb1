#pragma once

#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

// The frame, inset, offset and content-size accessors the refresh family computes with: each
// setter changes only its part and keeps the rest.
namespace kt {

inline double pr_x(const ui::View& v) { return v.frame().origin.x; }
inline double pr_y(const ui::View& v) { return v.frame().origin.y; }
inline double pr_w(const ui::View& v) { return v.frame().size.width; }
inline double pr_h(const ui::View& v) { return v.frame().size.height; }
inline gfx::Size pr_size(const ui::View& v) { return v.frame().size; }
inline gfx::Point pr_origin(const ui::View& v) { return v.frame().origin; }

inline void setPr_origin(ui::View& v, gfx::Point origin) { v.setFrame(gfx::Rect(origin, v.frame().size)); }
inline void setPr_size(ui::View& v, gfx::Size size) { v.setFrame(gfx::Rect(v.frame().origin, size)); }
inline void setPr_x(ui::View& v, double x) { setPr_origin(v, {x, pr_y(v)}); }
inline void setPr_y(ui::View& v, double y) { setPr_origin(v, {pr_x(v), y}); }
inline void setPr_w(ui::View& v, double w) { setPr_size(v, {w, pr_h(v)}); }
inline void setPr_h(ui::View& v, double h) { setPr_size(v, {pr_w(v), h}); }

inline double pr_insetT(const ui::ScrollView& s) { return s.contentInset().top; }
inline double pr_insetL(const ui::ScrollView& s) { return s.contentInset().left; }
inline double pr_insetB(const ui::ScrollView& s) { return s.contentInset().bottom; }
inline double pr_insetR(const ui::ScrollView& s) { return s.contentInset().right; }
inline double pr_offsetX(const ui::ScrollView& s) { return s.contentOffset().x; }
inline double pr_offsetY(const ui::ScrollView& s) { return s.contentOffset().y; }
inline double pr_contentW(const ui::ScrollView& s) { return s.contentSize().width; }
inline double pr_contentH(const ui::ScrollView& s) { return s.contentSize().height; }

// Changes one side of the content inset.
inline void setPr_inset(ui::ScrollView& s, double gfx::EdgeInsets::*side, double value) {
  gfx::EdgeInsets i = s.contentInset();
  i.*side = value;
  s.setContentInset(i);
}
inline void setPr_insetT(ui::ScrollView& s, double top) { setPr_inset(s, &gfx::EdgeInsets::top, top); }
inline void setPr_insetL(ui::ScrollView& s, double left) { setPr_inset(s, &gfx::EdgeInsets::left, left); }
inline void setPr_insetB(ui::ScrollView& s, double bottom) { setPr_inset(s, &gfx::EdgeInsets::bottom, bottom); }
inline void setPr_insetR(ui::ScrollView& s, double right) { setPr_inset(s, &gfx::EdgeInsets::right, right); }
inline void setPr_offsetX(ui::ScrollView& s, double x) { s.setContentOffset({x, pr_offsetY(s)}); }
inline void setPr_offsetY(ui::ScrollView& s, double y) { s.setContentOffset({pr_offsetX(s), y}); }
inline void setPr_contentW(ui::ScrollView& s, double w) { s.setContentSize({w, pr_contentH(s)}); }
inline void setPr_contentH(ui::ScrollView& s, double h) { s.setContentSize({pr_contentW(s), h}); }

}  // namespace kt
