// The failure messages of Windows' error codes (GetLastError()).  Plain
// code, so that the mapping is tested on every platform.
#ifndef VORN_PLATFORM_WINDOWS_ERROR_H_
#define VORN_PLATFORM_WINDOWS_ERROR_H_

#include <string>

namespace vorn {

// The message the failure report shows for the Windows error `code`.
std::string MessageForWindowsError(unsigned long code);

}  // namespace vorn

#endif  // VORN_PLATFORM_WINDOWS_ERROR_H_
