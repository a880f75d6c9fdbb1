#pragma once

#include <memory>
#include <string>

namespace ui {

class ViewController;

// A transition from one storyboard scene to another. A custom segue subclasses this and does its
// own transition in perform(); the kinds the storyboard makes itself (push, modal) are below.
class StoryboardSegue {
 public:
  StoryboardSegue(std::string identifier, std::shared_ptr<ViewController> source,
                  std::shared_ptr<ViewController> destination)
      : m_identifier(std::move(identifier)), m_source(std::move(source)), m_destination(std::move(destination)) {}
  virtual ~StoryboardSegue() = default;
  StoryboardSegue(const StoryboardSegue&) = delete;
  StoryboardSegue& operator=(const StoryboardSegue&) = delete;

  const std::string& identifier() const { return m_identifier; }
  const std::shared_ptr<ViewController>& sourceViewController() const { return m_source; }
  const std::shared_ptr<ViewController>& destinationViewController() const { return m_destination; }

  // Shows the destination. The base does nothing.
  virtual void perform() {}

 private:
  std::string m_identifier;
  std::shared_ptr<ViewController> m_source;
  std::shared_ptr<ViewController> m_destination;
};

// Pushes the destination, animated, on the source's navigation controller (logged and skipped
// when the source has none).
class PushSegue : public StoryboardSegue {
 public:
  using StoryboardSegue::StoryboardSegue;
  void perform() override;
};

// Presents the destination modally from the source, animated.
class ModalSegue : public StoryboardSegue {
 public:
  using StoryboardSegue::StoryboardSegue;
  void perform() override;
};

}  // namespace ui
