#include "install_command.h"

#include "device_enumeration.h"
#include "device_tally.h"
#include "driver_version.h"
#include "hardware_id_pattern.h"

namespace devinstall {

namespace {

// The INF's version is read from the file that will be installed: the profile reader would
// look for a relative path in the Windows directory instead.
std::uint64_t infDriverVersion(DeviceSystem& system, const std::wstring& infPath) {
  const std::wstring file = system.fullPath(infPath).value_or(infPath);
  return driverVerNumber(system.profileString(file, L"Version", L"DriverVer"));
}

void removeDevices(DeviceSystem& system, const HardwareIdPattern& pattern) {
  enumerateDevices(system, pattern, [](DeviceSet& set, std::size_t device) {
    if (set.instanceId(device)) set.remove(device);
  });
}

// The hardware ID as a one-element string list: the ID, its zero, and the list's zero.
std::wstring hardwareIdList(const std::wstring& hardwareId) {
  std::wstring list = hardwareId;
  list.push_back(L'\0');
  list.push_back(L'\0');
  return list;
}

}  // namespace

void runInstall(DeviceSystem& system, const std::wstring& infPath, const std::wstring& hardwareId) {
  const std::uint64_t infVersion = infDriverVersion(system, infPath);

  // The ID is compared whole: as a wildcard pattern, an ID such as "*" would select, and
  // then remove, every device of the machine.
  const HardwareIdPattern pattern = HardwareIdPattern::literal(hardwareId);
  DeviceTally tally;
  const Enumeration found = enumerateDevices(system, pattern, [&](DeviceSet& set, std::size_t device) {
    classifyForInstall(set, device, infVersion, tally);
  });
  if (found == Enumeration::kCompleted && tally.devices > 0) {
    if ((tally.bits & (DeviceTally::kInfIsNewer | DeviceTally::kProblem)) == 0) return;
    removeDevices(system, pattern);
  }

  const auto fullInfPath = system.fullPath(infPath);
  if (!fullInfPath || fullInfPath->size() > kMaxInfPath || !system.fileExists(*fullInfPath)) return;
  if (hardwareId.empty() || hardwareId.size() > kMaxHardwareId) return;

  const auto registration = system.registerDevice(*fullInfPath, hardwareIdList(hardwareId));
  if (!registration) return;
  system.updateDriver(hardwareId, *fullInfPath);
}

}  // namespace devinstall
