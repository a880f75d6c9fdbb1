#include "widgets/feedback/ScrollViewPRRefresh.h"

#include <algorithm>
#include <vector>

#include "platform/core/ThreadCheck.h"
#include "platform/core/WeakPtr.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/TableView.h"
#include "widgets/feedback/PRRefreshFooter.h"
#include "widgets/feedback/PRRefreshHeader.h"

namespace kt {
namespace {

// The slots of one scroll view, found by the scroll view's identity and dropped once it is gone.
struct Slots {
  core::WeakToken scrollView;
  std::weak_ptr<PRRefreshHeader> header;
  std::weak_ptr<PRRefreshFooter> footer;
  PRReloadDataBlock reloadDataBlock;
  bool observesReloads = false;
};

// Main thread only.
std::vector<Slots>& allSlots() {
  static std::vector<Slots> slots;
  return slots;
}

// The key of the reload observer the family puts on a scroll view: a part of the scroll view.
const char g_reloadObserverPart = 0;

core::WeakToken tokenOf(const ui::ScrollView& scrollView) { return core::WeakToken(scrollView.weak_from_this()); }

Slots* findSlots(const ui::ScrollView& scrollView) {
  KT_ASSERT_MAIN_THREAD();
  auto& slots = allSlots();
  std::erase_if(slots, [](const Slots& s) { return s.scrollView.expired(); });
  core::WeakToken token = tokenOf(scrollView);
  auto it = std::find_if(slots.begin(), slots.end(), [&](const Slots& s) { return s.scrollView == token; });
  return it == slots.end() ? nullptr : &*it;
}

// Slots exist only for scroll views held by shared pointers (every view in a hierarchy is).
Slots* slotsFor(ui::ScrollView& scrollView) {
  if (Slots* s = findSlots(scrollView)) return s;
  if (scrollView.weak_from_this().expired()) return nullptr;
  allSlots().push_back(Slots{tokenOf(scrollView), {}, {}, nullptr, false});
  return &allSlots().back();
}

template <class Control>
void replaceControl(ui::ScrollView& scrollView, std::weak_ptr<Control> Slots::*slot, const std::shared_ptr<Control>& control) {
  Slots* slots = slotsFor(scrollView);
  if (!slots) return;
  auto current = (slots->*slot).lock();
  if (current == control) return;
  if (current) current->removeFromSuperview();
  if (control) scrollView.insertSubview(control, 0);
  // Looked up again: inserting ran the control's attachment, which may have added slots.
  if (Slots* again = findSlots(scrollView)) again->*slot = control;
}

}  // namespace

std::shared_ptr<PRRefreshHeader> pr_header(const ui::ScrollView& scrollView) {
  Slots* s = findSlots(scrollView);
  return s ? s->header.lock() : nullptr;
}

void setMj_header(ui::ScrollView& scrollView, const std::shared_ptr<PRRefreshHeader>& header) {
  replaceControl(scrollView, &Slots::header, header);
}

std::shared_ptr<PRRefreshFooter> pr_footer(const ui::ScrollView& scrollView) {
  Slots* s = findSlots(scrollView);
  return s ? s->footer.lock() : nullptr;
}

void setMj_footer(ui::ScrollView& scrollView, const std::shared_ptr<PRRefreshFooter>& footer) {
  replaceControl(scrollView, &Slots::footer, footer);
}

int64_t pr_totalDataCount(ui::ScrollView& scrollView) {
  int64_t total = 0;
  if (auto* table = dynamic_cast<ui::TableView*>(&scrollView)) {
    for (int section = 0, n = table->numberOfSections(); section < n; ++section) total += table->numberOfRowsInSection(section);
  } else if (auto* collection = dynamic_cast<ui::CollectionView*>(&scrollView)) {
    for (int section = 0, n = collection->numberOfSections(); section < n; ++section) {
      total += collection->numberOfItemsInSection(section);
    }
  }
  return total;
}

PRReloadDataBlock pr_reloadDataBlock(const ui::ScrollView& scrollView) {
  Slots* s = findSlots(scrollView);
  return s ? s->reloadDataBlock : nullptr;
}

void setMj_reloadDataBlock(ui::ScrollView& scrollView, PRReloadDataBlock block) {
  Slots* slots = slotsFor(scrollView);
  if (!slots) return;
  slots->reloadDataBlock = std::move(block);
  if (slots->observesReloads) return;
  slots->observesReloads = true;
  // Every reload of a table or collection view runs the block.
  std::weak_ptr<ui::Responder> weak = scrollView.weak_from_this();
  scrollView.addReloadObserver(core::WeakToken(weak, &g_reloadObserverPart), [weak] {
    if (auto scroll = std::static_pointer_cast<ui::ScrollView>(weak.lock())) executeReloadDataBlock(*scroll);
  });
}

void executeReloadDataBlock(ui::ScrollView& scrollView) {
  PRReloadDataBlock block = pr_reloadDataBlock(scrollView);
  if (block) block(pr_totalDataCount(scrollView));
}

}  // namespace kt
