#include <cstdlib>
#include <utility>

#include "platform/env.h"

namespace vorn {

ByteBuffer::ByteBuffer(std::size_t capacity) {
  // calloc hands out zeroed pages without touching them, which keeps a
  // large table's first read from paying for the zero fill twice.
  data_ = static_cast<std::uint8_t*>(std::calloc(capacity == 0 ? 1 : capacity, 1));
  if (data_ == nullptr) ReportOutOfMemory();
}

ByteBuffer::~ByteBuffer() { std::free(data_); }

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

}  // namespace vorn
