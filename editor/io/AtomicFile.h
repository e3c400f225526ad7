#pragma once
// Replaces a file only once its new contents are complete: a temporary file in the same
// folder is written, flushed to disk and renamed over the old one. On failure the old file
// is untouched and no temporary file is left behind.
#include <string>

namespace zentarc::editor {

bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string* error);

}  // namespace zentarc::editor
