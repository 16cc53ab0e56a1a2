#include "platform/failure_report.h"

#include <gtest/gtest.h>

#include <string>

namespace vorn {
namespace {

TEST(FailureReportTest, LayoutOfTheReport) {
  const std::uint32_t locations[] = {0x4561, 0xABCDEF12};
  char out[512];
  std::size_t size = FormatFailureReport(kInOutErrorKind, kDiskFull, locations, 2, out, sizeof out);
  EXPECT_EQ(std::string(out, size),
            "An unhandled exception occurred at $00004561:\r\n"
            "EInOutError: Disk Full\r\n"
            "  $00004561\r\n"
            "  $ABCDEF12\r\n"
            "\r\n");
}

TEST(FailureReportTest, NeverWritesPastTheBuffer) {
  char out[16];
  std::size_t size =
      FormatFailureReport(kOutOfMemoryKind, kOutOfMemoryMessage, nullptr, 0, out, sizeof out);
  EXPECT_EQ(std::string(out, size), "An unhandled exc");
}

TEST(MessageForWindowsErrorTest, MapsEveryListedCode) {
  const struct {
    unsigned long code;
    std::string message;
  } cases[] = {
      {2, "File not found"},
      {3, "Invalid filename"},
      {206, "Invalid filename"},
      {4, "Too many open files"},
      {5, "Access denied"},
      {32, "Access denied"},  // a sharing violation
      {6, "Invalid file handle"},
      {15, "Invalid drive specified"},
      {39, "Disk Full"},
      {112, "Disk Full"},
      // Any other code is shown by number, at least three digits, 19 to
      // 31 shifted by 131.
      {1, "Unknown Run-Time error : 001"},
      {18, "Unknown Run-Time error : 018"},
      {19, "Unknown Run-Time error : 150"},
      {31, "Unknown Run-Time error : 162"},
      {33, "Unknown Run-Time error : 033"},
      {123, "Unknown Run-Time error : 123"},
      {1920, "Unknown Run-Time error : 1920"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MessageForWindowsError(c.code), c.message) << c.code;
  }
}

}  // namespace
}  // namespace vorn
