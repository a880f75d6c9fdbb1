#include <gtest/gtest.h>

#include "app/MD5Manage.h"
#include "app/NetworkHelper.h"
#include "platform/net/Reachability.h"

namespace kt {
namespace {

TEST(MD5Manage, LowerCaseHexDigestOfUtf8) {
  EXPECT_EQ(MD5Manage::md5(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(MD5Manage::md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  const std::string chinese = MD5Manage::md5("中文");
  EXPECT_EQ(chinese.size(), 32u);
  EXPECT_EQ(chinese.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(MD5Manage, DigestStopsAtTheFirstZeroByte) {
  EXPECT_EQ(MD5Manage::md5(std::string("abc\0def", 7)), MD5Manage::md5("abc"));
  EXPECT_EQ(MD5Manage::md5(std::string("\0abc", 4)), "d41d8cd98f00b204e9800998ecf8427e");
}

class NetworkHelperTest : public ::testing::Test {
 protected:
  void TearDown() override { net::clearReachabilityOverride(); }
};

TEST_F(NetworkHelperTest, OnlyReachableWithoutConnectionRequiredCounts) {
  net::setReachabilityOverride(net::Reachable);
  EXPECT_TRUE(NetworkHelper::networkAvailiable());
  net::setReachabilityOverride(net::Reachable | net::IsDirect | net::TransientConnection);
  EXPECT_TRUE(NetworkHelper::networkAvailiable());
  net::setReachabilityOverride(net::Reachable | net::ConnectionRequired);
  EXPECT_FALSE(NetworkHelper::networkAvailiable());
  net::setReachabilityOverride(net::ConnectionRequired);
  EXPECT_FALSE(NetworkHelper::networkAvailiable());
  net::setReachabilityOverride(0u);
  EXPECT_FALSE(NetworkHelper::networkAvailiable());
  net::setReachabilityOverride(std::nullopt);  // flags cannot be read
  EXPECT_FALSE(NetworkHelper::networkAvailiable());
}

}  // namespace
}  // namespace kt
