#pragma once

#include <cstdint>
#include <memory>

#include "platform/core/NotificationCenter.h"
#include "platform/core/Value.h"
#include "platform/gfx/Geometry.h"
#include "platform/core/WeakPtr.h"

namespace ui {

class KeyboardView;
class KeyboardWindow;
class Responder;

// The on-screen keyboard: whether it is up, where it is, and the notifications it posts on the
// default center when it comes and goes. Its keys (KeyboardView) are drawn in its frame, in a
// window of its own above every other (KeyboardWindow); they slide up from below the screen as it
// shows and back down as it hides, over the animation duration the notifications carry. The
// layout follows the keyboard type of the text field that begins editing.
//
// Text inputs (text fields) tell it when they begin and end editing. The keyboard shows when an
// input begins and none was active, and hides when the active input ends and no other takes over:
//   show: KeyboardWillChangeFrameNotification, KeyboardWillShowNotification, then after the
//         animation duration on the main run loop KeyboardDidChangeFrameNotification,
//         KeyboardDidShowNotification;
//   hide: the same with Hide.
// Each carries a user info dictionary with the begin and end frames (screen coordinates, read
// them back with rectFromValue), the animation duration (0.25) and curve (7). The object is null.
// Main thread only.
class Keyboard {
 public:
  static constexpr const char* WillShowNotification = "KeyboardWillShowNotification";
  static constexpr const char* DidShowNotification = "KeyboardDidShowNotification";
  static constexpr const char* WillHideNotification = "KeyboardWillHideNotification";
  static constexpr const char* DidHideNotification = "KeyboardDidHideNotification";
  static constexpr const char* WillChangeFrameNotification = "KeyboardWillChangeFrameNotification";
  static constexpr const char* DidChangeFrameNotification = "KeyboardDidChangeFrameNotification";

  static constexpr const char* FrameBeginUserInfoKey = "KeyboardFrameBeginUserInfoKey";
  static constexpr const char* FrameEndUserInfoKey = "KeyboardFrameEndUserInfoKey";
  static constexpr const char* AnimationDurationUserInfoKey = "KeyboardAnimationDurationUserInfoKey";
  static constexpr const char* AnimationCurveUserInfoKey = "KeyboardAnimationCurveUserInfoKey";
  static constexpr const char* IsLocalUserInfoKey = "KeyboardIsLocalUserInfoKey";

  static constexpr double AnimationDuration = 0.25;
  static constexpr int AnimationCurve = 7;

  static Keyboard& shared();

  // The keys and their window, made when the keyboard first shows (null before).
  const std::shared_ptr<KeyboardView>& view() const { return m_view; }
  const std::shared_ptr<KeyboardWindow>& window() const { return m_window; }

  bool isVisible() const { return m_visible; }
  // Where the keyboard is (screen coordinates) while it is visible; an empty rectangle otherwise.
  gfx::Rect frame() const;
  // The frame of the shown keyboard for the main screen as it is now: across the bottom of the
  // screen in the interface orientation (the application's status bar orientation), 352 points
  // high in landscape on the 1024-point-wide screen, 398 on the 1366-point-wide one (264 and 328
  // in portrait).
  static gfx::Rect shownFrame();

  // Rectangles in notification user info: written as "{{x, y}, {w, h}}" (the platform's text form
  // of a rectangle). rectFromValue also reads a dictionary with X, Y, Width and Height; anything
  // unreadable gives the zero rectangle, as reading a missing value did on the platform.
  static core::Value valueFromRect(const gfx::Rect& rect);
  static gfx::Rect rectFromValue(const core::Value& value);

  // ---- Called by text inputs ----
  // `input` became the first responder and edits now.
  void inputDidBegin(const Responder* input);
  // `input` stopped editing. The keyboard hides unless a handover is under way (see Handover) or
  // another input has begun meanwhile.
  void inputDidEnd(const Responder* input);
  // `input` is being destroyed while it may be the active one: it is forgotten, and the keyboard
  // hides on the next turn of the main run loop if nothing has begun editing by then.
  void inputDestroyed(const Responder* input);
  const Responder* activeInput() const { return m_input; }

  // Held by an input while it takes the first responder from another, so that the other input
  // ending does not hide the keyboard. When the outermost handover ends with no active input,
  // the keyboard hides.
  class Handover {
   public:
    Handover();
    ~Handover();
    Handover(const Handover&) = delete;
    Handover& operator=(const Handover&) = delete;
  };

  // While one of these lives, inputs resign without asking their delegates (View::endEditing
  // with force).
  class ForcedResign {
   public:
    ForcedResign();
    ~ForcedResign();
    ForcedResign(const ForcedResign&) = delete;
    ForcedResign& operator=(const ForcedResign&) = delete;
  };
  static bool isForcingResign();

  // Shows or hides with the notifications, whatever the inputs (tests and screens that simulate
  // the keyboard). Nothing happens when it is already in that state.
  void show();
  void hide();

  // Back to hidden with nothing pending and no notifications (tests).
  void reset();

 private:
  Keyboard();
  // Posts the pending did-notifications now, if a transition is still under way.
  void finishTransition();
  void transition(bool show);
  void hideIfIdle();
  // Slides the keys from `begin` to `end` (screen coordinates), showing their window first or
  // hiding it after.
  void present(bool show, const gfx::Rect& begin, const gfx::Rect& end);
  // The layout for the active input.
  void chooseLayout();
  // The interface turned: the window and the keys follow the screen.
  void followScreen();

  bool m_visible = false;
  gfx::Rect m_frame;
  const Responder* m_input = nullptr;
  int m_handovers = 0;
  int m_forced = 0;
  bool m_transitionPending = false;
  bool m_pendingShow = false;
  core::Value m_pendingInfo;
  std::shared_ptr<KeyboardWindow> m_window;
  std::shared_ptr<KeyboardView> m_view;
  // Counts presentations, so that a hide's end does not hide a keyboard shown again meanwhile.
  uint64_t m_presentations = 0;
  core::Observation m_orientationObserver;
  // The keys of its two kinds of delayed work, each cancelled on its own.
  core::WeakPtrFactory<Keyboard> m_transitionTarget{this};
  core::WeakPtrFactory<Keyboard> m_hideTarget{this};
};

}  // namespace ui
