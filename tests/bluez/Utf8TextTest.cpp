#include <gtest/gtest.h>

#include "sim/bluez/Utf8Text.h"

namespace sim::bluez {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(Utf8TextTest, KeepsWellFormedTextAndReplacesEachIllFormedPartOnce) {
  // Well-formed text of every length passes unchanged, including U+10FFFF and NUL.
  std::string good = std::string("A\0", 2) + "\xC3\xA9" + "\xE4\xB8\xAD" + "\xF0\x9F\x9A\x97" + "\xF4\x8F\xBF\xBF";
  EXPECT_EQ(Utf8Text::repaired(good), good);
  EXPECT_EQ(Utf8Text::repaired(""), "");

  // Stray continuation bytes, bytes that never occur, overlong forms, surrogates and values
  // above U+10FFFF each become U+FFFD, without swallowing the next character.
  EXPECT_EQ(Utf8Text::repaired("\x80" "A"), kFffd + "A");
  EXPECT_EQ(Utf8Text::repaired("\xFF\xFE"), kFffd + kFffd);
  EXPECT_EQ(Utf8Text::repaired("\xC0\xAF"), kFffd + kFffd);
  EXPECT_EQ(Utf8Text::repaired("\xE0\x80\xAF"), kFffd + kFffd + kFffd);
  EXPECT_EQ(Utf8Text::repaired("\xED\xA0\x80"), kFffd + kFffd + kFffd);
  EXPECT_EQ(Utf8Text::repaired("\xF4\x90\x80\x80"), kFffd + kFffd + kFffd + kFffd);

  // A sequence cut short counts once, whether the text ends or another character follows.
  EXPECT_EQ(Utf8Text::repaired("\xE4\xB8"), kFffd);
  EXPECT_EQ(Utf8Text::repaired("\xF0\x9F\x9A" "B"), kFffd + "B");
  EXPECT_EQ(Utf8Text::repaired("\xE4\xB8\xC3\xA9"), kFffd + "\xC3\xA9");
}

}  // namespace
}  // namespace sim::bluez
