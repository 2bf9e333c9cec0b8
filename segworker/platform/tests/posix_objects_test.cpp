// What the POSIX objects add to the contract suite: the name and layout rules another host
// must follow, the mappings' protections, the host side's layout, and a failing wait call.
#include "named_objects.h"
#include "posix/host_objects.h"
#include "posix_support.h"

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>

#include <fstream>
#include <sstream>
#include <system_error>

namespace {

using namespace mivra::foreground_detection::platform;
using posix::ObjectName;
using segtest::eventBytes;

constexpr std::uint32_t kMagic = 0x56455856;

struct OpenCase {
  const char* what;
  std::string suffix;                 // appended to a fresh name; the object gets the result
  std::optional<std::vector<unsigned char>> contents;  // none: no object is made
  std::size_t size;                   // object size, at least the contents
  bool opensAsEvent;
  bool opensAsSection;
};

TEST(NamedObjectOpen, FollowsTheNameAndLayoutContract) {
  const std::vector<OpenCase> cases = {
      {"no object of that name", "", std::nullopt, 0, false, false},
      {"contract event, auto reset", "", eventBytes(kMagic, 0, 0), 16, true, true},
      {"contract event, manual, set, in a larger object", "", eventBytes(kMagic, 1, 1), 4096,
       true, true},
      {"zeros: a section, not an event", "", std::vector<unsigned char>(16), 16, false, true},
      {"magic in the other byte order", "", eventBytes(0x56584556, 0, 0), 16, false, true},
      {"magic but shorter than four words", "", {{'V', 'X', 'E', 'V', 0, 0, 0, 0, 0, 0, 0, 0}},
       12, false, true},
      {"empty object", "", std::vector<unsigned char>{}, 0, false, true},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ObjectName name(segtest::uniqueName("open") + c.suffix);
    if (c.contents) ASSERT_TRUE(segtest::writeRawObject(name.str(), *c.contents, c.size));
    EXPECT_EQ(static_cast<bool>(openEvent(name.c_str(), EventAccess::waitAndModify)),
              c.opensAsEvent);
    EXPECT_EQ(static_cast<bool>(openSection(name.c_str(), SectionAccess::read)),
              c.opensAsSection);
  }
}

TEST(NamedObjectOpen, RefusesNamesThatAreNotOneShmComponent) {
  // The longest valid name is made and opened, so the refusals below are for the name alone.
  const std::string longest = segtest::uniqueName("long") + std::string(300, 'n');
  const ObjectName longestName(longest.substr(0, 255));
  ASSERT_TRUE(segtest::writeRawObject(longestName.str(), eventBytes(kMagic, 0, 0)));
  EXPECT_TRUE(openEvent(longestName.c_str(), EventAccess::wait));

  const struct {
    const char* what;
    std::string name;
  } refused[] = {
      {"one byte over NAME_MAX", longestName.str() + "x"},
      {"empty", ""},
      {"leading slash", "/" + longestName.str()},
      {"inner slash", "a/" + longestName.str().substr(2)},
      {"dot", "."},
      {"dot dot", ".."},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(openEvent(c.name.c_str(), EventAccess::wait));
    EXPECT_FALSE(openSection(c.name.c_str(), SectionAccess::read));
    EXPECT_THROW(posix::createSection(c.name, 16), std::system_error);
  }
  EXPECT_FALSE(openEvent(nullptr, EventAccess::wait));
}

struct ViewCase {
  std::size_t objectSize;
  SectionAccess opened;
  bool write;
  std::size_t length;
  bool maps;
};

TEST(NamedObjectOpen, MapsViewsOnlyWithinTheObjectAndItsAccess) {
  const ViewCase cases[] = {
      {147456, SectionAccess::read, false, 147456, true},
      {147455, SectionAccess::read, false, 147456, false},
      {36864, SectionAccess::write, true, 36864, true},
      {36863, SectionAccess::write, true, 36864, false},
      {36864, SectionAccess::write, true, 100, true},
      // Unlike on Windows, a section opened for writing also gives read views.
      {36864, SectionAccess::write, false, 36864, true},
      {36864, SectionAccess::read, true, 36864, false},
      {4096, SectionAccess::read, false, 0, false},
      {0, SectionAccess::read, false, 1, false},
  };
  for (const ViewCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "object " << c.objectSize << ", view " << c.length
                                    << (c.write ? " write" : " read") << " of a section opened "
                                    << (c.opened == SectionAccess::read ? "read" : "write"));
    const ObjectName name(segtest::uniqueName("view"));
    ASSERT_TRUE(segtest::writeRawObject(name.str(), {}, c.objectSize));
    const Section section = openSection(name.c_str(), c.opened);
    ASSERT_TRUE(section);
    const bool mapped = c.write ? static_cast<bool>(mapWriteView(section, c.length))
                                : static_cast<bool>(mapReadView(section, c.length));
    EXPECT_EQ(mapped, c.maps);
  }
}

// The permissions column of this process's mapping at `address`, e.g. "rw-s".
std::string mappingPermissions(const void* address) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    std::istringstream fields(line);
    std::uintptr_t start = 0;
    char dash = 0;
    std::uintptr_t end = 0;
    std::string permissions;
    fields >> std::hex >> start >> dash >> end >> permissions;
    if (start == reinterpret_cast<std::uintptr_t>(address)) return permissions;
  }
  return "unmapped";
}

TEST(NamedObjectOpen, ReadViewsAreReadOnlyWriteViewsSharedAndViewsUnmapWhenDropped) {
  const ObjectName name(segtest::uniqueName("prot"));
  const Section section = posix::createSection(name.str(), 8192);
  const void* readAt = nullptr;
  const void* writeAt = nullptr;
  {
    const ReadView read = mapReadView(section, 8192);
    const WriteView write = mapWriteView(section, 4096);
    readAt = read.data();
    writeAt = write.data();
    EXPECT_EQ(mappingPermissions(readAt), "r--s");
    EXPECT_EQ(mappingPermissions(writeAt), "rw-s");
  }
  EXPECT_EQ(mappingPermissions(readAt), "unmapped");
  EXPECT_EQ(mappingPermissions(writeAt), "unmapped");
}

TEST(HostObjects, WriteExactlyTheContractLayout) {
  const ObjectName manual(segtest::uniqueName("manual"));
  const ObjectName automatic(segtest::uniqueName("auto"));
  const ObjectName section(segtest::uniqueName("section"));
  Event manualEvent = posix::createEvent(manual.str(), posix::EventReset::manual);
  const Event autoEvent = posix::createEvent(automatic.str(), posix::EventReset::automatic);
  const Section created = posix::createSection(section.str(), 147456);

  EXPECT_EQ(segtest::readRawObject(manual.str()), eventBytes(kMagic, 1, 0));
  EXPECT_EQ(segtest::readRawObject(automatic.str()), eventBytes(kMagic, 0, 0));
  EXPECT_EQ(segtest::readRawObject(section.str()), std::vector<unsigned char>(147456));
  manualEvent.set();
  EXPECT_EQ(segtest::readRawObject(manual.str()), eventBytes(kMagic, 1, 1));
  manualEvent.reset();
  EXPECT_EQ(segtest::readRawObject(manual.str()), eventBytes(kMagic, 1, 0));
}

TEST(HostObjects, NeverReuseATakenNameAndUnlinkLeavesOpenObjectsUsable) {
  const ObjectName name(segtest::uniqueName("taken"));
  Event event = posix::createEvent(name.str(), posix::EventReset::manual);
  EXPECT_THROW(posix::createEvent(name.str(), posix::EventReset::manual), std::system_error);
  EXPECT_THROW(posix::createSection(name.str(), 16), std::system_error);

  Event opened = openEvent(name.c_str(), EventAccess::waitAndModify);
  ASSERT_TRUE(opened);
  EXPECT_TRUE(posix::unlinkObject(name.str()));
  EXPECT_FALSE(posix::unlinkObject(name.str()));
  EXPECT_FALSE(openEvent(name.c_str(), EventAccess::wait));
  event.set();
  Event* const one[] = {&opened};
  EXPECT_EQ(waitForAny(one), 0u);
}

// Makes futex_waitv fail with `error` in this process from now on.
bool failFutexWaitv(int error) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, segtest::kFutexWaitv, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (error & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TEST(EventWait, AFailingWaitCallIsTheFailedResultNotASpin) {
  // ENOSYS is what a kernel before 5.16 answers.
  for (int error : {ENOSYS, EINVAL, EFAULT, EPERM}) {
    SCOPED_TRACE(testing::Message() << "errno " << error);
    const ObjectName stopName(segtest::uniqueName("stop")), frameName(segtest::uniqueName("frame"));
    const Event stop = posix::createEvent(stopName.str(), posix::EventReset::manual);
    const Event frame = posix::createEvent(frameName.str(), posix::EventReset::automatic);
    segtest::Child child([&] {
      if (!failFutexWaitv(error)) return 3;
      Event openedStop = openEvent(stopName.c_str(), EventAccess::wait);
      Event openedFrame = openEvent(frameName.c_str(), EventAccess::waitAndModify);
      Event* const pair[] = {&openedStop, &openedFrame};
      return waitForAny(pair) == std::nullopt ? 0 : 1;
    });
    EXPECT_EQ(child.exitCode(), 0);
  }
}

}  // namespace
