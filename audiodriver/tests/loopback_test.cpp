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

  const auto tick = [&] {
    for (int wait = 0; renderQueue.Queued() < rate.perTick && wait < 5000; ++wait) std::this_thread::sleep_for(100us);
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

// In real time, on whatever the machine gives: every captured byte is a rendered byte in
// order; what is missing is exactly what the ring reports dropped; silence fills in where
// capture ran ahead of render.
TEST_P(Loopback, RealTimeWithClientThreads) {
  kstandin::UseRealClock();
  const Rate rate = GetParam();
  const std::vector<unsigned char> audio = Audio(rate.perTick * 100 * 3);
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
  std::this_thread::sleep_for(1s);
  ASSERT_EQ(render.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
  for (int i = 0; i < 200 && TheLoopbackRing().Held() > 0; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(TheLoopbackRing().Held(), 0u);
  ASSERT_EQ(capture.SetState(KSSTATE_STOP), STATUS_SUCCESS);
  const ULONGLONG dropped = TheLoopbackRing().Dropped() - droppedBefore;
  std::vector<unsigned char> captured = clients.Stop();
  const size_t rendered = renderQueue.Served();
  ASSERT_GT(rendered, rate.perTick * 50u);
  ASSERT_EQ(captureQueue.Overflowed(), 0u);

  captured.erase(std::remove(captured.begin(), captured.end(), 0), captured.end());
  size_t at = 0;  // in the rendered sequence
  ULONGLONG missing = 0;
  for (size_t i = 0; i < captured.size();) {
    const size_t window = std::min<size_t>(16, captured.size() - i);
    if (at + window <= rendered && std::equal(captured.begin() + i, captured.begin() + i + window, audio.begin() + at)) {
      ++i;
      ++at;
      continue;
    }
    size_t found = at + 1;
    while (found + window <= rendered &&
           !std::equal(captured.begin() + i, captured.begin() + i + window, audio.begin() + found))
      ++found;
    ASSERT_LE(found + window, rendered) << "captured bytes at " << i << " were never rendered after byte " << at;
    missing += found - at;
    at = found;
  }
  EXPECT_EQ(at, rendered) << "every rendered byte is captured or dropped";
  EXPECT_EQ(missing, dropped) << "what is missing is what the ring dropped";
}

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
  std::this_thread::sleep_for(30ms);
  EXPECT_GT(captureQueue.Served(), before);  // silence from here on
  capture.Close();
  clients.Stop();
}

}  // namespace
