#pragma once
// Where the PLC workers report: the status window, in the server. Each message is
// delivered synchronously on the worker's thread, which waits until the sink returns; it
// holds no lock meanwhile. A sink that hands the message to another thread and waits for it
// must not let that thread join the workers in the meantime (ask it to stop later).
#include <cstdint>

namespace zentarc {

class PlcDevice;

// The messages, with the numbers of the window messages they stand for.
enum PlcStatusMessage : std::uint32_t {
  WM_PLC_STATUS = 0x401,     // wParam: result code (0 = working again); lParam: the PlcDevice
  WM_NO_PLC = 0x402,         // the device list was empty at thread start; both 0
  WM_PLC_CPU_STATE = 0x403,  // the PLC's CPU changed its run state (one it should not be left in
                             // unnoticed is told at once); wParam: the state code (bits 12-15
                             // of its status word); lParam: the PlcDevice
};

class PlcStatusSink {
 public:
  virtual ~PlcStatusSink() = default;
  // WM_PLC_STATUS: (code, device). WM_NO_PLC: (0, nullptr). WM_PLC_CPU_STATE: (state, device).
  virtual void sendMessage(PlcStatusMessage message, unsigned code, PlcDevice* device) = 0;
};

}  // namespace zentarc
