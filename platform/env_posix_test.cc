// The POSIX error map, on real paths where the message depends on the
// folder (a missing file in an existing folder, or a missing folder).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/failure_report.h"

namespace vorn {
namespace {

TEST(MessageForErrnoTest, MapsEveryListedError) {
  char folder[] = "/tmp/vorn-errno-test-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string in_folder = std::string(folder) + "/table.bin";
  const struct {
    int err;
    std::string path;
    std::string message;
  } cases[] = {
      {ENOSPC, "", "Disk Full"},
      {EFBIG, "", "Disk Full"},
      {EDQUOT, "", "Disk Full"},
      {ENOENT, in_folder, "File not found"},
      {ENOENT, "table.bin", "File not found"},  // the current folder
      {ENOENT, std::string(folder) + "/missing/table.bin", "Invalid filename"},
      {ENOTDIR, in_folder, "Invalid filename"},
      {ENAMETOOLONG, in_folder, "Invalid filename"},
      {ELOOP, in_folder, "Invalid filename"},
      {EACCES, in_folder, "Access denied"},
      {EPERM, in_folder, "Access denied"},
      {EISDIR, in_folder, "Access denied"},
      {EROFS, in_folder, "Access denied"},
      {ETXTBSY, in_folder, "Access denied"},
      {EBUSY, in_folder, "Access denied"},
      {EMFILE, in_folder, "Too many open files"},
      {ENFILE, in_folder, "Too many open files"},
      {EBADF, "", "Invalid file handle"},
      // Any other error is shown by number, 19 to 31 shifted by 131 (EIO
      // is 5 and ENODEV 19 on Linux and the BSDs).
      {EIO, in_folder, "Unknown Run-Time error : 005"},
      {ENODEV, in_folder, "Unknown Run-Time error : 150"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MessageForErrno(c.err, c.path), c.message) << c.err << " " << c.path;
  }
  rmdir(folder);
}

}  // namespace
}  // namespace vorn
