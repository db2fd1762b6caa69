// The answer is walked event by event rather than loaded into a tree: the
// tree would silently keep only the last of a repeated key, and a repeated key
// that matters must fail the whole answer. Nothing but the values the program
// uses is kept, however large or deep the rest is.
#include <bitset>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "common/text.h"
#include "net/update_info.h"

namespace vx::net {
namespace {

using json = nlohmann::json;

enum class Top : std::uint8_t { other, status, error, update, notify, info, rule_version, rule_url, list };
enum class Info : std::uint8_t { other, style, text, flag, url };

// The keys that may appear once, in the order of the two enums (from 1).
constexpr std::string_view top_named[] = {"status", "error", "update", "notify", "info"};
constexpr std::string_view info_named[] = {"style", "text", "flag", "url"};

class Reader {
 public:
  explicit Reader(UpdateInfo& info) : info_(info) {}

  bool null() { return value(Value::null, nullptr); }
  bool boolean(bool) { return value(Value::other, nullptr); }
  bool number_integer(json::number_integer_t n) {
    if (n >= 0) return number_unsigned(static_cast<json::number_unsigned_t>(n));
    return value(Value::other, nullptr);
  }
  bool number_unsigned(json::number_unsigned_t n) {
    if (depth_ == 1 && top_ == Top::rule_version && n <= std::numeric_limits<std::uint32_t>::max())
      info_.settings.rule_file_version = static_cast<std::uint32_t>(n);
    return value(Value::other, nullptr);
  }
  bool number_float(json::number_float_t, const std::string&) { return value(Value::other, nullptr); }
  bool binary(json::binary_t&) { return value(Value::other, nullptr); }
  bool string(std::string& text) { return value(Value::text, &text); }

  bool start_object(std::size_t) {
    if (depth_ == 1 && top_ == Top::info) in_info_ = true;
    ++depth_;
    return true;
  }
  bool end_object() {
    if (--depth_ == 1) in_info_ = false;
    return true;
  }
  bool start_array(std::size_t) {
    if (depth_ == 0) return refuse("the answer is not a JSON object");
    if (depth_ == 1 && top_ == Top::list) in_list_ = true;
    ++depth_;
    return true;
  }
  bool end_array() {
    if (--depth_ == 1) in_list_ = false;
    return true;
  }

  bool key(std::string& name) {
    if (depth_ == 1) return top_key(name);
    if (depth_ == 2 && in_info_) return info_key(name);
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const json::exception& ex) {
    // Drop the library's "[json.exception.parse_error.101] " tag.
    std::string_view what = ex.what();
    if (what.starts_with('[')) {
      if (const auto end = what.find("] "); end != what.npos) what.remove_prefix(end + 2);
    }
    error_ = what;
    return false;
  }

  const std::string& error() const { return error_; }

  // Called after a clean parse.
  void finish() {
    info_.ok = !status_other_ && (!status_ || iequals_ascii(*status_, "ok"));
    if (!info_.ok) {
      const std::optional<std::string> message = std::move(info_.error);
      const ServerSettings settings = std::move(info_.settings);
      info_ = UpdateInfo{};
      info_.ok = false;
      info_.error = message;
      info_.settings = settings;
    }
  }

 private:
  enum class Value { null, text, other };

  bool refuse(std::string reason) {
    error_ = std::move(reason);
    return false;
  }

  bool top_key(const std::string& name) {
    top_ = Top::other;
    for (std::size_t i = 0; i < std::size(top_named); ++i) {
      if (name != top_named[i]) continue;
      if (top_seen_[i]) return refuse("duplicate key \"" + name + "\"");
      top_seen_[i] = true;
      top_ = static_cast<Top>(i + 1);
      return true;
    }
    // Unnamed keys may repeat; the last one is the one that counts.
    if (name == "winapp2_ver") {
      top_ = Top::rule_version;
      info_.settings.rule_file_version = 0;
    } else if (name == "winapp2_url") {
      top_ = Top::rule_url;
      info_.settings.rule_file_url.reset();
    } else {
      for (std::size_t i = 0; i < server_list_count; ++i) {
        if (name != server_list_names[i]) continue;
        top_ = Top::list;
        list_ = i;
        info_.settings.lists[i].clear();
      }
    }
    return true;
  }

  bool info_key(const std::string& name) {
    info_field_ = Info::other;
    for (std::size_t i = 0; i < std::size(info_named); ++i) {
      if (name != info_named[i]) continue;
      if (info_seen_[i]) return refuse("duplicate key \"info\".\"" + name + "\"");
      info_seen_[i] = true;
      info_field_ = static_cast<Info>(i + 1);
    }
    return true;
  }

  bool value(Value kind, std::string* text) {
    if (depth_ == 0) return refuse("the answer is not a JSON object");
    if (depth_ == 1) {
      top_value(kind, text);
    } else if (depth_ == 2 && in_list_ && kind == Value::text) {
      const std::string_view item = trim(*text);
      if (!item.empty()) info_.settings.lists[list_].emplace_back(item);
    } else if (depth_ == 2 && in_info_ && kind == Value::text) {
      info_value(*text);
    }
    return true;
  }

  void top_value(Value kind, std::string* text) {
    switch (top_) {
      case Top::status:
        if (kind == Value::text) status_ = std::move(*text);
        status_other_ = kind == Value::other;
        break;
      case Top::error:
        if (text) info_.error = std::move(*text);
        break;
      case Top::update:
        if (text) info_.update_url = std::move(*text);
        break;
      case Top::notify:
        if (text) info_.notify_url = std::move(*text);
        break;
      case Top::rule_version:
        if (text) {
          if (const auto n = parse_u32(*text)) info_.settings.rule_file_version = *n;
        }
        break;
      case Top::rule_url:
        if (text) info_.settings.rule_file_url = std::move(*text);
        break;
      case Top::info:
      case Top::list:
      case Top::other:
        break;
    }
  }

  void info_value(std::string& text) {
    switch (info_field_) {
      case Info::style: {
        const std::string style = to_lower(trim(text));
        info_.style = style == "hold" ? NoticeStyle::hold : style == "note" ? NoticeStyle::note : NoticeStyle::plain;
        break;
      }
      case Info::text:
        info_.info_text = std::move(text);
        break;
      case Info::flag:
        info_.keep_on_top = to_lower(text).find("keepontop") != std::string::npos;
        break;
      case Info::url:
        info_.info_url = std::move(text);
        break;
      case Info::other:
        break;
    }
  }

  UpdateInfo& info_;
  std::string error_;
  std::size_t depth_ = 0;
  Top top_ = Top::other;
  Info info_field_ = Info::other;
  std::size_t list_ = 0;
  bool in_info_ = false;
  bool in_list_ = false;
  std::bitset<std::size(top_named)> top_seen_;
  std::bitset<std::size(info_named)> info_seen_;
  std::optional<std::string> status_;
  bool status_other_ = false;
};

}  // namespace

bool parse_update_into(std::string_view body, UpdateInfo& info, std::string& error) {
  if (body.size() > max_update_size) {
    error = "the answer is larger than " + std::to_string(max_update_size) + " bytes";
    return false;
  }
  Reader reader(info);
  bool parsed = false;
  try {
    parsed = json::sax_parse(body.begin(), body.end(), &reader);
  } catch (const json::exception& ex) {
    error = ex.what();
    return false;
  }
  if (!parsed) {
    error = reader.error().empty() ? "the answer is not valid JSON" : reader.error();
    return false;
  }
  reader.finish();
  return true;
}

}  // namespace vx::net
