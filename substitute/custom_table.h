// What the single and the list substitution share: loading the store,
// reading the table again, and writing the customised copy.
#ifndef VORN_SUBSTITUTE_CUSTOM_TABLE_H_
#define VORN_SUBSTITUTE_CUSTOM_TABLE_H_

#include <functional>
#include <string>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "platform/env.h"

namespace vorn {

// How a substitution run ended.
enum class RunResult {
  kDone,          // the output was written
  kTableMissing,  // no table file in either place; nothing was written
  kFailed,        // a file failure, described by the IoError
};

RunResult ResultOf(TableRead read);

// Reads the table a second time into `table` (reusing the buffer of the
// first read), lets `substitute` change the value bytes of its records in
// place, and replaces `output_name` with the result.  The output is opened
// only once the table has been read whole, so it may name the table
// itself.
RunResult WriteCustomTable(Env& env, const std::string& output_name, TableFile* table,
                           const std::function<void(ByteBuffer&)>& substitute, IoError* error);

}  // namespace vorn

#endif  // VORN_SUBSTITUTE_CUSTOM_TABLE_H_
