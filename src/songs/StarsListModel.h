#pragma once

#include <memory>
#include <string>

#include "app/BaseModel.h"

namespace kt {

// One singer row of the singers of a region: portrait reference, name and id as the "%@" texts
// of the dictionary's "portrait", "name" and "singerID" (absent keys read "(null)").
class StarsListModel : public BaseModel {
 public:
  explicit StarsListModel(const core::Value& dict);
  ~StarsListModel() override;

  // The model of one "data" item of the singers-of-a-region reply: "singerheader" as
  // "portrait", "singername" as "name", "singerid" as "singerID"; a key the item lacks stays
  // absent.
  static core::Value dictWithReplyItem(const core::Value& item);
  static std::shared_ptr<StarsListModel> modelWithReplyItem(const core::Value& item);

  const std::string& string_portrait() const { return m_portrait; }
  void setString_portrait(std::string text) { m_portrait = std::move(text); }
  const std::string& string_singerName() const { return m_singerName; }
  void setString_singerName(std::string text) { m_singerName = std::move(text); }
  const std::string& string_singerId() const { return m_singerId; }
  void setString_singerId(std::string text) { m_singerId = std::move(text); }

 private:
  std::string m_portrait;
  std::string m_singerName;
  std::string m_singerId;
};

}  // namespace kt
