#include "tools/vorn_table/suggest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string_view>

#include "tests/fake_env.h"
#include "tools/vorn_table/standard_table.h"

namespace vorn {

// Found by argument-dependent lookup, for the checks and their messages.
bool operator==(const SuggestedLine& a, const SuggestedLine& b) {
  return a.source == b.source && a.replacement == b.replacement;
}

std::ostream& operator<<(std::ostream& out, const SuggestedLine& line) {
  return out << std::hex << line.source << "->" << line.replacement;
}

namespace {

using Values = std::map<std::uint32_t, ValueBytes>;

Values StandardValues() {
  TableCounts counts;
  std::vector<std::uint8_t> table = BuildStandardTable(EucVariant::kEucJp, &counts);
  return ValuesByCode(RecordsOf(
      BufferOf(std::string_view(reinterpret_cast<const char*>(table.data()), table.size()))));
}

TEST(FindSuggestionsTest, StandardTable) {
  Values values = StandardValues();
  Suggestions suggestions = FindSuggestions(values, 0);
  EXPECT_EQ(suggestions.suggested, 66u);
  EXPECT_EQ(suggestions.left, 767u);
  EXPECT_EQ(suggestions.filled, 0u);
  ASSERT_EQ(suggestions.lines.size(), 66u);
  for (std::size_t i = 0; i < suggestions.lines.size(); ++i) {
    const SuggestedLine& line = suggestions.lines[i];
    if (i > 0) {
      EXPECT_LT(suggestions.lines[i - 1].source, line.source);
    }
    EXPECT_TRUE(IsUnmapped(values.at(line.source))) << line;
    EXPECT_FALSE(IsUnmapped(values.at(line.replacement))) << line;
  }
  const SuggestedLine expected[] = {
      {0x8740, 0x8250},  // ① -> １
      {0x8754, 0x8268},  // Ⅰ -> Ｉ
      {0x8785, 0x8FE3},  // ㊤ -> 上
      {0xED80, 0x92CB},  // NEC-selected IBM 塚 -> 塚
      {0xEEEF, 0x8289},  // NEC-selected IBM ⅰ -> ｉ
      {0xFA4A, 0x8268},  // IBM Ⅰ -> Ｉ
      {0xFC49, 0x92DF},  // IBM 鶴 -> 鶴
  };
  for (const SuggestedLine& line : expected) {
    EXPECT_NE(std::find(suggestions.lines.begin(), suggestions.lines.end(), line),
              suggestions.lines.end())
        << line;
  }

  // 〓 fills every other unmapped code outside the user-defined area.
  suggestions = FindSuggestions(values, 0x81AC);
  EXPECT_EQ(suggestions.suggested, 66u);
  EXPECT_EQ(suggestions.filled, 767u);
  EXPECT_EQ(suggestions.left, 0u);
  EXPECT_EQ(suggestions.lines.size(), 833u);
}

TEST(FindSuggestionsTest, Rules) {
  const ValueBytes unmapped = {0, 0};
  Values values = {
      {0x7E, unmapped},        // one-byte: no list line for it
      {0x8268, {0xA3, 0xC9}},  // Ｉ
      {0x8754, {0xAD, 0xB5}},  // NEC's Ⅰ, mapped as in EUC-JP-MS
      {0xFA4A, unmapped},      // IBM's Ⅰ: NEC's code of it beats Ｉ
      {0x81CA, {0xA2, 0xCC}},  // ￢, also at EEF9 and FA54
      {0xEEF9, {0xA2, 0xCC}},  //
      {0xFA54, unmapped},      // the lowest code of ￢
      {0x8741, unmapped},      // ②, whose ２ is unmapped too
      {0x8251, unmapped},      // ２
      {0x8540, unmapped},      // no character of code page 932
      {0xF040, unmapped},      // the user-defined area is the user's
      {0xF9FC, unmapped},      //
      {0x81AC, {0xA2, 0xAE}},  // 〓
  };
  Suggestions suggestions = FindSuggestions(values, 0);
  std::vector<SuggestedLine> expected = {{0xFA4A, 0x8754}, {0xFA54, 0x81CA}};
  EXPECT_EQ(suggestions.lines, expected);
  EXPECT_EQ(suggestions.suggested, 2u);
  EXPECT_EQ(suggestions.left, 3u);  // 8251, 8540, 8741

  suggestions = FindSuggestions(values, 0x81AC);
  expected = {
      {0x8251, 0x81AC}, {0x8540, 0x81AC}, {0x8741, 0x81AC}, {0xFA4A, 0x8754}, {0xFA54, 0x81CA}};
  EXPECT_EQ(suggestions.lines, expected);
  EXPECT_EQ(suggestions.filled, 3u);
  EXPECT_EQ(suggestions.left, 0u);
}

TEST(CanFillTest, OnlyATwoByteCharacterTheTableMaps) {
  Values values = {
      {0x41, {0x41, 0}}, {0x81AC, {0xA2, 0xAE}}, {0x8741, {0, 0}}, {0x410A, {0xA1, 0xA1}}};
  std::string why;
  EXPECT_TRUE(CanFill(values, 0x81AC, &why));
  struct Case {
    std::uint32_t code;
    const char* why;
  };
  const Case cases[] = {
      {0x41, "not a two-byte character (a list line holds two of them)"},
      // Not read back as itself: 41 is no lead byte.
      {0x410A, "not a two-byte character (a list line holds two of them)"},
      {0x8741, "the table leaves it unmapped"},
      {0x889F, "the table has no record for it"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(CanFill(values, c.code, &why)) << std::hex << c.code;
    EXPECT_EQ(why, c.why) << std::hex << c.code;
  }
}

TEST(ListTextTest, CodePage932AndUtf8) {
  const std::vector<SuggestedLine> lines = {{0x8740, 0x8250}, {0xFA54, 0x81CA}};
  EXPECT_EQ(ListText(lines, false), "\x87\x40\x82\x50\r\n\xFA\x54\x81\xCA\r\n");
  // FA54 is ￢, which UTF-8 gives back as 81CA.
  std::vector<SuggestedLine> utf8 = Utf8Lines(lines);
  ASSERT_EQ(utf8.size(), 1u);
  EXPECT_EQ(ListText(utf8, true), "\xEF\xBB\xBF\xE2\x91\xA0\xEF\xBC\x91\r\n");
  // A replacement that would come back as another code is left out too,
  // and so is a code without a character.
  EXPECT_TRUE(Utf8Lines({{0x8740, 0xFA4A}, {0x8540, 0x8250}}).empty());
  EXPECT_EQ(ListText({}, true), "\xEF\xBB\xBF");
}

}  // namespace
}  // namespace vorn
