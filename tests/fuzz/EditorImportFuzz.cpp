// Any bytes as a configuration file opened in the editor: the import must read what it can
// and report the rest, never crash; what it kept must be consistent with what it says.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "editor/io/ImportXML.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The import reads a path; a memory file keeps the disk out of the loop.
  const int fd = memfd_create("fuzz.xml", MFD_CLOEXEC);
  if (fd < 0) return 0;
  for (std::size_t at = 0; at < size;) {
    const ssize_t n = write(fd, data + at, size - at);
    if (n <= 0) break;
    at += static_cast<std::size_t>(n);
  }
  zentarc::editor::EditorState state;
  const zentarc::editor::ImportOutcome outcome =
      zentarc::editor::ImportXML("/proc/self/fd/" + std::to_string(fd), state);
  close(fd);
  if (outcome.complete && outcome.errorNumber != 0) std::abort();  // complete yet failed
  return 0;
}
