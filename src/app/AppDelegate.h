#pragma once

#include <functional>
#include <memory>

#include "platform/ui/Application.h"

namespace ui {
class ViewController;
class Window;
}  // namespace ui

namespace kt {

// The screen at the root of the window's navigation controller (and of the tab bar controller's
// one tab). Until the song home screen takes this over with setRootScreenFactory, it is a base
// screen with an empty content area.
using RootScreenFactory = std::function<std::shared_ptr<ui::ViewController>()>;
std::shared_ptr<ui::ViewController> makeRootScreen();
// An empty factory brings the base screen back.
void setRootScreenFactory(RootScreenFactory factory);

// The application's delegate: registers the settings-bundle defaults, puts the root screen in a
// navigation controller in the window, announces returns to the foreground and decides the
// orientations the interface may take. Nothing else happens at launch.
class AppDelegate : public ui::ApplicationDelegate {
 public:
  // Posted with the delegate as object when the application returns to the foreground.
  static constexpr const char* EnterForegroundNotification = "EnterForeground";

  AppDelegate();
  ~AppDelegate() override;
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // The application's delegate when it is this class (screens reach it this way), else null.
  static AppDelegate* current();

  // The application window. Launch uses the one set here, or makes one the size of the main
  // screen; overlays are added to it.
  const std::shared_ptr<ui::Window>& window() const { return m_window; }
  void setWindow(std::shared_ptr<ui::Window> window) { m_window = std::move(window); }

  // True while only portrait is allowed (the room binding screen is shown).
  bool shouldChangeOrientation() const { return m_shouldChangeOrientation; }
  void setShouldChangeOrientation(bool portraitOnly) { m_shouldChangeOrientation = portraitOnly; }

  // Registers the defaults, makes the root navigation controller the window's root.
  bool didFinishLaunching(ui::Application& application) override;

  // The life cycle: posts "EnterForeground" on the way back to the foreground; the other steps do
  // nothing. The platform's calls below land here.
  void applicationWillEnterForeground(ui::Application& application);
  void applicationWillResignActive(ui::Application& /*application*/) {}
  void applicationDidEnterBackground(ui::Application& /*application*/) {}
  void applicationDidBecomeActive(ui::Application& /*application*/) {}
  void applicationWillTerminate(ui::Application& /*application*/) {}
  void willEnterForeground(ui::Application& application) override { applicationWillEnterForeground(application); }
  void willResignActive(ui::Application& application) override { applicationWillResignActive(application); }
  void didEnterBackground(ui::Application& application) override { applicationDidEnterBackground(application); }
  void didBecomeActive(ui::Application& application) override { applicationDidBecomeActive(application); }
  void willTerminate(ui::Application& application) override { applicationWillTerminate(application); }
  // Portrait (2) while shouldChangeOrientation, else both landscapes (24).
  unsigned supportedInterfaceOrientations(ui::Application& application, ui::Window* window) override;

  // The "Key" -> "DefaultValue" of every entry of "PreferenceSpecifiers" in the settings
  // bundle's Root.plist, registered as defaults (never written to the settings file). Entries
  // without either add nothing; without a settings bundle nothing is registered.
  static void registerDefaultsFromSettingsBundle();

  // Renews the binding id "uid": a stored one whose leading time stamp (its first ten
  // characters, in seconds) is two hours old or more is replaced by the current time stamp; a
  // missing or empty one by the time stamp in milliseconds followed by a random three-digit number.
  void dealUidMessage();

 private:
  std::shared_ptr<ui::Window> m_window;
  bool m_shouldChangeOrientation = false;
};

}  // namespace kt
