#include "tools/vorn_table/table_records.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fake_env.h"

namespace vorn {
namespace {

// 158 one-byte records keyed 0x00..0x9D, value "v" + 00 each, then `rest`.
std::string WithOneByteRecords(const std::string& rest) {
  std::string bytes;
  for (int key = 0; key < 158; ++key) {
    bytes += static_cast<char>(key);
    bytes += std::string("\0v\0", 3);
  }
  return bytes + rest;
}

TEST(RecordsOfTest, KeysAsVornDoes) {
  // Record 158 is still keyed by its first byte, record 159 by both; a
  // partial last record is completed by zero bytes.
  std::string bytes =
      WithOneByteRecords(std::string("\x87\x40\xAD\xA1"
                                     "\x82",
                                     5));
  bytes[157 * 4 + 1] = '\x99';  // byte 1 of a one-byte record is no part of the key
  std::vector<Record> records = RecordsOf(BufferOf(bytes));
  ASSERT_EQ(records.size(), 160u);
  EXPECT_EQ(records[157].code, 157u);
  EXPECT_EQ(records[158].code, 0x8740u);
  EXPECT_EQ(records[158].value, (ValueBytes{0xAD, 0xA1}));
  EXPECT_EQ(records[159].code, 0x8200u);
  EXPECT_EQ(records[159].value, (ValueBytes{0, 0}));
}

TEST(DifferencesTest, ComparesTheValuesVornSees) {
  std::string a =
      WithOneByteRecords(std::string("\x87\x40\xAD\xA1"  // changed in b
                                     "\x87\x41\xAD\xA2"  // replaced below
                                     "\x87\x42\x00\x00"  // only in a
                                     "\x87\x41\x00\x00"  // wins: same as b
                                     ,
                                     16));
  std::string b =
      WithOneByteRecords(std::string("\x87\x41\x00\x00"
                                     "\x87\x40\xA3\xB1"
                                     "\x88\x9F\xB0\xA1"  // only in b
                                     ,
                                     12));
  b[4 * 65 + 2] = 'w';  // one-byte record 0x41
  std::vector<Difference> differences = Differences(RecordsOf(BufferOf(a)), RecordsOf(BufferOf(b)));
  ASSERT_EQ(differences.size(), 4u);
  EXPECT_EQ(differences[0].code, 0x41u);
  EXPECT_EQ(differences[0].a, (ValueBytes{'v', 0}));
  EXPECT_EQ(differences[0].b, (ValueBytes{'w', 0}));
  EXPECT_EQ(differences[1].code, 0x8740u);
  EXPECT_EQ(differences[1].a, (ValueBytes{0xAD, 0xA1}));
  EXPECT_EQ(differences[1].b, (ValueBytes{0xA3, 0xB1}));
  EXPECT_EQ(differences[2].code, 0x8742u);
  EXPECT_EQ(differences[2].a, (ValueBytes{0, 0}));
  EXPECT_FALSE(differences[2].b.has_value());
  EXPECT_EQ(differences[3].code, 0x889Fu);
  EXPECT_FALSE(differences[3].a.has_value());
  EXPECT_EQ(differences[3].b, (ValueBytes{0xB0, 0xA1}));
}

TEST(DifferencesTest, NoneBetweenEqualTables) {
  std::string bytes = WithOneByteRecords(std::string("\x87\x40\xAD\xA1", 4));
  EXPECT_TRUE(Differences(RecordsOf(BufferOf(bytes)), RecordsOf(BufferOf(bytes))).empty());
  EXPECT_TRUE(Differences({}, {}).empty());
}

}  // namespace
}  // namespace vorn
