#include "substitute/ms932_code.h"

#include "platform/cp932.h"

namespace vorn {

std::uint32_t MS932Code(std::string_view text) {
  if (text.empty()) return kIncompleteCode;
  auto first = static_cast<unsigned char>(text[0]);
  if (!IsLeadByte(first)) return first;
  if (text.size() == 1) return kIncompleteCode + first;
  return static_cast<std::uint32_t>(first) << 8 | static_cast<unsigned char>(text[1]);
}

}  // namespace vorn
