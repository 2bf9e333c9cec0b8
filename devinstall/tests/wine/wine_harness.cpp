#include "wine_harness.h"

#include "quoted_command_line.h"

#include <cfgmgr32.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <stdexcept>

namespace devinstall::wine {

namespace {

[[noreturn]] void fail(const char* call) {
  throw std::runtime_error(std::string(call) + " failed, error " + std::to_string(GetLastError()));
}

struct HandleCloser {
  void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct ListDestroyer {
  void operator()(HDEVINFO list) const noexcept { SetupDiDestroyDeviceInfoList(list); }
};
using List = std::unique_ptr<void, ListDestroyer>;

struct KeyCloser {
  void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

List checkedList(HDEVINFO list, const char* call) {
  if (list == INVALID_HANDLE_VALUE) fail(call);
  return List(list);
}

std::vector<std::wstring> splitList(const std::vector<wchar_t>& text) {
  std::vector<std::wstring> strings;
  for (const wchar_t* at = text.data(); at < text.data() + text.size() && *at; at += wcslen(at) + 1) {
    strings.emplace_back(at);
  }
  return strings;
}

std::vector<wchar_t> property(HDEVINFO list, SP_DEVINFO_DATA* device, DWORD which) {
  DWORD bytes = 0;
  SetupDiGetDeviceRegistryPropertyW(list, device, which, nullptr, nullptr, 0, &bytes);
  if (bytes == 0) return {};
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 2, L'\0');
  if (!SetupDiGetDeviceRegistryPropertyW(list, device, which, nullptr, reinterpret_cast<BYTE*>(text.data()), bytes,
                                         nullptr)) {
    return {};
  }
  return text;
}

std::wstring propertyText(HDEVINFO list, SP_DEVINFO_DATA* device, DWORD which) {
  const auto text = property(list, device, which);
  return text.empty() ? std::wstring() : std::wstring(text.data());
}


std::wstring lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// The device opened alone in a list of its own.
struct OpenedDevice {
  List list;
  SP_DEVINFO_DATA data{};
};

OpenedDevice openDevice(const std::wstring& instanceId) {
  OpenedDevice device{checkedList(SetupDiCreateDeviceInfoList(nullptr, nullptr), "SetupDiCreateDeviceInfoList")};
  device.data.cbSize = sizeof(device.data);
  if (!SetupDiOpenDeviceInfoW(device.list.get(), instanceId.c_str(), nullptr, 0, &device.data)) {
    fail("SetupDiOpenDeviceInfoW");
  }
  return device;
}

}  // namespace

ProgramRun runProgram(const std::wstring& program, const std::wstring& commandLine, const std::wstring& directory) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) fail("CreatePipe");
  Handle reader(readEnd);
  Handle writer(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  std::wstring mutableLine = commandLine;
  if (!CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    fail("CreateProcessW");
  }
  Handle child(process.hProcess);
  Handle thread(process.hThread);
  writer.reset();  // the child holds the only write end now: the pipe ends when it exits

  ProgramRun run;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got > 0) run.output.append(chunk, got);
  WaitForSingleObject(child.get(), INFINITE);
  GetExitCodeProcess(child.get(), &run.exitCode);
  return run;
}

std::wstring testProgramDirectory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) fail("GetModuleFileNameW");
  std::wstring directory(path, length);
  return directory.substr(0, directory.find_last_of(L'\\'));
}

std::wstring devinstallPath() {
  // The 64-bit build ships as "devinstall64.exe", beside the 32-bit "devinstall.exe".
  return testProgramDirectory() + (sizeof(void*) == 8 ? L"\\devinstall64.exe" : L"\\devinstall.exe");
}

ProgramRun runWithArguments(const std::wstring& program, const std::vector<std::wstring>& arguments,
                            const std::wstring& directory) {
  std::vector<std::wstring> elements{program};
  elements.insert(elements.end(), arguments.begin(), arguments.end());
  return runProgram(program, quotedCommandLine(elements), directory);
}

std::vector<ListedDevice> presentDevices() {
  const List list = checkedList(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT),
                                "SetupDiGetClassDevsW");
  std::vector<ListedDevice> devices;
  SP_DEVINFO_DATA data{};
  data.cbSize = sizeof(data);
  for (DWORD index = 0; SetupDiEnumDeviceInfo(list.get(), index, &data); ++index) {
    ListedDevice device;
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (!SetupDiGetDeviceInstanceIdW(list.get(), &data, id, MAX_DEVICE_ID_LEN, nullptr)) {
      fail("SetupDiGetDeviceInstanceIdW");
    }
    device.instanceId = id;
    device.hardwareIds = splitList(property(list.get(), &data, SPDRP_HARDWAREID));
    device.compatibleIds = splitList(property(list.get(), &data, SPDRP_COMPATIBLEIDS));
    device.classGuid = data.ClassGuid;
    device.friendlyName = propertyText(list.get(), &data, SPDRP_FRIENDLYNAME);
    device.service = propertyText(list.get(), &data, SPDRP_SERVICE);
    devices.push_back(std::move(device));
  }
  return devices;
}

std::vector<ListedDevice> presentDevicesWithHardwareId(const std::wstring& hardwareId) {
  std::vector<ListedDevice> found;
  for (ListedDevice& device : presentDevices()) {
    const auto same = [&](const std::wstring& id) { return lower(id) == lower(hardwareId); };
    if (std::any_of(device.hardwareIds.begin(), device.hardwareIds.end(), same)) found.push_back(std::move(device));
  }
  return found;
}

std::wstring createRootDevice(const std::vector<std::wstring>& hardwareIds,
                              const std::vector<std::wstring>& compatibleIds) {
  const List list = checkedList(SetupDiCreateDeviceInfoList(&kSystemClass, nullptr), "SetupDiCreateDeviceInfoList");
  SP_DEVINFO_DATA data{};
  data.cbSize = sizeof(data);
  if (!SetupDiCreateDeviceInfoW(list.get(), L"System", &kSystemClass, nullptr, nullptr, DICD_GENERATE_ID, &data)) {
    fail("SetupDiCreateDeviceInfoW");
  }
  const auto setList = [&](DWORD which, const std::vector<std::wstring>& ids) {
    if (ids.empty()) return;
    std::wstring text;
    for (const std::wstring& id : ids) text += id + L'\0';
    text += L'\0';
    if (!SetupDiSetDeviceRegistryPropertyW(list.get(), &data, which, reinterpret_cast<const BYTE*>(text.data()),
                                           static_cast<DWORD>(text.size() * sizeof(wchar_t)))) {
      fail("SetupDiSetDeviceRegistryPropertyW");
    }
  };
  setList(SPDRP_HARDWAREID, hardwareIds);
  setList(SPDRP_COMPATIBLEIDS, compatibleIds);
  if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, list.get(), &data)) fail("SetupDiCallClassInstaller");
  wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
  if (!SetupDiGetDeviceInstanceIdW(list.get(), &data, id, MAX_DEVICE_ID_LEN, nullptr)) {
    fail("SetupDiGetDeviceInstanceIdW");
  }
  return id;
}

void setFriendlyName(const std::wstring& instanceId, const std::wstring& name) {
  OpenedDevice device = openDevice(instanceId);
  if (!SetupDiSetDeviceRegistryPropertyW(device.list.get(), &device.data, SPDRP_FRIENDLYNAME,
                                         reinterpret_cast<const BYTE*>(name.c_str()),
                                         static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)))) {
    fail("SetupDiSetDeviceRegistryPropertyW");
  }
}

std::wstring driverKeyText(const std::wstring& instanceId, const std::wstring& name) {
  OpenedDevice device = openDevice(instanceId);
  const HKEY opened = SetupDiOpenDevRegKey(device.list.get(), &device.data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
  if (opened == INVALID_HANDLE_VALUE) return {};
  const Key key(opened);
  wchar_t text[512] = {};
  DWORD bytes = sizeof(text) - sizeof(wchar_t);
  DWORD type = REG_NONE;
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  return text;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    fail("CreateFileW");
  }
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) fail("WriteFile");
}

std::wstring scratchDirectory() {
  wchar_t temp[MAX_PATH] = {};
  if (GetTempPathW(MAX_PATH, temp) == 0) fail("GetTempPathW");
  const std::wstring directory = std::wstring(temp) + L"devinstall-test";
  CreateDirectoryW(directory.c_str(), nullptr);
  return directory;
}

std::wstring writeInf(const std::wstring& fileName, const TestInf& inf) {
  const std::wstring path = scratchDirectory() + L"\\" + fileName;
  writeInfAt(path, inf);
  return path;
}

void writeInfAt(const std::wstring& path, const TestInf& inf) {
  for (std::size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  }
  std::wstring text =
      L"[Version]\r\n"
      L"Signature=\"$WINDOWS NT$\"\r\n"
      L"Class=System\r\n"
      L"ClassGuid={4d36e97d-e325-11ce-bfc1-08002be10318}\r\n"
      L"Provider=%Vendor%\r\n"
      L"DriverVer=01/02/2024," + inf.version + L"\r\n"
      L"\r\n"
      L"[Manufacturer]\r\n"
      L"%Vendor%=Models,NTamd64,NTx86\r\n"
      L"\r\n"
      L"[Models.NTamd64]\r\n"
      L"%Desc%=Inst," + inf.hardwareId + L"\r\n"
      L"\r\n"
      L"[Models.NTx86]\r\n"
      L"%Desc%=Inst," + inf.hardwareId + L"\r\n"
      L"\r\n"
      L"[Inst]\r\n";
  if (!inf.driverFile.empty()) {
    text += L"CopyFiles=Inst.Copy\r\n"
            L"\r\n"
            L"[Inst.Copy]\r\n" + inf.driverFile + L"\r\n"
            L"\r\n"
            L"[DestinationDirs]\r\n"
            L"DefaultDestDir=12\r\n"
            L"\r\n"
            L"[SourceDisksNames]\r\n"
            L"1=%Vendor%\r\n"
            L"\r\n"
            L"[SourceDisksFiles]\r\n" + inf.driverFile + L"=1\r\n";
  }
  text +=
      L"\r\n"
      L"[Inst.Services]\r\n";
  if (inf.service.empty()) {
    text += L"AddService=,2\r\n";
  } else {
    text += L"AddService=" + inf.service + L",2,Service\r\n"
            L"\r\n"
            L"[Service]\r\n"
            L"ServiceType=1\r\n"
            L"StartType=3\r\n"
            L"ErrorControl=1\r\n"
            L"ServiceBinary=%12%\\" + inf.service + L".sys\r\n";
  }
  text +=
      L"\r\n"
      L"[Strings]\r\n"
      L"Vendor=\"Vextra Test\"\r\n"
      L"Desc=\"Vextra test device\"\r\n";

  writeFile(path, std::string(text.begin(), text.end()));  // the text is ASCII
  if (!inf.driverFile.empty()) writeFile(path.substr(0, path.find_last_of(L'\\') + 1) + inf.driverFile, "driver");
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring nativeDriversFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) fail("GetSystemDirectoryW");
  return std::wstring(folder, length) + L"\\drivers";
}

std::wstring wow64DriversFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemWow64DirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(folder, length) + L"\\drivers";
}

void createUserKey(const std::wstring& subkey) {
  HKEY opened = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr) !=
      ERROR_SUCCESS) {
    fail("RegCreateKeyExW");
  }
  RegCloseKey(opened);
}

bool userKeyExists(const std::wstring& subkey) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

std::vector<std::wstring> userValueNames(const std::wstring& subkey) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) fail("RegOpenKeyExW");
  const Key key(opened);
  std::vector<std::wstring> names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256] = {};
    DWORD length = 256;
    if (RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool userValueIsEmptyText(const std::wstring& subkey, const std::wstring& name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) fail("RegOpenKeyExW");
  const Key key(opened);
  wchar_t data[16] = {L'x'};
  DWORD bytes = sizeof(data);
  DWORD type = REG_NONE;
  return RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) ==
             ERROR_SUCCESS &&
         type == REG_SZ && bytes <= sizeof(wchar_t) && (bytes == 0 || data[0] == L'\0');
}

void setUserText(const std::wstring& subkey, const std::wstring& name, const std::wstring& value) {
  if (RegSetKeyValueW(HKEY_CURRENT_USER, subkey.c_str(), name.c_str(), REG_SZ, value.c_str(),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
    fail("RegSetKeyValueW");
  }
}

bool machineKeyExists(const std::wstring& subkey) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

std::wstring machineText(const std::wstring& subkey, const std::wstring& name) {
  wchar_t text[512] = {};
  DWORD bytes = sizeof(text) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, subkey.c_str(), name.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                   RRF_NOEXPAND, nullptr, text, &bytes) != ERROR_SUCCESS) {
    return {};
  }
  return text;
}

std::wstring fromUnixPath(const std::string& path) {
  std::wstring windows = L"Z:";
  for (char c : path) windows += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return windows;
}

}  // namespace devinstall::wine
