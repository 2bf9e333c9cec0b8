// Memory exhaustion at the link's public methods: what cannot be had is answered with an
// HRESULT, never with an exception. This program replaces operator new so that a test can
// make every allocation of its own thread fail.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdlib>
#include <new>

#include "camera_link.h"
#include "camera_probe.h"
#include "test_picture.h"

namespace {

thread_local bool g_refuseAllocations = false;

// Allocations of this thread fail while it lives.
class NoMemory {
 public:
  NoMemory() { g_refuseAllocations = true; }
  ~NoMemory() { g_refuseAllocations = false; }
  NoMemory(const NoMemory&) = delete;
  NoMemory& operator=(const NoMemory&) = delete;
};

}  // namespace

void* operator new(std::size_t bytes) {
  if (!g_refuseAllocations) {
    if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
  }
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace pixora {
namespace {

using kernels::PixelType;

class CameraLinkMemoryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ASSERT_EQ(RegisterCameraDevices(), S_OK);
  }
  static void TearDownTestSuite() {
    UnregisterCameraDevices();
    CoUninitialize();
  }
  void SetUp() override {
    probe_.Reset();
    ASSERT_TRUE(link_.HasDevice());
  }

  CameraProbe probe_;
  CCameraLink link_;
};

TEST_F(CameraLinkMemoryTest, ARequestThatCannotBeKeptAnswersOutOfMemory) {
  testing::TempPath kept(L"vextra-memory-kept.jpg"), refused(L"vextra-memory-refused.jpg");
  ASSERT_EQ(link_.RequestSnapshot(kept.str().c_str()), S_OK);
  {
    NoMemory none;
    EXPECT_EQ(link_.RequestSnapshot(refused.str().c_str()), E_OUTOFMEMORY);
  }
  // The request before it stands.
  const testing::Picture picture = testing::QuadrantPicture(32, 16);
  const testing::Bytes frame = testing::FrameOf(picture, PixelType::RGB24, true);
  ASSERT_EQ(link_.DeliverFrame(frame.data(), 32, 16, 0, 0), S_OK);
  EXPECT_TRUE(kept.Exists());
  EXPECT_FALSE(refused.Exists());
}

// Serving a pending snapshot takes its path over without allocating: a frame delivered
// while memory is short still goes out.
TEST_F(CameraLinkMemoryTest, DeliveryWithASnapshotPendingAllocatesNothingThatThrows) {
  testing::TempPath file(L"vextra-memory-delivery.jpg");
  const testing::Bytes frame(32 * 16 * 4, 0x40);
  ASSERT_EQ(link_.DeliverFrame(frame.data(), 32, 16, 0, 1), S_OK);  // the packet buffer exists
  ASSERT_EQ(link_.RequestSnapshot(file.str().c_str()), S_OK);
  HRESULT hr = E_FAIL;
  {
    NoMemory none;
    hr = link_.DeliverFrame(frame.data(), 32, 16, 0, 1);
  }
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(probe_.FrameCount(), 2u);
}

}  // namespace
}  // namespace pixora
