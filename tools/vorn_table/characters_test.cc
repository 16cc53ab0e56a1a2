#include "tools/vorn_table/characters.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(CharactersTest, TablesAreSortedForTheirLookups) {
  for (std::size_t i = 1; i < kCodePage932Size; ++i) {
    ASSERT_LT(kCodePage932[i - 1].code, kCodePage932[i].code) << i;
  }
  for (std::size_t i = 1; i < kEncodingsSize; ++i) {
    ASSERT_LT(kEncodings[i - 1].unicode, kEncodings[i].unicode) << i;
  }
  for (std::size_t i = 1; i < kEucCharactersSize; ++i) {
    ASSERT_LT(kEucCharacters[i - 1].value, kEucCharacters[i].value) << i;
  }
}

TEST(CharactersTest, CodePageCharacters) {
  struct Case {
    std::uint32_t code;
    std::uint16_t unicode, euc_jp, euc_jp_ms, nfkc;
  };
  const Case cases[] = {
      {0x41, 0x41, 0x4100, 0x4100, 0xFF21},    // A: ASCII, NFKC's full-width form
      {0xB1, 0xFF71, 0x8EB1, 0x8EB1, 0x30A2},  // ｱ: half-width katakana
      {0x8740, 0x2460, 0, 0xADA1, 0xFF11},     // ①: NEC row 13, ① -> １
      {0x8160, 0xFF5E, 0xA1C1, 0xA1C1, 0},     // ～: JIS's wave dash; NFKC ~ is ～ again
      {0xFA54, 0xFFE2, 0xA2CC, 0xA2CC, 0xAC},  // ￢ as IBM's code
      {0xED80, 0xFA10, 0, 0, 0x585A},          // NEC-selected IBM 塚 -> 塚
      {0xF040, 0xE000, 0, 0xF5A1, 0},          // the user-defined area
  };
  for (const Case& c : cases) {
    const CodePageCharacter* found = FindCodePageCharacter(c.code);
    ASSERT_NE(found, nullptr) << std::hex << c.code;
    EXPECT_EQ(found->unicode, c.unicode) << std::hex << c.code;
    EXPECT_EQ(found->euc_jp, c.euc_jp) << std::hex << c.code;
    EXPECT_EQ(found->euc_jp_ms, c.euc_jp_ms) << std::hex << c.code;
    EXPECT_EQ(found->nfkc, c.nfkc) << std::hex << c.code;
  }
  for (std::uint32_t undefined : {0x80u, 0xA0u, 0xFDu, 0x8140u - 1, 0x8740u + 0x3F, 0xFC4Cu}) {
    EXPECT_EQ(FindCodePageCharacter(undefined), nullptr) << std::hex << undefined;
  }
}

TEST(CharactersTest, EncodingPicksOneCodeOfDuplicates) {
  struct Case {
    std::uint32_t unicode, code;
  };
  const Case cases[] = {
      {0x2460, 0x8740},  // ①
      {0xFFE2, 0x81CA},  // ￢: 81CA, not EEF9 or FA54
      {0x2170, 0xFA40},  // ⅰ: IBM's code, not NEC-selected IBM's EEEF
      {0x2252, 0x81E0},  // ≒: JIS's code, not NEC's 8790
      {0x00A5, 0x5C},    // ¥ is written as the byte 5C
  };
  for (const Case& c : cases) {
    std::uint32_t code = 0;
    ASSERT_TRUE(EncodeCodePage932(c.unicode, &code)) << std::hex << c.unicode;
    EXPECT_EQ(code, c.code) << std::hex << c.unicode;
  }
  std::uint32_t code = 0;
  EXPECT_FALSE(EncodeCodePage932(0x00E9, &code));  // é
}

TEST(CharactersTest, DecodesTwoByteEuc) {
  struct Case {
    std::uint32_t value, unicode;
  };
  const Case cases[] = {
      {0xA3B1, 0xFF11},  // １
      {0xA1C1, 0x301C},  // EUC-JP's own wave dash
      {0x8EB1, 0xFF71},  // ｱ
      {0xADA1, 0x2460},  // ① in Microsoft's EUC-JP only
  };
  for (const Case& c : cases) {
    std::uint32_t unicode = 0;
    ASSERT_TRUE(DecodeEuc(c.value, &unicode)) << std::hex << c.value;
    EXPECT_EQ(unicode, c.unicode) << std::hex << c.value;
  }
  std::uint32_t unicode = 0;
  EXPECT_FALSE(DecodeEuc(0xA2AF, &unicode));  // a gap in row 2
  EXPECT_FALSE(DecodeEuc(0x8EE0, &unicode));
}

TEST(CharactersTest, Utf8OfEveryLength) {
  for (std::uint32_t scalar : {0x41u, 0xACu, 0x2460u, 0xFFFDu, 0x1F600u, 0x10FFFFu}) {
    std::uint32_t decoded = 0;
    std::string utf8 = Utf8Of(scalar);
    EXPECT_EQ(DecodeUtf8(utf8 + "A", &decoded), utf8.size()) << scalar;
    EXPECT_EQ(decoded, scalar);
  }
  EXPECT_EQ(Utf8Of(0x41), "A");
  EXPECT_EQ(Utf8Of(0xAC), "\xC2\xAC");
  EXPECT_EQ(Utf8Of(0x2460), "\xE2\x91\xA0");
  EXPECT_EQ(Utf8Of(0x1F600), "\xF0\x9F\x98\x80");
}

TEST(CharactersTest, DecodeUtf8RefusesWhatIsNotUtf8) {
  const char* const cases[] = {
      "",                  // nothing
      "\x87\x40",          // code page 932's ①
      "\xE2\x91",          // cut short
      "\xC0\xAF",          // overlong
      "\xE0\x80\xAF",      // overlong
      "\xED\xA0\x80",      // a surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF8\x88\x80\x80",  // no such lead byte
  };
  for (const char* text : cases) {
    std::uint32_t scalar = 7;
    EXPECT_EQ(DecodeUtf8(text, &scalar), 0u) << text;
    EXPECT_EQ(scalar, 7u);
  }
}

}  // namespace
}  // namespace vorn
