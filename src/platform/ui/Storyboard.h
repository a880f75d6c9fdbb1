#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace ui {

class StoryboardSegue;
class ViewController;

// A storyboard is a registry of code-built scenes: each scene identifier has a factory making its
// controller, one scene may be the initial one, and segues are registered per source scene.
// The system registers its storyboards by name at start-up; controllers made here know their
// storyboard and scene.
class Storyboard : public std::enable_shared_from_this<Storyboard> {
 public:
  using SceneFactory = std::function<std::shared_ptr<ViewController>()>;
  enum class SegueKind { Push, Modal, Custom };
  using SegueFactory = std::function<std::shared_ptr<StoryboardSegue>(
      const std::string& identifier, std::shared_ptr<ViewController> source, std::shared_ptr<ViewController> destination)>;

  // Makes (or replaces) the storyboard of that name and runs `setup` on it.
  static std::shared_ptr<Storyboard> registerStoryboard(const std::string& name,
                                                        const std::function<void(Storyboard&)>& setup = nullptr);
  // The storyboard of that name; null when none is registered.
  static std::shared_ptr<Storyboard> named(const std::string& name);
  static void unregisterStoryboard(const std::string& name);
  // Forgets every storyboard (tests).
  static void reset();

  explicit Storyboard(std::string name) : m_name(std::move(name)) {}
  const std::string& name() const { return m_name; }

  void registerScene(const std::string& identifier, SceneFactory factory);
  void setInitial(const std::string& identifier) { m_initial = identifier; }
  const std::string& initialIdentifier() const { return m_initial; }
  bool hasScene(const std::string& identifier) const { return m_scenes.count(identifier) > 0; }
  // A segue from the source scene to the destination scene. Custom segues need the factory.
  void registerSegue(const std::string& sourceScene, const std::string& segueIdentifier,
                     const std::string& destinationScene, SegueKind kind, SegueFactory factory = nullptr);

  // A new controller of the scene; null, with a log line, for an unknown identifier.
  std::shared_ptr<ViewController> instantiate(const std::string& identifier);
  std::shared_ptr<ViewController> instantiateInitialViewController();
  // The segue from `source` (made from this storyboard) with that identifier, its destination
  // made; null, with a log line, when the source scene has no such segue.
  std::shared_ptr<StoryboardSegue> makeSegue(const std::shared_ptr<ViewController>& source,
                                             const std::string& segueIdentifier);

 private:
  struct Segue {
    std::string destination;
    SegueKind kind = SegueKind::Push;
    SegueFactory factory;
  };
  std::string m_name;
  std::map<std::string, SceneFactory> m_scenes;
  std::string m_initial;
  std::map<std::pair<std::string, std::string>, Segue> m_segues;
};

}  // namespace ui
