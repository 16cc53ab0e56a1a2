#include "tools/vorn_table/display.h"

#include <gtest/gtest.h>

#include <functional>

namespace vorn {
namespace {

// Three terminals' charsets as the system names them: UTF-8, code page
// 932, and EUC-JP, which is neither.
#ifdef _WIN32
constexpr char kUtf8[] = "65001";
constexpr char kCP932[] = "932";
constexpr char kEucJp[] = "20932";
#else
constexpr char kUtf8[] = "UTF-8";
constexpr char kCP932[] = "SHIFT_JIS";
constexpr char kEucJp[] = "EUC-JP";
#endif

struct Shown {
  const char* utf8;
  const char* cp932;
  const char* euc_jp;  // a terminal in neither charset
};

void ExpectShown(const char* what, const Shown& expected,
                 const std::function<std::string(CharacterDisplay&)>& show) {
  CharacterDisplay utf8(TerminalCharsetNamed(kUtf8));
  CharacterDisplay cp932(TerminalCharsetNamed(kCP932));
  CharacterDisplay euc_jp(TerminalCharsetNamed(kEucJp));
  EXPECT_EQ(show(utf8), expected.utf8) << what;
  EXPECT_EQ(show(cp932), expected.cp932) << what;
  EXPECT_EQ(show(euc_jp), expected.euc_jp) << what;
}

TEST(CharacterDisplayTest, OfCode) {
  struct Case {
    std::uint32_t code;
    Shown shown;
  };
  const Case cases[] = {
      {0x8740, {"\xE2\x91\xA0", "\x87\x40", "?"}},  // ①: EUC-JP has none
      {0x8250, {"\xEF\xBC\x91", "\x82\x50", "\xA3\xB1"}},
      {0x41, {"A", "A", "A"}},
      {0xB1, {"\xEF\xBD\xB1", "\xB1", "\x8E\xB1"}},
      // IBM's Ⅰ keeps its own code, not NEC's 8754 of the same character.
      {0xFA4A, {"\xE2\x85\xA0", "\xFA\x4A", "?"}},
      // A control character, a code with no character, a lone lead byte.
      {0x0A, {"?", "?", "?"}},
      {0x8540, {"?", "?", "?"}},
      {0x10087, {"?", "?", "?"}},
  };
  for (const Case& c : cases) {
    ExpectShown(CodeText(c.code).c_str(), c.shown,
                [&](CharacterDisplay& display) { return display.OfCode(c.code); });
  }
}

TEST(CharacterDisplayTest, OfValue) {
  struct Case {
    ValueBytes value;
    Shown shown;
  };
  const Case cases[] = {
      {{0xA3, 0xB1}, {"\xEF\xBC\x91", "\x82\x50", "\xA3\xB1"}},  // １
      {{0x41, 0x00}, {"A", "A", "A"}},
      {{0x8E, 0xB1}, {"\xEF\xBD\xB1", "\xB1", "\x8E\xB1"}},  // ｱ
      // EUC-JP's wave dash is code page 932's 8160.
      {{0xA1, 0xC1}, {"\xE3\x80\x9C", "\x81\x60", "\xA1\xC1"}},
      // ① exists in Microsoft's EUC-JP only.
      {{0xAD, 0xA1}, {"\xE2\x91\xA0", "\x87\x40", "?"}},
      // A gap in row 2, a lone single-shift byte, a C1 control, a line end.
      {{0xA2, 0xAF}, {"?", "?", "?"}},
      {{0x8E, 0x00}, {"?", "?", "?"}},
      {{0x85, 0x00}, {"?", "?", "?"}},
      {{0x0A, 0x00}, {"?", "?", "?"}},
  };
  for (const Case& c : cases) {
    ExpectShown(ValueText(c.value).c_str(), c.shown,
                [&](CharacterDisplay& display) { return display.OfValue(c.value); });
  }
}

TEST(CharacterDisplayTest, OfText) {
  const char* const text = "(\xE2\x91\xA0 takes \xEF\xBC\x91's)\r\n";
  ExpectShown("text", {text, "(\x87\x40 takes \x82\x50's)\r\n", "(? takes \xA3\xB1's)\r\n"},
              [&](CharacterDisplay& display) { return display.OfText(text); });
  // Bytes that are not UTF-8 are passed on.
  ExpectShown("not UTF-8", {"\x87\x40!", "\x87\x40!", "\x87\x40!"},
              [&](CharacterDisplay& display) { return display.OfText("\x87\x40!"); });
}

#ifdef _WIN32
TEST(CharacterDisplayTest, CodePageWithLookAlikes) {
  // Code page 437 has the degree sign, and a look-alike for the
  // full-width digit (1), which would show another character.
  CharacterDisplay cp437(TerminalCharsetNamed("437"));
  EXPECT_EQ(cp437.OfCode(0x818B), "\xF8");
  EXPECT_EQ(cp437.OfValue({0xA1, 0xEB}), "\xF8");
  EXPECT_EQ(cp437.OfCode(0x8250), "?");
  EXPECT_EQ(cp437.OfValue({0xA3, 0xB1}), "?");
}
#endif

}  // namespace
}  // namespace vorn
