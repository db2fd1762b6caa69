// The text DirectWrite's analyzer and font fallback read from, and the sink
// they write script and bidi results into. Lives on the stack for one call:
// DirectWrite keeps no reference after returning, so reference counts are moot.
#pragma once

#include <windows.h>

#include <dwrite.h>

#include <string_view>
#include <vector>

namespace ostrel::text::win32::detail {

class TextSource final : IDWriteTextAnalysisSource, IDWriteTextAnalysisSink {
 public:
  TextSource(std::wstring_view text, const wchar_t* locale) noexcept : text_(text), locale_(locale) {}
  virtual ~TextSource() = default;
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;

  // Script per UTF-16 unit and bidi level per unit; AnalyzeScript and
  // AnalyzeBidi fill them once sized to the text.
  std::vector<DWRITE_SCRIPT_ANALYSIS> scripts;
  std::vector<UINT8> levels;

  IDWriteTextAnalysisSource* source() noexcept { return this; }
  IDWriteTextAnalysisSink* sink() noexcept { return this; }

 private:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 1; }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }

  HRESULT STDMETHODCALLTYPE GetTextAtPosition(UINT32 pos, const WCHAR** text, UINT32* length) noexcept override;
  HRESULT STDMETHODCALLTYPE GetTextBeforePosition(UINT32 pos, const WCHAR** text, UINT32* length) noexcept override;
  DWRITE_READING_DIRECTION STDMETHODCALLTYPE GetParagraphReadingDirection() noexcept override {
    return DWRITE_READING_DIRECTION_LEFT_TO_RIGHT;
  }
  HRESULT STDMETHODCALLTYPE GetLocaleName(UINT32 pos, UINT32* length, const WCHAR** locale) noexcept override;
  HRESULT STDMETHODCALLTYPE GetNumberSubstitution(UINT32 pos, UINT32* length,
                                                  IDWriteNumberSubstitution** substitution) noexcept override;

  HRESULT STDMETHODCALLTYPE SetScriptAnalysis(UINT32 pos, UINT32 length,
                                              const DWRITE_SCRIPT_ANALYSIS* analysis) noexcept override;
  HRESULT STDMETHODCALLTYPE SetLineBreakpoints(UINT32, UINT32, const DWRITE_LINE_BREAKPOINT*) noexcept override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetBidiLevel(UINT32 pos, UINT32 length, UINT8 explicit_level,
                                         UINT8 resolved_level) noexcept override;
  HRESULT STDMETHODCALLTYPE SetNumberSubstitution(UINT32, UINT32, IDWriteNumberSubstitution*) noexcept override {
    return S_OK;
  }

  UINT32 size() const noexcept { return static_cast<UINT32>(text_.size()); }

  std::wstring_view text_;
  const wchar_t* locale_;
};

}  // namespace ostrel::text::win32::detail
