#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/gfx/TextLayout.h"
#include "platform/ui/Control.h"

namespace gfx {
class Font;
class Image;
}  // namespace gfx

namespace ui {

class TextField;

// Numbered as the platform numbered them, so stored numbers convert with static_cast.
enum class TextBorderStyle { None = 0, Line = 1, Bezel = 2, RoundedRect = 3 };
enum class TextFieldViewMode { Never = 0, WhileEditing = 1, UnlessEditing = 2, Always = 3 };
enum class KeyboardType {
  Default = 0, ASCIICapable = 1, NumbersAndPunctuation = 2, URL = 3, NumberPad = 4, PhonePad = 5,
  NamePhonePad = 6, EmailAddress = 7, DecimalPad = 8,
};
enum class ReturnKeyType {
  Default = 0, Go = 1, Google = 2, Join = 3, Next = 4, Route = 5, Search = 6, Send = 7, Yahoo = 8,
  Done = 9, EmergencyCall = 10, Continue = 11,
};

// A range of text in UTF-16 code units, as the platform counted.
struct TextRange {
  size_t location = 0;
  size_t length = 0;
  friend bool operator==(const TextRange&, const TextRange&) = default;
};

// What a text field asks and tells while it is edited. Every operation is optional: the defaults
// allow everything, which is what the platform did when the delegate left one out.
class TextFieldDelegate {
 public:
  virtual ~TextFieldDelegate() = default;
  virtual bool textFieldShouldBeginEditing(TextField&) { return true; }
  virtual void textFieldDidBeginEditing(TextField&) {}
  virtual bool textFieldShouldEndEditing(TextField&) { return true; }
  virtual void textFieldDidEndEditing(TextField&) {}
  // Before typed text replaces `range` (UTF-16 units) of the text; false keeps the text as it is.
  // Deleting backwards asks with the deleted range and an empty replacement.
  virtual bool shouldChangeCharactersInRange(TextField&, TextRange /*range*/, const std::string& /*replacement*/) {
    return true;
  }
  // The clear button was tapped; false keeps the text.
  virtual bool textFieldShouldClear(TextField&) { return true; }
  // The return key was pressed; false ignores it.
  virtual bool textFieldShouldReturn(TextField&) { return true; }
};

// A one-line editable text.
//
// A tap makes it the window's first responder (when it is enabled and the delegate agrees), and
// the keyboard comes up (ui::Keyboard). While it is the first responder, typed text goes to its
// end and backspace removes the last character:
//   begin: textFieldShouldBeginEditing, [the previous first responder resigns],
//          textFieldDidBeginEditing, ControlEventEditingDidBegin, TextDidBeginEditingNotification;
//   typing: shouldChangeCharactersInRange (false vetoes), the change, ControlEventEditingChanged,
//          TextDidChangeNotification;
//   return: textFieldShouldReturn, ControlEventEditingDidEndOnExit; when some target listens to
//          that event, the field then resigns;
//   end:   textFieldShouldEndEditing (not asked when forced), textFieldDidEndEditing,
//          ControlEventEditingDidEnd, TextDidEndEditingNotification.
// Notifications are posted on the default center with the field (TextField*) as their object.
// Setting the text from code sends none of these.
class TextField : public Control {
 public:
  static constexpr const char* TextDidBeginEditingNotification = "TextFieldTextDidBeginEditingNotification";
  static constexpr const char* TextDidChangeNotification = "TextFieldTextDidChangeNotification";
  static constexpr const char* TextDidEndEditingNotification = "TextFieldTextDidEndEditingNotification";

  static std::shared_ptr<TextField> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<TextField>(frame);
  }
  explicit TextField(const gfx::Rect& frame = gfx::Rect());
  ~TextField() override;

  // Not owned: the caller keeps the delegate alive while it is set, or clears it.
  TextFieldDelegate* delegate() const { return m_delegate; }
  void setDelegate(TextFieldDelegate* delegate) { m_delegate = delegate; }

  // ---- Text and placeholder (UTF-8) ----
  const std::string& text() const { return m_text; }
  void setText(const std::string& text);
  const std::string& placeholder() const { return m_placeholder; }
  void setPlaceholder(const std::string& placeholder);
  // The placeholder's colour (70% grey when unset).
  gfx::Color placeholderColor() const;
  void setPlaceholderColor(std::optional<gfx::Color> color);
  // A placeholder in its own colour in one call (the attributed placeholder of the screens).
  void setAttributedPlaceholder(const std::string& placeholder, std::optional<gfx::Color> color);

  // ---- Appearance ----
  // The system font at 17 points when unset.
  const std::shared_ptr<const gfx::Font>& font() const { return m_font; }
  void setFont(std::shared_ptr<const gfx::Font> font);
  const gfx::Color& textColor() const { return m_textColor; }
  void setTextColor(const gfx::Color& color);
  gfx::TextAlignment textAlignment() const { return m_alignment; }
  void setTextAlignment(gfx::TextAlignment alignment);
  TextBorderStyle borderStyle() const { return m_borderStyle; }
  void setBorderStyle(TextBorderStyle style);
  // Stretched over the bounds, under the text; replaces the border when set.
  const std::shared_ptr<const gfx::Image>& background() const { return m_background; }
  void setBackground(std::shared_ptr<const gfx::Image> image);
  const std::shared_ptr<const gfx::Image>& disabledBackground() const { return m_disabledBackground; }
  void setDisabledBackground(std::shared_ptr<const gfx::Image> image);
  // Stored only: the text is clipped, never shrunk.
  bool adjustsFontSizeToFitWidth() const { return m_adjustsFontSize; }
  void setAdjustsFontSizeToFitWidth(bool adjusts) { m_adjustsFontSize = adjusts; }
  double minimumFontSize() const { return m_minimumFontSize; }
  void setMinimumFontSize(double size) { m_minimumFontSize = size; }

  // ---- Text input traits ----
  // Shown as one round dot per character, sized from the font's point size (not its glyphs), so
  // a masked field holds more characters than its font's own bullets would fit; a masked text
  // longer than the field shows its end.
  bool isSecureTextEntry() const { return m_secure; }
  void setSecureTextEntry(bool secure);
  // The on-screen keyboard's layout while the field edits (letters, digits, number pad); text
  // typed on a real keyboard reaches the field whatever the type.
  KeyboardType keyboardType() const { return m_keyboardType; }
  void setKeyboardType(KeyboardType type) { m_keyboardType = type; }
  ReturnKeyType returnKeyType() const { return m_returnKeyType; }
  void setReturnKeyType(ReturnKeyType type) { m_returnKeyType = type; }

  // ---- Editing ----
  bool isEditing() const { return m_editing; }
  bool clearsOnBeginEditing() const { return m_clearsOnBeginEditing; }
  void setClearsOnBeginEditing(bool clears) { m_clearsOnBeginEditing = clears; }
  // A small round button at the right that clears the text (after textFieldShouldClear); shown
  // only when there is text.
  TextFieldViewMode clearButtonMode() const { return m_clearButtonMode; }
  void setClearButtonMode(TextFieldViewMode mode);
  bool isClearButtonVisible() const;

  // ---- Side views (owned as subviews while set) ----
  const std::shared_ptr<View>& leftView() const { return m_leftView; }
  void setLeftView(std::shared_ptr<View> view);
  TextFieldViewMode leftViewMode() const { return m_leftViewMode; }
  void setLeftViewMode(TextFieldViewMode mode);
  const std::shared_ptr<View>& rightView() const { return m_rightView; }
  void setRightView(std::shared_ptr<View> view);
  TextFieldViewMode rightViewMode() const { return m_rightViewMode; }
  void setRightViewMode(TextFieldViewMode mode);

  // ---- Geometry (bounds coordinates; subclasses may move things) ----
  virtual gfx::Rect borderRectForBounds(const gfx::Rect& bounds) const;
  virtual gfx::Rect textRectForBounds(const gfx::Rect& bounds) const;
  virtual gfx::Rect placeholderRectForBounds(const gfx::Rect& bounds) const;
  virtual gfx::Rect editingRectForBounds(const gfx::Rect& bounds) const;
  virtual gfx::Rect clearButtonRectForBounds(const gfx::Rect& bounds) const;
  virtual gfx::Rect leftViewRectForBounds(const gfx::Rect& bounds) const;
  virtual gfx::Rect rightViewRectForBounds(const gfx::Rect& bounds) const;
  // What the text reads as on screen: the text itself, or one bullet per character for secure
  // entry (drawn as dots, see isSecureTextEntry).
  std::string displayedText() const;

  // ---- Responder ----
  bool canBecomeFirstResponder() const override;
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  bool insertText(const std::string& text) override;
  bool deleteBackward() override;

  // ---- View ----
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  // The text's line is drawn whole, centred on the text's rectangle, even where the field is
  // lower than the line (unless it clips to its bounds).
  gfx::EdgeInsets drawingInsetsForLayer(gfx::Layer& layer) override;
  void layoutSubviews() override;
  gfx::Size sizeThatFits(gfx::Size size) const override;
  void endTracking(const Touch* touch, const Event* event) override;
  void didMoveToWindow() override;

 protected:
  // What the text drawn in `rect` is clipped to: the rectangle across, the font's line up and down.
  gfx::Rect lineClip(const gfx::Rect& rect) const;
  // Draws the text (or placeholder) in `rect`; the field has drawn its border and background.
  virtual void drawTextInRect(gfx::Context& ctx, const gfx::Rect& rect);
  virtual void drawPlaceholderInRect(gfx::Context& ctx, const gfx::Rect& rect);

 private:
  // Replaces `range` (UTF-16 units) with `replacement` after asking the delegate; sends the
  // change events. Returns whether the text changed.
  bool replace(TextRange range, const std::string& replacement);
  void textChanged();
  void didEndEditing();
  void clearTapped();
  bool isModeShowing(TextFieldViewMode mode) const;
  gfx::TextStyle textStyle(const gfx::Color& color) const;
  // Secure entry: the characters shown as dots, and the room each takes across.
  size_t maskedCount() const;
  double maskAdvance() const;
  void post(const char* name);

  TextFieldDelegate* m_delegate = nullptr;
  std::string m_text;
  std::string m_placeholder;
  std::optional<gfx::Color> m_placeholderColor;
  std::shared_ptr<const gfx::Font> m_font;
  gfx::Color m_textColor = gfx::Color::black();
  gfx::TextAlignment m_alignment = gfx::TextAlignment::Left;
  TextBorderStyle m_borderStyle = TextBorderStyle::None;
  std::shared_ptr<const gfx::Image> m_background;
  std::shared_ptr<const gfx::Image> m_disabledBackground;
  bool m_adjustsFontSize = false;
  double m_minimumFontSize = 0;
  bool m_secure = false;
  KeyboardType m_keyboardType = KeyboardType::Default;
  ReturnKeyType m_returnKeyType = ReturnKeyType::Default;
  bool m_editing = false;
  bool m_clearsOnBeginEditing = false;
  TextFieldViewMode m_clearButtonMode = TextFieldViewMode::Never;
  std::shared_ptr<View> m_leftView;
  TextFieldViewMode m_leftViewMode = TextFieldViewMode::Never;
  std::shared_ptr<View> m_rightView;
  TextFieldViewMode m_rightViewMode = TextFieldViewMode::Never;
};

}  // namespace ui
