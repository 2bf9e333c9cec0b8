// What the module knows about itself: its instance, the OS it runs on, and the counts that
// decide whether it may be unloaded. Any thread: the counts are interlocked; the instance
// and OS version are written once, at process attach, before any other call.
#pragma once

#include <windows.h>

namespace pixora::dshow {

void RecordModuleLoad(HINSTANCE instance);
HINSTANCE ModuleInstance();
const OSVERSIONINFOW& ModuleOsVersion();

void CountObjectCreated();
void CountObjectDestroyed();
void CountServerLock(bool lock);
// True while any object of the module lives or any server lock is held.
bool ModuleInUse();

// Counts itself among the module's live objects from construction to destruction.
class CBaseObject {
 public:
  CBaseObject() { CountObjectCreated(); }
  ~CBaseObject() { CountObjectDestroyed(); }
  CBaseObject(const CBaseObject&) = delete;
  CBaseObject& operator=(const CBaseObject&) = delete;
};

}  // namespace pixora::dshow
