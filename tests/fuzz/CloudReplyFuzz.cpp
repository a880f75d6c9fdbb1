// Cloud replies: a reply body of any shape is read by every accessor the song service's callers
// use, and none may fail or disagree with the others.

#include "FuzzCheck.h"
#include "platform/core/Json.h"
#include "platform/core/Value.h"
#include "songs/CloudApi.h"
#include "songs/CloudReply.h"

namespace {

using kt::CloudReply;

void readRows(const std::vector<core::Value>& rows) {
  for (const core::Value& row : rows) {
    KT_FUZZ_CHECK(row.isDictionary());
    for (const char* key : {"uid", "song_name", "singer", "id", "pic", "room_ip", "room_code"}) {
      const std::string text = CloudReply::text(row, key);
      if (!row.contains(key)) KT_FUZZ_CHECK(text == "(null)");
      CloudReply::firstName(text);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<core::Value> reply = core::Json::parse(fuzz::bytes(data, size));
  const std::string code = CloudReply::code(reply);
  if (CloudReply::isSuccess(reply)) KT_FUZZ_CHECK(code == "1");
  if (!reply) KT_FUZZ_CHECK(code == "(null)");
  for (const char* key : {"roominfo", "tranip", "msg", "data"}) CloudReply::text(reply, key);
  for (const char* key : {"data", "result", "matches", "list"}) {
    const std::vector<core::Value> rows = CloudReply::rows(reply, key);
    readRows(rows);
    // A count sees every entry, rows only the objects.
    KT_FUZZ_CHECK(CloudReply::count(reply, key) >= static_cast<int>(rows.size()));
  }
  if (reply) {
    const core::Value& room = CloudReply::object(*reply, "room");
    KT_FUZZ_CHECK(room.isNull() || room.isDictionary());
    CloudReply::text(room, "room_ip");
    // The values binding goes on with are never empty, and absent when their key is.
    const std::optional<std::string> token = CloudReply::filledText(*reply, "roominfo");
    if (!reply->contains("roominfo") || (*reply)["roominfo"].isNull()) KT_FUZZ_CHECK(!token);
    for (const std::optional<std::string>& value :
         {token, CloudReply::filledText(room, "room_code"), kt::CloudApi::bindReplyUid(*reply)}) {
      if (value) KT_FUZZ_CHECK(!value->empty());
    }
  }
  readRows(CloudReply::bannerSongs(reply));
  for (const core::Value& item : CloudReply::bannerItems(reply)) KT_FUZZ_CHECK(item.isDictionary());

  const std::string singer(fuzz::bytes(data, size));
  const std::string first = CloudReply::firstName(singer);
  KT_FUZZ_CHECK(singer.compare(0, first.size(), first) == 0);
  KT_FUZZ_CHECK(first.find(',') == std::string::npos);
  return 0;
}
