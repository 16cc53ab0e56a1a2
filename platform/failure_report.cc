#include "platform/failure_report.h"

#include <cstdio>

namespace vorn {

std::string UnknownErrorMessage(unsigned long code) {
  if (code >= 19 && code <= 31) code += 131;
  char text[64];
  (void)std::snprintf(text, sizeof text, "Unknown Run-Time error : %3.3lu", code);
  return text;
}

namespace {

// Appends to a fixed buffer, silently dropping what does not fit.
class FixedWriter {
 public:
  FixedWriter(char* out, std::size_t capacity) : out_(out), capacity_(capacity) {}

  void Put(std::string_view text) {
    for (char c : text) {
      if (size_ == capacity_) return;
      out_[size_++] = c;
    }
  }

  void PutLocation(std::uint32_t location) {
    char hex[16];
    (void)std::snprintf(hex, sizeof hex, "$%08X", static_cast<unsigned>(location));
    Put(hex);
  }

  std::size_t size() const { return size_; }

 private:
  char* out_;
  std::size_t capacity_;
  std::size_t size_ = 0;
};

}  // namespace

std::size_t FormatFailureReport(std::string_view kind, std::string_view message,
                                const std::uint32_t* locations, std::size_t location_count,
                                char* out, std::size_t capacity) {
  FixedWriter writer(out, capacity);
  writer.Put("An unhandled exception occurred at ");
  writer.PutLocation(location_count > 0 ? locations[0] : 0);
  writer.Put(":\r\n");
  writer.Put(kind);
  writer.Put(": ");
  writer.Put(message);
  writer.Put("\r\n");
  for (std::size_t i = 0; i < location_count; ++i) {
    writer.Put("  ");
    writer.PutLocation(locations[i]);
    writer.Put("\r\n");
  }
  writer.Put("\r\n");
  return writer.size();
}

}  // namespace vorn
