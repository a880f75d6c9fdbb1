#pragma once

// The controller flows shared by the layer-animated transitions: present, dismiss, and the
// navigation push and pop, each running a transition of type T first and changing the
// controllers only at its end.

#include <memory>
#include <string>
#include <utility>

#include "platform/ui/Device.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "widgets/transitions/VTTransition.h"

namespace kt::flows {

template <class T>
void transitionFromView(std::shared_ptr<ui::View> source, std::shared_ptr<ui::View> destination, double duration,
                        uint64_t style, int32_t action, VTTransition::Completion completion) {
  auto transition = std::make_shared<T>(std::move(source), std::move(destination), duration, style, action);
  transition->perform(std::move(completion));
}

template <class T>
void present(std::shared_ptr<ui::ViewController> controller, ui::ViewController& from, double duration,
             uint64_t style, VTTransition::Completion completion) {
  auto transition = std::make_shared<T>(from.view(), controller->view(), duration, style, transitionActionNone);
  transition->setPresentingController(&from);
  std::weak_ptr<ui::Responder> weakFrom = from.weak_from_this();
  transition->perform([weakFrom, controller, completion](bool) {
    auto presenting = std::dynamic_pointer_cast<ui::ViewController>(weakFrom.lock());
    if (presenting) {
      const auto before = presenting->modalPresentationStyle();
      const bool pad = ui::Device::current().userInterfaceIdiom() == ui::UserInterfaceIdiom::Pad;
      if (before != ui::ModalPresentationStyle::FullScreen && pad)
        presenting->setModalPresentationStyle(ui::ModalPresentationStyle::FullScreen);
      std::weak_ptr<ui::Responder> again = presenting->weak_from_this();
      presenting->presentViewController(controller, false, [again, before, pad] {
        if (auto p = std::dynamic_pointer_cast<ui::ViewController>(again.lock()); p && pad)
          p->setModalPresentationStyle(before);
      });
    }
    if (completion) completion(true);
  });
}

// `operation` names the class method in the error.
template <class T>
void dismiss(ui::ViewController& presenting, double duration, uint64_t style, VTTransition::Completion completion,
             const std::string& operation) {
  ui::ViewController* presented = presenting.presentedViewController();
  if (!presented)
    throw TransitionException("Invalid Operation",
                              operation + " can only be performed on a view controller with a presentedViewController.");
  ui::ViewController* root = rootViewController(&presenting);
  auto rootView = root->view();
  auto transition = std::make_shared<T>(presented->view(), rootView, duration, style, transitionActionNone);
  transition->setDismissing(true);
  // The transition runs once the presented view is out of the tree, so that it runs over the
  // screen below: at once when the dismissal took it out, else when the dismissal completes.
  auto started = std::make_shared<bool>(false);
  auto start = [transition, rootView, completion, started] {
    if (*started) return;
    *started = true;
    transition->perform([rootView, completion](bool) {
      rootView->setHidden(false);
      if (completion) completion(true);
    });
  };
  auto presentedView = presented->view();
  presenting.dismissViewControllerAnimated(false, start);
  if (!presentedView->superview())
    start();
  else
    rootView->setHidden(true);  // until the transition has uncovered it
}

inline std::weak_ptr<ui::NavigationController> weakNavigation(ui::NavigationController& navigation) {
  return std::dynamic_pointer_cast<ui::NavigationController>(navigation.shared_from_this());
}

template <class T>
void push(ui::NavigationController& navigation, std::shared_ptr<ui::ViewController> controller, uint64_t style) {
  if (!controller) return;
  auto weak = weakNavigation(navigation);
  auto push = [weak, controller](bool) {
    if (auto nav = weak.lock()) nav->pushViewController(controller, false);
  };
  ui::ViewController* visible = navigation.visibleViewController();
  if (!visible) return push(true);  // nothing to turn away from
  T::transitionFromViewController(*visible, *controller, VTTransition::defaultDuration(), style, push);
}

template <class T>
std::shared_ptr<ui::ViewController> pop(ui::NavigationController& navigation, uint64_t style) {
  const auto& stack = navigation.viewControllers();
  if (stack.size() < 2) return nullptr;
  auto target = stack[stack.size() - 2];
  auto weak = weakNavigation(navigation);
  auto pop = [weak](bool) {
    if (auto nav = weak.lock()) nav->popViewControllerAnimated(false);
  };
  ui::ViewController* visible = navigation.visibleViewController();
  if (!visible) {
    pop(true);
    return target;
  }
  T::transitionFromViewController(*visible, *target, VTTransition::defaultDuration(), style, pop);
  return target;
}

}  // namespace kt::flows
