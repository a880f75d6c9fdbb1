#include "platform/ui/Storyboard.h"

#include "platform/core/Log.h"
#include "platform/ui/StoryboardSegue.h"
#include "platform/ui/ViewController.h"

namespace ui {
namespace {
std::map<std::string, std::shared_ptr<Storyboard>>& registry() {
  static std::map<std::string, std::shared_ptr<Storyboard>> boards;
  return boards;
}
}  // namespace

std::shared_ptr<Storyboard> Storyboard::registerStoryboard(const std::string& name,
                                                           const std::function<void(Storyboard&)>& setup) {
  auto board = std::make_shared<Storyboard>(name);
  if (setup) setup(*board);
  registry()[name] = board;
  return board;
}

std::shared_ptr<Storyboard> Storyboard::named(const std::string& name) {
  auto it = registry().find(name);
  return it == registry().end() ? nullptr : it->second;
}

void Storyboard::unregisterStoryboard(const std::string& name) { registry().erase(name); }

void Storyboard::reset() { registry().clear(); }

void Storyboard::registerScene(const std::string& identifier, SceneFactory factory) {
  m_scenes[identifier] = std::move(factory);
}

void Storyboard::registerSegue(const std::string& sourceScene, const std::string& segueIdentifier,
                               const std::string& destinationScene, SegueKind kind, SegueFactory factory) {
  m_segues[{sourceScene, segueIdentifier}] = Segue{destinationScene, kind, std::move(factory)};
}

std::shared_ptr<ViewController> Storyboard::instantiate(const std::string& identifier) {
  auto it = m_scenes.find(identifier);
  if (it == m_scenes.end() || !it->second) {
    KT_LOG("Storyboard \"%s\" has no scene with identifier \"%s\"", m_name.c_str(), identifier.c_str());
    return nullptr;
  }
  SceneFactory factory = it->second;
  auto vc = factory();
  if (!vc) {
    KT_LOG("Storyboard \"%s\": the scene \"%s\" made nothing", m_name.c_str(), identifier.c_str());
    return nullptr;
  }
  vc->setStoryboard(shared_from_this(), identifier);
  return vc;
}

std::shared_ptr<ViewController> Storyboard::instantiateInitialViewController() {
  if (m_initial.empty()) {
    KT_LOG("Storyboard \"%s\" has no initial scene", m_name.c_str());
    return nullptr;
  }
  return instantiate(m_initial);
}

std::shared_ptr<StoryboardSegue> Storyboard::makeSegue(const std::shared_ptr<ViewController>& source,
                                                       const std::string& segueIdentifier) {
  const std::string scene = source ? source->storyboardIdentifier() : std::string();
  auto it = m_segues.find({scene, segueIdentifier});
  if (it == m_segues.end()) {
    KT_LOG("Scene \"%s\" of storyboard \"%s\" has no segue with identifier \"%s\"", scene.c_str(), m_name.c_str(),
           segueIdentifier.c_str());
    return nullptr;
  }
  Segue segue = it->second;
  auto destination = instantiate(segue.destination);
  if (!destination) return nullptr;
  switch (segue.kind) {
    case SegueKind::Push:
      return std::make_shared<PushSegue>(segueIdentifier, source, destination);
    case SegueKind::Modal:
      return std::make_shared<ModalSegue>(segueIdentifier, source, destination);
    case SegueKind::Custom:
      break;
  }
  std::shared_ptr<StoryboardSegue> made;
  if (segue.factory) made = segue.factory(segueIdentifier, source, destination);
  if (!made) {
    KT_LOG("Custom segue \"%s\" of storyboard \"%s\" has no segue class", segueIdentifier.c_str(), m_name.c_str());
  }
  return made;
}

}  // namespace ui
