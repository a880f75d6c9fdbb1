#include "venue/VenueStaff.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#ifndef KT_VENUE_STAFF
#define KT_VENUE_STAFF ""
#endif

namespace venue {

namespace {

using nlohmann::json;

std::string text(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end()) return "";
  if (!it->is_string()) throw std::runtime_error(std::string("\"") + key + "\" is not a text");
  return it->get<std::string>();
}

// A slot kind "0", "1" or "2" as an index; std::nullopt for anything else.
std::optional<std::size_t> kindOf(const std::string& kind) {
  if (kind.size() != 1 || kind[0] < '0' || kind[0] > '2') return std::nullopt;
  return static_cast<std::size_t>(kind[0] - '0');
}

constexpr std::size_t kRoomTomorrow = 2;

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

std::shared_ptr<VenueStaff> VenueStaff::parse(std::string_view source, std::string* error) {
  auto staff = std::make_shared<VenueStaff>();
  try {
    json root = json::parse(source);
    auto list = root.is_object() ? root.find("staff") : root.end();
    if (list == root.end() || !list->is_array()) throw std::runtime_error("\"staff\" is not a list");
    std::set<std::string> ids;
    for (const json& m : *list) {
      StaffMember member;
      member.id = text(m, "id");
      member.number = text(m, "number");
      member.stageName = text(m, "stage");
      member.fullName = text(m, "name");
      member.province = text(m, "province");
      if (member.id.empty() || !ids.insert(member.id).second)
        throw std::runtime_error("staff id \"" + member.id + "\" is empty or repeated");
      if (auto busy = m.find("busy"); busy != m.end()) {
        if (!busy->is_boolean()) throw std::runtime_error("\"busy\" of " + member.id + " is not true or false");
        member.busy = busy->get<bool>();
      }
      if (auto calls = m.find("calls"); calls != m.end()) {
        for (const json& room : *calls) {
          if (!room.is_string()) throw std::runtime_error("a call of " + member.id + " is not a room number");
          member.calls.push_back(room.get<std::string>());
        }
      }
      if (auto held = m.find("reserved"); held != m.end()) {
        for (const json& r : *held) {
          std::optional<std::size_t> kind = kindOf(text(r, "kind"));
          if (!kind) throw std::runtime_error("a reservation of " + member.id + " has no kind 0 to 2");
          Reservation& slot = member.slots[*kind];
          slot = {"Y" + std::to_string(staff->m_nextReservation++), text(r, "master"), text(r, "room")};
        }
      }
      std::vector<StaffPhoto> photos;
      if (auto p = m.find("photos"); p != m.end()) {
        for (const json& photo : *p) photos.push_back({text(photo, "name"), text(photo, "time")});
      }
      staff->m_photos[member.id] = std::move(photos);
      staff->m_members.push_back(std::move(member));
    }
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return nullptr;
  }
  return staff;
}

std::shared_ptr<VenueStaff> VenueStaff::load(const std::string& path, std::string* error) {
  std::optional<std::string> content = readFile(path);
  if (!content) {
    if (error) *error = "cannot read " + path;
    return nullptr;
  }
  return parse(*content, error);
}

std::string VenueStaff::standardPath() { return KT_VENUE_STAFF; }

std::shared_ptr<VenueStaff> VenueStaff::standard() {
  static const std::string source = readFile(standardPath()).value_or("");
  std::string error;
  std::shared_ptr<VenueStaff> staff = parse(source, &error);
  if (staff) return staff;
  std::fprintf(stderr, "venue: no staff: %s\n", error.c_str());
  return std::make_shared<VenueStaff>();
}

StaffMember* VenueStaff::find(const std::string& id) {
  auto it = std::find_if(m_members.begin(), m_members.end(), [&](const StaffMember& m) { return m.id == id; });
  return it == m_members.end() ? nullptr : &*it;
}

std::vector<StaffMember> VenueStaff::members() const {
  std::lock_guard lock(m_mutex);
  return m_members;
}

std::optional<StaffMember> VenueStaff::member(const std::string& id) const {
  std::lock_guard lock(m_mutex);
  StaffMember* found = const_cast<VenueStaff*>(this)->find(id);
  return found ? std::optional<StaffMember>(*found) : std::nullopt;
}

void VenueStaff::setBusy(const std::string& id, bool busy) {
  std::lock_guard lock(m_mutex);
  if (StaffMember* m = find(id)) m->busy = busy;
}

void VenueStaff::setCalls(const std::string& id, std::vector<std::string> rooms) {
  std::lock_guard lock(m_mutex);
  if (StaffMember* m = find(id)) m->calls = std::move(rooms);
}

std::string VenueStaff::stateFor(const StaffMember& member, const std::string& roomNo) {
  if (std::find(member.calls.begin(), member.calls.end(), roomNo) != member.calls.end()) return "3";
  if (!member.calls.empty()) return "2";
  return member.busy ? "1" : "0";
}

std::string VenueStaff::slotFor(const StaffMember& member, std::size_t kind, const std::string& masterId) {
  if (kind >= kKinds) return "1";
  const Reservation& slot = member.slots[kind];
  if (!slot.id.empty()) return !masterId.empty() && slot.masterId == masterId ? "2" : "1";
  // A room booked for tomorrow takes the member's other appointments too.
  if (kind != kRoomTomorrow && !member.slots[kRoomTomorrow].id.empty()) return "1";
  return "0";
}

std::string VenueStaff::call(const std::string& id, const std::string& roomNo) {
  std::lock_guard lock(m_mutex);
  StaffMember* m = find(id);
  if (!m) return kUnknownMember;
  if (std::find(m->calls.begin(), m->calls.end(), roomNo) != m->calls.end()) return kAlreadyCalled;
  if (m->busy && m->calls.empty()) return kBusy;
  m->calls.push_back(roomNo);
  return "";
}

std::string VenueStaff::cancelCall(const std::string& id, const std::string& roomNo) {
  std::lock_guard lock(m_mutex);
  StaffMember* m = find(id);
  if (!m) return kUnknownMember;
  auto it = std::find(m->calls.begin(), m->calls.end(), roomNo);
  if (it == m->calls.end()) return kNoCall;
  m->calls.erase(it);
  return "";
}

std::string VenueStaff::reserve(const std::string& id, const std::string& masterId, const std::string& roomNo,
                                const std::string& kind, std::string* reservationId) {
  std::lock_guard lock(m_mutex);
  StaffMember* m = find(id);
  if (!m) return kUnknownMember;
  if (masterId.empty()) return kNoBooking;
  std::optional<std::size_t> k = kindOf(kind);
  if (!k) return kBadKind;
  for (const Reservation& slot : m->slots) {
    if (!slot.id.empty() && slot.masterId == masterId) return kHasReservation;
  }
  if (slotFor(*m, *k, masterId) != "0") return kSlotTaken;
  // Tomorrow's room is only offered while no other appointment is held.
  if (*k == kRoomTomorrow &&
      std::any_of(m->slots.begin(), m->slots.end(), [](const Reservation& r) { return !r.id.empty(); }))
    return kSlotTaken;
  m->slots[*k] = {"Y" + std::to_string(m_nextReservation++), masterId, roomNo};
  if (reservationId) *reservationId = m->slots[*k].id;
  return "";
}

std::string VenueStaff::cancelReservation(const std::string& id, const std::string& reservationId) {
  std::lock_guard lock(m_mutex);
  StaffMember* m = find(id);
  if (!m) return kUnknownMember;
  for (Reservation& slot : m->slots) {
    if (!reservationId.empty() && slot.id == reservationId) {
      slot = Reservation();
      return "";
    }
  }
  return kNoReservation;
}

std::vector<StaffPhoto> VenueStaff::photos(const std::string& id) const {
  std::lock_guard lock(m_mutex);
  auto it = m_photos.find(id);
  return it == m_photos.end() ? std::vector<StaffPhoto>{} : it->second;
}

void VenueStaff::setPhotos(const std::string& id, std::vector<StaffPhoto> photos) {
  std::lock_guard lock(m_mutex);
  m_photos[id] = std::move(photos);
}

bool VenueStaff::setPhotoTime(const std::string& id, const std::string& name, const std::string& time) {
  std::lock_guard lock(m_mutex);
  auto it = m_photos.find(id);
  if (it == m_photos.end()) return false;
  for (StaffPhoto& photo : it->second) {
    if (photo.name == name) {
      photo.time = time;
      return true;
    }
  }
  return false;
}

std::optional<std::size_t> VenueStaff::photoIndex(const std::string& id, const std::string& name) const {
  std::lock_guard lock(m_mutex);
  auto it = m_photos.find(id);
  if (it == m_photos.end()) return std::nullopt;
  for (std::size_t i = 0; i < it->second.size(); ++i) {
    if (it->second[i].name == name) return i;
  }
  return std::nullopt;
}

}  // namespace venue
