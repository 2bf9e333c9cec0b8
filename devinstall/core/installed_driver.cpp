#include "installed_driver.h"

namespace devinstall {

namespace {

bool isTheInstalledNode(const DriverNode& node, const std::wstring& manufacturer, const DriverKeyValues& key) {
  return node.manufacturer == manufacturer && node.provider == *key.providerName && node.detail &&
         node.detail->sectionName == *key.infSection && node.detail->description == *key.driverDesc;
}

// The installed node, also when the INF excludes it from automatic choice.
DriverListRequest installedNode() {
  DriverListRequest request;
  request.installedDriver = true;
  request.allowExcludedDrivers = true;
  return request;
}

// Every node of one INF file, the installed-driver flags clear.
DriverListRequest nodesOf(const std::wstring& infPath) {
  DriverListRequest request;
  request.singleInf = infPath;
  return request;
}

}  // namespace

std::optional<std::uint64_t> installedDriverVersion(DeviceSet& set, std::size_t device) {
  const DriverList direct = set.classDriverList(device, installedNode());
  if (!direct.refused) {
    if (direct.nodes.empty()) return std::nullopt;
    return direct.nodes.front().version;
  }

  const auto key = set.driverKey(device);
  if (!key || !key->infPath || !key->providerName || !key->infSection || !key->driverDesc) return std::nullopt;
  const auto manufacturer = set.manufacturer(device);
  if (!manufacturer) return std::nullopt;
  // From the device's own INF alone: another INF may hold a node that looks the same.
  for (const DriverNode& node : set.classDriverList(device, nodesOf(*key->infPath)).nodes) {
    if (isTheInstalledNode(node, *manufacturer, *key)) return node.version;
  }
  return std::nullopt;
}

}  // namespace devinstall
