// The translation table: the shipped resource, lookups and their fallbacks,
// and the packed form.
#include "service/translate.h"

#include <gtest/gtest.h>

#include "common/embedded.h"

VX_EMBEDDED(vx_service_translate)

namespace {

using namespace vx::service;

TranslationTable shipped() {
  return TranslationTable::from_resource(vx::embedded_bytes(vx_service_translate, vx_service_translate_size), nullptr);
}

TEST(Translation, TheShippedTableHasEveryMessageInEveryLanguage) {
  const TranslationTable table = shipped();
  for (const std::string_view source :
       {message::missing_config, message::missing_reinstall, message::exception_list, message::about, message::quit}) {
    for (const char* language : {"en", "ja", "zh", "ru", "it", "fr", "de"}) {
      EXPECT_NE(table.lookup(source, language), source) << source << " in " << language;
    }
    EXPECT_EQ(table.lookup(source, "ko"), source);
  }
  EXPECT_EQ(table.lookup(message::product, "ja"), "Vorlix");
}

TEST(Translation, FrenchMenuUnknownCodesInEnglishNoTableInKorean) {
  const TranslationTable table = shipped();
  EXPECT_EQ(table.lookup(message::exception_list, "fr"), "Liste d'exceptions");
  EXPECT_EQ(table.lookup(message::quit, "fr"), "Quitter");
  EXPECT_EQ(table.lookup(message::about, "xx"), "About");
  EXPECT_EQ(missing_program_text(table, "de"),
            "Die Anwendungskonfigurationsdatei ist ungültig.\n\nBitte neu installieren und ausführen.");
  EXPECT_EQ(missing_program_text(TranslationTable(), "de"),
            "응용 프로그램 구성 파일이 잘못되었습니다.\n\n다시 설치 후 실행해 주십시오.");
}

TEST(Translation, AnyLineOfABlockFindsItAndTheFormatIsReadLoosely) {
  const TranslationTable table = TranslationTable::parse(
      "\xEF\xBB\xBFko=닫기\r\nen=Close\r\nde=Schlie\xC3\x9F"
      "en\r\n"
      "  \r\n"  // only spaces: still a block boundary
      "ko=줄\\n바꿈\n"
      "a line without an equals sign\n"
      "de=Zeile\\nUmbruch=ja\n"
      "\n"
      "ko=영어 없음\n"
      "fr=Pas d'anglais");
  EXPECT_EQ(table.lookup("CLOSE", "de"), "Schließen") << "found by its English line, case-insensitively";
  EXPECT_EQ(table.lookup("SCHLIESSEN", "ko"), "SCHLIESSEN") << "simple case mapping only: ß is not SS";
  EXPECT_EQ(table.lookup("schließen", "ko"), "닫기");
  EXPECT_EQ(table.lookup("줄\n바꿈", "de"), "Zeile\nUmbruch=ja");
  EXPECT_EQ(table.lookup("줄\n바꿈", "it"), "줄\n바꿈")
      << "no English line (and the blank line parts it from Close): the source";
  EXPECT_EQ(table.lookup("영어 없음", "fr"), "Pas d'anglais");
  EXPECT_EQ(table.lookup("줄\n바꿈", "fr"), "줄\n바꿈") << "never the next block's text";
  EXPECT_EQ(table.lookup("Close", "ja"), "Close") << "a language the block lacks: its English";
  EXPECT_EQ(table.lookup("없는 말", "en"), "없는 말");
}

TEST(Translation, APackedResourceNeedsTheDecompressorAndItsExactSize) {
  const std::string packed = std::string("OPK1\x07\x00\x00\x00", 8) + "<xpress>";
  const auto unpack = [](std::optional<std::string> result) -> Decompressor {
    return [result](std::string_view compressed, std::size_t size) {
      return compressed == "<xpress>" && size == 7 ? result : std::nullopt;
    };
  };
  EXPECT_EQ(resource_text(packed, unpack("ko=가\n")), "ko=가\n");
  EXPECT_EQ(resource_text(packed, unpack("ko=가")), std::nullopt) << "another size than announced";
  EXPECT_EQ(resource_text(packed, unpack(std::nullopt)), std::nullopt);
  EXPECT_EQ(resource_text("OPK1\x07", unpack("ko=가\n")), std::nullopt) << "cut inside the size";
  EXPECT_EQ(resource_text("ko=가", nullptr), "ko=가");
  EXPECT_EQ(TranslationTable::from_resource(packed, nullptr).lookup(message::quit, "en"), "종료하기");
}

}  // namespace
