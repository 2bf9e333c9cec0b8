#include <atomic>
#include <thread>

#include "wave_test_support.h"

// Loopback end to end through the stand-in's port: a render client plays a known sequence on
// its own thread, a capture client records on another, and what comes out is what went in,
// in order, apart from what the ring dropped when capture fell behind.
namespace {

using kstandin::Stream;
using kstandin::StreamBuffer;
using namespace std::chrono_literals;

// Rendered bytes: never 0, the silence a starved capture stream records, and any 16 in a row
// occur once, so that each stretch of captured bytes tells where in the sequence it lies.
std::vector<unsigned char> Audio(size_t count) {
  std::vector<unsigned char> bytes(count);
  uint32_t state = 0x12345678;
  for (unsigned char& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<unsigned char>(1 + (state >> 24) % 255);
  }
  return bytes;
}

// Frames that name themselves: byte 0 of frame n holds n's lowest 7 bits with the top bit
// clear, each further byte the next 7 bits with the top bit set. A frame read from anywhere
// but its start, or one that is part audio and part silence, is no such frame.
unsigned char FrameByte(uint64_t at, ULONG frameSize) {
  const uint64_t frame = at / frameSize;
  const ULONG byte = static_cast<ULONG>(at % frameSize);
  const auto bits = static_cast<unsigned char>((frame >> (7 * byte)) & 0x7F);
  return byte == 0 ? bits : static_cast<unsigned char>(0x80 | bits);
}

std::vector<unsigned char> Frames(size_t count, ULONG frameSize) {
  std::vector<unsigned char> bytes(count);
  for (size_t at = 0; at < count; ++at) bytes[at] = FrameByte(at, frameSize);
  return bytes;
}

// Reads captured audio frame by frame. Every frame must be whole silence or a whole rendered
// frame, and the rendered ones must come in order; the frames skipped between them are counted.
class FrameReader {
 public:
  FrameReader(ULONG frameSize, unsigned char silence)
      : frameSize_(frameSize), silence_(silence), modulus_(uint64_t{1} << (7 * frameSize)) {}

  // False at the first frame that is neither, with `why` saying where. A stream stopped
  // part-way into a frame leaves the start of one at the end, which is not read.
  bool Read(const std::vector<unsigned char>& captured, std::string* why) {
    for (size_t at = 0; at + frameSize_ <= captured.size(); at += frameSize_) {
      const unsigned char* frame = captured.data() + at;
      if (std::all_of(frame, frame + frameSize_, [this](unsigned char b) { return b == silence_; })) {
        ++silent_;
        continue;
      }
      uint64_t index = 0;
      for (ULONG i = 0; i < frameSize_; ++i) {
        if (((frame[i] & 0x80) != 0) != (i != 0)) {
          *why = "the frame at byte " + std::to_string(at) + " is neither silence nor a rendered frame";
          return false;
        }
        index |= uint64_t{frame[i] & 0x7Fu} << (7 * i);
      }
      const uint64_t skipped = (index + modulus_ - next_ % modulus_) % modulus_;  // gaps are far below the modulus
      missing_ += skipped;
      next_ += skipped + 1;
      ++audible_;
    }
    return true;
  }

  uint64_t Next() const { return next_; }  // one past the last rendered frame seen
  uint64_t Missing() const { return missing_; }
  uint64_t Audible() const { return audible_; }
  uint64_t Silent() const { return silent_; }

 private:
  const ULONG frameSize_;
  const unsigned char silence_;
  const uint64_t modulus_;
  uint64_t next_ = 0;
  uint64_t missing_ = 0;
  uint64_t audible_ = 0;
  uint64_t silent_ = 0;
};

// An application that renders self-naming frames as fast as the port asks, and one that
// records everything, both in the port's service itself: on the hand clock nothing runs
// between services.
class FrameSource final : public kstandin::StreamClient {
 public:
  explicit FrameSource(ULONG frameSize) : frameSize_(frameSize) {}
  ULONG Render(void* data, ULONG count) override {
    auto* bytes = static_cast<unsigned char*>(data);
    for (ULONG i = 0; i < count; ++i) bytes[i] = FrameByte(rendered_++, frameSize_);
    return count;
  }
  void Capture(const void*, ULONG) override {}
  uint64_t Rendered() const { return rendered_; }

 private:
  const ULONG frameSize_;
  uint64_t rendered_ = 0;
};

class Recorder final : public kstandin::StreamClient {
 public:
  ULONG Render(void*, ULONG) override { return 0; }
  void Capture(const void* data, ULONG count) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    copies_.push_back(count);
    recorded_.insert(recorded_.end(), bytes, bytes + count);
  }
  const std::vector<unsigned char>& Recorded() const { return recorded_; }
  const std::vector<ULONG>& Copies() const { return copies_; }

 private:
  std::vector<unsigned char> recorded_;
  std::vector<ULONG> copies_;
};

// The two application threads: one writes `audio` into the render queue as fast as it takes
// it, one reads the capture queue into `captured`.
class Clients {
 public:
  Clients(const std::vector<unsigned char>& audio, StreamBuffer& render, StreamBuffer& capture)
      : writer_([&audio, &render, this] {
          size_t at = 0;
          while (at < audio.size() && !stop_) at += render.Write(audio.data() + at, audio.size() - at, 5ms);
        }),
        reader_([&capture, this] {
          unsigned char chunk[4096];
          for (;;) {
            const size_t got = capture.Read(chunk, sizeof chunk, 2ms);
            captured_.insert(captured_.end(), chunk, chunk + got);
            if (got == 0 && stop_) break;
          }
        }) {}
  ~Clients() { Stop(); }

  // Joins both threads; what was captured is the caller's from here.
  std::vector<unsigned char>& Stop() {
    stop_ = true;
    if (writer_.joinable()) writer_.join();
    if (reader_.joinable()) reader_.join();
    return captured_;
  }

 private:
  std::atomic<bool> stop_{false};
  std::vector<unsigned char> captured_;
  std::thread writer_;
  std::thread reader_;
};

struct Rate {
  const char* name;
  KSDATAFORMAT_WAVEFORMATEX format;
  ULONG perTick;  // bytes in 10 ms
};

class Loopback : public WaveDeviceTest, public ::testing::WithParamInterface<Rate> {};

// With the clock moved by hand both streams see the same time in every service, and render is
// served first: capture takes exactly what render appended. Pausing capture for k ticks lets
// the ring overflow: it keeps its 8820 newest bytes, and the tick that resumes capture drops
// one tick more before capture takes.
TEST_P(Loopback, EveryByteInOrderAndOnlyTheOverflowDropped) {
  const Rate rate = GetParam();
  constexpr int kBefore = 40, kPaused = 8, kAfter = 20;
  const std::vector<unsigned char> audio = Audio(rate.perTick * (kBefore + kPaused + kAfter + 10));
  StreamBuffer renderQueue(16 * 1024);
  StreamBuffer captureQueue(audio.size());
  Stream render;
  Stream capture;
  ASSERT_EQ(OpenRender(rate.format, &render, &renderQueue), STATUS_SUCCESS);
  ASSERT_EQ(OpenCapture(rate.format, &capture, &captureQueue), STATUS_SUCCESS);
  const ULONGLONG droppedBefore = TheLoopbackRing().Dropped();
  Clients clients(audio, renderQueue, captureQueue);

  // The writer is never far behind; it is waited for however long the machine makes it take.
  const auto tick = [&] {
    while (renderQueue.Queued() < rate.perTick) std::this_thread::sleep_for(100us);
    kstandin::AdvanceClock(10 * kMillisecond);
  };
  Run(render);
  Run(capture);
  for (int i = 0; i < kBefore; ++i) tick();
  ASSERT_EQ(captureQueue.Served(), rate.perTick * kBefore);
  ASSERT_EQ(capture.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  for (int i = 0; i < kPaused; ++i) tick();
  EXPECT_EQ(TheLoopbackRing().Held(), 8820u);
  Run(capture);
  for (int i = 0; i < kAfter; ++i) tick();
  ASSERT_EQ(render.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  for (int i = 0; i < 10 && TheLoopbackRing().Held() > 0; ++i) tick();
  ASSERT_EQ(TheLoopbackRing().Held(), 0u);
  const ULONGLONG dropped = TheLoopbackRing().Dropped() - droppedBefore;
  const std::vector<unsigned char>& captured = clients.Stop();

  EXPECT_EQ(renderQueue.Starved(), 0u);
  EXPECT_EQ(captureQueue.Overflowed(), 0u);
  const size_t rendered = renderQueue.Served();
  ASSERT_EQ(rendered, size_t{rate.perTick} * (kBefore + kPaused + kAfter));
  const size_t drop = rate.perTick * (kPaused + 1) - 8820;
  EXPECT_EQ(dropped, drop);
  std::vector<unsigned char> expected(audio.begin(), audio.begin() + rate.perTick * kBefore);
  expected.insert(expected.end(), audio.begin() + rate.perTick * kBefore + drop, audio.begin() + rendered);
  ASSERT_GE(captured.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), captured.begin()));
  EXPECT_TRUE(std::all_of(captured.begin() + expected.size(), captured.end(), [](unsigned char b) { return b == 0; }))
      << "after the ring ran dry capture records silence";
}

// In real time, on whatever the machine gives: every captured frame is a whole rendered frame
// in order or a whole frame of silence, and what is missing is exactly what the ring dropped.
// The waits are for what they wait for, not for a time, so a loaded machine only slows it.
TEST_P(Loopback, RealTimeWithClientThreads) {
  kstandin::UseRealClock();
  const Rate rate = GetParam();
  const ULONG frameSize = rate.format.WaveFormatEx.nBlockAlign;
  const std::vector<unsigned char> audio = Frames(rate.perTick * 100 * 3, frameSize);
  StreamBuffer renderQueue(16 * 1024);
  StreamBuffer captureQueue(audio.size());
  Stream render;
  Stream capture;
  ASSERT_EQ(OpenRender(rate.format, &render, &renderQueue), STATUS_SUCCESS);
  ASSERT_EQ(OpenCapture(rate.format, &capture, &captureQueue), STATUS_SUCCESS);
  const ULONGLONG droppedBefore = TheLoopbackRing().Dropped();
  Clients clients(audio, renderQueue, captureQueue);
  ASSERT_EQ(render.SetState(KSSTATE_RUN), STATUS_SUCCESS);
  ASSERT_EQ(capture.SetState(KSSTATE_RUN), STATUS_SUCCESS);
  while (renderQueue.Served() < rate.perTick * 50u) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(render.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  while (TheLoopbackRing().Held() > 0) std::this_thread::sleep_for(5ms);
  // one more frame's worth recorded: a frame capture was part-way into is then whole
  const uint64_t drained = captureQueue.Served();
  while (captureQueue.Served() < drained + frameSize) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(capture.SetState(KSSTATE_STOP), STATUS_SUCCESS);
  const ULONGLONG dropped = TheLoopbackRing().Dropped() - droppedBefore;
  const std::vector<unsigned char>& captured = clients.Stop();
  const size_t rendered = renderQueue.Served();
  ASSERT_EQ(captureQueue.Overflowed(), 0u);

  FrameReader reader(frameSize, 0x00);
  std::string why;
  ASSERT_TRUE(reader.Read(captured, &why)) << why;
  EXPECT_EQ(reader.Next(), rendered / frameSize) << "every whole frame rendered is captured or dropped";
  EXPECT_EQ(reader.Missing() * frameSize, dropped) << "what is missing is what the ring dropped";
}

struct Framing {
  const char* name;
  KSDATAFORMAT_WAVEFORMATEX format;
};

class WholeFrames : public WaveDeviceTest, public ::testing::WithParamInterface<Framing> {};

// The port copies what the position passed, and at 44.1 kHz with 3 ms between services that
// is 529.2 bytes of stereo (264.6 of mono), so copies end part-way into frames on both sides.
// The ring overflows while capture pauses, runs dry while render pauses, and is made anew when
// capture closes and opens again while render runs; through all of it capture records only
// whole rendered frames, in order, and whole frames of silence, and what is missing is
// exactly what the ring dropped or held when it went.
TEST_P(WholeFrames, ThroughOverflowUnderrunAndANewRing) {
  const KSDATAFORMAT_WAVEFORMATEX format = GetParam().format;
  const ULONG frameSize = format.WaveFormatEx.nBlockAlign;
  FrameSource source(frameSize);
  Recorder first;
  Recorder second;
  Stream render;
  Stream capture;
  ASSERT_EQ(OpenRender(format, &render, &source, 3), STATUS_SUCCESS);
  ASSERT_EQ(OpenCapture(format, &capture, &first, 3), STATUS_SUCCESS);
  const ULONGLONG droppedBefore = TheLoopbackRing().Dropped();
  const auto ticks = [](int count) {
    for (int i = 0; i < count; ++i) kstandin::AdvanceClock(3 * kMillisecond);
  };
  Run(render);
  Run(capture);
  ticks(10);
  ASSERT_EQ(capture.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  ticks(40);  // 10 584 bytes of mono for a ring of 8820: it overflows
  EXPECT_GT(TheLoopbackRing().Dropped(), droppedBefore);
  Run(capture);
  ticks(10);
  ASSERT_EQ(render.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  ticks(25);  // capture runs dry and records silence
  Run(render);
  ticks(10);
  const ULONGLONG lostWithTheRing = TheLoopbackRing().Held();
  capture.Close();  // the ring goes; the next capture stream makes a new one
  ASSERT_EQ(OpenCapture(format, &capture, &second, 3), STATUS_SUCCESS);
  Run(capture);
  ticks(10);
  ASSERT_EQ(render.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  ticks(25);
  ASSERT_EQ(TheLoopbackRing().Held(), 0u);
  ASSERT_EQ(capture.SetState(KSSTATE_STOP), STATUS_SUCCESS);
  const ULONGLONG dropped = TheLoopbackRing().Dropped() - droppedBefore;

  EXPECT_TRUE(std::any_of(first.Copies().begin(), first.Copies().end(), [&](ULONG n) { return n % frameSize != 0; }))
      << "the copies should not all be whole frames";
  FrameReader reader(frameSize, format.WaveFormatEx.wBitsPerSample > 8 ? 0x00 : 0x80);
  std::string why;
  EXPECT_TRUE(reader.Read(first.Recorded(), &why)) << "first capture stream: " << why;
  EXPECT_TRUE(reader.Read(second.Recorded(), &why)) << "second capture stream: " << why;
  EXPECT_GT(reader.Silent(), 0u);
  // Closed part-way into a frame, the first stream also took the rest of that frame with it.
  const ULONGLONG cut = first.Recorded().size() % frameSize != 0 ? frameSize : 0;
  EXPECT_GE(reader.Missing() * frameSize, dropped + lostWithTheRing);
  EXPECT_LE(reader.Missing() * frameSize, dropped + lostWithTheRing + cut);
  EXPECT_EQ(reader.Next(), source.Rendered() / frameSize) << "every whole frame rendered is accounted for";
}

INSTANTIATE_TEST_SUITE_P(Formats, WholeFrames,
                         ::testing::Values(Framing{"Stereo16", Cd()}, Framing{"Mono16", PcmFormat(1, 44100, 16)},
                                           Framing{"Stereo8", PcmFormat(2, 44100, 8)}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Rates, Loopback,
                         ::testing::Values(Rate{"CD", Cd(), 1764}, Rate{"DVD", Dvd(), 1920}),
                         [](const auto& info) { return std::string(info.param.name); });

// Streams open and close in the middle of each other's run, on the real clock: closing capture
// takes the ring down under the render service, and closing render leaves capture recording
// silence. Nothing crashes, races or leaks.
TEST_F(WaveDeviceTest, ClosingEitherStreamMidStreamIsSafe) {
  kstandin::UseRealClock();
  const std::vector<unsigned char> audio = Audio(1764 * 100 * 2);
  StreamBuffer renderQueue(16 * 1024);
  StreamBuffer captureQueue(audio.size() * 2);
  Stream render;
  ASSERT_EQ(OpenRender(Cd(), &render, &renderQueue), STATUS_SUCCESS);
  Clients clients(audio, renderQueue, captureQueue);
  ASSERT_EQ(render.SetState(KSSTATE_RUN), STATUS_SUCCESS);
  for (int round = 0; round < 20; ++round) {
    Stream capture;
    ASSERT_EQ(OpenCapture(Cd(), &capture, &captureQueue), STATUS_SUCCESS);
    ASSERT_TRUE(TheLoopbackRing().Exists());
    ASSERT_EQ(capture.SetState(KSSTATE_RUN), STATUS_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 4 * 7));
    capture.Close();  // the render service keeps appending to no ring
    EXPECT_FALSE(TheLoopbackRing().Exists());
  }
  Stream capture;
  ASSERT_EQ(OpenCapture(Cd(), &capture, &captureQueue), STATUS_SUCCESS);
  ASSERT_EQ(capture.SetState(KSSTATE_RUN), STATUS_SUCCESS);
  std::this_thread::sleep_for(30ms);
  render.Close();
  const uint64_t before = captureQueue.Served();
  while (captureQueue.Served() == before) std::this_thread::sleep_for(1ms);  // silence from here on
  capture.Close();
  clients.Stop();
}

}  // namespace
