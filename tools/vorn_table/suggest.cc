#include "tools/vorn_table/suggest.h"

#include <cstdio>
#include <unordered_map>

#include "platform/cp932.h"
#include "substitute/substitute_list.h"
#include "tools/vorn_table/characters.h"

namespace vorn {
namespace {

constexpr std::uint32_t kUserAreaFirst = 0xF040;
constexpr std::uint32_t kUserAreaLast = 0xF9FC;

bool IsMapped(const std::map<std::uint32_t, ValueBytes>& values, std::uint32_t code) {
  auto found = values.find(code);
  return found != values.end() && !IsUnmapped(found->second);
}

// True for a two-byte code that a four-byte list line reads back as
// itself: a lead byte, and a trail byte that ends no line and no list.
bool IsListCode(std::uint32_t code) {
  std::uint32_t trail = code & 0xFF;
  return code > 0xFF && code <= 0xFFFF && IsLeadByte(static_cast<unsigned char>(code >> 8)) &&
         trail != '\n' && trail != '\r' && trail != 0x1A;
}

// The Unicode character of a code, or 0 where code page 932 has none.
std::uint32_t UnicodeOf(std::uint32_t code) {
  const CodePageCharacter* character = FindCodePageCharacter(code);
  return character == nullptr ? 0 : character->unicode;
}

// True when a UTF-8 list reads the character of `code` back as `code`.
bool ReadsBackInUtf8(std::uint32_t code) {
  std::uint32_t unicode = UnicodeOf(code);
  std::uint32_t encoded = 0;
  return unicode != 0 && EncodeCodePage932(unicode, &encoded) && encoded == code;
}

void AppendCode(std::uint32_t code, std::string* out) {
  *out += static_cast<char>(code >> 8);
  *out += static_cast<char>(code & 0xFF);
}

}  // namespace

Suggestions FindSuggestions(const std::map<std::uint32_t, ValueBytes>& values, std::uint32_t fill) {
  // The lowest mapped two-byte code of each character; codes ascend.
  std::unordered_map<std::uint32_t, std::uint32_t> mapped_code_of;
  for (const auto& [code, value] : values) {
    std::uint32_t unicode = UnicodeOf(code);
    if (unicode != 0 && !IsUnmapped(value) && IsListCode(code)) {
      mapped_code_of.emplace(unicode, code);
    }
  }
  auto mapped_code = [&](std::uint32_t unicode, std::uint32_t* code) {
    auto found = mapped_code_of.find(unicode);
    if (found == mapped_code_of.end()) return false;
    *code = found->second;
    return true;
  };

  Suggestions suggestions;
  suggestions.fills = fill != 0;
  for (const auto& [code, value] : values) {
    if (code <= 0xFF || !IsUnmapped(value) || (code >= kUserAreaFirst && code <= kUserAreaLast)) {
      continue;
    }
    const CodePageCharacter* character = FindCodePageCharacter(code);
    std::uint32_t replacement = 0;
    // The character itself comes first: its NFKC form may look different.
    if (character != nullptr && IsListCode(code) &&
        (mapped_code(character->unicode, &replacement) ||
         (character->nfkc != 0 && mapped_code(character->nfkc, &replacement)))) {
      ++suggestions.suggested;
    } else if (fill != 0 && IsListCode(code)) {
      replacement = fill;
      ++suggestions.filled;
    } else {
      ++suggestions.left;
      continue;
    }
    suggestions.lines.push_back(SuggestedLine{code, replacement});
  }
  return suggestions;
}

bool CanFill(const std::map<std::uint32_t, ValueBytes>& values, std::uint32_t code,
             std::string* why) {
  if (!IsListCode(code)) {
    *why = "not a two-byte character (a list line holds two of them)";
    return false;
  }
  if (!IsMapped(values, code)) {
    *why =
        values.count(code) == 0 ? "the table has no record for it" : "the table leaves it unmapped";
    return false;
  }
  return true;
}

std::vector<SuggestedLine> Utf8Lines(const std::vector<SuggestedLine>& lines) {
  std::vector<SuggestedLine> kept;
  for (const SuggestedLine& line : lines) {
    if (ReadsBackInUtf8(line.source) && ReadsBackInUtf8(line.replacement)) kept.push_back(line);
  }
  return kept;
}

std::string ListText(const std::vector<SuggestedLine>& lines, bool utf8) {
  std::string text = utf8 ? "\xEF\xBB\xBF" : "";
  for (const SuggestedLine& line : lines) {
    if (utf8) {
      text += Utf8Of(UnicodeOf(line.source)) + Utf8Of(UnicodeOf(line.replacement));
    } else {
      AppendCode(line.source, &text);
      AppendCode(line.replacement, &text);
    }
    text += "\r\n";
  }
  return text;
}

void WriteSuggestions(const Suggestions& suggestions, bool utf8) {
  std::vector<SuggestedLine> lines = utf8 ? Utf8Lines(suggestions.lines) : suggestions.lines;
  std::size_t not_utf8 = suggestions.lines.size() - lines.size();
  // vorn reads no more lines than this; the rest wait for a second round,
  // on the table this list makes.
  std::size_t beyond = lines.size() > MaxSubstitutes ? lines.size() - MaxSubstitutes : 0;
  lines.resize(lines.size() - beyond);
  std::string text = ListText(lines, utf8);
  (void)std::fwrite(text.data(), 1, text.size(), stdout);

  if (not_utf8 != 0) {
    (void)std::fprintf(stderr,
                       "vorn-table: %zu lines left out: their UTF-8 cannot tell their codes from "
                       "other codes of the same character (the code page 932 list has them all)\n",
                       not_utf8);
  }
  if (beyond != 0) {
    (void)std::fprintf(stderr,
                       "vorn-table: %zu more lines left out: vorn reads %zu lines at most (apply "
                       "these, then run suggest on the result)\n",
                       beyond, MaxSubstitutes);
  }
  (void)std::fprintf(stderr, "vorn-table: %zu suggested, ", suggestions.suggested);
  if (suggestions.fills) (void)std::fprintf(stderr, "%zu filled, ", suggestions.filled);
  (void)std::fprintf(stderr, "%zu left without a replacement\n", suggestions.left);
}

}  // namespace vorn
