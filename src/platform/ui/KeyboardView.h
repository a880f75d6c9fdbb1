#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/Window.h"

namespace ui {

enum class KeyboardType;

// The keys of the on-screen keyboard, drawn in the frame ui::Keyboard reports.
//
// Letters: the letter rows with delete and return, and a row of "123", space and "123", which
// turns the keys to digits and punctuation (whose "ABC" turns them back). The number pad: the
// digits 0-9 in a block of three columns with delete beside the 0, and no return, as a tablet's;
// the decimal pad adds a decimal point and a fourth column of delete and return.
// A key is typed when the finger that pressed it lifts over it (several fingers at once each
// type their own key): its text, "\n" for return, or a backspace, into the first responder of
// Application::textInputWindow, as typed text from a real keyboard goes.
class KeyboardView : public View {
 public:
  enum class Layout { Letters, Digits, NumberPad, DecimalPad };
  enum class KeyKind { Character, Space, Delete, Return, ToDigits, ToLetters };
  struct Key {
    KeyKind kind = KeyKind::Character;
    std::string text;  // what it types ("\n" for return, "\b" for delete) or its label (the page keys)
    gfx::Rect frame;   // in the view's bounds
  };

  static std::shared_ptr<KeyboardView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<KeyboardView>(frame);
  }
  explicit KeyboardView(const gfx::Rect& frame = gfx::Rect());

  // The layout a text field of this keyboard type starts with.
  static Layout layoutFor(KeyboardType type);
  Layout layout() const { return m_layout; }
  void setLayout(Layout layout);

  // The keys of the current layout in the current bounds.
  const std::vector<Key>& keys() const;
  // The key at a point of the bounds (between keys: the nearest one of the row); null outside.
  const Key* keyAt(gfx::Point p) const;

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

 private:
  void press(const Key& key);
  void drawKey(gfx::Context& ctx, const Key& key, bool pressed) const;
  // The index of the key at `p`, -1 when none.
  int keyIndexAt(gfx::Point p) const;
  void setPressed(const Touch* touch, int index);

  Layout m_layout = Layout::Letters;
  mutable std::vector<Key> m_keys;
  mutable gfx::Size m_keysSize{-1, -1};
  mutable Layout m_keysLayout = Layout::Letters;
  // The fingers on the keys and the key under each.
  std::vector<std::pair<const Touch*, int>> m_pressed;
};

// The window the keyboard is shown in: above every other window, alerts included. It takes the
// touches that land on the keyboard and lets every other one through to the windows below.
class KeyboardWindow : public Window {
 public:
  static constexpr double WindowLevelKeyboard = 10000000;

  explicit KeyboardWindow(const gfx::Rect& frame);
  std::shared_ptr<View> hitTest(gfx::Point p, const Event* event) override;
};

}  // namespace ui
