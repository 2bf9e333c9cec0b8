#pragma once

#include "device_system.h"

namespace devinstall::win32 {

// The installer's seam on SetupAPI, the configuration manager, "newdev.dll", the profile
// reader and the registry of the local machine, and on the process's own word size.
class Win32DeviceSystem final : public DeviceSystem {
 public:
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
  bool underWow64() override;
  std::optional<std::uint32_t> runNativeCompanion(const std::vector<std::wstring>& elements) override;
};

}  // namespace devinstall::win32
