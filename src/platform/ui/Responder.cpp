#include "platform/ui/Responder.h"

#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace ui {
namespace {

// The window whose first-responder slot this responder uses: a view's own window, else the key
// window.
Window* windowFor(const Responder* r) {
  if (auto* v = dynamic_cast<const View*>(r)) {
    if (Window* w = v->window()) return w;
    return nullptr;
  }
  return Application::shared().keyWindow();
}

}  // namespace

void Responder::touchesBegan(const TouchSet& touches, const Event* event) {
  if (Responder* next = nextResponder()) next->touchesBegan(touches, event);
}

void Responder::touchesMoved(const TouchSet& touches, const Event* event) {
  if (Responder* next = nextResponder()) next->touchesMoved(touches, event);
}

void Responder::touchesEnded(const TouchSet& touches, const Event* event) {
  if (Responder* next = nextResponder()) next->touchesEnded(touches, event);
}

void Responder::touchesCancelled(const TouchSet& touches, const Event* event) {
  if (Responder* next = nextResponder()) next->touchesCancelled(touches, event);
}

bool Responder::becomeFirstResponder() {
  if (!canBecomeFirstResponder()) return false;
  Window* w = windowFor(this);
  if (!w) return false;
  Responder* current = w->firstResponder();
  if (current == this) return true;
  if (current && !current->resignFirstResponder()) return false;
  w->setFirstResponder(this);
  return true;
}

bool Responder::resignFirstResponder() {
  if (!canResignFirstResponder()) return false;
  Window* w = windowFor(this);
  if (w && w->firstResponder() == this) w->setFirstResponder(nullptr);
  return true;
}

bool Responder::isFirstResponder() const {
  Window* w = windowFor(this);
  return w && w->firstResponder() == this;
}

}  // namespace ui
