// What the Win32 objects add to the contract suite: Windows names, page-granular sections,
// views only of the access a section was opened for, and a wait call that fails.
#include "named_objects.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "host_side.h"

namespace mivra::foreground_detection::platform::test {
namespace {

TEST(Win32NamedObjects, RefuseNamesWindowsRefuses) {
  const HostEvent event(true);
  const struct {
    const char* what;
    std::string name;
  } cases[] = {
      {"a path into a missing directory", "nowhere\\" + event.name()},
      {"longer than MAX_PATH", event.name() + std::string(MAX_PATH, 'n')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(openEvent(c.name.c_str(), EventAccess::waitAndModify));
    EXPECT_FALSE(openSection(c.name.c_str(), SectionAccess::read));
  }
}

TEST(Win32NamedObjects, SectionsArePageGranularAndViewsKeepTheOpenedAccess) {
  const struct {
    const char* what;
    std::size_t sectionBytes;
    SectionAccess opened;
    bool write;
    bool maps;
  } cases[] = {
      {"a view ending in the section's last page", 0x23FFF, SectionAccess::read, false, true},
      {"a read view of a section opened for writing", 0x9000, SectionAccess::write, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HostSection host(c.sectionBytes);
    const Section section = openSection(host.name().c_str(), c.opened);
    ASSERT_TRUE(section);
    const std::size_t length = (c.sectionBytes + 0xFFF) & ~std::size_t{0xFFF};
    const bool mapped = c.write ? static_cast<bool>(mapWriteView(section, length))
                                : static_cast<bool>(mapReadView(section, length));
    EXPECT_EQ(mapped, c.maps);
  }
}

TEST(Win32NamedObjects, AFailingWaitCallIsTheFailedResult) {
  HostSection host(4096);
  const Section section = openSection(host.name().c_str(), SectionAccess::read);
  HANDLE duplicate = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), section.native(), GetCurrentProcess(),
                              &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS));
  // A section handle cannot be waited on, so the call itself fails.
  Event notWaitable(duplicate);
  HostEvent set(true);
  set.set();
  Event opened = openEvent(set.name().c_str(), EventAccess::wait);
  Event* const withSection[] = {&notWaitable, &opened};
  EXPECT_EQ(waitForAny(withSection), std::nullopt);
}

}  // namespace
}  // namespace mivra::foreground_detection::platform::test
