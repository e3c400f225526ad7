#pragma once
// Which configuration file the server reads: the one named on the command line, else the
// file named like the executable beside it, else the settings store's ConfigFile.
#include <optional>
#include <string>

#include "common/settings/SettingsStore.h"
#include "server/shell/MessagePrompter.h"

namespace zentarc::shell {

// The executable's path with a trailing ".exe" (else ".EXE") taken off and ".xml" added:
// OPCZentarc -> OPCZentarc.xml, Server.exe -> Server.xml, Server.Exe -> Server.Exe.xml.
std::string configBesideExecutable(const std::string& executablePath);

// This process's executable (empty when it cannot be found).
std::string ownExecutablePath();

// The path to load, or nullopt when nothing can be loaded (the user has then been told
// once). An empty executable path gives an empty path, which the loader reports.
std::optional<std::string> findConfiguration(const std::string& executablePath,
                                             const std::optional<std::string>& namedOnCommandLine,
                                             const settings::SettingsStore& store, MessagePrompter& prompter);

}  // namespace zentarc::shell
