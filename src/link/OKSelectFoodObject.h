#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/OKFolioObject.h"
#include "app/RecordField.h"

namespace kt {

using FolioList = std::vector<std::shared_ptr<OKFolioObject>>;

// A room's basket together with the header of the last pricing reply, and the order out from it.
//
// An order is out from the moment its request (114) is written until its reply comes or the
// link it went on is gone. It belongs to the basket, not to a screen, so a basket screen opened
// meanwhile neither sends the basket again nor loses track of it. What the guest must still be
// told of an order whose screen has gone (its answer lost with the link, or a refusal) waits
// here as the order notice until a basket screen shows it.
class OKSelectFoodObject {
  KT_TEXT(ErrorCode, "")
  KT_TEXT(ErrorMsg, KT_UNSET)
  KT_TEXT(HasMultFreeItems, "")
  KT_TEXT(MultFreeCount, "")
  KT_TEXT(MultFreeItemsSetID, "")
  KT_TEXT(GroupID, "")
  KT_TEXT(DataCount, "")
  // The basket lines in the order shown and submitted, and the lines the dish being chosen replaces.
  KT_FIELD_NAMED(FolioList, foodSetArray, setFoodSetArray, {})
  KT_FIELD_NAMED(FolioList, oldChoiceArray, setOldChoiceArray, {})

 public:
  FolioList& foodSetArray() { return m_foodSetArray; }
  FolioList& oldChoiceArray() { return m_oldChoiceArray; }

  // Whether an order from this basket awaits its reply.
  bool isOrderOut() const { return m_orderOut.has_value(); }
  // The lines that went out with that order, as records of the basket.
  const FolioList* orderLines() const { return m_orderOut ? &*m_orderOut : nullptr; }
  // The order of these lines has just been written.
  void setOrderOut(FolioList lines) { m_orderOut = std::move(lines); }
  // The server accepted the order out: exactly its lines leave the basket; a line added since
  // stays. Nothing leaves when no order is out (a reply to nothing of ours).
  void orderAccepted() {
    if (m_orderOut) {
      for (const auto& sent : *m_orderOut) std::erase(m_foodSetArray, sent);
    }
    m_orderOut.reset();
  }
  // The server refused it, or its answer will not come: the basket keeps every line.
  void orderEnded() { m_orderOut.reset(); }

  // What a basket screen still has to tell the guest about an order, or nullopt.
  const std::optional<std::string>& orderNotice() const { return m_orderNotice; }
  void setOrderNotice(std::optional<std::string> notice) { m_orderNotice = std::move(notice); }
  // Answers the notice and forgets it: it is shown once.
  std::optional<std::string> takeOrderNotice() { return std::exchange(m_orderNotice, std::nullopt); }

 private:
  std::optional<FolioList> m_orderOut;
  std::optional<std::string> m_orderNotice;
};

}  // namespace kt
