#include "app/AppDelegate.h"

#include "app/BaseVC.h"
#include "app/SubsidiaryClass.h"
#include "platform/core/Bundle.h"
#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/PropertyList.h"
#include "platform/core/RunLoop.h"
#include "platform/core/UserDefaults.h"
#include "platform/gfx/Color.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"

namespace kt {
namespace {

RootScreenFactory& rootScreenFactory() {
  static RootScreenFactory factory;
  return factory;
}

}  // namespace

std::shared_ptr<ui::ViewController> makeRootScreen() {
  if (const RootScreenFactory& factory = rootScreenFactory()) {
    if (auto screen = factory()) return screen;
  }
  return std::make_shared<BaseVC>();
}

void setRootScreenFactory(RootScreenFactory factory) { rootScreenFactory() = std::move(factory); }

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate() = default;

AppDelegate* AppDelegate::current() {
  return dynamic_cast<AppDelegate*>(ui::Application::shared().delegate());
}

bool AppDelegate::didFinishLaunching(ui::Application& /*application*/) {
  // A stop asked for already (a termination signal during the start) is heard only once the run
  // loop turns: a first screen nobody will see is not built, nor finished, meanwhile.
  const auto stopping = [] { return core::RunLoop::main().isStopping(); };
  if (stopping()) return true;
  registerDefaultsFromSettingsBundle();
  if (!m_window) {
    m_window = ui::Window::create();
    m_window->setBackgroundColor(gfx::Color::black());
  }
  if (stopping()) return true;
  auto root = makeRootScreen();
  if (stopping()) return true;
  m_window->setRootViewController(std::make_shared<ui::NavigationController>(std::move(root)));
  if (stopping()) return true;
  if (!m_window->isKeyWindow()) m_window->makeKeyAndVisible();
  return true;
}

void AppDelegate::registerDefaultsFromSettingsBundle() {
  std::optional<std::string> settings = core::Bundle::main().pathForResource("Settings", "bundle");
  if (!settings) return;
  core::Error error;
  std::optional<core::Value> root = core::PropertyList::readFile(*settings + "/Root.plist", &error);
  if (!root) KT_LOG("settings cannot be read: %s", error.localizedDescription().c_str());
  core::Value::Dictionary defaults;
  if (root) {
    const core::Value& specifiers = (*root)["PreferenceSpecifiers"];
    for (size_t i = 0; specifiers.isArray() && i < specifiers.size(); ++i) {
      const core::Value& entry = specifiers.at(i);
      const std::string* key = entry["Key"].asString();
      const core::Value& value = entry["DefaultValue"];
      if (key && !value.isNull()) defaults[*key] = value;
    }
  }
  core::UserDefaults::standard().registerDefaults(core::Value(std::move(defaults)));
}

void AppDelegate::applicationWillEnterForeground(ui::Application& /*application*/) {
  core::NotificationCenter::defaultCenter().post(EnterForegroundNotification, this);
}

unsigned AppDelegate::supportedInterfaceOrientations(ui::Application& /*application*/, ui::Window* /*window*/) {
  return m_shouldChangeOrientation ? unsigned(ui::OrientationMaskPortrait) : unsigned(ui::OrientationMaskLandscape);
}

void AppDelegate::dealUidMessage() {
  core::UserDefaults& defaults = core::UserDefaults::standard();
  const std::string uid = defaults.stringForKey("uid").value_or("");
  if (!uid.empty()) {
    const std::string nowText = SubsidiaryClass::getTimeStampForUDP();
    const int32_t now = core::Value(nowText).intValue();
    // A uid shorter than ten characters is read whole.
    const int32_t then = core::Value(uid.substr(0, 10)).intValue();
    core::logFormat("%s [Line %d]----%d------%d", __func__, 82, then, now);
    if (int64_t(now) - int64_t(then) >= 7200) {
      defaults.setString("uid", nowText);
      defaults.synchronize();
    }
  } else {
    defaults.setString("uid", SubsidiaryClass::getTimeStamp() + SubsidiaryClass::getRandomNumber());
    defaults.synchronize();
  }
}

}  // namespace kt
