#pragma once

// The requests of the cloud song service: for every endpoint its host, path and parameters,
// built ready for WGHTTPRequest::get (path, parameters, base). The service is spoken to only by
// GET with query parameters; the wire order of the parameters is ascending by key and every
// value is percent-encoded by the HTTP library.
//
// Reading the replies is CloudReply's; the three binding steps' settings are stored here.

#include "platform/core/Value.h"

#include <optional>
#include <string>

namespace kt {

// One request: the path (or whole address), the parameters (a dictionary) and the base text.
struct CloudRequest {
  std::string path;
  core::Value params = core::Value(core::Value::Dictionary{});
  std::string base;
};

class CloudApi {
 public:
  // Constant values sent by several endpoints.
  static constexpr const char* kAppId = "arr";                 // "appid"
  static constexpr const char* kChartType = "zuK歌榜";          // "type" of the chart
  // Settings written by room binding; only "uid" is read again.
  static constexpr const char* kUidKey = "uid";
  static constexpr const char* kRoomInfoKey = "roominfo";
  static constexpr const char* kTransIpKey = "transIP";
  static constexpr const char* kRoomIpKey = "roomIPForMike";

  // --- the binding id ------------------------------------------------------------------------
  // The stored "uid" as text; nothing when it is missing (or not text-like).
  static std::optional<std::string> storedUid();
  // Bound: the stored "uid" is a text longer than 0.
  static bool isBound();
  // The "uid" of the queue badge request, which also runs before binding: "" when missing.
  static std::string badgeUid();

  // --- binding (three steps, in this order) --------------------------------------------------
  // Step 1: the scanned QR text, requested unchanged with an empty base and no parameters.
  static CloudRequest scannedCode(const std::string& qrText);
  // Step 2: the binding host with the room token from step 1.
  static CloudRequest roomInfo(const std::string& roomToken);
  // Step 3: "webbindroom_new.php" with "type" "1" and the room code (sent as given).
  static CloudRequest bindRoom(const std::string& roomCode);
  // Stores step 1's "roominfo" and "tranip" (as "transIP") and synchronizes. The reply must
  // have passed the success test; returns the room token for step 2.
  static std::string storeScannedReply(const core::Value& reply);
  // Stores step 2's "room" → "room_ip" as "roomIPForMike" and synchronizes; returns "room_code".
  static std::string storeRoomInfoReply(const core::Value& reply);
  // The binding id of step 3's reply: "uid" of the first element of "data" when that element is
  // an object and its "uid" a text or number that is not empty (CloudReply::filledText).
  static std::optional<std::string> bindReplyUid(const core::Value& reply);
  // Stores bindReplyUid as the binding id and synchronizes. False (nothing stored) when the reply
  // carries none: a bind must never store "(null)", "<null>" or "".
  static bool storeBindReply(const core::Value& reply);

  // --- interface host ------------------------------------------------------------------------
  static CloudRequest queue(const std::string& uid);                               // getktvsonglist.php
  static CloudRequest sungSongs(const std::string& uid);                           // oversonglist.php
  static CloudRequest moveToTop(const std::string& uid, const std::string& musicNo);  // songlisttop.php
  // addsong.php; the texts are the row's "%@" texts ("songer": the singer as the row holds it).
  static CloudRequest addSong(const std::string& uid, const std::string& name, const std::string& musicNo,
                              const std::string& singer);
  static CloudRequest favourites(int page, const std::string& uid);                // getfavsongs.php
  static CloudRequest nextSong(const std::string& uid);                            // nextsong.php
  static CloudRequest toggleTrack(const std::string& uid);                         // ctoggle.php
  static CloudRequest togglePlay(const std::string& uid);                          // ptoggle.php
  static CloudRequest roomVolume(const std::string& uid, bool up);                 // mvol.php
  static CloudRequest micVolume(const std::string& uid, bool up);                  // mmic.php

  // --- song-list host (whole address, empty base) --------------------------------------------
  static CloudRequest banners();                                                   // wxpic.php
  // wxsong.php; "classid" is the banner item's "classid" text read as a whole number and sent
  // as a number (a text that is not a number gives 0).
  static CloudRequest bannerSongs(const std::string& uid, const std::string& classIdText);

  // --- search host (empty path, "op" picks the operation) ------------------------------------
  static CloudRequest chart(int page);                                             // getrankinfo
  // getwxmusicinfo from a titled list: the title (a category or singer name) as "q".
  static CloudRequest songsTitled(const std::string& title, int page);
  // getwxmusicinfo from the search screen: the typed text with every space removed.
  static CloudRequest searchSongs(const std::string& typed, int page);
  static CloudRequest singersOfRegion(const std::string& region, int page);        // getsingersbyclass

  // --- singer pictures (given to the image loader, not requested here) -----------------------
  // Song rows and the hot-search singers: escape the name, then join base + name + ".jpg".
  static std::string singerImageURL(const std::string& name);
  // Singer rows: join, remove every space from the whole address, then escape the whole.
  static std::string singerRowImageURL(const std::string& name);

  // --- text helpers --------------------------------------------------------------------------
  static std::string removeSpaces(const std::string& text);
  // The page number as "%d" writes it.
  static std::string pageText(int page);
};

}  // namespace kt
