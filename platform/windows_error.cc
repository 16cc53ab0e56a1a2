#include "platform/windows_error.h"

#include "platform/failure_report.h"

namespace vorn {

std::string MessageForWindowsError(unsigned long code) {
  switch (code) {
    case 2:  // ERROR_FILE_NOT_FOUND
      return kFileNotFound;
    case 3:    // ERROR_PATH_NOT_FOUND
    case 206:  // ERROR_FILENAME_EXCED_RANGE
      return kInvalidFilename;
    case 4:  // ERROR_TOO_MANY_OPEN_FILES
      return kTooManyOpenFiles;
    case 5:   // ERROR_ACCESS_DENIED
    case 32:  // ERROR_SHARING_VIOLATION
      return kAccessDenied;
    case 6:  // ERROR_INVALID_HANDLE
      return kInvalidFileHandle;
    case 15:  // ERROR_INVALID_DRIVE
      return kInvalidDrive;
    case 39:   // ERROR_HANDLE_DISK_FULL
    case 112:  // ERROR_DISK_FULL
      return kDiskFull;
    default:
      return UnknownErrorMessage(code);
  }
}

}  // namespace vorn
