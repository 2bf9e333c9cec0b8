#include "win32_device_system.h"

#include "quoted_command_line.h"
#include "win32_device_set.h"
#include "win32_handles.h"

#include <cstring>

namespace devinstall::win32 {

namespace {

// The longest setup class name, with its zero (MAX_CLASS_NAME_LEN).
constexpr DWORD kClassNameLength = 32;
// INSTALLFLAG_FORCE.
constexpr DWORD kInstallFlagForce = 0x00000001;

using UpdateDriverForPlugAndPlayDevicesFn = BOOL(WINAPI*)(HWND, LPCWSTR, LPCWSTR, DWORD, PBOOL);
using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

constexpr wchar_t kNativeCompanion[] = L"devinstall64.exe";

// The folder of this program's own image, of any length; empty when it cannot be had.
std::wstring ownFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      const std::wstring image(path.data(), length);
      const std::size_t slash = image.find_last_of(L'\\');
      return slash == std::wstring::npos ? std::wstring() : image.substr(0, slash);
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

// A list is usable only with its details, which name the machine for the configuration
// manager's calls.
std::unique_ptr<DeviceSet> withDetails(DeviceInfoList list) {
  if (!list) return nullptr;
  SP_DEVINFO_LIST_DETAIL_DATA_W detail{};
  detail.cbSize = sizeof(detail);
  if (!SetupDiGetDeviceInfoListDetailW(list.get(), &detail)) return nullptr;
  return std::make_unique<Win32DeviceSet>(std::move(list), detail.RemoteMachineHandle);
}

GUID toGuid(const ClassGuid& bytes) noexcept {
  GUID guid;
  static_assert(sizeof(guid) == sizeof(bytes));
  std::memcpy(&guid, bytes.data(), sizeof(guid));
  return guid;
}

ClassGuid fromGuid(const GUID& guid) noexcept {
  ClassGuid bytes;
  std::memcpy(bytes.data(), &guid, sizeof(guid));
  return bytes;
}

// The list stays open until the driver of its device is installed.
class Win32DeviceRegistration final : public DeviceRegistration {
 public:
  explicit Win32DeviceRegistration(DeviceInfoList list) noexcept : list_(std::move(list)) {}

 private:
  DeviceInfoList list_;
};

}  // namespace

std::unique_ptr<DeviceSet> Win32DeviceSystem::presentDevices() {
  return withDetails(DeviceInfoList(
      SetupDiGetClassDevsExW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT, nullptr, nullptr, nullptr)));
}

std::unique_ptr<DeviceSet> Win32DeviceSystem::presentDevicesOfClass(const ClassGuid& guid) {
  const GUID classGuid = toGuid(guid);
  return withDetails(
      DeviceInfoList(SetupDiGetClassDevsExW(&classGuid, nullptr, nullptr, DIGCF_PRESENT, nullptr, nullptr, nullptr)));
}

std::unique_ptr<DeviceSet> Win32DeviceSystem::deviceWithInstanceId(const std::wstring& instanceId) {
  DeviceInfoList list(SetupDiCreateDeviceInfoListExW(nullptr, nullptr, nullptr, nullptr));
  if (list) SetupDiOpenDeviceInfoW(list.get(), instanceId.c_str(), nullptr, 0, nullptr);
  return withDetails(std::move(list));
}

ClassLookup Win32DeviceSystem::setupClassNamed(const std::wstring& name) {
  GUID first{};
  DWORD count = 0;
  if (SetupDiClassGuidsFromNameExW(name.c_str(), &first, 1, &count, nullptr, nullptr)) {
    return count == 0 ? ClassLookup{ClassLookup::Result::kNoClass, {}}
                      : ClassLookup{ClassLookup::Result::kFound, fromGuid(first)};
  }
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || count == 0) return {};
  // Several classes share the name: the first is taken.
  std::vector<GUID> all(count);
  if (!SetupDiClassGuidsFromNameExW(name.c_str(), all.data(), count, &count, nullptr, nullptr) || count == 0) return {};
  return {ClassLookup::Result::kFound, fromGuid(all.front())};
}

std::wstring Win32DeviceSystem::profileString(const std::wstring& file, const std::wstring& section,
                                              const std::wstring& key) {
  wchar_t value[1024] = {};
  GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value, static_cast<DWORD>(std::size(value)),
                           file.c_str());
  return value;
}

std::optional<std::wstring> Win32DeviceSystem::fullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::nullopt;
  std::vector<wchar_t> full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return std::nullopt;
  return std::wstring(full.data(), length);
}

bool Win32DeviceSystem::fileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::unique_ptr<DeviceRegistration> Win32DeviceSystem::registerDevice(const std::wstring& infPath,
                                                                      const std::wstring& hardwareIdList) {
  GUID classGuid{};
  wchar_t className[kClassNameLength] = {};
  if (!SetupDiGetINFClassW(infPath.c_str(), &classGuid, className, kClassNameLength, nullptr)) return nullptr;

  DeviceInfoList list(SetupDiCreateDeviceInfoList(&classGuid, nullptr));
  if (!list) return nullptr;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  if (!SetupDiCreateDeviceInfoW(list.get(), className, &classGuid, nullptr, nullptr, DICD_GENERATE_ID, &device) ||
      !SetupDiSetDeviceRegistryPropertyW(list.get(), &device, SPDRP_HARDWAREID,
                                         reinterpret_cast<const BYTE*>(hardwareIdList.data()),
                                         static_cast<DWORD>(hardwareIdList.size() * sizeof(wchar_t))) ||
      !SetupDiCallClassInstaller(DIF_REGISTERDEVICE, list.get(), &device)) {
    return nullptr;
  }
  return std::make_unique<Win32DeviceRegistration>(std::move(list));
}

void Win32DeviceSystem::updateDriver(const std::wstring& hardwareId, const std::wstring& infPath) {
  // From the system directory only: an elevated program must not take a "newdev.dll" that
  // lies beside it or in the current directory.
  wchar_t directory[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::wstring path = std::wstring(directory, length) + L"\\newdev.dll";

  const Library newdev(LoadLibraryW(path.c_str()));
  if (!newdev) return;
  const auto update = reinterpret_cast<UpdateDriverForPlugAndPlayDevicesFn>(
      reinterpret_cast<void*>(GetProcAddress(newdev.get(), "UpdateDriverForPlugAndPlayDevicesW")));
  if (!update) return;
  BOOL rebootRequired = FALSE;
  update(nullptr, hardwareId.c_str(), infPath.c_str(), kInstallFlagForce, &rebootRequired);
}

void Win32DeviceSystem::writeEmptyValues(const std::wstring& subkey, const std::vector<std::wstring>& names) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return;
  const RegistryKey key(opened);
  static const wchar_t kEmpty[] = L"";
  for (const std::wstring& name : names) {
    RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(kEmpty), sizeof(kEmpty));
  }
}

bool Win32DeviceSystem::underWow64() {
  // IsWow64Process2 exists from Windows 10 on only: looked up, never imported.
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto query = kernel == nullptr ? nullptr
                                       : reinterpret_cast<IsWow64Process2Fn>(
                                             reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")));
  USHORT process = IMAGE_FILE_MACHINE_UNKNOWN;
  USHORT native = IMAGE_FILE_MACHINE_UNKNOWN;
  if (query != nullptr && query(GetCurrentProcess(), &process, &native)) return process != IMAGE_FILE_MACHINE_UNKNOWN;
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::optional<std::uint32_t> Win32DeviceSystem::runNativeCompanion(const std::vector<std::wstring>& elements) {
  const std::wstring folder = ownFolder();
  if (folder.empty() || elements.empty()) return std::nullopt;
  std::vector<std::wstring> line = elements;
  line[0] = folder + L"\\" + kNativeCompanion;
  // A 64-bit program only: a 32-bit one under that name would hand over in turn, without end.
  DWORD binaryType = 0;
  if (!GetBinaryTypeW(line[0].c_str(), &binaryType) || binaryType != SCS_64BIT_BINARY) return std::nullopt;
  std::wstring commandLine = quotedCommandLine(line);

  // The companion answers the host as this program would: through the same standard
  // handles, current directory and environment.
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(line[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &started)) {
    return std::nullopt;
  }
  const KernelHandle process(started.hProcess);
  const KernelHandle thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  // Once started, the companion has done the work: an unreadable exit code is not a reason
  // to do it again.
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode)) exitCode = 0;
  return exitCode;
}

}  // namespace devinstall::win32
