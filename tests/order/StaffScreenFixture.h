#pragma once

// The staff grid on the stand-in venue's room "808" (booking "M808"), pushed over the song home
// screen, with helpers for its cells and for scripted staff lists.

#include <memory>
#include <string>
#include <vector>

#include "link/GongGuanList.h"
#include "link/MsgCodes.h"
#include "order/MissGridViewCell.h"
#include "order/MissViewController.h"
#include "order/OrderScreenFixture.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "venue/VenueRoom.h"
#include "widgets/controls/EffectLabel.h"
#include "widgets/controls/GridView.h"

namespace kt::order_test {

// A staff record of reply 147: id, stage name, state, calls waiting.
struct Staff {
  std::string id, name, state, calls;
};

class StaffScreenFixture : public OrderScreenFixture {
 protected:
  static constexpr const char* kMaster = "M808";

  void SetUp() override {
    OrderScreenFixture::SetUp();
    venue::RoomIdentity identity = room.identity();
    identity.roomNo = kRoom;
    room.setIdentity(identity);
    room.setMasterId(kMaster);
    room.install(server);
    DataCenter::sharedInstance().setMasterID(std::string(kMaster));
  }
  void TearDown() override {
    if (grid && grid->popoverController()) grid->popoverController()->dismissPopoverAnimated(false);
    grid.reset();
    OrderScreenFixture::TearDown();
  }

  // The grid from the storyboard, with the venue's twelve staff on show.
  void openGrid() {
    grid = std::dynamic_pointer_cast<MissViewController>(storyboard()->instantiate(OrderScreens::StaffGrid));
    ASSERT_NE(grid, nullptr);
    ASSERT_NO_FATAL_FAILURE(showOnStack(std::make_shared<SongHome>(), grid));
    ASSERT_TRUE(runUntil([&] { return grid->gongGuanListArray().size() == 12; }));
    render();
  }
  std::shared_ptr<MissGridViewCell> cell(int index) {
    render();
    return std::dynamic_pointer_cast<MissGridViewCell>(grid->gmGridView()->cellForItemAtIndex(index));
  }
  // Taps a member's action button and lets the replies come.
  void press(int index, size_t code = 0, size_t count = 0) {
    auto c = cell(index);
    ASSERT_NE(c, nullptr);
    tap(*c->btnHuJiao());
    if (code) {
      ASSERT_TRUE(waitForRequests(static_cast<int>(code), count));
    }
    wait(0.3);
  }
  // Reply 147 of scripted staff.
  static std::vector<std::string> staffReply(const std::vector<Staff>& staff) {
    std::vector<std::string> fields = {"0", "", "", ""};
    for (const Staff& s : staff)
      fields.insert(fields.end(), {s.id, "00" + s.id, s.name, "", "四川", s.state, s.calls, "", "", "", ""});
    return fields;
  }
  static std::vector<Staff> freeStaff(int count) {
    std::vector<Staff> staff;
    for (int i = 0; i < count; ++i) staff.push_back({std::to_string(2000 + i), "员工" + std::to_string(i), "0", "0"});
    return staff;
  }
  // The requests of one code, each as every piece after its code line: the staff requests end
  // in "" fields, which the stand-in's field list leaves out.
  std::vector<std::vector<std::string>> sent(int code) const {
    std::vector<std::vector<std::string>> out;
    for (const venue::Frame& f : server.frames())
      if (f.crcOk && f.code == code && f.parts.size() >= 2) out.emplace_back(f.parts.begin() + 2, f.parts.end());
    return out;
  }
  std::string pageText() const { return grid->lblCurrentPage()->text() + "/" + grid->lblTotalPage()->text(); }

  venue::VenueRoom room;
  std::shared_ptr<MissViewController> grid;
};

}  // namespace kt::order_test
