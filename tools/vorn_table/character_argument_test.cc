#include "tools/vorn_table/character_argument.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

// Stands in for the locale: "<1>" is how this test's user types (1).
std::string FakeLocaleToCP932(std::string_view text) {
  if (text == "<1>") return "\x87\x40";
  return std::string(text);
}

TEST(ParseCharacterTest, ReadsEveryForm) {
  struct Case {
    const char* text;
    std::uint32_t code;
  };
  const Case cases[] = {
      {"8740", 0x8740},     {"0x8740", 0x8740}, {"0X8740", 0x8740}, {"fc4b", 0xFC4B},
      {"41", 0x41},         {"0x41", 0x41},     {"0x7", 0x7},       {"U+2460", 0x8740},
      {"u+ff11", 0x8250},   {"U+41", 0x41},     {"U+FF85", 0xC5},   {"<1>", 0x8740},
      {"\x82\x50", 0x8250}, {"A", 0x41},        {"7", 0x37},        {"\xC5", 0xC5},
  };
  for (const Case& c : cases) {
    std::uint32_t code = 0;
    std::string why;
    EXPECT_TRUE(ParseCharacter(c.text, FakeLocaleToCP932, &code, &why)) << c.text << ": " << why;
    EXPECT_EQ(code, c.code) << c.text;
  }
}

TEST(ParseCharacterTest, RefusesWhatIsNoOneCharacter) {
  const char* const cases[] = {
      "",           // nothing
      "0x",         // no digits
      "0x12345",    // more than a code's four digits
      "0x87G0",     // not hex
      "12345",      // five digits are no code, and no single character
      "AB CD",      // two characters
      "\x87",       // a lead byte without its trail byte
      "\x82\x50N",  // a character and more
      "U+",         // no digits
      "U+D800",     // a surrogate is no character
      "U+110000",   // beyond Unicode
      "U+1F600",    // a character code page 932 does not have
      "<1>x",       // converts to more than one character
  };
  for (const char* text : cases) {
    std::uint32_t code = 0;
    std::string why;
    EXPECT_FALSE(ParseCharacter(text, FakeLocaleToCP932, &code, &why)) << text;
    EXPECT_FALSE(why.empty()) << text;
  }
}

}  // namespace
}  // namespace vorn
