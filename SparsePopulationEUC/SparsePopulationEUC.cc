#include "SparsePopulationEUC/SparsePopulationEUC.h"

#include <cstring>

namespace vorn {

bool ReadWholeFile(Env& env, const std::string& name, ByteBuffer* bytes, IoError* error) {
  FileHandle file = kNoFile;
  std::size_t size = 0;
  if (!env.OpenTable(name, &file, &size, error)) return false;
  if (bytes->capacity() < size + kRecordSize) {
    *bytes = ByteBuffer();  // freed before its successor is allocated
    *bytes = ByteBuffer(size + kRecordSize);
  }
  // One read takes the whole of any table; a file that shrank since its
  // size was taken ends the reading early.
  std::size_t done = 0;
  std::size_t got = 0;
  bool read = true;
  while (done < size && (read = env.Read(file, bytes->data() + done, size - done, &got, error)) &&
         got > 0) {
    done += got;
  }
  IoError ignored;
  (void)env.Close(file, &ignored);  // read only: a failed close loses nothing
  if (!read) {
    *bytes = ByteBuffer();  // partly overwritten: of no further use
    return false;
  }
  // Whatever an earlier read, or a pass completing a partial record, left
  // after the file's bytes reads as zero again.
  std::memset(bytes->data() + done, 0, bytes->capacity() - done);
  bytes->set_size(done);
  return true;
}

Outcome ReadTableFile(Env& env, const TablePaths& paths, TableFile* table, IoError* error) {
  for (const std::string& path : paths) {
    FileKind kind = FileKind::kMissing;
    std::string file;
    table->path = path;
    if (!env.Examine(path, &kind, &file, error)) return Outcome::kFailed;
    if (kind != FileKind::kFile) continue;
    return ReadWholeFile(env, path, &table->bytes, error) ? Outcome::kDone : Outcome::kFailed;
  }
  return Outcome::kTableMissing;
}

void SparseEUC::Load(const ByteBuffer& table) {
  WalkRecords(table.data(), table.size(), [this](std::uint32_t key, const std::uint8_t* record) {
    values_[key] = {record[2], record[3]};
  });
}

Outcome SparseEUC::Populate(Env& env, const TablePaths& paths, bool show_table, TableFile* table,
                            IoError* error) {
  Outcome read = ReadTableFile(env, paths, table, error);
  if (read != Outcome::kDone) return read;
  Load(table->bytes);
  if (show_table)
    env.WriteLine(table->path + " is primarily accessible to vorn.", LineKind::kAssembled);
  return Outcome::kDone;
}

}  // namespace vorn
