#include "platform/media/CodeRecognizer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/gfx/Image.h"
#include "platform/media/CodePictures.h"

namespace media {
namespace {

using test::Placement;

const std::vector<MetadataObjectType> kAll = {MetadataObjectTypeQRCode, MetadataObjectTypeEAN8Code,
                                              MetadataObjectTypeEAN13Code, MetadataObjectTypeCode128Code};
const gfx::Rect kWhole{{0, 0}, {1, 1}};

const std::string kUrl = "http://127.0.0.1:8080/scan?room=%E5%8C%85%E5%8E%A2&n=7";
const std::string kCode128Text = "Ktv-128";

struct Sample {
  std::string name;
  test::Modules modules;
  RecognizedCode expected;
};

std::vector<Sample> samples() {
  return {
      {"QR", test::qrModules(kUrl), {MetadataObjectTypeQRCode, kUrl}},
      {"EAN-13", test::ean13Modules("400638133393"), {MetadataObjectTypeEAN13Code, "4006381333931"}},
      {"EAN-8", test::ean8Modules("9638507"), {MetadataObjectTypeEAN8Code, "96385074"}},
      {"Code 128", test::code128Modules(kCode128Text), {MetadataObjectTypeCode128Code, kCode128Text}},
  };
}

TEST(CodeRecognizerTest, EachSymbologyIsFoundOnceWithItsTypeAndTextHoweverItIsShown) {
  CodeRecognizer recognizer;
  struct Variant {
    const char* name;
    Placement placement;
  };
  Placement rotated;
  rotated.angle = 90;
  Placement tilted;
  tilted.angle = 7;
  Placement small;
  small.module = 2;
  Placement large;
  large.module = 5;
  large.width = 900;
  large.height = 700;
  Placement noisy;
  noisy.noise = 12;  // zbar's Code 128 reader gives up on unsmoothed noise much above this
  Placement offCentre;
  offCentre.centerX = 0.45;
  offCentre.centerY = 0.7;
  offCentre.angle = 180;
  const Variant variants[] = {{"plain", {}},         {"rotated 90", rotated}, {"tilted", tilted},
                              {"small", small},      {"large", large},        {"noisy", noisy},
                              {"upside down", offCentre}};
  for (const auto& sample : samples()) {
    for (const auto& v : variants) {
      SCOPED_TRACE(sample.name + " " + v.name);
      auto frame = test::picture(sample.modules, v.placement);
      ASSERT_TRUE(frame);
      auto found = recognizer.recognize(*frame, kAll, kWhole);
      ASSERT_EQ(found.size(), 1u);
      EXPECT_EQ(found[0], sample.expected);
    }
  }
  // A QR code turned by an arbitrary angle.
  Placement turned;
  turned.angle = 33;
  auto found = recognizer.recognize(*test::picture(test::qrModules(kUrl), turned), kAll, kWhole);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].text, kUrl);
}

TEST(CodeRecognizerTest, OnlyTheRequestedSymbologiesAreReported) {
  CodeRecognizer recognizer;
  Placement left;
  left.width = 640;
  left.centerX = 0.25;
  Placement right = left;
  right.centerX = 0.72;
  right.module = 2;
  auto frame = test::picture(test::qrModules(kUrl), left, test::ean13Modules("400638133393"), right);

  auto both = recognizer.recognize(*frame, kAll, kWhole);
  EXPECT_EQ(both.size(), 2u);

  auto eanOnly = recognizer.recognize(*frame, {MetadataObjectTypeEAN13Code}, kWhole);
  ASSERT_EQ(eanOnly.size(), 1u);
  EXPECT_EQ(eanOnly[0].type, MetadataObjectTypeEAN13Code);

  // The same scanner, asked again for the other one: its configuration follows each call.
  auto qrOnly = recognizer.recognize(*frame, {MetadataObjectTypeQRCode}, kWhole);
  ASSERT_EQ(qrOnly.size(), 1u);
  EXPECT_EQ(qrOnly[0].type, MetadataObjectTypeQRCode);

  EXPECT_TRUE(recognizer.recognize(*frame, {}, kWhole).empty());
  EXPECT_TRUE(recognizer.recognize(*frame, {"org.iso.Aztec"}, kWhole).empty());
  // EAN-8 asked for, EAN-13 shown: nothing (and no EAN-13 reported in its place).
  EXPECT_TRUE(recognizer.recognize(*test::picture(test::ean13Modules("400638133393")), {MetadataObjectTypeEAN8Code},
                                   kWhole)
                  .empty());
}

TEST(CodeRecognizerTest, RegionOfInterestIsAFractionOfTheFrameClippedToIt) {
  CodeRecognizer recognizer;
  Placement left;
  left.width = 640;
  left.centerX = 0.25;
  left.module = 3;
  auto frame = test::picture(test::qrModules(kUrl), left);

  EXPECT_EQ(recognizer.recognize(*frame, kAll, {{0, 0}, {0.5, 1}}).size(), 1u);
  EXPECT_TRUE(recognizer.recognize(*frame, kAll, {{0.5, 0}, {0.5, 1}}).empty());
  // A rectangle in points (as a portrait screen gives it) covers the whole frame.
  EXPECT_EQ(recognizer.recognize(*frame, kAll, {{0, 0}, {768, 1024}}).size(), 1u);
  // Outside the frame, empty or not a number: nothing is searched.
  EXPECT_TRUE(recognizer.recognize(*frame, kAll, {{2, 2}, {1, 1}}).empty());
  EXPECT_TRUE(recognizer.recognize(*frame, kAll, {{0, 0}, {0, 0}}).empty());
  EXPECT_TRUE(recognizer.recognize(*frame, kAll, {{NAN, 0}, {1, 1}}).empty());
  // A sliver at the right edge still maps to whole pixels.
  EXPECT_TRUE(recognizer.recognize(*frame, kAll, {{0.9999, 0.9999}, {1, 1}}).empty());
}

}  // namespace
}  // namespace media
