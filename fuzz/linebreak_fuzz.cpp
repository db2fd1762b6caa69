// Any bytes through the text pipeline: break tables stay on character
// boundaries, line fitting always progresses and honours its contract,
// white-space processing keeps valid UTF-8 valid, and ellipsis cuts land on
// cluster boundaries within the width.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "ostrel/text/linebreak.h"
#include "ostrel/text/measure.h"

namespace {

using namespace ostrel::text;

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr WhiteSpaceMode all_modes[] = {WhiteSpaceMode::normal,   WhiteSpaceMode::nowrap,
                                        WhiteSpaceMode::pre,      WhiteSpaceMode::pre_wrap,
                                        WhiteSpaceMode::pre_line, WhiteSpaceMode::break_spaces};

// Byte offsets where decode_utf8 starts a character.
std::vector<bool> char_starts(std::string_view text) {
  std::vector<bool> starts(text.size() + 1, false);
  for (std::size_t pos = 0; pos < text.size();) {
    starts[pos] = true;
    pos += vx::decode_utf8(text, pos).length;
  }
  starts[text.size()] = true;
  return starts;
}

void check_lines(std::string_view text, const std::vector<float>& adv, WhiteSpaceMode mode, float available) {
  std::vector<std::uint8_t> breaks;
  break_opportunities(text, breaks, mode);
  check(breaks.size() == text.size());
  const std::vector<bool> starts = char_starts(text);
  if (!text.empty()) check(breaks[0] == no_break);
  for (std::size_t i = 0; i < breaks.size(); ++i) {
    check(breaks[i] <= break_mandatory);
    if (breaks[i] != no_break) check(starts[i]);
    if (!allows_wrap(mode)) check(breaks[i] != break_allowed);
  }

  std::size_t lines = 0;
  for (std::size_t start = 0; start < text.size();) {
    const LineFit fit = fit_line(text, adv, breaks, start, available, allows_wrap(mode), spaces_hang(mode));
    check(fit.end > start && fit.end <= text.size());
    check(starts[fit.end]);
    check(fit.end == text.size() || breaks[fit.end] != no_break);
    check(fit.forced == (fit.end < text.size() && breaks[fit.end] == break_mandatory));
    // Nothing mandatory is skipped over.
    for (std::size_t i = start + 1; i < fit.end; ++i) check(breaks[i] != break_mandatory);
    if (!(fit.width <= available) && allows_wrap(mode)) {
      // Overflow only when the line is a single unbreakable piece.
      for (std::size_t i = start + 1; i < fit.end; ++i) check(breaks[i] == no_break);
    }
    start = fit.end;
    check(++lines <= text.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool valid = vx::is_valid_utf8(text);
  const float available = size > 0 ? static_cast<float>(data[0]) : 0.0f;

  const std::string families[] = {"sans-serif"};
  const FontSpec font{families, 10, static_cast<std::uint16_t>(size % 2 ? 700 : 400), false};
  FakeFont fake;
  std::vector<float> adv;
  fake.advances(font, text, adv);
  check(adv.size() == text.size());
  const std::vector<bool> starts = char_starts(text);
  float total = 0;
  for (std::size_t i = 0; i < adv.size(); ++i) {
    check(adv[i] >= 0);
    if (!starts[i]) check(adv[i] == 0);
    total += adv[i];
  }
  check(fake.width(font, text) == total);

  for (WhiteSpaceMode mode : all_modes) check_lines(text, adv, mode, available);

  for (WhiteSpaceMode mode : all_modes) {
    for (bool flag_in : {false, true}) {
      bool flag = flag_in;
      const std::string out = collapse_white_space(text, mode, flag);
      if (valid) check(vx::is_valid_utf8(out));
      check(out.size() <= text.size());
      if (mode == WhiteSpaceMode::normal || mode == WhiteSpaceMode::nowrap) {
        check(out.find_first_of("\t\r\n") == std::string::npos);
        check(out.find("  ") == std::string::npos);
        if (flag_in) check(out.empty() || out.front() != ' ');
      }
      if (text.empty()) check(flag == flag_in);
      std::vector<float> out_adv;
      fake.advances(font, out, out_adv);
      check_lines(out, out_adv, mode, available);
    }
  }

  const float ellipsis_width = fake.width(font, ellipsis);
  const std::size_t cut = ellipsis_cut(adv, text, available, ellipsis_width);
  check(cut <= text.size());
  float used = 0;
  std::size_t pos = 0;
  while (pos < cut) {
    const std::size_t next = next_cluster(text, pos);
    check(next > pos);
    for (std::size_t k = pos; k < next; ++k) used += adv[k];
    pos = next;
  }
  check(pos == cut);
  if (cut > 0) check(used + ellipsis_width <= available);
  if (cut < text.size()) {
    // The next cluster would not have fitted.
    float more = used;
    for (std::size_t k = cut; k < next_cluster(text, cut); ++k) more += adv[k];
    check(!(more + ellipsis_width <= available));
  }
  return 0;
}
