// The whole-file read of the POSIX environment on real files, and the
// memory a ByteBuffer releases.
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

// One buffer read again and again as the file shrinks and grows, both on
// the heap and as a mapping of its own: each read gives exactly the file's
// bytes followed by zero bytes to the buffer's end, even where the caller
// had changed the bytes after the last contents.
TEST_F(PosixReadWholeFileTest, ReusedBufferHoldsTheNewContentsAndZeros) {
  const struct {
    std::size_t size;
    bool reused;  // whether the previous buffer is large enough
  } reads[] = {{10, false},    {6, true},      {0, true},       {9, true}, {300000, false},
               {200001, true}, {300000, true}, {300001, false}, {3, true}, {1000000, false}};
  Env& env = *Env::Default();
  ByteBuffer buffer;
  char seed = 'a';
  for (const auto& read : reads) {
    const std::string bytes = Pattern(read.size, seed++);
    WriteFile(bytes);
    const std::uint8_t* before = buffer.data();
    IoError error;
    ASSERT_TRUE(env.ReadWholeFile(path_, &buffer, &error)) << error.message;
    EXPECT_EQ(buffer.data() == before, read.reused) << read.size;
    ASSERT_EQ(buffer.size(), read.size);
    ASSERT_GE(buffer.capacity(), read.size + 4);
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

// Releasing the front of a buffer leaves every byte from the page that
// holds `end` onwards as it was, for buffers on the heap and mapped ones.
TEST(ByteBufferTest, ReleaseFrontKeepsTheBytesFromEndOn) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  for (std::size_t capacity : {std::size_t{1000}, std::size_t{1} << 20}) {
    ByteBuffer buffer(capacity);
    std::memset(buffer.data(), 0xAB, capacity);
    const std::size_t end = capacity > 3 * page ? 3 * page + 100 : 500;
    buffer.ReleaseFront(end);
    const std::size_t kept = end / page * page;
    std::size_t intact = kept;
    while (intact < capacity && buffer.data()[intact] == 0xAB) ++intact;
    EXPECT_EQ(intact, capacity) << capacity;
  }
}

}  // namespace
}  // namespace vorn
