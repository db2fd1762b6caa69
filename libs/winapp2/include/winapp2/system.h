// What the rule engine asks of the machine, behind narrow interfaces: the
// file system and the registry as Windows shows them, and the folders and
// environment the rules' variables stand for. Windows implementations live in
// win32/; tests use the in-memory ones in memory_system.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/hive.h"
#include "common/path_vars.h"

namespace vx::winapp2 {

namespace attribute {
inline constexpr std::uint32_t read_only = 0x1;
inline constexpr std::uint32_t hidden = 0x2;
inline constexpr std::uint32_t system = 0x4;
inline constexpr std::uint32_t directory = 0x10;
inline constexpr std::uint32_t reparse_point = 0x400;
}  // namespace attribute

// A reparse tag with the name-surrogate bit (symbolic links, junctions), or an
// unreadable tag (0) on a reparse point: something that points elsewhere.
inline bool is_link(std::uint32_t attributes, std::uint32_t reparse_tag) {
  return (attributes & attribute::reparse_point) && (reparse_tag == 0 || (reparse_tag & 0x20000000u));
}

// Which file a handle reached: the volume's serial number and the file's id on
// it. Two opens reached the same file exactly when these agree.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
};

struct DirEntry {
  std::string name;
  std::uint32_t attributes = 0;
  std::uint32_t reparse_tag = 0;
  std::uint64_t size = 0;
  std::uint64_t id = 0;  // the file id on the listed folder's volume; 0 from path listings
  bool is_link() const { return winapp2::is_link(attributes, reparse_tag); }
  // A folder to go into: links never are.
  bool is_folder() const { return (attributes & attribute::directory) && !is_link(); }
};

// A folder as a handle showed it: judged and listed through that handle.
struct OpenedFolder {
  std::string path;  // where the handle really is
  FileId id;
  std::vector<DirEntry> entries;
};

enum class Follow {
  link,   // a link at the path itself is followed (as one that names it was meant to be)
  never,  // a link at the path is refused
};

// Paths given here are absolute drive paths; the engine refuses every other
// kind before it asks. Links on the way to the last component are followed by
// the system; the operations that act judge the opened handle, never the text.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The entries of a folder (no "." or ".."); absent when it cannot be listed.
  virtual std::optional<std::vector<DirEntry>> list(std::string_view folder) = 0;
  // Whether something is at the path, and whether it is a folder, links followed.
  virtual bool exists(std::string_view path) = 0;
  virtual bool is_folder(std::string_view path) = 0;
  // Where a path really leads, every link on the way followed; absent when unknown.
  virtual std::optional<std::string> final_path(std::string_view path) = 0;
  // Opens a folder and lists it through the handle. Absent when there is no
  // folder, when `follow` is never and the path is a link, or when `expected`
  // is given and the handle reached another folder. With `expected` the
  // handle's path is `path` (the identity vouches for it); without, it is the
  // final path the system reports for the handle.
  virtual std::optional<OpenedFolder> open_folder(std::string_view path, Follow follow,
                                                  std::optional<FileId> expected = std::nullopt) = 0;
  // Deletes a file for good (read-only ones too; never to the recycle bin,
  // never at restart) through a handle opened without following a link, and
  // only when that handle is still the file `expected` and its final path is
  // `path`. A link, a folder or another file at the path is left alone.
  virtual bool delete_file(std::string_view path, FileId expected) = 0;
  // Removes the empty folder `expected` at `path` in the same way.
  virtual bool remove_folder(std::string_view path, FileId expected) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // In the 64-bit view. An empty value name is the key's default value.
  virtual bool key_exists(Hive hive, std::string_view subkey) = 0;
  virtual bool value_exists(Hive hive, std::string_view subkey, std::string_view name) = 0;
  virtual std::vector<std::string> value_names(Hive hive, std::string_view subkey) = 0;
  virtual std::vector<std::string> subkey_names(Hive hive, std::string_view subkey) = 0;
  // A value that is not there counts as deleted.
  virtual bool delete_value(Hive hive, std::string_view subkey, std::string_view name) = 0;
  // A key with everything below it; one that is not there counts as deleted.
  virtual bool delete_tree(Hive hive, std::string_view subkey) = 0;
};

// The folders and environment the rules' variables stand for.
class Environment {
 public:
  virtual ~Environment() = default;
  virtual std::optional<std::string> known_folder(KnownFolder kind) = 0;
  virtual std::optional<std::string> temp_folder() = 0;
  virtual std::optional<std::string> variable(std::string_view name) = 0;
};

}  // namespace vx::winapp2
