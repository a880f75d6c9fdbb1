#pragma once

#include <string>
#include <vector>

#include "songs/NameListScreen.h"

namespace kt {

// The song categories, titled "分类点歌": 21 fixed category names under the frame's search bar;
// a tap opens the titled song list of that category, bound or not. The list is fixed, so the
// screen asks the service only for the queue badge.
class Style_clsssifyVC : public NameListScreen {
 public:
  // The categories in row order.
  static const std::vector<std::string>& categories();

  Style_clsssifyVC();
  ~Style_clsssifyVC() override;

  void viewDidLoad() override;

 protected:
  void openName(const std::string& name) override;
};

}  // namespace kt
