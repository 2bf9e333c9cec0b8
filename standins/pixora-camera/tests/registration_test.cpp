#include "camera_probe.h"
#include "device_list.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <string>

namespace pixora::test {
namespace {

std::wstring ReadClassValue(REFCLSID clsid, const wchar_t* subkey, const wchar_t* name) {
  wchar_t clsidText[40] = {};
  StringFromGUID2(clsid, clsidText, 40);
  const std::wstring path = std::wstring(L"CLSID\\") + clsidText + subkey;
  wchar_t value[MAX_PATH * 2] = {};
  DWORD bytes = sizeof(value);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value,
                   &bytes) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  return value;
}

int CountNamed(const std::vector<ListedDevice>& devices, const wchar_t* name) {
  return static_cast<int>(std::count_if(devices.begin(), devices.end(),
                                        [&](const ListedDevice& d) { return d.friendlyName == name; }));
}

const ListedDevice* FindNamed(const std::vector<ListedDevice>& devices, const wchar_t* name) {
  const auto found = std::find_if(devices.begin(), devices.end(),
                                  [&](const ListedDevice& d) { return d.friendlyName == name; });
  return found == devices.end() ? nullptr : &*found;
}

DWORD RunRegsvr32(const std::wstring& arguments) {
  std::wstring commandLine = L"regsvr32.exe " + arguments + L" \"" + CameraDllPath() + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return ~DWORD{0};
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = ~DWORD{0};
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(UnregisterCameraDevices(), S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(UnregisterCameraDevices(), S_OK);
    CoUninitialize();
  }
};

TEST_F(RegistrationTest, BothDevicesAreListedWithTheirNamesPathsAndFilters) {
  ASSERT_EQ(RegisterCameraDevices(), S_OK);
  const auto devices = ListVideoInputDevices();

  const ListedDevice* camera = FindNamed(devices, kPixoraCameraName);
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(camera->devicePath, kPixoraCameraDevicePath);
  EXPECT_EQ(camera->filterClass, CLSID_PixoraCamera);
  EXPECT_EQ(camera->querySupported, S_OK);
  EXPECT_EQ(camera->support & PIXORA_KSPROPERTY_SUPPORT_SET, PIXORA_KSPROPERTY_SUPPORT_SET);

  const ListedDevice* lite = FindNamed(devices, kPixoraCameraLiteName);
  ASSERT_NE(lite, nullptr);
  EXPECT_EQ(lite->devicePath, kPixoraCameraLiteDevicePath);
  EXPECT_EQ(lite->filterClass, CLSID_PixoraCameraLite);
  EXPECT_EQ(lite->querySupported, E_PROP_SET_UNSUPPORTED);
  EXPECT_EQ(lite->support, 0u);

  for (const CLSID& clsid : {CLSID_PixoraCamera, CLSID_PixoraCameraLite}) {
    EXPECT_EQ(ReadClassValue(clsid, L"\\InprocServer32", nullptr), CameraDllPath());
    EXPECT_EQ(ReadClassValue(clsid, L"\\InprocServer32", L"ThreadingModel"), L"Both");
  }
}

TEST_F(RegistrationTest, RegisteringAgainKeepsOneEntryPerDevice) {
  ASSERT_EQ(RegisterCameraDevices(), S_OK);
  ASSERT_EQ(RegisterCameraDevices(), S_OK);
  const auto devices = ListVideoInputDevices();
  EXPECT_EQ(CountNamed(devices, kPixoraCameraName), 1);
  EXPECT_EQ(CountNamed(devices, kPixoraCameraLiteName), 1);
}

TEST_F(RegistrationTest, UnregisteringLeavesNoDeviceAndNoClass) {
  ASSERT_EQ(RegisterCameraDevices(), S_OK);
  ASSERT_EQ(UnregisterCameraDevices(), S_OK);

  const auto devices = ListVideoInputDevices();
  EXPECT_EQ(FindNamed(devices, kPixoraCameraName), nullptr);
  EXPECT_EQ(FindNamed(devices, kPixoraCameraLiteName), nullptr);
  for (const CLSID& clsid : {CLSID_PixoraCamera, CLSID_PixoraCameraLite}) {
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ReadClassValue(clsid, L"", nullptr), L"<missing>");
  }
  // Unregistering what is not there is not an error.
  EXPECT_EQ(UnregisterCameraDevices(), S_OK);
}

TEST_F(RegistrationTest, Regsvr32RegistersAndUnregisters) {
  ASSERT_EQ(RunRegsvr32(L"/s"), 0u);
  auto devices = ListVideoInputDevices();
  EXPECT_NE(FindNamed(devices, kPixoraCameraName), nullptr);
  EXPECT_NE(FindNamed(devices, kPixoraCameraLiteName), nullptr);

  ASSERT_EQ(RunRegsvr32(L"/s /u"), 0u);
  devices = ListVideoInputDevices();
  EXPECT_EQ(FindNamed(devices, kPixoraCameraName), nullptr);
  EXPECT_EQ(FindNamed(devices, kPixoraCameraLiteName), nullptr);
}

}  // namespace
}  // namespace pixora::test
