#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/foundation/KeyedArchive.h"

namespace lumo::test {
namespace {

using platform::foundation::KeyedArchive;

TEST(KeyedArchiveTest, ValuesSurviveATripThroughText) {
  KeyedArchive archive;
  archive.encodeBool("isOn", true);
  archive.encodeInteger("tag", -1003);
  archive.encodeDouble("alpha", 0.25);
  archive.encodeString("textOn", "开");
  archive.encodeColor("track", {0.0, 82 / 255.0, 217 / 255.0, 1.0});
  KeyedArchive inner;
  inner.encodeDouble("width", 58);
  archive.encodeArchive("frame", inner);

  auto copy = KeyedArchive::fromText(archive.text());
  EXPECT_EQ(copy.boolValue("isOn"), true);
  EXPECT_EQ(copy.integerValue("tag"), -1003);
  EXPECT_EQ(copy.doubleValue("alpha"), 0.25);
  EXPECT_EQ(copy.stringValue("textOn"), "开");
  ASSERT_TRUE(copy.colorValue("track"));
  EXPECT_DOUBLE_EQ(copy.colorValue("track")->blue, 217 / 255.0);
  EXPECT_EQ(copy.archiveValue("frame")->decodeDouble("width"), 58);
  // An integer reads as a number too; a later write replaces the earlier one.
  EXPECT_EQ(copy.doubleValue("tag"), -1003.0);
  copy.encodeString("textOn", "ON");
  EXPECT_EQ(copy.decodeString("textOn"), "ON");
}

TEST(KeyedArchiveTest, MissingOrMistypedKeysReadAsDefaults) {
  auto archive = KeyedArchive::fromText(
      R"({"isOn": "yes", "tag": 1.5, "alpha": "0.3", "textOn": 7, "track": {"red": 1, "green": "x", "blue": 0,
          "alpha": 1}, "frame": [1, 2], "big": 18446744073709551615, "bright": {"red": 3, "green": -1, "blue": 0.5,
          "alpha": 1}})");
  EXPECT_FALSE(archive.boolValue("isOn"));
  EXPECT_TRUE(archive.decodeBool("isOn", true));
  EXPECT_FALSE(archive.integerValue("tag"));
  EXPECT_FALSE(archive.integerValue("big"));
  EXPECT_EQ(archive.decodeDouble("alpha", 1.0), 1.0);
  EXPECT_EQ(archive.decodeString("textOn", "开"), "开");
  EXPECT_FALSE(archive.colorValue("track"));
  EXPECT_FALSE(archive.archiveValue("frame"));
  EXPECT_FALSE(archive.stringValue("absent"));
  auto bright = archive.colorValue("bright");
  ASSERT_TRUE(bright);
  EXPECT_EQ(*bright, (KeyedArchive::ColorComponents{1, 0, 0.5, 1}));
}

TEST(KeyedArchiveTest, DamagedTextAndBadNumbersGiveAnEmptyOrPartialArchive) {
  for (const char* text : {"", "{", "[1, 2]", "\"text\"", "null", "{\"a\": tru}", "\xff\xfe"}) {
    auto archive = KeyedArchive::fromText(text);
    EXPECT_TRUE(archive.isEmpty()) << text;
    EXPECT_FALSE(archive.decodeBool("a"));
  }
  KeyedArchive archive;
  archive.encodeDouble("nan", std::nan(""));
  archive.encodeDouble("inf", std::numeric_limits<double>::infinity());
  archive.encodeString("bytes", "\xff\xfe");
  EXPECT_FALSE(archive.containsValue("nan"));
  EXPECT_FALSE(archive.containsValue("inf"));
  // Text that is not UTF-8 still writes out instead of throwing.
  EXPECT_FALSE(KeyedArchive::fromText(archive.text()).isEmpty());
}

}  // namespace
}  // namespace lumo::test
