// The user's own keep-alive file, NoClean.txt, read at every close run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "process/keep_list.h"

namespace vx::process::win32 {

// The file's text (see decode_list_file); absent when it cannot be read or is
// larger than max_list_file_size.
std::optional<std::string> read_noclean(const std::string& path);

// Where the file is looked for, in order: beside the program, then in the
// user's roaming application data under Vorlix.
std::vector<std::string> noclean_paths();

// Adds the entries of every readable file to the path list, writing
// "[clean] NoClean <path> +<added>" for each.
void merge_noclean_files(KeepList& path_list, const std::vector<std::string>& paths);

}  // namespace vx::process::win32
