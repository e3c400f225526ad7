#include "server/plc/ErrorCatalogue.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zentarc::plc {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  // Lower case is outside the format but means the same to whoever typed it.
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

unsigned ErrorCatalogue::Load(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (loaded_) return kLoaded;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return kCannotOpen;
  std::ifstream in(path, std::ios::binary);
  if (!in) return kCannotOpen;
  const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return kCannotOpen;
  return parse(data);
}

unsigned ErrorCatalogue::LoadBytes(std::string_view data) {
  std::lock_guard lock(mutex_);
  if (loaded_) return kLoaded;
  return parse(data);
}

unsigned ErrorCatalogue::parse(std::string_view data) {
  loaded_ = true;

  std::size_t pos = 0;
  for (;;) {
    if (data.size() - pos < 4) return kReadFailed;
    unsigned code = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = hexDigit(data[pos++]);
      if (digit < 0) return kReadFailed;
      code = code * 16 + static_cast<unsigned>(digit);
    }
    const bool last = code == kEndCode;
    if (pos >= data.size()) {
      if (!last) return kReadFailed;
      entries_.push_back(Entry{code, {}});  // the end line without its line end
      return kLoaded;
    }
    const char separator = data[pos++];
    Entry entry{code, {}};
    char lineEnd = separator;  // a CR or LF separator means an empty text
    if (separator != '\r' && separator != '\n') {
      // Lines end in CR LF, or in LF alone when the file was edited on Linux.
      const std::size_t end = data.find_first_of("\r\n", pos);
      if (end == std::string_view::npos && !last) return kReadFailed;
      const std::size_t stop = end == std::string_view::npos ? data.size() : end;
      entry.text = std::string(data.substr(pos, std::min(stop - pos, kTextSize - 1)));
      lineEnd = end == std::string_view::npos ? '\0' : data[end];
      pos = end == std::string_view::npos ? data.size() : end + 1;
    }
    if (lineEnd == '\r') {
      if (pos < data.size() && data[pos] == '\n') ++pos;
      else if (pos >= data.size() && !last) return kReadFailed;
    }
    entries_.push_back(std::move(entry));
    if (last) return kLoaded;
  }
}

unsigned ErrorCatalogue::Lookup(unsigned code, char* text) const {
  std::lock_guard lock(mutex_);
  for (const Entry& e : entries_) {
    if (e.code == code) {
      std::memcpy(text, e.text.c_str(), e.text.size() + 1);
      return kFound;
    }
  }
  return kNotFound;
}

std::optional<std::string> ErrorCatalogue::Text(unsigned code) const {
  char text[kTextSize];
  if (Lookup(code, text) != kFound) return std::nullopt;
  return std::string(text);
}

bool ErrorCatalogue::loaded() const {
  std::lock_guard lock(mutex_);
  return loaded_;
}

std::size_t ErrorCatalogue::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::string ErrorCatalogue::DefaultPath() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || self.empty()) return "error.dat";
  return (self.parent_path() / "error.dat").string();
}

}  // namespace zentarc::plc
