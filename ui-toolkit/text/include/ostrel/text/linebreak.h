// Line breaking for the text our documents show: CSS white-space processing,
// break opportunities (a practical subset of the Unicode line breaking rules,
// enough for English, Korean and Japanese UI text), fitting lines into a width
// and cutting text for an ellipsis. All byte offsets are into UTF-8 text;
// invalid sequences count as one U+FFFD character each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::text {

enum class WhiteSpaceMode { normal, nowrap, pre, pre_wrap, pre_line, break_spaces };

constexpr bool allows_wrap(WhiteSpaceMode mode) noexcept {
  return mode != WhiteSpaceMode::nowrap && mode != WhiteSpaceMode::pre;
}
// break-spaces is the one mode whose spaces take room at the end of a line.
constexpr bool spaces_hang(WhiteSpaceMode mode) noexcept { return mode != WhiteSpaceMode::break_spaces; }

inline constexpr std::string_view ellipsis = "\u2026";

// Values of break_opportunities(): the break is before the byte.
inline constexpr std::uint8_t no_break = 0;
inline constexpr std::uint8_t break_allowed = 1;
inline constexpr std::uint8_t break_mandatory = 2;

// Replaces `out` with one entry per byte of `utf8`. Never a break before byte 0
// or inside a character or a base + combining marks run; mandatory after line
// feeds (and CR, CR LF, VT, FF, NEL, U+2028, U+2029). nowrap and pre keep only
// the mandatory breaks; break-spaces also breaks after every space.
void break_opportunities(std::string_view utf8, std::vector<std::uint8_t>& out,
                         WhiteSpaceMode mode = WhiteSpaceMode::normal);

// CSS white-space processing of one text node. `ends_with_space_in_out` says
// whether the inline content before this text ended in a collapsible space (or,
// in pre-line, a line feed); start each block with true so its leading space
// goes. It is updated for the next text node of the same block.
std::string collapse_white_space(std::string_view text, WhiteSpaceMode mode, bool& ends_with_space_in_out);

struct LineFit {
  std::size_t end;  // one past the line's last byte
  float width;      // without trailing spaces and line feeds when they hang
  bool forced;      // a mandatory break ends the line
};

// The longest line from `start` that fits `available` and ends at a break
// opportunity (or the text's end). When nothing fits, the line runs to the first
// opportunity and overflows. end > start whenever start < text.size(). Missing
// advances or breaks (shorter spans) count as 0 / no break.
LineFit fit_line(std::string_view text, std::span<const float> advances, std::span<const std::uint8_t> breaks,
                 std::size_t start, float available, bool allow_wrap, bool trailing_spaces_hang = true);

// One past the end of the grapheme-like cluster at `pos`: a character with its
// combining marks, variation selectors and ZWJ-joined followers, or CR LF.
std::size_t next_cluster(std::string_view utf8, std::size_t pos) noexcept;

// How many leading bytes of `text` (whole clusters) fit in `available` with an
// ellipsis of `ellipsis_width` after them; 0 when not even one cluster does.
// Callers check first whether the whole text fits without an ellipsis.
std::size_t ellipsis_cut(std::span<const float> advances, std::string_view text, float available, float ellipsis_width);

}  // namespace ostrel::text
