// The one byte rule of code page 932 that everything from the command-line
// splitter up to MS932Code needs; it includes nothing, so any file may use it.
#ifndef VORN_PLATFORM_CP932_H_
#define VORN_PLATFORM_CP932_H_

namespace vorn {

// True for the bytes that begin a two-byte character: 0x81-0xA0 and
// 0xE0-0xFC.  Every other byte is a character by itself.
inline bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0xA0) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace vorn

#endif  // VORN_PLATFORM_CP932_H_
