#pragma once

#include "platform_codes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The installer's one seam to the platform: device information lists, device properties and
// status, driver nodes, the INF profile reader, paths, the registry, the driver update, and
// the process's word size with the 64-bit build of the program beside it.
// Every answer is the platform's, unjudged; the decisions stay with the commands. Failures
// are reported as empty answers, never thrown. Single-threaded, like the program.
namespace devinstall {

// A device node's status as the configuration manager gives it.
struct NodeStatus {
  std::uint32_t result = cm::kSuccess;  // CONFIGRET
  std::uint32_t flags = 0;              // DN_* bits, valid when result is kSuccess
  std::uint32_t problem = 0;            // CM_PROB_* code, valid with DN_HAS_PROBLEM
};

struct DriverNodeDetail {
  std::wstring sectionName;
  std::wstring description;
};

// One entry of a driver list.
struct DriverNode {
  std::wstring manufacturer;
  std::wstring provider;
  std::wstring description;
  std::uint64_t version = 0;
  std::optional<DriverNodeDetail> detail;  // empty when the detail cannot be read
};

// The device's install parameters a class driver list is built with; each flag not asked
// for is cleared.
struct DriverListRequest {
  bool installedDriver = false;           // DI_FLAGSEX_INSTALLEDDRIVER: the installed node alone
  bool allowExcludedDrivers = false;      // DI_FLAGSEX_ALLOWEXCLUDEDDRVS: excluded nodes too
  std::optional<std::wstring> singleInf;  // DI_ENUMSINGLEINF: from this INF file alone
};

// A class driver list in the platform's order; empty when it cannot be built.
struct DriverList {
  bool refused = false;  // the platform would not take the request's parameters
  std::vector<DriverNode> nodes;
};

// The text values of a device's driver key; a value that is missing or not text is empty.
struct DriverKeyValues {
  std::optional<std::wstring> infPath;
  std::optional<std::wstring> providerName;
  std::optional<std::wstring> infSection;
  std::optional<std::wstring> driverDesc;
};

enum class IdList { kHardware, kCompatible };

// A setup class GUID, as its 16 bytes in memory order.
using ClassGuid = std::array<std::uint8_t, 16>;

struct ClassLookup {
  enum class Result { kFound, kNoClass, kFailed };
  Result result = Result::kFailed;
  ClassGuid guid{};
};

// One device information list; its devices are addressed by place in enumeration order.
class DeviceSet {
 public:
  virtual ~DeviceSet() = default;

  // False past the end of the list, or when the platform enumerates no further.
  virtual bool contains(std::size_t device) = 0;

  // The configuration manager's instance ID (at most 200 characters).
  virtual std::optional<std::wstring> instanceId(std::size_t device) = 0;
  // The hardware or compatible IDs; none when the list cannot be read.
  virtual std::vector<std::wstring> ids(std::size_t device, IdList which) = 0;
  virtual NodeStatus status(std::size_t device) = 0;

  // The device's class driver list, built with these install parameters, and released again.
  virtual DriverList classDriverList(std::size_t device, const DriverListRequest& request) = 0;
  // What the installed driver's own records say: the driver key's values and the
  // manufacturer property.
  virtual std::optional<DriverKeyValues> driverKey(std::size_t device) = 0;
  virtual std::optional<std::wstring> manufacturer(std::size_t device) = 0;

  // Removal with global scope through the class installer; false when it fails.
  virtual bool remove(std::size_t device) = 0;
};

// Holds what a registered device needs until its driver is installed.
class DeviceRegistration {
 public:
  virtual ~DeviceRegistration() = default;
};

class DeviceSystem {
 public:
  virtual ~DeviceSystem() = default;

  // Every present device of every class; null when the list or its details are unavailable.
  virtual std::unique_ptr<DeviceSet> presentDevices() = 0;
  // Every present device of one setup class; null as above.
  virtual std::unique_ptr<DeviceSet> presentDevicesOfClass(const ClassGuid& guid) = 0;
  // An empty list into which the device with that instance ID is opened, present or not;
  // it stays empty when no such device opens. Null as above.
  virtual std::unique_ptr<DeviceSet> deviceWithInstanceId(const std::wstring& instanceId) = 0;
  virtual ClassLookup setupClassNamed(const std::wstring& name) = 0;

  // The private-profile reader's value of key in section of file; empty when missing. A
  // file name without a path is looked for in the Windows directory.
  virtual std::wstring profileString(const std::wstring& file, const std::wstring& section,
                                     const std::wstring& key) = 0;
  // The full path of a path, of any length; empty when it cannot be resolved.
  virtual std::optional<std::wstring> fullPath(const std::wstring& path) = 0;
  virtual bool fileExists(const std::wstring& path) = 0;

  // Creates a device of the INF's setup class with a generated instance ID and the given
  // hardware-ID list (a string list with its two final zeros) and registers it; null when
  // any step fails.
  virtual std::unique_ptr<DeviceRegistration> registerDevice(const std::wstring& infPath,
                                                             const std::wstring& hardwareIdList) = 0;
  // UpdateDriverForPlugAndPlayDevicesW from "newdev.dll", forced, without a window.
  virtual void updateDriver(const std::wstring& hardwareId, const std::wstring& infPath) = 0;

  // Adds empty text values of these names under HKEY_CURRENT_USER\subkey; nothing when the
  // key does not open for setting values.
  virtual void writeEmptyValues(const std::wstring& subkey, const std::vector<std::wstring>& names) = 0;

  // Whether this is a 32-bit process on a 64-bit system (WOW64).
  virtual bool underWow64() = 0;
  // Runs "devinstall64.exe" from this program's own folder with these command-line elements
  // (element 0 stands for the program), waits for it and gives its exit code; none when it
  // is missing or does not start.
  virtual std::optional<std::uint32_t> runNativeCompanion(const std::vector<std::wstring>& elements) = 0;
};

}  // namespace devinstall
