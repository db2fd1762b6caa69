// The notices' words per language and what a server's texts become on screen.
#include "notice/texts.h"

#include <gtest/gtest.h>

namespace {

using namespace vx::notice;

TEST(NoticeTexts, TwoLetterCodesChooseTheirRowAndAnythingElseIsEnglish) {
  EXPECT_EQ(notice_texts("ko").bar_title, "업데이트 가능");
  EXPECT_EQ(notice_texts("ko").content,
            "안정적으로 사용하기 위해 업데이트를 하시길 권장합니다.\n\n다운로드 받으시겠습니까?");
  EXPECT_EQ(notice_texts("ar").instruction, "تم تحديث هذا البرنامج.");
  EXPECT_EQ(notice_texts("nl").bar_title, "Update beschikbaar");
  for (const char* other : {"pt-BR", "", "k", "xx", "KO"}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(notice_texts(other).bar_title, "Update available");
  }
  EXPECT_EQ(notice_texts("en").content,
            "It is recommended to download and execute new for stable use.\n\nDo you want to download it?");
}

TEST(NoticeTexts, AServersLinkShowsAsWrittenAndOpensOnlyAWebPage) {
  EXPECT_EQ(footer_link("A <b> & \"c\"", "https://x.test/?a=1&b=\"2\""),
            "<a href=\"https://x.test/?a=1&amp;b=&quot;2&quot;\">A &lt;b&gt; &amp; &quot;c&quot;</a>");
  EXPECT_EQ(footer_link("Read", ""), "") << "no address, no footer";
  EXPECT_EQ(footer_link("", "https://x.test"), "");
  for (const char* refused : {"file:///C:/Windows/notepad.exe", "javascript:alert(1)", "HTTPS://x.test",
                              "https://x.test/\r\nevil", "C:\\Windows\\system32\\calc.exe"}) {
    SCOPED_TRACE(refused);
    EXPECT_FALSE(is_web_address(refused));
    EXPECT_EQ(footer_link("Read", refused), "");
  }
  EXPECT_FALSE(is_web_address("https://x.test/" + std::string(3000, 'a')));
}

TEST(NoticeTexts, ServerTextsLoseControlCharactersAndStayShort) {
  EXPECT_EQ(plain_text("Don't\tshow\r\nagain"), "Don't show  again");
  const std::string huge(100 * 1024, 'x');
  EXPECT_EQ(plain_text(huge).size(), 512u);
  // Cut on a character boundary: "가" is three bytes.
  std::string korean;
  for (int i = 0; i < 400; ++i) korean += "가";
  const std::string cut = plain_text(korean);
  EXPECT_EQ(cut.size() % 3, 0u);
  EXPECT_GE(cut.size(), 512u);
  EXPECT_LE(cut.size(), 514u);
}

}  // namespace
