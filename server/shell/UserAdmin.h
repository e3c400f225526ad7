#pragma once
// --add-user and --remove-user: change the users file and end the run. The password comes
// from standard input (one line; not echoed when it is a terminal) and is never logged.
#include <cstdio>
#include <istream>

#include "common/settings/SettingsStore.h"
#include "server/shell/CommandLine.h"
#include "server/shell/ShellLog.h"

namespace zentarc::shell {

// Returns the exit code: 0 done, 1 the file could not be changed.
int runUserAdmin(const CommandLine& commandLine, const settings::SettingsStore& store, std::istream& in,
                 bool inputIsTerminal, ShellLog& log);

}  // namespace zentarc::shell
