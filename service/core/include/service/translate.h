// The companion's texts: a small table linked in as the RCDATA resource
// "TRANSLATE" (res/translate.txt), keyed by the Korean source text. Blocks of
// "code=text" lines, one block per message, the Korean line first, blocks
// separated by blank lines; "\n" in a text stands for a line break.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::service {

// The Korean source texts the companion asks for.
namespace message {
inline constexpr std::string_view product = "Vorlix";
inline constexpr std::string_view missing_config = "응용 프로그램 구성 파일이 잘못되었습니다.";
inline constexpr std::string_view missing_reinstall = "다시 설치 후 실행해 주십시오.";
inline constexpr std::string_view exception_list = "예외목록";
inline constexpr std::string_view about = "Ostrelnet 정보";
inline constexpr std::string_view quit = "종료하기";
}  // namespace message

// A compressed resource starts with this tag, then the text's size (32-bit
// little-endian), then the XPRESS Huffman stream.
inline constexpr std::string_view compressed_tag = "OPK1";

// Unpacks `compressed` into exactly `size` bytes; nothing on failure. Only
// the Windows build has one (RtlDecompressBufferEx).
using Decompressor = std::function<std::optional<std::string>(std::string_view compressed, std::size_t size)>;

// The table's text from the resource's bytes: as it is, or unpacked when it
// carries the tag. Nothing when a packed resource is cut short, no
// decompressor is given, or it fails or returns another size.
std::optional<std::string> resource_text(std::string_view resource, const Decompressor& decompress);

class TranslationTable {
 public:
  TranslationTable() = default;
  // UTF-8 text (a byte-order mark is skipped, bad bytes become U+FFFD); "\r"
  // before a line break is dropped, lines without "=" are ignored.
  static TranslationTable parse(std::string_view text);
  // The resource's table; empty when there is none (see resource_text).
  static TranslationTable from_resource(std::string_view resource, const Decompressor& decompress);

  bool empty() const noexcept { return entries_.empty(); }

  // The message whose text (in any of its languages, case-insensitively)
  // equals `source`, in `language`, else in English, else `source` itself; so
  // a missing table leaves every text in Korean.
  std::string lookup(std::string_view source, std::string_view language) const;

 private:
  struct Entry {
    std::string language;
    std::string text;
    std::size_t block;  // index of the block's first entry
  };
  std::vector<Entry> entries_;
};

// The message box shown when the main program is missing: both lines, a blank
// line between them.
std::string missing_program_text(const TranslationTable& table, std::string_view language);

}  // namespace vx::service
