#include "substitute/custom_table.h"

#include <memory>

namespace vorn {
namespace {

constexpr std::size_t kWritePiece = std::size_t{8} << 20;

}  // namespace

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

  std::unique_ptr<WritableFile> output;
  if (!env.NewOutputFile(output_name, &output, error)) return RunResult::kFailed;
  // Four bytes for every record walked: a partial last record is written
  // completed by the zero bytes the buffer holds after the file's bytes.
  // A large table goes out in pieces, each piece's memory released once
  // written, so the system can hold the output in the memory the table
  // leaves rather than in memory it must find afresh.
  const std::size_t end = RecordBytes(bytes.size());
  for (std::size_t done = 0; done < end;) {
    std::size_t piece = end - done < kWritePiece ? end - done : kWritePiece;
    if (!output->Append(bytes.data() + done, piece, error)) return RunResult::kFailed;
    done += piece;
    bytes.ReleaseFront(done);
  }
  if (!output->Commit(error)) return RunResult::kFailed;
  return RunResult::kDone;
}

}  // namespace vorn
