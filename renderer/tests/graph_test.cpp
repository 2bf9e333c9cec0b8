// The renderer in a filter graph of the system's, fed by a push source of the tests' own:
// media types, the format it captures, what reaches the device, timing, state changes,
// seeking and end of stream.
#include <strmif.h>
#include <amvideo.h>
#include <dvdmedia.h>
#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "filter_fixture.h"
#include "rotate.h"

namespace pixora::test {
namespace {

using kernels::PixelType;
using Microsoft::WRL::ComPtr;

const auto* const kCom = ::testing::AddGlobalTestEnvironment(new ComThread);

constexpr REFERENCE_TIME kMillisecond = 10'000;

struct Subtype {
  const GUID* guid;
  PixelType type;
  int bytesPerPixel;  // of the first plane
};
const Subtype kSubtypes[] = {
    {&MEDIASUBTYPE_RGB24, PixelType::RGB24, 3},
    {&MEDIASUBTYPE_RGB32, PixelType::RGB32, 4},
    {&MEDIASUBTYPE_YUY2, PixelType::YUY2, 2},
    {&MEDIASUBTYPE_NV12, PixelType::NV12, 1},
};

int32_t Stride(PixelType type, int32_t width) {
  switch (type) {
    case PixelType::RGB24: return kernels::Rgb24RowStep(width);
    case PixelType::RGB32: return 4 * width;
    case PixelType::YUY2: return 2 * width;
    case PixelType::NV12: return width;
  }
  return 0;
}

TEST_F(RendererFilterTest, EveryAcceptedTypeReachesTheDeviceByteForByte) {
  struct Case {
    const Subtype& subtype;
    const GUID* format;
    int32_t width, height;
    int32_t stride;  // captured from the width alone
  };
  std::vector<Case> cases;
  for (const Subtype& s : kSubtypes) {
    for (const GUID* format : {&FORMAT_VideoInfo, &FORMAT_VideoInfo2}) {
      cases.push_back({s, format, 64, 48, Stride(s.type, 64)});
      const bool rgb = s.type == PixelType::RGB24 || s.type == PixelType::RGB32;
      if (rgb) cases.push_back({s, format, 36, -10, Stride(s.type, 36)});  // top-down
    }
  }
  cases.push_back({kSubtypes[0], &FORMAT_VideoInfo, 640, 480, 1920});
  cases.push_back({kSubtypes[0], &FORMAT_VideoInfo, 642, 480, 1928});

  uint8_t seed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "type " << static_cast<int>(c.subtype.type) << " " << c.width << "x" << c.height
                 << " VideoInfo" << (c.format == &FORMAT_VideoInfo2 ? "2" : ""));
    FilterGraph graph;
    ComPtr<IBaseFilter> renderer = module_.CreateFilter();
    ASSERT_EQ(graph.Add(renderer.Get(), L"renderer"), S_OK);
    dshow::MediaType type;
    MakeVideoType(*c.subtype.guid, *c.format, c.width, c.height, &type);
    const PixelType p = c.subtype.type;
    const size_t bytes = static_cast<size_t>(kernels::FrameBytes(p, c.stride, c.height));
    CPushSource* source = nullptr;
    ComPtr<IBaseFilter> sourceFilter =
        CPushSource::Create(type.Get(), static_cast<long>(bytes), &source);
    ASSERT_EQ(graph.Add(sourceFilter.Get(), L"source"), S_OK);
    ASSERT_EQ(graph.ConnectDirect(sourceFilter.Get(), renderer.Get(), &type.Get()), S_OK);
    ASSERT_EQ(graph.RunWithoutClock(), S_OK);
    probe_.Reset();

    const Bytes frame = Pattern(bytes, ++seed);
    ASSERT_EQ(source->Push(frame.data(), static_cast<long>(frame.size())), S_OK);
    ASSERT_EQ(probe_.FrameCount(), 1u);
    const FrameHeader expected{static_cast<decltype(FrameHeader::format)>(p), c.width, c.height,
                               c.stride};
    EXPECT_PRED2(SameHeader, LastRecord().header, expected);
    EXPECT_TRUE(LastPixels() == frame);
    graph.control->Stop();
  }
}

TEST_F(RendererFilterTest, RefusesTypesItCannotDescribe) {
  struct Case {
    const char* what;
    const GUID* subtype;
    const GUID* format;
    uint32_t formatBytes;  // 0: the whole block
  };
  const Case cases[] = {
      {"YUY2 in an MPEG-1 block", &MEDIASUBTYPE_YUY2, &FORMAT_MPEGVideo, 0},
      {"RGB565", &MEDIASUBTYPE_RGB565, &FORMAT_VideoInfo, 0},
      {"VideoInfo one byte short of its bitmap header", &MEDIASUBTYPE_RGB32, &FORMAT_VideoInfo,
       48 + 40 - 1},
      {"VideoInfo2 one byte short of its bitmap header", &MEDIASUBTYPE_NV12, &FORMAT_VideoInfo2,
       72 + 40 - 1},
      {"no format block", &MEDIASUBTYPE_RGB24, &FORMAT_VideoInfo, 0xFFFFFFFF},
  };
  const ComPtr<IPin> in = FirstPin(renderer_.Get(), PINDIR_INPUT);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dshow::MediaType type;
    MakeVideoType(*c.subtype, *c.format, 32, 32, &type,
                  c.formatBytes == 0xFFFFFFFF ? 0 : c.formatBytes);
    AM_MEDIA_TYPE offered = type.Get();
    if (c.formatBytes == 0xFFFFFFFF) {
      offered.cbFormat = 0;
      offered.pbFormat = nullptr;
    }
    EXPECT_EQ(in->QueryAccept(&offered), S_FALSE);
    FilterGraph graph;
    ComPtr<IBaseFilter> renderer = module_.CreateFilter();
    ASSERT_EQ(graph.Add(renderer.Get(), L"renderer"), S_OK);
    CPushSource* source = nullptr;
    ComPtr<IBaseFilter> sourceFilter = CPushSource::Create(offered, 32 * 32 * 4, &source);
    ASSERT_EQ(graph.Add(sourceFilter.Get(), L"source"), S_OK);
    EXPECT_EQ(graph.ConnectDirect(sourceFilter.Get(), renderer.Get(), &offered),
              VFW_E_TYPE_NOT_ACCEPTED);
  }
  // And the audio of a video-info block, for good measure.
  dshow::MediaType audio;
  MakeVideoType(MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, 32, 32, &audio);
  AM_MEDIA_TYPE offered = audio.Get();
  offered.majortype = MEDIATYPE_Audio;
  EXPECT_EQ(in->QueryAccept(&offered), S_FALSE);
}

TEST_F(RendererFilterTest, DropsSamplesShorterThanAFrame) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_NV12, FORMAT_VideoInfo, 1280, 720, &type);
  constexpr long kFrame = 1'382'400;
  ASSERT_EQ(ConnectSource(type.Get(), kFrame + 1), S_OK);
  ASSERT_EQ(graph_.RunWithoutClock(), S_OK);
  const Bytes frame = Pattern(kFrame + 1, 5);
  struct Case {
    long length;
    uint64_t framesAfter;
  };
  for (const Case& c : {Case{kFrame - 1, 0}, Case{0, 0}, Case{kFrame, 1}, Case{kFrame + 1, 2}}) {
    EXPECT_EQ(source_->Push(frame.data(), c.length), S_OK) << c.length;
    EXPECT_EQ(probe_.FrameCount(), c.framesAfter) << c.length;
  }
  EXPECT_EQ(LastRecord().packetBytes, 16u + kFrame);
}

// A bitmap header can announce a row step that no 32-bit stride holds; such a connection
// renders nothing rather than a wrapped-around stride.
TEST_F(RendererFilterTest, AWidthBeyondAnyRowStepRendersNothing) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 1 << 29, 1, &type);
  ASSERT_EQ(ConnectSource(type.Get(), 4096), S_OK);
  ASSERT_EQ(graph_.RunWithoutClock(), S_OK);
  const Bytes frame = Pattern(4096, 1);
  EXPECT_EQ(source_->Push(frame.data(), 4096), S_OK);
  EXPECT_EQ(probe_.FrameCount(), 0u);
}

TEST_F(RendererFilterTest, RotationTurnsTheGraphsFrames) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_RGB24, FORMAT_VideoInfo2, 640, 480, &type);
  ASSERT_EQ(ConnectSource(type.Get(), 921600), S_OK);
  ASSERT_EQ(Control()->SetRotate(1), S_OK);
  ASSERT_EQ(graph_.RunWithoutClock(), S_OK);
  const Bytes frame = Pattern(921600, 7);
  ASSERT_EQ(source_->Push(frame.data(), 921600), S_OK);
  EXPECT_PRED2(
      SameHeader, LastRecord().header,
      (FrameHeader{static_cast<decltype(FrameHeader::format)>(PixelType::RGB24), 480, 640, 1440}));
  Bytes turned(921600);
  kernels::RotateScratch scratch;
  kernels::RotateFrame90(PixelType::RGB24, frame.data(), 640, 480, 1920, turned.data(), scratch);
  EXPECT_TRUE(LastPixels() == turned);
}

// Samples pushed ahead of their time are rendered when the graph's clock reaches them;
// the figures are printed, not judged, as the machine's load decides them.
TEST_F(RendererFilterTest, RendersTimedSamplesAtTheirPresentationTime) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 32, 16, &type);
  ASSERT_EQ(ConnectSource(type.Get(), 32 * 16 * 4), S_OK);
  ASSERT_EQ(graph_.Run(), S_OK);  // with the graph's own clock
  const Bytes frame = Pattern(32 * 16 * 4, 1);
  constexpr int kSamples = 12;
  constexpr REFERENCE_TIME kStep = 40 * kMillisecond;
  std::vector<double> lateMs;
  for (int i = 0; i < kSamples; ++i) {
    const REFERENCE_TIME start = (i + 1) * kStep;
    const REFERENCE_TIME end = start + kStep;
    ASSERT_EQ(source_->Push(frame.data(), static_cast<long>(frame.size()), &start, &end), S_OK);
    const REFERENCE_TIME late = source_->ClockTime() - (source_->RunStart() + start);
    EXPECT_GE(late, 0) << "sample " << i << " rendered before its time";
    lateMs.push_back(static_cast<double>(late) / kMillisecond);
  }
  EXPECT_EQ(probe_.FrameCount(), uint64_t{kSamples});
  std::sort(lateMs.begin(), lateMs.end());
  std::printf("lateness over %d samples: median %.2f ms, max %.2f ms\n", kSamples,
              lateMs[kSamples / 2], lateMs.back());

  // One quality message upstream per timed sample, late by what the clock says.
  const std::vector<Quality> quality = source_->Notifications();
  ASSERT_EQ(quality.size(), size_t{kSamples});
  EXPECT_EQ(quality.back().TimeStamp, kSamples * kStep);
  EXPECT_GE(quality.back().Late, 0);

  // The graph completes once the last sample's time is over, not when the end arrives.
  ASSERT_EQ(source_->PushEndOfStream(), S_OK);
  long code = 0;
  ASSERT_EQ(graph_.events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_GE(source_->ClockTime(), source_->RunStart() + (kSamples + 1) * kStep);
  ASSERT_EQ(graph_.Stop(), S_OK);
  ASSERT_EQ(graph_.Run(), S_OK);

  // Untimed samples go at once, even with a clock; a sample ending before it starts never.
  ASSERT_EQ(source_->Push(frame.data(), static_cast<long>(frame.size())), S_OK);
  const REFERENCE_TIME start = 500 * kMillisecond, end = start - 1;
  EXPECT_EQ(source_->Push(frame.data(), static_cast<long>(frame.size()), &start, &end),
            VFW_E_START_TIME_AFTER_END);
  EXPECT_EQ(probe_.FrameCount(), uint64_t{kSamples + 1});

  // A sample is drawn when its time starts, not when it ends: one lasting two seconds and
  // starting soon is out long before its end, however loaded the machine.
  const REFERENCE_TIME soon = source_->ClockTime() - source_->RunStart() + 50 * kMillisecond;
  const REFERENCE_TIME over = soon + 2000 * kMillisecond;
  ASSERT_EQ(source_->Push(frame.data(), static_cast<long>(frame.size()), &soon, &over), S_OK);
  EXPECT_LT(source_->ClockTime() - source_->RunStart(), over - 1000 * kMillisecond);
  EXPECT_EQ(probe_.FrameCount(), uint64_t{kSamples + 2});
}

TEST_F(RendererFilterTest, PauseWaitsForTheFirstSampleAndHoldsItUntilRun) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, 16, 8, &type);
  ASSERT_EQ(ConnectSource(type.Get(), 256), S_OK);
  ASSERT_EQ(graph_.mediaFilter->SetSyncSource(nullptr), S_OK);
  graph_.control->Pause();
  OAFilterState state = State_Stopped;
  EXPECT_EQ(graph_.control->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
  EXPECT_EQ(state, State_Paused);

  const Bytes frame = Pattern(256, 3);
  auto pushed = std::async(std::launch::async, [&] { return source_->Push(frame.data(), 256); });
  StopOnExit stopper{graph_.control.Get()};
  EXPECT_EQ(graph_.control->GetState(5000, &state), S_OK);
  EXPECT_EQ(state, State_Paused);
  EXPECT_EQ(pushed.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  EXPECT_EQ(probe_.FrameCount(), 0u);

  ASSERT_EQ(graph_.Run(), S_OK);
  EXPECT_EQ(pushed.get(), S_OK);
  EXPECT_EQ(probe_.FrameCount(), 1u);
}

// Pause answers S_FALSE exactly while the pause is incomplete, as GetState does; a flush
// takes back the sample that completed it.
TEST_F(RendererFilterTest, PauseSaysWhetherItIsComplete) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 8, 8, &type);
  ASSERT_EQ(ConnectSource(type.Get(), 256), S_OK);
  ASSERT_EQ(graph_.mediaFilter->SetSyncSource(nullptr), S_OK);
  const ComPtr<IPin> in = FirstPin(renderer_.Get(), PINDIR_INPUT);
  auto expectIncomplete = [&](const char* when) {
    SCOPED_TRACE(when);
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(renderer_->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(renderer_->Pause(), S_FALSE);
  };
  auto expectComplete = [&](const char* when) {
    SCOPED_TRACE(when);
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(renderer_->GetState(5000, &state), S_OK);
    EXPECT_EQ(renderer_->Pause(), S_OK);
  };

  EXPECT_EQ(graph_.control->Pause(), S_FALSE);
  expectIncomplete("paused without a sample");
  const Bytes frame = Pattern(256, 2);
  auto held = std::async(std::launch::async, [&] { return source_->Push(frame.data(), 256); });
  StopOnExit stopper{graph_.control.Get()};
  expectComplete("holding a sample");

  ASSERT_EQ(in->BeginFlush(), S_OK);
  ASSERT_EQ(held.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(held.get(), S_FALSE);
  expectIncomplete("flushing");
  ASSERT_EQ(in->EndFlush(), S_OK);
  expectIncomplete("flushed");

  ASSERT_EQ(source_->PushEndOfStream(), S_OK);
  expectComplete("at the end of the stream");
  EXPECT_EQ(probe_.FrameCount(), 0u);
}

// With nothing connected there is nothing to wait for: the pause is complete at once and
// the stream has ended as soon as it runs.
TEST_F(RendererFilterTest, AnUnconnectedRendererPausesAtOnceAndCompletesOnRun) {
  EXPECT_EQ(graph_.control->Pause(), S_OK);
  FILTER_STATE state = State_Stopped;
  EXPECT_EQ(renderer_->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Paused);
  EXPECT_EQ(renderer_->Pause(), S_OK);
  ASSERT_EQ(graph_.Run(), S_OK);
  long code = 0;
  EXPECT_EQ(graph_.events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
}

// The format is told to the device once per connection, so while connected the pin takes
// no type of another format, neither asked nor carried by a sample.
TEST_F(RendererFilterTest, RefusesAnotherFormatWhileConnected) {
  dshow::MediaType connected;
  MakeVideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 64, 48, &connected);
  constexpr long kFrame = 64 * 48 * 4;
  ASSERT_EQ(ConnectSource(connected.Get(), kFrame), S_OK);
  const ComPtr<IPin> in = FirstPin(renderer_.Get(), PINDIR_INPUT);
  struct Case {
    const char* what;
    const GUID* subtype;
    const GUID* format;
    int32_t width, height;
    HRESULT accepted;  // QueryAccept's answer
  };
  const Case cases[] = {
      {"the same", &MEDIASUBTYPE_RGB32, &FORMAT_VideoInfo, 64, 48, S_OK},
      {"the same in a VideoInfo2 block", &MEDIASUBTYPE_RGB32, &FORMAT_VideoInfo2, 64, 48, S_OK},
      {"narrower", &MEDIASUBTYPE_RGB32, &FORMAT_VideoInfo, 32, 48, S_FALSE},
      {"top-down", &MEDIASUBTYPE_RGB32, &FORMAT_VideoInfo, 64, -48, S_FALSE},
      {"another pixel type", &MEDIASUBTYPE_RGB24, &FORMAT_VideoInfo, 64, 48, S_FALSE},
      {"two planes", &MEDIASUBTYPE_NV12, &FORMAT_VideoInfo, 64, 48, S_FALSE},
  };
  ASSERT_EQ(graph_.RunWithoutClock(), S_OK);
  const Bytes frame = Pattern(kFrame, 9);
  uint64_t frames = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dshow::MediaType type;
    MakeVideoType(*c.subtype, *c.format, c.width, c.height, &type);
    EXPECT_EQ(in->QueryAccept(&type.Get()), c.accepted);

    ComPtr<IMediaSample> sample = source_->NextSample();
    ASSERT_TRUE(sample);
    BYTE* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    std::copy(frame.begin(), frame.end(), data);
    sample->SetActualDataLength(kFrame);
    AM_MEDIA_TYPE carried = type.Get();
    ASSERT_EQ(sample->SetMediaType(&carried), S_OK);
    EXPECT_EQ(source_->Deliver(sample.Get()), c.accepted == S_OK ? S_OK : VFW_E_TYPE_NOT_ACCEPTED);
    if (c.accepted == S_OK) ++frames;
    EXPECT_EQ(probe_.FrameCount(), frames);
  }
  EXPECT_PRED2(SameHeader, LastRecord().header,
               (FrameHeader{static_cast<decltype(FrameHeader::format)>(PixelType::RGB32), 64, 48,
                            256}));

  // Unconnected, any format is welcome again.
  ASSERT_EQ(graph_.Stop(), S_OK);
  ASSERT_EQ(in->Disconnect(), S_OK);
  dshow::MediaType other;
  MakeVideoType(MEDIASUBTYPE_NV12, FORMAT_VideoInfo, 32, 16, &other);
  EXPECT_EQ(in->QueryAccept(&other.Get()), S_OK);
}

TEST_F(RendererFilterTest, StopReleasesAHeldSample) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, 16, 8, &type);
  ASSERT_EQ(ConnectSource(type.Get(), 384), S_OK);
  graph_.control->Pause();
  const Bytes frame = Pattern(384, 3);
  auto pushed = std::async(std::launch::async, [&] { return source_->Push(frame.data(), 384); });
  StopOnExit stopper{graph_.control.Get()};
  OAFilterState state;
  EXPECT_EQ(graph_.control->GetState(5000, &state), S_OK);
  ASSERT_EQ(graph_.Stop(), S_OK);
  ASSERT_EQ(pushed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(pushed.get(), VFW_E_WRONG_STATE);
  EXPECT_EQ(probe_.FrameCount(), 0u);
  // Stopped, the pin takes nothing.
  EXPECT_NE(source_->Push(frame.data(), 384), S_OK);
}

TEST_F(RendererFilterTest, SeekingGoesUpstreamAndFlushesTheHeldSample) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 16, 8, &type);
  ASSERT_EQ(ConnectSource(type.Get(), 512), S_OK);
  ASSERT_EQ(graph_.mediaFilter->SetSyncSource(nullptr), S_OK);

  // The renderer's own position interfaces answer from the source.
  ComPtr<IMediaSeeking> seeking;
  ASSERT_EQ(renderer_.As(&seeking), S_OK);
  LONGLONG duration = 0;
  EXPECT_EQ(seeking->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, 100'000'000);
  ComPtr<IMediaPosition> position;
  ASSERT_EQ(renderer_->QueryInterface(IID_IMediaPosition,
                                      reinterpret_cast<void**>(position.GetAddressOf())),
            S_OK);
  REFTIME seconds = 0;
  EXPECT_EQ(position->get_Duration(&seconds), S_OK);
  EXPECT_DOUBLE_EQ(seconds, 10.0);

  graph_.control->Pause();
  const Bytes frame = Pattern(512, 3);
  auto held = std::async(std::launch::async, [&] { return source_->Push(frame.data(), 512); });
  StopOnExit stopper{graph_.control.Get()};
  OAFilterState state;
  ASSERT_EQ(graph_.control->GetState(5000, &state), S_OK);

  LONGLONG target = 50'000'000;
  ASSERT_EQ(graph_.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                         AM_SEEKING_NoPositioning),
            S_OK);
  const std::vector<LONGLONG> seeks = source_->Seeks();
  ASSERT_EQ(held.wait_for(std::chrono::seconds(5)), std::future_status::ready)
      << seeks.size() << " seeks reached the source";
  EXPECT_EQ(held.get(), S_FALSE);  // flushed, never rendered
  ASSERT_FALSE(seeks.empty());
  EXPECT_EQ(seeks.back(), target);
  EXPECT_EQ(probe_.FrameCount(), 0u);

  // After the flush the pause waits for a new sample; once run, it is rendered, and the
  // position is the new segment's.
  auto next = std::async(std::launch::async, [&] {
    const REFERENCE_TIME start = 2 * 10'000'000, end = start + 400'000;
    return source_->Push(frame.data(), 512, &start, &end);
  });
  StopOnExit nextStopper{graph_.control.Get()};
  ASSERT_EQ(graph_.control->GetState(5000, &state), S_OK);
  ASSERT_EQ(graph_.Run(), S_OK);
  EXPECT_EQ(next.get(), S_OK);
  EXPECT_EQ(probe_.FrameCount(), 1u);
  LONGLONG current = 0;
  EXPECT_EQ(seeking->GetCurrentPosition(&current), S_OK);
  EXPECT_EQ(current, target + 2 * 10'000'000);
}

TEST_F(RendererFilterTest, EndOfStreamCompletesTheGraphOnceRunning) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, 16, 8, &type);
  ASSERT_EQ(ConnectSource(type.Get(), 384), S_OK);
  ASSERT_EQ(graph_.mediaFilter->SetSyncSource(nullptr), S_OK);
  graph_.control->Pause();
  // End of stream completes the pause, but the graph completes only when it runs.
  ASSERT_EQ(source_->PushEndOfStream(), S_OK);
  OAFilterState state;
  EXPECT_EQ(graph_.control->GetState(1000, &state), S_OK);
  for (long code; (code = graph_.NextEvent(200)) != 0;) EXPECT_NE(code, EC_COMPLETE);
  const Bytes frame = Pattern(384, 1);
  EXPECT_EQ(source_->Push(frame.data(), 384), VFW_E_SAMPLE_REJECTED_EOS);

  ASSERT_EQ(graph_.Run(), S_OK);
  long code = 0;
  EXPECT_EQ(graph_.events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);

  // A seek's flush forgets the end: the new segment streams.
  ComPtr<IMediaSeeking> seeking;
  ASSERT_EQ(renderer_.As(&seeking), S_OK);
  LONGLONG target = 20'000'000;
  ASSERT_EQ(seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                  AM_SEEKING_NoPositioning),
            S_OK);
  EXPECT_EQ(source_->Push(frame.data(), 384), S_OK);
  EXPECT_EQ(probe_.FrameCount(), 1u);

  // Stopping forgets the end; a new run streams again.
  ASSERT_EQ(graph_.Stop(), S_OK);
  ASSERT_EQ(graph_.Run(), S_OK);
  EXPECT_EQ(source_->Push(frame.data(), 384), S_OK);
  ASSERT_EQ(source_->PushEndOfStream(), S_OK);
  EXPECT_EQ(graph_.events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
}

TEST_F(RendererFilterTest, InputPinTakesSampleBatchesAndDescribesItself) {
  dshow::MediaType type;
  MakeVideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 8, 8, &type);
  ASSERT_EQ(ConnectSource(type.Get(), 256), S_OK);
  ASSERT_EQ(graph_.RunWithoutClock(), S_OK);

  const ComPtr<IPin> in = FirstPin(renderer_.Get(), PINDIR_INPUT);
  ComPtr<IMemInputPin> memory;
  ASSERT_EQ(in.As(&memory), S_OK);
  EXPECT_EQ(memory->ReceiveCanBlock(), S_OK);
  ComPtr<IMemAllocator> allocator;
  ASSERT_EQ(memory->GetAllocator(&allocator), S_OK);
  ComPtr<IMediaSample> samples[2];
  for (auto& sample : samples) {
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    sample->SetActualDataLength(256);
  }
  IMediaSample* batch[2] = {samples[0].Get(), samples[1].Get()};
  long processed = 0;
  EXPECT_EQ(memory->ReceiveMultiple(batch, 2, &processed), S_OK);
  EXPECT_EQ(processed, 2);
  EXPECT_EQ(probe_.FrameCount(), 2u);

  PIN_INFO info;
  ASSERT_EQ(in->QueryPinInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, L"In");
  EXPECT_EQ(info.dir, PINDIR_INPUT);
  EXPECT_EQ(info.pFilter, renderer_.Get());
  info.pFilter->Release();
  ComPtr<IPin> found;
  EXPECT_EQ(renderer_->FindPin(L"In", &found), S_OK);
  EXPECT_EQ(found, in);
  EXPECT_EQ(renderer_->FindPin(L"Out", &found), VFW_E_NOT_FOUND);
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(in->EnumMediaTypes(&types), S_OK);
  AM_MEDIA_TYPE* none = nullptr;
  EXPECT_EQ(types->Next(1, &none, nullptr), S_FALSE);  // no preferred types of its own
  AM_MEDIA_TYPE connection;
  ASSERT_EQ(in->ConnectionMediaType(&connection), S_OK);
  EXPECT_EQ(connection.subtype, MEDIASUBTYPE_RGB32);
  dshow::FreeMediaType(connection);
  FILTER_INFO filterInfo;
  ASSERT_EQ(renderer_->QueryFilterInfo(&filterInfo), S_OK);
  EXPECT_STREQ(filterInfo.achName, L"Pixora Renderer");
  EXPECT_NE(filterInfo.pGraph, nullptr);
  if (filterInfo.pGraph) filterInfo.pGraph->Release();
}

}  // namespace
}  // namespace pixora::test
