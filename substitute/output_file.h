// Writing an output file so that it is replaced whole or not at all, and
// the customised table written as one.  Plain code above the platform
// seam, built from the Env's file primitives.
#ifndef VORN_SUBSTITUTE_OUTPUT_FILE_H_
#define VORN_SUBSTITUTE_OUTPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "platform/env.h"

namespace vorn {

// Writes the `size` bytes at `data` as the output `name`; the empty name
// is standard output.  A device or FIFO is written as it is.  A regular
// file is replaced whole or not at all: the bytes go to a new file beside
// it, which takes the old file's protection (a file that is not writable
// in its own right is refused), is flushed to disk and then put in its
// place.  Should anything fail, or the run be interrupted, that new file
// is removed and the old one stays as it was.  Where the folder takes no
// new file (or no longer name) but the old file may be written, it is
// overwritten in place: its room is reserved first, so that a full disk
// refuses the run before a byte changes, and an interrupt waits until the
// file is whole again.
bool WriteOutputFile(Env& env, const std::string& name, const std::uint8_t* data, std::size_t size,
                     IoError* error);

// Writes the records of the table in `table` as the output `name`: four
// bytes for every record walked, so a partial last record is written
// completed by the zero bytes the buffer holds after the file's bytes.
bool WriteTable(Env& env, const std::string& name, const ByteBuffer& table, IoError* error);

}  // namespace vorn

#endif  // VORN_SUBSTITUTE_OUTPUT_FILE_H_
