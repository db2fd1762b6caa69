// What protects a running program from the close run: four keep-alive lists
// (built in, extended by the server's lists and the user's NoClean.txt) and
// the rules by which an entry matches a program's path or its signer.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vx::process {

// Entries as written (trimmed) and, in the same order, their match keys: the
// entry with a leading path variable expanded, then lower-cased. Entries are
// only ever appended.
class KeepList {
 public:
  const std::vector<std::string>& raw() const { return raw_; }
  const std::vector<std::string>& keys() const { return keys_; }
  std::size_t size() const { return raw_.size(); }

  // Adds one entry unless it is blank or already present (ASCII case
  // ignored); true when added.
  bool add(std::string_view entry);

 private:
  std::vector<std::string> raw_;
  std::vector<std::string> keys_;
  std::unordered_set<std::string> seen_;  // ASCII-lower-cased raw entries, for the duplicate test
};

// One entry per line: leading U+FEFF removed, lines split at LF with a
// trailing CR dropped. Returns the number of entries added.
std::size_t merge_lines(KeepList& list, std::string_view text);
KeepList load_list_text(std::string_view text);

enum class ListKind : std::size_t { path, name, bundle, signer };
inline constexpr std::size_t list_count = 4;
// The server's key for each list, in list order.
inline constexpr std::array<std::string_view, list_count> server_list_keys = {"file_white", "name_white", "name_black",
                                                                              "sign_white"};

struct KeepLists {
  std::array<KeepList, list_count> lists;
  KeepList& operator[](ListKind kind) { return lists[static_cast<std::size_t>(kind)]; }
  const KeepList& operator[](ListKind kind) const { return lists[static_cast<std::size_t>(kind)]; }
};

// The four lists as the program ships them.
KeepLists builtin_keep_lists();
std::string_view builtin_list_text(ListKind kind);

// Merges the server's lists, list by list, in their order; the number added.
std::size_t merge_lists(KeepLists& lists, const std::array<std::vector<std::string>, list_count>& server);

// Path rule: a key ending in "*" names a file (compared with the path's file
// name), any other key is a piece of the path; "//" keys never match.
bool matches_path(const std::vector<std::string>& keys, std::string_view path);

// Signer rule: the lower-cased signer name begins with a key.
bool matches_signer(const std::vector<std::string>& keys, std::string_view signer);
// Name rule, the same for a program's, a value's, a task's or a service's name.
inline bool matches_name(const std::vector<std::string>& keys, std::string_view name) {
  return matches_signer(keys, name);
}

// The text of a NoClean.txt file: UTF-8 with a mark, UTF-16 with either mark,
// valid UTF-8, else the ANSI code page (`ansi`: absent when the bytes are not
// valid there), else UTF-8 with replacement characters.
using AnsiDecoder = std::function<std::optional<std::string>(std::string_view bytes)>;
std::string decode_list_file(std::string_view bytes, const AnsiDecoder& ansi);

// Files larger than this are not read: no user writes a list that long.
inline constexpr std::size_t max_list_file_size = 8 * 1024 * 1024;

}  // namespace vx::process
