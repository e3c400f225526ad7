#pragma once
// The texts of the PLC side's result codes, read from error.dat beside the server. Whoever
// shows a code as text owns a catalogue and hands it on; there is no process-wide one.
//
// error.dat: lines of 4 upper-case hex digits (the code), one separator character, the text
// (at most 63 characters) and CR LF; reading stops after the line with code FFFF.
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zentarc::plc {

class ErrorCatalogue {
 public:
  static constexpr std::size_t kTextSize = 64;  // 63 characters and the terminating NUL
  static constexpr unsigned kEndCode = 0xFFFF;

  // Load results.
  static constexpr unsigned kLoaded = 0;
  static constexpr unsigned kCannotOpen = 1;
  static constexpr unsigned kReadFailed = 2;
  // Lookup results.
  static constexpr unsigned kFound = 0;
  static constexpr unsigned kNotFound = 4;

  // Reads the file once: 0 also when texts are already loaded (the file is not read again);
  // 1 when it cannot be opened (a later Load tries again); 2 when it ends or turns
  // malformed before the FFFF line (the texts read so far stay and are kept).
  unsigned Load(const std::string& path);
  // The same for the bytes of such a file (0 or 2).
  unsigned LoadBytes(std::string_view data);
  // Copies the text of the first entry with this code into text (64 bytes) and returns 0;
  // 4, leaving text as it was, when there is no such entry or nothing is loaded.
  unsigned Lookup(unsigned code, char* text) const;
  // The same for C++ callers.
  std::optional<std::string> Text(unsigned code) const;

  bool loaded() const;
  std::size_t size() const;

  // error.dat in the folder of the running executable; the bare name when that folder
  // cannot be found.
  static std::string DefaultPath();

 private:
  struct Entry {
    unsigned code = 0;
    std::string text;
  };
  unsigned parse(std::string_view data);  // with mutex_ held

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;  // file order; the first entry with a code wins
  bool loaded_ = false;
};

}  // namespace zentarc::plc
