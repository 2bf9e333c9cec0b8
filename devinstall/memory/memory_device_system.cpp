#include "memory_device_system.h"

#include "driver_version.h"
#include "text.h"

#include <algorithm>
#include <cwchar>
#include <utility>

namespace devinstall {

namespace {

bool isFullPath(const std::wstring& path) {
  return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.starts_with(L"\\\\");
}

std::wstring upperCase(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

// Members are places in the system's device vector; a removed device stays a member, as an
// element stays in a platform list after its device is removed.
class MemoryDeviceSet final : public DeviceSet {
 public:
  MemoryDeviceSet(MemoryDeviceSystem& system, std::vector<std::size_t> members)
      : system_(system), members_(std::move(members)) {
    ++system_.setsOpen;
  }
  ~MemoryDeviceSet() override { --system_.setsOpen; }

  bool contains(std::size_t device) override { return device < members_.size(); }

  std::optional<std::wstring> instanceId(std::size_t device) override {
    const MemoryDevice& d = at(device);
    if (!d.exists || d.instanceIdFails) return std::nullopt;
    return d.instanceId;
  }

  std::vector<std::wstring> ids(std::size_t device, IdList which) override {
    const MemoryDevice& d = at(device);
    if (!d.exists) return {};
    return which == IdList::kHardware ? d.hardwareIds : d.compatibleIds;
  }

  NodeStatus status(std::size_t device) override {
    const MemoryDevice& d = at(device);
    if (!d.exists) return {cm::kNoSuchDevnode, 0, 0};
    return d.status;
  }

  DriverList classDriverList(std::size_t device, const DriverListRequest& request) override {
    const MemoryDevice& d = at(device);
    if (request.installedDriver) {
      if (d.refusesInstalledDriverFlags) return {true, {}};
      if (!d.installedNode || (d.installedNodeExcluded && !request.allowExcludedDrivers)) return {};
      return {false, {*d.installedNode}};
    }
    if (request.singleInf) {
      system_.infListsBuilt.push_back(*request.singleInf);
      const auto inf = system_.infs.find(*request.singleInf);
      return {false, inf == system_.infs.end() ? std::vector<DriverNode>{} : inf->second.nodes};
    }
    // Without a single INF the platform searches every INF it knows.
    DriverList list;
    for (const auto& [path, inf] : system_.infs) list.nodes.insert(list.nodes.end(), inf.nodes.begin(), inf.nodes.end());
    return list;
  }

  std::optional<DriverKeyValues> driverKey(std::size_t device) override { return at(device).driverKey; }

  std::optional<std::wstring> manufacturer(std::size_t device) override { return at(device).manufacturer; }

  bool remove(std::size_t device) override {
    MemoryDevice& d = at(device);
    if (!d.exists || d.removalFails) return false;
    d.exists = false;
    system_.removed.push_back(d.instanceId);
    return true;
  }

 private:
  MemoryDevice& at(std::size_t device) { return system_.devices.at(members_.at(device)); }

  MemoryDeviceSystem& system_;
  std::vector<std::size_t> members_;
};

class MemoryRegistration final : public DeviceRegistration {
 public:
  explicit MemoryRegistration(int& held) : held_(held) { ++held_; }
  ~MemoryRegistration() override { --held_; }

 private:
  int& held_;
};

}  // namespace

MemoryDevice& MemoryDeviceSystem::add(MemoryDevice device) {
  devices.push_back(std::move(device));
  return devices.back();
}

std::vector<const MemoryDevice*> MemoryDeviceSystem::withHardwareId(const std::wstring& id) const {
  std::vector<const MemoryDevice*> found;
  for (const MemoryDevice& d : devices) {
    const auto same = [&](const std::wstring& other) { return equalsIgnoringCase(id, other); };
    if (d.exists && std::any_of(d.hardwareIds.begin(), d.hardwareIds.end(), same)) found.push_back(&d);
  }
  return found;
}

std::unique_ptr<DeviceSet> MemoryDeviceSystem::openSet(std::vector<std::size_t> members) {
  return std::make_unique<MemoryDeviceSet>(*this, std::move(members));
}

std::unique_ptr<DeviceSet> MemoryDeviceSystem::presentDevices() {
  if (fail.deviceLists) return nullptr;
  std::vector<std::size_t> members;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].exists && devices[i].present) members.push_back(i);
  }
  return openSet(std::move(members));
}

std::unique_ptr<DeviceSet> MemoryDeviceSystem::presentDevicesOfClass(const ClassGuid& guid) {
  if (fail.deviceLists) return nullptr;
  std::vector<std::size_t> members;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const auto cls = setupClasses.find(devices[i].setupClass);
    if (devices[i].exists && devices[i].present && cls != setupClasses.end() && cls->second == guid) {
      members.push_back(i);
    }
  }
  return openSet(std::move(members));
}

std::unique_ptr<DeviceSet> MemoryDeviceSystem::deviceWithInstanceId(const std::wstring& instanceId) {
  if (fail.deviceLists) return nullptr;
  const std::wstring& located = instanceId.empty() ? rootInstanceId : instanceId;
  std::vector<std::size_t> members;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].exists && equalsIgnoringCase(devices[i].instanceId, located)) {
      members.push_back(i);
      break;
    }
  }
  return openSet(std::move(members));
}

ClassLookup MemoryDeviceSystem::setupClassNamed(const std::wstring& name) {
  if (fail.classLookup) return {ClassLookup::Result::kFailed, {}};
  for (const auto& [className, guid] : setupClasses) {
    if (equalsIgnoringCase(className, name)) return {ClassLookup::Result::kFound, guid};
  }
  return {ClassLookup::Result::kNoClass, {}};
}

std::wstring MemoryDeviceSystem::profileString(const std::wstring& file, const std::wstring& section,
                                               const std::wstring& key) {
  const std::wstring path = isFullPath(file) ? file : windowsDirectory + L"\\" + file;
  profileFilesRead.push_back(path);
  const auto inf = infs.find(path);
  if (inf == infs.end() || section != L"Version" || key != L"DriverVer") return {};
  return inf->second.driverVer;
}

std::optional<std::wstring> MemoryDeviceSystem::fullPath(const std::wstring& path) {
  if (path.empty()) return std::nullopt;
  return isFullPath(path) ? path : currentDirectory + L"\\" + path;
}

bool MemoryDeviceSystem::fileExists(const std::wstring& path) { return infs.contains(path); }

std::wstring MemoryDeviceSystem::generatedInstanceId(const std::wstring& setupClass) const {
  for (int serial = 0;; ++serial) {
    wchar_t number[8];
    std::swprintf(number, 8, L"%04d", serial);
    std::wstring id = L"ROOT\\" + upperCase(setupClass) + L"\\" + number;
    const auto taken = [&](const MemoryDevice& d) { return d.exists && equalsIgnoringCase(d.instanceId, id); };
    if (std::none_of(devices.begin(), devices.end(), taken)) return id;
  }
}

std::unique_ptr<DeviceRegistration> MemoryDeviceSystem::registerDevice(const std::wstring& infPath,
                                                                       const std::wstring& hardwareIdList) {
  const auto inf = infs.find(infPath);
  if (fail.registerDevice || inf == infs.end() || !inf->second.setupClass) return nullptr;
  MemoryDevice device;
  device.instanceId = generatedInstanceId(*inf->second.setupClass);
  device.hardwareIds = splitStringList(hardwareIdList);
  device.setupClass = *inf->second.setupClass;
  device.status = {cm::kSuccess, cm::kHasProblem, 28};  // CM_PROB_FAILED_INSTALL until a driver runs
  registrations.push_back({infPath, hardwareIdList, device.instanceId});
  add(std::move(device));
  return std::make_unique<MemoryRegistration>(registrationsHeld);
}

void MemoryDeviceSystem::updateDriver(const std::wstring& hardwareId, const std::wstring& infPath) {
  driverUpdates.push_back({hardwareId, infPath, registrationsHeld > 0});
  const auto inf = infs.find(infPath);
  if (inf == infs.end()) return;
  DriverNode node;
  node.version = driverVerNumber(inf->second.driverVer);
  for (MemoryDevice& d : devices) {
    const auto same = [&](const std::wstring& id) { return equalsIgnoringCase(id, hardwareId); };
    if (d.exists && d.present && std::any_of(d.hardwareIds.begin(), d.hardwareIds.end(), same)) {
      d.status = {cm::kSuccess, cm::kDriverLoaded, 0};
      d.installedNode = node;
    }
  }
}

void MemoryDeviceSystem::writeEmptyValues(const std::wstring& subkey, const std::vector<std::wstring>& names) {
  // An empty subkey names HKEY_CURRENT_USER itself, which always opens.
  if (!subkey.empty() && !registryKeys.contains(subkey)) return;
  registryValues[subkey].insert(names.begin(), names.end());
}

std::optional<std::uint32_t> MemoryDeviceSystem::runNativeCompanion(const std::vector<std::wstring>& elements) {
  companionRuns.push_back(elements);
  return companionExitCode;
}

}  // namespace devinstall
