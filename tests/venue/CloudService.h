#pragma once

// A stand-in for the cloud song service: HTTP GET with query parameters, JSON replies.
//
// The real service lives on five fixed hosts; this one answers every request by its path,
// whatever the Host header says, so the client keeps its real addresses and only maps the
// five names to 127.0.0.1:port (see hosts() and connectTo()).
//
// It serves a catalogue made at construction from fixed lists (a few hundred songs with
// Chinese titles and singers, singers of the 21 regions, the song categories, a chart,
// banners with their songs, favourites) and keeps per room a queue, a sung list and the
// playback state that the add, move-to-front, delete and playback endpoints really change.
// Binding goes QR text → "/roominfo/<token>" → "webbindroom_new.php" and gives the room's
// fixed binding id ("uid").
//
// Paths served (any host):
//   /qr/<qr token>                      binding step 1     {"code","roominfo","tranip"}
//   /roominfo/<room token>              binding step 2     {"code","room":{"room_code","room_ip"}}
//   /interface/webbindroom_new.php      binding step 3     {"code","data":[{"uid"}],"msg"}
//   /interface/getktvsonglist.php       the queue          {"code","list":[{"musicname","singername","musicno"}]}
//   /interface/oversonglist.php         sung songs         {"code","list":[{"singer","musicname","musicno"}]}
//   /interface/songlisttop.php          move to front      {"code","msg"}; behind the song being sung
//   /interface/addsong.php              queue a song       {"code","msg"}; "code" 6 when not bound
//   /interface/delsong.php              remove from queue  {"code","msg"}   (not used by the tablet)
//   /interface/getfavsongs.php          favourites         {"code","data":[{"songer","mname","mno"}]}
//   /interface/nextsong.php, ctoggle.php, ptoggle.php, mvol.php, mmic.php   playback {"code","msg",...}
//   /php/wxpic.php                      banners            {"data":{"bannerclass":[{...}]}}
//   /php/wxsong.php                     banner songs       {"code","result":{"matches":[...]},"msg"}
//   /php/banner/<id>.jpg                the banner pictures (1024 x 225, named on the image host)
//   /php/page/<name>                    the banner pages of venue/BannerPages.h
//   /wxsearchservice.aspx/?op=getrankinfo | getwxmusicinfo | getsingersbyclass
//   /ZiZezer/SingerImage/<name>.jpg     singer pictures (any name)
//   /images/<name>                      the picture gallery of venue/Gallery.h, every format the
//                                       client decodes, with ETag and Cache-Control (max-age 3600)
//
// Endpoint names for faults and the record: the file name of /interface/ and /php/ paths
// ("addsong.php"), the "op" of the search path ("getrankinfo"), "qr", "roominfo", "banner",
// "page", "SingerImage" and "images".

#include "venue/HttpPeer.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace venue {

// The five fixed host names of the cloud song service (reserved ".example" names). The
// client's constants are the same names.
struct CloudHosts {
  static constexpr const char* binding = "bind.ktvcloud.example";
  static constexpr const char* interfaceHost = "api.ktvcloud.example";
  static constexpr const char* songList = "song.ktvcloud.example";
  static constexpr const char* search = "search.ktvcloud.example";
  static constexpr const char* singerImage = "img.ktvcloud.example";
};

struct CloudSong {
  std::string number;    // "100001"
  std::string title;
  std::string singer;    // several singers joined by ","
  std::string category;  // one of CloudService::categories()
};

struct CloudSinger {
  std::string id;        // "S0001"
  std::string name;
  std::string region;    // one of CloudService::regions()
};

struct CloudBanner {
  std::string classId;   // as the reply gives it; one is not a number
  std::string name;
  std::string image;     // "classdetailbigimage"
  std::string page;      // "pic": a page or an ".mp4" video opened on a tap, or ""
};

struct CloudRoom {
  std::string code;      // "room_code", typed on the binding screen
  std::string token;     // "roominfo": the path of binding step 2
  std::string qrToken;   // in the QR text
  std::string ip;        // "room_ip"
  std::string tranIp;    // "tranip"
  std::string uid;       // the binding id given by step 3
};

struct QueuedSong {
  std::string number;
  std::string title;
  std::string singer;
  bool operator==(const QueuedSong&) const = default;
};

struct RoomState {
  std::vector<QueuedSong> queue;        // next to play first
  std::vector<QueuedSong> sung;         // most recently sung first
  std::vector<std::string> favourites;  // song numbers
  bool paused = false;
  bool original = false;  // original track (true) or accompaniment
  int volume = 10;        // 0..20
  int mic = 10;           // 0..20
};

// How "code" is written in a reply.
enum class CodeForm { Text, Number };

class CloudService : public HttpPeer {
 public:
  static constexpr int kPageSize = 20;
  static constexpr int kMaxLevel = 20;  // volume and microphone steps
  static constexpr const char* kChart = "zuK歌榜";

  CloudService();
  ~CloudService() override;

  // The five host names: binding, interface, song-list, search, singer-image.
  static std::vector<std::string> hosts();
  // libcurl connect-to entries sending the five hosts (port 80) here: "host:80:127.0.0.1:port".
  std::vector<std::string> connectTo() const;
  // The singer picture address as the service writes it ("singerheader").
  static std::string singerImageUrl(const std::string& name);
  // The text of a room's QR code ("http://<binding host>/qr/<token>"); "" for an unknown room.
  std::string qrText(const std::string& roomCode) const;
  // A PNG of that text as a QR code (black on white, `module` pixels a module, a quiet zone of
  // four modules): the picture shown in the room. "" for an unknown room.
  std::string qrPng(const std::string& roomCode, int module = 8) const;
  // Writes qrPng to the file; false when the room is unknown or the file cannot be written.
  bool writeQrPng(const std::string& roomCode, const std::string& path, int module = 8) const;

  // --- catalogue (fixed after construction) ----------------------------------------------------
  static const std::vector<std::string>& regions();     // the 21 singer regions
  static const std::vector<std::string>& categories();  // the 21 song categories
  const std::vector<CloudSong>& songs() const { return m_songs; }
  std::optional<CloudSong> song(const std::string& number) const;
  const std::vector<CloudSinger>& singers() const { return m_singers; }
  std::vector<CloudSinger> singersOf(const std::string& region) const;
  // The whole chart of that name (empty for an unknown chart), best first.
  std::vector<CloudSong> chart(const std::string& type) const;
  // Songs whose title, singer or category holds the text (spaces and letter case ignored), or
  // whose title's or singer's initials hold it (the first letters of the pinyin syllables and of
  // Latin words: "yglq" finds "月光恋曲", "bs" finds "Blue Sky").
  std::vector<CloudSong> search(const std::string& text) const;
  const std::vector<CloudBanner>& banners() const { return m_banners; }
  std::vector<CloudSong> bannerSongs(const std::string& classId) const;
  const std::vector<CloudRoom>& rooms() const { return m_rooms; }
  std::optional<CloudRoom> roomByCode(const std::string& code) const;
  std::optional<CloudRoom> roomByUid(const std::string& uid) const;

  // --- room state ----------------------------------------------------------------------------
  RoomState roomState(const std::string& roomCode) const;
  void setRoomState(const std::string& roomCode, RoomState state);
  // Every room back to its state at construction.
  void resetRooms();

  // The "pic" of the video banner (the one whose page is an ".mp4" address) from now on: a clip
  // the venue web server serves (WebServer::clipAddress()). Until set, it names a clip on the
  // song-list host, which serves none.
  void setVideoBannerAddress(const std::string& address);

  // --- reply form ----------------------------------------------------------------------------
  // By default "code" is a number in the queue, sung-list, add, move, delete, favourites and
  // playback replies and text in the others. One form for every endpoint (dropping the
  // per-endpoint ones), or one for a single endpoint name, which wins over the former.
  void setCodeForm(CodeForm form);
  void setCodeForm(const std::string& endpoint, CodeForm form);
  // Write non-ASCII letters as \uXXXX escapes (as PHP does by default) instead of UTF-8.
  void setEscapeUnicode(bool escape);

 protected:
  HttpReply handle(const RecordedRequest& request) override;
  std::string endpointOf(const RecordedRequest& request) const override;

 private:
  struct Impl;
  void buildCatalogue();
  std::map<std::string, RoomState> seededRooms() const;

  std::vector<CloudSong> m_songs;
  std::vector<CloudSinger> m_singers;
  std::vector<CloudBanner> m_banners;
  std::vector<CloudRoom> m_rooms;
  std::vector<std::string> m_chartOrder;  // song numbers, best first

  mutable std::mutex m_stateMutex;  // guards everything below
  std::map<std::string, RoomState> m_state;  // by room code
  std::map<std::string, CodeForm> m_codeForms;  // set by a test, per endpoint
  std::optional<CodeForm> m_allCodes;
  bool m_escapeUnicode = false;
  std::string m_videoBannerAddress;
};

}  // namespace venue
