// The failure report a run ends with when a file operation fails or memory
// runs out, and the message texts shared by every platform.
#ifndef VORN_PLATFORM_FAILURE_REPORT_H_
#define VORN_PLATFORM_FAILURE_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

// Exit status of a run that ended with the failure report.
inline constexpr int kFailureExitStatus = 217;

inline constexpr char kInOutErrorKind[] = "EInOutError";
inline constexpr char kOutOfMemoryKind[] = "EOutOfMemory";
inline constexpr char kOutOfMemoryMessage[] = "Out of memory";

// The file failure messages that every platform maps its errors onto.
inline constexpr char kDiskFull[] = "Disk Full";
inline constexpr char kFileNotFound[] = "File not found";
inline constexpr char kInvalidFilename[] = "Invalid filename";
inline constexpr char kAccessDenied[] = "Access denied";
inline constexpr char kTooManyOpenFiles[] = "Too many open files";
inline constexpr char kInvalidFileHandle[] = "Invalid file handle";
inline constexpr char kInvalidDrive[] = "Invalid drive specified";

// The message for an operating-system error with no message of its own.
// Codes 19 to 31 collide with the run-time's own numbers and are shown
// shifted by 131, as the run-time has always shown them.
std::string UnknownErrorMessage(unsigned long code);

// Writes the report into `out` (at most `capacity` bytes, never allocating,
// so that it also serves when memory has run out) and returns its length:
//   An unhandled exception occurred at $XXXXXXXX:
//   <kind>: <message>
//     $XXXXXXXX            (one line per location)
//   <empty line>
// every line ended by CR LF.
std::size_t FormatFailureReport(std::string_view kind, std::string_view message,
                                const std::uint32_t* locations, std::size_t location_count,
                                char* out, std::size_t capacity);

}  // namespace vorn

#endif  // VORN_PLATFORM_FAILURE_REPORT_H_
