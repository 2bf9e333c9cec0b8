#include "installed_driver.h"

namespace devinstall {

namespace {

bool isTheInstalledNode(const DriverNode& node, const std::wstring& manufacturer, const DriverKeyValues& key) {
  return node.manufacturer == manufacturer && node.provider == *key.providerName && node.detail &&
         node.detail->sectionName == *key.infSection && node.detail->description == *key.driverDesc;
}

}  // namespace

std::optional<std::uint64_t> installedDriverVersion(DeviceSet& set, std::size_t device) {
  const InstalledDriverAnswer answer = set.installedDriver(device);
  if (!answer.flagsRefused) {
    if (!answer.first) return std::nullopt;
    return answer.first->version;
  }

  const auto key = set.driverKey(device);
  if (!key || !key->infPath || !key->providerName || !key->infSection || !key->driverDesc) return std::nullopt;
  const auto manufacturer = set.manufacturer(device);
  if (!manufacturer) return std::nullopt;
  for (const DriverNode& node : set.infDriverNodes(device, *key->infPath)) {
    if (isTheInstalledNode(node, *manufacturer, *key)) return node.version;
  }
  return std::nullopt;
}

}  // namespace devinstall
