#include "command_line.h"
#include "memory_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace devinstall;
using namespace devinstall::fixture;

TEST(CommandLine, TooFewElementsEndWithOneAndDoNothing) {
  const std::vector<std::vector<std::wstring>> malformed = {
      {},
      {L"devinstall"},
      {L"devinstall", kInfPath},
      {L"devinstall", L"-status"},
      {L"devinstall", L"-status", L"ROOT\\*"},
      {L"devinstall", L"-", L"*"},
  };
  for (const auto& arguments : malformed) {
    MemoryDeviceSystem system;
    system.infs[kInfPath] = infOfVersion(L"01/01/2024,1.0.0.7");
    system.registryKeys.insert(L"Software\\Vextra");
    EXPECT_EQ(runCommandLine(arguments, system), kExitMalformed) << arguments.size() << " elements";
    EXPECT_TRUE(system.registrations.empty());
    EXPECT_TRUE(system.registryValues.empty());
    EXPECT_TRUE(system.profileFilesRead.empty());
  }
}

TEST(CommandLine, FirstArgumentChoosesTheCommand) {
  MemoryDeviceSystem system;
  system.infs[kInfPath] = infOfVersion(L"01/01/2024,1.0.0.7");
  system.registryKeys.insert(L"Software\\Vextra");

  // Only the first character of the first argument is looked at; further elements are ignored.
  EXPECT_EQ(runCommandLine({L"devinstall", L"-whatever", L"NOSUCH\\ID", L"Software\\Vextra", L"extra"}, system),
            kExitDone);
  EXPECT_EQ(system.registryValues[L"Software\\Vextra"], std::set<std::wstring>{L"NotFound"});
  EXPECT_TRUE(system.registrations.empty());

  EXPECT_EQ(runCommandLine({L"devinstall", kInfPath, kHardwareId, L"extra"}, system), kExitDone);
  ASSERT_EQ(system.registrations.size(), 1u);
  EXPECT_EQ(system.driverUpdates.size(), 1u);
}

TEST(CommandLine, FailuresStillEndWithZero) {
  MemoryDeviceSystem system;
  system.fail.deviceLists = true;
  system.fail.registerDevice = true;
  EXPECT_EQ(runCommandLine({L"devinstall", L"C:\\missing.inf", kHardwareId}, system), kExitDone);
  EXPECT_EQ(runCommandLine({L"devinstall", L"-s", L"*", L"Software\\Missing"}, system), kExitDone);
}

}  // namespace
