#include "platform/gfx/Transaction.h"

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"

namespace gfx {

// What a transaction's completion waits for: the holds of its animations, and its commit.
struct Transaction::Hold::Group {
  int pending = 0;
  bool committed = false;
  std::function<void()> completion;

  static void settle(const std::shared_ptr<Group>& g) {
    if (!g->committed || g->pending > 0 || !g->completion) return;
    auto completion = std::move(g->completion);
    g->completion = nullptr;
    completion();
  }
};

struct Transaction::Frame {
  bool implicit = false;
  std::optional<double> duration;
  std::optional<std::optional<TimingFunction>> timingFunction;
  std::optional<bool> disableActions;
  std::shared_ptr<Hold::Group> group = std::make_shared<Hold::Group>();
};

namespace {

thread_local bool t_commitScheduled = false;

using Start = std::function<void(double)>;
// Starts waiting for the open transactions to commit, and those waiting for the next frame.
thread_local std::vector<Start> t_uncommitted;
thread_local std::vector<Start> t_committed;
thread_local int t_frameSources = 0;

void startAll(std::vector<Start>& starts) {
  // A start may add animations: they wait for their own commit and frame.
  auto now = std::move(starts);
  starts.clear();
  const double beginTime = core::Clock::now();
  for (auto& start : now) start(beginTime);
}

void waitForFrame(Start start) {
  if (t_frameSources > 0) {
    t_committed.push_back(std::move(start));
    return;
  }
  start(core::Clock::now());
}

}  // namespace

std::vector<std::shared_ptr<Transaction::Frame>>& Transaction::frames() {
  thread_local std::vector<std::shared_ptr<Frame>> open;
  return open;
}

void Transaction::begin() { frames().push_back(std::make_shared<Frame>()); }

void Transaction::commit() {
  if (frames().empty() || frames().back()->implicit) {
    KT_LOG("commit without a matching begin");
    return;
  }
  auto frame = frames().back();
  frames().pop_back();
  if (frames().empty()) allCommitted();
  frame->group->committed = true;
  Hold::Group::settle(frame->group);
}

void Transaction::flush() {
  if (frames().size() != 1) return;
  auto frame = frames().back();
  if (!frame->implicit) return;
  frames().pop_back();
  allCommitted();
  frame->group->committed = true;
  Hold::Group::settle(frame->group);
}

bool Transaction::isOpen() { return !frames().empty(); }

void Transaction::openImplicit() {
  if (!frames().empty()) return;
  auto frame = std::make_shared<Frame>();
  frame->implicit = true;
  frames().push_back(frame);
  if (t_commitScheduled) return;
  t_commitScheduled = true;
  core::RunLoop::current().performAfterDelay(
      {}, 0,
      [] {
        t_commitScheduled = false;
        if (frames().size() > 1) {
          // Explicit transactions still open at the end of the turn: wait for them.
          KT_LOG("explicit transaction still open at the end of the run-loop turn");
          t_commitScheduled = true;
          core::RunLoop::current().performAfterDelay({}, 0, [] {
            t_commitScheduled = false;
            flush();
          }, {core::RunLoop::CommonModes});
          return;
        }
        flush();
      },
      {core::RunLoop::CommonModes});
}

double Transaction::animationDuration() {
  const auto& open = frames();
  for (auto it = open.rbegin(); it != open.rend(); ++it)
    if ((*it)->duration) return *(*it)->duration;
  return 0.25;
}

void Transaction::setAnimationDuration(double seconds) {
  openImplicit();
  frames().back()->duration = seconds;
}

std::optional<TimingFunction> Transaction::animationTimingFunction() {
  const auto& open = frames();
  for (auto it = open.rbegin(); it != open.rend(); ++it)
    if ((*it)->timingFunction) return *(*it)->timingFunction;
  return std::nullopt;
}

void Transaction::setAnimationTimingFunction(std::optional<TimingFunction> function) {
  openImplicit();
  frames().back()->timingFunction = function;
}

bool Transaction::disableActions() {
  const auto& open = frames();
  for (auto it = open.rbegin(); it != open.rend(); ++it)
    if ((*it)->disableActions) return *(*it)->disableActions;
  return false;
}

void Transaction::setDisableActions(bool disable) {
  openImplicit();
  frames().back()->disableActions = disable;
}

void Transaction::setCompletionBlock(std::function<void()> block) {
  openImplicit();
  frames().back()->group->completion = std::move(block);
}

std::unique_ptr<Transaction::Hold> Transaction::hold() {
  std::unique_ptr<Hold> h(new Hold());
  for (const auto& f : frames()) {
    ++f->group->pending;
    h->m_groups.push_back(f->group);
  }
  return h;
}

void Transaction::startWhenShown(std::function<void(double beginTime)> start) {
  if (!start) return;
  if (frames().empty()) return waitForFrame(std::move(start));
  t_uncommitted.push_back(std::move(start));
}

void Transaction::allCommitted() {
  auto starts = std::move(t_uncommitted);
  t_uncommitted.clear();
  if (t_frameSources > 0) {
    for (auto& start : starts) t_committed.push_back(std::move(start));
    return;
  }
  startAll(starts);
}

void Transaction::frameSourceAdded() { ++t_frameSources; }

void Transaction::frameSourceRemoved() {
  if (t_frameSources > 0) --t_frameSources;
  // Nothing draws frames any more: nothing waits for one.
  if (t_frameSources == 0) startAll(t_committed);
}

void Transaction::frameDrawn() { startAll(t_committed); }

void Transaction::Hold::release() {
  auto groups = std::move(m_groups);
  m_groups.clear();
  for (auto& g : groups) {
    --g->pending;
    Group::settle(g);
  }
}

Transaction::Hold::~Hold() {
  if (m_groups.empty()) return;
  // Not from inside a destructor: the completions run on a later turn.
  auto groups = std::move(m_groups);
  core::RunLoop::current().performAfterDelay({}, 0, [groups] {
    for (auto& g : groups) {
      --g->pending;
      Group::settle(g);
    }
  }, {core::RunLoop::CommonModes});
}

}  // namespace gfx
