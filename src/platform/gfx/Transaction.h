#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/gfx/TimingFunction.h"

namespace gfx {

// Groups layer changes: their implicit animations' duration and timing, whether actions run at
// all, and a completion that runs once every animation added inside has finished. Transactions
// nest; values not set in an inner one come from the outer ones. A change made outside any
// explicit transaction opens an implicit one, committed on the next turn of the thread's run
// loop. Per thread; layers are used on the main thread.
class Transaction {
 public:
  static void begin();
  // Commits the innermost explicit transaction; an unbalanced commit is ignored.
  static void commit();
  // Commits the implicit transaction now (when no explicit one is open).
  static void flush();

  static double animationDuration();  // default 0.25
  static void setAnimationDuration(double seconds);
  static std::optional<TimingFunction> animationTimingFunction();
  static void setAnimationTimingFunction(std::optional<TimingFunction> function);
  static bool disableActions();
  static void setDisableActions(bool disable);
  // Runs when every animation added inside the transaction (and inside those nested in it) has
  // stopped, finished or not; at commit when there were none.
  static void setCompletionBlock(std::function<void()> block);

  // Whether a transaction (explicit or implicit) is open on this thread.
  static bool isOpen();

  // For the animation engine: a hold on the completion of every transaction open now. The
  // engine releases it when the animation stops; a hold dropped unreleased lets go on a later
  // turn of the run loop.
  class Hold {
   public:
    ~Hold();
    void release();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    friend class Transaction;
    struct Group;
    Hold() = default;
    std::vector<std::shared_ptr<Group>> m_groups;
  };
  static std::unique_ptr<Hold> hold();

  // For the animation engine: an animation added without a begin time starts once the
  // transactions open now have committed and, while a display draws frames on this thread, the
  // first frame after that commit has been drawn, so that frame shows its start however long
  // the work before it took. `start` is given the begin time; it runs at once when nothing
  // holds it back.
  static void startWhenShown(std::function<void(double beginTime)> start);
  // For the display: it draws frames on this thread (each call balanced by frameSourceRemoved).
  static void frameSourceAdded();
  static void frameSourceRemoved();
  // For the display: a frame was drawn (or its turn found nothing to draw); what committed
  // before it starts now.
  static void frameDrawn();

 private:
  struct Frame;
  // This thread's open transactions, innermost last.
  static std::vector<std::shared_ptr<Frame>>& frames();
  static void openImplicit();
  // The last open transaction has committed: what waited for it waits for a frame now.
  static void allCommitted();
};

}  // namespace gfx
