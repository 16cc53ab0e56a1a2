#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorn {
namespace {

TEST(SplitCommandLineTest, SplitsByTheCommandLineRules) {
  using Args = std::vector<std::string>;
  const struct {
    std::string line;
    Args arguments;
  } cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"vorn", {"vorn"}},
      // Any byte 0x01-0x20 separates, and a run of them counts once.
      {"vorn  -s\x87\x40\t\t-e\x82\x50 \r\n out.bin ",
       {"vorn", "-s\x87\x40", "-e\x82\x50", "out.bin"}},
      {"a\x01"
       "b\x1F"
       "c",
       {"a", "b", "c"}},
      {std::string("a\0b", 3), {std::string("a\0b", 3)}},  // 0x00 is an ordinary byte
      {"a\x21"
       "b",
       {"a!b"}},
      // Quotes switch quoting and are dropped, also inside an argument.
      {"vorn \"my table.bin\"", {"vorn", "my table.bin"}},
      {"vorn my\" \"table.bin", {"vorn", "my table.bin"}},
      {"\"a\"\"b\"", {"ab"}},  // a pair inside quotes keeps quoting on
      {"\"unclosed quote ", {"unclosed quote "}},
      // "" alone is an empty argument; a pair does not switch quoting.
      {"vorn \"\"", {"vorn", ""}},
      {"vorn \"\" \"\"", {"vorn", "", ""}},
      {"vorn a\"\"b c", {"vorn", "ab", "c"}},
      {"\"\"\"a b\" c", {"a b", "c"}},  // a pair, then a quote that switches
      {"\"\"\"\"", {""}},
      // Backslashes are ordinary bytes, also before a quote.
      {"C:\\vorn\\vorn.exe x", {"C:\\vorn\\vorn.exe", "x"}},
      {"\"C:\\a b\\\" c", {"C:\\a b\\", "c"}},
      {"a\\\"b c\" d", {"a\\b c", "d"}},
      // A trail byte is never a separator or a quote, whatever its value.
      {"\x95\x5C\\x \x81\x20x", {"\x95\x5C\\x", "\x81\x20x"}},
      {"\x81\x22 b", {"\x81\x22", "b"}},
      {"\"\x81\x22 b\"", {"\x81\x22 b"}},
      {"\xE0\x09x\xFC\x22", {"\xE0\x09x\xFC\x22"}},
      // One-byte characters around the lead ranges are not lead bytes.
      {"\x80\" \"\xDF\" \"\xFD", {"\x80 \xDF \xFD"}},
      // A lead byte at the very end is kept alone.
      {"x \x87", {"x", "\x87"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.arguments) << testing::PrintToString(c.line);
  }
}

}  // namespace
}  // namespace vorn
