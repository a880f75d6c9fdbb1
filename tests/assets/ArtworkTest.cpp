#include "assets/Artwork.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "assets/Painter.h"
#include "platform/core/Error.h"
#include "platform/gfx/Image.h"

namespace kt::assets {
namespace {

namespace fs = std::filesystem;

uint32_t alphaOf(uint32_t argb) { return argb >> 24; }

// Draws the whole artwork once into a temporary resources folder shared by the tests.
class ArtworkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_root = fs::temp_directory_path() / ("kt_artwork_test_" + std::to_string(::getpid()));
    fs::remove_all(s_root);
    s_error = Artwork::writeAll(s_root.string());
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(s_root, ec);
  }

  static fs::path fileFor(const Artwork& art, double scale) { return s_root / art.folder / art.fileName(scale); }
  static std::shared_ptr<gfx::Image> load(const std::string& name, double scale = 1) {
    const Artwork* art = Artwork::find(name);
    if (!art) return nullptr;
    return gfx::Image::fromFile(fileFor(*art, scale).string(), scale);
  }

  static inline fs::path s_root;
  static inline std::optional<core::Error> s_error;
};

TEST_F(ArtworkTest, TableNamesAreUniqueWithDrawableSizes) {
  std::set<std::string> seen;
  for (const Artwork& art : Artwork::all()) {
    EXPECT_TRUE(seen.insert(art.folder + "/" + art.name).second) << "twice: " << art.name;
    EXPECT_FALSE(art.name.empty());
    EXPECT_GT(art.size.width, 0) << art.name;
    EXPECT_GT(art.size.height, 0) << art.name;
    EXPECT_TRUE(static_cast<bool>(art.draw)) << art.name;
  }
  EXPECT_EQ(Artwork::find("no such picture"), nullptr);
}

TEST_F(ArtworkTest, FileNamesCarryTheScale) {
  const Artwork* art = Artwork::find("NavBarBg");
  ASSERT_NE(art, nullptr);
  EXPECT_EQ(art->fileName(1), "NavBarBg.png");
  EXPECT_EQ(art->fileName(2), "NavBarBg@2x.png");
  EXPECT_EQ(art->fileName(3), "NavBarBg@3x.png");
}

TEST_F(ArtworkTest, EveryPictureIsWrittenAtEachScaleAndItsDeclaredSize) {
  ASSERT_FALSE(s_error) << s_error->description();
  for (const Artwork& art : Artwork::all()) {
    for (double scale : Artwork::scales()) {
      const fs::path path = fileFor(art, scale);
      // The desktop's icon is written in its theme's sizes, not at the interface's triple scale.
      EXPECT_EQ(art.drawnAt(scale), art.folder != "icons" || scale < 3) << path;
      if (!art.drawnAt(scale)) {
        EXPECT_FALSE(fs::exists(path)) << path;
        continue;
      }
      ASSERT_TRUE(fs::is_regular_file(path)) << path;
      core::Error error;
      auto image = gfx::Image::fromFile(path.string(), scale, &error);
      ASSERT_NE(image, nullptr) << path << ": " << error.description();
      EXPECT_EQ(image->pixelWidth(), static_cast<int>(std::ceil(art.size.width * scale))) << path;
      EXPECT_EQ(image->pixelHeight(), static_cast<int>(std::ceil(art.size.height * scale))) << path;
    }
  }
}

TEST_F(ArtworkTest, NoPictureIsFullyTransparent) {
  ASSERT_FALSE(s_error);
  for (const Artwork& art : Artwork::all()) {
    for (double scale : {1.0, 2.0}) {
      auto image = gfx::Image::fromFile(fileFor(art, scale).string(), scale);
      ASSERT_NE(image, nullptr) << art.name;
      bool seen = false;
      for (int y = 0; y < image->pixelHeight() && !seen; ++y)
        for (int x = 0; x < image->pixelWidth() && !seen; ++x) seen = alphaOf(image->pixelAt(x, y)) > 0;
      EXPECT_TRUE(seen) << art.name << " at " << scale << "x";
    }
  }
}

TEST_F(ArtworkTest, ScreensFindTheirPictures) {
  ASSERT_FALSE(s_error);
  // A sample across the screens: the shared frame, the song home, the song lists, the remote
  // control, room binding, ordering and the widgets.
  const char* names[] = {"NavBarBg",          "Return_selected",    "Bg2",           "Default-Landscape",
                         "SongsHomePageBg",   "SearchBar",          "SearchTwo",     "Style_1",
                         "Style_6",           "RemoteControl",      "SeparateLine2", "SuperStarsBg",
                         "Sing_normal",       "Sing_selected",      "Arrow_right",   "Alert_chooseSongs",
                         "Search_bg",         "Remote_change_normal", "Remote_X",    "Remote_controlBg",
                         "scan_net",          "Common_Boox_4",      "RoomCode_selected", "BindingGuide",
                         "三角2",             "未选中",             "com_btn_checked", "DefaultImage",
                         "Computer Off",      "Clock",              "alert_numBg2",  "foregroundStar",
                         "TabBarBg_replace",  "tabBar_icon_me_replace"};
  for (const char* name : names) {
    const Artwork* art = Artwork::find(name);
    ASSERT_NE(art, nullptr) << name;
    EXPECT_EQ(art->folder, "images") << name;
    EXPECT_TRUE(fs::is_regular_file(s_root / "images" / (std::string(name) + ".png"))) << name;
    EXPECT_TRUE(fs::is_regular_file(s_root / "images" / (std::string(name) + "@2x.png"))) << name;
    EXPECT_TRUE(fs::is_regular_file(s_root / "images" / (std::string(name) + "@3x.png"))) << name;
  }
  // The widgets' own resource bundles.
  for (const char* file : {"info.png", "success.png", "error.png", "angle-mask.png", "info@2x.png", "info@3x.png"})
    EXPECT_TRUE(fs::is_regular_file(s_root / "AOProgressHUD.bundle" / file)) << file;
  EXPECT_TRUE(fs::is_regular_file(s_root / "PRRefresh.bundle" / "arrow@2x.png"));
}

TEST_F(ArtworkTest, FramesAreDrawnAtTheirFrameSizes) {
  const struct {
    const char* name;
    double width, height;
  } frames[] = {{"NavBarBg", 1024, 79},      {"Bg2", 1024, 689},         {"Return_selected", 16, 30},
                {"Remote_change_normal", 96, 138}, {"Remote_controlBg", 380, 63}, {"Style_3", 313, 228},
                {"SeparateLine2", 1024, 2},  {"Common_Boox_2", 27, 27}, {"RoomCode_normal", 352, 70},
                {"Sing_normal", 80, 40},     {"Default-Landscape", 1024, 768}};
  for (const auto& f : frames) {
    const Artwork* art = Artwork::find(f.name);
    ASSERT_NE(art, nullptr) << f.name;
    EXPECT_EQ(art->size, (gfx::Size{f.width, f.height})) << f.name;
  }
}

TEST_F(ArtworkTest, BackgroundsAreOpaqueToTheirCorners) {
  for (const char* name : {"Bg2", "SongsHomePageBg", "SuperStarsBg", "Search_bg", "NavBarBg", "Default-Landscape",
                           "TabBarBg_replace", "1"}) {
    auto image = load(name, 2);
    ASSERT_NE(image, nullptr) << name;
    const int w = image->pixelWidth() - 1, h = image->pixelHeight() - 1;
    for (auto [x, y] : {std::pair{0, 0}, {w, 0}, {0, h}, {w, h}, {w / 2, h / 2}})
      EXPECT_EQ(alphaOf(image->pixelAt(x, y)), 255u) << name << " at " << x << "," << y;
  }
}

TEST_F(ArtworkTest, ScanCornerMarksSitInTheirOwnCorners) {
  // 1 top left, 2 top right, 3 bottom left, 4 bottom right: the marked corner is opaque and the
  // opposite one clear.
  const struct {
    const char* name;
    bool right, bottom;
  } marks[] = {{"Common_Boox_1", false, false},
               {"Common_Boox_2", true, false},
               {"Common_Boox_3", false, true},
               {"Common_Boox_4", true, true}};
  for (const auto& m : marks) {
    auto image = load(m.name, 2);
    ASSERT_NE(image, nullptr) << m.name;
    const int last = image->pixelWidth() - 1;
    const int cx = m.right ? last : 0, cy = m.bottom ? last : 0;
    EXPECT_EQ(alphaOf(image->pixelAt(cx, cy)), 255u) << m.name;
    EXPECT_EQ(alphaOf(image->pixelAt(last - cx, last - cy)), 0u) << m.name;
    EXPECT_EQ(alphaOf(image->pixelAt(last / 2, last / 2)), 0u) << m.name;
  }
}

TEST_F(ArtworkTest, PressedStatesLookDifferentFromNormalOnes) {
  int pairs = 0;
  for (const Artwork& art : Artwork::all()) {
    const std::string suffix = "_normal";
    if (art.name.size() <= suffix.size() || art.name.compare(art.name.size() - suffix.size(), suffix.size(), suffix))
      continue;
    const std::string pressed = art.name.substr(0, art.name.size() - suffix.size()) + "_selected";
    ASSERT_NE(Artwork::find(pressed), nullptr) << pressed;
    auto a = load(art.name), b = load(pressed);
    ASSERT_TRUE(a && b) << art.name;
    ASSERT_EQ(a->pixelWidth(), b->pixelWidth());
    ASSERT_EQ(a->pixelHeight(), b->pixelHeight());
    const int x = a->pixelWidth() / 2, y = a->pixelHeight() / 4;
    EXPECT_NE(a->pixelAt(x, y), b->pixelAt(x, y)) << art.name;
    ++pairs;
  }
  EXPECT_GE(pairs, 6);  // row buttons, remote keys and the room-code button
}

TEST_F(ArtworkTest, NamedLookupFindsTheArtworkAtTheScreenScale) {
  ASSERT_FALSE(s_error);
  const char* old = std::getenv("KT_RESOURCES");
  const std::string saved = old ? old : "";
  ::setenv("KT_RESOURCES", s_root.string().c_str(), 1);
  gfx::Image::clearNamedCache();
  const double oldScale = gfx::Image::drawingScale();

  gfx::Image::setDrawingScale(2);
  auto bar = gfx::Image::named("NavBarBg");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->scale(), 2);
  EXPECT_EQ(bar->pixelWidth(), 2048);
  EXPECT_EQ(bar->size(), (gfx::Size{1024, 79}));
  // Names given with an extension, and a JPEG name, find the generated PNG.
  EXPECT_NE(gfx::Image::named("DefaultImage.jpg"), nullptr);
  EXPECT_NE(gfx::Image::named("Clock.png"), nullptr);
  EXPECT_NE(gfx::Image::named("com_btn_checked.png"), nullptr);
  EXPECT_NE(gfx::Image::named("三角2"), nullptr);

  gfx::Image::setDrawingScale(1);
  auto small = gfx::Image::named("NavBarBg");
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->pixelWidth(), 1024);
  // Held while the scale goes above 1 again, it is drawn from the double artwork up to 2.
  gfx::Image::setDrawingScale(1.40625);
  EXPECT_EQ(small->namedAtDrawingScale(), bar);
  EXPECT_EQ(gfx::Image::named("NavBarBg"), bar);
  EXPECT_EQ(bar->namedAtDrawingScale(), nullptr);
  // Above 2, from the triple artwork: the smallest file at or above the drawing scale.
  gfx::Image::setDrawingScale(2.8125);
  auto triple = gfx::Image::named("NavBarBg");
  ASSERT_NE(triple, nullptr);
  EXPECT_EQ(triple->scale(), 3);
  EXPECT_EQ(triple->pixelWidth(), 3072);
  EXPECT_EQ(triple->size(), (gfx::Size{1024, 79}));
  EXPECT_EQ(small->namedAtDrawingScale(), triple);
  EXPECT_EQ(bar->namedAtDrawingScale(), triple);
  EXPECT_EQ(gfx::Image::named("NavBarBg@2x.png"), triple);

  gfx::Image::setDrawingScale(oldScale);
  if (old)
    ::setenv("KT_RESOURCES", saved.c_str(), 1);
  else
    ::unsetenv("KT_RESOURCES");
  gfx::Image::clearNamedCache();
}

TEST_F(ArtworkTest, WritingIntoAFileInsteadOfAFolderFails) {
  const fs::path blocker = s_root / "not-a-folder";
  std::ofstream(blocker) << "x";
  auto error = Artwork::writeAll(blocker.string());
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->domain(), core::Error::CoreDomain);
  EXPECT_NE(error->userInfo()[core::Error::FilePathKey].stringValue().find("not-a-folder"), std::string::npos);
}

TEST_F(ArtworkTest, AnEmptySizeDrawsNothing) {
  Artwork empty{"empty", {0, 10}, [](Painter&, gfx::Size) {}};
  EXPECT_EQ(empty.render(1), nullptr);
  Artwork undrawn{"undrawn", {10, 10}, nullptr};
  EXPECT_EQ(undrawn.render(1), nullptr);
}

}  // namespace
}  // namespace kt::assets
