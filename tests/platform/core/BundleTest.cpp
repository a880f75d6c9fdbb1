#include "platform/core/Bundle.h"

#include "platform/core/Paths.h"
#include "platform/core/PropertyList.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using core::Bundle;
using core::Value;

class BundleTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    m_root = homePath() + "/resources";
    write("Info.plist", *core::PropertyList::serialize(Value(Value::Dictionary{
                            {"BundleIdentifier", "com.example.room"}, {"Version", "1.2"}, {"Build", 42}})));
    write("Localizable.strings", "\"hello\" = \"\xe4\xbd\xa0\xe5\xa5\xbd\";\n\"empty\" = \"\";\n");
    write("zh-Hans.lproj/Localizable.strings", "\"hello\" = \"shadowed\";\n\"bye\" = \"\xe5\x86\x8d\xe8\xa7\x81\";\n");
    write("Base.lproj/Localizable.strings", "\"bye\" = \"base bye\";\n\"base.only\" = \"from base\";\n");
    write("en.lproj/Localizable.strings", "\"en.only\" = \"from en\";\n");
    write("en.lproj/Menu.strings", "\"drinks\" = \"Drinks\";\n");
    write("Broken.strings", "\"unterminated = ");
    write("logo.png", "png");
    write("b.png", "png");
    write("notes.txt", "text");
    write("Images/star.png", "png");
    write("en.lproj/only-english.txt", "en");
    write("Settings.bundle/Root.plist", *core::PropertyList::serialize(Value(Value::Dictionary{{"Title", "Settings"}})));
  }

  void write(const std::string& relative, const std::string& bytes) {
    std::string path = m_root + "/" + relative;
    core::paths::makeDirectories(path.substr(0, path.rfind('/')));
    ASSERT_TRUE(core::paths::writeFileAtomically(path, bytes));
  }

  std::string m_root;
};

TEST_F(BundleTest, FindsResourcesByNameAndType) {
  Bundle b(m_root);
  EXPECT_EQ(b.bundlePath(), m_root);
  EXPECT_EQ(b.resourcePath(), m_root);
  EXPECT_EQ(b.pathForResource("logo", "png"), m_root + "/logo.png");
  EXPECT_EQ(b.pathForResource("logo", ".png"), m_root + "/logo.png");
  EXPECT_EQ(b.pathForResource("logo.png", ""), m_root + "/logo.png");
  EXPECT_EQ(b.pathForResource("star", "png", "Images"), m_root + "/Images/star.png");
  EXPECT_EQ(b.pathForResource("only-english", "txt"), m_root + "/en.lproj/only-english.txt");
  EXPECT_EQ(b.pathForResource("missing", "png"), std::nullopt);
  EXPECT_EQ(b.pathForResource("star", "png"), std::nullopt);
  EXPECT_EQ(b.pathForResource("", ""), std::nullopt);

  EXPECT_EQ(b.pathsForResourcesOfType("png"), (std::vector<std::string>{m_root + "/b.png", m_root + "/logo.png"}));
  EXPECT_EQ(b.pathsForResourcesOfType("png", "Images"), (std::vector<std::string>{m_root + "/Images/star.png"}));
  EXPECT_TRUE(b.pathsForResourcesOfType("png", "Nowhere").empty());
  EXPECT_EQ(b.pathsForResourcesOfType("", "Settings.bundle").size(), 1u);
}

TEST_F(BundleTest, StringTablesWithFallbacks) {
  Bundle b(m_root);
  EXPECT_EQ(b.localizedString("hello", "fallback"), "\xe4\xbd\xa0\xe5\xa5\xbd");  // the folder itself comes first
  EXPECT_EQ(b.localizedString("bye", ""), "\xe5\x86\x8d\xe8\xa7\x81");           // then zh-Hans before Base
  EXPECT_EQ(b.localizedString("base.only", ""), "from base");
  EXPECT_EQ(b.localizedString("en.only", ""), "from en");
  EXPECT_EQ(b.localizedString("empty", "fallback"), "");
  EXPECT_EQ(b.localizedString("missing", "fallback"), "fallback");
  EXPECT_EQ(b.localizedString("missing", ""), "missing");
  EXPECT_EQ(b.localizedString("drinks", "", "Menu"), "Drinks");
  EXPECT_EQ(b.localizedString("hello", "", "Menu"), "hello");
  EXPECT_EQ(b.localizedString("x", "fb", "NoSuchTable"), "fb");
  EXPECT_EQ(b.localizedString("x", "fb", "Broken"), "fb");
}

TEST_F(BundleTest, InfoValuesAndNestedBundles) {
  Bundle b(m_root);
  EXPECT_EQ(b.bundleIdentifier(), "com.example.room");
  EXPECT_EQ(b.infoValue("Version"), Value("1.2"));
  EXPECT_EQ(b.infoValue("Build"), Value(42));
  EXPECT_TRUE(b.infoValue("Missing").isNull());

  auto settings = Bundle::withPath(m_root + "/Settings.bundle/");
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->bundlePath(), m_root + "/Settings.bundle");
  auto root = settings->pathForResource("Root", "plist");
  ASSERT_TRUE(root);
  EXPECT_EQ((*core::PropertyList::readFile(*root))["Title"], Value("Settings"));
  EXPECT_EQ(settings->bundleIdentifier(), "");
  EXPECT_FALSE(Bundle::withPath(m_root + "/nothing.bundle"));
  EXPECT_FALSE(Bundle::withPath(m_root + "/logo.png"));
}

TEST_F(BundleTest, MainBundleFollowsTheResourcesVariable) {
  const char* saved = std::getenv("KT_RESOURCES");
  std::string savedValue = saved ? saved : "";
  ::setenv("KT_RESOURCES", m_root.c_str(), 1);
  const Bundle& main = Bundle::main();
  EXPECT_EQ(main.resourcePath(), m_root);
  EXPECT_EQ(main.bundleIdentifier(), "com.example.room");
  EXPECT_EQ(&Bundle::main(), &main);

  ::unsetenv("KT_RESOURCES");
  // Without the variable: "resources" beside the program or one folder up.
  const std::string fallback = Bundle::main().resourcePath();
  EXPECT_NE(fallback, m_root);
  EXPECT_EQ(fallback.substr(fallback.size() - 10), "/resources");
  EXPECT_EQ(main.resourcePath(), m_root);  // the earlier reference is still valid

  if (saved) ::setenv("KT_RESOURCES", savedValue.c_str(), 1);
}

// Where a program finds its resources from its own folder: beside itself in a build tree, in
// share/ktv-client of its prefix once installed (wherever the prefix was moved), the build tree
// winning where both are there.
TEST_F(BundleTest, AProgramFindsItsResourcesBesideItselfElseInItsPrefixShare) {
  namespace fs = std::filesystem;
  const std::string prefix = homePath() + "/moved/usr";
  core::paths::makeDirectories(prefix + "/bin");
  EXPECT_EQ(Bundle::resourcePathForProgramIn(prefix + "/bin"), fs::weakly_canonical(prefix + "/resources").string());

  core::paths::makeDirectories(prefix + "/share/ktv-client");
  EXPECT_EQ(Bundle::resourcePathForProgramIn(prefix + "/bin"),
            fs::weakly_canonical(prefix + "/share/ktv-client").string());

  core::paths::makeDirectories(prefix + "/bin/resources");
  EXPECT_EQ(Bundle::resourcePathForProgramIn(prefix + "/bin"), prefix + "/bin/resources");
}

}  // namespace
