#include "net/update.h"

#include <gtest/gtest.h>

#include "fake_transport.h"
#include "net/user_id.h"

namespace {

using namespace vx::net;
using namespace vx::net::testing;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

UpdateInfo parsed(std::string_view body) {
  auto info = parse_update(body);
  EXPECT_TRUE(info.has_value()) << body << ": " << (info ? "" : info.error());
  return info.value_or(UpdateInfo{});
}

std::string parse_error(std::string_view body) {
  auto info = parse_update(body);
  EXPECT_FALSE(info.has_value()) << body;
  return info ? std::string() : info.error();
}

TEST(ParseUpdate, ReadsAFullAnswer) {
  const UpdateInfo info = parsed(R"({
    "status": "OK", "error": "busy", "update": "https://u.test/dl", "notify": "https://u.test/bar",
    "info": {"style": "  Note ", "text": "more", "flag": "x,KeepOnTop", "url": "https://u.test/more", "other": 1},
    "winapp2_ver": 42, "winapp2_url": "https://u.test/rules.ini",
    "file_white": [" a.exe* ", "", "  ", 5, null, ["nested"], {"k": "v"}, "b.exe*"],
    "name_white": ["n"], "name_black": [], "sign_white": ["S"], "extra": {"deep": [[[]]]}
  })");
  EXPECT_TRUE(info.ok) << "status compared without case";
  EXPECT_EQ(info.error, "busy");
  EXPECT_EQ(info.update_url, "https://u.test/dl");
  EXPECT_EQ(info.notify_url, "https://u.test/bar");
  EXPECT_EQ(info.style, NoticeStyle::note);
  EXPECT_EQ(info.info_text, "more");
  EXPECT_EQ(info.info_url, "https://u.test/more");
  EXPECT_TRUE(info.keep_on_top);
  EXPECT_EQ(info.settings.rule_file_version, 42u);
  EXPECT_EQ(info.settings.rule_file_url, "https://u.test/rules.ini");
  EXPECT_EQ(info.settings.lists[0], (Strings{"a.exe*", "b.exe*"})) << "trimmed; blanks and non-texts skipped";
  EXPECT_EQ(info.settings.lists[1], (Strings{"n"}));
  EXPECT_EQ(info.settings.lists[2], (Strings{}));
  EXPECT_EQ(info.settings.lists[3], (Strings{"S"}));
}

TEST(ParseUpdate, AMissingStatusIsOkAndEmptyObjectGivesDefaults) {
  EXPECT_EQ(parsed("{}"), UpdateInfo{});
  EXPECT_TRUE(parsed(R"({"status": null, "update": "u"})").ok);
  EXPECT_EQ(parsed(R"({"info": {"style": "HOLD"}})").style, NoticeStyle::hold);
  EXPECT_EQ(parsed(R"({"info": {"style": "holdx", "flag": "keep"}})"), UpdateInfo{});
}

TEST(ParseUpdate, AnotherStatusWithdrawsTheOfferButKeepsSettingsAndMessage) {
  const UpdateInfo info = parsed(R"({"status": "fail", "error": "e", "update": "https://u.test", "notify": "n",
    "info": {"style": "hold", "text": "t", "flag": "keepontop", "url": "i"},
    "winapp2_ver": "7", "name_black": ["x"]})");
  EXPECT_FALSE(info.ok);
  EXPECT_EQ(info.update_url, std::nullopt);
  EXPECT_EQ(info.notify_url, std::nullopt);
  EXPECT_EQ(info.info_text, std::nullopt);
  EXPECT_EQ(info.info_url, std::nullopt);
  EXPECT_EQ(info.style, NoticeStyle::plain);
  EXPECT_FALSE(info.keep_on_top);
  EXPECT_EQ(info.error, "e");
  EXPECT_EQ(info.settings.rule_file_version, 7u);
  EXPECT_EQ(info.settings.lists[2], (Strings{"x"}));

  EXPECT_FALSE(parsed(R"({"status": 1})").ok) << "a status that is not a text is not ok";
  EXPECT_FALSE(parsed(R"({"status": " ok"})").ok) << "the whole text must match";
}

TEST(ParseUpdate, RuleFileVersionTakesOnly32BitUnsignedNumbersOrDigitTexts) {
  const auto version = [](std::string_view value) {
    return parsed("{\"winapp2_ver\": " + std::string(value) + "}").settings.rule_file_version;
  };
  EXPECT_EQ(version("12"), 12u);
  EXPECT_EQ(version("\"+12\""), 12u);
  EXPECT_EQ(version("\"0012\""), 12u);
  EXPECT_EQ(version("4294967295"), 4294967295u);
  EXPECT_EQ(version("\"4294967295\""), 4294967295u);
  for (const char* zero : {"5000000000", "\"5000000000\"", "-3", "\"-3\"", "12.0", "1e3", "\" 12\"", "\"12a\"", "\"+\"",
                           "\"\"", "true", "[12]", "{\"v\": 12}", "null", "99999999999999999999999"}) {
    EXPECT_EQ(version(zero), 0u) << zero;
  }
  EXPECT_EQ(parsed(R"({"winapp2_ver": 5, "winapp2_ver": "x"})").settings.rule_file_version, 0u)
      << "a repeated unnamed key: the last one counts";
}

TEST(ParseUpdate, ValuesOfTheWrongTypeCountAsAbsent) {
  const UpdateInfo info = parsed(R"({"error": 1, "update": ["u"], "notify": {"n": "n"}, "info": "hold",
    "winapp2_url": 5, "file_white": "a.exe*", "name_white": {"a": "b"}})");
  EXPECT_EQ(info, UpdateInfo{});
  EXPECT_EQ(parsed(R"({"info": {"style": ["hold"], "text": 1, "flag": {"keepontop": "keepontop"}}})"), UpdateInfo{});
  EXPECT_EQ(parsed(R"({"file_white": ["a"], "file_white": 3})").settings.lists[0], Strings{});
}

TEST(ParseUpdate, ANamedKeyTwiceFailsTheWholeAnswer) {
  EXPECT_EQ(parse_error(R"({"update": "a", "winapp2_ver": 3, "update": "b"})"), "duplicate key \"update\"");
  EXPECT_EQ(parse_error(R"({"status": "ok", "status": "ok"})"), "duplicate key \"status\"");
  EXPECT_EQ(parse_error(R"({"info": 1, "info": {}})"), "duplicate key \"info\"") << "whatever their types";
  EXPECT_EQ(parse_error(R"({"info": {"text": "a", "style": "x", "text": "b"}})"), "duplicate key \"info\".\"text\"");

  EXPECT_EQ(parsed(R"({"x": 1, "x": 2, "name_white": ["a"], "name_white": ["b"]})").settings.lists[1], Strings{"b"})
      << "other keys may repeat";
  EXPECT_TRUE(parsed(R"({"info": {"other": 1, "other": 2}, "extra": {"update": 1, "update": 2}})").ok)
      << "only info's own keys and the top level count";
  EXPECT_TRUE(parsed(R"({"info": {"x": {"text": 1, "text": 2}}})").ok);
}

TEST(ParseUpdate, RefusesWhatIsNotOneJsonObject) {
  for (const char* bad : {"", "[]", "[{}]", "\"ok\"", "3", "null", "{", "{\"a\":}", "{} {}", "{\"a\": 1,}",
                          "{\"a\": \"\xFF\"}", "{/*c*/}"}) {
    EXPECT_FALSE(parse_error(bad).empty()) << bad;
  }
  EXPECT_EQ(parse_error("[1]"), "the answer is not a JSON object");
  const std::string message = parse_error("{\"a\" 1}");
  EXPECT_FALSE(message.starts_with("[json.exception")) << message;
  EXPECT_NE(message.find("line 1"), std::string::npos) << message;

  EXPECT_TRUE(parsed("\xEF\xBB\xBF {\"status\":\"ok\"} \r\n").ok) << "a byte-order mark and blanks around are fine";
}

TEST(ParseUpdate, DeepNestingOfIgnoredValuesIsHarmless) {
  const std::string deep = "{\"x\":" + std::string(100000, '[') + std::string(100000, ']') + ",\"update\":\"u\"}";
  EXPECT_EQ(parsed(deep).update_url, "u");
}

TEST(ParseUpdate, RefusesOversizedAnswersUnread) {
  std::string big = "{\"x\":\"" + std::string(max_update_size, 'a') + "\"}";
  EXPECT_NE(parse_error(big).find("larger"), std::string::npos);
}

TEST(VersionText, OverrideWhenNotBlankElseTheProgramsVersion) {
  EXPECT_EQ(version_text(std::nullopt), "4.0.1.0");
  EXPECT_EQ(version_text(""), "4.0.1.0");
  EXPECT_EQ(version_text(" \t"), "4.0.1.0");
  EXPECT_EQ(version_text("  9.9.9 "), "9.9.9.0");
}

class FetchUpdate : public ::testing::Test {
 protected:
  UpdateConfig config() const {
    UpdateConfig c;
    c.url = " https://server.test/api.init.php ";
    c.version = "4.0.1.0";
    c.language = "ko";
    return c;
  }
  std::function<vx::Result<std::string>()> id_is(std::string id) {
    return [this, id] {
      ++id_calls;
      return vx::Result<std::string>(id);
    };
  }
  int id_calls = 0;
};

TEST_F(FetchUpdate, SendsOneGetWithTheHeadersInOrder) {
  FakeTransport transport(ok_answer(R"({"update": "https://u.test"})"));
  UpdateConfig c = config();
  c.debug = true;
  const auto info = fetch_update(c, transport, id_is(" OUID "), "hold");
  ASSERT_TRUE(info.has_value()) << info.error().message;
  EXPECT_EQ(info->update_url, "https://u.test");

  ASSERT_EQ(transport.sent.size(), 1u);
  const Request& r = transport.sent[0];
  EXPECT_EQ(r.url, "https://server.test/api.init.php");
  EXPECT_EQ(r.method, Method::get);
  EXPECT_EQ(r.body, "");
  EXPECT_EQ(r.user_agent, "Mozilla/5.0 (Windows NT 10.0; Win64; x64)");
  EXPECT_EQ(r.connect_timeout, 5s);
  EXPECT_EQ(r.receive_timeout, 10s);
  EXPECT_EQ(r.headers, (Headers{{"User-Version", "4.0.1.0"},
                                {"User-Language", "ko"},
                                {"User-Debug", "true"},
                                {"User-Union", " OUID "},
                                {"User-Command", "hold"}}));
}

TEST_F(FetchUpdate, TheUnionComesFromTheConfigurationOrElseTheId) {
  FakeTransport transport(ok_answer("{}"));
  UpdateConfig c = config();
  c.union_id = "configured";
  c.language = " ";
  ASSERT_TRUE(fetch_update(c, transport, id_is("stored")).has_value());
  EXPECT_EQ(id_calls, 0);
  EXPECT_EQ(transport.sent[0].headers,
            (Headers{{"User-Version", "4.0.1.0"}, {"User-Debug", "false"}, {"User-Union", "configured"}}));

  c.union_id = "  ";
  ASSERT_TRUE(fetch_update(c, transport, id_is("stored")).has_value());
  EXPECT_EQ(id_calls, 0) << "a configured union, even blank, is not replaced";
  EXPECT_EQ(transport.sent[1].headers.size(), 2u);

  const auto broken = [] { return vx::Result<std::string>(vx::fail("registry", "no key")); };
  ASSERT_TRUE(fetch_update(config(), transport, broken).has_value()) << "no id: the check goes on without it";
  EXPECT_EQ(transport.sent[2].headers,
            (Headers{{"User-Version", "4.0.1.0"}, {"User-Language", "ko"}, {"User-Debug", "false"}}));
}

TEST_F(FetchUpdate, EachFailureHasItsKindAndMessage) {
  const auto error_of = [&](HttpResult answer, std::string url = " https://server.test/api.init.php ") {
    FakeTransport transport(std::move(answer));
    UpdateConfig c = config();
    c.url = std::move(url);
    const auto info = fetch_update(c, transport, id_is("id"));
    EXPECT_FALSE(info.has_value());
    return info ? vx::Error{} : info.error();
  };
  EXPECT_EQ(error_of(ok_answer("{}"), " HTTPS://server.test "),
            (vx::Error{"config", "업데이트 주소는 전체 URL(https://...)이어야 합니다: HTTPS://server.test"}));
  EXPECT_EQ(error_of(network_error("보내지 못했습니다: timeout")),
            (vx::Error{"network", "업데이트 서버에 연결하지 못했습니다: 보내지 못했습니다: timeout"}));
  EXPECT_EQ(error_of(status_error(503)), (vx::Error{"http", "업데이트 서버가 503 응답을 보냈습니다."}));
  EXPECT_EQ(error_of(ok_answer(R"({"update": "a", "update": "b"})")),
            (vx::Error{"parse", "업데이트 응답을 해석하지 못했습니다: duplicate key \"update\""}));
}

class MemoryIdStore : public UserIdStore {
 public:
  vx::Result<std::optional<std::string>> read() override {
    if (read_error) return vx::fail("registry", *read_error);
    return stored;
  }
  vx::Result<> write(const std::string& id) override {
    ++writes;
    if (write_error) return vx::fail("registry", *write_error);
    stored = id;
    return {};
  }
  IdParts fresh_parts() override { return {0xDEADBEEF, 0x0A1B, 0x12, 2026, 3, 7, 9, 5, 59}; }

  std::optional<std::string> stored;
  std::optional<std::string> read_error, write_error;
  int writes = 0;
};

TEST(UserId, FormatIsRandomDateRandomTimeRandom) {
  EXPECT_EQ(format_user_id({0xDEADBEEF, 0x0A1B, 0x12, 2026, 3, 7, 9, 5, 59}), "DEADBEEF2603070A1B09055900000012");
  const std::string id = format_user_id({0xFFFFFFFF, 0xFFFF, 0xFFFFFFFF, 1999, 12, 31, 23, 59, 59});
  EXPECT_EQ(id, "FFFFFFFF991231FFFF235959FFFFFFFF");
  EXPECT_EQ(format_user_id({}).size(), 32u);
}

TEST(UserId, StoredIdIsTrimmedAndKept) {
  MemoryIdStore store;
  store.stored = " \t0123456789ABCDEF0123456789ABCDEF\r\n";
  const auto id = read_or_create_user_id(store);
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(id->id, "0123456789ABCDEF0123456789ABCDEF");
  EXPECT_EQ(id->store_error, std::nullopt);
  EXPECT_EQ(store.writes, 0);
}

TEST(UserId, MissingOrBlankIdIsCreatedAndStored) {
  for (std::optional<std::string> before : {std::optional<std::string>(), std::optional<std::string>("  ")}) {
    MemoryIdStore store;
    store.stored = before;
    const auto id = read_or_create_user_id(store);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->id, "DEADBEEF2603070A1B09055900000012");
    EXPECT_EQ(store.stored, id->id);
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(read_or_create_user_id(store)->id, id->id) << "reused next time";
    EXPECT_EQ(store.writes, 1);
  }
}

TEST(UserId, AnIdThatCannotBeStoredIsStillUsedAndAReadFailureIsAnError) {
  MemoryIdStore store;
  store.write_error = "Access is denied.";
  const auto id = read_or_create_user_id(store);
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(id->id, "DEADBEEF2603070A1B09055900000012");
  EXPECT_EQ(id->store_error, (vx::Error{"registry", "OUID 를 저장하지 못했습니다: Access is denied."}));

  store.read_error = "Access is denied.";
  EXPECT_EQ(read_or_create_user_id(store).error(),
            (vx::Error{"registry", "레지스트리 키를 열지 못했습니다: Access is denied."}));
}

}  // namespace
