#pragma once

#include <chrono>
#include <thread>

#include "driver_test_support.h"
#include "kernel_standin/clock.h"
#include "kernel_standin/stream_buffer.h"
#include "kernel_standin/wave_cyclic_port.h"
#include "loopback_ring.h"
#include "pool.h"
#include "wave_descriptor.h"
#include "wave_miniport.h"
#include "wave_stream.h"

// What the wave tests share: PCM formats as clients build them, and a started device whose
// wave filter opens streams through the stand-in's WaveCyclic port.

inline constexpr ULONGLONG kMillisecond = 10000;  // interrupt time counts 100 ns

// A KSDATAFORMAT with its WAVEFORMATEX, as a client opens a pin with it.
inline KSDATAFORMAT_WAVEFORMATEX PcmFormat(WORD channels, DWORD rate, WORD bits) {
  const WORD align = static_cast<WORD>(channels * ((bits + 7) / 8));
  return {{sizeof(KSDATAFORMAT_WAVEFORMATEX), 0, align, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
           KSDATAFORMAT_SPECIFIER_WAVEFORMATEX},
          {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0}};
}

inline KSDATAFORMAT_WAVEFORMATEX Cd() { return PcmFormat(2, 44100, 16); }     // 176 400 bytes a second
inline KSDATAFORMAT_WAVEFORMATEX Dvd() { return PcmFormat(2, 48000, 16); }    // 192 000 bytes a second

// The driver's objects behind a stream the port opened.
inline WaveStream* DriverStream(const kstandin::Stream& stream) {
  return static_cast<WaveStream*>(stream.MiniportStream());
}

// A started device with its wave filter; interrupt time moves by hand unless a test lets it
// run. Removal at the end must leave nothing behind.
class WaveDeviceTest : public StartedDeviceTest {
 protected:
  void SetUp() override {
    kstandin::UseHandClock(1000 * kMillisecond);
    StartedDeviceTest::SetUp();
    port_ = device_.FindWaveCyclicPort(u"Wave");
    ASSERT_NE(port_, nullptr);
    IMiniportWaveCyclic* miniport = nullptr;
    ASSERT_EQ(port_->MiniportUnknown()->QueryInterface(IID_IMiniportWaveCyclic, reinterpret_cast<PVOID*>(&miniport)),
              STATUS_SUCCESS);
    miniport->Release();  // the port holds it
    miniport_ = static_cast<WaveMiniport*>(miniport);
  }
  void TearDown() override {
    StartedDeviceTest::TearDown();
    kstandin::UseRealClock();
  }

  NTSTATUS Open(ULONG pin, const KSDATAFORMAT_WAVEFORMATEX& format, kstandin::Stream* stream,
                kstandin::StreamClient* client = nullptr, ULONG notificationMs = 10) {
    return port_->OpenStream(pin, &format.DataFormat, client, stream, notificationMs);
  }
  NTSTATUS OpenRender(const KSDATAFORMAT_WAVEFORMATEX& format, kstandin::Stream* stream,
                      kstandin::StreamClient* client = nullptr, ULONG notificationMs = 10) {
    return Open(kWaveRenderStreamPin, format, stream, client, notificationMs);
  }
  NTSTATUS OpenCapture(const KSDATAFORMAT_WAVEFORMATEX& format, kstandin::Stream* stream,
                       kstandin::StreamClient* client = nullptr, ULONG notificationMs = 10) {
    return Open(kWaveCaptureStreamPin, format, stream, client, notificationMs);
  }

  // Runs the stream and settles the timer expiry that RUN brings at once.
  static void Run(kstandin::Stream& stream) {
    ASSERT_EQ(Hex(stream.SetState(KSSTATE_RUN)), Hex(STATUS_SUCCESS));
    kstandin::AdvanceClock(0);
  }

  static ULONG Position(const kstandin::Stream& stream) {
    ULONG position = ~0u;
    EXPECT_EQ(stream.Position(&position), STATUS_SUCCESS);
    return position;
  }

  kstandin::WaveCyclicPort* port_ = nullptr;
  WaveMiniport* miniport_ = nullptr;
};
