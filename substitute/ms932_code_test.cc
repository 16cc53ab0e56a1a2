#include "substitute/ms932_code.h"

#include <gtest/gtest.h>

#include <string>

namespace vorn {
namespace {

TEST(MS932CodeTest, CodesOfFirstCharacter) {
  const struct {
    std::string text;
    std::uint32_t code;
  } cases[] = {
      {"A", 0x41},
      {"\xC5N", 0xC5},               // half-width katakana is one byte
      {"\x87\x40\x82\x50", 0x8740},  // only the first character counts
      {"\x81\x40", 0x8140},
      {"\xA0\x41", 0xA041},  // 0xA0 leads a two-byte character
      {"\x80\x41", 0x80},    // 0x80 is a character by itself
      {"\xFC\xFF", 0xFCFF},  // any trail byte is taken
      {"\xFD", 0xFD},
      {std::string("\x00", 1), 0x00},
      {"", kIncompleteCode},
      {"\x87", kIncompleteCode + 0x87},  // ends after a lead byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MS932Code(c.text), c.code) << testing::PrintToString(c.text);
  }
}

}  // namespace
}  // namespace vorn
