// The whole-file read of the POSIX environment on real files.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/env.h"

namespace vorn {
namespace {

class PosixReadWholeFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/vorn-env-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    path_ = folder_ + "/table.bin";
  }
  void TearDown() override {
    unlink(path_.c_str());
    rmdir(folder_.c_str());
  }

  void WriteFile(const std::string& bytes) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  std::string folder_;
  std::string path_;
};

std::string Pattern(std::size_t size, char seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i % 251);
  return bytes;
}

// One buffer read again as the file shrinks and grows: each read gives
// exactly the file's bytes followed by zero bytes to the buffer's end, even
// where the caller had changed the bytes after the last contents, and the
// buffer is kept while it is large enough.
TEST_F(PosixReadWholeFileTest, ReusedBufferHoldsTheNewContentsAndZeros) {
  const struct {
    std::size_t size;
    bool reused;  // whether the previous buffer is large enough
  } reads[] = {{300000, false}, {7, true}, {300000, true}, {300001, false}};
  Env& env = *Env::Default();
  ByteBuffer buffer;
  char seed = 'a';
  for (const auto& read : reads) {
    const std::string bytes = Pattern(read.size, seed++);
    WriteFile(bytes);
    // A new buffer is exactly as large as the read needs; a kept one keeps
    // its capacity.  (Its address proves nothing: freed memory may be
    // handed out again at once.)
    const std::size_t capacity =
        read.reused ? buffer.capacity() : read.size + ByteBuffer::kReadTail;
    IoError error;
    ASSERT_TRUE(env.ReadWholeFile(path_, &buffer, &error)) << error.message;
    EXPECT_EQ(buffer.capacity(), capacity) << read.size;
    ASSERT_EQ(buffer.size(), read.size);
    EXPECT_EQ(std::memcmp(buffer.data(), bytes.data(), bytes.size()), 0) << read.size;
    std::size_t nonzero = read.size;
    while (nonzero < buffer.capacity() && buffer.data()[nonzero] == 0) ++nonzero;
    EXPECT_EQ(nonzero, buffer.capacity()) << "stale byte after " << read.size << " bytes";
    // What a rewrite pass may do: complete a partial record in place.
    std::memset(buffer.data() + read.size, 0x5A, 3);
  }
}

TEST_F(PosixReadWholeFileTest, FailedReadOfAMissingFile) {
  Env& env = *Env::Default();
  ByteBuffer buffer;
  IoError error;
  EXPECT_FALSE(env.ReadWholeFile(path_, &buffer, &error));
  EXPECT_EQ(error.message, "File not found");
}

}  // namespace
}  // namespace vorn
