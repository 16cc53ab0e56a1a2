#include "SparsePopulationEUC/SparsePopulationEUC.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "tests/fake_env.h"
#include "tests/test_table.h"

namespace vorn {
namespace {

using KeyedValues = std::vector<std::pair<std::uint32_t, std::string>>;

KeyedValues Walk(const std::string& bytes) {
  ByteBuffer buffer = BufferOf(bytes);
  KeyedValues records;
  WalkRecords(buffer.data(), buffer.size(), [&](std::uint32_t key, const std::uint8_t* record) {
    records.emplace_back(key, std::string(reinterpret_cast<const char*>(record) + 2, 2));
  });
  return records;
}

TEST(WalkRecordsTest, KeysByRecordNumber) {
  // Record 158 is still keyed by its first byte, record 159 by both.
  std::string table = SingleByteRecordsPart();
  table.replace(157 * kRecordSize, kRecordSize, Record(0x87, 0x40, 1, 2));
  table += Record(0x00, 0x41, 3, 4) + Record(0x87, 0x40, 5, 6);
  KeyedValues records = Walk(table);
  ASSERT_EQ(records.size(), 160u);
  EXPECT_EQ(records[0], (std::pair<std::uint32_t, std::string>{0x00, "a0"}));
  EXPECT_EQ(records[157], (std::pair<std::uint32_t, std::string>{0x87, "\x01\x02"}));
  EXPECT_EQ(records[158], (std::pair<std::uint32_t, std::string>{0x0041, "\x03\x04"}));
  EXPECT_EQ(records[159], (std::pair<std::uint32_t, std::string>{0x8740, "\x05\x06"}));
}

TEST(WalkRecordsTest, PartialAndEmptyTables) {
  EXPECT_TRUE(Walk("").empty());
  // A partial last record is walked whole, completed by zero bytes.
  EXPECT_EQ(Walk("ABCDEF"), (KeyedValues{{'A', "CD"}, {'E', std::string(2, '\0')}}));
  EXPECT_EQ(Walk("ABCDEFG"), (KeyedValues{{'A', "CD"}, {'E', std::string("G\0", 2)}}));
  EXPECT_EQ(Walk("ABCDEFGH\x01"),
            (KeyedValues{{'A', "CD"}, {'E', "GH"}, {1, std::string(2, '\0')}}));
  EXPECT_EQ(Walk("A"), (KeyedValues{{'A', std::string(2, '\0')}}));
}

// A visit that returns false ends the walk at once, in either part of the
// table.
TEST(WalkRecordsTest, AVisitReturningFalseEndsTheWalk) {
  const std::string table = SingleByteRecordsPart() + Record(0x87, 0x40, 1, 2) +
                            Record(0x88, 0x40, 3, 4) + Record(0x89, 0x40, 5, 6);
  ByteBuffer buffer = BufferOf(table);
  for (std::size_t stop : {std::size_t{1}, std::size_t{158}, std::size_t{160}, std::size_t{161}}) {
    std::size_t visited = 0;
    WalkRecords(buffer.data(), buffer.size(),
                [&](std::uint32_t, const std::uint8_t*) { return ++visited < stop; });
    EXPECT_EQ(visited, stop) << stop;
  }
}

TEST(SparseEUCTest, LoadKeepsLastOfDuplicatesAndZeroElsewhere) {
  std::string table = SingleByteRecordsPart() + Record(0x82, 0x50, 0xA3, 0xB1) +
                      Record(0xFF, 0xFF, 0x12, 0x34) + Record(0x82, 0x50, 0xA3, 0xB2);
  auto store = std::make_unique<SparseEUC>();
  store->Load(BufferOf(table));
  EXPECT_EQ(store->GetByte(0x8250, 0), 0xA3);
  EXPECT_EQ(store->GetByte(0x8250, 1), 0xB2);
  // Keys above the last code of the code page are stored like any other.
  EXPECT_EQ(store->GetByte(0xFFFF, 0), 0x12);
  EXPECT_EQ(store->GetByte(0xFFFF, 1), 0x34);
  EXPECT_EQ(store->GetByte('A', 0), 'a' + 'A' % 26);
  // Codes no record names read as zero, beside a set code (0x8251) as well
  // as far from one.
  for (std::uint32_t code : {0x8251u, 0x8740u}) {
    EXPECT_EQ(store->GetByte(code, 0), 0) << std::hex << code;
    EXPECT_EQ(store->GetByte(code, 1), 0) << std::hex << code;
  }
  // Codes of no complete character read as zero.
  EXPECT_EQ(store->GetByte(0x10087, 0), 0);
  store->SetByte(0x10087, 0, 9);
  EXPECT_EQ(store->GetByte(0x10087, 0), 0);
}

// One buffer read again as the table changes between the reads: each read
// gives exactly the file's bytes followed by zero bytes, even where a pass
// completed a partial record in place or the file shrank, and the buffer
// is used again while it is large enough.
TEST(ReadWholeFileTest, ABufferReadAgainHoldsTheNewBytesThenZeros) {
  const struct {
    std::string bytes;
    bool reused;  // whether the buffer of the read before is large enough
  } reads[] = {{"ABCDEFGHIJ", false}, {"ABCDEFG", true}, {"", true}, {"ABCDEFGHIJKLMN", false}};
  FakeEnv env;
  ByteBuffer buffer;
  for (const auto& read : reads) {
    env.files["table.bin"] = read.bytes;
    const std::size_t capacity = buffer.capacity();
    IoError error;
    ASSERT_TRUE(ReadWholeFile(env, "table.bin", &buffer, &error)) << error.message;
    EXPECT_EQ(buffer.capacity() == capacity, read.reused) << read.bytes;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size()), read.bytes);
    const std::string after(reinterpret_cast<const char*>(buffer.data()) + buffer.size(),
                            buffer.capacity() - buffer.size());
    EXPECT_GE(after.size(), kRecordSize) << read.bytes;
    EXPECT_EQ(after, std::string(after.size(), '\0')) << read.bytes;
    // What a pass completing a partial record leaves behind.
    std::memset(buffer.data() + buffer.size(), 'Z', 3);
  }
}

class TablePlacesTest : public testing::Test {
 protected:
  const std::string& system_table_ = kTestPaths[0];
  FakeEnv env_;
};

TEST_F(TablePlacesTest, SystemPlaceWinsOverCurrentFolder) {
  env_.files[system_table_] = Record('A', 0, 1, 2);
  env_.files[kTableName] = Record('A', 0, 3, 4);
  TableFile table;
  IoError error;
  ASSERT_EQ(ReadTableFile(env_, kTestPaths, &table, &error), Outcome::kDone);
  EXPECT_EQ(table.path, system_table_);
  EXPECT_EQ(table.bytes.data()[2], 1);
}

TEST_F(TablePlacesTest, UnreadableFirstPlaceIsAFailureNotAFallback) {
  env_.files[system_table_] = "";
  env_.failing[system_table_] = "Access denied";
  env_.files[kTableName] = Record('A', 0, 3, 4);
  TableFile table;
  IoError error;
  EXPECT_EQ(ReadTableFile(env_, kTestPaths, &table, &error), Outcome::kFailed);
  EXPECT_EQ(error.message, "Access denied");
}

// Only a place that does not exist, or is a folder, passes to the next:
// one whose existence cannot be learned (an unsearchable folder, a loop of
// links, an I/O error) ends the search.
TEST_F(TablePlacesTest, OnlyAMissingPlaceIsPassedOver) {
  const struct {
    const char* name;
    std::function<void(FakeEnv&)> first_place;
    Outcome read;
    std::string message;
  } cases[] = {
      {"missing", [](FakeEnv&) {}, Outcome::kDone, ""},
      {"a folder", [&](FakeEnv& env) { env.folders.insert(system_table_); }, Outcome::kDone, ""},
      {"cannot be examined", [&](FakeEnv& env) { env.failing[system_table_] = "Access denied"; },
       Outcome::kFailed, "Access denied"},
  };
  for (const auto& c : cases) {
    FakeEnv env;
    env.files[kTableName] = Record('A', 0, 3, 4);
    c.first_place(env);
    TableFile table;
    IoError error;
    EXPECT_EQ(ReadTableFile(env, kTestPaths, &table, &error), c.read) << c.name;
    EXPECT_EQ(error.message, c.message) << c.name;
  }
}

TEST_F(TablePlacesTest, PopulateReportsThePlaceAfterLoading) {
  IoError error;
  auto store = std::make_unique<SparseEUC>();
  TableFile table;
  EXPECT_EQ(store->Populate(env_, kTestPaths, true, &table, &error), Outcome::kTableMissing);
  EXPECT_TRUE(env_.lines.empty());

  env_.files[kTableName] = "";  // found, even though it holds no record
  EXPECT_EQ(store->Populate(env_, kTestPaths, true, &table, &error), Outcome::kDone);
  EXPECT_EQ(env_.lines,
            std::vector<std::string>{"MS932~EUC-JP.bin is primarily accessible to vorn."});
}

}  // namespace
}  // namespace vorn
