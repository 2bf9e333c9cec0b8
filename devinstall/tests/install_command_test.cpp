#include "install_command.h"
#include "memory_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace devinstall;
using namespace devinstall::fixture;

const std::uint64_t kV6 = versionNumber(1, 0, 0, 6);
const std::uint64_t kV7 = versionNumber(1, 0, 0, 7);
const std::uint64_t kV8 = versionNumber(1, 0, 0, 8);

class InstallCommand : public ::testing::Test {
 protected:
  InstallCommand() { system.infs[kInfPath] = infOfVersion(L"01/02/2024,1.0.0.7"); }

  void install(const std::wstring& infPath = kInfPath, const std::wstring& hardwareId = kHardwareId) {
    runInstall(system, infPath, hardwareId);
    EXPECT_EQ(system.setsOpen, 0) << "every set is released";
    EXPECT_EQ(system.registrationsHeld, 0);
  }

  bool installedOnce() const {
    return system.registrations.size() == 1 && system.driverUpdates.size() == 1 &&
           system.driverUpdates[0].hardwareId == kHardwareId && system.driverUpdates[0].infPath == kInfPath &&
           system.driverUpdates[0].registrationHeld;
  }

  MemoryDeviceSystem system;
};

TEST_F(InstallCommand, EqualVersionChangesNothing) {
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working(), kV7));
  install();
  EXPECT_TRUE(system.removed.empty());
  EXPECT_TRUE(system.registrations.empty());
  EXPECT_TRUE(system.driverUpdates.empty());
}

TEST_F(InstallCommand, SameVersionAgainLeavesTheInstalledDeviceAlone) {
  // What Wine never shows: the first install's device works with the INF's driver, so the
  // second changes nothing.
  install();
  ASSERT_TRUE(installedOnce());
  install();
  EXPECT_TRUE(system.removed.empty());
  EXPECT_EQ(system.registrations.size(), 1u);
  EXPECT_EQ(system.driverUpdates.size(), 1u);
  EXPECT_EQ(system.withHardwareId(kHardwareId).size(), 1u);
}

TEST_F(InstallCommand, NewerInfReplacesEveryMatchingDeviceWithOne) {
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working(), kV6));
  system.add(rootDevice(L"ROOT\\MEDIA\\0001", L"root\\vextraaudio", working(), kV7));
  system.add(rootDevice(L"ROOT\\MEDIA\\0002", L"ROOT\\VextraCamera", working(), kV6));

  install();

  EXPECT_EQ(system.removed, (std::vector<std::wstring>{L"ROOT\\MEDIA\\0000", L"ROOT\\MEDIA\\0001"}));
  ASSERT_TRUE(installedOnce());
  // The new device carries the hardware ID as a one-element list: ID, zero, zero.
  EXPECT_EQ(system.registrations[0].hardwareIdList, kHardwareId + std::wstring(2, L'\0'));
  EXPECT_EQ(system.registrations[0].infPath, kInfPath);
  const auto now = system.withHardwareId(kHardwareId);
  ASSERT_EQ(now.size(), 1u);
  EXPECT_EQ(now[0]->installedNode->version, kV7);
  EXPECT_EQ(system.withHardwareId(L"ROOT\\VextraCamera").size(), 1u);
}

TEST_F(InstallCommand, OneMatchingDeviceDecidesByItsState) {
  auto loadedWith = [](std::uint32_t flags) { return NodeStatus{cm::kSuccess, cm::kDriverLoaded | flags, 10}; };
  const struct {
    const char* what;
    NodeStatus status;
    bool driverKnown;
    std::uint64_t driverVersion;
    bool removed;
    bool installed;
  } cases[] = {
      {"works, same version", working(), true, kV7, false, false},
      {"works, newer installed", working(), true, kV8, false, false},
      {"works, older installed", working(), true, kV6, true, true},
      {"disabled", disabled(), true, kV7, true, true},
      {"no driver, no problem", withoutDriver(), true, kV7, true, true},
      {"no driver, a problem", withProblem(kProblemFailedInstall), true, kV7, true, true},
      {"loaded with a problem", loadedWith(cm::kHasProblem), true, kV7, true, true},
      {"loaded with a private problem", loadedWith(cm::kPrivateProblem), true, kV7, true, true},
      {"node gone", unreadable(cm::kNoSuchDevnode), true, kV7, true, true},
      {"value gone", unreadable(cm::kNoSuchValue), true, kV7, true, true},
      // Ignored or uncounted devices leave nothing counted: a device is added beside them.
      {"status fails otherwise", unreadable(0x13), true, kV6, false, true},
      {"loaded, driver unknown", working(), false, kV6, false, true},
      {"loaded, driver unknown, a problem", loadedWith(cm::kHasProblem), false, kV6, false, true},
      // Disabled is counted before the driver is looked at: the device is replaced.
      {"disabled, driver still loaded and unknown",
       {cm::kSuccess, cm::kDriverLoaded | cm::kHasProblem, cm::kProblemDisabled}, false, kV6, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    system = MemoryDeviceSystem();
    system.infs[kInfPath] = infOfVersion(L"01/02/2024,1.0.0.7");
    MemoryDevice& device = system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, c.status, c.driverVersion));
    if (!c.driverKnown) device.installedNode.reset();

    install();

    EXPECT_EQ(system.removed.size(), c.removed ? 1u : 0u);
    EXPECT_EQ(system.registrations.size(), c.installed ? 1u : 0u);
    EXPECT_EQ(system.driverUpdates.size(), c.installed ? 1u : 0u);
  }
}

TEST_F(InstallCommand, OneBrokenDeviceReplacesTheWorkingOnesToo) {
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working(), kV7));
  system.add(rootDevice(L"ROOT\\MEDIA\\0001", kHardwareId, disabled(), kV7));
  install();
  EXPECT_EQ(system.removed.size(), 2u);
  EXPECT_TRUE(installedOnce());
}

TEST_F(InstallCommand, HardwareIdLength) {
  const std::wstring longest = L"ROOT\\" + std::wstring(kMaxHardwareId - 5, L'X');
  const std::wstring tooLong = longest + L"X";
  ASSERT_EQ(tooLong.size(), 256u);

  // 256 characters: the check still runs (and may remove), nothing is installed.
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", tooLong, working(), kV6));
  install(kInfPath, tooLong);
  EXPECT_EQ(system.removed.size(), 1u);
  EXPECT_TRUE(system.registrations.empty());
  EXPECT_TRUE(system.driverUpdates.empty());

  install(kInfPath, longest);
  ASSERT_EQ(system.registrations.size(), 1u);
  EXPECT_EQ(system.registrations[0].hardwareIdList.size(), 257u);
  EXPECT_EQ(system.driverUpdates[0].hardwareId, longest);

  // An empty ID names no device: nothing is created for it.
  install(kInfPath, L"");
  EXPECT_EQ(system.registrations.size(), 1u);
}

TEST_F(InstallCommand, InfPathMustResolveWithin259CharactersToAFile) {
  const std::wstring at259 = L"C:\\" + std::wstring(kMaxInfPath - 7, L'd') + L".inf";
  const std::wstring at260 = L"C:\\" + std::wstring(kMaxInfPath - 6, L'd') + L".inf";
  ASSERT_EQ(at259.size(), 259u);
  system.infs[at259] = infOfVersion(L"01/02/2024,1.0.0.7");
  system.infs[at260] = infOfVersion(L"01/02/2024,1.0.0.7");

  install(at260);
  install(L"C:\\drivers\\missing.inf");
  install(L"");
  EXPECT_TRUE(system.registrations.empty());

  install(at259);
  EXPECT_EQ(system.registrations.size(), 1u);
}

TEST_F(InstallCommand, RelativeInfPathReadsTheVersionOfTheFileItInstalls) {
  // The profile reader would take a relative name from the Windows directory, where an
  // older copy lies.
  system.currentDirectory = L"C:\\drivers";
  system.infs[L"C:\\windows\\vextra.inf"] = infOfVersion(L"01/02/2023,1.0.0.5");
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working(), kV6));

  install(L"vextra.inf");

  EXPECT_EQ(system.removed.size(), 1u);
  EXPECT_TRUE(installedOnce());
  EXPECT_EQ(system.profileFilesRead, std::vector<std::wstring>{kInfPath});
}

TEST_F(InstallCommand, MissingDriverVerCountsAsVersionZero) {
  system.infs[kInfPath].driverVer.clear();
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working(), 0));
  install();
  EXPECT_TRUE(system.registrations.empty());
}

TEST_F(InstallCommand, WildcardsInTheHardwareIdAreTakenLiterally) {
  // As a pattern, "*" would select every device of the machine for removal.
  system.add(rootDevice(L"PCI\\VEN_1\\0", L"PCI\\VEN_1", withoutDriver()));
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", L"ROOT\\VextraAudio", working(), kV6));
  for (const wchar_t* id : {L"*", L"ROOT\\*", L"@ROOT\\MEDIA\\0000", L"@*", L"=System"}) {
    install(kInfPath, id);
  }
  EXPECT_TRUE(system.removed.empty());
  EXPECT_EQ(system.registrations.size(), 5u);
}

TEST_F(InstallCommand, EnumerationFailureInstallsWithoutRemoving) {
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working(), kV7));
  system.fail.deviceLists = true;
  install();
  EXPECT_TRUE(system.removed.empty());
  EXPECT_TRUE(installedOnce());
}

TEST_F(InstallCommand, RemovalSkipsDevicesItCannotName) {
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, disabled())).instanceIdFails = true;
  system.add(rootDevice(L"ROOT\\MEDIA\\0001", kHardwareId, disabled())).removalFails = true;
  system.add(rootDevice(L"ROOT\\MEDIA\\0002", kHardwareId, disabled()));
  install();
  EXPECT_EQ(system.removed, std::vector<std::wstring>{L"ROOT\\MEDIA\\0002"});
  EXPECT_TRUE(installedOnce());
}

TEST_F(InstallCommand, NoDriverUpdateWithoutARegisteredDevice) {
  system.infs[kInfPath].setupClass.reset();  // the INF names no class
  install();
  EXPECT_TRUE(system.driverUpdates.empty());

  system.infs[kInfPath] = infOfVersion(L"01/02/2024,1.0.0.7");
  system.fail.registerDevice = true;
  install();
  EXPECT_TRUE(system.driverUpdates.empty());
}

}  // namespace
