// What the companion reads from executables: its own translation table and a
// program's file version.
#pragma once

#include <string>

#include "service/translate.h"

namespace vx::service::win32 {

// The RCDATA resource "TRANSLATE" of this program, unpacked when it is
// compressed (RtlDecompressBufferEx, where the system has it). Empty when it
// is missing or cannot be read: every text then stays Korean.
TranslationTable load_translation_table();

// The version resource's file version as "a.b.c.d"; empty when the file has
// none or cannot be read.
std::string file_version(const std::string& path);

// This program's full path.
std::string own_path();

}  // namespace vx::service::win32
