// devinstall.exe against the platform's own SetupAPI, configuration manager and registry, under
// Wine. Every case runs in a fresh prefix of its own (see fresh_prefix.sh), so the devices it
// finds are Wine's own and those it makes.
#include "wine_harness.h"

#include <cfgmgr32.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace devinstall::wine;

const std::wstring kHardwareId = L"ROOT\\VextraTest";
const std::wstring kStatusKey = L"Software\\VextraTest\\Status";

// Every run: nothing on any console.
ProgramRun checkedRun(const std::wstring& program, const std::vector<std::wstring>& arguments,
                      const std::wstring& directory = {}) {
  ProgramRun run = runWithArguments(program, arguments, directory);
  EXPECT_EQ(run.output, "") << "devinstall wrote to its standard output or error";
  return run;
}

ProgramRun devinstall(const std::vector<std::wstring>& arguments, const std::wstring& directory = {}) {
  return checkedRun(devinstallPath(), arguments, directory);
}

void expectExitZero(const std::vector<std::wstring>& arguments) { EXPECT_EQ(devinstall(arguments).exitCode, 0u); }

// Whether the platform reports this device's driver as loaded. Wine reports no driver loaded
// and no problem for every device; the install check then replaces the device.
bool platformReportsDriverLoaded(const std::wstring& instanceId) {
  DEVINST node = 0;
  if (CM_Locate_DevNodeW(&node, const_cast<wchar_t*>(instanceId.c_str()), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
    return false;
  }
  ULONG status = 0;
  ULONG problem = 0;
  return CM_Get_DevNode_Status(&status, &problem, node, 0) == CR_SUCCESS && (status & DN_DRIVER_LOADED) != 0;
}

// The status command's answer for a pattern, as the sorted value names it leaves behind.
std::vector<std::wstring> statusOf(const std::wstring& pattern) {
  RegDeleteKeyW(HKEY_CURRENT_USER, kStatusKey.c_str());
  createUserKey(kStatusKey);
  expectExitZero({L"-status", pattern, kStatusKey});
  return userValueNames(kStatusKey);
}

bool found(const std::vector<std::wstring>& values) {
  for (const std::wstring& value : values) {
    if (value != L"FoundProblem" && value != L"FoundOK") return false;
  }
  return !values.empty();
}

const std::vector<std::wstring> kNotFound{L"NotFound"};

TestInf infOfVersion(const std::wstring& version) {
  TestInf inf;
  inf.version = version;
  return inf;
}

TestInf infWithService(const std::wstring& service) {
  TestInf inf;
  inf.service = service;
  return inf;
}

TEST(Install, CreatesARootDeviceAndInstallsTheInf) {
  const std::wstring inf = writeInf(L"vextra_test.inf", {});
  ASSERT_TRUE(presentDevicesWithHardwareId(kHardwareId).empty());

  // A path relative to the current directory.
  EXPECT_EQ(devinstall({L"vextra_test.inf", kHardwareId}, scratchDirectory()).exitCode, 0u);

  const auto devices = presentDevicesWithHardwareId(kHardwareId);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].hardwareIds, std::vector<std::wstring>{kHardwareId});
  EXPECT_EQ(devices[0].instanceId.rfind(L"ROOT\\SYSTEM\\", 0), 0u) << "named by the INF's class";
  EXPECT_TRUE(IsEqualGUID(devices[0].classGuid, kSystemClass));
  EXPECT_EQ(driverKeyText(devices[0].instanceId, L"InfSection"), L"Inst") << "the INF was installed";
}

TEST(Install, SameVersionAgain) {
  const std::wstring inf = writeInf(L"vextra_test.inf", {});
  expectExitZero({inf, kHardwareId});
  const auto first = presentDevicesWithHardwareId(kHardwareId);
  ASSERT_EQ(first.size(), 1u);
  setFriendlyName(first[0].instanceId, L"marker");
  const bool loaded = platformReportsDriverLoaded(first[0].instanceId);

  expectExitZero({inf, kHardwareId});

  const auto second = presentDevicesWithHardwareId(kHardwareId);
  ASSERT_EQ(second.size(), 1u);
  if (loaded) {
    EXPECT_EQ(second[0].friendlyName, L"marker") << "a working device with the same driver is left alone";
  } else {
    EXPECT_EQ(second[0].friendlyName, L"") << "a device without a loaded driver is replaced";
    EXPECT_EQ(driverKeyText(second[0].instanceId, L"InfSection"), L"Inst");
  }
}

TEST(Install, NewerDriverVerReplacesEveryMatchingDevice) {
  expectExitZero({writeInf(L"old.inf", infOfVersion(L"1.0.0.6")), kHardwareId});
  createRootDevice({L"Other\\Id", kHardwareId});
  const std::wstring bystander = createRootDevice({L"ROOT\\VextraBystander"});
  for (const ListedDevice& device : presentDevicesWithHardwareId(kHardwareId)) setFriendlyName(device.instanceId, L"old");
  ASSERT_EQ(presentDevicesWithHardwareId(kHardwareId).size(), 2u);

  expectExitZero({writeInf(L"new.inf", infOfVersion(L"1.0.0.7")), kHardwareId});

  const auto devices = presentDevicesWithHardwareId(kHardwareId);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].friendlyName, L"");
  EXPECT_EQ(devices[0].hardwareIds, std::vector<std::wstring>{kHardwareId});
  EXPECT_EQ(driverKeyText(devices[0].instanceId, L"InfSection"), L"Inst");
  EXPECT_EQ(presentDevicesWithHardwareId(L"ROOT\\VextraBystander").size(), 1u) << bystander.c_str();
}

TEST(Install, RefusesWhatItCannotInstall) {
  const std::wstring inf = writeInf(L"vextra_test.inf", {});
  const std::wstring id256 = L"ROOT\\" + std::wstring(251, L'X');
  expectExitZero({inf, id256});
  expectExitZero({scratchDirectory() + L"\\missing.inf", kHardwareId});
  // An INF that exists, at a full path of more than 259 characters.
  const std::wstring deep = scratchDirectory() + L"\\" + std::wstring(200, L'd') + L"\\" + std::wstring(60, L'e') + L".inf";
  writeInfAt(deep, {});
  ASSERT_NE(GetFileAttributesW(deep.c_str()), INVALID_FILE_ATTRIBUTES);
  expectExitZero({deep, kHardwareId});
  for (const ListedDevice& device : presentDevices()) {
    for (const std::wstring& id : device.hardwareIds) {
      EXPECT_NE(id, id256);
      EXPECT_NE(id, kHardwareId);
    }
  }
}

TEST(Install, TakesNewdevFromTheSystemDirectoryOnly) {
  // A copy of the installer beside a planted "newdev.dll" that leaves a mark when loaded.
  const std::wstring directory = scratchDirectory();
  const std::wstring program = directory + L"\\devinstall.exe";
  ASSERT_TRUE(CopyFileW(devinstallPath().c_str(), program.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW((testProgramDirectory() + L"\\planted\\newdev.dll").c_str(),
                        (directory + L"\\newdev.dll").c_str(), FALSE));
  const std::wstring inf = writeInf(L"vextra_test.inf", {});

  // Wine prefers its builtin libraries; let the installer take a native "newdev.dll" the way
  // Windows would, from wherever its search finds one first.
  setUserText(L"Software\\Wine\\AppDefaults\\devinstall.exe\\DllOverrides", L"newdev", L"native,builtin");
  const ProgramRun run = runProgram(program, L"devinstall vextra_test.inf " + kHardwareId, directory);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output, "");

  EXPECT_EQ(GetFileAttributesW((directory + L"\\newdev.dll.loaded").c_str()), INVALID_FILE_ATTRIBUTES)
      << "the planted newdev.dll was loaded";
  const auto devices = presentDevicesWithHardwareId(kHardwareId);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(driverKeyText(devices[0].instanceId, L"InfSection"), L"Inst");
}

// The root device and the service entry that the platform's set-up makes from an INF.
void expectDeviceAndService(const std::wstring& inf, const std::wstring& hardwareId) {
  expectExitZero({inf, hardwareId});
  const auto devices = presentDevicesWithHardwareId(hardwareId);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].instanceId.rfind(L"ROOT\\", 0), 0u);
  ASSERT_FALSE(devices[0].service.empty()) << "the device names no service";
  const std::wstring serviceKey = L"System\\CurrentControlSet\\Services\\" + devices[0].service;
  EXPECT_TRUE(machineKeyExists(serviceKey));
  EXPECT_FALSE(machineText(serviceKey, L"ImagePath").empty());
}

TEST(Install, CreatesTheServiceTheInfNames) {
  expectDeviceAndService(writeInf(L"service.inf", infWithService(L"VextraTestService")), kHardwareId);
  EXPECT_EQ(presentDevicesWithHardwareId(kHardwareId)[0].service, L"VextraTestService");
}

TEST(CommandLine, MalformedEndsWithOneAndDoesNothing) {
  createUserKey(kStatusKey);
  const std::wstring inf = writeInf(L"vextra_test.inf", {});
  const std::wstring program = devinstallPath();
  const std::vector<std::wstring> lines = {
      L"devinstall",
      L"devinstall " + inf,
      L"devinstall -status ROOT\\*",
      L"devinstall -status",
  };
  for (const std::wstring& line : lines) {
    const ProgramRun run = runProgram(program, line);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.output, "");
  }
  EXPECT_TRUE(userValueNames(kStatusKey).empty());
  EXPECT_TRUE(presentDevicesWithHardwareId(kHardwareId).empty());
}

TEST(Status, WritesEmptyTextValuesAndOnlyAddsThem) {
  EXPECT_EQ(statusOf(L"NOSUCH\\Device"), kNotFound);
  EXPECT_TRUE(userValueIsEmptyText(kStatusKey, L"NotFound"));

  // A registered device without a driver has a problem, on Windows and Wine alike.
  createRootDevice({kHardwareId});
  setUserText(kStatusKey, L"Keep", L"from before");
  expectExitZero({L"-status", kHardwareId, kStatusKey});
  EXPECT_EQ(userValueNames(kStatusKey), (std::vector<std::wstring>{L"FoundProblem", L"Keep", L"NotFound"}));
  EXPECT_TRUE(userValueIsEmptyText(kStatusKey, L"FoundProblem"));

  // No subkey: nothing is written, and the key is not made.
  expectExitZero({L"-status", kHardwareId, L"Software\\VextraTest\\Missing"});
  EXPECT_FALSE(userKeyExists(L"Software\\VextraTest\\Missing"));

  // An empty subkey: nothing at the root of the user's hive.
  const auto atRoot = userValueNames(L"");
  expectExitZero({L"-status", kHardwareId, L""});
  EXPECT_EQ(userValueNames(L""), atRoot);
}

TEST(Status, PatternFormsSelectTheirDevices) {
  // Wine's own root bus devices, and ours.
  ASSERT_EQ(presentDevicesWithHardwareId(L"root\\winebus").size(), 1u) << "Wine's bus device is missing";
  createRootDevice({L"VextraTest\\Alpha"}, {L"VextraCompat\\Beta"});
  createRootDevice({L"A*B"});
  createRootDevice({L"AxC"});

  const struct {
    const wchar_t* pattern;
    bool found;
  } cases[] = {
      {L"*", true},
      {L"ROOT\\WINEBUS", true},
      {L"root\\wine*", true},
      {L"ROOT\\*", true},
      {L"root\\winebu", false},
      {L"'root\\winebus", true},
      {L"'root\\wine*", false},
      {L"vextratest\\alpha", true},
      {L"VEXTRACOMPAT\\*", true},  // a compatible ID
      {L"*\\Beta", true},
      {L"VextraTest\\Alph", false},
      {L"'A*B", true},
      {L"'A*C", false},  // "AxC" matches only as a wildcard
      {L"A*C", true},
      {L"@ROOT\\WINE\\WINEBUS", true},
      {L"@root\\wine\\winebus", true},
      {L"@ROOT\\WINE\\NOSUCH", false},
      {L"@", false},
      {L"=System", true},
      {L"=NoSuchClass", false},
  };
  for (const auto& c : cases) {
    const auto values = statusOf(c.pattern);
    EXPECT_EQ(found(values), c.found) << testing::PrintToString(std::wstring(c.pattern));
    if (!c.found) {
      EXPECT_EQ(values, kNotFound);
    }
  }
}

TEST(Status, AtSignWildcardPatterns) {
  // Skipped where the configuration manager does not give instance IDs (Wine 8's
  // CM_Get_Device_ID_ExW answers success and writes nothing).
  const auto devices = presentDevicesWithHardwareId(L"root\\winebus");
  ASSERT_EQ(devices.size(), 1u);
  DEVINST node = 0;
  wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Locate_DevNodeW(&node, const_cast<wchar_t*>(devices[0].instanceId.c_str()), CM_LOCATE_DEVNODE_NORMAL) !=
          CR_SUCCESS ||
      CM_Get_Device_ID_ExW(node, id, MAX_DEVICE_ID_LEN, 0, nullptr) != CR_SUCCESS || id[0] == L'\0') {
    GTEST_SKIP() << "this platform's CM_Get_Device_ID_ExW gives no instance IDs";
  }
  EXPECT_TRUE(found(statusOf(L"@ROOT\\WINE\\*")));
  EXPECT_TRUE(found(statusOf(L"@*\\WINEBUS")));
  EXPECT_EQ(statusOf(L"@ROOT\\NOSUCH\\*"), kNotFound);
}

TEST(Status, ReadsHardwareIdListsLongerThanItsFirstBuffer) {
  // Over 8192 bytes of IDs, the one looked for last.
  std::vector<std::wstring> ids;
  for (int i = 0; i < 40; ++i) ids.push_back(L"VextraFiller\\" + std::wstring(150, static_cast<wchar_t>(L'a' + i % 26)));
  ids.push_back(L"VextraTest\\Deep");
  createRootDevice(ids);
  ASSERT_EQ(presentDevicesWithHardwareId(L"VextraTest\\Deep").size(), 1u);
  EXPECT_TRUE(found(statusOf(L"VextraTest\\Deep")));
}

// The shipped pair under WOW64: the win32 build's devinstall.exe (named by DEVINSTALL_WIN32)
// with this build's devinstall64.exe beside it, in a folder of their own, run from this
// 64-bit test program in a 64-bit prefix. The win32 build's tests run these.
class HandOver : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* win32 = std::getenv("DEVINSTALL_WIN32");
    if (win32 == nullptr || sizeof(void*) != 8) {
      GTEST_SKIP() << "needs a 64-bit test program and the win32 build's devinstall.exe in DEVINSTALL_WIN32";
    }
    folder_ = scratchDirectory() + L"\\shipped";
    CreateDirectoryW(folder_.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(fromUnixPath(win32).c_str(), program().c_str(), FALSE));
    // A malformed command line ends at once with 1, handing nothing over: whether 32-bit
    // programs start here at all.
    try {
      ASSERT_EQ(runProgram(program(), L"devinstall").exitCode, 1u);
    } catch (const std::runtime_error& e) {
      GTEST_SKIP() << "this machine does not start 32-bit programs: " << e.what();
    }
  }

  std::wstring program() const { return folder_ + L"\\devinstall.exe"; }
  std::wstring companion() const { return folder_ + L"\\devinstall64.exe"; }
  void placeCompanion() const { ASSERT_TRUE(CopyFileW(devinstallPath().c_str(), companion().c_str(), FALSE)); }

  ProgramRun run(const std::vector<std::wstring>& arguments) const { return checkedRun(program(), arguments); }

  std::wstring folder_;
};

// Where the INF's file lands tells which process installed it: a 32-bit one copies into
// SysWOW64, whose place a 32-bit process sees as the system directory.
TestInf infWithDriverFile() {
  TestInf inf;
  inf.driverFile = L"vextrahandover.sys";
  return inf;
}

void expectInstalledBy(bool nativeProcess, const TestInf& inf) {
  const auto devices = presentDevicesWithHardwareId(kHardwareId);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(driverKeyText(devices[0].instanceId, L"InfSection"), L"Inst");
  const std::wstring native = nativeDriversFolder() + L"\\" + inf.driverFile;
  const std::wstring wow64 = wow64DriversFolder() + L"\\" + inf.driverFile;
  EXPECT_EQ(fileExists(native), nativeProcess) << "installed by a 64-bit process";
  EXPECT_EQ(fileExists(wow64), !nativeProcess) << "installed by a 32-bit process";
  DeleteFileW(native.c_str());
  DeleteFileW(wow64.c_str());
}

TEST_F(HandOver, InstallRunsThroughTheCompanion) {
  placeCompanion();
  const TestInf inf = infWithDriverFile();
  ASSERT_FALSE(wow64DriversFolder().empty()) << "the prefix is not a 64-bit one";
  EXPECT_EQ(run({writeInf(L"handover.inf", inf), kHardwareId}).exitCode, 0u);
  expectInstalledBy(true, inf);
}

TEST_F(HandOver, StatusArgumentsCrossWhole) {
  // A hardware ID and a key name that survive the hand-over only when quoted right: spaces,
  // quotes, and a backslash before the closing quote.
  placeCompanion();
  const std::wstring id = L"VextraTest\\Odd \"quoted\" id\\";
  const std::wstring key = L"Software\\VextraTest\\Status \"quoted\"";
  createRootDevice({id});
  createUserKey(key);
  EXPECT_EQ(run({L"-status", L"'" + id, key}).exitCode, 0u);
  EXPECT_EQ(userValueNames(key), std::vector<std::wstring>{L"FoundProblem"});
}

TEST_F(HandOver, WithoutAStartableCompanionItWorksItself) {
  // Wine lets a 32-bit process install devices, so the fallback is seen to work here.
  const TestInf inf = infWithDriverFile();
  const std::wstring infPath = writeInf(L"handover.inf", inf);
  const struct {
    const char* what;
    std::function<void()> place;
  } companions[] = {
      {"no companion", [] {}},
      {"not a program", [this] { writeFile(companion(), "not a program"); }},
      // It would hand over in turn, without end.
      {"a 32-bit program", [this] { ASSERT_TRUE(CopyFileW(program().c_str(), companion().c_str(), FALSE)); }},
  };
  for (const auto& c : companions) {
    SCOPED_TRACE(c.what);
    c.place();
    EXPECT_EQ(run({infPath, kHardwareId}).exitCode, 0u);
    expectInstalledBy(false, inf);
  }
}

}  // namespace
