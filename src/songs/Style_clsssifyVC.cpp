#include "songs/Style_clsssifyVC.h"

#include "songs/SongScreens.h"

namespace kt {
const std::vector<std::string>& Style_clsssifyVC::categories() {
  static const std::vector<std::string> names = {
      "男女对唱", "欢乐庆典", "民歌传唱", "戏曲片段", "草原歌曲", "经典老歌", "影视金曲",
      "校园民谣", "友谊万岁", "军旅歌曲", "网络歌曲", "儿童歌曲", "纯音乐",   "disco",
      "歌颂祖国", "异国风情", "经典翻唱", "寂寞空灵", "高清歌曲", "甜蜜幸福", "心碎伤感"};
  return names;
}

Style_clsssifyVC::Style_clsssifyVC() : NameListScreen("分类点歌") {}

Style_clsssifyVC::~Style_clsssifyVC() = default;

void Style_clsssifyVC::viewDidLoad() {
  NameListScreen::viewDidLoad();
  setNames(categories());
}

void Style_clsssifyVC::openName(const std::string& name) {
  SongScreens::openTitledList(navigationController(), name, "SuperStarsBg");
}

}  // namespace kt
