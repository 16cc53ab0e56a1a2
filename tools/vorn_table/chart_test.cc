#include "tools/vorn_table/chart.h"

#include <gtest/gtest.h>

#include "main/version.h"

namespace vorn {
namespace {

using Kind = ChartBlock::Kind;

// A table's records: the one-byte characters mapped as the standard table
// maps them, then `two_byte` in order.
std::vector<Record> TableOf(const std::vector<Record>& two_byte) {
  std::vector<Record> records;
  for (std::uint32_t byte = 0x20; byte <= 0xDF; ++byte) {
    if (byte == 0x7F) byte = 0xA1;
    records.push_back(byte < 0x80 ? Record{byte, {static_cast<std::uint8_t>(byte), 0}}
                                  : Record{byte, {0x8E, static_cast<std::uint8_t>(byte)}});
  }
  records.insert(records.end(), two_byte.begin(), two_byte.end());
  return records;
}

struct Found {
  const ChartBlock* block = nullptr;
  const ChartCell* cell = nullptr;
};

Found FindCell(const Chart& chart, std::uint32_t code) {
  for (const ChartBlock& block : chart.blocks) {
    for (const ChartCell& cell : block.cells) {
      if (cell.code == code) return {&block, &cell};
    }
  }
  return {};
}

// The markup of the cell of `code`.
std::string CellHtml(const std::string& page, const std::string& code) {
  std::size_t title = page.find("title=\"" + code + " ");
  if (title == std::string::npos) return "";
  std::size_t begin = page.rfind("<td", title);
  return page.substr(begin, page.find("</td>", title) + 5 - begin);
}

TEST(ChartTest, EachCodeGetsItsStateInItsBlock) {
  std::vector<Record> records = TableOf({
      {0x8740, {0x00, 0x00}},  // ① unmapped
      {0x889F, {0xB0, 0xA1}},  // 亜
      {0x8250, {0x00, 0x00}},  // １, then mapped by a later record
      {0x8250, {0xA3, 0xB1}},
      {0x000A, {0x0A, 0x00}},  // a control character, keyed by two bytes
      {0x8540, {0xA1, 0xA1}},  // a code page 932 leaves undefined
      {0x8130, {0xA1, 0xA1}},  // trail byte below the grid
      {0xA0A1, {0x00, 0x00}},  // lead byte outside code page 932's
      {0xFD40, {0xA1, 0xA1}},
  });
  records[0x41 - 0x20].value = {0, 0};  // A unmapped
  Chart chart = ChartOf(records, nullptr);

  struct Case {
    std::uint32_t code;
    Kind kind;
    std::uint32_t lead;
    CellState state;
  };
  const Case cases[] = {
      {0x41, Kind::kOneByte, 0, CellState::kUnmapped},
      {0x42, Kind::kOneByte, 0, CellState::kMapped},
      {0xB1, Kind::kOneByte, 0, CellState::kMapped},
      {0x0A, Kind::kOneByte, 0, CellState::kMapped},
      {0x8740, Kind::kLeadByte, 0x87, CellState::kUnmapped},
      {0x889F, Kind::kLeadByte, 0x88, CellState::kMapped},
      {0x8250, Kind::kLeadByte, 0x82, CellState::kMapped},    // the last record counts
      {0x829F, Kind::kLeadByte, 0x82, CellState::kNoRecord},  // ぁ
      {0xF040, Kind::kLeadByte, 0xF0, CellState::kNoRecord},  // the user-defined area
      {0xFC4B, Kind::kLeadByte, 0xFC, CellState::kNoRecord},  // the last code
      {0x8540, Kind::kLeadByte, 0x85, CellState::kMapped},
      {0x8130, Kind::kOther, 0, CellState::kMapped},
      {0xA0A1, Kind::kOther, 0, CellState::kUnmapped},
      {0xFD40, Kind::kOther, 0, CellState::kMapped},
  };
  for (const Case& c : cases) {
    Found found = FindCell(chart, c.code);
    ASSERT_NE(found.cell, nullptr) << std::hex << c.code;
    EXPECT_EQ(found.block->kind, c.kind) << std::hex << c.code;
    EXPECT_EQ(found.block->lead, c.lead) << std::hex << c.code;
    EXPECT_EQ(found.cell->state, c.state) << std::hex << c.code;
    EXPECT_FALSE(found.cell->changed) << std::hex << c.code;
  }
  EXPECT_EQ(FindCell(chart, 0x8250).cell->value, (ValueBytes{0xA3, 0xB1}));
  // Control characters without a record, and codes neither code page 932
  // nor the table has, get no cell.
  for (std::uint32_t code : {0x00u, 0x1Fu, 0x7Fu, 0x80u, 0xA0u, 0x8541u, 0x817Fu}) {
    EXPECT_EQ(FindCell(chart, code).cell, nullptr) << std::hex << code;
  }

  // One-byte first, then the lead bytes ascending, then the others.
  std::vector<std::uint32_t> leads;
  for (const ChartBlock& block : chart.blocks) leads.push_back(block.lead);
  ASSERT_EQ(chart.blocks.size(), 1 + 56 + 1u);
  EXPECT_EQ(chart.blocks.front().kind, Kind::kOneByte);
  EXPECT_EQ(chart.blocks.back().kind, Kind::kOther);
  EXPECT_EQ(leads[1], 0x81u);
  EXPECT_EQ(leads[5], 0x85u);
  EXPECT_EQ(leads[56], 0xFCu);
  for (const ChartBlock& block : chart.blocks) {
    for (std::size_t i = 1; i < block.cells.size(); ++i) {
      ASSERT_LT(block.cells[i - 1].code, block.cells[i].code);
    }
  }

  // 158 one-byte characters and 9604 two-byte codes, and the five codes
  // only the table has; the 9 two-byte records name 8 codes.
  std::size_t cells = 0;
  for (const ChartBlock& block : chart.blocks) cells += block.cells.size();
  EXPECT_EQ(cells, 158 + 9604 + 5u);
  EXPECT_EQ(chart.counts.unmapped, 3u);  // A, ①, A0A1
  EXPECT_EQ(chart.counts.mapped, 158 + 8 - 3u);
  EXPECT_EQ(chart.counts.no_record, cells - 158 - 8);
  EXPECT_EQ(chart.counts.changed, 0u);
}

TEST(ChartTest, AReferenceMarksWhatDiffers) {
  std::vector<Record> reference = TableOf({
      {0x8740, {0x00, 0x00}},
      {0x8741, {0x00, 0x00}},
      {0x8250, {0xA3, 0xB1}},
      {0x889F, {0xB0, 0xA1}},
  });
  std::vector<Record> table = TableOf({
      {0x8740, {0xA3, 0xB1}},  // changed
      {0x8741, {0x00, 0x00}},  // as before
      {0x8250, {0xA3, 0xB1}},
      {0x88A0, {0xB0, 0xA2}},  // only here; 889F only in the reference
      {0xFD40, {0x00, 0x00}},  // only here, outside the grid
  });
  table[0x41 - 0x20].value = {'B', 0};
  Chart chart = ChartOf(table, &reference);

  struct Case {
    std::uint32_t code;
    CellState state;
    bool changed;
    std::optional<ValueBytes> old_value;
  };
  const Case cases[] = {
      {0x41, CellState::kMapped, true, ValueBytes{'A', 0}},
      {0x42, CellState::kMapped, false, std::nullopt},
      {0x8740, CellState::kMapped, true, ValueBytes{0, 0}},
      {0x8741, CellState::kUnmapped, false, std::nullopt},
      {0x8250, CellState::kMapped, false, std::nullopt},
      {0x889F, CellState::kNoRecord, true, ValueBytes{0xB0, 0xA1}},
      {0x88A0, CellState::kMapped, true, std::nullopt},
      {0xFD40, CellState::kUnmapped, true, std::nullopt},
      {0x829F, CellState::kNoRecord, false, std::nullopt},  // in neither
  };
  for (const Case& c : cases) {
    const ChartCell* cell = FindCell(chart, c.code).cell;
    ASSERT_NE(cell, nullptr) << std::hex << c.code;
    EXPECT_EQ(cell->state, c.state) << std::hex << c.code;
    EXPECT_EQ(cell->changed, c.changed) << std::hex << c.code;
    if (c.changed) {
      EXPECT_EQ(cell->old_value, c.old_value) << std::hex << c.code;
    }
  }
  EXPECT_EQ(chart.counts.changed, Differences(reference, table).size());
  EXPECT_EQ(chart.counts.changed, 5u);
}

TEST(ChartTest, PageShowsEachCellAndNeedsNothingElse) {
  std::vector<Record> reference = TableOf({{0x8740, {0x00, 0x00}}, {0x889F, {0xB0, 0xA1}}});
  std::vector<Record> table = TableOf({
      {0x8740, {0xA3, 0xB1}},
      {0x8140, {0xA1, 0xA1}},
      {0xF040, {0xF5, 0xA1}},  // EUC-JP-MS's user-defined area
      {0x8541, {0x41, 0x42}},  // two ASCII bytes are no one character
      {0x8542, {0x0A, 0x00}},
  });
  table[0x41 - 0x20].value = {0, 0};
  table[0x3C - 0x20].value = {0x8E, 0xB1};
  const std::string reference_name = "std.bin";
  std::string page =
      ChartPage(ChartOf(table, &reference), "my<table>\x87\x40.bin", &reference_name);

  struct Case {
    const char* code;
    const char* html;
  };
  const Case cases[] = {
      {"0042", "<td class=\"m\" tabindex=0 title=\"0042 B 42 00 B\">B</td>"},
      {"0041",
       "<td class=\"u c\" tabindex=0 title=\"0041 A 41 00 A \xE2\x86\x92 00 00 unmapped\">"
       "A</td>"},
      {"003C",
       "<td class=\"m c\" tabindex=0 title=\"003C &lt; 3C 00 &lt; \xE2\x86\x92 8E B1 "
       "\xEF\xBD\xB1\">&lt;</td>"},
      {"0020",
       "<td class=\"m\" tabindex=0 title=\"0020 U+0020 20 00 U+0020\"><small>0020</small></td>"},
      {"8740",
       "<td class=\"m c\" tabindex=0 title=\"8740 \xE2\x91\xA0 00 00 unmapped \xE2\x86\x92 "
       "A3 B1 \xEF\xBC\x91\">\xE2\x91\xA0</td>"},
      {"889F",
       "<td class=\"n c\" tabindex=0 title=\"889F \xE4\xBA\x9C B0 A1 \xE4\xBA\x9C \xE2\x86\x92 "
       "no record\">\xE4\xBA\x9C</td>"},
      {"829F",
       "<td class=\"n\" tabindex=0 title=\"829F \xE3\x81\x81 no record\">"
       "\xE3\x81\x81</td>"},
      {"8140",
       "<td class=\"m c\" tabindex=0 title=\"8140 U+3000 no record \xE2\x86\x92 A1 A1 "
       "U+3000\"><small>8140</small></td>"},
      {"F040",
       "<td class=\"m c\" tabindex=0 title=\"F040 U+E000 no record \xE2\x86\x92 F5 A1 "
       "U+E000\"><small>F040</small></td>"},
      {"8541",
       "<td class=\"m c\" tabindex=0 title=\"8541 (not in code page 932) no record "
       "\xE2\x86\x92 41 42 ?\"><small>8541</small></td>"},
      {"8542",
       "<td class=\"m c\" tabindex=0 title=\"8542 (not in code page 932) no record "
       "\xE2\x86\x92 0A 00 ?\"><small>8542</small></td>"},
  };
  for (const Case& c : cases) EXPECT_EQ(CellHtml(page, c.code), c.html) << c.code;

  // The table's name, made safe; the counts, each a filter; the blocks'
  // index; the version.
  const char* const kParts[] = {
      "<title>my&lt;table&gt;\xEF\xBF\xBD@.bin \xE2\x80\x93 code chart</title>",
      "<h1>Code chart of <code>my&lt;table&gt;\xEF\xBF\xBD@.bin</code></h1>",
      "Compared with <code>std.bin</code>.",
      "<a href=\"#mapped\"><i class=\"k m\"></i><b>162</b> mapped</a>",
      "<a href=\"#unmapped\"><i class=\"k u\"></i><b>1</b> unmapped (00 00)</a>",
      "<a href=\"#no-record\"><i class=\"k n\"></i><b>9601</b> without a record</a>",
      "<a href=\"#changed\"><i class=\"k m c\"></i><b>8</b> changed</a>",
      "<i id=changed class=t></i>",
      "<section id=lead-87 class=\"b hm hn hc\"><h2>87</h2>",
      "<nav>Blocks: <a href=\"#one-byte\">One byte</a> <a href=\"#lead-81\">81</a>",
      "<a href=\"#lead-FC\">FC</a></nav>",
      "<tr><th>874</th><td class=\"m c\"",
      "<meta name=generator content=\"vorn-table ",
      "Made by vorn-table ",
  };
  for (const char* part : kParts) EXPECT_NE(page.find(part), std::string::npos) << part;
  EXPECT_NE(page.find(std::string("Made by vorn-table ") + kVersion + "."), std::string::npos);

  // Nothing to fetch and nothing to run: no links but to the page's own
  // parts, no sources, no scripts.
  for (const char* outside : {"src=", "url(", "@import", "<script", "<link", "http", "//"}) {
    EXPECT_EQ(page.find(outside), std::string::npos) << outside;
  }
  for (std::size_t at = page.find("href="); at != std::string::npos;
       at = page.find("href=", at + 1)) {
    EXPECT_EQ(page.substr(at, 7), "href=\"#") << page.substr(at, 40);
  }

  // Without a reference there is nothing changed to count.
  std::string plain = ChartPage(ChartOf(table, nullptr), "t.bin", nullptr);
  EXPECT_EQ(plain.find("<a href=\"#changed\""), std::string::npos);
  EXPECT_EQ(plain.find("id=changed"), std::string::npos);
  EXPECT_EQ(plain.find("Compared with"), std::string::npos);
  EXPECT_EQ(CellHtml(plain, "8740"),
            "<td class=\"m\" tabindex=0 title=\"8740 \xE2\x91\xA0 A3 B1 \xEF\xBC\x91\">"
            "\xE2\x91\xA0</td>");
}

TEST(ChartTest, FileNamesBecomeValidUtf8) {
  struct Case {
    const char* name;
    const char* shown;
  };
  const Case cases[] = {
      {"\xE2\x91\xA0.bin", "\xE2\x91\xA0.bin"},                                  // UTF-8 as it is
      {"\xF0\x9F\x98\x80&\"", "\xF0\x9F\x98\x80&amp;&quot;"},                    // four bytes
      {"\x87\x40", "\xEF\xBF\xBD@"},                                             // code page 932
      {"a\xE2\x91", "a\xEF\xBF\xBD\xEF\xBF\xBD"},                                // cut short
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                  // overlong
      {"\xE0\x80\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                  // a surrogate
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // above U+10FFFF
  };
  Chart chart = ChartOf({}, nullptr);
  for (const Case& c : cases) {
    std::string page = ChartPage(chart, c.name, nullptr);
    EXPECT_NE(page.find(std::string("<title>") + c.shown + " \xE2\x80\x93"), std::string::npos)
        << c.name;
  }
}

}  // namespace
}  // namespace vorn
