#include "platform/failure_report.h"

#include <cstdio>
#include <cstdlib>

namespace vorn {

std::string UnknownErrorMessage(unsigned long code) {
  if (code >= 19 && code <= 31) code += 131;
  char text[64];
  (void)std::snprintf(text, sizeof text, "Unknown Run-Time error : %3.3lu", code);
  return text;
}

std::string MessageForWindowsError(unsigned long code) {
  static const struct {
    unsigned long code;
    const char* message;
  } kMessages[] = {
      {2, kFileNotFound},       // ERROR_FILE_NOT_FOUND
      {3, kInvalidFilename},    // ERROR_PATH_NOT_FOUND
      {206, kInvalidFilename},  // ERROR_FILENAME_EXCED_RANGE
      {4, kTooManyOpenFiles},   // ERROR_TOO_MANY_OPEN_FILES
      {5, kAccessDenied},       // ERROR_ACCESS_DENIED
      {32, kAccessDenied},      // ERROR_SHARING_VIOLATION
      {6, kInvalidFileHandle},  // ERROR_INVALID_HANDLE
      {15, kInvalidDrive},      // ERROR_INVALID_DRIVE
      {39, kDiskFull},          // ERROR_HANDLE_DISK_FULL
      {112, kDiskFull},         // ERROR_DISK_FULL
  };
  for (const auto& known : kMessages) {
    if (known.code == code) return known.message;
  }
  return UnknownErrorMessage(code);
}

std::size_t FormatFailureReport(std::string_view kind, std::string_view message,
                                const std::uint32_t* locations, std::size_t location_count,
                                char* out, std::size_t capacity) {
  std::size_t size = 0;
  auto put = [&](std::string_view text) {  // what does not fit is dropped
    for (char c : text) {
      if (size < capacity) out[size++] = c;
    }
  };
  auto put_location = [&](std::uint32_t location) {
    char hex[16];
    (void)std::snprintf(hex, sizeof hex, "$%08X", static_cast<unsigned>(location));
    put(hex);
  };
  put("An unhandled exception occurred at ");
  put_location(location_count > 0 ? locations[0] : 0);
  put(":\r\n");
  put(kind);
  put(": ");
  put(message);
  put("\r\n");
  for (std::size_t i = 0; i < location_count; ++i) {
    put("  ");
    put_location(locations[i]);
    put("\r\n");
  }
  put("\r\n");
  return size;
}

void WriteReport(std::string_view kind, std::string_view message, const std::uint32_t* locations,
                 std::size_t count) {
  char report[2048];
  WriteToStandardError(report,
                       FormatFailureReport(kind, message, locations, count, report, sizeof report));
}

[[gnu::noinline]] bool Fail(IoError* error, std::string message) {
  std::uint32_t locations[kMaxLocations];
  std::size_t count = CaptureLocations(1, locations, kMaxLocations);
  error->message = std::move(message);
  error->locations.assign(locations, locations + count);
  return false;
}

void ReportOutOfMemory() {
  RemoveUnfinishedFile();
  std::uint32_t locations[kMaxLocations];
  std::size_t count = CaptureLocations(0, locations, kMaxLocations);
  WriteReport(kOutOfMemoryKind, kOutOfMemoryMessage, locations, count);
  std::_Exit(kFailureExitStatus);
}

void Env::ReportFailure(const IoError& error) {
  WriteReport(kInOutErrorKind, error.message, error.locations.data(), error.locations.size());
}

}  // namespace vorn
