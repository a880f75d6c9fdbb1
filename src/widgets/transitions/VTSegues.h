#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/Storyboard.h"
#include "platform/ui/StoryboardSegue.h"

namespace kt {

// Storyboard segues running the fold or the flip. Each carries the style handed to its
// transition, starting at defaultStyle(); a storyboard or the source controller may change it
// before the segue runs. The push and pop segues raise "Invalid Operation" (a
// TransitionException) before changing anything when they cannot run.
class VTFoldSegue : public ui::StoryboardSegue {
 public:
  VTFoldSegue(std::string identifier, std::shared_ptr<ui::ViewController> source,
              std::shared_ptr<ui::ViewController> destination)
      : VTFoldSegue(std::move(identifier), std::move(source), std::move(destination), 0) {}
  virtual uint64_t defaultStyle() const { return 0; }
  uint64_t style() const { return m_style; }
  void setStyle(uint64_t style) { m_style = style; }

 protected:
  VTFoldSegue(std::string identifier, std::shared_ptr<ui::ViewController> source,
              std::shared_ptr<ui::ViewController> destination, uint64_t defaultStyle)
      : StoryboardSegue(std::move(identifier), std::move(source), std::move(destination)), m_style(defaultStyle) {}

 private:
  uint64_t m_style;
};

class VTFoldModalSegue : public VTFoldSegue {
 public:
  using VTFoldSegue::VTFoldSegue;
  void perform() override;
};

class VTFoldNavPushSegue : public VTFoldSegue {
 public:
  using VTFoldSegue::VTFoldSegue;
  void perform() override;
};

class VTFoldNavPopSegue : public VTFoldSegue {
 public:
  VTFoldNavPopSegue(std::string identifier, std::shared_ptr<ui::ViewController> source,
                    std::shared_ptr<ui::ViewController> destination)
      : VTFoldSegue(std::move(identifier), std::move(source), std::move(destination), 1) {}
  uint64_t defaultStyle() const override { return 1; }
  void perform() override;
};

// The flip's base segue cannot run by itself: perform() raises "Incomplete Implementation".
class VTFlipSegue : public ui::StoryboardSegue {
 public:
  VTFlipSegue(std::string identifier, std::shared_ptr<ui::ViewController> source,
              std::shared_ptr<ui::ViewController> destination)
      : VTFlipSegue(std::move(identifier), std::move(source), std::move(destination), 0) {}
  virtual uint64_t defaultStyle() const { return 0; }
  void perform() override;
  uint64_t style() const { return m_style; }
  void setStyle(uint64_t style) { m_style = style; }

 protected:
  VTFlipSegue(std::string identifier, std::shared_ptr<ui::ViewController> source,
              std::shared_ptr<ui::ViewController> destination, uint64_t defaultStyle)
      : StoryboardSegue(std::move(identifier), std::move(source), std::move(destination)), m_style(defaultStyle) {}

 private:
  uint64_t m_style;
};

class VTFlipModalSegue : public VTFlipSegue {
 public:
  using VTFlipSegue::VTFlipSegue;
  void perform() override;
};

class VTFlipNavPushSegue : public VTFlipSegue {
 public:
  using VTFlipSegue::VTFlipSegue;
  void perform() override;
};

class VTFlipNavPopSegue : public VTFlipSegue {
 public:
  VTFlipNavPopSegue(std::string identifier, std::shared_ptr<ui::ViewController> source,
                    std::shared_ptr<ui::ViewController> destination)
      : VTFlipSegue(std::move(identifier), std::move(source), std::move(destination), 1) {}
  uint64_t defaultStyle() const override { return 1; }
  void perform() override;
};

// The factory a storyboard registers for a custom segue named by one of the classes above
// ("VTFoldNavPushSegue", ...); empty for any other name.
ui::Storyboard::SegueFactory transitionSegueFactory(const std::string& className);

}  // namespace kt
