#include "substitute/custom_table.h"

#include "platform/output_file.h"

namespace vorn {

RunResult ResultOf(TableRead read) {
  switch (read) {
    case TableRead::kRead:
      return RunResult::kDone;
    case TableRead::kMissing:
      return RunResult::kTableMissing;
    case TableRead::kFailed:
      break;
  }
  return RunResult::kFailed;
}

RunResult WriteCustomTable(Env& env, const std::string& output_name, TableFile* table,
                           const std::function<void(ByteBuffer&)>& substitute, IoError* error) {
  TableRead read = ReadTableFile(env, table, error);
  if (read != TableRead::kRead) return ResultOf(read);
  ByteBuffer& bytes = table->bytes;
  substitute(bytes);

  // Four bytes for every record walked: a partial last record is written
  // completed by the zero bytes the buffer holds after the file's bytes.
  return WriteOutputFile(env, output_name, bytes.data(), RecordBytes(bytes.size()), error)
             ? RunResult::kDone
             : RunResult::kFailed;
}

}  // namespace vorn
