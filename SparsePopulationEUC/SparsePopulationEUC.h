// The conversion table file and SparseEUC, the in-memory store that gives
// the two EUC-JP value bytes of any MS932 code.
//
// The table is a run of 4-byte records: two key bytes, then the two value
// bytes.  The first 158 records are keyed by their first byte alone (the
// one-byte characters); every later record by both key bytes, high first.
#ifndef VORN_SPARSEPOPULATIONEUC_SPARSEPOPULATIONEUC_H_
#define VORN_SPARSEPOPULATIONEUC_SPARSEPOPULATIONEUC_H_

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>

#include "platform/env.h"

namespace vorn {

inline constexpr char kTableName[] = "MS932~EUC-JP.bin";
inline constexpr std::size_t kRecordSize = 4;
// Records 1 to SingleByteRecords are keyed by one byte.
inline constexpr std::size_t SingleByteRecords = 158;

// A zero-filled block of `capacity` bytes, freed with its owner; running
// out of memory for one ends the run with the out-of-memory report.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  explicit ByteBuffer(std::size_t capacity)
      : data_(static_cast<std::uint8_t*>(std::calloc(capacity == 0 ? 1 : capacity, 1))),
        capacity_(capacity) {
    if (data_ == nullptr) ReportOutOfMemory();
  }

  std::uint8_t* data() { return data_.get(); }
  const std::uint8_t* data() const { return data_.get(); }
  std::size_t capacity() const { return capacity_; }
  // The number of bytes that hold file contents; zero bytes follow them.
  std::size_t size() const { return size_; }
  void set_size(std::size_t size) { size_ = size; }

 private:
  struct Free {
    void operator()(std::uint8_t* block) const { std::free(block); }
  };
  std::unique_ptr<std::uint8_t[], Free> data_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// The places the table is looked for, in order: the installed table, then
// the one in the current folder.  Each program's main names its own.
using TablePaths = std::array<std::string, 2>;

// How a run, or a step of one, ended.
enum class Outcome {
  kDone,
  kTableMissing,  // no table file in either place
  kFailed,        // a file failure, described by the IoError
};

struct TableFile {
  std::string path;  // the TablePaths entry it was read from
  ByteBuffer bytes;
};

// Reads the table file `name` whole: opened without sharing, its size
// taken by seeking to its end, read in one call and closed at once.  The
// buffer holds zero bytes after the file's, a record's worth at least, so
// that a partial last record reads as completed by zero bytes.  A buffer
// `bytes` already holds is used again when it is large enough: fresh
// memory costs a page fault per page, the largest part of reading a large
// table.
bool ReadWholeFile(Env& env, const std::string& name, ByteBuffer* bytes, IoError* error);

// Finds the first existing entry of `paths` and reads it whole.  Only a
// place that does not exist, or is a folder, passes to the next: a name
// that exists decides the place even when it then cannot be read, and one
// whose existence cannot be learned ends the search (both kFailed).
Outcome ReadTableFile(Env& env, const TablePaths& paths, TableFile* table, IoError* error);

// The number of bytes the records of `size` table bytes occupy: a partial
// last record counts whole, completed by zero bytes.
inline std::size_t RecordBytes(std::size_t size) {
  return (size + kRecordSize - 1) / kRecordSize * kRecordSize;
}

// Calls visit(key, record) for every record of the table bytes in `data`,
// where record points at the record's four bytes; a visit that returns a
// bool ends the walk by returning false.  `data` must hold zero bytes up
// to RecordBytes(size), as a buffer from ReadWholeFile does.
template <typename Byte, typename Visit>
void WalkRecords(Byte* data, std::size_t size, Visit&& visit) {
  auto go_on = [&visit](std::uint32_t key, Byte* record) {
    if constexpr (std::is_same_v<decltype(visit(key, record)), bool>) {
      return visit(key, record);
    } else {
      visit(key, record);
      return true;
    }
  };
  const std::size_t end = RecordBytes(size);
  const std::size_t one_byte_end = std::min(end, SingleByteRecords * kRecordSize);
  std::size_t p = 0;
  for (; p < one_byte_end; p += kRecordSize) {
    if (!go_on(std::uint32_t{data[p]}, data + p)) return;
  }
  for (; p < end; p += kRecordSize) {
    if (!go_on(std::uint32_t{data[p]} << 8 | data[p + 1], data + p)) return;
  }
}

// A value of T for each of the 0x10000 two-byte codes, T{} until set.
// The values are kept in pages of 256 codes, one per first byte, each
// allocated when a code of it is first set: a table or a list names codes
// of a few first bytes only, so little memory is taken, and none of it is
// cleared in vain (a single zero-filled block of all codes is cleared
// whole whenever the allocator hands out memory it used before).
template <typename T>
class CodeMap {
 public:
  static constexpr std::uint32_t kCodes = 0x10000;

  // `code` must be below kCodes.
  T Get(std::uint32_t code) const {
    const std::unique_ptr<T[]>& page = pages_[code >> 8];
    return page ? page[code & 0xFF] : T{};
  }
  T& operator[](std::uint32_t code) {
    std::unique_ptr<T[]>& page = pages_[code >> 8];
    if (!page) page = std::make_unique<T[]>(256);  // value-initialised: all T{}
    return page[code & 0xFF];
  }

 private:
  std::array<std::unique_ptr<T[]>, kCodes / 256> pages_;
};

class SparseEUC {
 public:
  // Codes above 0xFFFF name no record; they read as 00 00 and are never set.
  void SetByte(std::uint32_t code, int index, std::uint8_t value) {
    if (code < kCodes) values_[code][static_cast<std::size_t>(index)] = value;
  }
  std::uint8_t GetByte(std::uint32_t code, int index) const {
    return code < kCodes ? values_.Get(code)[static_cast<std::size_t>(index)] : 0;
  }

  // Fills the store from every record of the table bytes (a later record
  // of the same key wins).
  void Load(const ByteBuffer& table);

  // Reads the table into `table` and loads it; with show_table, then
  // prints which file was used.  A table missing or failing leaves the
  // store empty.  The caller keeps `table`, so that the second read of the
  // table can use its buffer again.
  Outcome Populate(Env& env, const TablePaths& paths, bool show_table, TableFile* table,
                   IoError* error);

 private:
  using ValueBytes = std::array<std::uint8_t, 2>;
  static constexpr std::uint32_t kCodes = CodeMap<ValueBytes>::kCodes;
  CodeMap<ValueBytes> values_;
};

}  // namespace vorn

#endif  // VORN_SPARSEPOPULATIONEUC_SPARSEPOPULATIONEUC_H_
