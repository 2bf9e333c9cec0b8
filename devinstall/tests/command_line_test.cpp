#include "command_line.h"
#include "memory_fixture.h"
#include "quoted_command_line.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

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

// Under WOW64 the 64-bit program beside this one does the work, and its exit code is the
// answer; this one works itself only when that one does not start.
TEST(CommandLine, UnderWow64TheNativeCompanionDoesTheWork) {
  const std::vector<std::wstring> install = {L"devinstall", kInfPath, kHardwareId};
  const std::vector<std::wstring> status = {L"devinstall", L"-s", kHardwareId, L"Software\\Vextra"};
  const struct {
    const char* what;
    bool wow64;
    std::optional<std::uint32_t> companion;
    std::vector<std::wstring> arguments;
    int exitCode;
    bool handedOver;  // the companion was asked to run
    bool workedHere;  // this program did the command itself
  } cases[] = {
      {"native install", false, 0, install, kExitDone, false, true},
      {"native status", false, 0, status, kExitDone, false, true},
      {"WOW64 install", true, 0, install, kExitDone, true, false},
      {"WOW64 status", true, 0, status, kExitDone, true, false},
      {"WOW64, the companion's own exit code", true, 0xC0000005u, install, static_cast<int>(0xC0000005u), true, false},
      {"WOW64, no companion: install here", true, std::nullopt, install, kExitDone, true, true},
      {"WOW64, no companion: status here", true, std::nullopt, status, kExitDone, true, true},
      {"WOW64, malformed: nothing started", true, 0, {L"devinstall", L"-s", L"*"}, kExitMalformed, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryDeviceSystem system;
    system.infs[kInfPath] = infOfVersion(L"01/01/2024,1.0.0.7");
    system.registryKeys.insert(L"Software\\Vextra");
    system.wow64 = c.wow64;
    system.companionExitCode = c.companion;

    EXPECT_EQ(runCommandLine(c.arguments, system), c.exitCode);

    if (c.handedOver) {
      EXPECT_EQ(system.companionRuns, std::vector<std::vector<std::wstring>>{c.arguments}) << "the whole command line";
    } else {
      EXPECT_TRUE(system.companionRuns.empty());
    }
    const bool worked = !system.registrations.empty() || !system.registryValues.empty();
    EXPECT_EQ(worked, c.workedHere);
    if (!c.workedHere) {
      EXPECT_TRUE(system.profileFilesRead.empty()) << "not even a look at the devices";
    }
  }
}

TEST(QuotedCommandLine, SplitsBackIntoTheSameElements) {
  // The platform's rules: 2n backslashes before a quote give n and end or begin a quoted
  // part, 2n+1 give n and a literal quote; backslashes elsewhere are literal.
  const struct {
    std::wstring argument;
    std::wstring quoted;
  } cases[] = {
      {L"plain", L"\"plain\""},
      {L"", L"\"\""},
      {L"with space", L"\"with space\""},
      {L"tab\there", L"\"tab\there\""},
      {L"C:\\drivers\\vextra.inf", L"\"C:\\drivers\\vextra.inf\""},
      {L"a\"b", L"\"a\\\"b\""},
      {L"a\\\"b", L"\"a\\\\\\\"b\""},
      {L"ends\\", L"\"ends\\\\\""},
      {L"ends\\\\", L"\"ends\\\\\\\\\""},
      {L"\\\\server\\share\\", L"\"\\\\server\\share\\\\\""},
      {L"\"", L"\"\\\"\""},
      {L"'A*B", L"\"'A*B\""},
  };
  const std::wstring program = L"C:\\Program Files\\Vextra\\devinstall64.exe";
  for (const auto& c : cases) {
    EXPECT_EQ(quotedCommandLine({program, c.argument}), L"\"" + program + L"\" " + c.quoted)
        << testing::PrintToString(c.argument);
  }
  EXPECT_EQ(quotedCommandLine({program}), L"\"" + program + L"\"");
  EXPECT_EQ(quotedCommandLine({program, L"-s", L"a b", L""}), L"\"" + program + L"\" \"-s\" \"a b\" \"\"");

#ifdef _WIN32
  // And through the platform's own splitter.
  std::vector<std::wstring> elements{program};
  for (const auto& c : cases) elements.push_back(c.argument);
  int count = 0;
  wchar_t** split = CommandLineToArgvW(quotedCommandLine(elements).c_str(), &count);
  ASSERT_NE(split, nullptr);
  EXPECT_EQ(std::vector<std::wstring>(split, split + count), elements);
  LocalFree(split);
#endif
}

}  // namespace
