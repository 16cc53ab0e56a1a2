// vorn-bench-input: writes one of the benchmark inputs to a file.
//
//   vorn-bench-input full|large|list FILE
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_inputs.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vorn-bench-input full|large|list FILE\n");
    return 2;
  }
  const std::string kind = argv[1];
  std::string bytes;
  if (kind == "full" || kind == "large") {
    std::vector<std::uint8_t> table = kind == "full"
                                          ? vorn::bench::FullTable()
                                          : vorn::bench::LargeTable(vorn::bench::kLargeTableSize);
    bytes.assign(table.begin(), table.end());
  } else if (kind == "list") {
    bytes = vorn::bench::SubstitutionList();
  } else {
    std::fprintf(stderr, "vorn-bench-input: unknown input %s\n", kind.c_str());
    return 2;
  }
  std::FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
