// Characters of code page 932 and their MS932 codes.
#ifndef VORN_SUBSTITUTE_MS932_CODE_H_
#define VORN_SUBSTITUTE_MS932_CODE_H_

#include <cstdint>
#include <string_view>

namespace vorn {

// The code of a text holding no complete character: 0x10000 for the empty
// text, 0x10000 + the lead byte for a text that ends after a lead byte.
// No table record has such a key, so such a code matches nothing and
// reads as 00 00.
inline constexpr std::uint32_t kIncompleteCode = 0x10000;

// The MS932 code of the first character of `text`: a one-byte character's
// byte, or lead byte * 256 + trail byte.  Later bytes are ignored.
std::uint32_t MS932Code(std::string_view text);

}  // namespace vorn

#endif  // VORN_SUBSTITUTE_MS932_CODE_H_
