#pragma once
// Records the last saved configuration's path where the server looks for it.
#include <string>

namespace zentarc::editor {

// Stores path as ConfigFile in the settings store. False with a readable reason on failure.
bool recordConfigFile(const std::string& path, std::string* error);

}  // namespace zentarc::editor
