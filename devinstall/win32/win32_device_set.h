#pragma once

#include "device_system.h"
#include "win32_handles.h"

#include <cfgmgr32.h>

#include <vector>

namespace devinstall::win32 {

// A SetupAPI device information list and the machine its details name. Elements are
// enumerated on first use and remembered in order.
class Win32DeviceSet final : public DeviceSet {
 public:
  Win32DeviceSet(DeviceInfoList list, HMACHINE machine) noexcept;

  bool contains(std::size_t device) override;
  std::optional<std::wstring> instanceId(std::size_t device) override;
  std::vector<std::wstring> ids(std::size_t device, IdList which) override;
  NodeStatus status(std::size_t device) override;
  DriverList classDriverList(std::size_t device, const DriverListRequest& request) override;
  std::optional<DriverKeyValues> driverKey(std::size_t device) override;
  std::optional<std::wstring> manufacturer(std::size_t device) override;
  bool remove(std::size_t device) override;

 private:
  SP_DEVINFO_DATA* element(std::size_t device) noexcept { return &elements_.at(device); }
  DriverNode driverNode(SP_DEVINFO_DATA* element, SP_DRVINFO_DATA_W& info);

  DeviceInfoList list_;
  HMACHINE machine_;
  std::vector<SP_DEVINFO_DATA> elements_;
  bool ended_ = false;
};

}  // namespace devinstall::win32
