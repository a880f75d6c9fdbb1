#include "widgets/feedback/BundlePRRefresh.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/core/Bundle.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

namespace {

namespace fs = std::filesystem;
using support::ScopedEnv;

class BundlePRRefreshTest : public support::TempHomeTest {
 protected:
  BundlePRRefreshTest() { kt::pr_resetRefreshResources(); }
  ~BundlePRRefreshTest() override { kt::pr_resetRefreshResources(); }

  // The first text of the header in the language a locale gives.
  static std::string idleTextFor(const char* language, const char* lang) {
    ScopedEnv languageList("LANGUAGE", language);
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv messages("LC_MESSAGES", nullptr);
    ScopedEnv langVar("LANG", lang);
    kt::pr_resetRefreshResources();
    return kt::pr_localizedStringForKey("PRRefreshHeaderIdleText");
  }
};

TEST_F(BundlePRRefreshTest, TheLanguageRule) {
  EXPECT_EQ(kt::pr_refreshLanguageFor("zh-HK"), "zh-Hant");
  EXPECT_EQ(kt::pr_refreshLanguageFor("zh-Hant-TW"), "zh-Hant");
  EXPECT_EQ(kt::pr_refreshLanguageFor("zh-Hans-CN"), "zh-Hans");
  EXPECT_EQ(kt::pr_refreshLanguageFor("fr-FR"), "en");
  EXPECT_EQ(kt::pr_refreshLanguageFor("en-GB"), "en");
  EXPECT_EQ(kt::pr_refreshLanguageFor(""), "en");
}

TEST_F(BundlePRRefreshTest, ALinuxLocaleChoosesTheTexts) {
  EXPECT_EQ(idleTextFor(nullptr, "zh_CN.UTF-8"), "向下拉动刷新列表");
  EXPECT_EQ(idleTextFor(nullptr, "zh_TW.UTF-8"), "向下拉動更新列表");
  EXPECT_EQ(idleTextFor(nullptr, "zh_HK"), "向下拉動更新列表");
  EXPECT_EQ(idleTextFor(nullptr, "en_US.UTF-8"), "Drag down to update the list");
  EXPECT_EQ(idleTextFor(nullptr, "de_DE.UTF-8"), "Drag down to update the list");
  EXPECT_EQ(idleTextFor(nullptr, "C"), "Drag down to update the list");
  EXPECT_EQ(idleTextFor("zh_CN:en", "en_US.UTF-8"), "向下拉动刷新列表");
}

TEST_F(BundlePRRefreshTest, TheLanguageIsChosenOncePerProcess) {
  ScopedEnv language("LANGUAGE", "zh_CN");
  EXPECT_EQ(kt::pr_localizedStringForKey("PRRefreshHeaderDateTodayText"), "今天");
  ScopedEnv later("LANGUAGE", "en");
  EXPECT_EQ(kt::pr_localizedStringForKey("PRRefreshAutoFooterNoMoreDataText"), "没有更多内容了");
  kt::pr_resetRefreshResources();
  EXPECT_EQ(kt::pr_localizedStringForKey("PRRefreshAutoFooterNoMoreDataText"), "That's the whole list");
}

TEST_F(BundlePRRefreshTest, MissingKeysComeBackAsTheValueOrTheKey) {
  ScopedEnv language("LANGUAGE", "en");
  EXPECT_EQ(kt::pr_localizedStringForKey("NoSuchKey"), "NoSuchKey");
  EXPECT_EQ(kt::pr_localizedStringForKey("NoSuchKey", "fallback"), "fallback");
}

TEST_F(BundlePRRefreshTest, TheApplicationsOwnStringsWin) {
  // A resources folder of the program's own, with the family's bundle beside its strings table.
  const fs::path resources = fs::path(homePath()) / "resources";
  fs::create_directories(resources);
  fs::create_directory_symlink(fs::path(core::Bundle::main().bundlePath()) / "PRRefresh.bundle",
                               resources / "PRRefresh.bundle");
  std::ofstream(resources / "Localizable.strings") << "\"PRRefreshHeaderIdleText\" = \"Pull for the newest songs\";\n";
  ScopedEnv main("KT_RESOURCES", resources.c_str());
  ScopedEnv language("LANGUAGE", "zh_CN");
  kt::pr_resetRefreshResources();
  EXPECT_EQ(kt::pr_localizedStringForKey("PRRefreshHeaderIdleText"), "Pull for the newest songs");
  EXPECT_EQ(kt::pr_localizedStringForKey("PRRefreshHeaderPullingText"), "放手即刷新");
}

}  // namespace
