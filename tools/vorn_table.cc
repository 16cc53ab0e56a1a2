// vorn-table: makes the standard conversion table vorn customises.
//
//   vorn-table make [FILE]
//
// The table is made with the system's iconv from code page 932 to EUC-JP:
// first the 158 one-byte characters (0x20-0x7E, then 0xA1-0xDF), each as
// its byte, 0x00 and its EUC-JP bytes left-aligned and padded with 0x00;
// then every two-byte code that code page 932 defines, in ascending order,
// with its two-byte EUC-JP code, or 00 00 where EUC-JP has none or only a
// three-byte one.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "platform/env.h"

namespace vorn {
namespace {

constexpr int kExitUsage = 2;

int Fail(const std::string& what, const std::string& why) {
  (void)std::fprintf(stderr, "vorn-table: %s: %s\n", what.c_str(), why.c_str());
  return kExitUsage;
}

// One iconv conversion, reset before every use.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in` to `out`; false when any of it does not convert.
  bool Convert(const std::string& in, std::string* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[32];
    char* in_ptr = const_cast<char*>(in.data());
    std::size_t in_left = in.size();
    char* out_ptr = buffer;
    std::size_t out_left = sizeof buffer;
    if (iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1) ||
        iconv(cd_, nullptr, nullptr, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) {
      return false;
    }
    out->assign(buffer, static_cast<std::size_t>(out_ptr - buffer));
    return true;
  }

 private:
  iconv_t cd_;
};

struct Counts {
  std::size_t records = 0;
  std::size_t mapped = 0;
};

void AddRecord(std::vector<std::uint8_t>* table, std::uint8_t key0, std::uint8_t key1,
               const std::string& euc, Counts* counts) {
  std::uint8_t value[2] = {0, 0};
  if (euc.size() <= 2) {
    std::copy(euc.begin(), euc.end(), value);
    if (!euc.empty()) ++counts->mapped;
  }
  table->insert(table->end(), {key0, key1, value[0], value[1]});
  ++counts->records;
}

bool BuildStandardTable(std::vector<std::uint8_t>* table, Counts* counts, std::string* why) {
  Converter decode("UTF-32LE", "CP932");
  Converter encode("EUC-JP", "UTF-32LE");
  if (!decode.ok() || !encode.ok()) {
    *why = "iconv cannot convert between CP932 and EUC-JP";
    return false;
  }
  // The EUC-JP bytes of a CP932 character; empty when it has none.  The
  // second result is false when CP932 itself does not define the code.
  auto euc_of = [&](const std::string& cp932, std::string* euc) {
    std::string unicode;
    if (!decode.Convert(cp932, &unicode)) return false;
    if (!encode.Convert(unicode, euc)) euc->clear();
    return true;
  };

  std::string euc;
  for (int byte = 0; byte <= 0xFF; ++byte) {
    bool single = (byte >= 0x20 && byte <= 0x7E) || (byte >= 0xA1 && byte <= 0xDF);
    if (!single) continue;
    if (!euc_of(std::string(1, static_cast<char>(byte)), &euc)) euc.clear();
    AddRecord(table, static_cast<std::uint8_t>(byte), 0, euc, counts);
  }
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      std::string cp932{static_cast<char>(lead), static_cast<char>(trail)};
      if (!euc_of(cp932, &euc)) continue;
      AddRecord(table, static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail), euc,
                counts);
    }
  }
  return true;
}

int Make(const std::string& file) {
  std::vector<std::uint8_t> table;
  Counts counts;
  std::string why;
  if (!BuildStandardTable(&table, &counts, &why)) return Fail("make", why);

  Env& env = *Env::Default();
  IoError error;
  std::unique_ptr<WritableFile> output;
  if (!env.NewOutputFile(file, &output, &error) ||
      !output->Append(table.data(), table.size(), &error) || !output->Commit(&error)) {
    return Fail(file, error.message);
  }
  std::printf("%s: %zu records, %zu mapped, %zu left as 00 00\n", file.c_str(), counts.records,
              counts.mapped, counts.records - counts.mapped);
  return 0;
}

int Usage() { return Fail("usage", "vorn-table make [FILE]"); }

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  vorn::InitializeProcess();
  std::vector<std::string> args = vorn::CommandLineArguments(argc, argv);
  if (args.empty() || args[0] != "make" || args.size() > 2) return vorn::Usage();
  return vorn::Make(args.size() == 2 ? args[1] : vorn::kTableName);
}
