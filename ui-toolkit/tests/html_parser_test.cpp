#include "html/parser.h"

#include <gtest/gtest.h>

#include <string>

#include "dom/dom.h"

namespace {

using ostrel::Document;

// Parses into a fresh document and returns the dump of the whole tree.
std::string tree(std::string_view html) {
  Document doc;
  ostrel::parse_html(doc, doc.document_node, html);
  return ostrel::dump(doc.document_node);
}

TEST(HtmlParser, AddsHtmlHeadAndBodyLikeABrowser) {
  EXPECT_EQ(tree(""), "#document\n  html\n    head\n    body\n");
  EXPECT_EQ(tree("hello"), "#document\n  html\n    head\n    body\n      \"hello\"\n");
  EXPECT_EQ(tree("<!DOCTYPE html><!-- note --><title>T</title><p>x"),
            "#document\n  html\n    head\n      title\n        \"T\"\n    body\n      p\n        \"x\"\n");
  // White space before the body is dropped; attributes of repeated html/body merge.
  EXPECT_EQ(tree("  \n<html lang=ko><body class=a><html dir=ltr><body id=b>"),
            "#document\n  html lang=\"ko\" dir=\"ltr\"\n    head\n    body class=\"a\" id=\"b\"\n");
}

TEST(HtmlParser, HeadElementsAndRawText) {
  EXPECT_EQ(tree("<head><meta charset=utf-8><style>a < b { } </STYLE ></head><body>x</body>"),
            "#document\n  html\n    head\n      meta charset=\"utf-8\"\n      style\n"
            "        \"a < b { } \"\n    body\n      \"x\"\n");
  // Script text is taken as written; "</scriptx" does not end it.
  EXPECT_EQ(tree("<script>if (a</b) x='</scriptx>';</script>"),
            "#document\n  html\n    head\n      script\n        \"if (a</b) x='</scriptx>';\"\n    body\n");
  // Title decodes references; an unclosed raw-text element runs to the end.
  EXPECT_EQ(tree("<title>A &amp; B</title><style>p{}"),
            "#document\n  html\n    head\n      title\n        \"A & B\"\n      style\n        \"p{}\"\n    body\n");
}

TEST(HtmlParser, AttributesQuotedUnquotedDuplicatedAndUpperCase) {
  EXPECT_EQ(tree("<div ID='one' Class=\"a b\" data-x=1 hidden data-x=2 title=a&amp;b>"),
            "#document\n  html\n    head\n    body\n      div id=\"one\" class=\"a b\" data-x=\"1\" hidden=\"\""
            " title=\"a&b\"\n");
  // A URL with "&copy=" keeps its text inside an attribute.
  EXPECT_EQ(tree("<a href=\"?a=1&copy=2&amp;c\">"),
            "#document\n  html\n    head\n    body\n      a href=\"?a=1&copy=2&c\"\n");
}

TEST(HtmlParser, CharacterReferences) {
  EXPECT_EQ(tree("&lt;&gt;&quot;&amp;&#65;&#x42;&#X43;&copy &nbsp;&unknown; &#;"),
            "#document\n  html\n    head\n    body\n      \"<>\\\"&ABC\xC2\xA9 \xC2\xA0&unknown; &#;\"\n");
  // Zero, surrogates and out-of-range values become U+FFFD; C1 controls map to Windows-1252.
  EXPECT_EQ(tree("&#0;&#xD800;&#x110000;&#99999999999;&#x80;"),
            "#document\n  html\n    head\n    body\n      "
            "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xE2\x82\xAC\"\n");
}

TEST(HtmlParser, VoidElementsAndImpliedEndTags) {
  EXPECT_EQ(tree("<div><img src=a.png><br><input type=checkbox>text</div>"),
            "#document\n  html\n    head\n    body\n      div\n        img src=\"a.png\"\n        br\n"
            "        input type=\"checkbox\"\n        \"text\"\n");
  EXPECT_EQ(tree("<p>one<p>two<div>three</div>"),
            "#document\n  html\n    head\n    body\n      p\n        \"one\"\n      p\n        \"two\"\n"
            "      div\n        \"three\"\n");
  EXPECT_EQ(
      tree("<ul><li>a<li>b</ul>"),
      "#document\n  html\n    head\n    body\n      ul\n        li\n          \"a\"\n        li\n          \"b\"\n");
  // A stray </p> makes an empty paragraph; unknown end tags are ignored.
  EXPECT_EQ(tree("</p></span>x"), "#document\n  html\n    head\n    body\n      p\n      \"x\"\n");
}

TEST(HtmlParser, TablesGetImpliedSectionsAndRows) {
  EXPECT_EQ(tree("<table><tr><td>a<td>b</table>"),
            "#document\n  html\n    head\n    body\n      table\n        tbody\n          tr\n"
            "            td\n              \"a\"\n            td\n              \"b\"\n");
  EXPECT_EQ(tree("<table><col style=width:20px><thead><tr><th>h</th></tr></thead><tr><td>c"),
            "#document\n  html\n    head\n    body\n      table\n        colgroup\n          col style=\"width:20px\"\n"
            "        thead\n          tr\n            th\n              \"h\"\n        tbody\n          tr\n"
            "            td\n              \"c\"\n");
  // A row straight after a column closes the column group the column opened.
  EXPECT_EQ(tree("<table><col><tr><td>c"),
            "#document\n  html\n    head\n    body\n      table\n        colgroup\n          col\n"
            "        tbody\n          tr\n            td\n              \"c\"\n");
  // Text that is not white space inside table structure goes in front of the table.
  EXPECT_EQ(tree("<table>oops<tr><td>x</td></tr></table>"),
            "#document\n  html\n    head\n    body\n      \"oops\"\n      table\n        tbody\n          tr\n"
            "            td\n              \"x\"\n");
}

TEST(HtmlParser, InlineSvgKeepsCaseAndSelfClosingTags) {
  EXPECT_EQ(tree("<span><svg viewbox='0 0 10 10'><path d='M0 0L1 1'/><path d=\"M2 2\"></path></svg>after</span>"),
            "#document\n  html\n    head\n    body\n      span\n        svg viewBox=\"0 0 10 10\"\n"
            "          path d=\"M0 0L1 1\"\n          path d=\"M2 2\"\n        \"after\"\n");
  // "/>" means nothing on HTML elements.
  EXPECT_EQ(tree("<div/>inside"), "#document\n  html\n    head\n    body\n      div\n        \"inside\"\n");
}

TEST(HtmlParser, MalformedInputNeverFails) {
  EXPECT_EQ(tree("<div class=\"unterminated"), "#document\n  html\n    head\n    body\n");
  // "</" before a non-letter opens a bogus comment that runs to ">" or the end.
  EXPECT_EQ(tree("a < b <3 </ c <!"), "#document\n  html\n    head\n    body\n      \"a < b <3 \"\n");
  EXPECT_EQ(tree("<!-->x<!--->y<!-- open"), "#document\n  html\n    head\n    body\n      \"xy\"\n");
  EXPECT_EQ(tree("\xEF\xBB\xBFok\r\nline\rend"), "#document\n  html\n    head\n    body\n      \"ok\\nline\\nend\"\n");
  EXPECT_EQ(tree("bad \xFF byte"), "#document\n  html\n    head\n    body\n      \"bad \xEF\xBF\xBD byte\"\n");
  // Nesting deeper than browsers allow is flattened, and text after </html> stays in body.
  std::string deep;
  for (int i = 0; i < 20000; ++i) deep += "<div>";
  EXPECT_NE(tree(deep + "x").find("\"x\""), std::string::npos);
  EXPECT_EQ(tree("<body>a</body></html>b"), "#document\n  html\n    head\n    body\n      \"ab\"\n");
}

}  // namespace
