#include "platform/ui/ViewAssociation.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/ui/View.h"

TEST(ViewAssociation, ValuesLiveAsLongAsTheirViewAndNeverKeepItAlive) {
  ui::ViewAssociation<ui::View, std::string> table;
  auto a = ui::View::create();
  auto b = ui::View::create();
  EXPECT_EQ(table.find(a.get()), nullptr);
  table.valueFor(a) = "a";
  table.valueFor(b) = "b";
  ASSERT_NE(table.find(a.get()), nullptr);
  EXPECT_EQ(*table.find(a.get()), "a");
  EXPECT_EQ(table.valueFor(a), "a");  // made once
  EXPECT_EQ(table.size(), 2u);

  std::weak_ptr<ui::View> gone = a;
  const ui::View* address = a.get();
  a.reset();
  EXPECT_TRUE(gone.expired());
  EXPECT_EQ(table.find(address), nullptr);
  EXPECT_EQ(table.size(), 1u);

  table.erase(b.get());
  EXPECT_EQ(table.find(b.get()), nullptr);
  EXPECT_EQ(table.valueFor(b), "");
}
