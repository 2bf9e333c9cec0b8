#pragma once

#include "device_system.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// An in-memory device tree behind the installer's seam, for tests of the decisions: every
// platform answer is a field the test sets, and every change the commands make is recorded.
// Single-threaded.
namespace devinstall {

struct MemoryDevice {
  std::wstring instanceId;
  std::vector<std::wstring> hardwareIds;
  std::vector<std::wstring> compatibleIds;
  std::wstring setupClass = L"System";
  bool present = true;
  bool exists = true;  // false once removed
  NodeStatus status;

  // Installed driver: the direct answer, then the long way's driver key and manufacturer.
  bool refusesInstalledDriverFlags = false;
  std::optional<DriverNode> installedNode;
  bool installedNodeExcluded = false;  // listed only when excluded drivers are allowed
  std::optional<DriverKeyValues> driverKey;
  std::optional<std::wstring> manufacturer;

  bool instanceIdFails = false;
  bool removalFails = false;
};

// An INF file, by its full path.
struct MemoryInf {
  std::wstring driverVer;                  // the "DriverVer" value; empty: no such key
  std::optional<std::wstring> setupClass;  // empty: the class cannot be read from it
  std::vector<DriverNode> nodes;           // its class driver nodes
};

class MemoryDeviceSystem final : public DeviceSystem {
 public:
  // The machine.
  std::vector<MemoryDevice> devices;
  std::map<std::wstring, MemoryInf> infs;
  std::map<std::wstring, ClassGuid> setupClasses;  // by name
  std::wstring windowsDirectory = L"C:\\windows";
  // The device an empty instance ID opens, as the configuration manager locates it.
  std::wstring rootInstanceId = L"HTREE\\ROOT\\0";
  std::wstring currentDirectory = L"C:\\work";
  std::set<std::wstring> registryKeys;  // subkeys of HKEY_CURRENT_USER that exist
  std::map<std::wstring, std::set<std::wstring>> registryValues;
  // A 32-bit process on a 64-bit system, and the exit code of the 64-bit program beside it
  // (none: missing, or does not start).
  bool wow64 = false;
  std::optional<std::uint32_t> companionExitCode;

  // Calls that fail.
  struct Failures {
    bool deviceLists = false;  // no list or its details, for any set
    bool classLookup = false;
    bool registerDevice = false;
  } fail;

  // What the commands did.
  struct Registration {
    std::wstring infPath;
    std::wstring hardwareIdList;
    std::wstring instanceId;
  };
  struct DriverUpdate {
    std::wstring hardwareId;
    std::wstring infPath;
    bool registrationHeld;  // the registered device's list was still open
  };
  std::vector<std::wstring> removed;  // instance IDs, in order
  std::vector<Registration> registrations;
  std::vector<DriverUpdate> driverUpdates;
  std::vector<std::wstring> profileFilesRead;
  std::vector<std::wstring> infListsBuilt;  // INF paths of single-INF driver lists
  std::vector<std::vector<std::wstring>> companionRuns;  // the elements of each attempt
  int setsOpen = 0;
  int registrationsHeld = 0;

  MemoryDevice& add(MemoryDevice device);
  // The devices that exist and have this hardware ID (compared ignoring case).
  std::vector<const MemoryDevice*> withHardwareId(const std::wstring& id) const;

  std::unique_ptr<DeviceSet> presentDevices() override;
  std::unique_ptr<DeviceSet> presentDevicesOfClass(const ClassGuid& guid) override;
  std::unique_ptr<DeviceSet> deviceWithInstanceId(const std::wstring& instanceId) override;
  ClassLookup setupClassNamed(const std::wstring& name) override;
  std::wstring profileString(const std::wstring& file, const std::wstring& section, const std::wstring& key) override;
  std::optional<std::wstring> fullPath(const std::wstring& path) override;
  bool fileExists(const std::wstring& path) override;
  std::unique_ptr<DeviceRegistration> registerDevice(const std::wstring& infPath,
                                                     const std::wstring& hardwareIdList) override;
  void updateDriver(const std::wstring& hardwareId, const std::wstring& infPath) override;
  void writeEmptyValues(const std::wstring& subkey, const std::vector<std::wstring>& names) override;
  bool underWow64() override { return wow64; }
  std::optional<std::uint32_t> runNativeCompanion(const std::vector<std::wstring>& elements) override;

 private:
  std::unique_ptr<DeviceSet> openSet(std::vector<std::size_t> members);
  std::wstring generatedInstanceId(const std::wstring& setupClass) const;
};

}  // namespace devinstall
