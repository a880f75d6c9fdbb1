#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/core/NotificationCenter.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "widgets/feedback/StatusStrip.h"

namespace core {
class Timer;
}
namespace gfx {
class Animation;
}
namespace ui {
class ImageView;
class Label;
class View;
class Window;
}  // namespace ui

namespace kt {

class SNStatusBarStyle;
class SNStatusBarView;

// Shows a bar across the top edge of the screen, over the status-bar area, in an overlay window
// of its own at status-bar level that lets every touch through to the windows below. A bar shows
// a text in a named style, comes in (slide, bounce or fade), can carry a thin progress bar and a
// small activity indicator, and goes away at once or after a delay.
//
// The room status strip lives in every bar: four icon and label pairs (connection, venue server
// address, clerk, server date) built into the bar when it is made; the connection, clerk and date
// labels take the stored texts at every show.
//
// One notifier per process, used on the main thread. The operations that act on the shared
// notifier are the static ones; the instance keeps the strip texts and offers the rest.
class SNStatusBarNotification : public std::enable_shared_from_this<SNStatusBarNotification> {
 public:
  // The window level of the status bar (normal windows are at 0, alerts at 2000).
  static constexpr double WindowLevelStatusBar = 1000;
  // The strip labels' tags.
  static constexpr int OffLineLabelTag = 1001;
  static constexpr int ServerLabelTag = 1002;
  static constexpr int ClerkLabelTag = 1003;
  static constexpr int WifiLabelTag = 1004;
  // The key of the bounce animation on the bar's layer.
  static constexpr const char* BounceAnimationKey = "SNBounceAnimation";

  using StylePtr = std::shared_ptr<SNStatusBarStyle>;
  using PrepareStyle = std::function<StylePtr(StylePtr)>;
  using BarPtr = std::shared_ptr<SNStatusBarView>;

  // The one notifier, made on first use (once, also when first asked for from several threads).
  static std::shared_ptr<SNStatusBarNotification> sharedInstance();
  // Drops the shared notifier with its window and bar, so that the next use makes a fresh one (tests).
  static void resetSharedInstance();

  ~SNStatusBarNotification();
  SNStatusBarNotification(const SNStatusBarNotification&) = delete;
  SNStatusBarNotification& operator=(const SNStatusBarNotification&) = delete;

  // ---- Class operations (on the shared notifier) ----
  // Shows the text in the default style, or in the style registered under the name (the default
  // style when none is). Returns the bar.
  static BarPtr showWithStatus(const std::optional<std::string>& status);
  static BarPtr showWithStatus(const std::optional<std::string>& status, const std::string& styleName);
  // The same, then a dismissal after the given seconds.
  static BarPtr showWithStatus(const std::optional<std::string>& status, double dismissAfter);
  static BarPtr showWithStatus(const std::optional<std::string>& status, double dismissAfter,
                               const std::string& styleName);
  // The room status strip: no text, in the "SNStatusBarStyleMatrix" style.
  static BarPtr showCustomStatus();
  static void dismiss();  // animated
  static void dismissAnimated(bool animated);
  static void dismissAfter(double seconds);
  // Calls the block with a copy of the current default style; its result becomes the default.
  static void setDefaultStyle(const PrepareStyle& prepare);
  // Calls the block with a copy of the default style and registers the result under the name.
  static std::string addStyleNamed(const std::string& name, const PrepareStyle& prepare);
  static void showProgress(double progress);
  static void showActivityIndicator(bool show, ui::ActivityIndicatorStyle style);
  // Whether a bar exists (also while the window is still hidden after the notifier was made).
  static bool isVisible();

  // ---- The notifier ----
  // Shows the text (nullopt: none) in the style (nullptr: the default style). Returns the bar.
  BarPtr showWithStatus(const std::optional<std::string>& status, const StylePtr& style);
  // A one-shot dismissal after the given seconds, replacing any pending one; it also fires while
  // the run loop runs in another common mode (tracking).
  void setDismissTimerWithInterval(double seconds);
  // The progress bar: clamped to 0...1; 0 hides it. Ignored while there is no bar.
  void setProgress(double progress);
  double progress() const { return m_progress; }

  // The strip texts: stored, shown from the next show on. nullopt empties the label.
  const std::optional<std::string>& offLineStr() const { return m_offLineStr; }
  void setOffLineStr(const std::optional<std::string>& text) { m_offLineStr = text; }
  const std::optional<std::string>& clerkStr() const { return m_clerkStr; }
  void setClerkStr(const std::optional<std::string>& text) { m_clerkStr = text; }
  const std::optional<std::string>& wifiStr() const { return m_wifiStr; }
  void setWifiStr(const std::optional<std::string>& text) { m_wifiStr = text; }

  // The style of the last show (nullptr before the first), the default style, a registered style.
  const StylePtr& activeStyle() const { return m_activeStyle; }
  const StylePtr& defaultStyle() const { return m_defaultStyle; }
  StylePtr styleNamed(const std::string& name) const;

  // The current window, bar and progress bar; nullptr while there are none (nothing is made).
  const std::shared_ptr<ui::Window>& currentOverlayWindow() const { return m_overlayWindow; }
  const BarPtr& currentTopBar() const { return m_topBar; }
  const std::shared_ptr<ui::View>& currentProgressView() const { return m_progressView; }
  bool hasPendingDismissal() const;

  // The strip views of the current bar.
  const std::shared_ptr<ui::ImageView>& offLineImageView() const { return m_strip.offLineImageView(); }
  const std::shared_ptr<ui::Label>& offLineLabel() const { return m_strip.offLineLabel(); }
  const std::shared_ptr<ui::ImageView>& serverImageView() const { return m_strip.serverImageView(); }
  const std::shared_ptr<ui::Label>& serverLabel() const { return m_strip.serverLabel(); }
  const std::shared_ptr<ui::ImageView>& clerkImageView() const { return m_strip.clerkImageView(); }
  const std::shared_ptr<ui::Label>& clerkLabel() const { return m_strip.clerkLabel(); }
  const std::shared_ptr<ui::ImageView>& wifiImageView() const { return m_strip.wifiImageView(); }
  const std::shared_ptr<ui::Label>& wifiLabel() const { return m_strip.wifiLabel(); }

  // Follows the application's key window (or its first window): its transform and frame.
  void updateWindowTransform();
  // Sizes the bar from a status-bar frame: the long side wide, the short side high, moved up by
  // half its height on a double-height status bar. Nothing happens while there is no bar.
  void updateTopBarFrameWithStatusBarFrame(const gfx::Rect& statusBarFrame);

 private:
  struct Key {};

 public:
  explicit SNStatusBarNotification(Key);

 private:
  static std::shared_ptr<SNStatusBarNotification> shared();
  void setUp();

  // Made on first use.
  const std::shared_ptr<ui::Window>& overlayWindow();
  const BarPtr& topBar();
  const std::shared_ptr<ui::View>& progressView();

  BarPtr showWithStatusNamed(const std::optional<std::string>& status, const std::optional<std::string>& styleName);
  void showOverlayWindow();
  void resetStartingPlace(SNStatusBarView& bar, const SNStatusBarStyle& style, bool fromNewStyle);
  void animateInWithBounceAnimation();
  void bounceDidStop(const std::weak_ptr<SNStatusBarView>& bar);
  void buildStrip(SNStatusBarView& bar);
  void dismissBar(bool animated);
  void dismissEnded(const std::weak_ptr<SNStatusBarView>& bar);
  void showIndicator(bool show, ui::ActivityIndicatorStyle style);
  void willChangeStatusBarFrame(const gfx::Rect& frame);

  std::shared_ptr<ui::Window> m_overlayWindow;
  BarPtr m_topBar;
  std::shared_ptr<ui::View> m_progressView;
  double m_progress = 0;
  StylePtr m_activeStyle;
  StylePtr m_defaultStyle;
  std::unordered_map<std::string, StylePtr> m_userStyles;
  std::shared_ptr<core::Timer> m_dismissTimer;
  core::Observation m_statusBarFrameObservation;

  std::optional<std::string> m_offLineStr;
  std::optional<std::string> m_clerkStr;
  std::optional<std::string> m_wifiStr;
  StatusStrip m_strip;
};

}  // namespace kt
