#pragma once

#include "probe_layout.h"

#include <windows.h>

#include <cstdint>
#include <memory>

namespace pixora {

// The mapped probe section and its named mutex. Any thread; lock()/unlock() take the named
// mutex, which guards the whole section across threads and processes (BasicLockable, so
// std::lock_guard works).
class CProbeSection {
 public:
  // Opens or creates both objects and initialises a fresh section; throws std::system_error.
  CProbeSection();

  void lock();
  void unlock();

  // Caller holds the lock.
  ProbeState& State() { return *static_cast<ProbeState*>(view_.get()); }
  uint8_t* Packet() { return static_cast<uint8_t*>(view_.get()) + sizeof(ProbeState); }
  void ResetState();

 private:
  using Handle = std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)>;
  using View = std::unique_ptr<void, BOOL(WINAPI*)(LPCVOID)>;

  Handle mutex_{nullptr, &CloseHandle};
  Handle mapping_{nullptr, &CloseHandle};
  View view_{nullptr, &UnmapViewOfFile};
};

}  // namespace pixora
