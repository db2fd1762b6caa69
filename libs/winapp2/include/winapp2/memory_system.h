// In-memory stand-ins for the file system, the registry and the environment,
// with Windows semantics: paths compared without case, "\" separators, drive
// letters, attributes, and links and junctions that point elsewhere. Tests
// build machines with them that no real disk could hold safely.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "winapp2/system.h"

namespace vx::winapp2 {

class MemoryFileSystem final : public FileSystem {
 public:
  static constexpr std::uint32_t symlink_tag = 0xA000000C;
  static constexpr std::uint32_t junction_tag = 0xA0000003;

  MemoryFileSystem();
  ~MemoryFileSystem() override;

  // Folders and files; missing parent folders are made too. Paths are drive
  // paths, network paths ("\\server\share\...") or, relative to
  // current_folder, root-relative and relative ones.
  void add_folder(std::string_view path, std::uint32_t attributes = attribute::directory);
  void add_file(std::string_view path, std::uint64_t size, std::uint32_t attributes = 0);
  // A link (or junction) at `path` that points at `target`; a folder link when
  // `folder`. A tag of 0 stands for one whose tag cannot be read.
  void add_link(std::string_view path, std::string_view target, bool folder = true, std::uint32_t tag = symlink_tag);
  // Takes away whatever is at `path` (links on the way followed), with all
  // below it, unrecorded: what another program does between two calls.
  void erase(std::string_view path);
  // Makes a folder unlistable.
  void deny_listing(std::string_view path);
  // A file another program holds open: it cannot be deleted.
  void lock(std::string_view path);
  // What the identity of the thing at `path` is (the last link not followed).
  std::optional<FileId> id_of(std::string_view path) const;
  // Called with the path at the start of every open_folder: lets a test change
  // the machine in the middle of a walk.
  std::function<void(std::string_view path)> before_open;
  std::string current_folder = "C:\\";

  std::optional<std::vector<DirEntry>> list(std::string_view folder) override;
  bool exists(std::string_view path) override;
  bool is_folder(std::string_view path) override;
  std::optional<std::string> final_path(std::string_view path) override;
  std::optional<OpenedFolder> open_folder(std::string_view path, Follow follow,
                                          std::optional<FileId> expected = std::nullopt) override;
  bool delete_file(std::string_view path, FileId expected) override;
  bool remove_folder(std::string_view path, FileId expected) override;

  // Everything deleted or removed, as lower-cased paths, in order.
  const std::vector<std::string>& removed() const { return removed_; }
  // How many times each folder (lower-cased, as asked) was listed by path.
  const std::unordered_map<std::string, int>& listings() const { return listings_; }
  // Whether something is at the path (the last link not followed).
  bool contains(std::string_view path) const;

 private:
  struct Node;
  // The node a path names: links on the way followed, the last one only when asked.
  Node* find(std::string_view path, bool follow_last) const;
  Node* make(std::string_view path);
  std::string path_of(const Node* node) const;
  FileId id(const Node* node) const;
  // Takes a node and all below it out of the machine.
  void forget(Node* node);

  std::unique_ptr<Node> top_;  // its children are the volumes: "c:", "\\server\share"
  std::uint64_t next_id_ = 1;
  std::unordered_set<std::uint64_t> unlistable_, locked_;
  std::vector<std::string> removed_;
  std::unordered_map<std::string, int> listings_;
  // Every node by the hash of its lower-cased path, so a path deep down is
  // found without walking down to it.
  std::unordered_multimap<std::uint64_t, Node*> by_hash_;
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
