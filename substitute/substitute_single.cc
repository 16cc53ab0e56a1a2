#include "substitute/substitute_single.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "substitute/ms932_code.h"

namespace vorn {

std::string CodeLine(std::uint32_t source, std::uint32_t replacement) {
  char line[64];
  (void)std::snprintf(line, sizeof line, "%04X \x81\xCB %04X", static_cast<unsigned>(source),
                      static_cast<unsigned>(replacement));
  return line;
}

void SubstituteRecords(ByteBuffer& table, std::uint32_t source, std::uint32_t replacement,
                       const SparseEUC& store) {
  const std::uint8_t value[2] = {store.GetByte(replacement, 0), store.GetByte(replacement, 1)};
  std::uint8_t* data = table.data();
  const std::size_t end = RecordBytes(table.size());
  const std::size_t single_end =
      end < SingleByteRecords * kRecordSize ? end : SingleByteRecords * kRecordSize;
  std::size_t p = 0;
  for (; p < single_end; p += kRecordSize) {
    if (data[p] == source) std::memcpy(data + p + 2, value, 2);
  }
  if (source > 0xFFFF) return;  // no two-byte key is that large

  // The two-byte records: a record's first two bytes, read as part of a
  // 32-bit word and masked, are compared with the source's key bytes laid
  // out the same way (so the byte order of the machine does not matter).
  // Blocks of records are first tested without a branch, which the
  // compiler turns into vector code, so a large table is scanned at memory
  // speed; only a block with a match is patched.
  auto word_of = [](std::uint8_t b0, std::uint8_t b1) {
    const std::uint8_t bytes[4] = {b0, b1, 0, 0};
    std::uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
  };
  const std::uint32_t mask = word_of(0xFF, 0xFF);
  const std::uint32_t key =
      word_of(static_cast<std::uint8_t>(source >> 8), static_cast<std::uint8_t>(source));
  auto key_at = [data, mask](std::size_t at) {
    std::uint32_t word;
    std::memcpy(&word, data + at, 4);
    return word & mask;
  };
  constexpr std::size_t kBlockRecords = 16;
  constexpr std::size_t kBlock = kBlockRecords * kRecordSize;
  for (; p + kBlock <= end; p += kBlock) {
    std::uint32_t words[kBlockRecords];
    std::memcpy(words, data + p, kBlock);
    std::uint32_t hits = 0;
    for (std::uint32_t word : words) hits |= static_cast<std::uint32_t>((word & mask) == key);
    if (hits == 0) continue;
    for (std::size_t r = 0; r < kBlockRecords; ++r) {
      if ((words[r] & mask) == key) std::memcpy(data + p + r * kRecordSize + 2, value, 2);
    }
  }
  for (; p < end; p += kRecordSize) {
    if (key_at(p) == key) std::memcpy(data + p + 2, value, 2);
  }
}

RunResult SubstituteSingle(Env& env, const std::string& source_text,
                           const std::string& replacement_text, const std::string& output_name,
                           bool show_table, IoError* error) {
  auto store = std::make_unique<SparseEUC>();
  TableFile table;
  TableRead read = store->Populate(env, show_table, &table, error);
  if (read != TableRead::kRead) return ResultOf(read);

  const std::uint32_t source = MS932Code(source_text);
  const std::uint32_t replacement = MS932Code(replacement_text);
  // Printed before the second read, so it shows even when a later step fails.
  env.WriteLine(CodeLine(source, replacement), LineKind::kAssembled);

  return WriteCustomTable(
      env, output_name, &table,
      [&](ByteBuffer& bytes) { SubstituteRecords(bytes, source, replacement, *store); }, error);
}

}  // namespace vorn
