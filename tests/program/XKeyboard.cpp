#include "XKeyboard.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

Display* dpy(void* d) { return static_cast<Display*>(d); }

}  // namespace

XKeyboard::XKeyboard(const std::string& display) : m_display(XOpenDisplay(display.c_str())) {}

XKeyboard::~XKeyboard() {
  if (m_display) XCloseDisplay(dpy(m_display));
}

bool XKeyboard::pressF11() {
  Display* d = dpy(m_display);
  int event = 0, error = 0, major = 0, minor = 0;
  if (!d || !XTestQueryExtension(d, &event, &error, &major, &minor)) return false;
  Window root = 0, parent = 0, *children = nullptr, found = 0;
  unsigned n = 0;
  if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) return false;
  XWindowAttributes a{};
  for (unsigned i = 0; i < n && !found; ++i)
    if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable) found = children[i];
  if (children) XFree(children);
  const KeyCode key = XKeysymToKeycode(d, XK_F11);
  if (!found || !key) return false;
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(d, found, DefaultRootWindow(d), a.width / 2, a.height / 2, &x, &y, &child);
  XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
  XTestFakeKeyEvent(d, key, True, CurrentTime);
  XTestFakeKeyEvent(d, key, False, CurrentTime);
  XSync(d, False);
  return true;
}
