#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>

#include "app/RecordField.h"

namespace core {
class Notification;
class Observation;
}  // namespace core

namespace kt {

struct RoomRequest;

// The staff requests sent to the room server and not answered yet, by code and member (DangAnID),
// for the staff screens to hold back a second request of the same kind for the same member while
// the first is still out: a second cancel of a call would be refused and the refusal shown, though
// the first succeeded. Every screen asks the same record, so a request sent from one staff screen
// counts on the others too.
//
// The room server answers the requests of its connection in order, so a reply of a code answers
// the oldest request of that code still out. It hears the replies on the link's event bus,
// whichever screen takes them, refusals included. Losing the link, or a new connection, ends every
// request out: their replies never come. Main thread only.
class PendingStaffRequests {
 public:
  // The one record, made on first use.
  static PendingStaffRequests& shared();

  PendingStaffRequests();
  ~PendingStaffRequests();
  PendingStaffRequests(const PendingStaffRequests&) = delete;
  PendingStaffRequests& operator=(const PendingStaffRequests&) = delete;

  // Sends the request (RoomRequests::send) and, when the link is up, counts it as out for the
  // member until its reply. Sent while the link is down, it never gets one: it is not counted.
  void send(const RoomRequest& request, const Text& member);
  // Whether a request of this code for the member is out.
  bool isOut(int code, const Text& member) const;

 private:
  void heard(const core::Notification& notification);

  // Code -> members of the requests out, oldest first.
  std::map<int, std::deque<std::string>> m_out;
  std::unique_ptr<core::Observation> m_observation;
};

}  // namespace kt
