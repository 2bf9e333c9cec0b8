// The module's five exports.
#include <windows.h>

#include "class_table.h"
#include "com_guard.h"
#include "dll_support.h"
#include "module_registration.h"
#include "module_state.h"

using namespace pixora;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    dshow::RecordModuleLoad(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  return GuardCom([&] { return dshow::GetClassObject(ClassTable(), clsid, riid, object); });
}

STDAPI DllCanUnloadNow() { return dshow::CanUnloadNow(); }

STDAPI DllRegisterServer() {
  return GuardCom([] { return RegisterModule(); });
}

STDAPI DllUnregisterServer() {
  return GuardCom([] { return UnregisterModule(); });
}
