#include "SettingsStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zentarc::settings {

namespace {

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::string SettingsStore::defaultPath() {
  const char* env = std::getenv(kPathVariable);
  if (env && *env) return env;
  return kDefaultPath;
}

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)) {}

bool SettingsStore::load(Sections& out, bool* exists) const {
  std::ifstream in(path_, std::ios::binary);
  if (exists) *exists = static_cast<bool>(in);
  if (!in) return false;
  std::string line;
  std::string section;
  bool inSection = false;
  while (std::getline(in, line)) {
    const std::string t = trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t.front() == '[' && t.back() == ']') {
      section = t.substr(1, t.size() - 2);
      out[section];
      inSection = true;
      continue;
    }
    const auto eq = t.find('=');
    if (!inSection || eq == std::string::npos) continue;
    out[section][trim(t.substr(0, eq))] = trim(t.substr(eq + 1));
  }
  return true;
}

bool SettingsStore::save(const Sections& sections, std::string* error) const {
  std::ostringstream text;
  for (const auto& [key, values] : sections) {
    text << '[' << key << "]\n";
    for (const auto& [name, value] : values) text << name << '=' << value << '\n';
    text << '\n';
  }
  const std::string body = text.str();
  const std::string tmp = path_ + ".tmp." + std::to_string(::getpid());
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  if (fd < 0) {
    if (error)
      *error = "cannot write the settings file " + path_ + " (folder " + folderOf(path_) +
               "): " + std::strerror(errno);
    return false;
  }
  // The file stays readable by the service and writable by the group of the people who
  // configure it, whatever the umask of the one who saves (each save replaces the file).
  bool ok = ::fchmod(fd, 0664) == 0;
  ok = ::write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size()) && ok;
  ok = (::fsync(fd) == 0) && ok;
  const int savedErrno = errno;
  ::close(fd);
  if (!ok || ::rename(tmp.c_str(), path_.c_str()) != 0) {
    const int e = ok ? errno : savedErrno;
    ::unlink(tmp.c_str());
    if (error) *error = "cannot write the settings file " + path_ + ": " + std::strerror(e);
    return false;
  }
  return true;
}

std::optional<std::string> SettingsStore::read(const std::string& key, const std::string& name,
                                               ReadStatus* status) const {
  Sections sections;
  bool exists = false;
  if (!load(sections, &exists)) {
    if (status) *status = ReadStatus::NoFile;
    return std::nullopt;
  }
  const auto s = sections.find(key);
  if (s == sections.end()) {
    if (status) *status = ReadStatus::NoKey;
    return std::nullopt;
  }
  const auto v = s->second.find(name);
  if (v == s->second.end()) {
    if (status) *status = ReadStatus::NoValue;
    return std::nullopt;
  }
  if (status) *status = ReadStatus::Ok;
  return v->second;
}

bool SettingsStore::hasKey(const std::string& key) const {
  Sections sections;
  return load(sections, nullptr) && sections.count(key) != 0;
}

bool SettingsStore::write(const std::string& key, const std::string& name,
                          const std::string& value, std::string* error) {
  if (value.find('\n') != std::string::npos || name.find('=') != std::string::npos) {
    if (error) *error = "a settings value cannot hold a line break";
    return false;
  }
  Sections sections;
  load(sections, nullptr);
  sections[key][name] = value;
  return save(sections, error);
}

bool SettingsStore::removeKey(const std::string& key, std::string* error) {
  Sections sections;
  bool exists = false;
  load(sections, &exists);
  if (!exists || sections.erase(key) == 0) return true;
  return save(sections, error);
}

}  // namespace zentarc::settings
