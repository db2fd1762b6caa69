#include "service/update_check.h"

#include <array>

#include "characters.h"
#include "common/text.h"
#include "notice/texts.h"
#include "service/json_path.h"

namespace vx::service {
namespace {

net::Request base_request(const CheckConfig& config) {
  net::Request request = net::Request::to(config.url);
  request.agent(check_user_agent).timeouts(check_connect_timeout, check_receive_timeout);
  return request;
}

struct Buttons {
  std::string_view code, yes, no;
};

// clang-format off
constexpr std::array<Buttons, 18> buttons{{
    {"en", "Yes", "No"}, {"ko", "예", "아니오"}, {"ja", "はい", "いいえ"}, {"zh", "是", "否"},
    {"ru", "Да", "Нет"}, {"it", "Sì", "No"}, {"fr", "Oui", "Non"}, {"es", "Sí", "No"},
    {"ar", "نعم", "لا"}, {"pt", "Sim", "Não"}, {"de", "Ja", "Nein"}, {"hi", "हाँ", "नहीं"},
    {"tr", "Evet", "Hayır"}, {"vi", "Có", "Không"}, {"th", "ใช่", "ไม่ใช่"}, {"id", "Ya", "Tidak"},
    {"pl", "Tak", "Nie"}, {"nl", "Ja", "Nee"},
}};
// clang-format on

// The companion's bar says it in one word in these languages.
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> short_bar_titles{{
    {"es", "Actualización"},
    {"pt", "Atualização"},
    {"id", "Pembaruan"},
    {"pl", "Aktualizacja"},
}};

}  // namespace

CheckConfig companion_check_config(std::string url, std::string version, std::string_view language) {
  CheckConfig config;
  config.url = std::move(url);
  config.version = std::move(version);
  config.language = sanitize_utf8(ascii_lower(first_characters(language, max_check_language)));
  return config;
}

bool can_start(const CheckConfig& config) {
  return !trim(config.url).empty() && config.attempts > 0 && config.pause.count() >= 0 &&
         config.initial_delay.count() >= 0;
}

void add_header(net::Request& request, std::string_view name, std::string_view value) {
  const std::string line = std::string(name) + ": " + std::string(value);
  if (fit_utf16(line, max_header_line).size() < line.size()) return;
  request.header(name, value);
}

net::Request check_request(const CheckConfig& config, std::string_view user_id) {
  net::Request request = base_request(config);
  add_header(request, "User-Version", config.version);
  add_header(request, "User-Language", config.language);
  add_header(request, "User-Debug", config.debug ? "true" : "false");
  add_header(request, "User-Union", config.union_id ? std::string_view(*config.union_id) : user_id);
  return request;
}

net::Request hold_request(const CheckConfig& config) {
  net::Request request = base_request(config);
  add_header(request, "User-Version", config.version);
  add_header(request, "User-Command", "hold");
  return request;
}

std::optional<std::string> run_check(const CheckConfig& config, net::Transport& transport,
                                     const std::function<std::string()>& user_id, const StopWait& wait) {
  if (!can_start(config) || !wait(config.initial_delay)) return std::nullopt;
  const std::string id = config.union_id || !user_id ? std::string() : user_id();
  const net::Request request = check_request(config, id);
  for (int attempt = 1;; ++attempt) {
    net::HttpResult answer = transport.send(request);
    if (answer && answer->status >= 200 && answer->status <= 299) return std::move(answer->body);
    // A request cut short by the stop fails too; the wait then says stop at once.
    if (attempt >= config.attempts || !wait(config.pause)) return std::nullopt;
  }
}

CompanionAnswer read_answer(std::string_view body) {
  CompanionAnswer answer;
  answer.update_url = json_text(body, "update");
  answer.notify_url = json_text(body, "notify");
  if (answer.update_url.empty()) return answer;
  const std::string style = to_lower(json_text(body, "info.style"));
  if (style == "hold") {
    answer.style = net::NoticeStyle::hold;
  } else if (style == "note") {
    answer.style = net::NoticeStyle::note;
  }
  answer.info_text = json_text(body, "info.text");
  answer.info_url = json_text(body, "info.url");
  answer.keep_on_top = to_lower(json_text(body, "info.flag")).find("keepontop") != std::string::npos;
  return answer;
}

CompanionNoticeTexts companion_notice_texts(std::string_view language) {
  const notice::NoticeTexts& words = notice::notice_texts(language);
  CompanionNoticeTexts texts;
  texts.message = std::string(words.instruction) + "\n\n" + std::string(words.content);
  texts.bar_title = words.bar_title;
  for (const auto& [code, title] : short_bar_titles) {
    if (code == language) texts.bar_title = title;
  }
  texts.yes = buttons[0].yes;
  texts.no = buttons[0].no;
  for (const Buttons& row : buttons) {
    if (row.code == language) {
      texts.yes = row.yes;
      texts.no = row.no;
    }
  }
  return texts;
}

}  // namespace vx::service
