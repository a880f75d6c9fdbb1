#include "songs/CloudApi.h"

#include "platform/core/UserDefaults.h"
#include "platform/net/URL.h"
#include "songs/CloudHosts.h"
#include "songs/CloudReply.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace kt {

namespace {

using Params = std::initializer_list<std::pair<const char*, core::Value>>;

core::Value dictionary(Params params) {
  core::Value::Dictionary d;
  for (const auto& [key, value] : params) d[key] = value;
  return core::Value(std::move(d));
}

CloudRequest interfaceRequest(const char* file, Params params) {
  return CloudRequest{file, dictionary(params), CloudHosts::interfaceBase()};
}

CloudRequest searchRequest(Params params) { return CloudRequest{"", dictionary(params), CloudHosts::searchBase()}; }

}  // namespace

// --- the binding id ------------------------------------------------------------------------

std::optional<std::string> CloudApi::storedUid() { return core::UserDefaults::standard().stringForKey(kUidKey); }

bool CloudApi::isBound() {
  std::optional<std::string> uid = storedUid();
  return uid && !uid->empty();
}

std::string CloudApi::badgeUid() { return storedUid().value_or(""); }

// --- binding -------------------------------------------------------------------------------

CloudRequest CloudApi::scannedCode(const std::string& qrText) { return CloudRequest{qrText, dictionary({}), ""}; }

CloudRequest CloudApi::roomInfo(const std::string& roomToken) {
  return CloudRequest{roomToken, dictionary({}), CloudHosts::bindingBase()};
}

CloudRequest CloudApi::bindRoom(const std::string& roomCode) {
  return interfaceRequest("webbindroom_new.php", {{"type", "1"}, {"roomid", roomCode}});
}

std::string CloudApi::storeScannedReply(const core::Value& reply) {
  std::string roomInfo = CloudReply::text(reply, "roominfo");
  core::UserDefaults& defaults = core::UserDefaults::standard();
  defaults.setString(kRoomInfoKey, roomInfo);
  defaults.setString(kTransIpKey, CloudReply::text(reply, "tranip"));
  defaults.synchronize();
  return roomInfo;
}

std::string CloudApi::storeRoomInfoReply(const core::Value& reply) {
  const core::Value& room = CloudReply::object(reply, "room");
  core::UserDefaults& defaults = core::UserDefaults::standard();
  defaults.setString(kRoomIpKey, CloudReply::text(room, "room_ip"));
  defaults.synchronize();
  return CloudReply::text(room, "room_code");
}

std::optional<std::string> CloudApi::bindReplyUid(const core::Value& reply) {
  const core::Value& first = reply["data"].at(0);  // null unless "data" is a non-empty array
  return first.isDictionary() ? CloudReply::filledText(first, "uid") : std::nullopt;
}

bool CloudApi::storeBindReply(const core::Value& reply) {
  std::optional<std::string> uid = bindReplyUid(reply);
  if (!uid) return false;
  core::UserDefaults& defaults = core::UserDefaults::standard();
  defaults.setString(kUidKey, *uid);
  defaults.synchronize();
  return true;
}

// --- interface host ------------------------------------------------------------------------

CloudRequest CloudApi::queue(const std::string& uid) { return interfaceRequest("getktvsonglist.php", {{"uid", uid}}); }

CloudRequest CloudApi::sungSongs(const std::string& uid) {
  return interfaceRequest("oversonglist.php", {{"uid", uid}});
}

CloudRequest CloudApi::moveToTop(const std::string& uid, const std::string& musicNo) {
  return interfaceRequest("songlisttop.php", {{"uid", uid}, {"musicno", musicNo}});
}

CloudRequest CloudApi::addSong(const std::string& uid, const std::string& name, const std::string& musicNo,
                               const std::string& singer) {
  return interfaceRequest("addsong.php",
                          {{"appid", kAppId}, {"uid", uid}, {"mname", name}, {"musicno", musicNo}, {"songer", singer}});
}

CloudRequest CloudApi::favourites(int page, const std::string& uid) {
  return interfaceRequest("getfavsongs.php", {{"p", pageText(page)}, {"uid", uid}});
}

CloudRequest CloudApi::nextSong(const std::string& uid) { return interfaceRequest("nextsong.php", {{"uid", uid}}); }

CloudRequest CloudApi::toggleTrack(const std::string& uid) { return interfaceRequest("ctoggle.php", {{"uid", uid}}); }

CloudRequest CloudApi::togglePlay(const std::string& uid) { return interfaceRequest("ptoggle.php", {{"uid", uid}}); }

CloudRequest CloudApi::roomVolume(const std::string& uid, bool up) {
  return interfaceRequest("mvol.php", {{"uid", uid}, {"type", up ? "1" : "0"}});
}

CloudRequest CloudApi::micVolume(const std::string& uid, bool up) {
  return interfaceRequest("mmic.php", {{"uid", uid}, {"type", up ? "1" : "0"}});
}

// --- song-list host ------------------------------------------------------------------------

CloudRequest CloudApi::banners() { return CloudRequest{CloudHosts::bannersAddress(), dictionary({{"tp", "tp"}}), ""}; }

CloudRequest CloudApi::bannerSongs(const std::string& uid, const std::string& classIdText) {
  return CloudRequest{CloudHosts::bannerSongsAddress(),
                      dictionary({{"uid", uid}, {"classid", core::parseInt(classIdText)}}), ""};
}

// --- search host ---------------------------------------------------------------------------

CloudRequest CloudApi::chart(int page) {
  return searchRequest({{"op", "getrankinfo"}, {"appid", kAppId}, {"p", pageText(page)}, {"type", kChartType}});
}

CloudRequest CloudApi::songsTitled(const std::string& title, int page) {
  return searchRequest(
      {{"op", "getwxmusicinfo"}, {"appid", kAppId}, {"nosign", "1"}, {"p", pageText(page)}, {"q", title}});
}

CloudRequest CloudApi::searchSongs(const std::string& typed, int page) {
  return searchRequest({{"op", "getwxmusicinfo"}, {"p", pageText(page)}, {"q", removeSpaces(typed)}});
}

CloudRequest CloudApi::singersOfRegion(const std::string& region, int page) {
  return searchRequest({{"op", "getsingersbyclass"}, {"p", pageText(page)}, {"tname", region}});
}

// --- singer pictures -----------------------------------------------------------------------

std::string CloudApi::singerImageURL(const std::string& name) {
  return CloudHosts::singerImageBase() + net::escapeForURL(name) + ".jpg";
}

std::string CloudApi::singerRowImageURL(const std::string& name) {
  return net::escapeForURL(removeSpaces(CloudHosts::singerImageBase() + name + ".jpg"));
}

// --- text helpers --------------------------------------------------------------------------

std::string CloudApi::removeSpaces(const std::string& text) {
  std::string out = text;
  out.erase(std::remove(out.begin(), out.end(), ' '), out.end());
  return out;
}

std::string CloudApi::pageText(int page) { return std::to_string(page); }

}  // namespace kt
