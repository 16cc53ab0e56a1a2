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

std::string Substituted(const std::string& table, std::uint32_t source,
                        std::uint32_t replacement) {
  auto store = std::make_unique<SparseEUC>();
  ByteBuffer buffer = BufferOf(table);
  store->Load(buffer);
  SubstituteRecords(buffer, source, replacement, *store);
  return std::string(reinterpret_cast<const char*>(buffer.data()), RecordBytes(buffer.size()));
}

TEST(SubstituteSingleRecordsTest, EveryMatchingRecordTakesTheReplacementBytes) {
  const std::string head = SingleByteRecordsPart();
  const std::string table = head + Record(0x87, 0x40, 0, 0) + Record(0x82, 0x50, 0xA3, 0xB1) +
                            Record(0x87, 0x40, 7, 7);
  const std::string expected = head + Record(0x87, 0x40, 0xA3, 0xB1) +
                               Record(0x82, 0x50, 0xA3, 0xB1) + Record(0x87, 0x40, 0xA3, 0xB1);
  EXPECT_EQ(Substituted(table, 0x8740, 0x8250), expected);
}

TEST(SubstituteSingleRecordsTest, OneByteKeysKeepTheirSecondKeyByte) {
  std::string table = SingleByteRecordsPart();
  table.replace(100 * 4, 4, Record(0xC5, 0x99, 0x8E, 0xC5));
  std::string expected = table;
  expected.replace(100 * 4, 4, Record(0xC5, 0x99, 'a' + 0x4E % 26, '0' + 0x4E % 10));
  EXPECT_EQ(Substituted(table, 0xC5, 0x4E), expected);
}

TEST(SubstituteSingleRecordsTest, UnknownCodes) {
  const std::string table = SingleByteRecordsPart() + Record(0x87, 0x40, 1, 2);
  // A source no record names leaves the table as it is; a replacement no
  // record names gives 00 00.
  EXPECT_EQ(Substituted(table, 0x8741, 0x8250), table);
  EXPECT_EQ(Substituted(table, 0x10087, 'A'), table);
  EXPECT_EQ(Substituted(table, 0x8740, 0x8250),
            SingleByteRecordsPart() + Record(0x87, 0x40, 0, 0));
}

TEST(SubstituteSingleRecordsTest, PartialLastRecordIsCompletedByZeros) {
  EXPECT_EQ(Substituted("ABCDE", 'Z', 'A'), std::string("ABCDE\0\0\0", 8));
  EXPECT_EQ(Substituted("ABCDE", 'E', 'A'), std::string("ABCDE\0CD", 8));
}

}  // namespace
}  // namespace vorn
