// A real decoder chain: an uncompressed AVI that ffmpeg made for this run, played by the
// system's own file source and AVI splitter, connected by the graph builder into the
// renderer (added by CLSID), reaches the device frame by frame.
#include <strmif.h>
#include <evcode.h>
#include <uuids.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "decoder_chain_paths.h"
#include "filter_fixture.h"

namespace pixora::test {
namespace {

using Microsoft::WRL::ComPtr;

const auto* const kCom = ::testing::AddGlobalTestEnvironment(new ComThread);

constexpr int kWidth = 64, kHeight = 48, kFrames = 10;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 3;  // rows of 192 bytes, no padding

std::wstring WindowsPath(const wchar_t* unixPath) {
  std::wstring path = std::wstring(L"Z:") + unixPath;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// ffmpeg's decoding of the same file: top-down B,G,R rows, one frame after another.
Bytes ReferenceFrames() {
  std::ifstream in(std::filesystem::path(WindowsPath(PIXORA_CHAIN_REFERENCE_UNIX_PATH)),
                   std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes BottomUp(const uint8_t* topDown) {
  Bytes flipped(kFrameBytes);
  const size_t row = kFrameBytes / kHeight;
  for (int y = 0; y < kHeight; ++y) {
    std::copy_n(topDown + row * y, row, flipped.begin() + row * (kHeight - 1 - y));
  }
  return flipped;
}

class DecoderChainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(RegisterCameraDevices(), S_OK);
    RendererModule module;
    ASSERT_EQ(module.Register(), S_OK);
  }
  static void TearDownTestSuite() {
    RendererModule module;
    module.Unregister();
    UnregisterCameraDevices();
  }
  void SetUp() override { probe_.Reset(); }

  CameraProbe probe_;
};

TEST_F(DecoderChainTest, TheSystemsSplitterFeedsTheDeviceFrameByFrame) {
  const Bytes reference = ReferenceFrames();
  ASSERT_EQ(reference.size(), kFrameBytes * kFrames) << "ffmpeg's reference decoding";

  FilterGraph graph;
  ComPtr<IBaseFilter> renderer;
  ASSERT_EQ(CoCreateInstance(CLSID_PixoraRenderer, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(&renderer)),
            S_OK);
  ASSERT_EQ(graph.Add(renderer.Get(), L"Pixora Renderer"), S_OK);
  ComPtr<IBaseFilter> source;
  const std::wstring avi = WindowsPath(PIXORA_CHAIN_AVI_UNIX_PATH);
  ASSERT_EQ(graph.builder->AddSourceFilter(avi.c_str(), L"source", &source), S_OK);
  ComPtr<IBaseFilter> splitter;
  ASSERT_EQ(
      CoCreateInstance(CLSID_AviSplitter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&splitter)),
      S_OK);
  ASSERT_EQ(graph.Add(splitter.Get(), L"AVI splitter"), S_OK);
  const HRESULT parsed = graph.ConnectDirect(source.Get(), splitter.Get(), nullptr);
  if (FAILED(parsed)) {
    // Wine's AVI splitter is GStreamer's avidemux; without it this test cannot run here.
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08lX", static_cast<unsigned long>(parsed));
    GTEST_SKIP() << "the system's AVI splitter refused the file source (" << hex
                 << "); under Wine it needs GStreamer's avidemux element, from the 64-bit "
                    "GStreamer \"good\" plugins";
  }
  // The builder joins the splitter to the renderer, with whatever it needs between them.
  const ComPtr<IPin> out = FirstPin(splitter.Get(), PINDIR_OUTPUT);
  const ComPtr<IPin> in = FirstPin(renderer.Get(), PINDIR_INPUT);
  ASSERT_TRUE(out && in);
  ASSERT_EQ(graph.builder->Connect(out.Get(), in.Get()), S_OK);

  AM_MEDIA_TYPE connection;
  ASSERT_EQ(in->ConnectionMediaType(&connection), S_OK);
  EXPECT_EQ(connection.subtype, MEDIASUBTYPE_RGB24);
  dshow::FreeMediaType(connection);

  ASSERT_EQ(graph.RunWithoutClock(), S_OK);
  long code = 0;
  ASSERT_EQ(graph.events->WaitForCompletion(10'000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  graph.control->Stop();

  ASSERT_EQ(probe_.FrameCount(), uint64_t{kFrames});
  const std::vector<FrameRecord> records = probe_.LastFrames(kFrames);
  for (int i = 0; i < kFrames; ++i) {
    const FrameRecord& r = records[i];
    SCOPED_TRACE(::testing::Message() << "frame " << i);
    EXPECT_EQ(static_cast<int32_t>(r.header.format), 0);
    EXPECT_EQ(r.header.width, kWidth);
    EXPECT_EQ(std::abs(r.header.height), kHeight);
    EXPECT_EQ(r.header.stride, kWidth * 3);
    const uint8_t* topDown = reference.data() + kFrameBytes * i;
    const Bytes expected =
        r.header.height > 0 ? BottomUp(topDown) : Bytes(topDown, topDown + kFrameBytes);
    EXPECT_EQ(r.pixelHash, Fnv1a64(expected.data(), expected.size()));
  }
}

}  // namespace
}  // namespace pixora::test
