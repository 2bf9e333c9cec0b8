#include "class_factory.h"
#include "com_apartment.h"
#include "com_guard.h"
#include "dll_module.h"
#include "pixora_camera_ids.h"
#include "registration.h"

#include <wrl/client.h>

using namespace pixora;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    SetModuleInstance(instance);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  return GuardCom([&] {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_PixoraCamera && clsid != CLSID_PixoraCameraLite) {
      return CLASS_E_CLASSNOTAVAILABLE;
    }
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    factory.Attach(new CCameraClassFactory(clsid));
    return factory->QueryInterface(riid, object);
  });
}

STDAPI DllCanUnloadNow() { return ModuleCanUnload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  return GuardCom([] {
    CComApartment apartment;
    if (FAILED(apartment.Result())) return apartment.Result();
    return RegisterCameraServer(ModuleInstance());
  });
}

STDAPI DllUnregisterServer() {
  return GuardCom([] {
    CComApartment apartment;
    if (FAILED(apartment.Result())) return apartment.Result();
    return UnregisterCameraServer();
  });
}
