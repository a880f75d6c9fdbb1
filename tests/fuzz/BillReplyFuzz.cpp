// The bill screen reads the room server's bill reply off the link's event bus: whatever the text,
// a reply without its result is ignored, a failure keeps the lines shown, a success shows one
// line per complete 16-part record from part 27, and every line fills a bill row.

#include <string>

#include "FuzzCheck.h"
#include "FuzzRoomText.h"
#include "app/DataCenter.h"
#include "link/OKFolioObject.h"
#include "link/RoomReplies.h"
#include "order/BillViewController.h"
#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/core/TextEncoding.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "widgets/controls/EffectLabel.h"

using namespace kt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = (fuzz::useOwnHome(), true);
  (void)ready;
  const std::optional<std::string> text = fuzz::frameText(fuzz::bytes(data, size));
  if (!text) return 0;

  DataCenter::sharedInstance().setRoomNo(std::string("8808"));
  auto screen = std::make_shared<BillViewController>();
  screen->view();
  // A bill shown before the reply, to see what a failure or an ignored reply keeps.
  DataCenter::sharedInstance().forwardNoticeCode(kBusCodeTcpMessage, "000000\r\n109\r\n0\r\n");
  const auto before = screen->selectedFoods();
  KT_FUZZ_CHECK(before && before->empty());

  DataCenter::sharedInstance().forwardNoticeCode(kBusCodeTcpMessage, *text);
  const ReplyParts parts = RoomReplies::split(*text);
  const bool folio = RoomReplies::code(parts) == 109 && parts.size() >= 4;
  const bool failed = folio && parts[2] == "1";
  KT_FUZZ_CHECK(ui::AlertView::queuedAlerts().size() == (failed ? 1u : 0u));
  if (!folio || failed) {
    KT_FUZZ_CHECK(screen->selectedFoods() == before);
  } else {
    const size_t n = parts.size();
    const size_t expected = n >= 43 ? (n - 27) / 16 : 0;
    KT_FUZZ_CHECK(screen->selectedFoods() && screen->selectedFoods()->size() == expected);
    if (n > 13) KT_FUZZ_CHECK(screen->lblOverLowLimit()->text() == parts[13]);
    BillTableViewCell cell;
    for (const auto& line : *screen->selectedFoods()) {
      cell.showLine(*line);
      const std::string& amount = cell.lblAmount()->text();
      KT_FUZZ_CHECK(amount.empty() || amount.size() >= 8);
    }
  }
  KT_FUZZ_CHECK(screen->tvMain()->numberOfRowsInSection(0) ==
                static_cast<int>(screen->selectedFoods() ? screen->selectedFoods()->size() : 0));

  screen.reset();
  auto& loop = core::RunLoop::main();
  while (loop.runInMode(core::RunLoop::DefaultMode, core::Clock::now(), true) == core::RunLoop::RunResult::HandledSource) {
  }
  ui::AlertView::reset();
  DataCenter::resetSharedInstanceForTesting();
  return 0;
}
