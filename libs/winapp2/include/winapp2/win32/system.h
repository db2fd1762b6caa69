// The rule engine's view of this machine: the real file system, registry
// (64-bit view) and environment.
#pragma once

#include "winapp2/system.h"

namespace vx::winapp2::win32 {

class Win32FileSystem final : public FileSystem {
 public:
  std::optional<std::vector<DirEntry>> list(std::string_view folder) override;
  bool exists(std::string_view path) override;
  bool is_folder(std::string_view path) override;
  std::optional<std::string> final_path(std::string_view path) override;
  std::optional<OpenedFolder> open_folder(std::string_view path, Follow follow,
                                          std::optional<FileId> expected = std::nullopt) override;
  bool delete_file(std::string_view path, FileId expected) override;
  bool remove_folder(std::string_view path, FileId expected) override;
};

class Win32Registry final : public Registry {
 public:
  bool key_exists(Hive hive, std::string_view subkey) override;
  bool value_exists(Hive hive, std::string_view subkey, std::string_view name) override;
  std::vector<std::string> value_names(Hive hive, std::string_view subkey) override;
  std::vector<std::string> subkey_names(Hive hive, std::string_view subkey) override;
  bool delete_value(Hive hive, std::string_view subkey, std::string_view name) override;
  bool delete_tree(Hive hive, std::string_view subkey) override;
};

class Win32Environment final : public Environment {
 public:
  std::optional<std::string> known_folder(KnownFolder kind) override;
  std::optional<std::string> temp_folder() override;
  std::optional<std::string> variable(std::string_view name) override;
};

}  // namespace vx::winapp2::win32
