#include "module_state.h"

#include <atomic>

namespace pixora::dshow {
namespace {

HINSTANCE g_instance = nullptr;
OSVERSIONINFOW g_osVersion = {};
std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};

}  // namespace

void RecordModuleLoad(HINSTANCE instance) {
  g_instance = instance;
  g_osVersion.dwOSVersionInfoSize = sizeof(g_osVersion);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&g_osVersion);
#pragma GCC diagnostic pop
}

HINSTANCE ModuleInstance() { return g_instance; }
const OSVERSIONINFOW& ModuleOsVersion() { return g_osVersion; }

void CountObjectCreated() { ++g_liveObjects; }
void CountObjectDestroyed() { --g_liveObjects; }

void CountServerLock(bool lock) {
  if (lock) {
    ++g_serverLocks;
  } else {
    --g_serverLocks;
  }
}

bool ModuleInUse() { return g_liveObjects.load() != 0 || g_serverLocks.load() != 0; }

}  // namespace pixora::dshow
