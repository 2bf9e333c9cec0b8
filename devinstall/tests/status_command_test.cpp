#include "memory_fixture.h"
#include "status_command.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using namespace devinstall;
using namespace devinstall::fixture;

const std::wstring kKey = L"Software\\Vextra\\Status";
using Values = std::set<std::wstring>;

class StatusCommand : public ::testing::Test {
 protected:
  StatusCommand() {
    system.registryKeys.insert(kKey);
    system.setupClasses[L"System"] = ClassGuid{0x7d};
    system.setupClasses[L"MEDIA"] = ClassGuid{0x6c};
    system.setupClasses[L"Empty"] = ClassGuid{0xee};
  }

  Values status(const std::wstring& pattern) {
    system.registryValues.clear();
    runStatus(system, pattern, kKey);
    EXPECT_EQ(system.setsOpen, 0) << "the set is released";
    return system.registryValues[kKey];
  }

  MemoryDeviceSystem system;
};

TEST_F(StatusCommand, AnswersForTheMatchingDevices) {
  const struct {
    const char* what;
    std::vector<NodeStatus> devices;
    Values values;
  } cases[] = {
      {"none", {}, {L"NotFound"}},
      {"one working", {working()}, {L"FoundOK"}},
      {"one disabled", {disabled()}, {L"FoundProblem"}},
      {"no driver, no problem", {withoutDriver()}, {L"FoundProblem"}},
      {"a problem", {withProblem(kProblemFailedInstall)}, {L"FoundProblem"}},
      {"loaded with a private problem",
       {{cm::kSuccess, cm::kDriverLoaded | cm::kPrivateProblem, 0}},
       {L"FoundProblem", L"FoundOK"}},
      {"one working, one disabled", {working(), disabled()}, {L"FoundProblem", L"FoundOK"}},
      {"node gone", {unreadable(cm::kNoSuchDevnode)}, {L"FoundProblem"}},
      {"value gone", {unreadable(cm::kNoSuchValue)}, {L"FoundProblem"}},
      {"status fails otherwise: ignored", {unreadable(0x13)}, {L"NotFound"}},
      {"ignored beside a working one", {unreadable(0x13), working()}, {L"FoundOK"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    system.devices.clear();
    system.add(rootDevice(L"ROOT\\OTHER\\0000", L"ROOT\\Other", disabled()));
    for (std::size_t i = 0; i < c.devices.size(); ++i) {
      system.add(rootDevice(L"ROOT\\MEDIA\\000" + std::to_wstring(i), kHardwareId, c.devices[i]));
    }
    EXPECT_EQ(status(kHardwareId), c.values);
  }
}

TEST_F(StatusCommand, EnumerationFailureIsError) {
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working()));
  system.fail.deviceLists = true;
  EXPECT_EQ(status(kHardwareId), Values{L"Error"});
  EXPECT_EQ(status(L"@ROOT\\MEDIA\\0000"), Values{L"Error"});
  system.fail = {};
  system.fail.classLookup = true;
  EXPECT_EQ(status(L"=System"), Values{L"Error"});
}

TEST_F(StatusCommand, OnlyAddsValuesToAnExistingKey) {
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working()));
  system.registryValues[kKey] = {L"NotFound", L"Other"};
  runStatus(system, kHardwareId, kKey);
  EXPECT_EQ(system.registryValues[kKey], (Values{L"NotFound", L"Other", L"FoundOK"}));

  runStatus(system, kHardwareId, L"Software\\Vextra\\Missing");
  EXPECT_FALSE(system.registryValues.contains(L"Software\\Vextra\\Missing"));

  // Empty, it would name HKEY_CURRENT_USER itself, which opens.
  runStatus(system, kHardwareId, L"");
  EXPECT_FALSE(system.registryValues.contains(L""));
}

TEST_F(StatusCommand, PatternFormsSelectTheirDevices) {
  // Each device works, so a selection answers "FoundOK" and none "NotFound".
  MemoryDevice audio = rootDevice(L"ROOT\\MEDIA\\0000", L"ROOT\\VextraAudio", working());
  audio.setupClass = L"MEDIA";
  audio.compatibleIds = {L"VEXTRA\\AudioCompat"};
  system.add(std::move(audio));
  system.add(rootDevice(L"PCI\\VEN_8086&DEV_1234\\3&11", L"PCI\\VEN_8086&DEV_1234", working()));
  system.add(rootDevice(L"ROOT\\SYSTEM\\0000", L"A*B", working()));
  system.add(rootDevice(system.rootInstanceId, L"HTREE\\ROOT", working()));
  MemoryDevice absent = rootDevice(L"ROOT\\SYSTEM\\0001", L"ROOT\\Absent", disabled());
  absent.present = false;
  system.add(std::move(absent));

  const Values found{L"FoundOK"};
  const Values notFound{L"NotFound"};
  const struct {
    const wchar_t* pattern;
    Values values;
  } cases[] = {
      {L"*", found},
      {L"ROOT\\*", found},
      {L"root\\vextraaudio", found},
      {L"ROOT\\Vextra", notFound},
      {L"*AudioCompat", found},  // a compatible ID
      {L"PCI\\*&DEV_1234", found},
      {L"USB\\*", notFound},
      {L"'A*B", found},
      {L"'a*b", found},
      {L"'A*", notFound},
      {L"'ROOT\\*", notFound},
      {L"@ROOT\\MEDIA\\0000", found},
      {L"@root\\media\\0000", found},
      {L"@ROOT\\MEDIA\\0009", notFound},
      {L"@ROOT\\SYSTEM\\0001", {L"FoundProblem"}},  // opened although not present
      {L"@", notFound},  // not the root of the device tree
      {L"@ROOT\\*", found},
      {L"@*\\3&11", found},
      {L"@ROOT\\SYSTEM\\*1", notFound},  // the absent device is not among the present ones
      {L"=MEDIA", found},
      {L"=media", found},
      {L"=Empty", notFound},
      {L"=NoSuchClass", notFound},
      {L"ROOT\\Absent", notFound},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(status(c.pattern), c.values) << testing::PrintToString(std::wstring(c.pattern));
  }
}

TEST_F(StatusCommand, ClassPatternSelectsOnlyThatClass) {
  system.add(rootDevice(L"ROOT\\SYSTEM\\0000", L"ROOT\\Sys", disabled()));
  MemoryDevice audio = rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working());
  audio.setupClass = L"MEDIA";
  system.add(std::move(audio));
  EXPECT_EQ(status(L"=MEDIA"), Values{L"FoundOK"});
  EXPECT_EQ(status(L"=System"), Values{L"FoundProblem"});
}

TEST_F(StatusCommand, UnreadableInstanceIdsDoNotMatch) {
  system.add(rootDevice(L"ROOT\\MEDIA\\0000", kHardwareId, working())).instanceIdFails = true;
  EXPECT_EQ(status(L"@ROOT\\*"), Values{L"NotFound"});
  EXPECT_EQ(status(L"@*"), Values{L"NotFound"});
}

}  // namespace
