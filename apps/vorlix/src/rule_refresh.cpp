#include "rule_refresh.h"

#include <chrono>
#include <cstdio>

#include "common/text.h"
#include "winapp2/rules.h"

namespace vx::app {
namespace {

constexpr std::size_t min_entries = 1000;

RefreshOutcome failed(std::string_view why) {
  std::fprintf(stderr, "[cleanup] Winapp2 받기 실패: %.*s\n", static_cast<int>(why.size()), why.data());
  return RefreshOutcome::failed;
}

}  // namespace

RefreshOutcome refresh_rule_file(net::Transport& transport, const RuleRefresh& refresh) {
  if (!refresh.url || refresh.url->empty() || refresh.current_version >= refresh.server_version)
    return RefreshOutcome::skipped;
  const net::HttpResult answer =
      transport.send(net::Request::to(*refresh.url).timeouts(std::chrono::seconds(10), std::chrono::seconds(60)));
  if (!answer) return failed(answer.error().text());
  // A cut body would be saved as a shorter, wrong rule file.
  if (answer->cut) return failed("본문이 " + std::to_string(net::max_body_size) + " 바이트를 넘어 잘림");
  const std::string text = sanitize_utf8(answer->body);
  if (const std::uint32_t version = winapp2::read_rule_version(text); version != refresh.server_version)
    return failed("판이 다름 " + std::to_string(version) + " != " + std::to_string(refresh.server_version));
  // Counted as written: an entry split in two by the parser is still one.
  winapp2::ParseStats stats;
  (void)winapp2::parse_rules(text, &stats);
  if (stats.kept < min_entries) return failed("항목이 적음 " + std::to_string(stats.kept));
  if (!refresh.user_path) return failed("APPDATA 없음");
  if (const Result<> written = refresh.replace(*refresh.user_path, text); !written)
    return failed(written.error().message);
  std::fprintf(stderr, "[cleanup] Winapp2 %u 받음\n", static_cast<unsigned>(refresh.server_version));
  return RefreshOutcome::saved;
}

}  // namespace vx::app
