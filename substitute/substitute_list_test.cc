#include "substitute/substitute_list.h"

#include <gtest/gtest.h>

#include "tests/fake_env.h"
#include "tests/test_table.h"

namespace vorn {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs PairsOf(const Substitutes& substitutes) {
  Pairs pairs;
  for (const NormalSubstitute& entry : substitutes) {
    EXPECT_EQ(entry.Pending, 1);
    pairs.emplace_back(entry.Source, entry.Replacement);
  }
  return pairs;
}

TEST(ReadSubstitutesTest, LineRules) {
  const struct {
    const char* name;
    std::string list;
    Pairs expected;
  } cases[] = {
      {"empty file", "", {}},
      {"LF", "AB\nCD\n", {{"A", "B"}, {"C", "D"}}},
      {"CR", "AB\rCD\r", {{"A", "B"}, {"C", "D"}}},
      {"CR LF", "AB\r\nCD\r\n", {{"A", "B"}, {"C", "D"}}},
      {"LF CR is two terminators", "AB\n\rCD", {{"A", "B"}, {"", ""}, {"C", "D"}}},
      {"no final terminator", "AB\nCD", {{"A", "B"}, {"C", "D"}}},
      {"empty lines count", "\n\r\n", {{"", ""}, {"", ""}}},
      {"Ctrl-Z in a line",
       "AB\nCD\x1A"
       "EF\nGH\n",
       {{"A", "B"}, {"C", "D"}}},
      {"Ctrl-Z at the end", "AB\n\x1A", {{"A", "B"}}},
      {"four bytes are two two-byte characters", "\x87\x40\x82\x50\n", {{"\x87\x40", "\x82\x50"}}},
      {"three bytes are one-byte characters",
       "\x87"
       "N\n",
       {{"\x87", "N"}}},
      {"five bytes are one-byte characters", "\x87\x40 \x82\x50\n", {{"\x87", "\x40"}}},
      {"one byte", "A\n", {{"A", ""}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PairsOf(ReadSubstitutes(c.list)), c.expected) << c.name;
  }
}

TEST(ReadSubstitutesTest, ByteOrderMarkMakesTheListUtf8) {
  const std::string bom = "\xEF\xBB\xBF";
  const struct {
    const char* name;
    std::string list;
    Pairs expected;
  } cases[] = {
      {"two-byte and one-byte lines",
       bom + "\xE2\x91\xA0\xEF\xBC\x91\r\n\xEF\xBE\x85N\n",
       {{"\x87\x40", "\x82\x50"}, {"\xC5", "N"}}},
      {"only the mark", bom, {}},
      {"the rules apply to the converted line: (1)N is three bytes",
       bom + "\xE2\x91\xA0N\n",
       {{"\x87", "\x40"}}},
      {"a line that does not convert keeps its bytes",
       bom + "\x87\x40\x82\x50\nAB\n",
       {{"\x87\x40", "\x82\x50"}, {"A", "B"}}},
      {"a character code page 932 lacks keeps the line's bytes",
       bom + "\xF0\x9F\x98\x80\n",
       {{"\xF0\x9F", "\x98\x80"}}},
      {"Ctrl-Z still ends the list",
       bom + "AB\x1A"
             "CD\n",
       {{"A", "B"}}},
      // Without the mark UTF-8 is taken as code page 932 bytes: six bytes,
      // two one-byte characters.
      {"no mark", "\xE2\x91\xA0\xEF\xBC\x91\n", {{"\xE2", "\x91"}}},
      {"a mark later on is no mark", "AB\n" + bom + "\n", {{"A", "B"}, {"\xEF", "\xBB"}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PairsOf(ReadSubstitutes(c.list)), c.expected) << c.name;
  }
}

TEST(ReadSubstitutesTest, ReadsAtMostMaxSubstitutesLines) {
  std::string list;
  for (int i = 0; i < 1000; ++i) list += (i < 906 ? "AB\n" : "CD\n");
  Substitutes substitutes = ReadSubstitutes(list);
  ASSERT_EQ(substitutes.size(), MaxSubstitutes);
  EXPECT_EQ(substitutes.back().Source, "A");
}

class SubstituteListRecordsTest : public testing::Test {
 protected:
  // Applies the list to `table` and returns the records after the
  // one-byte-keyed part, and which entries stayed pending.
  std::string Apply(const std::string& two_byte_records, const std::string& list) {
    std::string table = SingleByteRecordsPart() + two_byte_records;
    auto store = std::make_unique<SparseEUC>();
    ByteBuffer buffer = BufferOf(table);
    store->Load(buffer);
    substitutes_ = ReadSubstitutes(list);
    SubstituteRecords(buffer, substitutes_, *store);
    return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size())
        .substr(SingleByteRecords * kRecordSize);
  }

  std::vector<int> Pending() const {
    std::vector<int> pending;
    for (const NormalSubstitute& entry : substitutes_) pending.push_back(entry.Pending);
    return pending;
  }

  Substitutes substitutes_;
};

TEST_F(SubstituteListRecordsTest, FirstPendingEntryWins) {
  const std::string records =
      Record(0x82, 0x50, 0xA3, 0xB1) + Record(0x82, 0x51, 0xA3, 0xB2) + Record(0x87, 0x40, 0, 0);
  EXPECT_EQ(Apply(records, "\x87\x40\x82\x50\n\x87\x40\x82\x51\n"),
            Record(0x82, 0x50, 0xA3, 0xB1) + Record(0x82, 0x51, 0xA3, 0xB2) +
                Record(0x87, 0x40, 0xA3, 0xB1));
  EXPECT_EQ(Pending(), (std::vector<int>{0, 1}));
}

TEST_F(SubstituteListRecordsTest, RepeatedSourcesTakeRepeatedKeysInOrder) {
  const std::string records = Record(0x82, 0x50, 0xA3, 0xB1) + Record(0x82, 0x51, 0xA3, 0xB2) +
                              Record(0x87, 0x40, 0, 0) + Record(0x88, 0x9F, 9, 9) +
                              Record(0x87, 0x40, 0, 0);
  EXPECT_EQ(Apply(records, "\x87\x40\x82\x51\n\x88\x9F\x82\x50\n\x87\x40\x82\x50\n"),
            Record(0x82, 0x50, 0xA3, 0xB1) + Record(0x82, 0x51, 0xA3, 0xB2) +
                Record(0x87, 0x40, 0xA3, 0xB2) + Record(0x88, 0x9F, 0xA3, 0xB1) +
                Record(0x87, 0x40, 0xA3, 0xB1));
  EXPECT_EQ(Pending(), (std::vector<int>{0, 0, 0}));
}

TEST_F(SubstituteListRecordsTest, UnmatchedEntriesStayPending) {
  const std::string records = Record(0x87, 0x40, 1, 2);
  // A source no record names, a lone lead byte, an empty line, and a
  // replacement no record names (which gives 00 00).
  EXPECT_EQ(Apply(records, "\x88\x40\x82\x50\n\x87N\n\n\x87\x40\x89\x40"),
            Record(0x87, 0x40, 0, 0));
  EXPECT_EQ(Pending(), (std::vector<int>{1, 1, 1, 0}));
}

TEST_F(SubstituteListRecordsTest, OneByteEntries) {
  std::string list = "\xC5N\n";
  std::string table = SingleByteRecordsPart();
  table.replace(100 * 4, 4, Record(0xC5, 0, 0x8E, 0xC5));
  auto store = std::make_unique<SparseEUC>();
  ByteBuffer buffer = BufferOf(table);
  store->Load(buffer);
  substitutes_ = ReadSubstitutes(list);
  SubstituteRecords(buffer, substitutes_, *store);
  std::string expected = table;
  expected.replace(100 * 4 + 2, 2, {static_cast<char>('a' + 'N' % 26), '0' + 'N' % 10});
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size()), expected);
}

}  // namespace
}  // namespace vorn
