#include "XGrab.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

Display* dpy(void* d) { return static_cast<Display*>(d); }
XImage* img(void* i) { return static_cast<XImage*>(i); }

}  // namespace

XGrab::XGrab(const std::string& display) : m_display(XOpenDisplay(display.c_str())) {}

XGrab::~XGrab() {
  if (m_image) XDestroyImage(img(m_image));
  if (m_display) XCloseDisplay(dpy(m_display));
}

bool XGrab::read() {
  if (m_image) XDestroyImage(img(m_image));
  m_image = nullptr;
  Window w = outputWindow();
  if (!w) return false;
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy(m_display), w, &a)) return false;
  m_image = XGetImage(dpy(m_display), w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
  return m_image != nullptr;
}

uint32_t XGrab::at(int x, int y) const {
  XImage* i = img(m_image);
  if (!i || x < 0 || y < 0 || x >= i->width || y >= i->height) return 0x12345678u;
  return static_cast<uint32_t>(XGetPixel(i, x, y) & 0xFFFFFF);
}

void XGrab::moveTo(int x, int y) {
  Window w = outputWindow(), child = 0;
  if (!w) return;
  int rx = 0, ry = 0;
  XTranslateCoordinates(dpy(m_display), w, DefaultRootWindow(dpy(m_display)), x, y, &rx, &ry, &child);
  XTestFakeMotionEvent(dpy(m_display), -1, rx, ry, CurrentTime);
  XFlush(dpy(m_display));
}

void XGrab::leave() {
  if (!m_display) return;
  Screen* screen = DefaultScreenOfDisplay(dpy(m_display));
  XTestFakeMotionEvent(dpy(m_display), -1, WidthOfScreen(screen) - 1, HeightOfScreen(screen) - 1, CurrentTime);
  XFlush(dpy(m_display));
}

void XGrab::press(bool down) {
  if (!m_display) return;
  XTestFakeButtonEvent(dpy(m_display), 1, down ? True : False, CurrentTime);
  XFlush(dpy(m_display));
}

void XGrab::turnWheel(int notches) {
  if (!m_display) return;
  const unsigned button = notches > 0 ? 5 : 4;
  for (int i = 0; i < (notches > 0 ? notches : -notches); ++i) {
    XTestFakeButtonEvent(dpy(m_display), button, True, CurrentTime);
    XTestFakeButtonEvent(dpy(m_display), button, False, CurrentTime);
  }
  XFlush(dpy(m_display));
}

unsigned long XGrab::outputWindow() {
  if (!m_display) return 0;
  Window root = 0, parent = 0, *children = nullptr, found = 0;
  unsigned n = 0;
  if (!XQueryTree(dpy(m_display), DefaultRootWindow(dpy(m_display)), &root, &parent, &children, &n)) return 0;
  for (unsigned i = 0; i < n && !found; ++i) {
    XWindowAttributes a;
    if (XGetWindowAttributes(dpy(m_display), children[i], &a) && a.map_state == IsViewable) found = children[i];
  }
  if (children) XFree(children);
  return found;
}
