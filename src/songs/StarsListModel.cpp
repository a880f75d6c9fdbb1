#include "songs/StarsListModel.h"

#include "songs/CloudReply.h"

namespace kt {

StarsListModel::StarsListModel(const core::Value& dict)
    : BaseModel(dict),
      m_portrait(CloudReply::text(dict, "portrait")),
      m_singerName(CloudReply::text(dict, "name")),
      m_singerId(CloudReply::text(dict, "singerID")) {}

StarsListModel::~StarsListModel() = default;

core::Value StarsListModel::dictWithReplyItem(const core::Value& item) {
  core::Value dict(core::Value::Dictionary{});
  for (const auto& [from, to] :
       {std::pair{"singerheader", "portrait"}, {"singername", "name"}, {"singerid", "singerID"}}) {
    if (item.contains(from)) dict.set(to, item[from]);
  }
  return dict;
}

std::shared_ptr<StarsListModel> StarsListModel::modelWithReplyItem(const core::Value& item) {
  return modelWithDict<StarsListModel>(dictWithReplyItem(item));
}

}  // namespace kt
