#include "wave_test_support.h"

// The wave miniport's streams: which formats open a stream, the states, the positions the
// clock gives, and the DMA channel each stream emulates.
namespace {

using kstandin::Stream;

class WaveStreams : public WaveDeviceTest {};

// A stream of one direction at a time; the port's own instance count aside, the miniport
// refuses a second one itself.
TEST_F(WaveStreams, OneStreamPerDirection) {
  const KSDATAFORMAT_WAVEFORMATEX format = Cd();
  PMINIPORTWAVECYCLICSTREAM stream = nullptr;
  PDMACHANNEL dma = nullptr;
  PSERVICEGROUP group = nullptr;
  const auto newStream = [&](bool capture) {
    return miniport_->NewStream(&stream, nullptr, NonPagedPoolNx, capture ? 0 : 2, capture,
                                const_cast<PKSDATAFORMAT>(&format.DataFormat), &dma, &group);
  };
  ASSERT_EQ(Hex(newStream(false)), Hex(STATUS_SUCCESS));
  EXPECT_TRUE(miniport_->StreamOpen(false));
  EXPECT_FALSE(miniport_->StreamOpen(true));
  PMINIPORTWAVECYCLICSTREAM first = stream;
  PDMACHANNEL firstDma = dma;
  group->Release();
  EXPECT_EQ(Hex(newStream(false)), Hex(STATUS_INSUFFICIENT_RESOURCES));
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(dma, nullptr);
  EXPECT_EQ(group, nullptr);

  ASSERT_EQ(Hex(newStream(true)), Hex(STATUS_SUCCESS));
  EXPECT_TRUE(miniport_->StreamOpen(true));
  stream->Release();
  dma->Release();
  group->Release();
  EXPECT_FALSE(miniport_->StreamOpen(true));  // destroyed with its last reference

  // Each hand-out carries a reference of its own: the stream lives until the last goes.
  first->Release();
  EXPECT_TRUE(miniport_->StreamOpen(false));
  firstDma->Release();
  EXPECT_FALSE(miniport_->StreamOpen(false));
}

// A stream's slot is taken before the stream is made and given back only once its ring is
// gone, both under the format lock. Another opening of the same direction put in between two
// steps of the first (here on the same thread, which the lock lets in) finds the slot taken:
// it can neither open a second stream of the direction nor lose a ring it just found to the
// stream that is closing.
TEST_F(WaveStreams, OpeningsBetweenTheStepsOfAnotherFindTheSlotTaken) {
  const KSDATAFORMAT_WAVEFORMATEX format = Cd();
  struct Opened {
    NTSTATUS status = STATUS_UNSUCCESSFUL;  // not tried
    PMINIPORTWAVECYCLICSTREAM stream = nullptr;
    PDMACHANNEL dma = nullptr;
    PSERVICEGROUP group = nullptr;
    ~Opened() {
      if (stream != nullptr) stream->Release();
      if (dma != nullptr) dma->Release();
      if (group != nullptr) group->Release();
    }
  };
  const auto open = [&](bool capture, Opened& opened) {
    opened.status = miniport_->NewStream(&opened.stream, nullptr, NonPagedPoolNx, capture ? 0 : 2, capture,
                                         const_cast<PKSDATAFORMAT>(&format.DataFormat), &opened.dma, &opened.group);
  };

  Opened between;
  kstandin::OnNthAllocation(1, [&] { open(false, between); });  // while the first render stream is being made
  {
    Opened render;
    open(false, render);
    ASSERT_EQ(Hex(render.status), Hex(STATUS_SUCCESS));
    EXPECT_EQ(Hex(between.status), Hex(STATUS_INSUFFICIENT_RESOURCES));
  }

  Opened later;
  {
    Stream capture;
    ASSERT_EQ(OpenCapture(format, &capture), STATUS_SUCCESS);
    kstandin::OnFreeOf(capture.DmaChannel()->SystemAddress(), [&] { open(true, later); });  // while it closes
  }
  EXPECT_EQ(Hex(later.status), Hex(STATUS_INSUFFICIENT_RESOURCES));
  if (NT_SUCCESS(later.status)) {
    EXPECT_TRUE(TheLoopbackRing().Exists()) << "an open capture stream lost its ring";
  }
}

TEST_F(WaveStreams, FormatsOutsideTheLimitsAreRefused) {
  struct Case {
    const char* what;
    KSDATAFORMAT_WAVEFORMATEX format;
    NTSTATUS status;
  };
  std::vector<Case> cases = {
      {"44.1 kHz 16-bit stereo", Cd(), STATUS_SUCCESS},
      {"8-bit mono at 4000 Hz", PcmFormat(1, 4000, 8), STATUS_SUCCESS},
      {"12-bit stereo at 64000 Hz", PcmFormat(2, 64000, 12), STATUS_SUCCESS},
      {"no channels", PcmFormat(0, 44100, 16), STATUS_INVALID_PARAMETER},
      {"3 channels", PcmFormat(3, 44100, 16), STATUS_INVALID_PARAMETER},
      {"6 channels", PcmFormat(6, 48000, 16), STATUS_INVALID_PARAMETER},
      {"7 bits", PcmFormat(2, 44100, 7), STATUS_INVALID_PARAMETER},
      {"24 bits", PcmFormat(2, 44100, 24), STATUS_INVALID_PARAMETER},
      {"3999 Hz", PcmFormat(2, 3999, 16), STATUS_INVALID_PARAMETER},
      {"64001 Hz", PcmFormat(2, 64001, 16), STATUS_INVALID_PARAMETER},
  };
  KSDATAFORMAT_WAVEFORMATEX f = Cd();
  f.WaveFormatEx.cbSize = 22;
  cases.push_back({"cbSize 22", f, STATUS_INVALID_PARAMETER});
  f = Cd();
  f.WaveFormatEx.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  cases.push_back({"extensible tag", f, STATUS_INVALID_PARAMETER});
  f = Cd();
  f.WaveFormatEx.wFormatTag = 3;  // IEEE float
  cases.push_back({"float tag", f, STATUS_INVALID_PARAMETER});
  f = Cd();
  f.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_ANALOG;
  cases.push_back({"not PCM: outside the pin's range", f, STATUS_NO_MATCH});
  f = Cd();
  f.WaveFormatEx.nBlockAlign = 0;
  cases.push_back({"no block alignment", f, STATUS_INVALID_PARAMETER});
  f = Cd();
  f.WaveFormatEx.nBlockAlign = 3;
  cases.push_back({"frames not one sample per channel", f, STATUS_INVALID_PARAMETER});
  f = Cd();
  f.WaveFormatEx.nAvgBytesPerSec = 160000;
  cases.push_back({"byte rate not frames times rate", f, STATUS_INVALID_PARAMETER});
  // A data format that ends before its wave format: nothing past FormatSize is read.
  f = Cd();
  f.DataFormat.FormatSize = sizeof(KSDATAFORMAT) + sizeof(WAVEFORMATEX) - 1;
  cases.push_back({"wave format cut short", f, STATUS_INVALID_PARAMETER});

  for (const Case& c : cases) {
    Stream stream;
    EXPECT_EQ(Hex(OpenRender(c.format, &stream)), Hex(c.status)) << c.what;
    EXPECT_EQ(static_cast<bool>(stream), c.status == STATUS_SUCCESS) << c.what;
    EXPECT_EQ(miniport_->StreamOpen(false), c.status == STATUS_SUCCESS) << c.what;
  }
}

// The miniport itself, past the port's range check: what FindWaveFormat and CheckStreamFormat
// refuse.
TEST_F(WaveStreams, NewStreamChecksTheFormatItself) {
  struct DirectSoundFormat {
    KSDATAFORMAT format;
    ULONG flags;
    ULONG control;
    WAVEFORMATEX wave;
  };
  DirectSoundFormat dsound{Cd().DataFormat, 0, 0, Cd().WaveFormatEx};
  dsound.format.Specifier = KSDATAFORMAT_SPECIFIER_DSOUND;
  dsound.format.FormatSize = sizeof dsound;
  KSDATAFORMAT_WAVEFORMATEX other = Cd();
  other.DataFormat.MajorFormat = KSDATAFORMAT_SUBTYPE_PCM;
  KSDATAFORMAT_WAVEFORMATEX none = Cd();
  none.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_NONE;
  KSDATAFORMAT_WAVEFORMATEX analog = Cd();
  analog.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_ANALOG;
  KSDATAFORMAT_WAVEFORMATEX shortDsound = Cd();
  shortDsound.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_DSOUND;  // 88 bytes, the format would end at 90
  const struct {
    const char* what;
    const KSDATAFORMAT* format;
    NTSTATUS status;
  } cases[] = {
      {"DirectSound specifier: the format 8 bytes further on", &dsound.format, STATUS_SUCCESS},
      {"not audio", &other.DataFormat, STATUS_INVALID_PARAMETER},
      {"no specifier", &none.DataFormat, STATUS_INVALID_PARAMETER},
      {"analog", &analog.DataFormat, STATUS_INVALID_PARAMETER},
      {"DirectSound format cut short", &shortDsound.DataFormat, STATUS_INVALID_PARAMETER},
      {"no format", nullptr, STATUS_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    PMINIPORTWAVECYCLICSTREAM stream = nullptr;
    PDMACHANNEL dma = nullptr;
    PSERVICEGROUP group = nullptr;
    EXPECT_EQ(Hex(miniport_->NewStream(&stream, nullptr, NonPagedPoolNx, 2, FALSE, const_cast<PKSDATAFORMAT>(c.format),
                                       &dma, &group)),
              Hex(c.status))
        << c.what;
    if (stream != nullptr) stream->Release();
    if (dma != nullptr) dma->Release();
    if (group != nullptr) group->Release();
  }
}

TEST_F(WaveStreams, FramingFollowsTheFiltersRate) {
  Stream render;
  ASSERT_EQ(OpenRender(Dvd(), &render), STATUS_SUCCESS);
  EXPECT_EQ(render.FramingSize(), 1920u);  // 10 ms of 4-byte frames at 48 kHz
  EXPECT_EQ(miniport_->NotificationInterval(), 10u);
  EXPECT_EQ(miniport_->SamplingRate(), 48000u);
  ULONG framing = 0;
  EXPECT_EQ(render.MiniportStream()->SetNotificationFreq(3, &framing), 3u);
  EXPECT_EQ(framing, 576u);
}

// The ring between the streams is a FIFO of frames: while both directions are open they carry
// one format, and the filter's one rate is that format's. A stream or a format change that
// differs from the open other direction is no match; alone, a stream may take any format.
TEST_F(WaveStreams, RenderAndCaptureCarryOneFormat) {
  const KSDATAFORMAT_WAVEFORMATEX narrow = PcmFormat(1, 8000, 8);
  const KSDATAFORMAT_WAVEFORMATEX dvd = Dvd();
  Stream render;
  ASSERT_EQ(OpenRender(Dvd(), &render), STATUS_SUCCESS);
  Stream capture;
  EXPECT_EQ(Hex(OpenCapture(narrow, &capture)), Hex(STATUS_NO_MATCH));
  EXPECT_EQ(Hex(OpenCapture(Cd(), &capture)), Hex(STATUS_NO_MATCH));  // the rate alone differs
  EXPECT_EQ(Hex(OpenCapture(PcmFormat(2, 48000, 8), &capture)), Hex(STATUS_NO_MATCH));
  EXPECT_FALSE(miniport_->StreamOpen(true));
  EXPECT_EQ(miniport_->SamplingRate(), 48000u);

  ASSERT_EQ(Hex(render.SetFormat(&narrow.DataFormat)), Hex(STATUS_SUCCESS));  // alone: any format
  ASSERT_EQ(Hex(OpenCapture(narrow, &capture)), Hex(STATUS_SUCCESS));
  EXPECT_EQ(miniport_->SamplingRate(), 8000u);
  ULONG framing = 0;
  EXPECT_EQ(render.MiniportStream()->SetNotificationFreq(10, &framing), 10u);
  EXPECT_EQ(framing, 80u);
  for (kstandin::Stream* stream : {&render, &capture}) {
    EXPECT_EQ(Hex(stream->SetFormat(&dvd.DataFormat)), Hex(STATUS_NO_MATCH));
    EXPECT_EQ(miniport_->SamplingRate(), 8000u);
  }
  capture.Close();
  EXPECT_EQ(Hex(render.SetFormat(&dvd.DataFormat)), Hex(STATUS_SUCCESS));
  EXPECT_EQ(miniport_->SamplingRate(), 48000u);
}

TEST_F(WaveStreams, SetFormatIsRefusedWhileRunning) {
  Stream render;
  ASSERT_EQ(OpenRender(Cd(), &render, nullptr, 60000), STATUS_SUCCESS);
  Run(render);
  const KSDATAFORMAT_WAVEFORMATEX dvd = Dvd();
  EXPECT_EQ(Hex(render.SetFormat(&dvd.DataFormat)), Hex(STATUS_INVALID_DEVICE_REQUEST));
  EXPECT_EQ(miniport_->SamplingRate(), 44100u);
  kstandin::AdvanceClock(10 * kMillisecond);
  EXPECT_EQ(Position(render), 1764u);  // still 176 400 bytes a second

  ASSERT_EQ(render.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  EXPECT_EQ(Hex(render.SetFormat(&dvd.DataFormat)), Hex(STATUS_SUCCESS));
  EXPECT_EQ(miniport_->SamplingRate(), 48000u);
  KSDATAFORMAT_WAVEFORMATEX none = Cd();
  none.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_NONE;
  EXPECT_EQ(Hex(render.MiniportStream()->SetFormat(&none.DataFormat)), Hex(STATUS_INVALID_DEVICE_REQUEST));
  Run(render);
  kstandin::AdvanceClock(10 * kMillisecond);
  EXPECT_EQ(Position(render), 1764u + 1920u);
}

TEST_F(WaveStreams, PositionsFollowTheClock) {
  Stream render;
  ASSERT_EQ(OpenRender(Cd(), &render, nullptr, 60000), STATUS_SUCCESS);
  EXPECT_EQ(Position(render), 0u);
  Run(render);
  for (ULONG poll = 1; poll <= 4; ++poll) {
    kstandin::AdvanceClock(10 * kMillisecond);
    EXPECT_EQ(Position(render), 1764u * poll);
  }

  // Half-millisecond polls: every other one advances nothing, the others 176 or 177 bytes, and
  // one second of them adds up to the byte rate exactly.
  ULONG before = Position(render);
  ULONGLONG total = 0;
  for (int poll = 0; poll < 2000; ++poll) {
    kstandin::AdvanceClock(5000);
    const ULONG now = Position(render);
    const ULONG advanced = (now + 8820 - before) % 8820;
    if (poll % 2 == 0)
      EXPECT_EQ(advanced, 0u) << poll;
    else
      EXPECT_TRUE(advanced == 176 || advanced == 177) << poll << ": " << advanced;
    total += advanced;
    before = now;
  }
  EXPECT_EQ(total, 176400u);
}

TEST_F(WaveStreams, PositionWrapsAtTheBufferSize) {
  // 8000 bytes at 160 000 bytes a second (40 kHz) take 50 ms; then 10 ms at 176 400 add 1764.
  Stream render;
  ASSERT_EQ(OpenRender(PcmFormat(2, 40000, 16), &render, nullptr, 60000), STATUS_SUCCESS);
  EXPECT_EQ(render.BufferSize(), 8820u);
  Run(render);
  kstandin::AdvanceClock(50 * kMillisecond);
  ASSERT_EQ(Position(render), 8000u);
  ASSERT_EQ(render.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  const KSDATAFORMAT_WAVEFORMATEX cd = Cd();
  ASSERT_EQ(render.SetFormat(&cd.DataFormat), STATUS_SUCCESS);
  Run(render);
  kstandin::AdvanceClock(10 * kMillisecond);
  EXPECT_EQ(Position(render), 944u);
}

TEST_F(WaveStreams, StopResetsPauseFreezesRunRestartsTheClock) {
  Stream render;
  ASSERT_EQ(OpenRender(Cd(), &render, nullptr, 60000), STATUS_SUCCESS);
  IMiniportWaveCyclicStream* stream = render.MiniportStream();
  Run(render);
  kstandin::AdvanceClock(10 * kMillisecond + 5000);  // 10.5 ms: half a millisecond carried
  EXPECT_EQ(Position(render), 1764u);

  ASSERT_EQ(render.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  kstandin::AdvanceClock(100 * kMillisecond);
  EXPECT_EQ(Position(render), 1764u);  // frozen
  Run(render);                         // the clock restarts: the pause does not count
  kstandin::AdvanceClock(10 * kMillisecond);
  EXPECT_EQ(Position(render), 3528u);  // and the half millisecond was dropped with it

  EXPECT_EQ(stream->SetState(KSSTATE_RUN), STATUS_SUCCESS);  // the same state changes nothing
  EXPECT_EQ(Position(render), 3528u);
  ASSERT_EQ(render.SetState(KSSTATE_STOP), STATUS_SUCCESS);
  EXPECT_EQ(Position(render), 0u);
  kstandin::AdvanceClock(10 * kMillisecond);
  EXPECT_EQ(Position(render), 0u);
  // ACQUIRE counts as STOP; a state beyond RUN is kept without any action.
  EXPECT_EQ(stream->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
  EXPECT_EQ(stream->SetState(static_cast<KSSTATE>(7)), STATUS_SUCCESS);
  EXPECT_EQ(Position(render), 0u);
  EXPECT_EQ(stream->SetState(KSSTATE_STOP), STATUS_SUCCESS);
}

// The cases where each rule of the state changes shows: ACQUIRE stops a running or paused
// stream (position 0, no more service); RUN starts the time anew, so a pause taken half-way
// into a millisecond does not carry the half into the run after it; STOP forgets the
// thousandths of a byte.
TEST_F(WaveStreams, StateChangesResetWhatTheyShould) {
  kstandin::StreamBuffer queue(8192);
  const std::vector<unsigned char> bytes(8192, 0x11);
  ASSERT_EQ(queue.Write(bytes.data(), bytes.size(), std::chrono::milliseconds(0)), bytes.size());
  Stream render;
  ASSERT_EQ(OpenRender(Cd(), &render, &queue, 10), STATUS_SUCCESS);
  IMiniportWaveCyclicStream* stream = render.MiniportStream();
  for (KSSTATE from : {KSSTATE_RUN, KSSTATE_PAUSE}) {
    Run(render);
    kstandin::AdvanceClock(10 * kMillisecond);
    ASSERT_EQ(render.SetState(from), STATUS_SUCCESS);
    EXPECT_NE(Position(render), 0u);
    EXPECT_EQ(stream->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    EXPECT_EQ(Position(render), 0u) << from;
    const uint64_t served = queue.Served();
    kstandin::AdvanceClock(30 * kMillisecond);  // no timer left to ask for service
    EXPECT_EQ(queue.Served(), served) << from;
    EXPECT_EQ(stream->SetState(KSSTATE_STOP), STATUS_SUCCESS);  // already there
    ASSERT_EQ(render.SetState(KSSTATE_STOP), STATUS_SUCCESS);
  }

  Run(render);
  kstandin::AdvanceClock(10 * kMillisecond + 5000);
  EXPECT_EQ(Position(render), 1764u);  // read at 10.5 ms: half a millisecond carried
  ASSERT_EQ(render.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  Run(render);
  kstandin::AdvanceClock(9 * kMillisecond + 5000);  // 9.5 ms: 9 whole ones, not 10 with the carried half
  EXPECT_EQ(Position(render), 1764u + 1587u);

  ASSERT_EQ(render.SetState(KSSTATE_STOP), STATUS_SUCCESS);
  Run(render);
  kstandin::AdvanceClock(2 * kMillisecond);  // 352.8 bytes: 0.8 carried
  EXPECT_EQ(Position(render), 352u);
  ASSERT_EQ(render.SetState(KSSTATE_STOP), STATUS_SUCCESS);
  Run(render);
  kstandin::AdvanceClock(kMillisecond);  // 176.4 bytes, not 177.2
  EXPECT_EQ(Position(render), 176u);
}

// RUN sets the timer to expire at once, not one interval on: the capture stream's first
// expiry serves the whole group at the moment it starts, so the render stream running for
// 5 ms of its 10 ms interval has its 882 bytes moved then.
TEST_F(WaveStreams, TheFirstServiceComesAtRun) {
  kstandin::StreamBuffer queue(8192);
  const std::vector<unsigned char> bytes(8192, 0x11);
  ASSERT_EQ(queue.Write(bytes.data(), bytes.size(), std::chrono::milliseconds(0)), bytes.size());
  Stream render;
  Stream capture;
  ASSERT_EQ(OpenRender(Cd(), &render, &queue, 10), STATUS_SUCCESS);
  ASSERT_EQ(OpenCapture(Cd(), &capture, nullptr, 10), STATUS_SUCCESS);
  Run(render);
  kstandin::AdvanceClock(5 * kMillisecond);
  EXPECT_EQ(queue.Served(), 0u);
  Run(capture);
  EXPECT_EQ(queue.Served(), 882u);
}

// The adapter holds the wave miniport's service group: the miniport's reference, the
// adapter's and the one handed out with a stream.
TEST_F(WaveStreams, TheAdapterHoldsTheServiceGroup) {
  const KSDATAFORMAT_WAVEFORMATEX format = Cd();
  PMINIPORTWAVECYCLICSTREAM stream = nullptr;
  PDMACHANNEL dma = nullptr;
  PSERVICEGROUP group = nullptr;
  ASSERT_EQ(miniport_->NewStream(&stream, nullptr, NonPagedPoolNx, 2, FALSE, const_cast<PKSDATAFORMAT>(&format.DataFormat),
                                 &dma, &group),
            STATUS_SUCCESS);
  EXPECT_EQ(References(group), 3u);
  stream->Release();
  dma->Release();
  group->Release();
}

// Without an update for 25.01 s at 176 400 bytes a second the bytes counted exceed 32 bits,
// and after 429.5 s the elapsed time does; the position still lands where the clock says
// (25.01 s is 4 411 764 bytes: 1764 past a multiple of the buffer, and so is 500.01 s).
TEST_F(WaveStreams, LongGapsBetweenUpdatesKeepTheirBytes) {
  Stream render;
  ASSERT_EQ(OpenRender(Cd(), &render, nullptr, 1000000), STATUS_SUCCESS);  // no service in between
  Run(render);
  kstandin::AdvanceClock(25010 * kMillisecond);
  EXPECT_EQ(Position(render), 1764u);
  kstandin::AdvanceClock(500010 * kMillisecond);  // beyond 2^32 units of interrupt time
  EXPECT_EQ(Position(render), 3528u);
}

TEST_F(WaveStreams, NormalizePhysicalPosition) {
  Stream render;
  ASSERT_EQ(OpenRender(Dvd(), &render), STATUS_SUCCESS);
  IMiniportWaveCyclicStream* stream = render.MiniportStream();
  const struct {
    LONGLONG bytes;
    LONGLONG units;
  } cases[] = {{0, 0}, {4, 208}, {192000, 10000000}, {1920, 100000}, {-192000, -10000000}};
  for (const auto& c : cases) {
    LONGLONG position = c.bytes;
    EXPECT_EQ(stream->NormalizePhysicalPosition(&position), STATUS_SUCCESS);
    EXPECT_EQ(position, c.units) << c.bytes;
  }
  // A format without block alignment or rate is refused, and the position keeps the old one's.
  ASSERT_EQ(render.SetState(KSSTATE_STOP), STATUS_SUCCESS);
  for (auto [align, rate] : {std::pair<WORD, DWORD>{0, 48000}, {4, 0}}) {
    KSDATAFORMAT_WAVEFORMATEX broken = Dvd();
    broken.WaveFormatEx.nBlockAlign = align;
    broken.WaveFormatEx.nSamplesPerSec = rate;
    EXPECT_EQ(Hex(render.SetFormat(&broken.DataFormat)), Hex(STATUS_INVALID_DEVICE_REQUEST));
    LONGLONG position = 192000;
    EXPECT_EQ(Hex(stream->NormalizePhysicalPosition(&position)), Hex(STATUS_SUCCESS));
    EXPECT_EQ(position, 10000000);
  }
}

TEST_F(WaveStreams, SilenceByBitDepth) {
  // Samples above 8 bits are signed: silent at 0, whatever their depth.
  for (auto [bits, fill] : {std::pair<WORD, unsigned char>{16, 0x00}, {8, 0x80}, {9, 0x00}, {12, 0x00}, {15, 0x00}}) {
    Stream render;
    ASSERT_EQ(OpenRender(PcmFormat(2, 22050, bits), &render), STATUS_SUCCESS);
    std::vector<unsigned char> bytes(64, 0x5A);
    render.MiniportStream()->Silence(bytes.data() + 8, 40);
    std::vector<unsigned char> expected(64, 0x5A);
    std::fill(expected.begin() + 8, expected.begin() + 48, fill);
    EXPECT_EQ(bytes, expected) << bits;
    // and so is what a capture stream records from an empty ring
    Stream capture;
    ASSERT_EQ(OpenCapture(PcmFormat(2, 22050, bits), &capture), STATUS_SUCCESS);
    std::vector<unsigned char> recorded(10, 0x5A);
    capture.DmaChannel()->CopyFrom(recorded.data(), nullptr, 10);
    EXPECT_EQ(recorded, std::vector<unsigned char>(10, fill)) << bits;
  }
}

TEST_F(WaveStreams, DmaChannel) {
  Stream render;
  ASSERT_EQ(OpenRender(Cd(), &render), STATUS_SUCCESS);
  IDmaChannel* dma = render.DmaChannel();
  EXPECT_EQ(dma->BufferSize(), 8820u);
  EXPECT_EQ(dma->AllocatedBufferSize(), 8820u);
  EXPECT_EQ(dma->TransferCount(), 8820u);
  EXPECT_EQ(dma->MaximumBufferSize(), 8820u);
  EXPECT_EQ(dma->GetAdapterObject(), nullptr);
  PHYSICAL_ADDRESS physical{};
  EXPECT_EQ(dma->PhysicalAddress(&physical), &physical);
  EXPECT_EQ(physical.QuadPart, reinterpret_cast<LONGLONG>(dma->SystemAddress()));
  EXPECT_TRUE(kstandin::IsLiveBlock(dma->SystemAddress()));
  dma->SetBufferSize(9000);
  EXPECT_EQ(dma->BufferSize(), 8820u);
  dma->SetBufferSize(4000);
  EXPECT_EQ(dma->BufferSize(), 4000u);
  dma->SetBufferSize(6000);
  EXPECT_EQ(dma->BufferSize(), 4000u);

  // A buffer size of 0 leaves the position at 0 instead of dividing by it.
  dma->SetBufferSize(0);
  Run(render);
  kstandin::AdvanceClock(10 * kMillisecond);
  EXPECT_EQ(Position(render), 0u);
}

TEST_F(WaveStreams, InterfacesOfAStream) {
  Stream render;
  ASSERT_EQ(OpenRender(Cd(), &render), STATUS_SUCCESS);
  PUNKNOWN stream = render.MiniportStream();
  const ULONG before = References(stream);
  const struct {
    const IID* iid;
    PVOID expected;
  } answers[] = {{&IID_IUnknown, render.MiniportStream()},
                 {&IID_IMiniportWaveCyclicStream, render.MiniportStream()},
                 {&IID_IDmaChannel, render.DmaChannel()}};
  for (const auto& a : answers) {
    PVOID answer = nullptr;
    EXPECT_EQ(stream->QueryInterface(*a.iid, &answer), STATUS_SUCCESS);
    EXPECT_EQ(answer, a.expected);
    static_cast<PUNKNOWN>(answer)->Release();
  }
  for (const IID* iid : {&IID_IMiniport, &IID_IMiniportWaveCyclic, &IID_IServiceSink, &GUID_NULL}) {
    PVOID answer = reinterpret_cast<PVOID>(1);
    EXPECT_EQ(Hex(stream->QueryInterface(*iid, &answer)), Hex(STATUS_INVALID_PARAMETER));
    EXPECT_EQ(answer, nullptr);
  }
  EXPECT_EQ(References(stream), before);
}

// Every allocation of a stream's set-up failing alone: the open fails with
// STATUS_INSUFFICIENT_RESOURCES, nothing it allocated stays, and what the render stream
// already open owns (its slot, the ring it made) is left as it was.
TEST_F(WaveStreams, EachAllocationOfAStreamFailingAlone) {
  Stream render;
  ASSERT_EQ(OpenRender(Cd(), &render), STATUS_SUCCESS);
  const std::vector<unsigned char> held = {1, 2, 3, 4};
  render.DmaChannel()->CopyTo(nullptr, const_cast<unsigned char*>(held.data()), 4);
  ASSERT_EQ(TheLoopbackRing().Held(), 4u);

  int failures = 0;
  for (uint64_t n = 1;; ++n) {
    const uint64_t since = kstandin::AllocationSerial();
    kstandin::FailNthAllocation(n);
    Stream capture;
    const NTSTATUS status = OpenCapture(Cd(), &capture);
    kstandin::ClearPoolFaults();
    if (NT_SUCCESS(status)) {
      EXPECT_EQ(failures, 5);  // port stream, stream, buffer, DPC, timer
      break;
    }
    ++failures;
    SCOPED_TRACE(n);
    EXPECT_EQ(Hex(status), Hex(STATUS_INSUFFICIENT_RESOURCES));
    EXPECT_TRUE(kstandin::OutstandingBlocks(since).empty()) << kstandin::DescribeBlocks(kstandin::OutstandingBlocks(since));
    EXPECT_FALSE(miniport_->StreamOpen(true));
    EXPECT_TRUE(miniport_->StreamOpen(false));
    EXPECT_EQ(TheLoopbackRing().Held(), 4u);
    ASSERT_LT(n, 50u);
  }
}

// The first stream makes the ring, and a stream that fails its set-up takes down only a ring
// it made itself.
TEST_F(WaveStreams, AFailedFirstStreamLeavesNoRing) {
  for (const char* tag : {"MSVD", "GOV"}) {
    SCOPED_TRACE(tag);
    const ULONG poolTag = tag[0] == 'G' ? kRingStorePoolTag : kDataPoolTag;
    const uint64_t since = kstandin::AllocationSerial();
    kstandin::FailAllocationsTagged(poolTag);
    Stream capture;
    EXPECT_EQ(Hex(OpenCapture(Cd(), &capture)), Hex(STATUS_INSUFFICIENT_RESOURCES));
    kstandin::ClearPoolFaults();
    EXPECT_FALSE(TheLoopbackRing().Exists());
    EXPECT_TRUE(kstandin::OutstandingBlocks(since).empty()) << kstandin::DescribeBlocks(kstandin::OutstandingBlocks(since));
  }
}

// Closing a stream frees its buffer and with it the ring, whichever stream made it: what the
// render stream plays is dropped until a stream allocates a buffer again.
TEST_F(WaveStreams, ClosingTheCaptureStreamDestroysTheRing) {
  Stream render;
  Stream capture;
  ASSERT_EQ(OpenRender(Cd(), &render), STATUS_SUCCESS);
  ASSERT_EQ(OpenCapture(Cd(), &capture), STATUS_SUCCESS);
  unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  render.DmaChannel()->CopyTo(nullptr, bytes, 8);
  EXPECT_EQ(TheLoopbackRing().Held(), 8u);
  capture.Close();
  EXPECT_FALSE(TheLoopbackRing().Exists());
  render.DmaChannel()->CopyTo(nullptr, bytes, 8);  // dropped
  EXPECT_EQ(TheLoopbackRing().Held(), 0u);
  EXPECT_EQ(render.BufferSize(), 8820u);  // the render stream keeps its own buffer

  ASSERT_EQ(OpenCapture(Cd(), &capture), STATUS_SUCCESS);  // a new, empty ring
  EXPECT_EQ(TheLoopbackRing().Capacity(), 8820u);
  EXPECT_EQ(TheLoopbackRing().Held(), 0u);
  render.DmaChannel()->CopyTo(nullptr, bytes, 8);
  unsigned char taken[12];
  std::memset(taken, 0xEE, sizeof taken);
  capture.DmaChannel()->CopyFrom(taken, nullptr, 12);
  // What the ring lacks is silence, not what the destination held.
  const unsigned char expected[12] = {1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(taken, expected, 12), 0);
}

}  // namespace
