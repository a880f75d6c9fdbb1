#include "songs/SongScreens.h"

#include "platform/core/Log.h"
#include "platform/core/ThreadCheck.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewController.h"
#include "songs/AlreadyChooseVC.h"
#include "songs/CycleSongsListVC.h"
#include "songs/FinishedMusicVC.h"
#include "songs/MovieClipsVC.h"
#include "songs/RemoteControlVC.h"
#include "songs/ScanQRCodeVC.h"
#include "songs/SearchMusicVC.h"
#include "songs/SongsListVC.h"
#include "songs/StarsSecondVC.h"
#include "songs/Style_clsssifyVC.h"
#include "songs/Style_favouriteVC.h"
#include "songs/Style_hotVC.h"
#include "songs/Style_starsVC.h"
#include "songs/WebVC.h"

#include <map>

namespace kt {
namespace {

// Main thread only, like the screens that use it.
std::map<std::string, SongScreens::Factory>& factories() {
  static std::map<std::string, SongScreens::Factory> registry;
  return registry;
}

}  // namespace

void SongScreens::registerFactory(const std::string& name, Factory factory) {
  KT_ASSERT_MAIN_THREAD();
  if (factory) factories()[name] = std::move(factory);
  else factories().erase(name);
}

bool SongScreens::isRegistered(const std::string& name) {
  KT_ASSERT_MAIN_THREAD();
  return factories().count(name) > 0;
}

std::shared_ptr<ui::ViewController> SongScreens::make(const std::string& name, const core::Value& params) {
  KT_ASSERT_MAIN_THREAD();
  auto it = factories().find(name);
  // A copy: the factory may register screens itself.
  Factory factory = it == factories().end() ? Factory() : it->second;
  std::shared_ptr<ui::ViewController> screen = factory ? factory(params) : nullptr;
  if (!screen) KT_LOG("no screen %s yet", name.c_str());
  return screen;
}

std::shared_ptr<ui::ViewController> SongScreens::open(ui::NavigationController* navigation, const std::string& name,
                                                      const core::Value& params) {
  if (!navigation) return nullptr;
  std::shared_ptr<ui::ViewController> screen = make(name, params);
  if (screen) navigation->pushViewController(screen, true);
  return screen;
}

std::shared_ptr<ui::ViewController> SongScreens::openTitledList(ui::NavigationController* navigation,
                                                                const std::string& title,
                                                                const std::string& background) {
  core::Value::Dictionary params;
  params[NavTitleKey] = core::Value(title);
  params[BackgroundKey] = core::Value(background);
  return open(navigation, TitledList, core::Value(std::move(params)));
}

std::shared_ptr<ui::ViewController> SongScreens::present(ui::ViewController* presenter, const std::string& name,
                                                         const core::Value& params) {
  if (!presenter) return nullptr;
  std::shared_ptr<ui::ViewController> screen = make(name, params);
  if (screen) presenter->presentViewController(std::make_shared<ui::NavigationController>(screen), true);
  return screen;
}

void SongScreens::registerBuiltInScreens() {
  // One line a screen, as the screens are written.
  registerFactory(RemoteControl, [](const core::Value&) { return std::make_shared<RemoteControlVC>(); });
  registerFactory(Binding, [](const core::Value&) { return std::make_shared<ScanQRCodeVC>(); });
  registerFactory(Queue, [](const core::Value&) { return std::make_shared<AlreadyChooseVC>(); });
  registerFactory(SungSongs, [](const core::Value&) { return std::make_shared<FinishedMusicVC>(); });
  registerFactory(Search, [](const core::Value&) { return std::make_shared<SearchMusicVC>(); });
  registerFactory(Chart, [](const core::Value&) { return std::make_shared<Style_hotVC>(); });
  registerFactory(TitledList, [](const core::Value& params) {
    return std::make_shared<SongsListVC>(params[NavTitleKey].stringValue(), params[BackgroundKey].stringValue());
  });
  registerFactory(Favourites, [](const core::Value&) { return std::make_shared<Style_favouriteVC>(); });
  registerFactory(BannerSongs, [](const core::Value& params) {
    return std::make_shared<CycleSongsListVC>(params[BannerItemKey]);
  });
  registerFactory(BannerPage, [](const core::Value& params) { return std::make_shared<WebVC>(params[BannerItemKey]); });
  registerFactory(BannerVideo, [](const core::Value& params) {
    return std::make_shared<MovieClipsVC>(params[BannerItemKey]);
  });
  registerFactory(Categories, [](const core::Value&) { return std::make_shared<Style_clsssifyVC>(); });
  registerFactory(Singers, [](const core::Value&) { return std::make_shared<Style_starsVC>(); });
  registerFactory(SingersOfRegion, [](const core::Value& params) {
    auto screen = std::make_shared<StarsSecondVC>();
    screen->setString_navTitle(params[NavTitleKey].stringValue());
    return screen;
  });
}

}  // namespace kt
