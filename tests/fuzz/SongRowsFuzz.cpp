// Song and singer rows: every item of a reply of any shape becomes a model under each screen's
// keys, whose fields agree with the "%@" texts of the item, and whose singer-picture addresses
// either stay on the singer-image host or are refused as URLs.

#include "FuzzCheck.h"
#include "platform/core/Json.h"
#include "platform/net/URL.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudApi.h"
#include "songs/CloudHosts.h"
#include "songs/CloudReply.h"
#include "songs/StarsListModel.h"

namespace {

using kt::ChooseMusicModel;
using kt::CloudReply;

void checkPicture(const std::string& address) {
  const std::optional<net::URL> url = net::URL::fromString(address);
  if (url) KT_FUZZ_CHECK(url->host() == std::optional<std::string>(kt::CloudHosts::singerImage));
}

void readSongs(const core::Value& item) {
  for (const ChooseMusicModel::ReplyKeys& keys :
       {ChooseMusicModel::ChartKeys, ChooseMusicModel::FavouriteKeys, ChooseMusicModel::BannerSongKeys,
        ChooseMusicModel::QueueKeys, ChooseMusicModel::SungKeys, ChooseMusicModel::SearchKeys}) {
    const auto model = ChooseMusicModel::modelWithReplyItem(item, keys);
    KT_FUZZ_CHECK(model->string_imageURL() == "(null)");
    KT_FUZZ_CHECK(model->string_musicName() == CloudReply::text(item, keys.musicName));
    KT_FUZZ_CHECK(model->string_musicNumber() == CloudReply::text(item, keys.musicNum));
    const std::string singer = CloudReply::text(item, keys.singerName);
    KT_FUZZ_CHECK(model->string_musicSinger() == (keys.firstSingerOnly ? CloudReply::firstName(singer) : singer));
    checkPicture(kt::CloudApi::singerImageURL(model->string_musicSinger()));
  }
  const auto singer = kt::StarsListModel::modelWithReplyItem(item);
  KT_FUZZ_CHECK(singer->string_singerName() == CloudReply::text(item, "singername"));
  KT_FUZZ_CHECK(singer->string_portrait() == CloudReply::text(item, "singerheader"));
  const std::string address = kt::CloudApi::singerRowImageURL(singer->string_singerName());
  KT_FUZZ_CHECK(address.find(' ') == std::string::npos);
  checkPicture(address);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<core::Value> reply = core::Json::parse(fuzz::bytes(data, size), nullptr, true);
  if (!reply) return 0;
  readSongs(*reply);
  for (const char* key : {"list", "data", "matches"})
    for (const core::Value& item : CloudReply::rows(reply, key)) readSongs(item);
  for (const core::Value& item : CloudReply::bannerSongs(reply)) readSongs(item);
  return 0;
}
