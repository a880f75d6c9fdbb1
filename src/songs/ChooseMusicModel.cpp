#include "songs/ChooseMusicModel.h"

#include "songs/CloudReply.h"

namespace kt {

ChooseMusicModel::ChooseMusicModel(const core::Value& dict)
    : BaseModel(dict),
      m_imageURL(CloudReply::text(dict, "imgURL")),
      m_musicName(CloudReply::text(dict, "musicName")),
      m_musicSinger(CloudReply::text(dict, "singerName")),
      m_musicNumber(CloudReply::text(dict, "musicNum")) {}

ChooseMusicModel::~ChooseMusicModel() = default;

core::Value ChooseMusicModel::dictWithReplyItem(const core::Value& item, const ReplyKeys& keys) {
  core::Value dict(core::Value::Dictionary{});
  if (item.contains(keys.musicName)) dict.set("musicName", item[keys.musicName]);
  if (item.contains(keys.musicNum)) dict.set("musicNum", item[keys.musicNum]);
  if (item.contains(keys.singerName)) {
    const core::Value& singer = item[keys.singerName];
    dict.set("singerName", keys.firstSingerOnly ? core::Value(CloudReply::firstName(singer.description())) : singer);
  }
  return dict;
}

std::shared_ptr<ChooseMusicModel> ChooseMusicModel::modelWithReplyItem(const core::Value& item,
                                                                       const ReplyKeys& keys) {
  return modelWithDict<ChooseMusicModel>(dictWithReplyItem(item, keys));
}

}  // namespace kt
