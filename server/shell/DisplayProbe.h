#pragma once
// Whether the display the environment names can be reached now. Qt ends the process when
// it cannot connect to its display; the server runs headless instead, as without one.
#include <functional>
#include <string>

namespace zentarc::shell {

struct DisplayProbe {
  bool usable = false;
  // Set when a display is named but cannot be reached (what to name in the warning).
  std::string unreachable;
};

// env: the environment's values (null when unset). QT_QPA_PLATFORM other than xcb or
// wayland needs no display; WAYLAND_DISPLAY is a socket below XDG_RUNTIME_DIR (or a path);
// DISPLAY is "[host]:n[.screen]": the X server's socket /tmp/.X11-unix/Xn without a host
// (or "unix"), else TCP port 6000 + n on the host.
DisplayProbe probeDisplay(const std::function<const char*(const char*)>& env);

}  // namespace zentarc::shell
