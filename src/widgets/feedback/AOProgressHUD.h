#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/core/Value.h"
#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/View.h"

namespace core {
class Timer;
}
namespace gfx {
class Font;
class Image;
class Layer;
}  // namespace gfx
namespace ui {
class Control;
class Event;
class ImageView;
class Label;
}  // namespace ui

namespace kt {

class AOProgressAnimatedView;

// The progress overlay: a panel with rounded corners near the middle of the screen showing a
// spinner, a progress ring or a status icon above an optional status text, over a backdrop that
// lets touches through, swallows them or dims the screen.
//
// There is one overlay per process, the shared view; every class operation acts on it. Settings
// stay on it until changed, so what one caller sets holds for everyone's later shows. Every show
// and every dismissal is an operation on the main operation queue: the call returns at once and
// the display changes on a later turn of the main run loop, in the order the calls were made.
// Everything runs on the main thread.
class AOProgressHUD : public ui::View {
 public:
  // ---- Values of the settings ----
  enum Style : int64_t { StyleLight = 0, StyleDark = 1, StyleCustom = 2 };
  // 1: touches reach the application below; 2 to 5: the overlay takes them (2 clear, 3 black at
  // 40 %, 4 radial gradient, 5 backgroundLayerColor).
  enum MaskType : uint64_t { MaskTypeNone = 1, MaskTypeClear = 2, MaskTypeBlack = 3, MaskTypeGradient = 4, MaskTypeCustom = 5 };
  // 0: the flat ring spinner; 1: the platform's activity indicator.
  enum AnimationType : uint64_t { AnimationTypeFlat = 0, AnimationTypeNative = 1 };

  // ---- Notifications (default center; user info: StatusUserInfoKey with the status, or null
  // when there is no status text) ----
  static constexpr const char* DidReceiveTouchEventNotification = "AOProgressHUDDidReceiveTouchEventNotification";
  static constexpr const char* DidTouchDownInsideNotification = "AOProgressHUDDidTouchDownInsideNotification";
  static constexpr const char* WillAppearNotification = "AOProgressHUDWillAppearNotification";
  static constexpr const char* DidAppearNotification = "AOProgressHUDDidAppearNotification";
  static constexpr const char* WillDisappearNotification = "AOProgressHUDWillDisappearNotification";
  static constexpr const char* DidDisappearNotification = "AOProgressHUDDidDisappearNotification";
  static constexpr const char* StatusUserInfoKey = "AOProgressHUDStatusUserInfoKey";

  // The resource bundle of the overlay's images ("AOProgressHUD.bundle" among the program's
  // resources).
  static constexpr const char* ResourceBundleName = "AOProgressHUD";

  using Completion = std::function<void()>;
  using ImagePtr = std::shared_ptr<const gfx::Image>;
  using Status = std::optional<std::string>;

  // ---- Class operations ----
  static std::shared_ptr<AOProgressHUD> sharedView();
  // Sets the status text and lays the panel out again at once (not queued, not animated).
  static void setStatus(const Status& status);

  static void setDefaultStyle(int64_t style);
  static void setDefaultMaskType(uint64_t maskType);
  static void setDefaultAnimationType(uint64_t animationType);
  static void setMinimumSize(gfx::Size size);
  static void setRingThickness(double thickness);
  static void setRingRadius(double radius);
  static void setRingNoTextRadius(double radius);
  static void setCornerRadius(double radius);
  static void setFont(std::shared_ptr<const gfx::Font> font);
  static void setForegroundColor(const gfx::Color& color);
  static void setBackgroundColor(const gfx::Color& color);
  static void setBackgroundLayerColor(const gfx::Color& color);
  static void setInfoImage(ImagePtr image);
  static void setSuccessImage(ImagePtr image);
  static void setErrorImage(ImagePtr image);
  static void setViewForExtension(std::shared_ptr<ui::View> view);
  static void setMinimumDismissTimeInterval(double seconds);
  static void setFadeInAnimationDuration(double seconds);
  static void setFadeOutAnimationDuration(double seconds);
  static void setMaxSupportedWindowLevel(double level);

  // Spinner shows (they stay until dismissed).
  static void show();
  static void showWithMaskType(uint64_t maskType);
  static void showWithStatus(const Status& status);
  static void showWithStatus(const Status& status, uint64_t maskType);
  // Progress shows: a negative progress shows the spinner, 0 or more the ring with that fraction.
  static void showProgress(float progress);
  static void showProgress(float progress, uint64_t maskType);
  static void showProgress(float progress, const Status& status);
  static void showProgress(float progress, const Status& status, uint64_t maskType);
  // Icon shows: they close by themselves after displayDurationForString(status).
  static void showInfoWithStatus(const Status& status);
  static void showInfoWithStatus(const Status& status, uint64_t maskType);
  static void showSuccessWithStatus(const Status& status);
  static void showSuccessWithStatus(const Status& status, uint64_t maskType);
  static void showErrorWithStatus(const Status& status);
  static void showErrorWithStatus(const Status& status, uint64_t maskType);
  static void showImage(ImagePtr image, const Status& status);
  static void showImage(ImagePtr image, const Status& status, uint64_t maskType);
  // The variants with a mask type use it for the display they start; defaultMaskType stays.

  // One activity less (never below 0); dismisses when none is left.
  static void popActivity();
  static void dismiss();
  static void dismissWithCompletion(Completion completion);
  static void dismissWithDelay(double delay);
  static void dismissWithDelay(double delay, Completion completion);

  static void setOffsetFromCenter(gfx::Size offset);
  static void resetOffsetFromCenter();
  // Whether the overlay's alpha is above 0.
  static bool isVisible();
  // Seconds an icon show stays: max(0.06 x length + 0.5, minimumDismissTimeInterval), the length
  // counted in UTF-16 code units (no status counts 0).
  static double displayDurationForString(const Status& string);

  // An image "name.png", "name@2x.png" or "name@3x.png" of the overlay's resource bundle, the one
  // gfx::Image::artworkScalesFor() takes first at the drawing scale; nullptr when all are missing.
  static ImagePtr bundleImage(const std::string& name);

  // ---- For tests ----
  // Takes the shared view down (timers, observers, views) so that the next use starts afresh.
  static void resetSharedView();
  // Text measurement used by the panel layout: the bounding size of the text in the font within
  // the given size. Unset: the platform's text layout.
  using TextMeasurer = std::function<gfx::Size(const std::string& text, const gfx::Font& font, gfx::Size within)>;
  static void setTextMeasurer(TextMeasurer measurer);
  // Whether the platform answers the operating-system version query (it does here). Without it the
  // panel is turned by the status bar orientation instead of the window doing it.
  static void setOperatingSystemVersionAvailable(bool available);

  // ---- Instance ----
  explicit AOProgressHUD(const gfx::Rect& frame);
  ~AOProgressHUD() override;

  // Settings (set through the class operations).
  bool isInitializing() const { return m_isInitializing; }
  int64_t defaultStyle() const { return m_defaultStyle; }
  uint64_t defaultMaskType() const { return m_defaultMaskType; }
  uint64_t defaultAnimationType() const { return m_defaultAnimationType; }
  double ringThickness() const { return m_ringThickness; }
  double ringRadius() const { return m_ringRadius; }
  double ringNoTextRadius() const { return m_ringNoTextRadius; }
  double cornerRadius() const { return m_cornerRadius; }
  const std::shared_ptr<const gfx::Font>& font() const { return m_font; }
  const gfx::Color& hudBackgroundColor() const { return m_backgroundColor; }
  const gfx::Color& foregroundColor() const { return m_foregroundColor; }
  const gfx::Color& backgroundLayerColor() const { return m_backgroundLayerColor; }
  const ImagePtr& infoImage() const { return m_infoImage; }
  const ImagePtr& successImage() const { return m_successImage; }
  const ImagePtr& errorImage() const { return m_errorImage; }
  const std::shared_ptr<ui::View>& viewForExtension() const { return m_viewForExtension; }
  double minimumDismissTimeInterval() const { return m_minimumDismissTimeInterval; }
  double fadeInAnimationDuration() const { return m_fadeInAnimationDuration; }
  double fadeOutAnimationDuration() const { return m_fadeOutAnimationDuration; }
  double maxSupportedWindowLevel() const { return m_maxSupportedWindowLevel; }
  gfx::Size minimumSize() const { return m_minimumSize; }
  gfx::Size offsetFromCenter() const { return m_offsetFromCenter; }

  // State.
  float progress() const { return m_progress; }
  uint64_t activityCount() const { return m_activityCount; }
  const std::shared_ptr<core::Timer>& fadeOutTimer() const { return m_fadeOutTimer; }
  // The mask type of the display on screen (or of the last one).
  uint64_t displayedMaskType() const { return m_displayMaskType; }
  // Mask type 1 or 2 (nothing dims the screen).
  bool isClear() const;
  const std::shared_ptr<gfx::Layer>& backgroundLayer() const { return m_backgroundLayer; }

  // Views, each created on first use and refreshed on each access.
  const std::shared_ptr<ui::Control>& overlayView();
  const std::shared_ptr<ui::View>& hudView();
  const std::shared_ptr<ui::Label>& statusLabel();
  const std::shared_ptr<ui::ImageView>& imageView();
  // The spinner of the current animation type (replaced when the type changed).
  const std::shared_ptr<ui::View>& indefiniteAnimatedView();
  const std::shared_ptr<AOProgressAnimatedView>& ringView();
  const std::shared_ptr<AOProgressAnimatedView>& backgroundRingView();
  // The status text as set (nullopt: none).
  const Status& statusText() const { return m_status; }

  // Accessibility: the element that speaks for the overlay and its label; announcements are
  // recorded (the last one and how many were made).
  enum class AccessibilityElement { View, Panel };
  AccessibilityElement accessibilityElement() const { return m_accessibilityElement; }
  const std::string& accessibilityLabel() const { return m_accessibilityLabel; }
  const std::string& accessibilityIdentifier() const { return m_accessibilityIdentifier; }
  int screenChangedPosts() const { return m_screenChangedPosts; }
  const Status& lastAnnouncement() const { return m_lastAnnouncement; }

  // Tilt of the panel, kept but not applied (no motion sensor): key path, type (0 horizontal
  // axis, 1 vertical axis), relative range.
  struct MotionEffect {
    std::string keyPath;
    int type = 0;
    double minimumRelativeValue = 0;
    double maximumRelativeValue = 0;
  };
  const std::vector<MotionEffect>& motionEffects() const { return m_motionEffects; }

  // ---- Instance operations ----
  void updateHUDFrame();
  void updateMask();
  void updateBlurBounds();
  void updateMotionEffectForOrientation(int orientation);
  void updateMotionEffectForXMotionEffectType(int xType, int yType);
  void updateViewHierarchy();
  void setFadeOutTimer(std::shared_ptr<core::Timer> timer);
  void registerNotifications();
  core::Value notificationUserInfo() const;
  // Positions the panel; `notification` is the one that caused it (keyboard, orientation...).
  void positionHUD(const core::Notification* notification);
  void moveToPoint(gfx::Point point, double angle);
  void overlayViewDidReceiveTouchEvent(ui::Control& sender, const ui::Event* event);
  void cancelRingLayerAnimation();
  void cancelIndefiniteAnimatedViewAnimation();
  gfx::Color foregroundColorForStyle() const;
  gfx::Color backgroundColorForStyle() const;
  // The image drawn with its opaque parts in the colour.
  static ImagePtr imageWithTintColor(const ImagePtr& image, const gfx::Color& color);
  // Height of the keyboard on screen (0 when none).
  double visibleKeyboardHeight() const;

 private:
  static void configure(const std::function<void(AOProgressHUD&)>& change);
  // The queued shows and dismissal (the instance side of the class operations of those names).
  void queueProgressShow(float progress, const Status& status, std::optional<uint64_t> maskType);
  void queueImageShow(ImagePtr image, const Status& status, double duration, std::optional<uint64_t> maskType);
  void queueDismissal(double delay, Completion completion);
  void setStatusText(const Status& status);
  // Presents the panel (appearance), at the end of both queued shows.
  void showStatus(const Status& status);
  void tearDown();
  void post(const char* name, bool withObject);
  static gfx::Rect applicationWindowBounds();

  bool m_isInitializing = false;
  int64_t m_defaultStyle = StyleLight;
  uint64_t m_defaultMaskType = MaskTypeNone;
  uint64_t m_defaultAnimationType = AnimationTypeFlat;
  double m_ringThickness = 2;
  double m_ringRadius = 18;
  double m_ringNoTextRadius = 24;
  double m_cornerRadius = 14;
  std::shared_ptr<const gfx::Font> m_font;
  gfx::Color m_backgroundColor = gfx::Color::clear();
  gfx::Color m_foregroundColor = gfx::Color::black();
  gfx::Color m_backgroundLayerColor = gfx::Color::white(0, 0.4);
  ImagePtr m_infoImage;
  ImagePtr m_successImage;
  ImagePtr m_errorImage;
  std::shared_ptr<ui::View> m_viewForExtension;
  double m_minimumDismissTimeInterval = 5.0;
  double m_fadeInAnimationDuration = 0.15;
  double m_fadeOutAnimationDuration = 0.15;
  double m_maxSupportedWindowLevel = 0;  // the normal window level
  std::shared_ptr<core::Timer> m_fadeOutTimer;
  std::shared_ptr<ui::Control> m_overlayView;
  std::shared_ptr<ui::View> m_hudView;
  std::shared_ptr<ui::Label> m_statusLabel;
  std::shared_ptr<ui::ImageView> m_imageView;
  std::shared_ptr<ui::View> m_indefiniteAnimatedView;
  std::shared_ptr<AOProgressAnimatedView> m_ringView;
  std::shared_ptr<AOProgressAnimatedView> m_backgroundRingView;
  std::shared_ptr<gfx::Layer> m_backgroundLayer;
  float m_progress = 0;
  uint64_t m_activityCount = 0;
  gfx::Size m_minimumSize;
  gfx::Size m_offsetFromCenter;

  Status m_status;
  uint64_t m_displayMaskType = MaskTypeNone;
  std::vector<core::Observation> m_observations;
  AccessibilityElement m_accessibilityElement = AccessibilityElement::View;
  std::string m_accessibilityLabel;
  std::string m_accessibilityIdentifier;
  std::string m_panelAccessibilityLabel;
  int m_screenChangedPosts = 0;
  Status m_lastAnnouncement;
  std::vector<MotionEffect> m_motionEffects;
};

}  // namespace kt
