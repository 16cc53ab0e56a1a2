// The failure report a run ends with when a file operation fails or memory
// runs out, and the messages every system's errors are mapped onto.
#ifndef VORN_PLATFORM_FAILURE_REPORT_H_
#define VORN_PLATFORM_FAILURE_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace vorn {

inline constexpr int kFailureExitStatus = 217;

inline constexpr char kInOutErrorKind[] = "EInOutError";
inline constexpr char kOutOfMemoryKind[] = "EOutOfMemory";
inline constexpr char kOutOfMemoryMessage[] = "Out of memory";

inline constexpr char kDiskFull[] = "Disk Full";
inline constexpr char kFileNotFound[] = "File not found";
inline constexpr char kInvalidFilename[] = "Invalid filename";
inline constexpr char kAccessDenied[] = "Access denied";
inline constexpr char kTooManyOpenFiles[] = "Too many open files";
inline constexpr char kInvalidFileHandle[] = "Invalid file handle";
inline constexpr char kInvalidDrive[] = "Invalid drive specified";

// The message of an operating-system error with none of its own: its
// number, at least three digits.  Codes 19 to 31 collide with the
// run-time's own numbers and are shown shifted by 131, as the run-time has
// always shown them.
std::string UnknownErrorMessage(unsigned long code);

// The message of the Windows error `code` (GetLastError()); plain code,
// tested on every system.
std::string MessageForWindowsError(unsigned long code);

// The message of the POSIX error `err` met on `path` (POSIX systems only):
// a missing file in an existing folder is not found, a missing folder on
// the way makes the name itself invalid.
std::string MessageForErrno(int err, const std::string& path);

// Writes the report into `out`, at most `capacity` bytes and without
// allocating, so that it also serves when memory has run out, and returns
// its length:
//   An unhandled exception occurred at $XXXXXXXX:
//   <kind>: <message>
//     $XXXXXXXX            (one line per location)
//   <empty line>
// every line ended by CR LF.
std::size_t FormatFailureReport(std::string_view kind, std::string_view message,
                                const std::uint32_t* locations, std::size_t location_count,
                                char* out, std::size_t capacity);

// Writes the report to standard error, allocating nothing.
void WriteReport(std::string_view kind, std::string_view message, const std::uint32_t* locations,
                 std::size_t count);

// Fills `error` with `message` and the call chain of its caller, so that
// the first location is the call that failed, and returns false.
bool Fail(IoError* error, std::string message);

// What each system provides for the report, allocating nothing: the call
// sites of the current call chain in vorn's own executable, innermost
// first, as offsets from its load address, less the `skip` innermost; and
// a write to standard error.
inline constexpr std::size_t kMaxLocations = 16;
std::size_t CaptureLocations(std::size_t skip, std::uint32_t* out, std::size_t capacity);
void WriteToStandardError(const char* data, std::size_t size);
// Removes the file named by Env::SetUnfinishedFile, if any; safe in a
// signal handler.
void RemoveUnfinishedFile();

}  // namespace vorn

#endif  // VORN_PLATFORM_FAILURE_REPORT_H_
