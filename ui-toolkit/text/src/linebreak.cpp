#include "ostrel/text/linebreak.h"

#include <algorithm>

#include "char_class.h"

namespace ostrel::text {
namespace {

using detail::break_class;
using detail::BreakClass;
using detail::decode_at;
using enum BreakClass;

constexpr bool is_ascii_alnum(char32_t cp) noexcept {
  return (cp >= '0' && cp <= '9') || (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z');
}

// Letters and digits for the hyphen rule; anything non-ASCII of class `al`
// (other scripts, U+FFFD for invalid bytes) counts as a letter.
constexpr bool is_alnum(BreakClass cls, char32_t cp) noexcept {
  return cls == id || (cls == al && (cp >= 0x80 || is_ascii_alnum(cp)));
}

// Opening and closing punctuation from the CJK blocks up: the wide ones allow a
// break towards Latin text, the ASCII ones do not.
constexpr bool is_wide_punct(char32_t cp) noexcept { return cp >= 0x2E80; }

struct BreakState {
  BreakClass prev = sot;  // the previous character, combining marks included
  bool prev_zwj = false;  // the previous character was U+200D
  BreakClass base = sot;  // the last character that is neither a space nor a mark
  bool base_wide = false;
  bool base_alnum = false;
  bool hyphen_after_alnum = false;  // base is a hyphen right after a letter or digit
  bool after_space = false;         // spaces since base
};

// The break before a character of class `c` (never `cm`, never at offset 0)
// from the characters before it, mandatory breaks aside.
std::uint8_t pair_break(const BreakState& s, BreakClass c, char32_t cp, bool c_alnum) noexcept {
  switch (c) {
    case bk:
    case cr:
    case sp:
    case zw:
      return no_break;
    default:
      break;
  }
  if (s.base == zw) return break_allowed;  // also across spaces after it
  if (s.prev_zwj) return no_break;
  if (c == wj || c == cl) return no_break;  // even after spaces: no line starts with ")" or "。"
  if (s.after_space) return s.base == op ? no_break : break_allowed;
  if (s.base == sot || s.base == wj || s.base == gl || s.base == op || s.base == qu) return no_break;
  if (c == gl || c == qu || c == hy) return no_break;
  if (s.base == hy) return s.hyphen_after_alnum && c_alnum ? break_allowed : no_break;
  if (s.base == id || c == id) return break_allowed;
  if (c == op && is_wide_punct(cp)) return break_allowed;
  if (s.base == cl && s.base_wide && (c == al || c == op)) return break_allowed;
  return no_break;
}

// Characters whose width never counts at the end of a line.
bool hangs(char32_t cp, bool spaces) noexcept {
  const BreakClass c = break_class(cp);
  return c == bk || c == cr || (spaces && c == sp);
}

bool is_collapsible(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The last character of `text`, or 0 when it is empty or ends mid-sequence.
char32_t last_char(std::string_view text) noexcept {
  if (text.empty()) return 0;
  std::size_t start = text.size() - 1;
  while (start > 0 && text.size() - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
  const vx::DecodedChar d = decode_at(text, start);
  return start + d.length == text.size() ? d.code_point : 0;
}

// A segment break between these two characters disappears instead of becoming a
// space: around a zero width space, and between Chinese or Japanese characters,
// which use no spaces between words. 0 stands for "unknown" (the text's edge).
bool segment_break_vanishes(char32_t before, char32_t after) noexcept {
  if (before == 0x200B || after == 0x200B) return true;
  return detail::is_east_asian_non_hangul(before) && detail::is_east_asian_non_hangul(after);
}

std::string collapse(std::string_view text, bool keep_line_feeds, bool& ends_with_space) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (!is_collapsible(text[i])) {
      // Whitespace bytes are ASCII and never part of a valid sequence, so copying
      // everything between them keeps valid UTF-8 valid.
      const std::size_t j =
          std::find_if(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(), is_collapsible) - text.begin();
      out.append(text, i, j - i);
      i = j;
      continue;
    }
    std::size_t j = i;
    std::size_t line_feeds = 0;
    for (; j < text.size() && is_collapsible(text[j]); ++j) line_feeds += text[j] == '\n';
    const bool at_start = out.empty() && ends_with_space;
    if (keep_line_feeds && line_feeds > 0) {
      // Spaces around a preserved segment break go; the breaks stay.
      out.append(line_feeds, '\n');
    } else if (!at_start) {
      const bool vanish =
          line_feeds > 0 && j < text.size() && segment_break_vanishes(last_char(out), decode_at(text, j).code_point);
      if (!vanish) out.push_back(' ');
    }
    i = j;
  }
  if (!out.empty()) ends_with_space = out.back() == ' ' || (keep_line_feeds && out.back() == '\n');
  return out;
}

}  // namespace

void break_opportunities(std::string_view utf8, std::vector<std::uint8_t>& out, WhiteSpaceMode mode) {
  out.assign(utf8.size(), no_break);
  const bool wrap = allows_wrap(mode);
  const bool after_every_space = mode == WhiteSpaceMode::break_spaces;
  BreakState s;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const vx::DecodedChar d = decode_at(utf8, pos);
    const char32_t cp = d.code_point;
    BreakClass c = break_class(cp);
    if (c == cm) {
      if (s.prev != sot && s.prev != sp && s.prev != zw && s.prev != bk && s.prev != cr) {
        // A mark joins its base, whatever the base is.
        s.prev = cm;
        s.prev_zwj = cp == 0x200D;
        pos += d.length;
        continue;
      }
      c = al;  // a mark with no base stands alone as a letter
    }
    if (pos > 0) {
      std::uint8_t brk;
      if (s.prev == bk || (s.prev == cr && cp != '\n')) {
        brk = break_mandatory;
      } else if (s.prev == cr) {
        brk = no_break;
      } else {
        brk = pair_break(s, c, cp, is_alnum(c, cp));
        if (after_every_space && s.prev == sp && c != bk && c != cr) brk = break_allowed;
        if (!wrap && brk == break_allowed) brk = no_break;
      }
      out[pos] = brk;
    }

    s.prev_zwj = cp == 0x200D;
    switch (c) {
      case sp:
        s.after_space = true;
        break;
      case bk:
      case cr:
        s.base = sot;
        s.after_space = false;
        break;
      default:
        s.hyphen_after_alnum = c == hy && !s.after_space && s.base_alnum && s.base != sot;
        s.base_alnum = is_alnum(c, cp);
        s.base = c;
        s.base_wide = is_wide_punct(cp);
        s.after_space = false;
    }
    s.prev = c;
    pos += d.length;
  }
}

std::string collapse_white_space(std::string_view text, WhiteSpaceMode mode, bool& ends_with_space_in_out) {
  switch (mode) {
    case WhiteSpaceMode::normal:
    case WhiteSpaceMode::nowrap:
      return collapse(text, false, ends_with_space_in_out);
    case WhiteSpaceMode::pre_line:
      return collapse(text, true, ends_with_space_in_out);
    case WhiteSpaceMode::pre:
    case WhiteSpaceMode::pre_wrap:
    case WhiteSpaceMode::break_spaces:
      break;
  }
  // Preserved spaces are not collapsible, so a space after them stays.
  if (!text.empty()) ends_with_space_in_out = false;
  return std::string(text);
}

LineFit fit_line(std::string_view text, std::span<const float> advances, std::span<const std::uint8_t> breaks,
                 std::size_t start, float available, bool allow_wrap, bool trailing_spaces_hang) {
  const std::size_t n = text.size();
  if (start >= n) return {start, 0.0f, false};
  float total = 0;
  float content = 0;  // total up to the last character that does not hang
  bool have_best = false;
  LineFit best{};
  for (std::size_t pos = start; pos < n;) {
    const vx::DecodedChar d = decode_at(text, pos);
    const std::size_t next = pos + d.length;
    for (std::size_t k = pos; k < next && k < advances.size(); ++k) total += advances[k];
    if (!hangs(d.code_point, trailing_spaces_hang)) content = total;
    // Comparisons are written so that a NaN width never fits.
    const bool fits = content <= available;
    const std::uint8_t brk = next < breaks.size() && next < n ? breaks[next] : no_break;
    if (next >= n || brk == break_mandatory) {
      if (have_best && !fits) return best;
      return {next, content, brk == break_mandatory};
    }
    if (allow_wrap) {
      if (!fits) {
        if (have_best) return best;
        if (brk == break_allowed) return {next, content, false};  // overflow: the first opportunity
      } else if (brk == break_allowed) {
        best = {next, content, false};
        have_best = true;
      }
    }
    pos = next;
  }
  return {n, content, false};
}

std::size_t next_cluster(std::string_view utf8, std::size_t pos) noexcept {
  const std::size_t n = utf8.size();
  if (pos >= n) return n;
  const vx::DecodedChar first = decode_at(utf8, pos);
  std::size_t end = pos + first.length;
  const BreakClass first_class = break_class(first.code_point);
  if (first_class == cr) return end < n && utf8[end] == '\n' ? end + 1 : end;
  if (first_class == bk) return end;
  bool joiner = false;
  while (end < n) {
    const vx::DecodedChar d = decode_at(utf8, end);
    const BreakClass c = break_class(d.code_point);
    if (c == bk || c == cr || (c != cm && !joiner)) break;
    joiner = d.code_point == 0x200D;
    end += d.length;
  }
  return end;
}

std::size_t ellipsis_cut(std::span<const float> advances, std::string_view text, float available,
                         float ellipsis_width) {
  float used = 0;
  std::size_t fit = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t next = next_cluster(text, pos);
    float w = used;
    for (std::size_t k = pos; k < next && k < advances.size(); ++k) w += advances[k];
    if (!(w + ellipsis_width <= available)) break;
    used = w;
    fit = pos = next;
  }
  return fit;
}

}  // namespace ostrel::text
