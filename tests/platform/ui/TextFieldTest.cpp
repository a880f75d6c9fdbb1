#include "platform/ui/TextField.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/gfx/Color.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Window.h"
#include "support/InkRuns.h"
#include "support/UiHarness.h"

namespace ui {
// Readable ranges in failure messages.
inline void PrintTo(const TextRange& r, std::ostream* os) { *os << "{" << r.location << ", " << r.length << "}"; }
}  // namespace ui

using gfx::Rect;
using ui::Keyboard;
using ui::TextField;
using ui::TextRange;

namespace {

// Writes every delegate call, control event and notification of the fields into one log.
struct Journal : ui::TextFieldDelegate {
  std::vector<std::string> log;
  bool allowBegin = true;
  bool allowEnd = true;
  bool allowReturn = true;
  bool allowClear = true;
  std::function<bool(TextRange, const std::string&)> allowChange;
  std::vector<std::pair<TextRange, std::string>> changes;

  std::string nameOf(TextField& f) const { return f.tag() ? std::to_string(f.tag()) + ":" : ""; }
  bool textFieldShouldBeginEditing(TextField& f) override {
    log.push_back(nameOf(f) + "shouldBegin");
    return allowBegin;
  }
  void textFieldDidBeginEditing(TextField& f) override { log.push_back(nameOf(f) + "didBegin"); }
  bool textFieldShouldEndEditing(TextField& f) override {
    log.push_back(nameOf(f) + "shouldEnd");
    return allowEnd;
  }
  void textFieldDidEndEditing(TextField& f) override { log.push_back(nameOf(f) + "didEnd"); }
  bool shouldChangeCharactersInRange(TextField&, TextRange range, const std::string& text) override {
    changes.emplace_back(range, text);
    return allowChange ? allowChange(range, text) : true;
  }
  bool textFieldShouldClear(TextField& f) override {
    log.push_back(nameOf(f) + "shouldClear");
    return allowClear;
  }
  bool textFieldShouldReturn(TextField& f) override {
    log.push_back(nameOf(f) + "shouldReturn");
    return allowReturn;
  }

  void watch(TextField& f) {
    f.setDelegate(this);
    f.addTarget(this, [this](ui::Control& c, const ui::Event*) { log.push_back(nameOf(static_cast<TextField&>(c)) + "event:begin"); },
                ui::ControlEventEditingDidBegin);
    f.addTarget(this, [this](ui::Control& c, const ui::Event*) { log.push_back(nameOf(static_cast<TextField&>(c)) + "event:changed"); },
                ui::ControlEventEditingChanged);
    f.addTarget(this, [this](ui::Control& c, const ui::Event*) { log.push_back(nameOf(static_cast<TextField&>(c)) + "event:end"); },
                ui::ControlEventEditingDidEnd);
  }
};

class TextFieldTest : public support::ScreenTest {
 protected:
  TextFieldTest() {
    Keyboard::shared().reset();
    auto& center = core::NotificationCenter::defaultCenter();
    for (const char* name : {TextField::TextDidBeginEditingNotification, TextField::TextDidChangeNotification,
                             TextField::TextDidEndEditingNotification, Keyboard::WillShowNotification,
                             Keyboard::WillHideNotification}) {
      m_observations.emplace_back(center, name, nullptr, [this](const core::Notification& n) {
        std::string prefix;
        if (auto* f = static_cast<TextField*>(n.object); f && f->tag()) prefix = std::to_string(f->tag()) + ":";
        journal.log.push_back(prefix + "note:" + n.name);
        lastObject = n.object;
      });
    }
  }
  ~TextFieldTest() override {
    window().endEditing(true);
    m_observations.clear();
    Keyboard::shared().reset();
  }

  std::shared_ptr<TextField> addField(const Rect& frame, int tag = 0) {
    auto f = TextField::create(frame);
    f->setTag(tag);
    window().addSubview(f);
    journal.watch(*f);
    return f;
  }

  gfx::Point clearButtonPoint(const TextField& f) {
    return f.convertPointTo(f.clearButtonRectForBounds(f.bounds()).center(), nullptr);
  }

  // Whether any pixel of the region (points) is within `tolerance` of the colour on every channel.
  static bool hasColor(const gfx::Image& image, const Rect& region, uint32_t argb, int tolerance = 24) {
    for (double y = region.minY(); y < region.maxY(); y += 0.5) {
      for (double x = region.minX(); x < region.maxX(); x += 0.5) {
        uint32_t c = colorAt(image, {x, y});
        bool near = true;
        for (int shift : {0, 8, 16}) {
          int a = int((c >> shift) & 0xFF), b = int((argb >> shift) & 0xFF);
          if (std::abs(a - b) > tolerance) near = false;
        }
        if (near && (c >> 24) == 0xFF) return true;
      }
    }
    return false;
  }

  static uint32_t argbOf(const gfx::Color& c) {
    auto byte = [](double v) { return uint32_t(std::lround(v * 255)); };
    return 0xFF000000u | byte(c.r()) << 16 | byte(c.g()) << 8 | byte(c.b());
  }

  Journal journal;
  void* lastObject = nullptr;

 private:
  std::vector<core::Observation> m_observations;
};

using Log = std::vector<std::string>;

}  // namespace

TEST_F(TextFieldTest, BeginAndEndEditingInOrder) {
  auto f = addField(Rect(100, 100, 300, 40));
  tap(*f);
  EXPECT_TRUE(f->isFirstResponder());
  EXPECT_TRUE(f->isEditing());
  EXPECT_EQ(journal.log, (Log{"shouldBegin", "didBegin", "event:begin", "note:TextFieldTextDidBeginEditingNotification",
                              "note:KeyboardWillShowNotification"}));
  EXPECT_EQ(lastObject, nullptr);  // the keyboard's notifications have no object

  journal.log.clear();
  EXPECT_TRUE(f->resignFirstResponder());
  EXPECT_FALSE(f->isEditing());
  EXPECT_EQ(window().firstResponder(), nullptr);
  EXPECT_EQ(journal.log, (Log{"shouldEnd", "didEnd", "event:end", "note:TextFieldTextDidEndEditingNotification",
                              "note:KeyboardWillHideNotification"}));
}

TEST_F(TextFieldTest, SwitchingFieldsEndsOneThenBeginsTheOther) {
  auto a = addField(Rect(100, 100, 300, 40), 1);
  auto b = addField(Rect(100, 200, 300, 40), 2);
  tap(*a);
  journal.log.clear();
  tap(*b);
  EXPECT_EQ(window().firstResponder(), b.get());
  EXPECT_FALSE(a->isEditing());
  EXPECT_EQ(journal.log, (Log{"2:shouldBegin", "1:shouldEnd", "1:didEnd", "1:event:end",
                              "1:note:TextFieldTextDidEndEditingNotification", "2:didBegin", "2:event:begin",
                              "2:note:TextFieldTextDidBeginEditingNotification"}));

  // A field that refuses to end keeps the first responder; the other does not begin.
  journal.allowEnd = false;
  journal.log.clear();
  tap(*a);
  EXPECT_EQ(window().firstResponder(), b.get());
  EXPECT_FALSE(a->isEditing());
  EXPECT_EQ(journal.log, (Log{"1:shouldBegin", "2:shouldEnd"}));
}

TEST_F(TextFieldTest, FieldsThatMayNotBeginStayIdle) {
  auto f = addField(Rect(100, 100, 300, 40));
  f->setEnabled(false);
  tap(*f);
  EXPECT_FALSE(f->becomeFirstResponder());
  EXPECT_FALSE(f->isEditing());
  EXPECT_TRUE(journal.log.empty());  // not even asked
  EXPECT_FALSE(Keyboard::shared().isVisible());

  f->setEnabled(true);
  journal.allowBegin = false;
  tap(*f);
  EXPECT_FALSE(f->isFirstResponder());
  EXPECT_EQ(journal.log, (Log{"shouldBegin"}));
  EXPECT_FALSE(type("x"));  // nothing takes the text

  auto loose = TextField::create(Rect(0, 0, 100, 30));  // in no window
  EXPECT_FALSE(loose->becomeFirstResponder());
}

TEST_F(TextFieldTest, TypingAppendsAndReportsUtf16Ranges) {
  auto f = addField(Rect(100, 100, 300, 40));
  f->setText("ab");
  EXPECT_TRUE(journal.log.empty());  // text set from code sends nothing
  tap(*f);
  journal.log.clear();
  EXPECT_TRUE(type("中"));
  EXPECT_TRUE(type("😀"));
  EXPECT_TRUE(type("c"));
  EXPECT_EQ(f->text(), "ab中😀c");
  ASSERT_EQ(journal.changes.size(), 3u);
  EXPECT_EQ(journal.changes[0].first, (TextRange{2, 0}));
  EXPECT_EQ(journal.changes[1].first, (TextRange{3, 0}));
  EXPECT_EQ(journal.changes[2].first, (TextRange{5, 0}));  // the emoji counted two units
  EXPECT_EQ(journal.changes[2].second, "c");
  EXPECT_EQ(journal.log, (Log{"event:changed", "note:TextFieldTextDidChangeNotification", "event:changed",
                              "note:TextFieldTextDidChangeNotification", "event:changed",
                              "note:TextFieldTextDidChangeNotification"}));
  EXPECT_EQ(lastObject, static_cast<void*>(f.get()));

  // Line breaks inside pasted text are dropped; invalid UTF-8 is not taken.
  EXPECT_TRUE(type("d\ne"));
  EXPECT_EQ(f->text(), "ab中😀cde");
  EXPECT_FALSE(type(std::string("\xE4\xB8", 2)));
  EXPECT_EQ(f->text(), "ab中😀cde");
}

TEST_F(TextFieldTest, BackspaceRemovesWholeCharacters) {
  auto f = addField(Rect(100, 100, 300, 40));
  // e + combining acute, a flag (two regional indicators), a family joined with ZWJ, a CJK one.
  f->setText("x中e\xCC\x81🇨🇳👨‍👩‍👧");
  tap(*f);
  journal.changes.clear();
  EXPECT_TRUE(backspace());
  EXPECT_EQ(f->text(), "x中e\xCC\x81🇨🇳");
  EXPECT_EQ(journal.changes.back().first, (TextRange{8, 8}));
  EXPECT_EQ(journal.changes.back().second, "");
  EXPECT_TRUE(backspace());
  EXPECT_EQ(f->text(), "x中e\xCC\x81");
  EXPECT_EQ(journal.changes.back().first, (TextRange{4, 4}));
  EXPECT_TRUE(backspace());
  EXPECT_EQ(f->text(), "x中");
  EXPECT_EQ(journal.changes.back().first, (TextRange{2, 2}));
  EXPECT_TRUE(backspace());
  EXPECT_EQ(journal.changes.back().first, (TextRange{1, 1}));
  EXPECT_TRUE(backspace());
  EXPECT_EQ(f->text(), "");
  size_t asked = journal.changes.size();
  EXPECT_TRUE(backspace());  // on empty text: nothing to ask about
  EXPECT_EQ(journal.changes.size(), asked);
}

TEST_F(TextFieldTest, DelegateCanVetoOrRewriteChanges) {
  auto f = addField(Rect(100, 100, 300, 40));
  tap(*f);
  // Digits only, at most four: the screens' room-code field.
  journal.allowChange = [&](TextRange range, const std::string& text) {
    if (text.empty()) return true;
    if (text.find_first_not_of("0123456789") != std::string::npos) return false;
    if (range.location + text.size() > 4) {
      f->setText(f->text() + text.substr(0, 4 - range.location));
      return false;
    }
    return true;
  };
  type("12");
  journal.log.clear();
  type("a");
  EXPECT_EQ(f->text(), "12");
  EXPECT_TRUE(journal.log.empty());  // no change, no events
  type("345");
  EXPECT_EQ(f->text(), "1234");
  EXPECT_TRUE(journal.log.empty());  // the delegate's own change sends nothing

  journal.allowChange = [](TextRange, const std::string&) { return false; };
  backspace();
  EXPECT_EQ(f->text(), "1234");
}

TEST_F(TextFieldTest, ReturnAsksTheDelegateAndEndsOnExitWhenSomeoneListens) {
  auto f = addField(Rect(100, 100, 300, 40));
  int onExit = 0;
  tap(*f);
  journal.log.clear();
  EXPECT_TRUE(type("\n"));
  EXPECT_EQ(f->text(), "");
  EXPECT_EQ(journal.log, (Log{"shouldReturn"}));
  EXPECT_TRUE(f->isFirstResponder());  // nobody listens to editing-did-end-on-exit

  f->addTarget(&onExit, [&](ui::Control&, const ui::Event*) { ++onExit; }, ui::ControlEventEditingDidEndOnExit);
  journal.allowReturn = false;
  type("\n");
  EXPECT_EQ(onExit, 0);
  EXPECT_TRUE(f->isFirstResponder());

  journal.allowReturn = true;
  journal.log.clear();
  type("\n");
  EXPECT_EQ(onExit, 1);
  EXPECT_FALSE(f->isFirstResponder());
  EXPECT_EQ(journal.log, (Log{"shouldReturn", "shouldEnd", "didEnd", "event:end",
                              "note:TextFieldTextDidEndEditingNotification", "note:KeyboardWillHideNotification"}));
}

TEST_F(TextFieldTest, ClearButtonFollowsItsModeAndClears) {
  auto f = addField(Rect(100, 100, 300, 40));
  f->setText("hello");
  f->setClearButtonMode(ui::TextFieldViewMode::WhileEditing);
  EXPECT_FALSE(f->isClearButtonVisible());
  tap(*f);
  EXPECT_TRUE(f->isClearButtonVisible());
  EXPECT_LT(f->textRectForBounds(f->bounds()).maxX(), f->clearButtonRectForBounds(f->bounds()).minX());

  journal.allowClear = false;
  journal.log.clear();
  tap(clearButtonPoint(*f));
  EXPECT_EQ(f->text(), "hello");
  EXPECT_EQ(journal.log, (Log{"shouldClear"}));

  journal.allowClear = true;
  journal.log.clear();
  tap(clearButtonPoint(*f));
  EXPECT_EQ(f->text(), "");
  EXPECT_EQ(journal.log, (Log{"shouldClear", "event:changed", "note:TextFieldTextDidChangeNotification"}));
  EXPECT_FALSE(f->isClearButtonVisible());  // no text, no button
  EXPECT_TRUE(f->isFirstResponder());

  f->setText("x");
  f->setClearButtonMode(ui::TextFieldViewMode::UnlessEditing);
  EXPECT_FALSE(f->isClearButtonVisible());
  f->resignFirstResponder();
  EXPECT_TRUE(f->isClearButtonVisible());
  f->setClearButtonMode(ui::TextFieldViewMode::Never);
  EXPECT_FALSE(f->isClearButtonVisible());
}

TEST_F(TextFieldTest, ClearsOnBeginEditingAndEndsWhenRemoved) {
  auto f = addField(Rect(100, 100, 300, 40));
  f->setText("old");
  f->setClearsOnBeginEditing(true);
  tap(*f);
  EXPECT_EQ(f->text(), "");

  // Taken out of the window while editing (even when its delegate would refuse): editing ends.
  journal.allowEnd = false;
  journal.log.clear();
  f->removeFromSuperview();
  EXPECT_FALSE(f->isEditing());
  EXPECT_EQ(window().firstResponder(), nullptr);
  EXPECT_EQ(journal.log, (Log{"shouldEnd", "didEnd", "event:end", "note:TextFieldTextDidEndEditingNotification",
                              "note:KeyboardWillHideNotification"}));
}

TEST_F(TextFieldTest, SecureEntryShowsOneBulletPerCharacter) {
  auto secure = addField(Rect(100, 100, 300, 40));
  secure->setSecureTextEntry(true);
  secure->setText("ab中e\xCC\x81😀");
  EXPECT_EQ(secure->displayedText(), "•••••");
  EXPECT_EQ(secure->text(), "ab中e\xCC\x81😀");

  // Drawn as five separate dots, narrower all together than the font's own five bullets.
  auto plain = addField(Rect(100, 200, 300, 40));
  plain->setText("•••••");
  auto image = screenshot("secure");
  ASSERT_TRUE(image);
  const auto at = [&](gfx::Point p) { return colorAt(*image, p); };
  const auto dots = support::darkRuns(at, 120, 100, 400);
  const auto glyphs = support::darkRuns(at, 220, 100, 400);
  ASSERT_EQ(dots.size(), 5u);
  ASSERT_FALSE(glyphs.empty());
  EXPECT_LT(dots.back().to - dots.front().from, glyphs.back().to - glyphs.front().from);
  // Round dots of one size, evenly spaced.
  for (size_t i = 1; i < dots.size(); ++i) {
    EXPECT_NEAR(dots[i].to - dots[i].from, dots[0].to - dots[0].from, 0.6) << i;
    EXPECT_NEAR(dots[i].from - dots[i - 1].from, dots[1].from - dots[0].from, 0.6) << i;
  }
  // Sized to the dots and the caret.
  EXPECT_NEAR(secure->sizeThatFits({}).width, 5 * (dots[1].from - dots[0].from) + 2, 3.5);
}

// A masked text longer than its field shows its last characters, editing or not: those are the
// ones that tell the typing arrived.
TEST_F(TextFieldTest, SecureTextTooLongForTheFieldShowsItsEnd) {
  auto secure = addField(Rect(100, 100, 120, 40));
  secure->setSecureTextEntry(true);
  secure->setText(std::string(30, '7'));
  auto image = screenshot("long-secure");
  ASSERT_TRUE(image);
  const auto at = [&](gfx::Point p) { return colorAt(*image, p); };
  auto dots = support::darkRuns(at, 120, 90, 230);
  ASSERT_GE(dots.size(), 2u);
  const double advance = dots[dots.size() - 1].from - dots[dots.size() - 2].from;
  // The last dot ends half a gap before the field's right edge; cut dots lie only at the left.
  EXPECT_NEAR(220 - dots.back().to, (advance - (dots[1].to - dots[1].from)) / 2, 1.0);
  EXPECT_GE(dots.front().from, 100);
  EXPECT_LE(dots.back().to, 220);

  // The same while editing, with the caret after the last dot.
  tap(*secure);
  ASSERT_TRUE(secure->isEditing());
  image = screenshot("long-secure-editing");
  ASSERT_TRUE(image);
  EXPECT_TRUE(hasColor(*image, Rect(217, 110, 3, 20), argbOf(secure->tintColor()), 8));
  dots = support::darkRuns(at, 120, 90, 217);
  ASSERT_GE(dots.size(), 2u);
  EXPECT_LT(218 - dots.back().to, advance);
}

TEST_F(TextFieldTest, DrawsPlaceholderTextAndCaret) {
  auto empty = addField(Rect(100, 100, 400, 50));
  empty->setPlaceholder("请在此输入房台码");
  empty->setPlaceholderColor(gfx::Color::rgba(0x51 / 255.0, 0x47 / 255.0, 0x86 / 255.0));
  empty->setBorderStyle(ui::TextBorderStyle::RoundedRect);
  auto filled = addField(Rect(100, 200, 400, 50));
  filled->setText("Hello 大海");
  filled->setTextColor(gfx::Color::red());
  filled->setBorderStyle(ui::TextBorderStyle::Line);
  filled->setTextAlignment(gfx::TextAlignment::Right);
  filled->setFont(gfx::Font::systemFont(30));

  auto image = screenshot("fields");
  ASSERT_TRUE(image);
  EXPECT_TRUE(hasColor(*image, Rect(100, 100, 400, 50), 0xFF514786));
  EXPECT_TRUE(hasColor(*image, Rect(300, 200, 200, 50), 0xFFFF0000));   // right-aligned text
  EXPECT_FALSE(hasColor(*image, Rect(110, 210, 100, 30), 0xFFFF0000));  // nothing at the left
  EXPECT_FALSE(hasColor(*image, Rect(100, 200, 400, 50), 0xFF514786));

  // Editing an empty field: the placeholder stays and a caret in the tint colour appears.
  tap(*empty);
  image = screenshot("editing");
  ASSERT_TRUE(image);
  EXPECT_TRUE(hasColor(*image, Rect(100, 100, 400, 50), 0xFF514786));
  gfx::Rect text = empty->textRectForBounds(empty->bounds());
  EXPECT_TRUE(hasColor(*image, Rect(100 + text.x(), 115, 2, 20), argbOf(empty->tintColor()), 8));

  // Text longer than the field keeps its end in view while editing, clipped to the field.
  type(std::string(80, 'W'));
  image = screenshot("long");
  ASSERT_TRUE(image);
  gfx::Rect caretAt = empty->convertRectTo(text, nullptr);
  EXPECT_TRUE(hasColor(*image, Rect(caretAt.maxX() - 2, 115, 2, 20), argbOf(empty->tintColor()), 8));
  EXPECT_EQ(colorAt(*image, {520, 125}), 0xFFFFFFFFu);
}

TEST_F(TextFieldTest, TextIsDrawnWholeInAFieldLowerThanItsLine) {
  auto f = addField(Rect(100, 100, 400, 14));
  f->setText("Ygzg");
  f->setTextColor(gfx::Color::red());
  f->setFont(gfx::Font::systemFont(30));
  auto image = screenshot("low");
  ASSERT_TRUE(image);
  // The descenders below the field, the capital's top above it.
  EXPECT_TRUE(hasColor(*image, Rect(100, 114, 400, 12), 0xFFFF0000));
  EXPECT_TRUE(hasColor(*image, Rect(100, 88, 400, 12), 0xFFFF0000));
}
