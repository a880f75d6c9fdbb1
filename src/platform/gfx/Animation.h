#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/LayerState.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/TimingFunction.h"

namespace gfx {

enum class FillMode { Removed, Forwards, Backwards, Both };

// The base of every animation: its timing and its callbacks. A layer stores a copy of what is
// added to it; the copy's beginTime is then the absolute start (core::Clock::now() seconds).
class Animation : public std::enable_shared_from_this<Animation> {
 public:
  // The action that means "no animation" (a delegate's answer); always the same object.
  static std::shared_ptr<Animation> noAction();

  Animation() = default;
  Animation(const Animation&) = default;
  Animation& operator=(const Animation&) = default;
  virtual ~Animation() = default;

  double duration = 0.25;  // 0 takes 0.25 (inside a group: the group's duration)
  double beginTime = 0;    // 0 = when added; else absolute core::Clock::now() seconds (relative to the group inside one)
  double timeOffset = 0;
  double speed = 1;
  float repeatCount = 0;  // infinity or FLT_MAX repeat for ever
  double repeatDuration = 0;
  bool autoreverses = false;
  FillMode fillMode = FillMode::Removed;
  bool removedOnCompletion = true;
  std::optional<TimingFunction> timingFunction;  // none = linear
  std::function<void()> onStart;
  std::function<void(bool finished)> onStop;  // finished false when removed early or replaced

  virtual std::shared_ptr<Animation> copy() const;

  // ---- Evaluation ----
  // Where an animation stands at a moment: the eased fraction of its simple duration and the
  // number of whole iterations before it.
  struct Progress {
    double fraction = 0;
    int iteration = 0;
  };
  // The duration one iteration takes, 0 resolved against `inherited`.
  double simpleDuration(double inherited = 0.25) const;
  // From beginTime to the end, in the parent's time; infinity when it never ends.
  double activeDuration(double inherited = 0.25) const;
  // The progress at `parentTime` (the clock for a layer's animation, the group's local time for
  // a child); nullopt when the animation does not apply then (before its start or after its end
  // without the matching fill mode). `holdEnd` keeps the end value after the end whatever the
  // fill mode (children of a group that holds its own end).
  std::optional<Progress> progressAt(double parentTime, double inherited = 0.25, bool holdEnd = false) const;
  // Applies the animation's effect at `parentTime` to the state (nothing by default).
  virtual void applyAt(LayerState& state, double parentTime, double inherited = 0.25, bool holdEnd = false) const;
};

// An animation of one property, named by a key path ("position", "transform.rotation.z", ...).
class PropertyAnimation : public Animation {
 public:
  std::string keyPath;
  bool additive = false;    // the value is added to the property's underlying value
  bool cumulative = false;  // each repeat starts where the previous one ended

  std::shared_ptr<Animation> copy() const override;
  void applyAt(LayerState& state, double parentTime, double inherited = 0.25, bool holdEnd = false) const override;
  // The value at an eased fraction, given the property's underlying value; nullopt for none.
  virtual std::optional<AnimValue> valueAt(double fraction, int iteration, const AnimValue& underlying) const;
};

// From one value to another. Missing ends come from the other values given and the property's
// underlying value: from+to, from+by, by+to, from alone (to the underlying value), to alone
// (from the underlying value), by alone (underlying to underlying + by).
class BasicAnimation : public PropertyAnimation {
 public:
  static std::shared_ptr<BasicAnimation> withKeyPath(std::string keyPath);
  BasicAnimation() = default;
  BasicAnimation(const BasicAnimation&) = default;

  std::optional<AnimValue> fromValue, toValue, byValue;

  std::shared_ptr<Animation> copy() const override;
  std::optional<AnimValue> valueAt(double fraction, int iteration, const AnimValue& underlying) const override;
};

// Through a list of values at key times (evenly spread when not given, else one per value,
// from 0 to 1), each segment with its own timing function when given. With a path the value is
// the point reached along the path (evenly by length), for point properties such as "position".
class KeyframeAnimation : public PropertyAnimation {
 public:
  static std::shared_ptr<KeyframeAnimation> withKeyPath(std::string keyPath);
  KeyframeAnimation() = default;
  KeyframeAnimation(const KeyframeAnimation&) = default;

  std::vector<AnimValue> values;
  std::vector<double> keyTimes;
  std::vector<TimingFunction> timingFunctions;
  std::optional<Path> path;

  std::shared_ptr<Animation> copy() const override;
  std::optional<AnimValue> valueAt(double fraction, int iteration, const AnimValue& underlying) const override;
};

// Several animations on one time line: the children's beginTime is relative to the group's
// start, and they are cut off where the group ends. Children's callbacks are not called.
class AnimationGroup : public Animation {
 public:
  static std::shared_ptr<AnimationGroup> make();
  AnimationGroup() = default;
  AnimationGroup(const AnimationGroup&) = default;

  std::vector<std::shared_ptr<Animation>> animations;

  std::shared_ptr<Animation> copy() const override;  // copies the children too
  void applyAt(LayerState& state, double parentTime, double inherited = 0.25, bool holdEnd = false) const override;
};

// A transition of the layer's whole content (fade, move in, push, reveal; subtype "fromLeft",
// "fromRight", "fromTop", "fromBottom"). It keeps time and calls back like any animation; its
// progressAt() says how far the transition has come.
class TransitionAnimation : public Animation {
 public:
  enum class Type { Fade, MoveIn, Push, Reveal };
  static std::shared_ptr<TransitionAnimation> make(Type type = Type::Fade);
  Type type = Type::Fade;
  std::string subtype;
  TransitionAnimation() = default;
  TransitionAnimation(const TransitionAnimation&) = default;

  std::shared_ptr<Animation> copy() const override;
};

}  // namespace gfx
