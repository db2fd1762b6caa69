#include "text_source.h"

#include <algorithm>

namespace ostrel::text::win32::detail {

HRESULT TextSource::QueryInterface(REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IDWriteTextAnalysisSource)) {
    *out = static_cast<IDWriteTextAnalysisSource*>(this);
  } else if (iid == __uuidof(IDWriteTextAnalysisSink)) {
    *out = static_cast<IDWriteTextAnalysisSink*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  return S_OK;
}

HRESULT TextSource::GetTextAtPosition(UINT32 pos, const WCHAR** text, UINT32* length) noexcept {
  if (pos >= size()) {
    *text = nullptr, *length = 0;
  } else {
    *text = text_.data() + pos, *length = size() - pos;
  }
  return S_OK;
}

HRESULT TextSource::GetTextBeforePosition(UINT32 pos, const WCHAR** text, UINT32* length) noexcept {
  if (pos == 0 || pos > size()) {
    *text = nullptr, *length = 0;
  } else {
    *text = text_.data(), *length = pos;
  }
  return S_OK;
}

HRESULT TextSource::GetLocaleName(UINT32 pos, UINT32* length, const WCHAR** locale) noexcept {
  *length = pos < size() ? size() - pos : 0;
  *locale = locale_;
  return S_OK;
}

HRESULT TextSource::GetNumberSubstitution(UINT32 pos, UINT32* length,
                                          IDWriteNumberSubstitution** substitution) noexcept {
  *length = pos < size() ? size() - pos : 0;
  *substitution = nullptr;
  return S_OK;
}

// The analyzer's ranges are trusted no further than the arrays they write into.
HRESULT TextSource::SetScriptAnalysis(UINT32 pos, UINT32 length, const DWRITE_SCRIPT_ANALYSIS* analysis) noexcept {
  if (pos > scripts.size()) return E_INVALIDARG;
  const auto end = std::min<std::size_t>(scripts.size(), std::size_t{pos} + length);
  std::fill(scripts.begin() + pos, scripts.begin() + end, *analysis);
  return S_OK;
}

HRESULT TextSource::SetBidiLevel(UINT32 pos, UINT32 length, UINT8, UINT8 resolved_level) noexcept {
  if (pos > levels.size()) return E_INVALIDARG;
  const auto end = std::min<std::size_t>(levels.size(), std::size_t{pos} + length);
  std::fill(levels.begin() + pos, levels.begin() + end, resolved_level);
  return S_OK;
}

}  // namespace ostrel::text::win32::detail
