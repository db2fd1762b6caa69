// The path reader on the answers a server may send, well-formed or not.
#include "service/json_path.h"

#include <gtest/gtest.h>

namespace {

using vx::service::json_text;

TEST(JsonPath, SkipsEverythingOnTheWayIncludingBracketsInsideTexts) {
  const std::string body = R"({
    "a": [1, {"update": "nested"}, "]}\"", [[{}]]], "b": {"c": "}"}, "n": -1.5e3,
    "info": {"x": {"style": "deep"}, "style": "HOLD", "text": "t"},
    "update": "u", "update": "second"})";
  EXPECT_EQ(json_text(body, "update"), "u") << "the first of a repeated key";
  EXPECT_EQ(json_text(body, "info.style"), "HOLD");
  EXPECT_EQ(json_text(body, "info.text"), "t");
  EXPECT_EQ(json_text(body, "info.x.style"), "deep");
  EXPECT_EQ(json_text(body, "info.url"), "");
  EXPECT_EQ(json_text(body, "style"), "") << "keys of inner objects are not top-level keys";
  EXPECT_EQ(json_text(body, "update.x"), "") << "a text is no object";
  EXPECT_EQ(json_text(body, "n"), "-1.5e3");
  EXPECT_EQ(json_text("\xEF\xBB\xBF {\"k\" : true }", "k"), "true");
}

TEST(JsonPath, UnescapesTextsTheWayTheCompanionReadsThem) {
  const auto value = [](std::string_view escaped) {
    return json_text("{\"k\":\"" + std::string(escaped) + "\"}", "k");
  };
  EXPECT_EQ(value(R"(a\tb\nc\rd)"), "a\tb\nc\rd");
  EXPECT_EQ(value(R"(\"\\\/)"), "\"\\/");
  EXPECT_EQ(value(R"(\b\f\x)"), "bfx") << "any other escaped character stands for itself";
  EXPECT_EQ(value(R"(\u00e9\u4E2D)"), "é中");
  EXPECT_EQ(value(R"(\ud83d\ude00)"), "😀");
  EXPECT_EQ(value(R"(\ud83dx\ude00)"), "\xEF\xBF\xBDx\xEF\xBF\xBD") << "lone surrogates";
  EXPECT_EQ(value(R"(\ud83d\u0041)"),
            "\xEF\xBF\xBD"
            "A");
  EXPECT_EQ(value(R"(\u12g4)"), "u12g4") << "not four hex digits";
  EXPECT_EQ(value("bad \xFF\xC3 bytes"), "bad \xEF\xBF\xBD\xEF\xBF\xBD bytes");
  EXPECT_EQ(value("\\\xBE \\\xC3\xA9"), "\xEF\xBF\xBD \xC3\xA9") << "an escaped byte is still checked";
  EXPECT_EQ(json_text(R"({"upd\u0061te":"u"})", "update"), "u") << "keys are compared unescaped";
}

TEST(JsonPath, OnlyTextsNumbersAndBooleansHaveAText) {
  const std::string body = R"({"z": null, "o": {"a": 1}, "l": [1], "e": "", "f": false,"m":12})";
  EXPECT_EQ(json_text(body, "z"), "");
  EXPECT_EQ(json_text(body, "o"), "");
  EXPECT_EQ(json_text(body, "l"), "");
  EXPECT_EQ(json_text(body, "e"), "");
  EXPECT_EQ(json_text(body, "f"), "false");
  EXPECT_EQ(json_text(body, "m"), "12");
}

TEST(JsonPath, MalformedBodiesReadAsEmptyWithoutHarm) {
  for (const char* body :
       {"", "[]", "\"update\"", "{", "{\"update\"", "{\"update\":", "{\"update\":\"u", "{\"update\" \"u\"}",
        "{\"a\":,\"update\":\"u\"}", "{\"a\":[}],\"update\":\"u\"}", "{\"a\":{\"b\":[1,2}},\"update\":\"u\"}",
        "{\"a\":1 \"update\":\"u\"}", "{\"a\":\"\\", "{'update':'u'}", "{,\"update\":\"u\"}"}) {
    EXPECT_EQ(json_text(body, "update"), "") << body;
  }
  EXPECT_EQ(json_text("{\"update\":\"u\", garbage", "update"), "u") << "only the way to the value is read";
}

TEST(JsonPath, SizeDepthAndPathSegmentsAreBounded) {
  const std::string key(64, 'k');
  EXPECT_EQ(json_text("{\"" + key + "\":\"v\"}", key), "");
  EXPECT_EQ(json_text("{\"" + key.substr(1) + "\":\"v\"}", key.substr(1)), "v");

  const auto nested = [](std::size_t depth) {
    return "{\"a\":" + std::string(depth, '[') + std::string(depth, ']') + ",\"update\":\"u\"}";
  };
  EXPECT_EQ(json_text(nested(vx::service::max_json_depth), "update"), "u");
  EXPECT_EQ(json_text(nested(vx::service::max_json_depth + 1), "update"), "");
  EXPECT_EQ(json_text("{\"a\":" + std::string(1'000'000, '{'), "update"), "");

  std::string big = "{\"update\":\"u\",\"pad\":\"";
  big.resize(vx::service::max_json_body - 2, 'x');
  EXPECT_EQ(json_text(big + "\"}", "update"), "u");
  EXPECT_EQ(json_text(big + " \"}", "update"), "") << "one byte over the limit";
}

}  // namespace
