#pragma once

// The song screens by name. The home screen and the song screen frame open the other song
// screens (lists, search, queue, remote control, binding, banner pages) through this registry, and
// each of those screens registers its factory here, so a screen that does not exist yet is only
// a name: opening it logs and does nothing.
//
// What a caller hands to a screen travels in a dictionary of parameters: "string_navTitle" and
// "str_bg" for the titled song list, "string_navTitle" (the region) for the singers of a region,
// "dict_params" (the whole banner item) for the banner screens.

#include "platform/core/Value.h"

#include <functional>
#include <memory>
#include <string>

namespace ui {
class NavigationController;
class ViewController;
}  // namespace ui

namespace kt {

class SongScreens {
 public:
  // Screen names: the class names of the screens.
  static constexpr const char* Favourites = "Style_favouriteVC";
  static constexpr const char* Chart = "Style_hotVC";
  static constexpr const char* Singers = "Style_starsVC";
  static constexpr const char* Categories = "Style_clsssifyVC";
  static constexpr const char* TitledList = "SongsListVC";
  static constexpr const char* SingersOfRegion = "StarsSecondVC";
  static constexpr const char* BannerSongs = "CycleSongsListVC";
  static constexpr const char* BannerVideo = "MovieClipsVC";
  static constexpr const char* BannerPage = "WebVC";
  static constexpr const char* Queue = "AlreadyChooseVC";
  static constexpr const char* SungSongs = "FinishedMusicVC";
  static constexpr const char* Search = "SearchMusicVC";
  static constexpr const char* RemoteControl = "RemoteControlVC";
  static constexpr const char* Binding = "ScanQRCodeVC";

  // Parameter keys.
  static constexpr const char* NavTitleKey = "string_navTitle";
  static constexpr const char* BackgroundKey = "str_bg";
  static constexpr const char* BannerItemKey = "dict_params";

  using Factory = std::function<std::shared_ptr<ui::ViewController>(const core::Value& params)>;

  SongScreens() = delete;

  // Registers the factories of the song screens that exist; the program calls it once at launch.
  static void registerBuiltInScreens();
  // Replaces the factory of that name; an empty factory removes it.
  static void registerFactory(const std::string& name, Factory factory);
  static bool isRegistered(const std::string& name);

  // A new screen of that name made with the parameters; null (and a log line) when no screen of
  // that name is registered or its factory makes none.
  static std::shared_ptr<ui::ViewController> make(const std::string& name,
                                                  const core::Value& params = core::Value(core::Value::Dictionary{}));
  // Makes the screen and pushes it, animated. The screen pushed, or null when there is none or
  // there is no navigation controller.
  static std::shared_ptr<ui::ViewController> open(ui::NavigationController* navigation, const std::string& name,
                                                  const core::Value& params = core::Value(core::Value::Dictionary{}));
  // Opens the titled song list of that title (a category or singer name, also its search text)
  // on the background picture `background`.
  static std::shared_ptr<ui::ViewController> openTitledList(ui::NavigationController* navigation,
                                                            const std::string& title, const std::string& background);
  // Makes the screen, wraps it as the root of a navigation controller of its own and presents
  // that modally from `presenter`, animated. The screen, or null.
  static std::shared_ptr<ui::ViewController> present(ui::ViewController* presenter, const std::string& name,
                                                     const core::Value& params = core::Value(core::Value::Dictionary{}));
};

}  // namespace kt
