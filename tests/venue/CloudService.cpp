#include "venue/CloudService.h"

#include "venue/BannerPages.h"
#include "venue/Gallery.h"

#include <nlohmann/json.hpp>
#include <qrencode.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace venue {

using Json = nlohmann::ordered_json;

namespace {

// A small deterministic generator, so the catalogue is the same on every run and machine.
class Lcg {
 public:
  explicit Lcg(std::uint32_t seed) : m_state(seed) {}
  std::uint32_t next() {
    m_state = m_state * 1664525u + 1013904223u;
    return m_state >> 8;
  }
  std::size_t below(std::size_t n) { return n == 0 ? 0 : next() % n; }

 private:
  std::uint32_t m_state = 0;
};

std::uint32_t hashOf(const std::string& text) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

const std::vector<std::string> kRegions = {
    "大陆男歌星", "大陆女歌星", "港台男歌星", "港台女歌星", "中国组合", "外国组合", "欧美歌星",
    "日本歌星",   "韩国歌星",   "法国歌星",   "新加坡歌星", "马来歌星", "尼日利亚歌星", "南非歌星",
    "印度歌星",   "印尼歌星",   "俄罗斯歌星", "菲律宾歌星", "泰国歌星", "越南歌星",   "外国歌星"};

const std::vector<std::string> kCategories = {
    "男女对唱", "欢乐庆典", "民歌传唱", "戏曲片段", "草原歌曲", "经典老歌", "影视金曲",
    "校园民谣", "友谊万岁", "军旅歌曲", "网络歌曲", "儿童歌曲", "纯音乐",   "disco",
    "歌颂祖国", "异国风情", "经典翻唱", "寂寞空灵", "高清歌曲", "甜蜜幸福", "心碎伤感"};

const std::vector<std::string> kSurnames = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄", "周", "吴",
                                            "徐", "孙", "胡", "朱", "高", "林", "何", "郭", "马", "罗",
                                            "梁", "宋", "郑", "谢", "韩", "唐", "冯", "于", "董", "萧"};
const std::vector<std::string> kMaleGiven = {"子轩", "浩然", "宇航", "俊杰", "志强", "晓峰", "天佑", "明哲",
                                             "一鸣", "博文", "思远", "嘉树", "景行", "沐阳", "承泽", "亦凡"};
const std::vector<std::string> kFemaleGiven = {"雨桐", "诗涵", "欣怡", "梦琪", "晓雪", "婉清", "静怡", "佳慧",
                                               "若汐", "紫萱", "语嫣", "思琪", "念慈", "书瑶", "可馨", "安然"};
const std::vector<std::string> kHkMaleGiven = {"家豪", "志伟", "伟文", "国荣", "嘉乐", "耀华", "启明", "永康"};
const std::vector<std::string> kHkFemaleGiven = {"咏琪", "嘉欣", "慧玲", "美琪", "颖欣", "丽珊", "凯琳", "宝儿"};

const std::vector<std::string> kTitleHeads = {"月光", "春风", "远方", "星空", "海边", "雨夜", "城市", "青春",
                                              "梦里", "故乡", "红尘", "天涯", "花开", "流年", "晚风", "初雪",
                                              "蓝莲", "老街", "岁月", "心上"};
const std::vector<std::string> kTitleTails = {"的约定", "恋曲", "之歌", "不眠", "晚安", "再见", "的心愿",
                                              "旅人",   "回忆", "情书", "故事", "小夜曲", "的你", "未央",
                                              "倾城",   "无言", "十年", "花火", "归途", "人间"};
const std::vector<std::string> kLatinTitles = {"Hello World", "Summer Rain",   "Blue Sky",      "Midnight Train",
                                               "Golden Hour", "Paper Planes",  "Ocean Eyes",    "City Lights",
                                               "Lost Stars",  "Moon River",    "Silent Night",  "Wild Heart",
                                               "Dream On",    "Sweet Morning", "Last Dance",    "Northern Road"};

// Fixed singer lists of the smaller regions.
const std::vector<std::pair<std::string, std::vector<std::string>>> kFixedSingers = {
    {"中国组合", {"青鸟乐队", "星河组合", "夏至乐团", "北岸少年"}},
    {"外国组合", {"Blue Harbor", "The Night Owls", "Silver Lines"}},
    {"欧美歌星", {"Anna Brooks", "Leo Martin", "Grace Turner", "Daniel Moore"}},
    {"日本歌星", {"佐藤美咲", "山田健太", "中村优"}},
    {"韩国歌星", {"金智媛", "朴敏浩", "李秀贤"}},
    {"法国歌星", {"Claire Dubois"}},
    {"新加坡歌星", {"陈静仪", "黄俊贤"}},
    {"马来歌星", {"Siti Aminah"}},
    {"印度歌星", {"Ravi Sharma"}},
    {"印尼歌星", {"Dewi Lestari Putri"}},
    {"俄罗斯歌星", {"Irina Volkova"}},
    {"菲律宾歌星", {"Maria Santos"}},
    {"泰国歌星", {"Niran Chaiyaporn"}},
    {"越南歌星", {"阮氏兰"}},
    {"外国歌星", {"Tom Walker", "Emma Stone Hill"}},
};

// The first letter of the pinyin of every Chinese character the lists above use, for searching
// by initials ("yq" finds a title whose syllables start y, q).
const std::vector<std::pair<char, std::string>> kInitials = {
    {'a', "安岸"},
    {'b', "博宝边不北本宾"},
    {'c', "陈承慈春城尘初村"},
    {'d', "董的定队度"},
    {'e', "儿俄"},
    {'f', "冯峰凡风方法菲"},
    {'g', "高郭国光故歌归"},
    {'h', "黄胡何韩浩航涵慧豪华海红花回火合河"},
    {'j', "俊杰嘉景静佳家街见间健金加"},
    {'k', "可康凯空开"},
    {'l', "李刘林罗梁乐玲丽琳里流蓝莲老恋旅来律兰"},
    {'m', "马明鸣沐梦美眠敏"},
    {'n', "念年你鸟尼南"},
    {'o', "欧"},
    {'p', "朴坡"},
    {'q', "强琪清启青曲情倾"},
    {'r', "然若荣人日阮"},
    {'s', "孙宋思树诗书珊市岁上事十少山斯氏"},
    {'t', "唐天桐途团藤田太泰"},
    {'w', "王吴文婉伟晚未无外"},
    {'x', "徐谢萧轩晓行欣雪汐萱馨星乡心小夏咲秀贤新"},
    {'y', "杨于宇佑一远阳亦雨怡语嫣瑶耀永咏颖月夜涯约愿忆央言优媛仪印越"},
    {'z', "张赵周朱郑子志哲泽紫之再中组至佐智"},
};

bool isLatin(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Letters folded to lower case and every space removed, for matching.
std::string foldForMatch(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ') continue;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

// Bytes of the UTF-8 character that starts with this byte (1 for a stray continuation byte).
std::size_t utf8Length(unsigned char lead) {
  if (lead >= 0xf0) return 4;
  if (lead >= 0xe0) return 3;
  if (lead >= 0xc0) return 2;
  return 1;
}

// The initials of a title or singer text: the pinyin initial of each Chinese character and the
// first letter of each Latin word, in lower case. Any other character (",", or a character the
// table does not know) is a "|", so an initials search never runs across it.
std::string initialsOf(const std::string& text) {
  static const std::map<std::string, char> table = [] {
    std::map<std::string, char> out;
    for (const auto& [initial, characters] : kInitials) {
      for (std::size_t i = 0; i < characters.size();) {
        std::size_t n = utf8Length(static_cast<unsigned char>(characters[i]));
        out.emplace(characters.substr(i, n), initial);
        i += n;
      }
    }
    return out;
  }();
  std::string out;
  bool inWord = false;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t n = std::min(utf8Length(c), text.size() - i);
    if (n == 1 && std::isalnum(c)) {
      if (!inWord) out.push_back(static_cast<char>(std::tolower(c)));
      inWord = true;
    } else {
      inWord = false;
      auto it = table.find(text.substr(i, n));
      if (it != table.end()) out.push_back(it->second);
      else if (c != ' ') out.push_back('|');
    }
    i += n;
  }
  return out;
}

// Percent-escapes every byte outside the letters, digits and "-._~/" (UTF-8 for non-ASCII).
std::string escapeForUrl(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

// "p" read as the service does: leading digits, 1 when missing or below 1.
int pageOf(const RecordedRequest& request) {
  std::string text = request.param("p").value_or("1");
  int page = std::atoi(text.c_str());
  return page < 1 ? 1 : page;
}

template <class T>
std::vector<T> pageSlice(const std::vector<T>& all, int page) {
  std::size_t from = static_cast<std::size_t>(page - 1) * CloudService::kPageSize;
  if (from >= all.size()) return {};
  std::size_t to = std::min(all.size(), from + static_cast<std::size_t>(CloudService::kPageSize));
  return std::vector<T>(all.begin() + static_cast<std::ptrdiff_t>(from), all.begin() + static_cast<std::ptrdiff_t>(to));
}

HttpReply notFound() {
  return {404, "text/html; charset=utf-8",
          "<html><head><title>404 Not Found</title></head><body><h1>404 Not Found</h1></body></html>\n"};
}

// The endpoints whose "code" is a number unless a test says otherwise.
bool isNumberByDefault(const std::string& endpoint) {
  static const std::set<std::string> numbers = {"getktvsonglist.php", "oversonglist.php", "songlisttop.php",
                                                "addsong.php",        "delsong.php",      "getfavsongs.php",
                                                "nextsong.php",       "ctoggle.php",      "ptoggle.php",
                                                "mvol.php",           "mmic.php"};
  return numbers.count(endpoint) > 0;
}

Json songEntry(const CloudSong& s) {
  return Json{{"music_name", s.title}, {"music_no", s.number}, {"singer", s.singer}};
}

}  // namespace

// Request handling, with access to the service's state.
struct CloudService::Impl {
  CloudService& s;
  const RecordedRequest& r;
  std::string endpoint;

  std::string param(const char* name) const { return r.param(name).value_or(""); }

  CodeForm form = CodeForm::Text;  // of this endpoint's "code", read once per request
  bool escape = false;

  Json code(int value) const {
    if (form == CodeForm::Number) return value;
    return std::to_string(value);
  }

  HttpReply json(const Json& reply) const {
    return {200, "application/json; charset=utf-8", reply.dump(-1, ' ', escape)};
  }

  HttpReply failure(int value, const std::string& msg) const { return json(Json{{"code", code(value)}, {"msg", msg}}); }

  // The bound room of "uid", or nothing.
  std::optional<CloudRoom> boundRoom() const {
    std::string uid = param("uid");
    if (uid.empty()) return std::nullopt;
    return s.roomByUid(uid);
  }

  static Json queueEntry(const QueuedSong& q) {
    return Json{{"musicname", q.title}, {"singername", q.singer}, {"musicno", q.number}};
  }
  static Json sungEntry(const QueuedSong& q) {
    return Json{{"singer", q.singer}, {"musicname", q.title}, {"musicno", q.number}};
  }

  // --- binding ---
  HttpReply qr() const {
    std::string token = r.path.substr(std::string("/qr/").size());
    for (const CloudRoom& room : s.m_rooms) {
      if (room.qrToken == token) {
        return json(Json{{"code", code(1)}, {"roominfo", room.token}, {"tranip", room.tranIp}, {"msg", "ok"}});
      }
    }
    return failure(0, "二维码已失效");
  }

  HttpReply roomInfo() const {
    std::string token = r.path.substr(std::string("/roominfo/").size());
    for (const CloudRoom& room : s.m_rooms) {
      if (room.token == token) {
        return json(Json{{"code", code(1)},
                         {"room", Json{{"room_code", room.code}, {"room_ip", room.ip}, {"room_name", room.code + "包厢"}}},
                         {"msg", "ok"}});
      }
    }
    return failure(0, "房间不存在");
  }

  HttpReply bind() const {
    if (param("type") != "1") return failure(0, "参数错误");
    std::optional<CloudRoom> room = s.roomByCode(param("roomid"));
    if (!room) return failure(0, "房间号不存在，请核对后重新输入");
    return json(Json{{"code", code(1)},
                     {"data", Json::array({Json{{"uid", room->uid}, {"roomid", room->code}}})},
                     {"msg", "绑定成功"}});
  }

  // --- room queue and playback ---
  template <class Fn>
  HttpReply withRoom(int unboundCode, Fn fn) const {
    std::optional<CloudRoom> room = boundRoom();
    if (!room) return failure(unboundCode, "请先绑定房间");
    std::lock_guard lock(s.m_stateMutex);
    return fn(s.m_state[room->code]);
  }

  HttpReply queue() const {
    std::optional<CloudRoom> room = boundRoom();
    if (!room) return json(Json{{"code", code(0)}, {"msg", "请先绑定房间"}, {"list", Json::array()}});
    Json list = Json::array();
    {
      std::lock_guard lock(s.m_stateMutex);
      for (const QueuedSong& q : s.m_state[room->code].queue) list.push_back(queueEntry(q));
    }
    return json(Json{{"code", code(1)}, {"list", list}});
  }

  HttpReply sung() const {
    std::optional<CloudRoom> room = boundRoom();
    if (!room) return json(Json{{"code", code(0)}, {"msg", "请先绑定房间"}, {"list", Json::array()}});
    Json list = Json::array();
    {
      std::lock_guard lock(s.m_stateMutex);
      for (const QueuedSong& q : s.m_state[room->code].sung) list.push_back(sungEntry(q));
    }
    return json(Json{{"code", code(1)}, {"list", list}});
  }

  HttpReply addSong() const {
    std::optional<CloudRoom> room = boundRoom();
    if (!room) return failure(6, "请先绑定房间");
    if (param("appid") != "arr") return failure(0, "appid错误");
    QueuedSong entry{param("musicno"), param("mname"), param("songer")};
    if (entry.number.empty()) return failure(0, "歌曲编号不能为空");
    {
      std::lock_guard lock(s.m_stateMutex);
      s.m_state[room->code].queue.push_back(entry);
    }
    return json(Json{{"code", code(1)}, {"msg", "点歌成功"}});
  }

  HttpReply moveToFront() const {
    std::string number = param("musicno");
    return withRoom(0, [&](RoomState& state) {
      auto it = std::find_if(state.queue.begin(), state.queue.end(),
                             [&](const QueuedSong& q) { return q.number == number; });
      if (it == state.queue.end()) return failure(0, "该歌曲不在已点列表中");
      // The first song is being sung: the song goes directly behind it.
      if (it != state.queue.begin()) std::rotate(state.queue.begin() + 1, it, it + 1);
      return json(Json{{"code", code(1)}, {"msg", "优先成功"}});
    });
  }

  HttpReply remove() const {
    std::string number = param("musicno");
    return withRoom(0, [&](RoomState& state) {
      auto it = std::find_if(state.queue.begin(), state.queue.end(),
                             [&](const QueuedSong& q) { return q.number == number; });
      if (it == state.queue.end()) return failure(0, "该歌曲不在已点列表中");
      state.queue.erase(it);
      return json(Json{{"code", code(1)}, {"msg", "删除成功"}});
    });
  }

  HttpReply favourites() const {
    std::optional<CloudRoom> room = boundRoom();
    if (!room) return json(Json{{"code", code(0)}, {"msg", "请先绑定房间"}, {"data", Json::array()}});
    std::vector<std::string> numbers;
    {
      std::lock_guard lock(s.m_stateMutex);
      numbers = s.m_state[room->code].favourites;
    }
    Json data = Json::array();
    for (const std::string& number : pageSlice(numbers, pageOf(r))) {
      if (std::optional<CloudSong> song = s.song(number)) {
        data.push_back(Json{{"songer", song->singer}, {"mname", song->title}, {"mno", song->number}});
      }
    }
    return json(Json{{"code", code(1)}, {"data", data}});
  }

  HttpReply playback() const {
    std::string type = param("type");
    return withRoom(0, [&](RoomState& state) {
      std::string msg;
      if (endpoint == "nextsong.php") {
        if (state.queue.empty()) return failure(0, "没有待播歌曲");
        state.sung.insert(state.sung.begin(), state.queue.front());
        state.queue.erase(state.queue.begin());
        state.paused = false;
        msg = "切歌成功";
      } else if (endpoint == "ctoggle.php") {
        state.original = !state.original;
        msg = state.original ? "原唱" : "伴唱";
      } else if (endpoint == "ptoggle.php") {
        state.paused = !state.paused;
        msg = state.paused ? "暂停" : "播放";
      } else {
        if (type != "0" && type != "1") return failure(0, "参数错误");
        int& level = endpoint == "mvol.php" ? state.volume : state.mic;
        level = std::clamp(level + (type == "1" ? 1 : -1), 0, kMaxLevel);
        msg = (endpoint == "mvol.php" ? "音量" : "麦克风") + std::to_string(level);
      }
      return json(Json{{"code", code(1)},
                       {"msg", msg},
                       {"paused", state.paused ? 1 : 0},
                       {"original", state.original ? 1 : 0},
                       {"volume", state.volume},
                       {"mic", state.mic}});
    });
  }

  // --- song-list host ---
  HttpReply bannerList() const {
    std::string video;
    {
      std::lock_guard lock(s.m_stateMutex);
      video = s.m_videoBannerAddress;
    }
    auto isVideo = [](const std::string& page) { return page.size() > 4 && page.ends_with(".mp4"); };
    Json items = Json::array();
    for (const CloudBanner& b : s.m_banners) {
      items.push_back(Json{{"classid", b.classId},
                           {"classname", b.name},
                           {"classdetailbigimage", b.image},
                           {"pic", isVideo(b.page) && !video.empty() ? video : b.page},
                           {"sort", items.size() + 1}});
    }
    return json(Json{{"code", code(1)}, {"data", Json{{"bannerclass", items}}}});
  }

  HttpReply bannerSongList() const {
    std::vector<CloudSong> songs = s.bannerSongs(param("classid"));
    if (songs.empty()) {
      return json(Json{{"code", code(0)}, {"msg", "该专题不存在"}, {"result", Json{{"matches", Json::array()}}}});
    }
    Json matches = Json::array();
    for (const CloudSong& song : songs) {
      matches.push_back(Json{{"Music_Caption", song.title}, {"Music_No", song.number}, {"Music_SingerName", song.singer}});
    }
    return json(Json{{"code", code(1)}, {"result", Json{{"total", songs.size()}, {"matches", matches}}}, {"msg", "ok"}});
  }

  HttpReply bannerPicture() const {
    std::string name = r.path.substr(std::string("/php/banner/").size());
    if (name.empty()) return notFound();
    // The carousel's proportions (1024 x 225 points).
    return {200, "image/jpeg", makeJpeg(1024, 225, "banner/" + name)};
  }

  HttpReply bannerPage() const { return BannerPages::reply(r, "/php/page/"); }

  // --- search host ---
  HttpReply rank() const {
    std::vector<CloudSong> all = s.chart(param("type"));
    Json list = Json::array();
    for (const CloudSong& song : pageSlice(all, pageOf(r))) list.push_back(songEntry(song));
    return json(Json{{"total", all.size()}, {"p", pageOf(r)}, {"list", list}});
  }

  HttpReply searchSongs() const {
    std::vector<CloudSong> all = s.search(param("q"));
    Json matches = Json::array();
    for (const CloudSong& song : pageSlice(all, pageOf(r))) matches.push_back(songEntry(song));
    return json(Json{{"total", all.size()}, {"p", pageOf(r)}, {"matches", matches}});
  }

  HttpReply singersByClass() const {
    std::vector<CloudSinger> all = s.singersOf(param("tname"));
    Json data = Json::array();
    for (const CloudSinger& singer : pageSlice(all, pageOf(r))) {
      data.push_back(Json{{"singerheader", singerImageUrl(singer.name)},
                          {"singername", singer.name},
                          {"singerid", singer.id}});
    }
    return json(Json{{"total", all.size()}, {"data", data}});
  }

  HttpReply singerPicture() const {
    std::string file = r.path.substr(std::string("/ZiZezer/SingerImage/").size());
    if (file.size() <= 4 || file.compare(file.size() - 4, 4, ".jpg") != 0) return notFound();
    return {200, "image/jpeg", makeJpeg(160, 160, "singer/" + file.substr(0, file.size() - 4))};
  }

  HttpReply run() const {
    const std::string& p = r.path;
    if (endpoint == "qr") return qr();
    if (endpoint == "roominfo") return roomInfo();
    if (p.rfind("/interface/", 0) == 0) {
      if (endpoint == "webbindroom_new.php") return bind();
      if (endpoint == "getktvsonglist.php") return queue();
      if (endpoint == "oversonglist.php") return sung();
      if (endpoint == "addsong.php") return addSong();
      if (endpoint == "songlisttop.php") return moveToFront();
      if (endpoint == "delsong.php") return remove();
      if (endpoint == "getfavsongs.php") return favourites();
      if (endpoint == "nextsong.php" || endpoint == "ctoggle.php" || endpoint == "ptoggle.php" ||
          endpoint == "mvol.php" || endpoint == "mmic.php") {
        return playback();
      }
      return notFound();
    }
    if (p == "/php/wxpic.php") return bannerList();
    if (p == "/php/wxsong.php") return bannerSongList();
    if (endpoint == "banner") return bannerPicture();
    if (endpoint == "page") return bannerPage();
    if (p == "/wxsearchservice.aspx" || p == "/wxsearchservice.aspx/") {
      if (endpoint == "getrankinfo") return rank();
      if (endpoint == "getwxmusicinfo") return searchSongs();
      if (endpoint == "getsingersbyclass") return singersByClass();
      return json(Json{{"code", code(0)}, {"msg", "op错误"}});
    }
    if (endpoint == "SingerImage") return singerPicture();
    return notFound();
  }
};

// --- CloudService ---------------------------------------------------------------------------

CloudService::CloudService() {
  buildCatalogue();
  m_state = seededRooms();
}

CloudService::~CloudService() { stop(); }

std::vector<std::string> CloudService::hosts() {
  return {CloudHosts::binding, CloudHosts::interfaceHost, CloudHosts::songList, CloudHosts::search,
          CloudHosts::singerImage};
}

std::vector<std::string> CloudService::connectTo() const {
  std::vector<std::string> out;
  for (const std::string& host : hosts()) out.push_back(host + ":80:127.0.0.1:" + std::to_string(port()));
  return out;
}

std::string CloudService::singerImageUrl(const std::string& name) {
  return std::string("http://") + CloudHosts::singerImage + "/ZiZezer/SingerImage/" + escapeForUrl(name) + ".jpg";
}

std::string CloudService::qrText(const std::string& roomCode) const {
  std::optional<CloudRoom> room = roomByCode(roomCode);
  if (!room) return "";
  return std::string("http://") + CloudHosts::binding + "/qr/" + room->qrToken;
}

std::string CloudService::qrPng(const std::string& roomCode, int module) const {
  const std::string text = qrText(roomCode);
  if (text.empty()) return "";
  QRcode* code = QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M);
  if (!code) return "";
  constexpr int kQuiet = 4;
  module = std::clamp(module, 1, 64);
  const int side = (code->width + 2 * kQuiet) * module;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(side) * side * 3, 0xff);
  for (int y = 0; y < code->width; ++y) {
    for (int x = 0; x < code->width; ++x) {
      if (!(code->data[y * code->width + x] & 1)) continue;  // bit 0: a dark module
      for (int dy = 0; dy < module; ++dy) {
        const std::size_t row = static_cast<std::size_t>((y + kQuiet) * module + dy) * side;
        std::fill_n(pixels.begin() + static_cast<std::ptrdiff_t>((row + (x + kQuiet) * module) * 3), module * 3, 0);
      }
    }
  }
  QRcode_free(code);
  return encodePng(pixels, side, side, 3);
}

bool CloudService::writeQrPng(const std::string& roomCode, const std::string& path, int module) const {
  const std::string png = qrPng(roomCode, module);
  if (png.empty()) return false;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

const std::vector<std::string>& CloudService::regions() { return kRegions; }
const std::vector<std::string>& CloudService::categories() { return kCategories; }

void CloudService::buildCatalogue() {
  Lcg random(20240611u);
  std::set<std::string> used;
  auto addSinger = [&](const std::string& name, const std::string& region) {
    if (!used.insert(name).second) return;
    char id[16];
    std::snprintf(id, sizeof id, "S%04zu", m_singers.size() + 1);
    m_singers.push_back({id, name, region});
  };
  auto makeNames = [&](const std::string& region, const std::vector<std::string>& given, std::size_t count) {
    std::size_t made = 0;
    while (made < count) {
      std::string name = kSurnames[random.below(kSurnames.size())] + given[random.below(given.size())];
      if (used.count(name)) continue;
      addSinger(name, region);
      ++made;
    }
  };
  // More than a page of mainland male singers, so the region list has a second page.
  makeNames("大陆男歌星", kMaleGiven, 26);
  makeNames("大陆女歌星", kFemaleGiven, 14);
  makeNames("港台男歌星", kHkMaleGiven, 8);
  makeNames("港台女歌星", kHkFemaleGiven, 8);
  for (const auto& [region, names] : kFixedSingers) {
    for (const std::string& name : names) addSinger(name, region);
  }

  int number = 100001;
  auto addSong = [&](const std::string& title, const std::string& singer, const std::string& category) {
    m_songs.push_back({std::to_string(number++), title, singer, category});
  };
  for (const CloudSinger& singer : m_singers) {
    std::size_t count = 3 + random.below(6);
    std::set<std::string> titles;
    while (titles.size() < count) {
      std::string title = isLatin(singer.name) ? kLatinTitles[random.below(kLatinTitles.size())]
                                               : kTitleHeads[random.below(kTitleHeads.size())] +
                                                     kTitleTails[random.below(kTitleTails.size())];
      if (!titles.insert(title).second) continue;
      // Duets have their own category; the others are spread over the rest.
      addSong(title, singer.name, kCategories[1 + random.below(kCategories.size() - 1)]);
    }
  }
  // Duets: a mainland man and woman, the singer text holding both names.
  std::vector<std::string> men, women;
  for (const CloudSinger& singer : m_singers) {
    if (singer.region == "大陆男歌星") men.push_back(singer.name);
    if (singer.region == "大陆女歌星") women.push_back(singer.name);
  }
  for (std::size_t i = 0; i < 24; ++i) {
    std::string title = kTitleHeads[(i * 7) % kTitleHeads.size()] + kTitleTails[(i * 3 + 1) % kTitleTails.size()];
    addSong(title, men[i % men.size()] + "," + women[(i * 5) % women.size()], "男女对唱");
  }

  // The chart: the hundred best by a fixed score, a duet on the second place.
  std::vector<const CloudSong*> ranked;
  for (const CloudSong& song : m_songs) ranked.push_back(&song);
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const CloudSong* a, const CloudSong* b) { return hashOf(a->number) < hashOf(b->number); });
  auto duet = std::find_if(ranked.begin(), ranked.end(),
                           [](const CloudSong* s) { return s->singer.find(',') != std::string::npos; });
  if (duet != ranked.end() && duet - ranked.begin() > 1) std::rotate(ranked.begin() + 1, duet, duet + 1);
  for (std::size_t i = 0; i < ranked.size() && i < 100; ++i) m_chartOrder.push_back(ranked[i]->number);

  // The banner pictures come from the image host; "pic" is empty (the banner's songs), a page or
  // a video.
  std::string songHost = std::string("http://") + CloudHosts::songList;
  std::string imageHost = std::string("http://") + CloudHosts::singerImage;
  m_banners = {
      {"12", "夏日热歌", imageHost + "/php/banner/12.jpg", ""},
      {"15", "经典怀旧", imageHost + "/php/banner/15.jpg", ""},
      {"21", "毕业季", imageHost + "/php/banner/21.jpg", ""},
      {"hot", "本周热推", imageHost + "/php/banner/hot.jpg", ""},
      {"30", "新店开业", imageHost + "/php/banner/30.jpg", songHost + "/php/page/" + BannerPages::FirstPage},
      {"41", "精彩MV", imageHost + "/php/banner/41.jpg", songHost + "/php/video/41.mp4"},
  };

  m_rooms = {
      {"8012", "rm5f3a8012", "qr8012kx", "192.168.10.112", "192.168.10.2", "1708012"},
      {"8015", "rm9c1e8015", "qr8015pz", "192.168.10.115", "192.168.10.2", "1708015"},
      {"6603", "rm27bd6603", "qr6603mw", "192.168.20.103", "192.168.20.2", "1706603"},
  };
}

std::map<std::string, RoomState> CloudService::seededRooms() const {
  std::map<std::string, RoomState> state;
  for (const CloudRoom& room : m_rooms) {
    RoomState& s = state[room.code];
    std::uint32_t start = hashOf(room.code) % static_cast<std::uint32_t>(m_songs.size());
    // Favourites: more than a page.
    for (std::size_t i = 0; i < 25; ++i) s.favourites.push_back(m_songs[(start + i * 11) % m_songs.size()].number);
  }
  // The first room has songs waiting and songs sung.
  RoomState& first = state[m_rooms.front().code];
  for (std::size_t i = 0; i < 3; ++i) {
    const CloudSong& song = m_songs[(i * 37 + 5) % m_songs.size()];
    first.queue.push_back({song.number, song.title, song.singer});
  }
  for (std::size_t i = 0; i < 2; ++i) {
    const CloudSong& song = m_songs[(i * 53 + 9) % m_songs.size()];
    first.sung.push_back({song.number, song.title, song.singer});
  }
  return state;
}

std::optional<CloudSong> CloudService::song(const std::string& number) const {
  int n = std::atoi(number.c_str());
  std::size_t index = static_cast<std::size_t>(n - 100001);
  if (n >= 100001 && index < m_songs.size() && m_songs[index].number == number) return m_songs[index];
  return std::nullopt;
}

std::vector<CloudSinger> CloudService::singersOf(const std::string& region) const {
  std::vector<CloudSinger> out;
  for (const CloudSinger& singer : m_singers) {
    if (singer.region == region) out.push_back(singer);
  }
  return out;
}

std::vector<CloudSong> CloudService::chart(const std::string& type) const {
  std::vector<CloudSong> out;
  if (type == kChart) {
    for (const std::string& number : m_chartOrder) out.push_back(*song(number));
  } else if (type == "新歌榜") {
    for (auto it = m_songs.rbegin(); it != m_songs.rend() && out.size() < 50; ++it) out.push_back(*it);
  }
  return out;
}

std::vector<CloudSong> CloudService::search(const std::string& text) const {
  std::string needle = foldForMatch(text);
  std::vector<CloudSong> out;
  if (needle.empty()) return out;
  for (const CloudSong& song : m_songs) {
    if (foldForMatch(song.title).find(needle) != std::string::npos ||
        foldForMatch(song.singer).find(needle) != std::string::npos || foldForMatch(song.category) == needle ||
        initialsOf(song.title).find(needle) != std::string::npos ||
        initialsOf(song.singer).find(needle) != std::string::npos) {
      out.push_back(song);
    }
  }
  return out;
}

std::vector<CloudSong> CloudService::bannerSongs(const std::string& classId) const {
  std::vector<CloudSong> out;
  bool known = std::any_of(m_banners.begin(), m_banners.end(), [&](const CloudBanner& b) { return b.classId == classId; });
  if (!known) return out;
  std::size_t start = hashOf(classId) % m_songs.size();
  for (std::size_t i = 0; i < 15; ++i) out.push_back(m_songs[(start + i * 13) % m_songs.size()]);
  return out;
}

std::optional<CloudRoom> CloudService::roomByCode(const std::string& code) const {
  for (const CloudRoom& room : m_rooms) {
    if (room.code == code) return room;
  }
  return std::nullopt;
}

std::optional<CloudRoom> CloudService::roomByUid(const std::string& uid) const {
  for (const CloudRoom& room : m_rooms) {
    if (room.uid == uid) return room;
  }
  return std::nullopt;
}

RoomState CloudService::roomState(const std::string& roomCode) const {
  std::lock_guard lock(m_stateMutex);
  auto it = m_state.find(roomCode);
  return it == m_state.end() ? RoomState{} : it->second;
}

void CloudService::setRoomState(const std::string& roomCode, RoomState state) {
  std::lock_guard lock(m_stateMutex);
  m_state[roomCode] = std::move(state);
}

void CloudService::resetRooms() {
  std::map<std::string, RoomState> seeded = seededRooms();
  std::lock_guard lock(m_stateMutex);
  m_state = std::move(seeded);
}

void CloudService::setCodeForm(CodeForm form) {
  std::lock_guard lock(m_stateMutex);
  m_allCodes = form;
  m_codeForms.clear();
}

void CloudService::setCodeForm(const std::string& endpoint, CodeForm form) {
  std::lock_guard lock(m_stateMutex);
  m_codeForms[endpoint] = form;
}

void CloudService::setVideoBannerAddress(const std::string& address) {
  std::lock_guard lock(m_stateMutex);
  m_videoBannerAddress = address;
}

void CloudService::setEscapeUnicode(bool escape) {
  std::lock_guard lock(m_stateMutex);
  m_escapeUnicode = escape;
}

std::string CloudService::endpointOf(const RecordedRequest& request) const {
  const std::string& p = request.path;
  auto under = [&](const char* prefix) { return p.rfind(prefix, 0) == 0; };
  if (under("/interface/")) return p.substr(std::string("/interface/").size());
  if (under("/php/banner/")) return "banner";
  if (under("/php/page/")) return "page";
  if (under("/php/")) return p.substr(std::string("/php/").size());
  if (p == "/wxsearchservice.aspx" || p == "/wxsearchservice.aspx/") {
    return request.param("op").value_or("wxsearchservice.aspx");
  }
  if (under("/roominfo/")) return "roominfo";
  if (under("/qr/")) return "qr";
  if (under("/ZiZezer/SingerImage/")) return "SingerImage";
  if (under("/images/")) return "images";
  return p;
}

HttpReply CloudService::handle(const RecordedRequest& request) {
  if (request.endpoint == "images") return Gallery::reply(request, "/images/", 3600);
  Impl impl{*this, request, request.endpoint};
  {
    std::lock_guard lock(m_stateMutex);
    if (auto it = m_codeForms.find(impl.endpoint); it != m_codeForms.end()) {
      impl.form = it->second;
    } else if (m_allCodes) {
      impl.form = *m_allCodes;
    } else if (isNumberByDefault(impl.endpoint)) {
      impl.form = CodeForm::Number;
    }
    impl.escape = m_escapeUnicode;
  }
  // The handlers below take the state lock themselves, around the state only.
  return impl.run();
}

}  // namespace venue
