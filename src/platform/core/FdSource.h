#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace core {

class RunLoop;

// Watches a file descriptor for a run loop: the callback gets what is ready (readable, writable,
// error, hang-up). The interest can change at any time, also from inside the callback, and the
// source can be removed from inside its own callback. The descriptor is not owned: the source
// never closes it. Used from the thread of the loop it is scheduled on.
class FdSource : public std::enable_shared_from_this<FdSource> {
 public:
  enum Event : unsigned { Readable = 1, Writable = 2, Error = 4, HangUp = 8 };
  using Callback = std::function<void(unsigned ready)>;

  static std::shared_ptr<FdSource> create(int fd, unsigned interest, Callback callback);

  FdSource(const FdSource&) = delete;
  FdSource& operator=(const FdSource&) = delete;

  int fd() const { return m_fd; }
  // Readable and/or Writable. Error and HangUp are always reported while any interest is set.
  unsigned interest() const { return m_interest; }
  void setInterest(unsigned interest);
  void enable(unsigned events) { setInterest(m_interest | events); }
  void disable(unsigned events) { setInterest(m_interest & ~events); }

  // Removes the source from every loop and mode and releases the callback.
  void invalidate();
  bool isValid() const { return m_valid; }

 private:
  struct Key {};

 public:
  FdSource(Key, int fd, unsigned interest, Callback callback);

 private:
  friend class RunLoop;

  int m_fd = -1;
  unsigned m_interest = 0;
  bool m_valid = true;
  std::shared_ptr<Callback> m_callback;
  std::vector<std::weak_ptr<RunLoop>> m_loops;
};

}  // namespace core
