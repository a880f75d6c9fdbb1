#include "widgets/transitions/VTSegues.h"

#include <functional>
#include <map>

#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewController.h"
#include "widgets/transitions/VTFlipTransition.h"
#include "widgets/transitions/VTFoldTransition.h"

namespace kt {

namespace {

// The source's navigation controller, when the segue may push or pop on it.
ui::NavigationController& navigationFor(const ui::StoryboardSegue& segue, const std::string& className) {
  const auto& source = segue.sourceViewController();
  ui::NavigationController* navigation = source ? source->navigationController() : nullptr;
  if (!navigation)
    throw TransitionException("Invalid Operation",
                              className + " can only be performed on a child controller of a UINavigationController.");
  if (navigation->visibleViewController() != source.get())
    throw TransitionException(
        "Invalid Operation",
        className + " can only be performed from the current visibleViewController of a UINavigationController.");
  return *navigation;
}

ui::NavigationController& navigationToPop(const ui::StoryboardSegue& segue, const std::string& className) {
  auto& navigation = navigationFor(segue, className);
  if (navigation.viewControllers().size() < 2)
    throw TransitionException("Invalid Operation",
                              "UINavigationController parent must have at least 2 child controllers in its stack.  "
                              "Otherwise no pop can be performed.");
  return navigation;
}

}  // namespace

void VTFoldModalSegue::perform() {
  presentViewController(*sourceViewController(), destinationViewController(), static_cast<FoldStyle>(style()), nullptr);
}

void VTFoldNavPushSegue::perform() {
  pushViewController(navigationFor(*this, "VTFoldNavPushSegue"), destinationViewController(),
                     static_cast<FoldStyle>(style()));
}

void VTFoldNavPopSegue::perform() {
  popViewControllerWithFoldStyle(navigationToPop(*this, "VTFoldNavPopSegue"), static_cast<FoldStyle>(style()));
}

void VTFlipSegue::perform() {
  throw TransitionException("Incomplete Implementation",
                            "VTFlipSegue must be subclassed and the perform method implemented.");
}

void VTFlipModalSegue::perform() {
  presentViewController(*sourceViewController(), destinationViewController(), static_cast<FlipStyle>(style()), nullptr);
}

void VTFlipNavPushSegue::perform() {
  pushViewController(navigationFor(*this, "VTFlipNavPushSegue"), destinationViewController(),
                     static_cast<FlipStyle>(style()));
}

void VTFlipNavPopSegue::perform() {
  popViewControllerWithFlipStyle(navigationToPop(*this, "VTFlipNavPopSegue"), static_cast<FlipStyle>(style()));
}

namespace {

template <class Segue>
ui::Storyboard::SegueFactory make() {
  return [](const std::string& identifier, std::shared_ptr<ui::ViewController> source,
            std::shared_ptr<ui::ViewController> destination) -> std::shared_ptr<ui::StoryboardSegue> {
    return std::make_shared<Segue>(identifier, std::move(source), std::move(destination));
  };
}

}  // namespace

ui::Storyboard::SegueFactory transitionSegueFactory(const std::string& className) {
  static const std::map<std::string, ui::Storyboard::SegueFactory> factories = {
      {"VTFoldSegue", make<VTFoldSegue>()},           {"VTFoldModalSegue", make<VTFoldModalSegue>()},
      {"VTFoldNavPushSegue", make<VTFoldNavPushSegue>()}, {"VTFoldNavPopSegue", make<VTFoldNavPopSegue>()},
      {"VTFlipSegue", make<VTFlipSegue>()},           {"VTFlipModalSegue", make<VTFlipModalSegue>()},
      {"VTFlipNavPushSegue", make<VTFlipNavPushSegue>()}, {"VTFlipNavPopSegue", make<VTFlipNavPopSegue>()},
  };
  auto it = factories.find(className);
  return it == factories.end() ? ui::Storyboard::SegueFactory() : it->second;
}

}  // namespace kt
