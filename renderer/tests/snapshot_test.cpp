#include "snapshot.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <wrl/client.h>

#include "test_picture.h"

namespace pixora {
namespace {

using kernels::PixelType;
using Microsoft::WRL::ComPtr;
using testing::DecodeImage;
using testing::FrameOf;
using testing::Picture;
using testing::QuadrantPicture;
using testing::TempPath;

class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                           CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory_))));
  }
  void TearDown() override {
    factory_.Reset();
    CoUninitialize();
  }
  ComPtr<IWICImagingFactory> factory_;
};

TEST_F(SnapshotTest, EveryPixelTypeGivesAnUprightJpegOfItsSize) {
  const Picture picture = QuadrantPicture(64, 48);
  struct Case {
    PixelType type;
    bool bottomUp;
    const wchar_t* file;
  };
  const Case cases[] = {
      {PixelType::RGB24, true, L"vextra-snap-rgb24-up.jpg"},
      {PixelType::RGB24, false, L"vextra-snap-rgb24-down.jpg"},
      {PixelType::RGB32, true, L"vextra-snap-rgb32.jpg"},
      {PixelType::YUY2, false, L"vextra-snap-yuy2.jpg"},
      {PixelType::NV12, false, L"vextra-snap-nv12.jpg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    const testing::Bytes frame = FrameOf(picture, c.type, c.bottomUp);
    const int32_t stride = c.type == PixelType::RGB24   ? kernels::Rgb24RowStep(64)
                           : c.type == PixelType::RGB32 ? 256
                           : c.type == PixelType::YUY2  ? 128
                                                        : 64;
    const int32_t height = (c.type == PixelType::RGB24 || c.type == PixelType::RGB32) && !c.bottomUp
                               ? -48
                               : 48;
    TempPath file(c.file);
    WriteSnapshot(factory_.Get(), file.str(),
                  {frame.data(), 64, height, stride, c.type, c.bottomUp});
    const Picture decoded = DecodeImage(file.str());
    ASSERT_EQ(decoded.width, 64);
    ASSERT_EQ(decoded.height, 48);
    EXPECT_GE(testing::Psnr(decoded, picture), 30.0);
  }
}

TEST_F(SnapshotTest, NothingWrittenWithoutFactoryPathOrPixels) {
  const Picture picture = QuadrantPicture(8, 8);
  const testing::Bytes frame = FrameOf(picture, PixelType::RGB24, false);
  TempPath file(L"vextra-snap-none.jpg");
  WriteSnapshot(nullptr, file.str(), {frame.data(), 8, -8, 24, PixelType::RGB24, false});
  WriteSnapshot(factory_.Get(), file.str(), {nullptr, 8, -8, 24, PixelType::RGB24, false});
  WriteSnapshot(factory_.Get(), file.str(), {frame.data(), 0, -8, 24, PixelType::RGB24, false});
  EXPECT_FALSE(file.Exists());
}

TEST(SnapshotRequest, LastPathWinsAndEmptyCancels) {
  SnapshotRequest request;
  EXPECT_EQ(request.Request(nullptr), E_FAIL);
  EXPECT_FALSE(request.Pending());
  EXPECT_EQ(request.Request(L"a.jpg"), S_OK);
  EXPECT_EQ(request.Request(L"b.jpg"), S_OK);
  ASSERT_TRUE(request.Pending());
  EXPECT_EQ(request.Take(), L"b.jpg");
  EXPECT_FALSE(request.Pending());

  request.Request(L"c.jpg");
  EXPECT_EQ(request.Request(L""), S_OK);
  EXPECT_FALSE(request.Pending());
}

TEST(SnapshotFileName, PropertyPageNaming) {
  SYSTEMTIME t{};
  t.wYear = 2017;
  t.wMonth = 11;
  t.wDay = 25;
  t.wHour = 8;
  t.wMinute = 59;
  t.wSecond = 57;
  EXPECT_EQ(SnapshotFileName(t), L"\\2017-11-25 085957.jpg");
}

TEST(SnapshotFileName, PicturesFolderPath) {
  const std::wstring path = PicturesSnapshotPath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.substr(path.size() - 4), L".jpg");
  EXPECT_NE(path.find(L"\\20"), std::wstring::npos);
}

}  // namespace
}  // namespace pixora
