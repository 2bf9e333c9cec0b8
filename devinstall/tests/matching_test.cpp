#include "driver_version.h"
#include "hardware_id_pattern.h"
#include "text.h"
#include "wildcard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace devinstall;

TEST(Wildcard, Table) {
  const struct {
    const wchar_t* pattern;
    const wchar_t* text;
    bool matches;
  } cases[] = {
      // The installer's own examples.
      {L"*AUDIO*", L"root\\audio_device", true},
      {L"ab*cd*ef", L"abXcdYcdZef0", false},  // the last segment must end the text
      {L"a*", L"A", true},
      // Without a star: the whole text, ignoring case.
      {L"ROOT\\VextraAudio", L"root\\vextraaudio", true},
      {L"ROOT\\Vextra", L"ROOT\\VextraAudio", false},
      {L"", L"", true},
      // Prefix and suffix.
      {L"ROOT\\*", L"root\\winebus", true},
      {L"ROOT\\*", L"ROOT", false},
      {L"*\\winebus", L"ROOT\\WINEBUS", true},
      {L"*bus", L"bu", false},
      // Repeated and trailing stars.
      {L"*", L"", true},
      {L"**", L"anything", true},
      {L"a**b", L"ab", true},
      {L"a***", L"a", true},
      {L"*a*", L"b", false},
      {L"a*b*", L"aXbY", true},
      {L"a*b**c*", L"a-b-c", true},
      // The last segment may not reuse what the prefix or a middle segment took.
      {L"ab*b", L"ab", false},
      {L"a*b*b", L"ab", false},
      {L"a*b*b", L"abb", true},
      {L"a*a", L"a", false},
      // Middle segments at their first place, after a false start.
      {L"*abc*", L"ababc", true},
      {L"*aab*", L"aaab", true},
      {L"x*ab*cd", L"xaabXcd", true},
      {L"*b*c", L"abcbc", true},
      // Case is folded for the first-character search too.
      {L"*VEN_*&DEV_*", L"pci\\ven_8086&dev_1234", true},
      {L"*Z*", L"abc", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(matchesWildcard(c.pattern, c.text), c.matches) << "pattern " << testing::PrintToString(std::wstring(c.pattern))
                                                            << " text " << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(HardwareIdPattern, FormsSelectTheirDevices) {
  using Kind = HardwareIdPattern::Kind;
  const struct {
    const wchar_t* argument;
    Kind kind;
    const wchar_t* text;
  } cases[] = {
      {L"*", Kind::kEveryDevice, L"*"},
      {L"**", Kind::kId, L"**"},
      {L"@ROOT\\SYSTEM\\0000", Kind::kInstanceId, L"ROOT\\SYSTEM\\0000"},
      {L"@ROOT\\*", Kind::kInstanceIdWildcard, L"ROOT\\*"},
      {L"@", Kind::kInstanceId, L""},
      {L"'A*B", Kind::kLiteralId, L"A*B"},
      {L"=Media", Kind::kSetupClass, L"Media"},
      {L"ROOT\\*", Kind::kId, L"ROOT\\*"},
      {L"", Kind::kId, L""},
  };
  for (const auto& c : cases) {
    const auto pattern = HardwareIdPattern::parse(c.argument);
    EXPECT_EQ(pattern.kind(), c.kind) << testing::PrintToString(std::wstring(c.argument));
    EXPECT_EQ(pattern.text(), c.text);
  }

  EXPECT_TRUE(HardwareIdPattern::parse(L"'A*B").matches(L"a*b"));
  EXPECT_FALSE(HardwareIdPattern::parse(L"'A*B").matches(L"AxB"));
  EXPECT_TRUE(HardwareIdPattern::parse(L"A*B").matches(L"AxB"));
  EXPECT_TRUE(HardwareIdPattern::literal(L"*").matches(L"*"));
  EXPECT_FALSE(HardwareIdPattern::literal(L"*").matches(L"ROOT\\X"));
}

TEST(StringList, SplitsAtZerosAndStopsAtTheEmptyString) {
  using namespace std::string_view_literals;
  const struct {
    std::wstring_view list;
    std::vector<std::wstring> strings;
  } cases[] = {
      {L"A\0B\0\0"sv, {L"A", L"B"}},
      {L"A\0\0B\0\0"sv, {L"A"}},
      {L"\0\0"sv, {}},
      {L""sv, {}},
      {L"A\0B"sv, {L"A", L"B"}},  // no final zeros
      {L"ROOT\\VextraAudio\0\0"sv, {L"ROOT\\VextraAudio"}},
  };
  for (const auto& c : cases) EXPECT_EQ(splitStringList(c.list), c.strings);
}

TEST(DriverVer, SevenRunsOfDigits) {
  const struct {
    const wchar_t* value;
    std::uint64_t version;
  } cases[] = {
      {L"01/02/2024,1.0.0.7", versionNumber(1, 0, 0, 7)},
      {L"01/02/2024, 10.2.300.4000", 0x000A0002012C0FA0ULL},
      {L"1/2/2024,1.0", versionNumber(1, 0, 0, 0)},           // missing parts are 0
      {L"01/02/2024", 0},                                     // no version at all
      {L"", 0},
      {L"01/02/2024,1.2.3.4.5.6", versionNumber(1, 2, 3, 4)},  // extra numbers are ignored
      {L"v01-02-2024 ; 1_2_3_4 ; comment", versionNumber(1, 2, 3, 4)},
      {L"01/02/2024,65535.65535.65535.65535", 0xFFFFFFFFFFFFFFFFULL},
      // Parts of 65536 and more carry into the next part, in 64-bit arithmetic.
      {L"01/02/2024,0.0.1.65536", versionNumber(0, 0, 2, 0)},
      {L"01/02/2024,99999999999999999999999.0.0.1", versionNumber(UINT64_MAX, 0, 0, 1)},
      // 2^64 holds the largest value, not 0 as wrapping around would: the low word shows it.
      {L"01/02/2024,1.0.0.18446744073709551616", 0x0000FFFFFFFFFFFFULL},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(driverVerNumber(c.value), c.version) << testing::PrintToString(std::wstring(c.value));
  }
  const auto numbers = parseDriverVer(L"12/31/2023,1.2.3.4");
  EXPECT_EQ(numbers, (std::array<std::uint64_t, 7>{12, 31, 2023, 1, 2, 3, 4}));
}

TEST(DriverVer, VersionNumberIsTheFormTheDriverNodesUse) {
  EXPECT_EQ(versionNumber(1, 0, 0, 7), (1ULL << 48) + 7);
  EXPECT_EQ(versionNumber(1, 2, 3, 4), (1ULL << 48) + (2ULL << 32) + (3ULL << 16) + 4);
  EXPECT_GT(versionNumber(1, 0, 0, 7), versionNumber(1, 0, 0, 6));
  EXPECT_GT(versionNumber(2, 0, 0, 0), versionNumber(1, 65535, 65535, 65535));
}

}  // namespace
