#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Value.h"
#include "platform/core/WeakPtr.h"
#include "platform/ui/View.h"

namespace ui {
class Button;
class ScrollView;
}  // namespace ui

namespace kt {

// Told which tag of a strip the guest chose. A strip holds its delegate weakly: a delegate that
// goes away is not told.
class TapsScrollViewDelegate {
 public:
  TapsScrollViewDelegate() = default;
  TapsScrollViewDelegate(const TapsScrollViewDelegate&) = delete;
  TapsScrollViewDelegate& operator=(const TapsScrollViewDelegate&) = delete;
  virtual ~TapsScrollViewDelegate() = default;

  // `index` is the chosen tag's position in the list shown, `tap` the strip's idexOfTap.
  virtual void didSelectedTheItemOfIndex(int32_t index, int32_t tap) = 0;

  core::WeakPtr<TapsScrollViewDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<TapsScrollViewDelegate> m_weakFactory{this};
};

// A horizontal strip of tag buttons for choosing one condition (a room area, a room class or a
// plain text), the chosen one highlighted. What the entries of the list are depends on
// idexOfTap: 101 room areas, 102 room classes, 103 texts.
class TapsScrollView : public ui::View {
 public:
  static constexpr int32_t RoomAreas = 101;
  static constexpr int32_t RoomClasses = 102;
  static constexpr int32_t Texts = 103;
  // Tag of the first button; button i has TagBase + i.
  static constexpr int TagBase = 1000;

  static std::shared_ptr<TapsScrollView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<TapsScrollView>(frame);
  }
  explicit TapsScrollView(const gfx::Rect& frame = gfx::Rect());
  ~TapsScrollView() override;

  // Shows one button per entry of `list`, the first one chosen, in place of what the strip
  // showed before. Entries for 101 are dictionaries whose "RoomArea_Name" dictionary holds the
  // title under "text"; for 102 the title is the "RoomClass_Name" text, or the "text" entry when
  // that is a dictionary; for 103 the entry is the title. A title that is not text shows as ""
  // (so that button i stays entry i); any other idexOfTap shows no buttons.
  void setTagMessage(const core::Value::Array& list);
  // A tag button's action: highlights `button` alone and tells the delegate its index.
  void changeStateClick(ui::Button& button);

  TapsScrollViewDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(TapsScrollViewDelegate* delegate) { m_delegate = delegate ? delegate->weakPtr() : nullptr; }
  int32_t idexOfTap() const { return m_idexOfTap; }
  void setIdexOfTap(int32_t tap) { m_idexOfTap = tap; }

  // The scroll view holding the buttons (null before the first list) and the titles shown.
  const std::shared_ptr<ui::ScrollView>& scrollV_bg() const { return m_scrollV_bg; }
  const std::vector<std::string>& arr_target() const { return m_arr_target; }

 private:
  std::shared_ptr<ui::Button> makeTagButton(size_t index, const std::string& title);

  std::shared_ptr<ui::ScrollView> m_scrollV_bg;
  std::vector<std::string> m_arr_target;
  core::WeakPtr<TapsScrollViewDelegate> m_delegate;
  int32_t m_idexOfTap = 0;
};

}  // namespace kt
