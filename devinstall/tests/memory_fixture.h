#pragma once

#include "driver_version.h"
#include "memory_device_system.h"

#include <string>

// Devices and INFs for the tests over the in-memory tree.
namespace devinstall::fixture {

inline constexpr std::uint32_t kProblemFailedInstall = 28;  // CM_PROB_FAILED_INSTALL

inline NodeStatus working() { return {cm::kSuccess, cm::kDriverLoaded, 0}; }
inline NodeStatus withProblem(std::uint32_t problem) { return {cm::kSuccess, cm::kHasProblem, problem}; }
inline NodeStatus disabled() { return withProblem(cm::kProblemDisabled); }
inline NodeStatus withoutDriver() { return {cm::kSuccess, 0, 0}; }
inline NodeStatus unreadable(std::uint32_t result) { return {result, 0, 0}; }

inline DriverNode nodeOfVersion(std::uint64_t version) {
  DriverNode node;
  node.version = version;
  return node;
}

// A root device with one hardware ID that runs a driver of the given version.
inline MemoryDevice rootDevice(std::wstring instanceId, std::wstring hardwareId, NodeStatus status,
                               std::uint64_t driverVersion = versionNumber(1, 0, 0, 6)) {
  MemoryDevice device;
  device.instanceId = std::move(instanceId);
  device.hardwareIds = {std::move(hardwareId)};
  device.status = status;
  device.installedNode = nodeOfVersion(driverVersion);
  return device;
}

inline const std::wstring kInfPath = L"C:\\drivers\\vextra.inf";
inline const std::wstring kHardwareId = L"ROOT\\VextraAudio";

inline MemoryInf infOfVersion(const std::wstring& driverVer) {
  MemoryInf inf;
  inf.driverVer = driverVer;
  inf.setupClass = L"MEDIA";
  return inf;
}

}  // namespace devinstall::fixture
