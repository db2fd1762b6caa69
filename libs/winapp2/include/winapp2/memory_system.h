// In-memory stand-ins for the file system, the registry and the environment,
// with Windows semantics: paths compared without case, "\" separators, drive
// letters, attributes, and links and junctions that point elsewhere. Tests
// build machines with them that no real disk could hold safely.
#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "winapp2/system.h"

namespace vx::winapp2 {

class MemoryFileSystem final : public FileSystem {
 public:
  static constexpr std::uint32_t symlink_tag = 0xA000000C;
  static constexpr std::uint32_t junction_tag = 0xA0000003;

  // Folders and files; missing parent folders are made too.
  void add_folder(std::string_view path, std::uint32_t attributes = attribute::directory);
  void add_file(std::string_view path, std::uint64_t size, std::uint32_t attributes = 0);
  // A link (or junction) at `path` that points at `target`; a folder link when
  // `folder`. A tag of 0 stands for one whose tag cannot be read.
  void add_link(std::string_view path, std::string_view target, bool folder = true, std::uint32_t tag = symlink_tag);
  // Makes a folder unlistable.
  void deny_listing(std::string_view path);
  // A file another program holds open: it cannot be deleted.
  void lock(std::string_view path);

  std::optional<std::vector<DirEntry>> list(std::string_view folder) override;
  bool exists(std::string_view path) override;
  bool is_folder(std::string_view path) override;
  std::optional<std::string> final_path(std::string_view path) override { return resolve(path, true); }
  bool delete_file(std::string_view path) override;
  bool remove_folder(std::string_view path) override;

  // Everything deleted or removed, as lower-cased paths, in order.
  const std::vector<std::string>& removed() const { return removed_; }

  // How many times each folder (lower-cased, as asked) was listed.
  const std::unordered_map<std::string, int>& listings() const { return listings_; }
  bool contains(std::string_view path) const;

 private:
  struct Node {
    std::string name;  // as created
    std::uint32_t attributes = 0;
    std::uint32_t reparse_tag = 0;
    std::uint64_t size = 0;
    std::string target;  // for links: the key of what it points at
  };
  // The key of a path with links on the way resolved (the last one only when asked).
  std::optional<std::string> resolve(std::string_view path, bool follow_last) const;
  Node& make(const std::string& key, std::string_view name);
  std::map<std::string, Node> nodes_;  // by lower-cased path, so a folder's children follow it
  std::unordered_set<std::string> unlistable_, locked_;
  std::vector<std::string> removed_;
  std::unordered_map<std::string, int> listings_;
};

class MemoryRegistry final : public Registry {
 public:
  void add_key(Hive hive, std::string_view subkey);
  void add_value(Hive hive, std::string_view subkey, std::string_view name);
  bool key_exists(Hive hive, std::string_view subkey) override;
  bool value_exists(Hive hive, std::string_view subkey, std::string_view name) override;
  std::vector<std::string> value_names(Hive hive, std::string_view subkey) override;
  std::vector<std::string> subkey_names(Hive hive, std::string_view subkey) override;
  bool delete_value(Hive hive, std::string_view subkey, std::string_view name) override;
  bool delete_tree(Hive hive, std::string_view subkey) override;

 private:
  std::unordered_set<std::string> keys_, values_;
};

class MemoryEnvironment final : public Environment {
 public:
  std::map<KnownFolder, std::string> folders;
  std::optional<std::string> temp;
  std::map<std::string, std::string> variables;  // names in upper case

  std::optional<std::string> known_folder(KnownFolder kind) override;
  std::optional<std::string> temp_folder() override { return temp; }
  std::optional<std::string> variable(std::string_view name) override;

  // A machine with a user "user" on drive C:, every known folder in its usual place.
  static MemoryEnvironment typical();
};

}  // namespace vx::winapp2
