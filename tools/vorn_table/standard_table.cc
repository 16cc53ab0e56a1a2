#include "tools/vorn_table/standard_table.h"

#include <cstring>

#include "platform/text_posix.h"

namespace vorn {
namespace {

void AddRecord(std::vector<std::uint8_t>* table, std::uint8_t key0, std::uint8_t key1,
               const std::string& euc, TableCounts* counts) {
  std::uint8_t value[2] = {0, 0};
  if (euc.size() <= 2) {
    std::memcpy(value, euc.data(), euc.size());
    if (!euc.empty()) ++counts->mapped;
  }
  table->insert(table->end(), {key0, key1, value[0], value[1]});
  ++counts->records;
}

}  // namespace

bool BuildStandardTable(const char* euc_charset, std::vector<std::uint8_t>* table,
                        TableCounts* counts, std::string* why) {
  Iconv decode("UTF-32LE", "CP932");
  Iconv encode(euc_charset, "UTF-32LE");
  if (!decode.ok() || !encode.ok()) {
    *why = std::string("iconv cannot convert between CP932 and ") + euc_charset;
    return false;
  }
  // The EUC-JP bytes of a CP932 character, empty when it has none; false
  // when code page 932 itself does not define the code.
  auto euc_of = [&](const std::string& cp932, std::string* euc) {
    std::string unicode;
    if (!decode.ConvertAll(cp932, &unicode)) return false;
    if (!encode.ConvertAll(unicode, euc)) euc->clear();
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

}  // namespace vorn
