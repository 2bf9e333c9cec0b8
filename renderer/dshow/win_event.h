// A Win32 event object, closed with the holder. Any thread may set, reset or wait on it.
#pragma once

#include <windows.h>

#include <system_error>

namespace pixora::dshow {

class CEvent {
 public:
  // Throws std::system_error when the system has no event left to give.
  explicit CEvent(bool manualReset) : handle_(CreateEventW(nullptr, manualReset, FALSE, nullptr)) {
    if (handle_ == nullptr) throw std::system_error(int(GetLastError()), std::system_category());
  }
  ~CEvent() { CloseHandle(handle_); }
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  void Set() { SetEvent(handle_); }
  void Reset() { ResetEvent(handle_); }
  // True when signalled within the timeout (milliseconds or INFINITE).
  bool Wait(DWORD timeout) { return WaitForSingleObject(handle_, timeout) == WAIT_OBJECT_0; }
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace pixora::dshow
