#include "platform/failure_report.h"

#include <gtest/gtest.h>

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

TEST(FailureReportTest, UnknownErrorNumbers) {
  EXPECT_EQ(UnknownErrorMessage(5), "Unknown Run-Time error : 005");
  EXPECT_EQ(UnknownErrorMessage(18), "Unknown Run-Time error : 018");
  EXPECT_EQ(UnknownErrorMessage(19), "Unknown Run-Time error : 150");
  EXPECT_EQ(UnknownErrorMessage(31), "Unknown Run-Time error : 162");
  EXPECT_EQ(UnknownErrorMessage(32), "Unknown Run-Time error : 032");
  EXPECT_EQ(UnknownErrorMessage(1234), "Unknown Run-Time error : 1234");
}

}  // namespace
}  // namespace vorn
