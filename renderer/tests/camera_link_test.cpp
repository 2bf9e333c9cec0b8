#include "camera_link.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "camera_probe.h"
#include "fnv1a.h"
#include "pixora_camera_props.h"
#include "reference_turn.h"
#include "rotate.h"
#include "test_picture.h"

namespace pixora {
namespace {

using kernels::PixelType;
using testing::Bytes;

constexpr HRESULT kInjected = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 131 + seed + (i >> 11));
  return b;
}

// The pixels the link should send: the frame itself, or its quarter turn written pixel by
// pixel (the cases have no row filler, so nothing is left unwritten).
Bytes ExpectedPixels(const Bytes& frame, PixelType type, int w, int h, int stride, bool rotate) {
  if (!rotate) return frame;
  return kernels::testing::ReferenceTurn(type, frame, w, h, stride, 0);
}

// A VT_ARRAY | VT_UI1 variant holding bytes, cleared with the object.
class ByteArray {
 public:
  explicit ByteArray(const Bytes& bytes, VARTYPE type = VT_UI1) {
    VariantInit(&v_);
    const ULONG elements = type == VT_UI1 ? static_cast<ULONG>(bytes.size())
                                          : static_cast<ULONG>(bytes.size() / 4);
    v_.vt = VT_ARRAY | type;
    v_.parray = SafeArrayCreateVector(type, 0, elements);
    void* data = nullptr;
    if (v_.parray != nullptr && SUCCEEDED(SafeArrayAccessData(v_.parray, &data))) {
      std::memcpy(data, bytes.data(), type == VT_UI1 ? bytes.size() : elements * 4);
      SafeArrayUnaccessData(v_.parray);
    }
  }
  ~ByteArray() { VariantClear(&v_); }
  ByteArray(const ByteArray&) = delete;
  ByteArray& operator=(const ByteArray&) = delete;
  const VARIANT& get() const { return v_; }

 private:
  VARIANT v_;
};

class ComThread : public ::testing::Environment {
 public:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void TearDown() override { CoUninitialize(); }
};
const auto* const kCom = ::testing::AddGlobalTestEnvironment(new ComThread);

TEST(CameraLinkWithoutDevice, FailsDeliveriesButScreenRegionAnswers) {
  ASSERT_EQ(UnregisterCameraDevices(), S_OK);
  CCameraLink link;
  EXPECT_FALSE(link.HasDevice());
  const Bytes frame(64 * 4 * 4);
  int32_t value = 1;
  EXPECT_EQ(link.DeliverFrame(frame.data(), 64, 4, 0, 1), E_FAIL);
  EXPECT_EQ(link.SetDeviceProperty(PIXORA_PROP_MIRROR, &value, 4), E_FAIL);
  EXPECT_EQ(link.GetDeviceProperty(PIXORA_PROP_FILL_MODE, &value, 4), E_FAIL);
  EXPECT_EQ(link.SelectDeviceByName(L"Pixora Camera"), E_FAIL);
  EXPECT_EQ(link.DeliverScreenRegion(-1, 0, 100, 100), E_INVALIDARG);
  EXPECT_EQ(link.DeliverScreenRegion(0, 0, 100, 100), S_OK);

  const ByteArray array(Bytes(300 * 2));
  EXPECT_EQ(link.DeliverArrayFrame(array.get(), 100, 2), E_FAIL);
}

class CameraLinkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(RegisterCameraDevices(), S_OK); }
  static void TearDownTestSuite() { UnregisterCameraDevices(); }
  void SetUp() override {
    probe_.Reset();
    ASSERT_TRUE(link_.HasDevice());
  }

  FrameRecord LastRecord() {
    const auto records = probe_.LastFrames(1);
    return records.empty() ? FrameRecord{} : records.back();
  }

  CameraProbe probe_;
  CCameraLink link_;
};

TEST_F(CameraLinkTest, SelectsByNameOnlyDevicesThatTakeFrames) {
  EXPECT_EQ(link_.SelectDeviceByName(nullptr), E_INVALIDARG);
  EXPECT_EQ(link_.SelectDeviceByName(L"pixora CAMERA"), S_OK);
  EXPECT_EQ(link_.SelectDeviceByName(L"Pixora Camera Lite"), E_INVALIDARG);
  EXPECT_EQ(link_.SelectDeviceByName(L"Pixora"), E_INVALIDARG);
  // The previous device stays selected.
  const Bytes frame(8 * 2 * 4);
  EXPECT_EQ(link_.DeliverFrame(frame.data(), 8, 2, 0, 1), S_OK);
  EXPECT_EQ(probe_.FrameCount(), 1u);
}

TEST_F(CameraLinkTest, SettingsPassThroughWithDeviceResults) {
  OutputFormat format{640, 480, 25};
  EXPECT_EQ(link_.SetDeviceProperty(PIXORA_PROP_OUTPUT_FORMAT, &format, sizeof(format)), S_OK);
  OutputFormat read{};
  EXPECT_EQ(link_.GetDeviceProperty(PIXORA_PROP_OUTPUT_FORMAT, &read, sizeof(read)), S_OK);
  EXPECT_EQ(read.width, 640);
  EXPECT_EQ(read.fps, 25);
  int32_t on = 1, mode = 2;
  EXPECT_EQ(link_.SetDeviceProperty(PIXORA_PROP_MIRROR, &on, 4), S_OK);
  EXPECT_EQ(link_.SetDeviceProperty(PIXORA_PROP_FLIP, &on, 4), S_OK);
  EXPECT_EQ(link_.SetDeviceProperty(PIXORA_PROP_FILL_MODE, &mode, 4), S_OK);
  const CameraSettings s = probe_.Settings();
  EXPECT_EQ(s.mirror, 1);
  EXPECT_EQ(s.flip, 1);
  EXPECT_EQ(s.fillMode, 2);

  probe_.FailNextCall(kInjected);
  EXPECT_EQ(link_.SetDeviceProperty(PIXORA_PROP_MIRROR, &on, 4), kInjected);
  probe_.FailNextCall(kInjected);
  const Bytes frame(16 * 16 * 3);
  EXPECT_EQ(link_.DeliverFrame(frame.data(), 16, 16, 0, 0), kInjected);
}

TEST_F(CameraLinkTest, PacketsCarryTheRotatedGeometryAndPixels) {
  struct Case {
    PixelType type;
    int w, h;
    bool rotate;
    FrameHeader header;
    uint32_t packetBytes;
  };
  using P = PixelType;
  const Case cases[] = {
      {P::RGB24, 640, 480, false, {P::RGB24, 640, 480, 1920}, 16 + 921600},
      {P::RGB24, 640, 480, true, {P::RGB24, 480, 640, 1440}, 16 + 921600},
      {P::RGB24, 640, -480, true, {P::RGB24, 480, -640, 1440}, 16 + 921600},
      {P::RGB32, 33, -7, true, {P::RGB32, 7, -33, 28}, 16 + 924},
      {P::YUY2, 64, 30, true, {P::YUY2, 30, 64, 60}, 16 + 3840},
      {P::NV12, 1280, 720, false, {P::NV12, 1280, 720, 1280}, 16 + 1382400},
      {P::NV12, 1280, 720, true, {P::NV12, 720, 1280, 720}, 16 + 1382400},
  };
  uint8_t seed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.type) << " " << c.w << "x" << c.h << " rotate "
                                      << c.rotate);
    const int stride = c.type == PixelType::RGB24   ? static_cast<int>(kernels::Rgb24RowStep(c.w))
                       : c.type == PixelType::RGB32 ? 4 * c.w
                       : c.type == PixelType::YUY2  ? 2 * c.w
                                                    : c.w;
    const Bytes frame = Pattern(
        static_cast<size_t>(kernels::FrameBytes(c.type, stride, c.h)), ++seed);
    link_.SetRotate(c.rotate);
    ASSERT_EQ(link_.DeliverFrame(frame.data(), c.w, c.h, 0, static_cast<int32_t>(c.type)), S_OK);
    const FrameRecord r = LastRecord();
    EXPECT_EQ(r.header.format, c.header.format);
    EXPECT_EQ(r.header.width, c.header.width);
    EXPECT_EQ(r.header.height, c.header.height);
    EXPECT_EQ(r.header.stride, c.header.stride);
    EXPECT_EQ(r.packetBytes, c.packetBytes);
    const Bytes packet = probe_.LastPacket();
    ASSERT_EQ(packet.size(), c.packetBytes);
    EXPECT_TRUE(Bytes(packet.begin() + 16, packet.end()) ==
                ExpectedPixels(frame, c.type, c.w, c.h, stride, c.rotate));
  }
}

TEST_F(CameraLinkTest, PacketBufferOnlyGrows) {
  const Bytes big(256 * 64 * 4), small(16 * 16 * 4);
  ASSERT_EQ(link_.DeliverFrame(big.data(), 256, 64, 0, 1), S_OK);
  const int32_t capacity = link_.PacketCapacity();
  EXPECT_EQ(capacity, 16 + 256 * 64 * 4);
  ASSERT_EQ(link_.DeliverFrame(small.data(), 16, 16, 0, 1), S_OK);
  EXPECT_EQ(link_.PacketCapacity(), capacity);
  EXPECT_EQ(LastRecord().packetBytes, 16u + 16 * 16 * 4);
  ASSERT_EQ(link_.DeliverFrame(nullptr, 512, 64, 0, 1), S_OK);
  EXPECT_EQ(link_.PacketCapacity(), 16 + 512 * 64 * 4);
}

TEST_F(CameraLinkTest, RefusesWhatNoPacketCanDescribe) {
  const Bytes frame(64);
  struct Case {
    int w, h, format;
    bool rotate;
  };
  const Case cases[] = {
      {4, 4, 7, false},      {4, 4, -1, false},     {0, 4, 1, false},
      {4, 0, 1, false},      {-4, 4, 0, false},     {60000, 60000, 1, false},
      // YUY2 and NV12 rows are top-down only, so such a frame has no quarter turn.
      {4, -2, 2, true},      {4, -2, 3, true},
  };
  for (const Case& c : cases) {
    link_.SetRotate(c.rotate);
    EXPECT_EQ(link_.DeliverFrame(frame.data(), c.w, c.h, 0, c.format), E_INVALIDARG)
        << c.w << "x" << c.h << " format " << c.format << " rotate " << c.rotate;
  }
  EXPECT_EQ(probe_.FrameCount(), 0u);
  EXPECT_EQ(probe_.Settings().calls[PIXORA_PROP_FRAME].setRefused, 0u)
      << "nothing reached the device";
}

TEST_F(CameraLinkTest, ArrayFramesArePadded24BitRows) {
  constexpr int w = 101, h = 3;
  constexpr int stride = 304;  // 3 x 101 = 303 padded to whole 32-bit words
  const Bytes rows = Pattern(stride * h, 77);
  EXPECT_EQ(link_.DeliverArrayFrame(ByteArray(rows, VT_I4).get(), w, h), E_INVALIDARG);
  EXPECT_EQ(link_.DeliverArrayFrame(ByteArray(Bytes(rows.begin(), rows.end() - 1)).get(), w, h),
            S_OK);
  EXPECT_EQ(probe_.FrameCount(), 0u) << "one byte short sends nothing";

  struct Case {
    int h;
    bool rotate;
  };
  for (const Case& c : {Case{h, false}, Case{-h, false}, Case{h, true}}) {
    SCOPED_TRACE(::testing::Message() << "height " << c.h << " rotate " << c.rotate);
    link_.SetRotate(c.rotate);
    ASSERT_EQ(link_.DeliverArrayFrame(ByteArray(rows).get(), w, c.h), S_OK);
    const FrameRecord r = LastRecord();
    const kernels::FrameGeometry g = c.rotate ? kernels::RotatedGeometry(PixelType::RGB24, w, c.h)
                                              : kernels::FrameGeometry{w, c.h, stride};
    EXPECT_EQ(r.header.format, PixelType::RGB24);
    EXPECT_EQ(r.header.width, g.width);
    EXPECT_EQ(r.header.height, g.height);
    EXPECT_EQ(r.header.stride, g.rowStep);
    const Bytes packet = probe_.LastPacket();
    ASSERT_EQ(packet.size(),
              16u + static_cast<size_t>(kernels::FrameBytes(PixelType::RGB24, g.rowStep, g.height)));
    const Bytes expected =
        c.rotate ? kernels::testing::ReferenceTurn(PixelType::RGB24, rows, w, c.h, stride, 0) : rows;
    // The turned rows (3 x 3 = 9 bytes) carry 3 filler bytes that the link does not write.
    for (size_t i = 0; i < expected.size(); ++i) {
      if (c.rotate && i % 12 >= 9) continue;
      ASSERT_EQ(packet[16 + i], expected[i]) << "byte " << i;
    }
  }
}

TEST_F(CameraLinkTest, ScreenRegionGoesAsBottomUp24BitFrame) {
  EXPECT_EQ(link_.DeliverScreenRegion(0, -1, 100, 100), E_INVALIDARG);
  EXPECT_EQ(link_.DeliverScreenRegion(0, 0, 0, 100), E_INVALIDARG);
  EXPECT_EQ(link_.DeliverScreenRegion(0, 0, 100, 0), E_INVALIDARG);
  ASSERT_EQ(link_.DeliverScreenRegion(0, 0, 100, 50), S_OK);
  ASSERT_EQ(probe_.FrameCount(), 1u);
  const FrameRecord r = LastRecord();
  EXPECT_EQ(r.header.format, PixelType::RGB24);
  EXPECT_EQ(r.header.width, 100);
  EXPECT_EQ(r.header.height, 50);
  EXPECT_EQ(r.header.stride, 300);
}

TEST_F(CameraLinkTest, SnapshotServedByNextFrameWithLastNameAndRotation) {
  testing::TempPath first(L"vextra-link-first.jpg"), second(L"vextra-link-second.jpg"),
      cancelled(L"vextra-link-cancelled.jpg");
  const testing::Picture picture = testing::QuadrantPicture(640, 480);
  const Bytes frame = testing::FrameOf(picture, PixelType::RGB24, true);

  EXPECT_EQ(link_.RequestSnapshot(nullptr), E_FAIL);
  EXPECT_EQ(link_.RequestSnapshot(first.str().c_str()), S_OK);
  EXPECT_EQ(link_.RequestSnapshot(second.str().c_str()), S_OK);
  link_.SetRotate(true);
  ASSERT_EQ(link_.DeliverFrame(frame.data(), 640, 480, 0, 0), S_OK);
  EXPECT_FALSE(first.Exists());
  const testing::Picture decoded = testing::DecodeImage(second.str());
  ASSERT_EQ(decoded.width, 480);
  ASSERT_EQ(decoded.height, 640);
  EXPECT_GE(testing::Psnr(decoded, testing::TurnedClockwise(picture)), 30.0);

  link_.RequestSnapshot(cancelled.str().c_str());
  link_.RequestSnapshot(L"");
  ASSERT_EQ(link_.DeliverFrame(frame.data(), 640, 480, 0, 0), S_OK);
  EXPECT_FALSE(cancelled.Exists());
}

TEST_F(CameraLinkTest, SnapshotServedByAnArrayFrame) {
  testing::TempPath file(L"vextra-link-array.jpg");
  const testing::Picture picture = testing::QuadrantPicture(64, 48);
  const Bytes rows = testing::FrameOf(picture, PixelType::RGB24, true);  // padded, bottom-up
  ASSERT_EQ(link_.RequestSnapshot(file.str().c_str()), S_OK);
  ASSERT_EQ(link_.DeliverArrayFrame(ByteArray(rows).get(), 64, 48), S_OK);
  const testing::Picture decoded = testing::DecodeImage(file.str());
  ASSERT_EQ(decoded.width, 64);
  ASSERT_EQ(decoded.height, 48);
  EXPECT_GE(testing::Psnr(decoded, picture), 30.0);
}

// A delivery refused before the device call sends nothing and serves no snapshot: the
// request waits for the next frame that does go out.
TEST_F(CameraLinkTest, SnapshotWaitsOutADeliveryRefusedBeforeTheDevice) {
  testing::TempPath file(L"vextra-link-refused.jpg");
  const testing::Picture picture = testing::QuadrantPicture(64, 48);
  const Bytes yuy2 = testing::FrameOf(picture, PixelType::YUY2, false);
  ASSERT_EQ(link_.RequestSnapshot(file.str().c_str()), S_OK);
  link_.SetRotate(true);
  EXPECT_EQ(link_.DeliverFrame(yuy2.data(), 64, -48, 0, 2), E_INVALIDARG);
  EXPECT_EQ(link_.DeliverFrame(yuy2.data(), 64, 48, 0, 9), E_INVALIDARG);
  EXPECT_FALSE(file.Exists());
  EXPECT_EQ(probe_.FrameCount(), 0u);

  link_.SetRotate(false);
  ASSERT_EQ(link_.DeliverFrame(yuy2.data(), 64, 48, 0, 2), S_OK);
  const testing::Picture decoded = testing::DecodeImage(file.str());
  ASSERT_EQ(decoded.width, 64);
  EXPECT_GE(testing::Psnr(decoded, picture), 30.0);
}

// Two delivering threads and one toggling rotation and asking for snapshots: every
// packet the device took is one of the four whole packets that could have been sent.
TEST_F(CameraLinkTest, ConcurrentDeliveriesSendWholePackets) {
  struct Source {
    PixelType type;
    int w, h, stride;
    Bytes frame;
  };
  const Source sources[] = {
      {PixelType::RGB32, 96, -40, 384, Pattern(96 * 40 * 4, 3)},
      {PixelType::NV12, 64, 48, 64, Pattern(64 * 48 * 3 / 2, 9)},
  };
  std::set<std::pair<int32_t, uint64_t>> possible;  // (format, pixel hash)
  for (const Source& s : sources) {
    for (bool rotate : {false, true}) {
      const Bytes p = ExpectedPixels(s.frame, s.type, s.w, s.h, s.stride, rotate);
      possible.insert({static_cast<int32_t>(s.type), Fnv1a64(p.data(), p.size())});
    }
  }
  testing::TempPath snap(L"vextra-link-concurrent.jpg");
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (const Source& s : sources) {
    threads.emplace_back([&, s] {
      for (int i = 0; i < 40; ++i) {
        link_.DeliverFrame(s.frame.data(), s.w, s.h, s.stride, static_cast<int32_t>(s.type));
      }
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; !stop; ++i) {
      link_.SetRotate(i % 2 == 0);
      if (i % 8 == 0) link_.RequestSnapshot(snap.str().c_str());
      std::this_thread::yield();
    }
  });
  threads[0].join();
  threads[1].join();
  stop = true;
  threads[2].join();

  EXPECT_EQ(probe_.FrameCount(), 80u);
  for (const FrameRecord& r : probe_.LastFrames(64)) {
    const auto format = static_cast<int32_t>(r.header.format);
    EXPECT_TRUE(possible.count({format, r.pixelHash}))
        << "format " << format << " " << r.header.width << "x" << r.header.height;
  }
}

}  // namespace
}  // namespace pixora
