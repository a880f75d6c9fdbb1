#pragma once

#include <optional>

#include "platform/core/Value.h"
#include "songs/SongScreen.h"

namespace kt {

// "歌曲列表": the songs of one banner of the home screen's carousel, asked for once by the
// banner's "classid". Of the frame only the back button, the table over the whole content and
// adding a row's song (a toast, no badge). Not bound: the message "请先登录~" and no request.
class CycleSongsListVC : public SongScreen {
 public:
  // `dict_params`: the banner item, kept whole; only its "classid" is read.
  explicit CycleSongsListVC(core::Value dict_params = {});
  ~CycleSongsListVC() override;

  // The banner item; set it before the view loads (the one request reads it).
  const core::Value& dict_params() const { return m_dict_params; }
  void setDict_params(core::Value params) { m_dict_params = std::move(params); }

 protected:
  std::optional<CloudRequest> listRequest(int page) override;
  // The "matches" of "result" when "code" reads "1"; another code shows the service's "msg".
  std::optional<Rows> rowsOfReply(const std::optional<core::Value>& reply) override;

 private:
  core::Value m_dict_params;
};

}  // namespace kt
