#include "page-cleanup/wording.h"

#include "i18n/lang.h"

namespace vx::page_cleanup {

std::string analysis_progress(const winapp2::Progress& progress, std::string_view language) {
  return i18n::text_with("cleanup.scanning", language,
                         {{"{i}", std::to_string(progress.index)}, {"{n}", std::to_string(progress.count)}});
}

std::string analysis_done(const winapp2::AnalysisTotals& totals, std::string_view language) {
  return i18n::text_with("cleanup.scanned", language,
                         {{"{files}", std::to_string(totals.files)},
                          {"{regs}", std::to_string(totals.registry)},
                          {"{size}", winapp2::size_text(totals.bytes)}});
}

std::string cleaning_progress(const winapp2::Progress& progress, std::string_view language) {
  return i18n::text_with("cleanup.cleaning", language,
                         {{"{i}", std::to_string(progress.index)}, {"{n}", std::to_string(progress.count)}});
}

std::string cleaning_done(const winapp2::CleanCounts& counts, std::string_view language) {
  return i18n::text_with("cleanup.cleaned", language,
                         {{"{size}", winapp2::size_text(counts.bytes)},
                          {"{files}", std::to_string(counts.files)},
                          {"{regs}", std::to_string(counts.registry)}});
}

}  // namespace vx::page_cleanup
