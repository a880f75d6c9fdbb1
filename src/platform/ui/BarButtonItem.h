#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/gfx/Color.h"

namespace gfx {
class Image;
}

namespace ui {

// With the platform's numbers.
enum class BarButtonItemStyle { Plain = 0, Bordered = 1, Done = 2 };

// One entry of a toolbar: a button showing a title or an image, or a space between buttons,
// either of a fixed width or sharing what the bar has left with the other flexible spaces. The
// bar showing it refreshes on changes; tapping an enabled button runs its action.
class BarButtonItem {
 public:
  using ImagePtr = std::shared_ptr<const gfx::Image>;
  using Action = std::function<void(BarButtonItem& item)>;
  enum class Kind { Button, FlexibleSpace, FixedSpace };

  BarButtonItem(std::string title, BarButtonItemStyle style, Action action = nullptr)
      : m_title(std::move(title)), m_style(style), m_action(std::move(action)) {}
  BarButtonItem(ImagePtr image, BarButtonItemStyle style, Action action = nullptr)
      : m_image(std::move(image)), m_style(style), m_action(std::move(action)) {}
  static std::shared_ptr<BarButtonItem> flexibleSpace();
  static std::shared_ptr<BarButtonItem> fixedSpace(double width);

  Kind kind() const { return m_kind; }
  const std::optional<std::string>& title() const { return m_title; }
  void setTitle(std::optional<std::string> title);
  const ImagePtr& image() const { return m_image; }
  void setImage(ImagePtr image);
  // Plain shows the title in the tint; bordered and done show a button in the tint, done in bold.
  BarButtonItemStyle style() const { return m_style; }
  void setStyle(BarButtonItemStyle style);
  // A button's width when positive (else it fits its content); a fixed space's width.
  double width() const { return m_width; }
  void setWidth(double width);
  bool isEnabled() const { return m_enabled; }
  void setEnabled(bool enabled);
  // The button's colour; the bar's tint when unset.
  const std::optional<gfx::Color>& tintColor() const { return m_tintColor; }
  void setTintColor(std::optional<gfx::Color> color);
  int tag() const { return m_tag; }
  void setTag(int tag) { m_tag = tag; }
  const Action& action() const { return m_action; }
  void setAction(Action action) { m_action = std::move(action); }

  // Set by the toolbar that shows the item.
  void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

 private:
  explicit BarButtonItem(Kind kind, double width) : m_kind(kind), m_width(width) {}
  void changed() {
    if (m_changed) m_changed();
  }

  Kind m_kind = Kind::Button;
  std::optional<std::string> m_title;
  ImagePtr m_image;
  BarButtonItemStyle m_style = BarButtonItemStyle::Plain;
  double m_width = 0;
  bool m_enabled = true;
  std::optional<gfx::Color> m_tintColor;
  int m_tag = 0;
  Action m_action;
  std::function<void()> m_changed;
};

}  // namespace ui
