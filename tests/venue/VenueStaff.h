#pragma once

// The stand-in venue's hostesses and service staff: who they are, whether they are busy, which
// rooms' calls wait for them, their three kinds of appointment and their photographs. Read from a
// JSON file (tests/venue/data/staff.json). One object is the single source of both the room
// server's staff messages (VenueRoom) and the web server's photo pages (WebServer): share it by
// handing the same pointer to both.
//
// A member's state as one room sees it: "3" when that room's call waits, else "2" when other
// rooms' calls wait, else "1" when busy, else "0". A slot as one booking (master id) sees it:
// "2" when that booking holds it, "1" when another booking holds it or the member is booked for a
// room tomorrow (which excludes the other two kinds), else "0".
//
// Every member is safe to call from any thread.

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace venue {

struct StaffPhoto {
  std::string name;  // file name, "a.jpg"; names that are no photo ("c.txt") are listed too
  std::string time;  // modification time text, "2024-05-01 10:00:00"
};

// A held appointment; an empty id is a free slot.
struct Reservation {
  std::string id;
  std::string masterId;  // the booking that holds it
  std::string roomNo;
};

struct StaffMember {
  std::string id;         // record id (DangAnID), sent in every request about the member
  std::string number;     // staff number, the id of the head image
  std::string stageName;
  std::string fullName;
  std::string province;
  bool busy = false;                  // serving another room
  std::vector<std::string> calls;     // rooms whose calls wait, oldest first
  std::array<Reservation, 3> slots;   // by kind: before going off duty, tea tomorrow, room tomorrow
};

class VenueStaff {
 public:
  static constexpr std::size_t kKinds = 3;
  static constexpr const char* kUnknownMember = "没有该公关";
  static constexpr const char* kBusy = "该公关正忙，请预约";
  static constexpr const char* kAlreadyCalled = "已经呼叫过了，请耐心等候";
  static constexpr const char* kNoCall = "没有呼叫记录";
  static constexpr const char* kNoBooking = "没有开房记录";
  static constexpr const char* kBadKind = "预约类型错误";
  static constexpr const char* kSlotTaken = "该时段不可预约";
  static constexpr const char* kHasReservation = "您已预约该公关";
  static constexpr const char* kNoReservation = "没有该预约";

  // Parses and checks a staff file (unique ids, kinds 0 to 2). nullptr on failure, with the
  // reason in *error.
  static std::shared_ptr<VenueStaff> parse(std::string_view json, std::string* error = nullptr);
  static std::shared_ptr<VenueStaff> load(const std::string& path, std::string* error = nullptr);
  // A fresh object from the staff file the build names (read once); an unreadable file gives an
  // empty staff (and a line on standard error).
  static std::shared_ptr<VenueStaff> standard();
  static std::string standardPath();

  VenueStaff() = default;
  VenueStaff(const VenueStaff&) = delete;
  VenueStaff& operator=(const VenueStaff&) = delete;

  std::vector<StaffMember> members() const;
  std::optional<StaffMember> member(const std::string& id) const;
  void setBusy(const std::string& id, bool busy);
  void setCalls(const std::string& id, std::vector<std::string> rooms);

  // "0" to "3" as the room sees the member (see above).
  static std::string stateFor(const StaffMember& member, const std::string& roomNo);
  // "0", "1" or "2" as the booking sees the slot of that kind (0 to 2).
  static std::string slotFor(const StaffMember& member, std::size_t kind, const std::string& masterId);

  // Each answers "" when done, else the refusal text.
  std::string call(const std::string& id, const std::string& roomNo);
  std::string cancelCall(const std::string& id, const std::string& roomNo);
  // kind is the text "0", "1" or "2"; on success *reservationId gets the new id.
  std::string reserve(const std::string& id, const std::string& masterId, const std::string& roomNo,
                      const std::string& kind, std::string* reservationId = nullptr);
  std::string cancelReservation(const std::string& id, const std::string& reservationId);

  // --- photos (by record id; an id need not be a member's) ------------------------------------
  std::vector<StaffPhoto> photos(const std::string& id) const;
  void setPhotos(const std::string& id, std::vector<StaffPhoto> photos);
  bool setPhotoTime(const std::string& id, const std::string& name, const std::string& time);
  // The index of the photo among the member's names, if there is one of that name.
  std::optional<std::size_t> photoIndex(const std::string& id, const std::string& name) const;

 private:
  StaffMember* find(const std::string& id);

  mutable std::mutex m_mutex;
  std::vector<StaffMember> m_members;
  std::map<std::string, std::vector<StaffPhoto>> m_photos;
  long long m_nextReservation = 1;
};

}  // namespace venue
