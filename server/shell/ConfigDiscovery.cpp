#include "server/shell/ConfigDiscovery.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "server/shell/ServerIdentity.h"

namespace zentarc::shell {

namespace {

bool endsWith(const std::string& s, const char* suffix) {
  const std::string t(suffix);
  return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

bool readable(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return static_cast<bool>(in);
}

}  // namespace

std::string configBesideExecutable(const std::string& executablePath) {
  std::string p = executablePath;
  // Only the end of the path: a folder named like "x.exe" must stay as it is.
  if (endsWith(p, ".exe") || endsWith(p, ".EXE")) p.resize(p.size() - 4);
  return p + ".xml";
}

std::string ownExecutablePath() {
  std::error_code ec;
  const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

std::optional<std::string> findConfiguration(const std::string& executablePath,
                                             const std::optional<std::string>& namedOnCommandLine,
                                             const settings::SettingsStore& store, MessagePrompter& prompter) {
  if (namedOnCommandLine) return namedOnCommandLine;
  if (executablePath.empty()) return std::string();
  const std::string beside = configBesideExecutable(executablePath);
  if (readable(beside)) return beside;

  settings::ReadStatus status = settings::ReadStatus::NoFile;
  std::optional<std::string> value = store.read(settings::kProductKey, settings::kConfigFileValue, &status);
  switch (status) {
    case settings::ReadStatus::Ok:
      return value;
    case settings::ReadStatus::NoValue:
      // The key is there but says nothing: tell which store and which value, rather than
      // loading some other path.
      prompter.warning(kConfigCaption, std::string(kNoConfigText) + "\n\nThe settings store " + store.path() +
                                           " has the key [" + settings::kProductKey + "] but no value \"" +
                                           settings::kConfigFileValue + "\", and there is no " + beside + ".");
      return std::nullopt;
    case settings::ReadStatus::NoFile:
    case settings::ReadStatus::NoKey:
      break;
  }
  prompter.warning(kConfigCaption, kNoConfigText);
  return std::nullopt;
}

}  // namespace zentarc::shell
