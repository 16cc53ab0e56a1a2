#include "substitute/custom_table.h"

#include <memory>

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

RunResult WriteCustomTable(Env& env, const std::string& output_name,
                           const std::function<void(ByteBuffer&)>& substitute, IoError* error) {
  TableFile table;
  TableRead read = ReadTableFile(env, &table, error);
  if (read != TableRead::kRead) return ResultOf(read);
  substitute(table.bytes);

  std::unique_ptr<WritableFile> output;
  if (!env.NewOutputFile(output_name, &output, error)) return RunResult::kFailed;
  // Four bytes for every record walked: a partial last record is written
  // completed by the zero bytes the buffer holds after the file's bytes.
  if (!output->Append(table.bytes.data(), RecordBytes(table.bytes.size()), error) ||
      !output->Commit(error)) {
    return RunResult::kFailed;
  }
  return RunResult::kDone;
}

}  // namespace vorn
