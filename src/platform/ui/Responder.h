#pragma once

#include <string>

#include <memory>
#include <vector>

namespace ui {

class Event;
class Touch;

using TouchSet = std::vector<std::shared_ptr<Touch>>;

// An object in the chain that touches and actions travel along: a touch a view does not handle
// goes to its next responder (the superview, or the view controller that owns the view).
// Responders are held by std::shared_ptr.
class Responder : public std::enable_shared_from_this<Responder> {
 public:
  virtual ~Responder() = default;

  virtual Responder* nextResponder() const { return nullptr; }

  // The defaults pass the touches on to the next responder.
  virtual void touchesBegan(const TouchSet& touches, const Event* event);
  virtual void touchesMoved(const TouchSet& touches, const Event* event);
  virtual void touchesEnded(const TouchSet& touches, const Event* event);
  virtual void touchesCancelled(const TouchSet& touches, const Event* event);

  // First responder: the object that receives typed text and actions without a target. At most one
  // per window.
  virtual bool canBecomeFirstResponder() const { return false; }
  virtual bool canResignFirstResponder() const { return true; }
  virtual bool becomeFirstResponder();
  virtual bool resignFirstResponder();

  // Text typed into a responder that takes text (text fields); true when it was taken.
  virtual bool insertText(const std::string& text) {
    (void)text;
    return false;
  }
  virtual bool deleteBackward() { return false; }
  bool isFirstResponder() const;

 protected:
  Responder() = default;
};

}  // namespace ui
