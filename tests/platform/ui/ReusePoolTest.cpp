#include "platform/ui/ReusePool.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct Reusable {
  explicit Reusable(std::string n) : name(std::move(n)) {}
  void prepareForReuse() { ++prepared; }
  std::string name;
  int prepared = 0;
};

TEST(ReusePool, DequeuesTheLastPutBackUnderItsKeyPreparedForReuse) {
  ui::ReusePool<Reusable> pool;
  auto a = std::make_shared<Reusable>("a"), b = std::make_shared<Reusable>("b"), c = std::make_shared<Reusable>("c");
  pool.enqueue("row", a);
  pool.enqueue("row", b);
  pool.enqueue("header", c);

  auto first = pool.dequeue("row");
  EXPECT_EQ(first, b);
  EXPECT_EQ(b->prepared, 1);
  EXPECT_EQ(pool.dequeue("row"), a);
  EXPECT_EQ(pool.dequeue("row"), nullptr);  // the other key's view stays where it is
  EXPECT_EQ(c->prepared, 0);
  EXPECT_EQ(pool.dequeue("header"), c);
  EXPECT_EQ(pool.dequeue("unknown"), nullptr);
}

TEST(ReusePool, MakesFromTheRegisteredFactoryUntilAnEmptyOneForgetsIt) {
  ui::ReusePool<Reusable> pool;
  EXPECT_EQ(pool.make("row"), nullptr);
  int made = 0;
  pool.registerFactory("row", [&made] { return std::make_shared<Reusable>("made" + std::to_string(++made)); });
  auto one = pool.make("row");
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->name, "made1");
  EXPECT_EQ(one->prepared, 0);  // new views are not prepared for reuse
  EXPECT_EQ(pool.dequeue("row"), nullptr);  // making does not queue
  EXPECT_EQ(pool.make("other"), nullptr);

  pool.registerFactory("row", nullptr);
  EXPECT_EQ(pool.make("row"), nullptr);
  EXPECT_EQ(made, 1);
}

}  // namespace
