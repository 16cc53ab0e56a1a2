// Fuzzes both rewrite passes with arbitrary table bytes and substitutions,
// checking each result against a slow reading of the table that follows
// the rules record by record: the output holds every walked record, keys
// are never touched, a substituted record carries the value bytes the last
// record of the replacement's key gives (00 00 when none), and every other
// record is unchanged.  The list pass is checked against the plain linear
// search: for each record, the first pending entry from the list's start
// whose source code equals the key.
//
// Input: one mode byte, then (single) two texts or (list) a list text and
// a mask of entries to start as already applied, then the table bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "substitute/ms932_code.h"
#include "substitute/substitute_list.h"
#include "substitute/substitute_single.h"
#include "tests/fake_env.h"

namespace {

// Stops the run on a mismatch, naming the check that failed.
#define CHECK_ORACLE(ok)                                                    \
  do {                                                                      \
    if (!(ok)) {                                                            \
      (void)std::fprintf(stderr, "oracle mismatch at line %d\n", __LINE__); \
      std::abort();                                                         \
    }                                                                       \
  } while (0)

// The code of a character text, from the byte classes of code page 932.
std::uint32_t CodeOf(const std::string& text) {
  if (text.empty()) return 0x10000;
  unsigned first = static_cast<unsigned char>(text[0]);
  bool lead = (first >= 0x81 && first <= 0xA0) || (first >= 0xE0 && first <= 0xFC);
  if (!lead) return first;
  if (text.size() < 2) return 0x10000 + first;
  return first * 256 + static_cast<unsigned char>(text[1]);
}

// The table as records, the last one completed by zero bytes.
struct Record {
  std::uint8_t bytes[4];
  std::uint32_t key;
};

std::vector<Record> RecordsOf(const std::uint8_t* table, std::size_t size) {
  std::vector<Record> records;
  for (std::size_t start = 0; start < size; start += 4) {
    Record r{{0, 0, 0, 0}, 0};
    for (std::size_t j = 0; j < 4 && start + j < size; ++j) r.bytes[j] = table[start + j];
    r.key = records.size() < 158 ? r.bytes[0] : r.bytes[0] * 256u + r.bytes[1];
    records.push_back(r);
  }
  return records;
}

// The value bytes the table gives for `code`: those of its last record of
// that key, 00 00 when no record has it.
void ValueOf(const std::vector<Record>& records, std::uint32_t code, std::uint8_t value[2]) {
  value[0] = 0;
  value[1] = 0;
  for (const Record& r : records) {
    if (r.key == code) {
      value[0] = r.bytes[2];
      value[1] = r.bytes[3];
    }
  }
}

// A text naming a code: now and then the key of one of the table's
// records, so that substitutions hit.
std::string TextOf(FuzzedDataProvider& input, const std::vector<std::uint8_t>& table) {
  std::string text = input.ConsumeRandomLengthString(3);
  if (!text.empty() && text[0] == '@' && table.size() >= 4) {
    std::size_t record =
        static_cast<unsigned char>(text.size() > 1 ? text[1] : 0) % (table.size() / 4);
    text.assign(reinterpret_cast<const char*>(&table[record * 4]), 2);
    if (record < 158) text.resize(1);
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  bool list = input.ConsumeBool();
  std::size_t table_size = input.ConsumeIntegralInRange<std::size_t>(0, 4096);
  std::vector<std::uint8_t> table = input.ConsumeBytes<std::uint8_t>(table_size);

  vorn::ByteBuffer buffer =
      vorn::BufferOf(std::string_view(reinterpret_cast<const char*>(table.data()), table.size()));
  auto store = std::make_unique<vorn::SparseEUC>();
  store->Load(buffer);

  std::vector<Record> before = RecordsOf(table.data(), table.size());
  std::vector<Record> expected = before;

  if (!list) {
    std::string source = TextOf(input, table);
    std::string replacement = TextOf(input, table);
    vorn::SingleRewritePass(buffer, vorn::MS932Code(source), vorn::MS932Code(replacement), *store);
    std::uint8_t value[2];
    ValueOf(before, CodeOf(replacement), value);
    for (Record& r : expected) {
      if (r.key != CodeOf(source)) continue;
      r.bytes[2] = value[0];
      r.bytes[3] = value[1];
    }
  } else {
    vorn::Substitutes substitutes;
    std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 40);
    for (std::size_t i = 0; i < count; ++i) {
      vorn::NormalSubstitute entry;
      entry.Pending = input.ConsumeIntegralInRange<int>(0, 3) == 0 ? 0 : 1;
      entry.Source = TextOf(input, table);
      entry.Replacement = TextOf(input, table);
      substitutes.push_back(entry);
    }
    std::vector<std::uint8_t> pending;
    for (const vorn::NormalSubstitute& entry : substitutes) pending.push_back(entry.Pending);

    vorn::ListRewritePass(buffer, substitutes, *store);

    for (Record& r : expected) {
      for (std::size_t n = 0; n < substitutes.size(); ++n) {
        if (pending[n] == 1 && CodeOf(substitutes[n].Source) == r.key) {
          pending[n] = 0;
          std::uint8_t value[2];
          ValueOf(before, CodeOf(substitutes[n].Replacement), value);
          r.bytes[2] = value[0];
          r.bytes[3] = value[1];
          break;
        }
      }
    }
    for (std::size_t n = 0; n < substitutes.size(); ++n)
      CHECK_ORACLE(substitutes[n].Pending == pending[n]);
  }

  // What gets written is RecordBytes(size) bytes: the walked records.
  CHECK_ORACLE(vorn::RecordBytes(table.size()) == expected.size() * 4);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::uint8_t* got = buffer.data() + i * 4;
    CHECK_ORACLE(got[0] == before[i].bytes[0] && got[1] == before[i].bytes[1]);
    CHECK_ORACLE(std::memcmp(got, expected[i].bytes, 4) == 0);
  }
  // The bytes past the records stay as they were.
  for (std::size_t i = expected.size() * 4; i < table.size() + 4; ++i)
    CHECK_ORACLE(buffer.data()[i] == 0);
  CHECK_ORACLE(buffer.size() == table.size());
  return 0;
}
