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

// The list's substitutions, read with the file handed over `piece` bytes
// at a time.
Substitutes ReadList(std::string_view list, std::size_t piece = SIZE_MAX) {
  FakeEnv env;
  BytesFile file(list, piece);
  Substitutes substitutes;
  IoError error;
  EXPECT_TRUE(ReadSubstitutes(env, &file, &substitutes, &error));
  return substitutes;
}

// Lines and terminators split across the file's pieces read the same.
const std::size_t kPieces[] = {1, 2, 3, SIZE_MAX};

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
    for (std::size_t piece : kPieces) {
      EXPECT_EQ(PairsOf(ReadList(c.list, piece)), c.expected) << c.name << ", pieces of " << piece;
    }
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
    for (std::size_t piece : kPieces) {
      EXPECT_EQ(PairsOf(ReadList(c.list, piece)), c.expected) << c.name << ", pieces of " << piece;
    }
  }
}

TEST(ReadSubstitutesTest, ReadsAtMostMaxSubstitutesLines) {
  std::string list;
  for (int i = 0; i < 1000; ++i) list += (i < 906 ? "AB\n" : "CD\n");
  Substitutes substitutes = ReadList(list);
  ASSERT_EQ(substitutes.size(), MaxSubstitutes);
  EXPECT_EQ(substitutes.back().Source, "A");
}

struct Line {
  std::size_t number;
  std::string head;
  std::size_t length;
  LineEnd end;
  bool converted;
  bool operator==(const Line& other) const {
    return number == other.number && head == other.head && length == other.length &&
           end == other.end && converted == other.converted;
  }
};

std::ostream& operator<<(std::ostream& out, const Line& line) {
  return out << line.number << " '" << line.head << "' " << line.length << " end "
             << static_cast<int>(line.end) << (line.converted ? " converted" : "");
}

// Every line of the list, whether a Ctrl-Z ended it, and whether the
// reader still saw more lines after the first `stop` lines.
struct Reading {
  std::vector<Line> lines;
  bool ctrl_z = false;
  bool more_after_stop = false;
};

Reading ReadLines(std::string_view list, std::size_t piece, std::size_t stop) {
  FakeEnv env;
  BytesFile file(list, piece);
  ListReader reader(env, &file);
  Reading reading;
  IoError error;
  ListLine line;
  for (;;) {
    if (reading.lines.size() == stop) {
      EXPECT_TRUE(reader.MoreLines(&reading.more_after_stop, &error));
    }
    ListRead read = reader.Next(&line, &error);
    EXPECT_NE(read, ListRead::kFailed);
    if (read != ListRead::kLine) break;
    reading.lines.push_back({line.number, line.head, line.length, line.end, line.converted});
  }
  reading.ctrl_z = reader.ended_by_ctrl_z();
  return reading;
}

// What a list checker needs of each line: its number, first bytes, length
// and terminator, whether a Ctrl-Z ended the list, and whether lines
// follow a given one.
TEST(ListReaderTest, WhatEachLineIs) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string long_utf8 = bom + std::string(300, 'x') + "\xE2\x91\xA0\n";
  const struct {
    const char* name;
    std::string list;
    std::size_t stop;  // lines read before asking for more
    bool more;
    std::vector<Line> lines;
    bool ctrl_z;
  } cases[] = {
      {"terminators",
       "AB\r\n\x87\x40\x82\x50\rlonger line\n\rlast",
       1,
       true,
       {{1, "AB", 2, LineEnd::kCRLF, false},
        {2, "\x87\x40\x82\x50", 4, LineEnd::kCR, false},
        {3, "longer l", 11, LineEnd::kLF, false},
        {4, "", 0, LineEnd::kCR, false},
        {5, "last", 4, LineEnd::kNone, false}},
       false},
      {"an empty line follows",
       "AB\n\n",
       1,
       true,
       {{1, "AB", 2, LineEnd::kLF, false}, {2, "", 0, LineEnd::kLF, false}},
       false},
      {"nothing follows", "AB\n", 1, false, {{1, "AB", 2, LineEnd::kLF, false}}, false},
      {"Ctrl-Z after a line",
       "AB\n\x1A"
       "CD\n",
       1,
       false,
       {{1, "AB", 2, LineEnd::kLF, false}},
       true},
      {"Ctrl-Z in a line",
       "AB\nCD\x1A"
       "EF\n",
       2,
       false,
       {{1, "AB", 2, LineEnd::kLF, false}, {2, "CD", 2, LineEnd::kNone, false}},
       true},
      {"UTF-8",
       bom + "\xE2\x91\xA0\xEF\xBC\x91\r\nAB",
       0,
       true,
       {{1, "\x87\x40\x82\x50", 4, LineEnd::kCRLF, true}, {2, "AB", 2, LineEnd::kNone, true}},
       false},
      {"UTF-8 that does not convert",
       bom + "\x87\x40\x82\x50\n",
       1,
       false,
       {{1, "\x87\x40\x82\x50", 4, LineEnd::kLF, false}},
       false},
      {"a long UTF-8 line", long_utf8, 1, false, {{1, "xxxxxxxx", 302, LineEnd::kLF, true}}, false},
      {"a long UTF-8 line with a byte that does not convert at its end",
       bom + std::string(300, 'x') + "\xE2\x91\n",
       1,
       false,
       {{1, "xxxxxxxx", 302, LineEnd::kLF, false}},
       false},
  };
  for (const auto& c : cases) {
    for (std::size_t piece : kPieces) {
      Reading reading = ReadLines(c.list, piece, c.stop);
      EXPECT_EQ(reading.lines, c.lines) << c.name << ", pieces of " << piece;
      EXPECT_EQ(reading.ctrl_z, c.ctrl_z) << c.name << ", pieces of " << piece;
      EXPECT_EQ(reading.more_after_stop, c.more) << c.name << ", pieces of " << piece;
    }
  }
}

// A file that gives `head`, then `tail` again and again without end, and
// fails if it is read once `failing_after` bytes have been given.
class EndlessFile : public SequentialFile {
 public:
  EndlessFile(std::string head, std::string tail, std::size_t failing_after)
      : head_(std::move(head)), tail_(std::move(tail)), failing_after_(failing_after) {}
  bool Read(std::uint8_t* data, std::size_t size, std::size_t* got, IoError* error) override {
    if (given_ >= failing_after_) {
      error->message = "read too far";
      return false;
    }
    *got = 0;
    while (*got < size) {
      const std::string& from = given_ < head_.size() ? head_ : tail_;
      std::size_t at = given_ < head_.size() ? given_ : (given_ - head_.size()) % tail_.size();
      data[(*got)++] = static_cast<std::uint8_t>(from[at]);
      ++given_;
    }
    return true;
  }
  std::size_t given() const { return given_; }

 private:
  std::string head_;
  std::string tail_;
  std::size_t failing_after_;
  std::size_t given_ = 0;
};

// Lines after the 906th and bytes after a Ctrl-Z are never asked for, and
// a line of any length is read with the same memory.
TEST(ReadSubstitutesTest, ReadsNoFurtherThanItNeeds) {
  const struct {
    const char* name;
    std::string head;
    std::string tail;
    std::size_t entries;
    std::string last_source;
  } cases[] = {
      {"endless lines", "", "y\n", MaxSubstitutes, "y"},
      {"bytes after a Ctrl-Z", "AB\r\n\x1A", "endless ", 1, "A"},
      {"an endless line", "\x87", std::string(1 << 16, 'x'), 0, ""},
  };
  for (const auto& c : cases) {
    const bool endless_line = c.entries == 0;
    FakeEnv env;
    EndlessFile file(c.head, c.tail, endless_line ? std::size_t{4} << 20 : 1);
    Substitutes substitutes;
    IoError error;
    if (endless_line) {
      // Read until the file fails: as far as the line goes, no memory grows.
      EXPECT_FALSE(ReadSubstitutes(env, &file, &substitutes, &error)) << c.name;
      EXPECT_EQ(error.message, "read too far") << c.name;
      continue;
    }
    ASSERT_TRUE(ReadSubstitutes(env, &file, &substitutes, &error))
        << c.name << ": " << error.message;
    ASSERT_EQ(substitutes.size(), c.entries) << c.name;
    EXPECT_EQ(substitutes.back().Source, c.last_source) << c.name;
  }
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
    substitutes_ = ReadList(list);
    ListRewritePass(buffer, substitutes_, *store);
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
  table.replace(100 * kRecordSize, kRecordSize, Record(0xC5, 0, 0x8E, 0xC5));
  auto store = std::make_unique<SparseEUC>();
  ByteBuffer buffer = BufferOf(table);
  store->Load(buffer);
  substitutes_ = ReadList(list);
  ListRewritePass(buffer, substitutes_, *store);
  std::string expected = table;
  expected.replace(100 * 4 + 2, 2, {static_cast<char>('a' + 'N' % 26), '0' + 'N' % 10});
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size()), expected);
}

}  // namespace
}  // namespace vorn
