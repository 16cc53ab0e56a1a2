// ByteBuffer: the reuse of a buffer across whole-file reads, and the
// memory it releases.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/env.h"

namespace vorn {
namespace {

// Reads `bytes` into `buffer` as an Env does.
void Read(ByteBuffer* buffer, const std::string& bytes) {
  buffer->BeginRead(bytes.size());
  std::memcpy(buffer->data(), bytes.data(), bytes.size());
  buffer->EndRead(bytes.size());
}

// One buffer takes contents that shrink and grow, both below and above the
// size from which a buffer is a mapping of its own: it is kept while large
// enough, and each time holds exactly the contents followed by zero bytes
// to its end, even where the previous user had changed the bytes after its
// contents (as a rewrite pass completing a partial record does).
TEST(ByteBufferTest, ReadsReuseTheBufferAndLeaveZerosAfterTheContents) {
  const struct {
    std::size_t size;
    bool reused;  // whether the previous buffer was large enough
  } reads[] = {{10, false},    {6, true},      {0, true},       {9, true}, {300000, false},
               {200001, true}, {300000, true}, {300001, false}, {3, true}, {1000000, false}};
  ByteBuffer buffer;
  char seed = 'a';
  for (const auto& read : reads) {
    std::string bytes(read.size, '\0');
    for (std::size_t i = 0; i < read.size; ++i) bytes[i] = static_cast<char>(seed + i % 251);
    ++seed;
    // A new buffer is exactly as large as the read needs; a kept one keeps
    // its capacity.  (Its address proves nothing: freed memory may be
    // handed out again at once.)
    const std::size_t capacity =
        read.reused ? buffer.capacity() : read.size + ByteBuffer::kReadTail;
    Read(&buffer, bytes);
    EXPECT_EQ(buffer.capacity(), capacity) << read.size;
    ASSERT_EQ(buffer.size(), read.size);
    EXPECT_EQ(std::memcmp(buffer.data(), bytes.data(), bytes.size()), 0) << read.size;
    std::size_t zero = read.size;
    while (zero < buffer.capacity() && buffer.data()[zero] == 0) ++zero;
    EXPECT_EQ(zero, buffer.capacity()) << "stale byte after " << read.size << " bytes";
    std::memset(buffer.data() + read.size, 0x5A, 3);
  }
}

}  // namespace
}  // namespace vorn
