// IPixoraRenderer through the camera stand-in: each method's mapping onto the device, its
// edge cases and the device's own failures; the filter without a device; host frames,
// graph frames and rotation at once.
#include <evcode.h>
#include <ocidl.h>
#include <oleauto.h>
#include <uuids.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>

#include "c_host.h"
#include "com_holders.h"
#include "filter_fixture.h"
#include "rotate.h"
#include "test_picture.h"

namespace pixora::test {
namespace {

using kernels::PixelType;
using Microsoft::WRL::ComPtr;

const auto* const kCom = ::testing::AddGlobalTestEnvironment(new ComThread);

constexpr HRESULT kInjected = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);

using ControlTest = RendererFilterTest;

// A zeroed array of `elements` of `type`, as automation clients pass frames.
void MakeArray(VARTYPE type, ULONG elements, Variant* array) {
  array->get()->vt = VT_ARRAY | type;
  array->get()->parray = SafeArrayCreateVector(type, 0, elements);
}

TEST_F(ControlTest, SelectsOnlyDevicesThatTakeFrames) {
  const ComPtr<IPixoraRenderer> control = Control();
  EXPECT_EQ(control->SelectDevice(nullptr), E_INVALIDARG);
  EXPECT_EQ(control->SelectDevice(L"pixora CAMERA"), S_OK);
  // A BSTR is a wide string like any other.
  BSTR name = SysAllocString(L"Pixora Camera");
  EXPECT_EQ(control->SelectDevice(name), S_OK);
  SysFreeString(name);
  EXPECT_EQ(control->SelectDevice(L"Pixora Camera Lite"), E_INVALIDARG);
  EXPECT_EQ(control->SelectDevice(L"Pixora"), E_INVALIDARG);
  const Bytes frame(8 * 2 * 4);
  EXPECT_EQ(control->SendFrameRGB32(frame.data(), 8, 2, 0), S_OK);  // the device stayed
  EXPECT_EQ(probe_.FrameCount(), 1u);
}

TEST_F(ControlTest, SettingsReachTheDeviceAsGiven) {
  const ComPtr<IPixoraRenderer> control = Control();
  EXPECT_EQ(control->SetOutputFormat(640, 480, 25), S_OK);
  LONG width = -1, height = -1, fps = -1;
  EXPECT_EQ(control->GetOutputFormat(&width, nullptr, &fps), S_OK);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(fps, 25);
  EXPECT_EQ(control->GetOutputFormat(nullptr, &height, nullptr), S_OK);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(control->SetFillMode(PIXORA_RENDERER_FILL_STRETCH), S_OK);
  LONG mode = -1;
  EXPECT_EQ(control->GetFillMode(&mode), S_OK);
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(control->SetMirror(7), S_OK);
  EXPECT_EQ(control->SetFlip(-3), S_OK);
  const CameraSettings s = probe_.Settings();
  EXPECT_EQ(s.outputFormat.width, 640);
  EXPECT_EQ(s.outputFormat.height, 480);
  EXPECT_EQ(s.outputFormat.fps, 25);
  EXPECT_EQ(s.fillMode, 2);
  EXPECT_EQ(s.mirror, 7);
  EXPECT_EQ(s.flip, -3);

  // Out-of-range fill modes never reach the device; what the device refuses comes back.
  const PropertyCallCounts before = probe_.Settings().calls[PIXORA_PROP_FILL_MODE];
  EXPECT_EQ(control->SetFillMode(3), E_FAIL);
  EXPECT_EQ(control->SetFillMode(-1), E_FAIL);
  const PropertyCallCounts after = probe_.Settings().calls[PIXORA_PROP_FILL_MODE];
  EXPECT_EQ(after.setAccepted + after.setRefused, before.setAccepted + before.setRefused);
  EXPECT_EQ(control->SetOutputFormat(0, 480, 30), E_INVALIDARG);
}

TEST_F(ControlTest, DeviceFailuresComeBackUnchanged) {
  const ComPtr<IPixoraRenderer> control = Control();
  const Bytes frame(16 * 16 * 4);
  Variant array;
  MakeArray(VT_UI1, 48 * 16, &array);
  LONG a = -1, b = -1, c = -1, mode = -1;
  struct Case {
    const char* method;
    std::function<HRESULT()> call;
  };
  const Case cases[] = {
      {"SetOutputFormat", [&] { return control->SetOutputFormat(320, 240, 30); }},
      {"GetOutputFormat", [&] { return control->GetOutputFormat(&a, &b, &c); }},
      {"SetFillMode", [&] { return control->SetFillMode(1); }},
      {"GetFillMode", [&] { return control->GetFillMode(&mode); }},
      {"SetMirror", [&] { return control->SetMirror(1); }},
      {"SetFlip", [&] { return control->SetFlip(1); }},
      {"SendFrameRGB24", [&] { return control->SendFrameRGB24(frame.data(), 16, 16, 0); }},
      {"SendFrameRGB32", [&] { return control->SendFrameRGB32(frame.data(), 16, 16, 0); }},
      {"SendFrameYUY2", [&] { return control->SendFrameYUY2(frame.data(), 16, 16, 0); }},
      {"SendFrameNV12", [&] { return control->SendFrameNV12(frame.data(), 16, 16, 0); }},
      {"SendFrameArray", [&] { return control->SendFrameArray(*array.get(), 16, 16); }},
  };
  for (const Case& k : cases) {
    probe_.FailNextCall(kInjected);
    EXPECT_EQ(k.call(), kInjected) << k.method;
  }
  // Failed reads leave zeros, not stale values.
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(mode, 0);
  // A screen region answers S_OK whatever the device said.
  probe_.FailNextCall(kInjected);
  EXPECT_EQ(control->SendScreenRegion(0, 0, 16, 16), S_OK);
  EXPECT_EQ(probe_.FrameCount(), 0u);
}

TEST_F(ControlTest, SendMethodsCarryTheirFormatAndTheTurn) {
  const ComPtr<IPixoraRenderer> control = Control();
  using Send = HRESULT (STDMETHODCALLTYPE IPixoraRenderer::*)(const BYTE*, LONG, LONG, LONG);
  struct Case {
    Send send;
    PixelType type;
    LONG width, height;
    bool rotate;
    FrameHeader header;
  };
  auto h = [](PixelType t, int32_t w, int32_t ht, int32_t s) {
    return FrameHeader{static_cast<decltype(FrameHeader::format)>(t), w, ht, s};
  };
  const Case cases[] = {
      {&IPixoraRenderer::SendFrameRGB24, PixelType::RGB24, 10, 4, false,
       h(PixelType::RGB24, 10, 4, 32)},
      {&IPixoraRenderer::SendFrameRGB32, PixelType::RGB32, 640, -480, true,
       h(PixelType::RGB32, 480, -640, 1920)},
      {&IPixoraRenderer::SendFrameYUY2, PixelType::YUY2, 64, 30, true,
       h(PixelType::YUY2, 30, 64, 60)},
      {&IPixoraRenderer::SendFrameNV12, PixelType::NV12, 64, 48, false,
       h(PixelType::NV12, 64, 48, 64)},
  };
  for (const Case& c : cases) {
    const Bytes frame = Pattern(640 * 480 * 4, 2);  // enough for every case
    EXPECT_EQ(control->SetRotate(c.rotate ? 1 : 0), S_OK);
    EXPECT_EQ(((*control.Get()).*c.send)(frame.data(), c.width, c.height, 0), S_OK);
    EXPECT_PRED2(SameHeader, LastRecord().header, c.header);
  }
}

TEST_F(ControlTest, SnapshotsAreRequestedForTheNextFrame) {
  const ComPtr<IPixoraRenderer> control = Control();
  testing::TempPath first(L"vextra-renderer-first.jpg"), second(L"vextra-renderer-second.jpg");
  const testing::Picture picture = testing::QuadrantPicture(64, 48);
  const Bytes frame = testing::FrameOf(picture, PixelType::RGB24, true);

  EXPECT_EQ(control->Snapshot(nullptr), E_FAIL);
  EXPECT_EQ(control->Snapshot(L""), S_OK);
  ASSERT_EQ(control->SendFrameRGB24(frame.data(), 64, 48, 0), S_OK);
  EXPECT_EQ(control->Snapshot(first.str().c_str()), S_OK);
  EXPECT_EQ(control->Snapshot(second.str().c_str()), S_OK);
  EXPECT_FALSE(first.Exists());
  ASSERT_EQ(control->SendFrameRGB24(frame.data(), 64, 48, 0), S_OK);
  EXPECT_FALSE(first.Exists());
  const testing::Picture decoded = testing::DecodeImage(second.str());
  ASSERT_EQ(decoded.width, 64);
  ASSERT_EQ(decoded.height, 48);
  EXPECT_GE(testing::Psnr(decoded, picture), 30.0);
}

TEST_F(ControlTest, ArrayFramesAndScreenRegionsCheckTheirArguments) {
  const ComPtr<IPixoraRenderer> control = Control();
  constexpr LONG w = 101, h = 3, stride = 304;
  auto send = [&](VARTYPE type, ULONG elements) {
    Variant array;
    MakeArray(type, elements, &array);
    return control->SendFrameArray(*array.get(), w, h);
  };
  EXPECT_EQ(send(VT_I4, stride * h), E_INVALIDARG);
  EXPECT_EQ(send(VT_UI1, stride * h - 1), S_OK);
  EXPECT_EQ(probe_.FrameCount(), 0u);
  EXPECT_EQ(send(VT_UI1, stride * h), S_OK);
  EXPECT_PRED2(
      SameHeader, LastRecord().header,
      (FrameHeader{static_cast<decltype(FrameHeader::format)>(PixelType::RGB24), w, h, stride}));
  EXPECT_EQ(control->SendScreenRegion(-1, 0, 100, 100), E_INVALIDARG);
  EXPECT_EQ(control->SendScreenRegion(0, 0, 100, 0), E_INVALIDARG);
}

TEST_F(ControlTest, TheInterfaceLeadsBackToTheFilterAndWorksFromC) {
  const ComPtr<IPixoraRenderer> control = Control();
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(control.As(&filter), S_OK);
  EXPECT_EQ(filter, renderer_);

  const testing::Picture picture = testing::QuadrantPicture(20, 10);
  const Bytes frame = testing::FrameOf(picture, PixelType::RGB24, true);
  LONG mode = -1;
  ASSERT_EQ(CHostDrive(renderer_.Get(), frame.data(), 20, 10, &mode), S_OK);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(probe_.Settings().outputFormat.width, 320);
  EXPECT_EQ(probe_.Settings().outputFormat.fps, 15);
  EXPECT_PRED2(
      SameHeader, LastRecord().header,
      (FrameHeader{static_cast<decltype(FrameHeader::format)>(PixelType::RGB24), 10, 20, 32}));
}

// One host thread sending NV12 through the interface, the graph streaming RGB32 and a
// third thread turning rotation on and off: every packet the device took is whole and
// one of the four that could have been sent.
TEST_F(ControlTest, HostFramesGraphFramesAndRotationTogether) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 96, -40, &type);
  ASSERT_EQ(ConnectSource(type.Get(), 96 * 40 * 4), S_OK);
  ASSERT_EQ(graph_.RunWithoutClock(), S_OK);
  const ComPtr<IPixoraRenderer> control = Control();

  struct Source {
    PixelType type;
    int w, h, stride;
    Bytes frame;
  };
  const Source graphFrames{PixelType::RGB32, 96, -40, 384, Pattern(96 * 40 * 4, 3)};
  const Source hostFrames{PixelType::NV12, 64, 48, 64, Pattern(64 * 48 * 3 / 2, 9)};
  std::set<std::pair<int32_t, uint64_t>> possible;
  for (const Source* s : {&graphFrames, &hostFrames}) {
    for (bool rotate : {false, true}) {
      Bytes pixels = s->frame;
      if (rotate) {
        const kernels::FrameGeometry g = kernels::RotatedGeometry(s->type, s->w, s->h);
        pixels.assign(static_cast<size_t>(kernels::FrameBytes(s->type, g.rowStep, g.height)), 0);
        kernels::RotateScratch scratch;
        kernels::RotateFrame90(s->type, s->frame.data(), s->w, s->h, s->stride, pixels.data(),
                               scratch);
      }
      possible.insert({static_cast<int32_t>(s->type), Fnv1a64(pixels.data(), pixels.size())});
    }
  }

  constexpr int kFrames = 40;
  std::atomic<bool> stop{false};
  std::thread host([&] {
    for (int i = 0; i < kFrames; ++i) {
      control->SendFrameNV12(hostFrames.frame.data(), hostFrames.w, hostFrames.h, 0);
    }
  });
  std::thread turner([&] {
    for (int i = 0; !stop; ++i) {
      control->SetRotate(i % 2);
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(source_->Push(graphFrames.frame.data(), static_cast<long>(graphFrames.frame.size())),
              S_OK);
  }
  host.join();
  stop = true;
  turner.join();

  EXPECT_EQ(probe_.FrameCount(), uint64_t{2 * kFrames});
  for (const FrameRecord& r : probe_.LastFrames(64)) {
    EXPECT_TRUE(possible.count({static_cast<int32_t>(r.header.format), r.pixelHash}))
        << "format " << static_cast<int32_t>(r.header.format) << " " << r.header.width << "x"
        << r.header.height;
  }
}

// Last: it leaves the machine without the camera device.
TEST_F(ControlTest, WithoutADeviceTheFilterRendersIntoNothing) {
  ASSERT_EQ(UnregisterCameraDevices(), S_OK);
  FilterGraph graph;
  ComPtr<IBaseFilter> renderer = module_.CreateFilter();
  ASSERT_TRUE(renderer);

  void* control = &control;  // must come back null
  EXPECT_EQ(renderer->QueryInterface(IID_IPixoraRenderer, &control), E_FAIL);
  EXPECT_EQ(control, nullptr);
  struct Granted {
    const IID* iid;
    const char* name;
  };
  for (const Granted& g :
       {Granted{&IID_IBaseFilter, "IBaseFilter"},
        Granted{&IID_ISpecifyPropertyPages, "ISpecifyPropertyPages"},
        Granted{&IID_IMediaFilter, "IMediaFilter"}, Granted{&IID_IPersist, "IPersist"},
        Granted{&IID_IAMovieSetup, "IAMovieSetup"}, Granted{&IID_IMediaSeeking, "IMediaSeeking"},
        Granted{&IID_IMediaPosition, "IMediaPosition"}}) {
    ComPtr<IUnknown> face;
    EXPECT_EQ(renderer->QueryInterface(*g.iid, reinterpret_cast<void**>(face.GetAddressOf())), S_OK)
        << g.name;
  }
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(renderer.As(&pages), S_OK);
  CAUUID list = {};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  EXPECT_EQ(list.pElems[0], CLSID_PixoraRendererPropertyPage);
  CoTaskMemFree(list.pElems);
  EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);

  // It still connects, runs and completes.
  ASSERT_EQ(graph.Add(renderer.Get(), L"renderer"), S_OK);
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, 16, 8, &type);
  CPushSource* source = nullptr;
  ComPtr<IBaseFilter> sourceFilter;
  ASSERT_EQ(CPushSource::Connect(graph, renderer.Get(), type.Get(), 384, &sourceFilter, &source),
            S_OK);
  ASSERT_EQ(graph.RunWithoutClock(), S_OK);
  const Bytes frame = Pattern(384, 1);
  EXPECT_EQ(source->Push(frame.data(), 384), S_OK);
  ASSERT_EQ(source->PushEndOfStream(), S_OK);
  long code = 0;
  EXPECT_EQ(graph.events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  graph.control->Stop();
  ASSERT_EQ(RegisterCameraDevices(), S_OK);
}

}  // namespace
}  // namespace pixora::test
