#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/env.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace vorn {
namespace {

#ifdef __linux__
// From this size on a buffer is a mapping of its own: its pages come from
// the system zeroed and untouched.
// (Huge pages were tried for large tables: on a virtual machine their
// first touch was as often much slower as faster.)
constexpr std::size_t kMapThreshold = std::size_t{128} << 10;

std::uint8_t* MapZeroed(std::size_t capacity) {
  void* block = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(block);
}
#endif

}  // namespace

ByteBuffer::ByteBuffer(std::size_t capacity) : capacity_(capacity) {
#ifdef __linux__
  if (capacity >= kMapThreshold) {
    data_ = MapZeroed(capacity);
    if (data_ == nullptr) ReportOutOfMemory();
    mapped_ = true;
    return;
  }
#endif
  // Elsewhere, and for small buffers, calloc: it hands out fresh pages
  // without touching them and clears only memory it hands out again.
  data_ = static_cast<std::uint8_t*>(std::calloc(capacity == 0 ? 1 : capacity, 1));
  if (data_ == nullptr) ReportOutOfMemory();
}

ByteBuffer::~ByteBuffer() {
  if (data_ == nullptr) return;
#ifdef __linux__
  if (mapped_) {
    munmap(data_, capacity_);
    return;
  }
#endif
  std::free(data_);
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      size_(std::exchange(other.size_, 0)),
      stale_(std::exchange(other.stale_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    ByteBuffer old(std::move(*this));
    data_ = std::exchange(other.data_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
    size_ = std::exchange(other.size_, 0);
    stale_ = std::exchange(other.stale_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

void ByteBuffer::BeginRead(std::size_t size) {
  if (capacity_ >= size + kReadTail) {
    // A caller may have changed the zero bytes after the contents, to
    // complete a partial record.
    stale_ = size_ + kReadTail < capacity_ ? size_ + kReadTail : capacity_;
  } else {
    *this = ByteBuffer();  // freed before its successor is allocated
    *this = ByteBuffer(size + kReadTail);
    stale_ = 0;
  }
  size_ = 0;
}

void ByteBuffer::EndRead(std::size_t done) {
  if (stale_ > done) std::memset(data_ + done, 0, stale_ - done);
  stale_ = 0;
  size_ = done;
}

}  // namespace vorn
