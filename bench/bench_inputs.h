// The inputs the benchmarks share: the full table, a large table and a
// substitution list of MaxSubstitutes lines.  Made without iconv, so their
// value bytes are a plain function of the key; only their shape matters.
#ifndef VORN_BENCH_BENCH_INPUTS_H_
#define VORN_BENCH_BENCH_INPUTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn::bench {

// The 158 one-byte records (0x20-0x7E, 0xA1-0xDF), then one two-byte
// record for every code 0x0000-0xFFFF: the largest table without a
// duplicate key.
std::vector<std::uint8_t> FullTable();

// The full table's one-byte records, then two-byte records for the codes
// 0x0000-0xFFFF over and over, cut at `size` bytes.
std::vector<std::uint8_t> LargeTable(std::size_t size);

inline constexpr std::size_t kLargeTableSize = std::size_t{64} << 20;

// MaxSubstitutes lines of two two-byte characters, ended by CR LF: the
// sources are distinct kanji (0x889F upwards) that every table above and
// the standard table hold, the replacements the full-width digits.
std::string SubstitutionList();

}  // namespace vorn::bench

#endif  // VORN_BENCH_BENCH_INPUTS_H_
