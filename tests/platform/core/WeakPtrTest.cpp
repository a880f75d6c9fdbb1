#include "platform/core/WeakPtr.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <thread>

namespace {

struct Base {
  virtual ~Base() = default;
  int value = 1;
};

struct Owner : Base {
  int extra = 2;
  core::WeakPtrFactory<Owner> weak{this};
};

TEST(WeakPtrTest, ReadsNullFromTheMomentItsOwnerIsDestroyedInEveryCopy) {
  auto owner = std::make_unique<Owner>();
  core::WeakPtr<Owner> a = owner->weak.weakPtr();
  core::WeakPtr<Owner> b = a;
  core::WeakPtr<Base> base = a;  // a weak pointer to the derived object is one to its base
  EXPECT_EQ(a.get(), owner.get());
  EXPECT_EQ(base->value, 1);
  EXPECT_TRUE(b);
  owner.reset();
  EXPECT_EQ(a.get(), nullptr);
  EXPECT_EQ(b.get(), nullptr);
  EXPECT_EQ(base.get(), nullptr);
  EXPECT_TRUE(a.expired());
  EXPECT_FALSE(core::WeakPtr<Owner>());
}

TEST(WeakPtrTest, InvalidatingCutsOffOnlyThePointersHandedOutSoFar) {
  Owner owner;
  auto before = owner.weak.weakPtr();
  owner.weak.invalidateWeakPtrs();
  auto after = owner.weak.weakPtr();
  EXPECT_EQ(before.get(), nullptr);
  EXPECT_EQ(after.get(), &owner);
}

TEST(WeakPtrTest, TokensTellObjectsApartByLifetimeNotOnlyByAddress) {
  alignas(Owner) unsigned char storage[sizeof(Owner)];
  Owner* object = new (storage) Owner;
  core::WeakToken first = object->weak.weakPtr();
  EXPECT_EQ(first, core::WeakToken(object->weak.weakPtr()));
  object->~Owner();
  object = new (storage) Owner;  // same storage, another object
  core::WeakToken second = object->weak.weakPtr();
  EXPECT_TRUE(first.expired());
  EXPECT_FALSE(second.expired());
  EXPECT_FALSE(first == second);
  object->~Owner();

  auto shared = std::make_shared<Owner>();
  std::weak_ptr<Owner> weak = shared;
  EXPECT_EQ(core::WeakToken(shared), core::WeakToken(weak));
  EXPECT_FALSE(core::WeakToken(weak, &shared->extra) == core::WeakToken(weak));
  EXPECT_EQ(core::WeakToken(weak, &shared->extra), core::WeakToken(weak, &shared->extra));
  shared.reset();
  EXPECT_TRUE(core::WeakToken(weak).expired());

  // No target: never expires, equal only to another empty token.
  EXPECT_FALSE(core::WeakToken().expired());
  EXPECT_TRUE(core::WeakToken().isNull());
  EXPECT_EQ(core::WeakToken(), core::WeakToken());
}

#if KT_THREAD_CHECKS
TEST(WeakPtrDeathTest, ADereferenceOnASecondThreadStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        Owner owner;
        auto weak = owner.weak.weakPtr();
        (void)weak.get();  // bound to this thread
        std::thread([weak] { (void)weak.get(); }).join();
      },
      "");
}

TEST(WeakPtrDeathTest, AMainThreadOnlyOperationOffTheMainThreadStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(std::thread([] { KT_ASSERT_MAIN_THREAD(); }).join(), "");
}
#endif

}  // namespace
