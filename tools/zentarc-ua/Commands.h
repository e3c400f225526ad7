#pragma once
// The four commands of zentarc-ua on a connected client. Each prints to `out` (results) and
// `err` (problems) and returns the exit status.
#include <atomic>
#include <ostream>

#include "server/toolkit/ua/UaClient.h"
#include "tools/zentarc-ua/CommandLine.h"

namespace zentarc::uatool {

enum ExitCode { kOk = 0, kRefused = 1, kUsage = 2, kNoConnection = 3 };

int runBrowse(ua::UaClient& client, const Options& o, std::ostream& out, std::ostream& err);
int runRead(ua::UaClient& client, const Options& o, std::ostream& out, std::ostream& err);
int runWrite(ua::UaClient& client, const Options& o, std::ostream& out, std::ostream& err);
// Runs until the duration ends or `stop` becomes true.
int runWatch(ua::UaClient& client, const Options& o, const std::atomic<bool>& stop,
             std::ostream& out, std::ostream& err);

// Connects and runs the command; the whole program minus signal handling.
int runTool(const Options& o, const std::atomic<bool>& stop, std::ostream& out, std::ostream& err);

}  // namespace zentarc::uatool
