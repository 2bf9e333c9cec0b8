// Host-side cost per frame of Encode plus GetFrame/ReleaseFrame at 1920 x 1080, synchronous
// mode, against memcpy of one NV12 frame in the same run. The encode library stand-in is told
// to emit a fixed small picture and to finish at once, so its own encoding time stays out.
//
//   build/win64/wine-run.sh build/win64/gpucodec/run/gpucodec_encode_bench.exe [frames]

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gpucodec.h"

namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 3 / 2;

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring RunFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

bool EncodeOne(const std::vector<uint8_t>& pixels, uint64_t timestamp) {
  EncoderVideoFrame frame = {};
  frame.fourcc = GPUCODEC_FOURCC_NV12;
  frame.width = kWidth;
  frame.height = kHeight;
  frame.timestamp = timestamp;
  frame.pixels = pixels.data();
  if (Encode(0, &frame) != S_OK) return false;
  EncodedFrameInfo info = {};
  int taken = 0;
  while (GetFrame(0, &info) == S_OK) {
    ReleaseFrame(0, &info);
    ++taken;
  }
  return taken == 1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Fastest(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
  SetDllDirectoryW((RunFolder() + L"\\driver").c_str());
  SetEnvironmentVariableW(L"VEXTRA_NVIDIA_STANDIN", L"tiny=1;delay=0");
  const std::wstring settings = RunFolder() + L"\\encode-bench.ini";
  WritePrivateProfileStringW(L"AVC", L"AsyncMode", L"0", settings.c_str());

  Init(settings.c_str());
  EncoderVideoFrame format = {};
  format.fourcc = GPUCODEC_FOURCC_NV12;
  format.width = kWidth;
  format.height = kHeight;
  format.frameRate = 30;
  if (StartEncoding(0, &format) != S_OK) {
    std::fprintf(stderr, "StartEncoding failed\n");
    return 1;
  }
  std::vector<std::vector<uint8_t>> pictures(2, std::vector<uint8_t>(kFrameBytes));
  for (size_t i = 0; i < kFrameBytes; ++i) {
    pictures[0][i] = static_cast<uint8_t>(i * 7);
    pictures[1][i] = static_cast<uint8_t>(i * 13 + 5);
  }
  std::vector<uint8_t> target(kFrameBytes);
  for (int i = 0; i < 5; ++i) EncodeOne(pictures[i & 1], i);  // the IDR picture and warm-up

  // Rounds alternate the two, so that both see the same machine.
  std::vector<double> encodeTimes;
  std::vector<double> copyTimes;
  const int rounds = 20;
  const int perRound = std::max(1, frames / rounds);
  uint64_t timestamp = 100;
  for (int round = 0; round < rounds; ++round) {
    double start = Now();
    for (int i = 0; i < perRound; ++i) {
      if (!EncodeOne(pictures[i & 1], timestamp++)) {
        std::fprintf(stderr, "Encode failed\n");
        return 1;
      }
    }
    encodeTimes.push_back((Now() - start) / perRound);
    start = Now();
    for (int i = 0; i < perRound; ++i) {
      std::memcpy(target.data(), pictures[i & 1].data(), kFrameBytes);
      asm volatile("" : : "r"(target.data()) : "memory");
    }
    copyTimes.push_back((Now() - start) / perRound);
  }
  StopEncoding(0);
  Uninit();
  DeleteFileW(settings.c_str());

  // The fastest round is the least disturbed by other load on the machine.
  std::printf("%d frames per round x %d rounds, 1920x1080 NV12 (%zu bytes), synchronous mode\n",
              perRound, rounds, kFrameBytes);
  std::printf("                                 fastest round   median round (us per frame)\n");
  std::printf("Encode + GetFrame/ReleaseFrame: %14.1f %14.1f\n", Fastest(encodeTimes) * 1e6,
              Median(encodeTimes) * 1e6);
  std::printf("memcpy of one NV12 frame:       %14.1f %14.1f\n", Fastest(copyTimes) * 1e6,
              Median(copyTimes) * 1e6);
  std::printf("ratio to memcpy:                %14.2f %14.2f   (goal: at most 1.50)\n",
              Fastest(encodeTimes) / Fastest(copyTimes), Median(encodeTimes) / Median(copyTimes));
  return 0;
}
