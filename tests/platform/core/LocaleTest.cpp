#include "platform/core/Locale.h"

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

namespace {

using core::languageTagFromLocale;
using support::ScopedEnv;

TEST(LocaleTest, LocaleNamesBecomeLanguageTags) {
  EXPECT_EQ(languageTagFromLocale("zh_CN.UTF-8"), "zh-Hans-CN");
  EXPECT_EQ(languageTagFromLocale("zh_SG.GB18030"), "zh-Hans-SG");
  EXPECT_EQ(languageTagFromLocale("zh_TW.UTF-8"), "zh-Hant-TW");
  EXPECT_EQ(languageTagFromLocale("zh_HK"), "zh-Hant-HK");
  EXPECT_EQ(languageTagFromLocale("zh_MO"), "zh-Hant-MO");
  EXPECT_EQ(languageTagFromLocale("zh"), "zh-Hans");
  EXPECT_EQ(languageTagFromLocale("zh-Hant-CN"), "zh-Hant-CN");  // a script of its own is kept
  EXPECT_EQ(languageTagFromLocale("en_US.UTF-8"), "en-US");
  EXPECT_EQ(languageTagFromLocale("EN_gb"), "en-GB");
  EXPECT_EQ(languageTagFromLocale("sr_RS@latin"), "sr-RS");
  EXPECT_EQ(languageTagFromLocale("es_419"), "es-419");
  EXPECT_EQ(languageTagFromLocale("fr"), "fr");
  EXPECT_EQ(languageTagFromLocale("C"), std::nullopt);
  EXPECT_EQ(languageTagFromLocale("POSIX"), std::nullopt);
  EXPECT_EQ(languageTagFromLocale("C.UTF-8"), std::nullopt);
  EXPECT_EQ(languageTagFromLocale(""), std::nullopt);
  EXPECT_EQ(languageTagFromLocale("x"), std::nullopt);
  EXPECT_EQ(languageTagFromLocale("en_"), std::nullopt);
  EXPECT_EQ(languageTagFromLocale("en_US_US"), std::nullopt);
  EXPECT_EQ(languageTagFromLocale("/usr/lib/locale"), std::nullopt);
}

TEST(LocaleTest, TheEnvironmentIsReadInTheCLibrarysOrder) {
  ScopedEnv language("LANGUAGE", "zh_TW:fr:C:zh_TW");
  ScopedEnv all("LC_ALL", "de_DE.UTF-8");
  ScopedEnv messages("LC_MESSAGES", "it_IT.UTF-8");
  ScopedEnv lang("LANG", "zh_CN.UTF-8");
  EXPECT_EQ(core::preferredLanguages(), (std::vector<std::string>{"zh-Hant-TW", "fr"}));
  {
    ScopedEnv none("LANGUAGE", nullptr);
    EXPECT_EQ(core::preferredLanguages(), (std::vector<std::string>{"de-DE"}));
    ScopedEnv noAll("LC_ALL", "");
    EXPECT_EQ(core::preferredLanguages(), (std::vector<std::string>{"it-IT"}));
    ScopedEnv noMessages("LC_MESSAGES", nullptr);
    EXPECT_EQ(core::preferredLanguages(), (std::vector<std::string>{"zh-Hans-CN"}));
    ScopedEnv posix("LANG", "C");
    EXPECT_EQ(core::preferredLanguages(), (std::vector<std::string>{"en"}));
  }
}

}  // namespace
