#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <type_traits>

#include "platform/core/ThreadCheck.h"

namespace core {

namespace detail {

// What a factory shares with the weak pointers it hands out. The factory owns the only strong
// reference; the weak pointers watch it. In checked builds it also remembers the one thread the
// object is used on (bound at the first dereference), since a weak pointer read on one thread
// while its object dies on another would be a race no flag can settle.
struct WeakAnchor {
#if KT_THREAD_CHECKS
  mutable std::atomic<std::thread::id> thread{};
  void checkThread() const;
#else
  void checkThread() const {}
#endif
};

}  // namespace detail

template <class T>
class WeakPtrFactory;

// A weak reference to an object that is not (or not yet) owned by a shared_ptr: it reads null
// from the moment the object's WeakPtrFactory is destroyed. Copyable; one thread only.
template <class T>
class WeakPtr {
 public:
  WeakPtr() = default;
  WeakPtr(std::nullptr_t) {}
  // A weak pointer to a derived object is a weak pointer to its base.
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  WeakPtr(const WeakPtr<U>& other) : m_anchor(other.m_anchor), m_ptr(other.m_ptr) {}

  // The object, or null once it is gone.
  T* get() const {
    auto anchor = m_anchor.lock();
    if (!anchor) return nullptr;
    anchor->checkThread();
    return m_ptr;
  }
  T* operator->() const { return get(); }
  T& operator*() const { return *get(); }
  explicit operator bool() const { return get() != nullptr; }
  bool expired() const { return m_anchor.expired(); }
  void reset() { *this = WeakPtr(); }

  // The same object (both null counts as the same).
  friend bool operator==(const WeakPtr& a, const WeakPtr& b) { return a.get() == b.get(); }
  friend bool operator==(const WeakPtr& a, const T* b) { return a.get() == b; }

 private:
  template <class U>
  friend class WeakPtr;
  friend class WeakPtrFactory<T>;
  friend class WeakToken;
  WeakPtr(std::weak_ptr<detail::WeakAnchor> anchor, T* ptr) : m_anchor(std::move(anchor)), m_ptr(ptr) {}

  std::weak_ptr<detail::WeakAnchor> m_anchor;
  T* m_ptr = nullptr;
};

// Hands out weak pointers to its owner and cuts them all off when it is destroyed. Hold it as
// the owner's last member, so that it goes first: while the rest of the owner is being torn
// down, no callback finds it through a weak pointer.
template <class T>
class WeakPtrFactory {
 public:
  explicit WeakPtrFactory(T* owner) : m_owner(owner) {}
  ~WeakPtrFactory() { m_anchor.reset(); }
  WeakPtrFactory(const WeakPtrFactory&) = delete;
  WeakPtrFactory& operator=(const WeakPtrFactory&) = delete;

  WeakPtr<T> weakPtr() const { return WeakPtr<T>(m_anchor, m_owner); }
  // Cuts off every weak pointer handed out so far; later ones work again.
  void invalidateWeakPtrs() { m_anchor = std::make_shared<detail::WeakAnchor>(); }

 private:
  T* m_owner;
  std::shared_ptr<detail::WeakAnchor> m_anchor = std::make_shared<detail::WeakAnchor>();
};

// A weak reference without a type, used as a key: the target of delayed performs, the owner of
// observers. It says whether its object still lives and which object it is; the object may be
// shared (a shared_ptr or weak_ptr) or carry a WeakPtrFactory. A default token names nothing
// and never expires.
class WeakToken {
 public:
  WeakToken() = default;
  template <class T>
  WeakToken(const WeakPtr<T>& ptr) : m_ref(ptr.m_anchor), m_address(ptr.m_ptr), m_tracked(true) {}
  template <class T>
  WeakToken(const std::weak_ptr<T>& ptr) : m_ref(ptr), m_address(ptr.lock().get()), m_tracked(true) {}
  template <class T>
  WeakToken(const std::shared_ptr<T>& ptr) : m_ref(ptr), m_address(ptr.get()), m_tracked(true) {}
  // One of several keys of one object (a queue of it, say): alive as long as the object, and
  // distinct from its other keys. A part is told apart by its address, so it must not be the
  // address of the object itself or of another part.
  template <class T>
  WeakToken(const std::weak_ptr<T>& owner, const void* part) : m_ref(owner), m_address(part), m_tracked(true) {}
  template <class T>
  WeakToken(const WeakPtr<T>& owner, const void* part) : m_ref(owner.m_anchor), m_address(part), m_tracked(true) {}

  // Whether it named an object that has been destroyed since.
  bool expired() const { return m_tracked && m_ref.expired(); }
  bool isNull() const { return !m_tracked; }

  // The same object: the same address with the same lifetime (a new object at a dead one's
  // address is another object).
  friend bool operator==(const WeakToken& a, const WeakToken& b) {
    return a.m_tracked == b.m_tracked && a.m_address == b.m_address && !a.m_ref.owner_before(b.m_ref) &&
           !b.m_ref.owner_before(a.m_ref);
  }

 private:
  std::weak_ptr<const void> m_ref;
  const void* m_address = nullptr;
  bool m_tracked = false;
};

}  // namespace core
