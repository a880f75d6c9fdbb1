#include <gtest/gtest.h>

#include "app/SubsidiaryClass.h"
#include "app/WGAlertView.h"
#include "platform/core/Clock.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Screen.h"
#include "support/UiHarness.h"

#include <set>
#include <string>

namespace kt {
namespace {

class TextMeasureTest : public ::testing::Test {
 protected:
  void TearDown() override { ui::Screen::main().reset(); }
  static double lineHeight(int size) { return gfx::Font::systemFont(size)->lineHeight(); }
  static double oneLineWidth(const std::string& text, int size) {
    return gfx::TextLayout(text, gfx::TextStyle::withFont(gfx::Font::systemFont(size))).size().width;
  }
};

TEST_F(TextMeasureTest, HeightCountsTheWrappedLines) {
  const std::string word = "提示信息 message";
  const float one = SubsidiaryClass::fontHeight(word, 17, 600);
  EXPECT_NEAR(one, lineHeight(17), 0.01);
  EXPECT_NEAR(SubsidiaryClass::fontHeight(word + "\n" + word, 17, 600), 2 * one, 0.01);
  // Narrower than the text: it wraps onto more lines.
  const float wrapped = SubsidiaryClass::fontHeight(word, 17, static_cast<float>(oneLineWidth(word, 17) / 2 + 5));
  EXPECT_NEAR(wrapped, 2 * one, 0.01);
  EXPECT_GT(SubsidiaryClass::fontHeight(word, 34, 600), one);
  EXPECT_EQ(SubsidiaryClass::fontHeight("", 17, 600), 0.0f);
}

TEST_F(TextMeasureTest, HeightStopsAtTenScreenHeights) {
  std::string longText;
  for (int i = 0; i < 400; ++i) longText += "很长的一段文字 ";
  // 1024 x 768 points: at most 7680 points.
  const float standard = SubsidiaryClass::fontHeight(longText, 30, 40);
  EXPECT_LE(standard, 7680.0f);
  EXPECT_GT(standard, 7680.0f - 2 * lineHeight(30));
  // The 12.9-inch tablet in landscape is 1024 points high: at most 10240.
  ui::Screen::main().setMode(gfx::Size{2048, 2732}, 2);
  const float large = SubsidiaryClass::fontHeight(longText, 30, 40);
  EXPECT_LE(large, 10240.0f);
  EXPECT_GT(large, 10240.0f - 2 * lineHeight(30));
}

TEST_F(TextMeasureTest, WidthIsOneLineUpToTheScreenWidth) {
  EXPECT_NEAR(SubsidiaryClass::fontWidth("确定 OK", 17, 30), oneLineWidth("确定 OK", 17), 0.01);
  EXPECT_GT(SubsidiaryClass::fontWidth("确定 OK", 28, 40), SubsidiaryClass::fontWidth("确定 OK", 17, 30));
  // Text wider than the screen wraps at its width (1024 points).
  std::string longText;
  for (int i = 0; i < 30; ++i) longText += "wide text ";
  ASSERT_GT(oneLineWidth(longText, 20), 1024);
  const float width = SubsidiaryClass::fontWidth(longText, 20, 200);
  EXPECT_LE(width, 1024.0f);
  EXPECT_GT(width, 900.0f);
  EXPECT_EQ(SubsidiaryClass::fontWidth("", 17, 30), 0.0f);
}

TEST(SubsidiaryClass, TimeStampsFollowTheProgramClock) {
  core::Clock::setVirtual(true);
  const long long seconds = std::stoll(SubsidiaryClass::getTimeStampForUDP());
  const long long millis = std::stoll(SubsidiaryClass::getTimeStamp());
  core::Clock::advance(2.0);
  EXPECT_EQ(std::stoll(SubsidiaryClass::getTimeStampForUDP()), seconds + 2);
  EXPECT_EQ(std::stoll(SubsidiaryClass::getTimeStamp()), millis + 2000);
  EXPECT_GT(seconds, 1500000000);  // seconds since 1970, not since start
  core::Clock::setVirtual(false);
}

TEST(SubsidiaryClass, RandomNumbersStayWithin100To999) {
  std::set<int> seen;
  for (int i = 0; i < 3000; ++i) {
    const std::string text = SubsidiaryClass::getRandomNumber();
    ASSERT_EQ(text.size(), 3u) << text;
    const int n = std::stoi(text);
    ASSERT_GE(n, 100);
    ASSERT_LE(n, 999);
    seen.insert(n);
  }
  EXPECT_GT(seen.size(), 500u);
}

TEST(SubsidiaryClass, NumberChecksReadFromTheStartToTheEnd) {
  EXPECT_TRUE(SubsidiaryClass::isPureInt("12"));
  EXPECT_TRUE(SubsidiaryClass::isPureInt("  -12"));
  EXPECT_TRUE(SubsidiaryClass::isPureInt("+7"));
  EXPECT_FALSE(SubsidiaryClass::isPureInt("12a"));
  EXPECT_FALSE(SubsidiaryClass::isPureInt("1.5"));
  EXPECT_FALSE(SubsidiaryClass::isPureInt(""));
  EXPECT_FALSE(SubsidiaryClass::isPureInt("-"));
  EXPECT_TRUE(SubsidiaryClass::isPureFloat("1.5"));
  EXPECT_TRUE(SubsidiaryClass::isPureFloat("12"));
  EXPECT_TRUE(SubsidiaryClass::isPureFloat(" .5"));
  EXPECT_TRUE(SubsidiaryClass::isPureFloat("-2.5e3"));
  EXPECT_FALSE(SubsidiaryClass::isPureFloat("1.5.2"));
  EXPECT_FALSE(SubsidiaryClass::isPureFloat("."));
  EXPECT_FALSE(SubsidiaryClass::isPureFloat("1e"));
  EXPECT_FALSE(SubsidiaryClass::isPureFloat("abc"));
}

TEST(SubsidiaryClass, PatternChecksMatchTheWholeText) {
  EXPECT_TRUE(SubsidiaryClass::checkIDCardNumber("11010519491231002X"));
  EXPECT_TRUE(SubsidiaryClass::checkIDCardNumber("110105491231002"));
  EXPECT_FALSE(SubsidiaryClass::checkIDCardNumber("01010519491231002X"));
  EXPECT_FALSE(SubsidiaryClass::checkIDCardNumber("1101051949123100"));
  EXPECT_FALSE(SubsidiaryClass::checkIDCardNumber("11010519491231002X "));

  EXPECT_TRUE(SubsidiaryClass::chectMobile("13812345678"));
  EXPECT_TRUE(SubsidiaryClass::chectMobile("15012345678"));
  EXPECT_TRUE(SubsidiaryClass::chectMobile("17712345678"));

  EXPECT_TRUE(SubsidiaryClass::checkEmail("guest.one@venue-ktv.cn"));
  EXPECT_FALSE(SubsidiaryClass::checkEmail("guest@venue"));
  EXPECT_FALSE(SubsidiaryClass::checkEmail("guest@venue.com x"));

  EXPECT_TRUE(SubsidiaryClass::checkDate("2016-02-29"));
  EXPECT_TRUE(SubsidiaryClass::checkDate("2000-02-29"));
  EXPECT_TRUE(SubsidiaryClass::checkDate("2016-12-31"));
  EXPECT_FALSE(SubsidiaryClass::checkDate("2015-02-29"));
  EXPECT_FALSE(SubsidiaryClass::checkDate("1900-02-29"));
  EXPECT_FALSE(SubsidiaryClass::checkDate("0000-01-01"));
  EXPECT_FALSE(SubsidiaryClass::checkDate("2016-04-31"));
  EXPECT_FALSE(SubsidiaryClass::checkDate("2016-1-1"));

  EXPECT_TRUE(SubsidiaryClass::compareTimeString("2016-01-02", "2016-01-10"));
  EXPECT_FALSE(SubsidiaryClass::compareTimeString("2016-01-10", "2016-01-02"));
  EXPECT_FALSE(SubsidiaryClass::compareTimeString("2016-01-10", "2016-01-10"));
}

class CheckAlertTest : public support::ScreenTest {
 protected:
  size_t alertCount() const { return findViews<WGAlertView>().size(); }
};

TEST_F(CheckAlertTest, MobileCheckTellsWhatIsWrong) {
  EXPECT_FALSE(SubsidiaryClass::chectMobile(""));
  ASSERT_EQ(alertCount(), 1u);
  EXPECT_TRUE(findViewByText("提示"));
  EXPECT_TRUE(findViewByText("请填写手机号"));
  EXPECT_TRUE(findViewByText("确定"));
  findViews<WGAlertView>().front()->dismissss();
  wait(0.5);
  ASSERT_EQ(alertCount(), 0u);

  for (const char* wrong : {"15412345678", "1381234567", "138123456789", "12345678901", "1381234567a"}) {
    SCOPED_TRACE(wrong);
    EXPECT_FALSE(SubsidiaryClass::chectMobile(wrong));
    ASSERT_EQ(alertCount(), 1u);
    EXPECT_TRUE(findViewByText("请确认手机号输入正确"));
    findViews<WGAlertView>().front()->dismissss();
    wait(0.5);
  }
  EXPECT_TRUE(SubsidiaryClass::chectMobile("18612345678"));
  EXPECT_EQ(alertCount(), 0u);
}

TEST_F(CheckAlertTest, EmailCheckAlertsOnlyForEmptyText) {
  EXPECT_FALSE(SubsidiaryClass::checkEmail("not an address"));
  EXPECT_EQ(alertCount(), 0u);
  EXPECT_FALSE(SubsidiaryClass::checkEmail(""));
  ASSERT_EQ(alertCount(), 1u);
  EXPECT_TRUE(findViewByText("请输入邮箱名"));
}

}  // namespace
}  // namespace kt
