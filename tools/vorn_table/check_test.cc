#include "tools/vorn_table/check.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fake_env.h"

namespace vorn {
namespace {

// A table of a few records: ① unmapped, １ and ２ mapped, ＿ unmapped,
// 'N' mapped, and two records keyed ②, so that ② can be replaced twice.
std::vector<Record> SmallTable() {
  return {
      {0x4E, {0x4E, 0x00}},   {0x8740, {0x00, 0x00}}, {0x8741, {0x00, 0x00}},
      {0x8741, {0x00, 0x00}}, {0x8250, {0xA3, 0xB1}}, {0x8251, {0xA3, 0xB2}},
      {0x8151, {0x00, 0x00}},
  };
}

ListCheck Checked(const std::string& list) {
  FakeEnv env;
  BytesFile file(list);
  ListCheck check;
  IoError error;
  EXPECT_TRUE(CheckList(env, &file, SmallTable(), &check, &error)) << error.message;
  return check;
}

TEST(CheckListTest, WarningsOfEachLine) {
  struct Case {
    const char* what;
    std::string list;
    std::uint32_t source, replacement;
    bool not_four_bytes, no_record, unmapped_replacement;
  };
  const Case cases[] = {
      {"a line that does what it says", "\x87\x40\x82\x50", 0x8740, 0x8250, false, false, false},
      // ①1 is 3 bytes: the lone lead byte 87 and the byte 40.
      {"three bytes", "\x87\x40\x31", 0x10087, 0x40, true, true, false},
      // ① １ is 5 bytes: the same.
      {"five bytes", "\x87\x40 \x82\x50", 0x10087, 0x40, true, true, false},
      {"one-byte characters", "N\xB1", 0x4E, 0xB1, false, false, true},
      {"an empty line", "\r\n", 0x10000, 0x10000, false, true, false},
      {"a source with no record", "\x82\x52\x82\x50", 0x8252, 0x8250, false, true, false},
      {"an unmapped replacement", "\x87\x40\x81\x51", 0x8740, 0x8151, false, false, true},
  };
  for (const Case& c : cases) {
    ListCheck check = Checked(c.list);
    ASSERT_EQ(check.lines.size(), 1u) << c.what;
    const CheckedLine& line = check.lines[0];
    EXPECT_EQ(line.source, c.source) << c.what;
    EXPECT_EQ(line.replacement, c.replacement) << c.what;
    EXPECT_EQ(line.not_four_bytes, c.not_four_bytes) << c.what;
    EXPECT_EQ(line.no_record, c.no_record) << c.what;
    EXPECT_EQ(line.unmapped_replacement, c.unmapped_replacement) << c.what;
    EXPECT_EQ(line.taken_by, 0u) << c.what;
    EXPECT_FALSE(check.looks_like_utf8 || check.ended_by_ctrl_z || check.lines_after_limit)
        << c.what;
  }
}

TEST(CheckListTest, ASourceTakesAsManyLinesAsItHasRecords) {
  // ① has one record, ② two: the second ① line and the third ② line are
  // never applied.
  ListCheck check = Checked(
      "\x87\x40\x82\x50\r\n\x87\x41\x82\x50\r\n\x87\x40\x82\x51\r\n"
      "\x87\x41\x82\x51\r\n\x87\x41\x82\x50\r\n");
  ASSERT_EQ(check.lines.size(), 5u);
  const std::size_t taken_by[] = {0, 0, 1, 0, 4};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(check.lines[i].taken_by, taken_by[i]) << i;
  EXPECT_EQ(check.warned_lines(), 2u);
}

TEST(CheckListTest, WarningsOfTheList) {
  // UTF-8 without the byte-order mark: ①１ is E2 91 A0 EF BC 91.
  EXPECT_TRUE(Checked("\xE2\x91\xA0\xEF\xBC\x91\r\nN1\r\n").looks_like_utf8);
  // Code page 932 that also has a line that is not UTF-8 is code page 932.
  EXPECT_FALSE(Checked("\xE2\x91\xA0\xEF\xBC\x91\r\n\x87\x40\x82\x50\r\n").looks_like_utf8);
  // With the mark the list is UTF-8, and read as vorn reads it.
  ListCheck utf8 = Checked("\xEF\xBB\xBF\xE2\x91\xA0\xEF\xBC\x91\r\n\xFF\xFE\r\n");
  EXPECT_FALSE(utf8.looks_like_utf8);
  ASSERT_EQ(utf8.lines.size(), 2u);
  EXPECT_EQ(utf8.lines[0].source, 0x8740u);
  EXPECT_FALSE(utf8.lines[0].not_converted);
  EXPECT_TRUE(utf8.lines[1].not_converted);

  ListCheck ctrl_z = Checked("\x87\x40\x82\x50\r\n\x87\x41\x1A\x82\x51\r\n");
  EXPECT_TRUE(ctrl_z.ended_by_ctrl_z);
  ASSERT_EQ(ctrl_z.lines.size(), 2u);
  EXPECT_EQ(ctrl_z.lines[1].line.length, 2u);

  std::string long_list;
  for (int i = 0; i < 906; ++i) long_list += "NN\r\n";
  EXPECT_FALSE(Checked(long_list).lines_after_limit);
  ListCheck too_long = Checked(long_list + "NN");
  EXPECT_EQ(too_long.lines.size(), 906u);
  EXPECT_TRUE(too_long.lines_after_limit);
  EXPECT_TRUE(too_long.warned());
}

// A terminal that shows UTF-8, on every system.
class Utf8Terminal : public TerminalCharset {
 public:
  TerminalKind kind() const override { return TerminalKind::kUtf8; }
  bool FromUtf8(std::string_view, std::string*) override { return false; }
};

TEST(CheckReportTest, LinesThenWarnings) {
  ListCheck check = Checked("\x87\x40\x82\x50\r\n\x87\x40\x31\r\n\x87\x40\x82\x51\x1A");
  CharacterDisplay display(std::make_unique<Utf8Terminal>());
  EXPECT_EQ(CheckReport(check, display),
            "1: 8740 \xE2\x91\xA0 -> 8250 \xEF\xBC\x91\n"
            "2: 10087 (lone byte 87) -> 0040 @\n"
            "  warning: 3 bytes, not 4: vorn reads two one-byte characters\n"
            "  warning: the table has no record of the source: nothing changes\n"
            "3: 8740 \xE2\x91\xA0 -> 8251 \xEF\xBC\x92\n"
            "  warning: never applied: line 1 already takes the source's record\n"
            "warning: a Ctrl-Z ends the list after line 3: vorn reads nothing after it\n"
            "3 lines, 2 with warnings\n");
}

}  // namespace
}  // namespace vorn
