#include "substitute/substitute_single.h"

#include <gtest/gtest.h>

#include "tests/fake_env.h"
#include "tests/test_table.h"

namespace vorn {
namespace {

TEST(CodeLineTest, HexWithAtLeastFourDigits) {
  EXPECT_EQ(CodeLine(0x8740, 0x8250), "8740 \x81\xCB 8250");
  EXPECT_EQ(CodeLine(0xC5, 0x4E), "00C5 \x81\xCB 004E");
  EXPECT_EQ(CodeLine(0x10087, 0xABC), "10087 \x81\xCB 0ABC");
}

std::string Substituted(const std::string& table, std::uint32_t source, std::uint32_t replacement) {
  auto store = std::make_unique<SparseEUC>();
  ByteBuffer buffer = BufferOf(table);
  store->Load(buffer);
  SingleRewritePass(buffer, source, replacement, *store);
  return std::string(reinterpret_cast<const char*>(buffer.data()), RecordBytes(buffer.size()));
}

// Only the key bytes match: neither the key bytes swapped nor the source's
// bytes among the value bytes do.
TEST(SubstituteSingleRecordsTest, EveryMatchingRecordTakesTheReplacementBytes) {
  const std::string head = SingleByteRecordsPart();
  const std::string decoys = Record(0x40, 0x87, 1, 1) + Record(0x88, 0x40, 0x87, 0x40);
  const std::string table = head + Record(0x87, 0x40, 0, 0) + decoys +
                            Record(0x82, 0x50, 0xA3, 0xB1) + Record(0x87, 0x40, 7, 7);
  const std::string expected = head + Record(0x87, 0x40, 0xA3, 0xB1) + decoys +
                               Record(0x82, 0x50, 0xA3, 0xB1) + Record(0x87, 0x40, 0xA3, 0xB1);
  EXPECT_EQ(Substituted(table, 0x8740, 0x8250), expected);
}

TEST(SubstituteSingleRecordsTest, OneByteKeysKeepTheirSecondKeyByte) {
  std::string table = SingleByteRecordsPart();
  table.replace(100 * kRecordSize, kRecordSize, Record(0xC5, 0x99, 0x8E, 0xC5));
  std::string expected = table;
  expected.replace(100 * kRecordSize, kRecordSize,
                   Record(0xC5, 0x99, 'a' + 0x4E % 26, '0' + 0x4E % 10));
  EXPECT_EQ(Substituted(table, 0xC5, 0x4E), expected);
}

TEST(SubstituteSingleRecordsTest, UnknownCodes) {
  const std::string table = SingleByteRecordsPart() + Record(0x87, 0x40, 1, 2);
  // A source no record names leaves the table as it is; a replacement no
  // record names gives 00 00.
  EXPECT_EQ(Substituted(table, 0x8741, 0x8250), table);
  EXPECT_EQ(Substituted(table, 0x10087, 'A'), table);
  EXPECT_EQ(Substituted(table, 0x8740, 0x8250), SingleByteRecordsPart() + Record(0x87, 0x40, 0, 0));
}

TEST(SubstituteSingleRecordsTest, PartialLastRecordIsCompletedByZeros) {
  EXPECT_EQ(Substituted("ABCDE", 'Z', 'A'), std::string("ABCDE\0\0\0", 8));
  EXPECT_EQ(Substituted("ABCDE", 'E', 'A'), std::string("ABCDE\0CD", 8));
}

// A one-byte source also matches a two-byte record whose first key byte is
// zero, as the key 00 C5 is the code 0xC5.
TEST(SubstituteSingleRecordsTest, OneByteCodeMatchesTwoByteKeyWithZeroLead) {
  const std::string table =
      SingleByteRecordsPart() + Record(0x00, 0xC5, 1, 1) + Record(0xC5, 0x00, 2, 2);
  const std::string expected = SingleByteRecordsPart() +
                               Record(0x00, 0xC5, 'a' + 0x4E % 26, '0' + 0x4E % 10) +
                               Record(0xC5, 0x00, 2, 2);
  EXPECT_EQ(Substituted(table, 0xC5, 0x4E), expected);
}

// A large table is written whole, every record after its substitution.
TEST(SubstituteSingleTest, LargeTableIsWrittenWhole) {
  // Record r after the one-byte part is keyed r modulo 0x10000.
  auto value_of = [](std::size_t r) {
    return std::string{static_cast<char>(r * 7), static_cast<char>(r * 13)};
  };
  std::string table = SingleByteRecordsPart();
  for (std::size_t r = 0; table.size() < (std::size_t{9} << 20); ++r) {
    table += std::string{static_cast<char>(r >> 8), static_cast<char>(r)} + value_of(r);
  }
  table += "\x87";  // a partial last record, keyed 0x8700
  std::string expected = table + std::string(3, '\0');
  for (std::size_t p = SingleByteRecords * 4; p < expected.size(); p += 4) {
    if (expected[p] == '\x87' && expected[p + 1] == '\0')
      expected.replace(p + 2, 2, value_of(0x8250));
  }

  FakeEnv env;
  env.files[kTableName] = table;
  IoError error;
  ASSERT_EQ(SubstituteSingle(env, kTestPaths, std::string("\x87\0", 2), "\x82\x50", "out.bin",
                             false, &error),
            Outcome::kDone);
  EXPECT_TRUE(env.files.at("out.bin") == expected);
}

}  // namespace
}  // namespace vorn
