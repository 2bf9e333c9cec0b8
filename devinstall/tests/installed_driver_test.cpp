#include "installed_driver.h"
#include "memory_fixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace devinstall;
using namespace devinstall::fixture;

const std::wstring kDeviceInf = L"oem7.inf";

DriverNode node(std::wstring manufacturer, std::wstring provider, std::wstring section, std::wstring description,
                std::uint64_t version) {
  DriverNode n;
  n.manufacturer = std::move(manufacturer);
  n.provider = std::move(provider);
  n.description = description;
  n.version = version;
  n.detail = DriverNodeDetail{std::move(section), std::move(description)};
  return n;
}

// A device whose platform refuses the installed-driver flags, with its driver key and
// manufacturer, and its INF's driver list holding a decoy before the installed node.
struct FallbackDevice {
  FallbackDevice() {
    MemoryDevice& d = system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working()));
    d.refusesInstalledDriverFlags = true;
    d.installedNode.reset();
    d.driverKey = DriverKeyValues{kDeviceInf, L"Vextra", L"VextraAudio.NT", L"Vextra Audio"};
    d.manufacturer = L"Vextra Labs";
    system.infs[kDeviceInf].nodes = {
        node(L"Vextra Labs", L"Vextra", L"VextraAudio.Legacy", L"Vextra Audio", versionNumber(0, 9, 0, 0)),
        node(L"Vextra Labs", L"Vextra", L"VextraAudio.NT", L"Vextra Audio", versionNumber(1, 0, 0, 6)),
    };
    // An older copy of the same driver in another INF, listed first when every INF is searched.
    system.infs[L"oem3.inf"].nodes = {
        node(L"Vextra Labs", L"Vextra", L"VextraAudio.NT", L"Vextra Audio", versionNumber(1, 0, 0, 2)),
    };
  }

  MemoryDevice& device() { return system.devices[0]; }
  DriverNode& installed() { return system.infs[kDeviceInf].nodes[1]; }

  std::optional<std::uint64_t> version() {
    const auto set = system.presentDevices();
    return installedDriverVersion(*set, 0);
  }

  MemoryDeviceSystem system;
};

TEST(InstalledDriver, DirectAnswerIsTakenAsItIs) {
  MemoryDeviceSystem system;
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working(), versionNumber(1, 0, 0, 6)));
  system.add(rootDevice(L"ROOT\\MEDIA\\0001", kHardwareId, working())).installedNode.reset();
  // A node the INF excludes from automatic choice can still be the installed one.
  system.add(rootDevice(L"ROOT\\MEDIA\\0002", kHardwareId, working(), versionNumber(1, 0, 0, 5)))
      .installedNodeExcluded = true;
  const auto set = system.presentDevices();
  EXPECT_EQ(installedDriverVersion(*set, 0), versionNumber(1, 0, 0, 6));
  EXPECT_EQ(installedDriverVersion(*set, 1), std::nullopt);
  EXPECT_EQ(installedDriverVersion(*set, 2), versionNumber(1, 0, 0, 5));
  EXPECT_TRUE(system.infListsBuilt.empty()) << "no fallback while the flags are taken";
}

TEST(InstalledDriver, EmptyDirectAnswerIsNotLookedUpTheLongWay) {
  // Only a refusal of the flags sends the lookup to the driver key: an empty answer means
  // that no driver node is installed, whatever the driver key still records.
  FallbackDevice f;
  f.device().refusesInstalledDriverFlags = false;
  EXPECT_EQ(f.version(), std::nullopt);
  EXPECT_TRUE(f.system.infListsBuilt.empty());
}

TEST(InstalledDriver, FallbackFindsTheNodeTheDriverKeyDescribes) {
  // In the device's own INF alone, built without the flags the platform refused.
  FallbackDevice f;
  EXPECT_EQ(f.version(), versionNumber(1, 0, 0, 6));
  EXPECT_EQ(f.system.infListsBuilt, std::vector<std::wstring>{kDeviceInf});
}

TEST(InstalledDriver, FallbackComparesExactly) {
  const struct {
    const char* what;
    std::function<void(FallbackDevice&)> change;
  } cases[] = {
      {"manufacturer off by case", [](FallbackDevice& f) { f.installed().manufacturer = L"VEXTRA LABS"; }},
      {"provider off by case", [](FallbackDevice& f) { f.installed().provider = L"vextra"; }},
      {"section off by case", [](FallbackDevice& f) { f.installed().detail->sectionName = L"VextraAudio.nt"; }},
      {"description off by case", [](FallbackDevice& f) { f.installed().detail->description = L"Vextra audio"; }},
      {"device's manufacturer off by case", [](FallbackDevice& f) { f.device().manufacturer = L"vextra labs"; }},
      {"node detail unreadable", [](FallbackDevice& f) { f.installed().detail.reset(); }},
      {"no InfPath", [](FallbackDevice& f) { f.device().driverKey->infPath.reset(); }},
      {"no ProviderName", [](FallbackDevice& f) { f.device().driverKey->providerName.reset(); }},
      {"no InfSection", [](FallbackDevice& f) { f.device().driverKey->infSection.reset(); }},
      {"no DriverDesc", [](FallbackDevice& f) { f.device().driverKey->driverDesc.reset(); }},
      {"driver key does not open", [](FallbackDevice& f) { f.device().driverKey.reset(); }},
      {"no manufacturer property", [](FallbackDevice& f) { f.device().manufacturer.reset(); }},
      {"INF lists nothing", [](FallbackDevice& f) { f.system.infs[kDeviceInf].nodes.clear(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FallbackDevice f;
    c.change(f);
    EXPECT_EQ(f.version(), std::nullopt);
  }
}

TEST(InstalledDriver, NodeDescriptionIsNotWhatIsCompared) {
  // The detail's description is the one compared with "DriverDesc", not the list entry's.
  FallbackDevice f;
  f.installed().description = L"something else";
  EXPECT_EQ(f.version(), versionNumber(1, 0, 0, 6));
}

}  // namespace
