#include "tools/vorn_table/chart.h"

#include <cstdio>
#include <map>
#include <string_view>

#include "main/version.h"
#include "tools/vorn_table/characters.h"

namespace vorn {
namespace {

// The lead bytes of code page 932's two-byte characters, each one block of
// the chart.
bool IsChartLead(std::uint32_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

ChartBlock::Kind KindOf(std::uint32_t code) {
  if (code <= 0xFF) return ChartBlock::Kind::kOneByte;
  return IsChartLead(code >> 8) && (code & 0xFF) >= 0x40 ? ChartBlock::Kind::kLeadByte
                                                         : ChartBlock::Kind::kOther;
}

// `value` in upper-case hex with at least `digits` digits: codes as vorn
// prints them (8740, 0041), value bytes, headings.
std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  (void)std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
  return text;
}

bool IsControl(std::uint32_t unicode) { return unicode < 0x20 || unicode == 0x7F; }

// The character as the page shows it, or empty where it would not show:
// controls, the two spaces and the private-use characters of the
// user-defined area.
std::string Visible(std::uint32_t unicode) {
  if (IsControl(unicode) || unicode == 0x20 || unicode == 0x3000 ||
      (unicode >= 0xE000 && unicode <= 0xF8FF)) {
    return "";
  }
  return Utf8Of(unicode);
}

// "U+E000": how a character that does not show is named.
std::string UnicodeText(std::uint32_t unicode) { return "U+" + Hex(unicode, 4); }

// The character value bytes stand for in EUC-JP: ASCII when the second
// byte is 00, else a two-byte code (8E and a byte for half-width katakana).
std::string ValueCharacterText(const ValueBytes& value) {
  std::uint32_t unicode = value[0];
  bool found = value[1] == 0 ? value[0] < 0x80 : DecodeEuc(value[0] << 8 | value[1], &unicode);
  if (!found || IsControl(unicode)) return "?";
  std::string visible = Visible(unicode);
  return visible.empty() ? UnicodeText(unicode) : visible;
}

// One table's side of a cell: "AD A1 ①", "00 00 unmapped" or "no record".
std::string SideText(const std::optional<ValueBytes>& value) {
  if (!value) return "no record";
  std::string bytes = Hex((*value)[0], 2) + " " + Hex((*value)[1], 2) + " ";
  return bytes + (IsUnmapped(*value) ? "unmapped" : ValueCharacterText(*value));
}

// Text for HTML content and attribute values.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A file name as page text.  Its bytes need not be UTF-8; those that are
// not become U+FFFD, so that the page stays valid UTF-8.
std::string NameText(const std::string& name) {
  std::string text;
  for (std::size_t i = 0; i < name.size();) {
    std::uint32_t scalar = 0;
    std::size_t length = DecodeUtf8(std::string_view(name).substr(i), &scalar);
    if (length == 0) {
      text += "\xEF\xBF\xBD";
      ++i;
    } else {
      text.append(name, i, length);
      i += length;
    }
  }
  return Escape(text);
}

const char* StateClass(CellState state) {
  switch (state) {
    case CellState::kMapped:
      return "m";
    case CellState::kUnmapped:
      return "u";
    case CellState::kNoRecord:
      break;
  }
  return "n";
}

void AppendCell(const ChartCell& cell, std::string* page) {
  const CodePageCharacter* character = FindCodePageCharacter(cell.code);
  std::string visible = character != nullptr ? Visible(character->unicode) : "";
  std::string title = Hex(cell.code, 4) + " ";
  if (!visible.empty()) {
    title += visible;
  } else {
    title += character != nullptr ? UnicodeText(character->unicode) : "(not in code page 932)";
  }
  title += " ";
  title += cell.changed ? SideText(cell.old_value) + " \xE2\x86\x92 " + SideText(cell.value)
                        : SideText(cell.value);
  *page += "<td class=\"";
  *page += StateClass(cell.state);
  if (cell.changed) *page += " c";
  *page += "\" tabindex=0 title=\"" + Escape(title) + "\">";
  // A character that would not show is shown by its code.
  *page += visible.empty() ? "<small>" + Hex(cell.code, 4) + "</small>" : Escape(visible);
  *page += "</td>";
}

// Where a block is on the page, and its heading.
std::string BlockId(const ChartBlock& block) {
  switch (block.kind) {
    case ChartBlock::Kind::kOneByte:
      return "one-byte";
    case ChartBlock::Kind::kLeadByte:
      return "lead-" + Hex(block.lead, 2);
    case ChartBlock::Kind::kOther:
      break;
  }
  return "other";
}

std::string BlockHeading(const ChartBlock& block) {
  switch (block.kind) {
    case ChartBlock::Kind::kOneByte:
      return "One byte";
    case ChartBlock::Kind::kLeadByte:
      return Hex(block.lead, 2);
    case ChartBlock::Kind::kOther:
      break;
  }
  return "Other records";
}

// A block as a grid of sixteen columns, one row for each run of sixteen
// codes that holds a cell; the row's heading is its codes' hex digits but
// the last, so that heading and column name each code.
void AppendBlock(const ChartBlock& block, std::string* page) {
  bool has[4] = {};
  for (const ChartCell& cell : block.cells) {
    has[static_cast<int>(cell.state)] = true;
    has[3] = has[3] || cell.changed;
  }
  *page += "<section id=" + BlockId(block) + " class=\"b";
  const char* const kHas[] = {" hm", " hu", " hn", " hc"};
  for (int i = 0; i < 4; ++i) {
    if (has[i]) *page += kHas[i];
  }
  *page += "\"><h2>" + BlockHeading(block) + "</h2><table><tr><th></th>";
  for (int column = 0; column < 16; ++column) *page += "<th>" + Hex(column, 1) + "</th>";
  *page += "</tr>";
  for (std::size_t i = 0; i < block.cells.size();) {
    std::uint32_t row = block.cells[i].code >> 4;
    *page += "<tr><th>" + Hex(row, row <= 0xF ? 1 : 3) + "</th>";
    for (std::uint32_t code = row << 4; code < (row + 1) << 4; ++code) {
      if (i < block.cells.size() && block.cells[i].code == code) {
        AppendCell(block.cells[i++], page);
      } else {
        *page += "<td></td>";
      }
    }
    *page += "</tr>";
  }
  *page += "</table></section>\n";
}

// The page's look.  Each state has a mark of its own besides its colour
// (a flat fill, stripes, dots, a corner flag), so that no reader needs to
// tell colours apart; the colours are a blue and an orange, a pair that
// the common colour-vision deficiencies keep apart.  The filters are
// :target rules: following a count's link shows only its cells, with
// scripting on or off.  Blocks off screen are laid out only when scrolled
// to (content-visibility), which keeps the page quick to open although it
// holds ten thousand characters.
constexpr char kStyle[] = R"(<style>
body{font-family:sans-serif;margin:1em;color:#111;background:#fff}
h1{font-size:1.3em;margin:0 0 .3em}
h1 code{font-size:.9em}
p{margin:.3em 0}
.t{position:fixed;top:0;left:0}
.s{display:flex;flex-wrap:wrap;gap:.4em 1em;margin:.6em 0;padding:0;list-style:none}
.s a{color:inherit;text-decoration:none;border:1px solid #999;border-radius:4px;padding:.2em .5em}
.s a:hover,.s a:focus{border-color:#111}
.s b{font-size:1.1em}
.k{display:inline-block;position:relative;width:1.1em;height:1.1em;vertical-align:-.2em;margin-right:.3em}
nav{font-size:.9em;line-height:1.7}
nav a{color:#004f7c;margin-right:.35em}
main{display:flex;flex-wrap:wrap;gap:.5em 1.5em;align-items:flex-start;margin-top:.8em}
section{content-visibility:auto;contain-intrinsic-size:auto 30em auto 22em}
h2{font-size:1em;margin:.4em 0 .1em}
table{border-collapse:separate;border-spacing:2px}
th{font:.7em monospace;color:#555;font-weight:normal;padding:0 .2em}
td{width:1.55em;height:1.55em;padding:0;text-align:center;position:relative;line-height:1}
td small{font:.58em monospace}
.m{background:#c9e3f6;border:1px solid #5b9bcc}
.u{background:repeating-linear-gradient(135deg,#f0a830 0 2px,#fdecc8 2px 5px);border:1px solid #a86400}
.n{background:radial-gradient(#8a8a8a 1px,transparent 1.2px) 0 0/5px 5px #fff;border:1px dashed #666;color:#555}
.c{box-shadow:inset 0 0 0 2px #111}
.c::before{content:"";position:absolute;top:0;right:0;border-style:solid;border-width:0 .55em .55em 0;border-color:transparent #111 transparent transparent}
td:focus{outline:3px solid #0072b2;z-index:2}
td:focus::after{content:attr(title);position:absolute;left:0;top:110%;background:#111;color:#fff;font-size:.8em;padding:.3em .5em;border-radius:3px;white-space:nowrap}
#mapped:target~main td:not(.m),#unmapped:target~main td:not(.u),#no-record:target~main td:not(.n),#changed:target~main td:not(.c){visibility:hidden}
#mapped:target~main .b:not(.hm),#unmapped:target~main .b:not(.hu),#no-record:target~main .b:not(.hn),#changed:target~main .b:not(.hc){display:none}
#mapped:target~header a[href="#mapped"],#unmapped:target~header a[href="#unmapped"],#no-record:target~header a[href="#no-record"],#changed:target~header a[href="#changed"]{border:2px solid #111;background:#eee}
footer{margin-top:1.5em;font-size:.85em;color:#555}
</style>
)";

void AppendCount(const char* id, const char* mark, std::size_t count, const char* what,
                 std::string* page) {
  *page += "<li><a href=\"#";
  *page += id;
  *page += "\"><i class=\"k ";
  *page += mark;
  *page += "\"></i><b>" + std::to_string(count) + "</b> " + what + "</a></li>";
}

}  // namespace

Chart ChartOf(const std::vector<Record>& records, const std::vector<Record>* reference) {
  std::map<std::uint32_t, ValueBytes> values = ValuesByCode(records);
  std::map<std::uint32_t, ValueBytes> old_values;
  if (reference != nullptr) old_values = ValuesByCode(*reference);

  // Every code that gets a cell: the characters (not the controls) of code
  // page 932, and whatever either table names.
  std::map<std::uint32_t, ChartCell> cells;
  auto add = [&](std::uint32_t code) { cells.emplace(code, ChartCell{code, {}, {}, {}, {}}); };
  for (std::size_t i = 0; i < kCodePage932Size; ++i) {
    if (!IsControl(kCodePage932[i].code)) add(kCodePage932[i].code);
  }
  for (const auto& [code, value] : values) add(code);
  for (const auto& [code, value] : old_values) add(code);

  Chart chart;
  ChartBlock other{ChartBlock::Kind::kOther, 0, {}};
  for (auto& [code, cell] : cells) {
    auto found = values.find(code);
    if (found == values.end()) {
      cell.state = CellState::kNoRecord;
      ++chart.counts.no_record;
    } else {
      cell.value = found->second;
      cell.state = IsUnmapped(found->second) ? CellState::kUnmapped : CellState::kMapped;
      ++(IsUnmapped(found->second) ? chart.counts.unmapped : chart.counts.mapped);
    }
    if (reference != nullptr) {
      auto old = old_values.find(code);
      if (old != old_values.end()) cell.old_value = old->second;
      cell.changed = cell.old_value != cell.value;
      if (cell.changed) ++chart.counts.changed;
    }

    ChartBlock::Kind kind = KindOf(code);
    if (kind == ChartBlock::Kind::kOther) {
      other.cells.push_back(cell);
      continue;
    }
    std::uint32_t lead = kind == ChartBlock::Kind::kLeadByte ? code >> 8 : 0;
    if (chart.blocks.empty() || chart.blocks.back().lead != lead ||
        chart.blocks.back().kind != kind) {
      chart.blocks.push_back(ChartBlock{kind, lead, {}});
    }
    chart.blocks.back().cells.push_back(cell);
  }
  if (!other.cells.empty()) chart.blocks.push_back(std::move(other));
  return chart;
}

std::string ChartPage(const Chart& chart, const std::string& table_name,
                      const std::string* reference_name) {
  std::string name = NameText(table_name);
  std::string page;
  page += "<!DOCTYPE html>\n<html lang=en>\n<head>\n<meta charset=utf-8>\n";
  page += "<meta name=viewport content=\"width=device-width\">\n";
  page += std::string("<meta name=generator content=\"vorn-table ") + kVersion + "\">\n";
  page += "<title>" + name + " \xE2\x80\x93 code chart</title>\n";
  page += kStyle;
  page += "</head>\n<body>\n";
  // The filters' targets: empty, and fixed in place so that following a
  // filter's link does not scroll the page.
  page += "<i id=mapped class=t></i><i id=unmapped class=t></i><i id=no-record class=t></i>";
  if (reference_name != nullptr) page += "<i id=changed class=t></i>";
  page += "\n<header>\n<h1>Code chart of <code>" + name + "</code></h1>\n<p>";
  if (reference_name != nullptr) {
    page += "Compared with <code>" + NameText(*reference_name) + "</code>. ";
  }
  page +=
      "Each cell is a code page 932 code and its character; hover over or focus a cell for "
      "its value bytes and the EUC-JP character they stand for. A count shows only its "
      "cells; <a href=\"#\">all cells</a>.</p>\n<ul class=s>";
  AppendCount("mapped", "m", chart.counts.mapped, "mapped", &page);
  AppendCount("unmapped", "u", chart.counts.unmapped, "unmapped (00 00)", &page);
  AppendCount("no-record", "n", chart.counts.no_record, "without a record", &page);
  if (reference_name != nullptr) {
    AppendCount("changed", "m c", chart.counts.changed, "changed", &page);
  }
  page += "</ul>\n<nav>Blocks:";
  for (const ChartBlock& block : chart.blocks) {
    page += " <a href=\"#" + BlockId(block) + "\">" + BlockHeading(block) + "</a>";
  }
  page += "</nav>\n</header>\n<main lang=ja>\n";
  for (const ChartBlock& block : chart.blocks) AppendBlock(block, &page);
  page += "</main>\n<footer>Made by vorn-table ";
  page += kVersion;
  page += ".</footer>\n</body>\n</html>\n";
  return page;
}

}  // namespace vorn
