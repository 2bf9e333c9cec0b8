// The driver's INF installed by devinstall.exe for ROOT\VextraAudio under Wine, in a fresh
// prefix: the root device of the media class that Wine's set-up creates, the image copied to
// the drivers directory, the service entry, the driver key the INF fills, and the five
// interfaces of the two subdevices. The driver itself cannot run here: Wine has no Port Class.
//
// Environment: DEVINSTALL (the installer) and AUDIO_INF (the INF, its image beside it), as
// Unix paths.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const wchar_t kHardwareId[] = L"ROOT\\VextraAudio";
const GUID kMediaClass = {0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kAudio = {0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
const GUID kRender = {0x65E8773E, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
const GUID kCapture = {0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
const GUID kTopology = {0xDDA54A40, 0x1E4C, 0x11D1, {0xA0, 0x50, 0x40, 0x57, 0x05, 0xC1, 0x00, 0x00}};
const wchar_t kKsProxy[] = L"{17CCA71B-ECD7-11D0-B908-00A0C9223196}";

std::wstring FromUnixPath(const char* path) {
  std::wstring windows = L"Z:";
  for (const char* c = path; *c != '\0'; ++c) windows += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  return windows;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && Lower(text.substr(text.size() - end.size())) == Lower(end);
}

std::vector<char> FileBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class DeviceList {
 public:
  explicit DeviceList(HDEVINFO set) : set_(set) {}
  ~DeviceList() {
    if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
  }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;
  HDEVINFO get() const { return set_; }

 private:
  HDEVINFO set_;
};

class Key {
 public:
  explicit Key(HKEY key) : key_(key) {}
  ~Key() {
    if (key_ != nullptr && key_ != INVALID_HANDLE_VALUE) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }
  bool valid() const { return key_ != nullptr && key_ != INVALID_HANDLE_VALUE; }

  std::wstring Text(const wchar_t* name) const {
    wchar_t value[512] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
      return {};
    return value;
  }
  DWORD Number(const wchar_t* name) const {
    DWORD value = ~0u;
    DWORD size = sizeof value;
    RegQueryValueExW(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    return value;
  }

 private:
  HKEY key_;
};

std::wstring DeviceText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t value[1024] = {};
  SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, reinterpret_cast<BYTE*>(value),
                                    sizeof value - 2 * sizeof(wchar_t), nullptr);
  return value;  // the first string of a list
}

struct Installed {
  std::wstring instanceId;
  GUID classGuid{};
  std::wstring service;
};

// The present devices whose first hardware ID is ours.
std::vector<Installed> DevicesWithOurId() {
  std::vector<Installed> found;
  DeviceList set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
    if (Lower(DeviceText(set.get(), device, SPDRP_HARDWAREID)) != Lower(kHardwareId)) continue;
    wchar_t id[512] = {};
    SetupDiGetDeviceInstanceIdW(set.get(), &device, id, 512, nullptr);
    found.push_back({id, device.ClassGuid, DeviceText(set.get(), device, SPDRP_SERVICE)});
  }
  return found;
}

struct Interface {
  std::wstring path;
  std::wstring friendlyName;
  std::wstring clsid;
};

std::vector<Interface> InterfacesOf(const GUID& category) {
  std::vector<Interface> found;
  // Registered, not enabled: Port Class enables them as the driver registers its subdevices.
  DeviceList set(SetupDiGetClassDevsW(&category, nullptr, nullptr, DIGCF_DEVICEINTERFACE));
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set.get(), nullptr, &category, i, &data); ++i) {
    std::vector<BYTE> storage(4096);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof *detail;
    if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &data, detail, static_cast<DWORD>(storage.size()), nullptr, nullptr))
      continue;
    Key parameters(SetupDiOpenDeviceInterfaceRegKey(set.get(), &data, 0, KEY_READ));
    found.push_back({detail->DevicePath, parameters.valid() ? parameters.Text(L"FriendlyName") : L"",
                     parameters.valid() ? parameters.Text(L"CLSID") : L""});
  }
  return found;
}

class WineInstall : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* devinstall = std::getenv("DEVINSTALL");
    const char* inf = std::getenv("AUDIO_INF");
    ASSERT_NE(devinstall, nullptr);
    ASSERT_NE(inf, nullptr);
    infPath_ = FromUnixPath(inf);
    std::wstring line = L"devinstall \"" + infPath_ + L"\" " + kHardwareId;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(FromUnixPath(devinstall).c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, 120000);
    GetExitCodeProcess(process.hProcess, &exitCode_);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }

  static std::wstring infPath_;
  static DWORD exitCode_;
};

std::wstring WineInstall::infPath_;
DWORD WineInstall::exitCode_ = ~0u;

TEST_F(WineInstall, OneRootMediaDeviceRunsTheService) {
  EXPECT_EQ(exitCode_, 0u);
  const std::vector<Installed> devices = DevicesWithOurId();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(Lower(devices[0].instanceId).rfind(L"root\\media\\", 0), 0u);
  EXPECT_TRUE(IsEqualGUID(devices[0].classGuid, kMediaClass));
  EXPECT_EQ(devices[0].service, L"VextraAudio");

  // The driver key: the install section and the entries of the multimedia system.
  DeviceList set(SetupDiGetClassDevsW(&kMediaClass, nullptr, nullptr, DIGCF_PRESENT));
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  ASSERT_TRUE(SetupDiOpenDeviceInfoW(set.get(), devices[0].instanceId.c_str(), nullptr, 0, &device));
  Key driver(SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ));
  ASSERT_TRUE(driver.valid());
  EXPECT_EQ(driver.Text(L"InfSection"), L"VextraAudio.Device");
  EXPECT_EQ(driver.Text(L"Driver"), L"VextraAudioDriver.sys");
  EXPECT_EQ(driver.Text(L"AssociatedFilters"), L"wdmaud");
}

TEST_F(WineInstall, TheImageIsCopiedAndItsServiceIsAKernelDriver) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring copied = std::wstring(system) + L"\\drivers\\VextraAudioDriver.sys";
  const std::wstring built = infPath_.substr(0, infPath_.rfind(L'\\')) + L"\\VextraAudioDriver.sys";
  const std::vector<char> image = FileBytes(copied);
  ASSERT_FALSE(image.empty()) << "no image in the drivers directory";
  EXPECT_TRUE(image == FileBytes(built)) << "the copied image differs from the built one";

  HKEY raw = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\VextraAudio", 0, KEY_READ, &raw),
            ERROR_SUCCESS);
  Key service(raw);
  EXPECT_EQ(service.Number(L"Type"), 1u);          // kernel driver
  EXPECT_EQ(service.Number(L"Start"), 3u);         // on demand
  EXPECT_EQ(service.Number(L"ErrorControl"), 1u);  // normal
  EXPECT_TRUE(EndsWith(service.Text(L"ImagePath"), L"\\drivers\\VextraAudioDriver.sys")) << service.Text(L"ImagePath");
}

// One interface per subdevice and category, named as the driver registers the subdevice.
TEST_F(WineInstall, WaveAndTopologyInterfaces) {
  const struct {
    const char* category;
    const GUID* guid;
    std::vector<std::wstring> references;
  } categories[] = {{"audio", &kAudio, {L"\\topology", L"\\wave"}},
                    {"render", &kRender, {L"\\wave"}},
                    {"capture", &kCapture, {L"\\wave"}},
                    {"topology", &kTopology, {L"\\topology"}}};
  for (const auto& c : categories) {
    std::vector<std::wstring> references;
    for (const Interface& found : InterfacesOf(*c.guid)) {
      if (Lower(found.path).find(L"root#media#") == std::wstring::npos) continue;  // Wine's own devices
      const std::wstring reference = Lower(found.path.substr(found.path.rfind(L'\\')));
      references.push_back(reference);
      EXPECT_EQ(found.clsid, kKsProxy) << c.category;
      EXPECT_EQ(found.friendlyName, reference == L"\\wave" ? L"Vextra Virtual Audio" : L"Vextra Virtual Audio Mixer")
          << c.category;
    }
    std::sort(references.begin(), references.end());
    EXPECT_EQ(references, c.references) << c.category;
  }
}

}  // namespace
