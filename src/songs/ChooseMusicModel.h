#pragma once

#include <memory>
#include <string>

#include "app/BaseModel.h"

namespace kt {

// One song row of a song list: its title, singer and number as texts, copied from a dictionary
// under the model's own keys ("imgURL", "musicName", "singerName", "musicNum"). Every field is
// the "%@" text of the value: a text stays itself, a number becomes its decimal text, JSON null
// "<null>" and an absent key "(null)". Nothing changes a model after it is made.
class ChooseMusicModel : public BaseModel {
 public:
  explicit ChooseMusicModel(const core::Value& dict);
  ~ChooseMusicModel() override;

  // Which keys of one reply item a screen gives the model, and whether the singer text is cut
  // to its first name (the part before the first ",").
  struct ReplyKeys {
    const char* musicName;
    const char* singerName;
    const char* musicNum;
    bool firstSingerOnly;
  };
  // Song home, chart and titled song list ("list" or "matches").
  static constexpr ReplyKeys ChartKeys{"music_name", "singer", "music_no", true};
  // Favourites ("data").
  static constexpr ReplyKeys FavouriteKeys{"mname", "songer", "mno", false};
  // Banner song list ("matches" inside "result").
  static constexpr ReplyKeys BannerSongKeys{"Music_Caption", "Music_SingerName", "Music_No", false};
  // Queue ("list").
  static constexpr ReplyKeys QueueKeys{"musicname", "singername", "musicno", false};
  // Sung songs ("list").
  static constexpr ReplyKeys SungKeys{"musicname", "singer", "musicno", false};
  // Song search ("matches"): the singer text stays whole.
  static constexpr ReplyKeys SearchKeys{"music_name", "singer", "music_no", false};

  // The model's dictionary for one reply item: a key the item lacks stays absent (and so reads
  // "(null)" in the model).
  static core::Value dictWithReplyItem(const core::Value& item, const ReplyKeys& keys);
  static std::shared_ptr<ChooseMusicModel> modelWithReplyItem(const core::Value& item, const ReplyKeys& keys);

  const std::string& string_imageURL() const { return m_imageURL; }
  void setString_imageURL(std::string text) { m_imageURL = std::move(text); }
  const std::string& string_musicName() const { return m_musicName; }
  void setString_musicName(std::string text) { m_musicName = std::move(text); }
  const std::string& string_musicSinger() const { return m_musicSinger; }
  void setString_musicSinger(std::string text) { m_musicSinger = std::move(text); }
  const std::string& string_musicNumber() const { return m_musicNumber; }
  void setString_musicNumber(std::string text) { m_musicNumber = std::move(text); }

 private:
  std::string m_imageURL;
  std::string m_musicName;
  std::string m_musicSinger;
  std::string m_musicNumber;
};

}  // namespace kt
