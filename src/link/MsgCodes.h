#pragma once

namespace kt {

// The room server's message codes. A reply carries the code of the request that asks for it.
enum MsgCode : int {
  MsgSysDate = 60,                // the server's date
  MsgBindClient = 100,            // bind this device to a room
  MsgFoodCategory = 103,          // menu categories
  MsgFoodList = 104,              // dishes of a category, or the recommended dishes
  MsgSelectFood = 105,            // price one chosen dish into basket lines
  MsgAddInfoOfFood = 106,         // the extra options of a dish
  MsgPackChild = 107,             // the groups and dishes of a package
  MsgMultFreeItems = 108,         // the free-item sets that a dish brings
  MsgFolio = 109,                 // the room's bill
  MsgConfirmInputFood = 114,      // submit the basket as an order
  MsgRoomStateAndInfo = 119,      // room state: booking id, receiving clerk, consumption
  MsgGongGuanList = 147,          // the staff list
  MsgGongGuanHuJiao = 149,        // call a staff member to the room
  MsgCancelGongGuanHuJiao = 150,  // cancel that call
  MsgGongGuanCurState = 151,      // one staff member's state and reservations
  MsgGongGuanYuYue = 152,         // reserve a staff member
  MsgCancelGongGuanYuYue = 153,   // cancel a reservation
};

}  // namespace kt
