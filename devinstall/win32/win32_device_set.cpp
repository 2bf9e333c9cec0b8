#include "win32_device_set.h"

#include "text.h"

#include <algorithm>
#include <initializer_list>

namespace devinstall::win32 {

static_assert(cm::kSuccess == CR_SUCCESS && cm::kNoSuchDevnode == CR_NO_SUCH_DEVNODE &&
              cm::kNoSuchValue == CR_NO_SUCH_VALUE);
static_assert(cm::kDriverLoaded == DN_DRIVER_LOADED && cm::kHasProblem == DN_HAS_PROBLEM &&
              cm::kPrivateProblem == DN_PRIVATE_PROBLEM && cm::kProblemDisabled == CM_PROB_DISABLED);

namespace {

constexpr DWORD kIdListBufferBytes = 8192;

void setFlag(DWORD& flags, DWORD flag, bool on) noexcept { flags = on ? (flags | flag) : (flags & ~flag); }

struct Property {
  DWORD type = REG_NONE;
  std::vector<wchar_t> text;  // zero-filled past what the platform wrote
};

// Reads a device property with a buffer of `bytes`, enlarged to what the platform asks for
// when the property is a string list that does not fit.
std::optional<Property> readProperty(HDEVINFO list, SP_DEVINFO_DATA* element, DWORD property, DWORD bytes) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    Property value;
    value.text.assign(bytes / sizeof(wchar_t) + 2, L'\0');
    DWORD required = 0;
    if (SetupDiGetDeviceRegistryPropertyW(list, element, property, &value.type,
                                          reinterpret_cast<BYTE*>(value.text.data()), bytes, &required)) {
      return value;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || value.type != REG_MULTI_SZ || required <= bytes) break;
    bytes = required;
  }
  return std::nullopt;
}

// A REG_SZ value of an open key, or none when it is missing or not text.
std::optional<std::wstring> readText(HKEY key, const wchar_t* name) {
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ) {
    return std::nullopt;
  }
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  return std::wstring(text.data());
}

std::optional<DriverNodeDetail> readDetail(HDEVINFO list, SP_DEVINFO_DATA* element, SP_DRVINFO_DATA_W& info) {
  // The fixed part, then as much as the platform asks for (the hardware IDs trail it).
  DWORD bytes = sizeof(SP_DRVINFO_DETAIL_DATA_W) + 1024;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::vector<std::byte> buffer(bytes);
    auto* detail = reinterpret_cast<SP_DRVINFO_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DRVINFO_DETAIL_DATA_W);
    DWORD required = 0;
    if (SetupDiGetDriverInfoDetailW(list, element, &info, detail, bytes, &required)) {
      return DriverNodeDetail{detail->SectionName, detail->DrvDescription};
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= bytes) break;
    bytes = required;
  }
  return std::nullopt;
}

}  // namespace

Win32DeviceSet::Win32DeviceSet(DeviceInfoList list, HMACHINE machine) noexcept
    : list_(std::move(list)), machine_(machine) {}

bool Win32DeviceSet::contains(std::size_t device) {
  while (!ended_ && elements_.size() <= device) {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    if (SetupDiEnumDeviceInfo(list_.get(), static_cast<DWORD>(elements_.size()), &data)) {
      elements_.push_back(data);
    } else {
      ended_ = true;
    }
  }
  return device < elements_.size();
}

std::optional<std::wstring> Win32DeviceSet::instanceId(std::size_t device) {
  // One more zero than the platform may fill, so that a 200-character ID ends.
  wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Get_Device_ID_ExW(element(device)->DevInst, id, MAX_DEVICE_ID_LEN, 0, machine_) != CR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(id);
}

std::vector<std::wstring> Win32DeviceSet::ids(std::size_t device, IdList which) {
  const DWORD property = which == IdList::kHardware ? SPDRP_HARDWAREID : SPDRP_COMPATIBLEIDS;
  const auto value = readProperty(list_.get(), element(device), property, kIdListBufferBytes);
  if (!value || (value->type != REG_MULTI_SZ && value->type != REG_SZ)) return {};
  return splitStringList({value->text.data(), value->text.size()});
}

NodeStatus Win32DeviceSet::status(std::size_t device) {
  ULONG flags = 0;
  ULONG problem = 0;
  const CONFIGRET result = CM_Get_DevNode_Status_Ex(&flags, &problem, element(device)->DevInst, 0, machine_);
  return {static_cast<std::uint32_t>(result), static_cast<std::uint32_t>(flags), static_cast<std::uint32_t>(problem)};
}

DriverNode Win32DeviceSet::driverNode(SP_DEVINFO_DATA* element, SP_DRVINFO_DATA_W& info) {
  DriverNode node;
  node.manufacturer = info.MfgName;
  node.provider = info.ProviderName;
  node.description = info.Description;
  node.version = info.DriverVersion;
  node.detail = readDetail(list_.get(), element, info);
  return node;
}

DriverList Win32DeviceSet::classDriverList(std::size_t device, const DriverListRequest& request) {
  SP_DEVINFO_DATA* const data = element(device);
  SP_DEVINSTALL_PARAMS_W params{};
  params.cbSize = sizeof(params);
  if (request.singleInf && request.singleInf->size() >= MAX_PATH) return {};
  if (!SetupDiGetDeviceInstallParamsW(list_.get(), data, &params)) return {};
  setFlag(params.FlagsEx, DI_FLAGSEX_INSTALLEDDRIVER, request.installedDriver);
  setFlag(params.FlagsEx, DI_FLAGSEX_ALLOWEXCLUDEDDRVS, request.allowExcludedDrivers);
  setFlag(params.Flags, DI_ENUMSINGLEINF, request.singleInf.has_value());
  if (request.singleInf) {
    std::copy(request.singleInf->begin(), request.singleInf->end(), params.DriverPath);
    params.DriverPath[request.singleInf->size()] = L'\0';
  }
  if (!SetupDiSetDeviceInstallParamsW(list_.get(), data, &params)) return {true, {}};
  if (!SetupDiBuildDriverInfoList(list_.get(), data, SPDIT_CLASSDRIVER)) return {};

  DriverList list;
  SP_DRVINFO_DATA_W info{};
  info.cbSize = sizeof(info);
  for (DWORD index = 0; SetupDiEnumDriverInfoW(list_.get(), data, SPDIT_CLASSDRIVER, index, &info); ++index) {
    list.nodes.push_back(driverNode(data, info));
  }
  SetupDiDestroyDriverInfoList(list_.get(), data, SPDIT_CLASSDRIVER);
  return list;
}

std::optional<DriverKeyValues> Win32DeviceSet::driverKey(std::size_t device) {
  const RegistryKey key(SetupDiOpenDevRegKey(list_.get(), element(device), DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ));
  if (!key) return std::nullopt;
  return DriverKeyValues{readText(key.get(), L"InfPath"), readText(key.get(), L"ProviderName"),
                         readText(key.get(), L"InfSection"), readText(key.get(), L"DriverDesc")};
}

std::optional<std::wstring> Win32DeviceSet::manufacturer(std::size_t device) {
  const auto value = readProperty(list_.get(), element(device), SPDRP_MFG, LINE_LEN * sizeof(wchar_t));
  if (!value || value->type != REG_SZ) return std::nullopt;
  return std::wstring(value->text.data());
}

bool Win32DeviceSet::remove(std::size_t device) {
  SP_DEVINFO_DATA* const data = element(device);
  SP_REMOVEDEVICE_PARAMS params{};
  params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  params.ClassInstallHeader.InstallFunction = DIF_REMOVE;
  params.Scope = DI_REMOVEDEVICE_GLOBAL;
  params.HwProfile = 0;
  // Without removal parameters the class installer removes the device globally too, so a
  // platform that refuses them (Wine's SetupDiSetClassInstallParamsW) still removes it.
  SetupDiSetClassInstallParamsW(list_.get(), data, &params.ClassInstallHeader, sizeof(params));
  return SetupDiCallClassInstaller(DIF_REMOVE, list_.get(), data);
}

}  // namespace devinstall::win32
