#pragma once
// A fresh folder under the system temp dir, removed with everything in it at scope end.
#include <filesystem>
#include <string>

namespace zentarc::testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path file(const std::string& name) const { return path_ / name; }
  // Writes bytes exactly as given (no newline translation).
  std::filesystem::path write(const std::string& name, const std::string& bytes) const;
  static std::string read(const std::filesystem::path& p);

 private:
  std::filesystem::path path_;
};

}  // namespace zentarc::testsupport
