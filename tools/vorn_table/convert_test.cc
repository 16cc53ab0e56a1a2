#include "tools/vorn_table/convert.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

using Values = std::map<std::uint32_t, ValueBytes>;

const Values kValues = {
    {0x09, {0x20, 0x00}},    // a control byte with a record of its own
    {0x0B, {0x00, 0x00}},    // and one the table leaves unmapped
    {0x41, {0x41, 0x00}},    // A
    {0x42, {0x00, 0x42}},    // a first value byte of 00 keeps the second
    {0xB1, {0x8E, 0xB1}},    // ｱ
    {0x8740, {0xA3, 0xB1}},  // ①, customised to １
    {0x8741, {0x00, 0x00}},  // ②
};

TEST(ConvertTextTest, CharactersByVornsByteClasses) {
  struct Case {
    std::string_view in;
    std::string_view out;
  };
  const Case cases[] = {
      {"A\xB1\x87\x40", "A\x8E\xB1\xA3\xB1"},
      {std::string_view("B", 1), std::string_view("\0B", 2)},
      // Line ends and other control bytes without a record pass through.
      {"A\r\nA\n\x1A", "A\r\nA\n\x1A"},
      {"\x09", " "},
      // Unmapped, missing, and a lead byte at the end.
      {"\x0B\x87\x41\x88\x9F\x87", "????"},
      // A lead byte takes the next byte whatever it is, a line end too.
      {"\x87\nA", "?A"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConvertText(c.in, kValues).text, c.out);
  }
}

TEST(ConvertTextTest, CountsTheUnmapped) {
  Conversion conversion = ConvertText("\x87\x41\x87\x41\x88\x9F\x87\x41\x87", kValues);
  EXPECT_EQ(conversion.unmapped_count, 5u);
  std::map<std::uint32_t, std::size_t> expected = {{0x8741, 3}, {0x889F, 1}, {0x10087, 1}};
  EXPECT_EQ(conversion.unmapped, expected);
  EXPECT_EQ(ConvertText("A\r\n", kValues).unmapped_count, 0u);
}

TEST(UnmappedReportTest, MostFrequentFirst) {
#ifdef _WIN32
  CharacterDisplay display(TerminalCharsetNamed("65001"));
#else
  CharacterDisplay display(TerminalCharsetNamed("UTF-8"));
#endif
  Conversion conversion = ConvertText("\x88\x9F\x87\x41\x88\x9F\x87\x42\x87\x41\x87\x41", kValues);
  EXPECT_EQ(UnmappedReport(conversion, display),
            "vorn-table: 6 characters unmapped, written as \"?\":\n"
            "  8741 \xE2\x91\xA1: 3\n"
            "  889F \xE4\xBA\x9C: 2\n"
            "  8742 \xE2\x91\xA2: 1\n");
  EXPECT_EQ(UnmappedReport(ConvertText("\x87", kValues), display),
            "vorn-table: 1 character unmapped, written as \"?\":\n"
            "  10087 ?: 1\n");
}

}  // namespace
}  // namespace vorn
