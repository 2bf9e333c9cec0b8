// Figures of the loopback path, on the kernel stand-in:
//  1. a simulated hour of rendering, the clock moved by hand with a poll every notification
//     interval: the bytes the position advanced against the ideal byte count;
//  2. in real time, both streams running through the port's service: the process CPU time per
//     second of audio, against the same bytes copied by memcpy in the same run.
// usage: audiodriver_loopback_bench [REAL_TIME_SECONDS]   (default 10)

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "audio_adapter.h"
#include "driver_entry.h"
#include "kernel_standin/clock.h"
#include "kernel_standin/device.h"
#include "kernel_standin/wave_cyclic_port.h"
#include "wave_descriptor.h"

namespace {

constexpr ULONGLONG kUnitsPerSecond = 10000000;

KSDATAFORMAT_WAVEFORMATEX Pcm(DWORD rate) {
  return {{sizeof(KSDATAFORMAT_WAVEFORMATEX), 0, 4, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
           KSDATAFORMAT_SPECIFIER_WAVEFORMATEX},
          {WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0}};
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A render application that always has audio ready, and a capture application that takes
// whatever comes; both count.
struct Player final : kstandin::StreamClient {
  explicit Player(size_t size) : audio(size) {
    for (size_t i = 0; i < size; ++i) audio[i] = static_cast<unsigned char>(1 + i % 251);
  }
  ULONG Render(void* data, ULONG count) override {
    std::memcpy(data, audio.data(), count);
    rendered += count;
    return count;
  }
  void Capture(const void*, ULONG count) override { captured += count; }
  std::vector<unsigned char> audio;
  unsigned long long rendered = 0;
  unsigned long long captured = 0;
};

struct Recorder final : kstandin::StreamClient {
  ULONG Render(void*, ULONG) override { return 0; }
  void Capture(const void* data, ULONG count) override {
    std::memcpy(sink.data(), data, count);
    captured += count;
  }
  std::vector<unsigned char> sink = std::vector<unsigned char>(8820);
  unsigned long long captured = 0;
};

bool SimulatedHour(const char* name, DWORD rate, ULONG intervalMs) {
  kstandin::UseHandClock(kUnitsPerSecond);
  kstandin::Device device(DriverEntry);
  if (!NT_SUCCESS(device.Start())) return false;
  kstandin::WaveCyclicPort* port = device.FindWaveCyclicPort(u"Wave");
  Player player(8820);
  const KSDATAFORMAT_WAVEFORMATEX format = Pcm(rate);
  {
    kstandin::Stream render;
    if (!NT_SUCCESS(port->OpenStream(kWaveRenderStreamPin, &format.DataFormat, &player, &render, intervalMs)))
      return false;
    render.SetState(KSSTATE_RUN);
    const auto start = std::chrono::steady_clock::now();
    kstandin::AdvanceClock(3600 * kUnitsPerSecond);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const unsigned long long ideal = 3600ull * rate * 4;
    std::printf("%-34s %9.0f polls  moved %11llu bytes, ideal %11llu: error %+lld bytes  (%.1f s)\n", name,
                3600.0 * 1000 / intervalMs, player.rendered, ideal,
                static_cast<long long>(player.rendered) - static_cast<long long>(ideal), wall);
  }
  return device.Remove().Clean();
}

bool RealTime(double seconds) {
  kstandin::UseRealClock();
  kstandin::Device device(DriverEntry);
  if (!NT_SUCCESS(device.Start())) return false;
  kstandin::WaveCyclicPort* port = device.FindWaveCyclicPort(u"Wave");
  Player player(8820);
  Recorder recorder;
  const KSDATAFORMAT_WAVEFORMATEX format = Pcm(48000);
  double cpu = 0;
  {
    kstandin::Stream render;
    kstandin::Stream capture;
    if (!NT_SUCCESS(port->OpenStream(kWaveRenderStreamPin, &format.DataFormat, &player, &render)) ||
        !NT_SUCCESS(port->OpenStream(kWaveCaptureStreamPin, &format.DataFormat, &recorder, &capture)))
      return false;
    const double before = CpuSeconds();
    render.SetState(KSSTATE_RUN);
    capture.SetState(KSSTATE_RUN);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    render.SetState(KSSTATE_STOP);
    capture.SetState(KSSTATE_STOP);
    cpu = CpuSeconds() - before;
  }
  if (!device.Remove().Clean()) return false;

  // The same bytes copied twice (into the ring and out of it) by memcpy, 10 ms at a time.
  const unsigned long long bytes = player.rendered;
  std::vector<unsigned char> from(1920), ring(8820), to(1920);
  const double memcpyBefore = CpuSeconds();
  for (unsigned long long done = 0; done < bytes; done += 1920) {
    std::memcpy(ring.data(), from.data(), 1920);
    std::memcpy(to.data(), ring.data(), 1920);
    __asm__ volatile("" : : "r"(to.data()) : "memory");
  }
  const double copies = CpuSeconds() - memcpyBefore;

  const double audio = static_cast<double>(bytes) / (48000.0 * 4);
  std::printf("real time, 48 kHz 16-bit stereo, render and capture, %.1f s of audio:\n", audio);
  std::printf("  rendered %llu bytes, captured %llu (%llu still to come or dropped)\n", player.rendered,
              recorder.captured, player.rendered - std::min(player.rendered, recorder.captured));
  std::printf("  CPU per second of audio: %.3f ms (%.4f %% of one core)\n", cpu / audio * 1e3, cpu / audio * 100);
  std::printf("  memcpy of the same bytes in and out: %.4f ms per second of audio; the path costs %.0fx that\n",
              copies / audio * 1e3, copies > 0 ? cpu / copies : 0.0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  std::printf("simulated hour of rendering, hand clock:\n");
  const bool ok = SimulatedHour("48 kHz 16-bit stereo, 10 ms polls", 48000, 10) &&
                  SimulatedHour("44.1 kHz 16-bit stereo, 10 ms polls", 44100, 10) &&
                  SimulatedHour("44.1 kHz 16-bit stereo, 3 ms polls", 44100, 3) && RealTime(seconds);
  if (!ok) {
    std::fprintf(stderr, "the device or a stream did not start, or removal left something behind\n");
    return 1;
  }
  return 0;
}
