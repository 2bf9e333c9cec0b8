// The encoding session against the graphics-driver stand-ins: every open failure, device
// choice, what the driver is configured with, the buffer ring, output collection in both
// modes, and the copy into the driver's buffers.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gpucodec.h"
#include "nv_encode_api.h"
#include "plugin_fixture.h"

namespace gpucodec_test {
namespace {

using nvstandin::Call;
using nvstandin::NvidiaProbe;

using Session = PluginTest;

void ExpectNothingAlive(const nvstandin::StandinRecord& record, const char* context) {
  EXPECT_EQ(record.liveContexts, 0) << context;
  EXPECT_EQ(record.liveSessions, 0) << context;
  EXPECT_EQ(record.liveInputBuffers, 0) << context;
  EXPECT_EQ(record.liveBitstreamBuffers, 0) << context;
  EXPECT_EQ(record.liveEvents, 0) << context;
  EXPECT_EQ(GetModuleHandleW(L"nvEncodeAPI.dll"), nullptr) << context;
}

TEST_F(Session, EveryOpenFailureLeavesNothingAfterTheNextClose) {
  const struct {
    const wchar_t* folder;
    const char* config;
    const wchar_t* name;
  } cases[] = {
      {L"driver-none", "", L"GPUCODEC_ERR_API_LOADLIBRARY_FAILED"},
      {L"driver-noversion", "", L"GPUCODEC_ERR_API_GPUCODECODEAPIGETMAXSUPPORTEDVERSION_NOT_FOUND"},
      {L"driver", "maxversion=6.0", L"GPUCODEC_ERR_API_CURRENT_DRIVER_VERSION_IS_NOT_SUPPORTED"},
      // 7.0 or newer as major x 16 + minor: 6.1 and 6.15 are older, whatever a decimal reading says.
      {L"driver", "maxversion=6.1", L"GPUCODEC_ERR_API_CURRENT_DRIVER_VERSION_IS_NOT_SUPPORTED"},
      {L"driver", "maxversion=6.15", L"GPUCODEC_ERR_API_CURRENT_DRIVER_VERSION_IS_NOT_SUPPORTED"},
      {L"driver", "fail=NvEncodeAPIGetMaxSupportedVersion:20",
       L"GPUCODEC_ERR_API_CURRENT_DRIVER_VERSION_IS_NOT_SUPPORTED"},
      {L"driver-nocreate", "", L"GPUCODEC_ERR_API_GPUCODECODEAPICREATEINSTANCE_NOT_FOUND"},
      {L"driver", "fail=NvEncodeAPICreateInstance:20", L"GPUCODEC_ERR_API_GPUCODECODEAPICREATEINSTANCE_FAILED"},
      {L"driver", "fail=cuInit:3", L"GPUCODEC_ERR_CUINIT_FAILED"},
      {L"driver", "fail=cuDeviceGetCount:999", L"GPUCODEC_ERR_CUDEVICEGETCOUNT_FAILED"},
      {L"driver", "devices=", L"GPUCODEC_ERR_UNSUPPORTED"},
      {L"driver", "fail=cuDeviceGet:101", L"GPUCODEC_ERR_CUDEVICEGET_FAILED"},
      {L"driver", "fail=cuDeviceGet:101@2", L"GPUCODEC_ERR_CUDEVICEGET_FAILED"},
      {L"driver", "fail=cuDeviceComputeCapability:1", L"GPUCODEC_ERR_CUDEVICECOMPUTECAPABILITY_FAILED"},
      {L"driver", "fail=cuDeviceGetName:1", L"GPUCODEC_ERR_CUDEVICEGETNAME_FAILED"},
      {L"driver", "fail=cuCtxCreate_v2:2", L"GPUCODEC_ERR_CUCTXCREATE_FAILED"},
      {L"driver", "fail=cuCtxPopCurrent_v2:201", L"GPUCODEC_ERR_CUCTXPOPCURRENT_FAILED"},
      {L"driver", "fail=nvEncOpenEncodeSessionEx:4", L"GPUCODEC_ERR_GPUCODECOPENENCODESESSIONEX_FAILED"},
      {L"driver", "fail=nvEncGetEncodePresetConfig:8", L"GPUCODEC_ERR_GPUCODECGETENCODEPRESETCONFIG_FAILED"},
      {L"driver", "fail=nvEncInitializeEncoder:8", L"GPUCODEC_ERR_GPUCODECINITIALIZEENCODER_FAILED"},
      {L"driver", "fail=nvEncGetSequenceParams:8", L"GPUCODEC_ERR_GPUCODECGETSEQUENCEPARAMS_FAILED"},
      {L"driver", "sequence=oversize", L"GPUCODEC_ERR_INVALID_SEQUENCE_PARAMS"},
      {L"driver", "sequence=nopps", L"GPUCODEC_ERR_INVALID_SEQUENCE_PARAMS"},
      {L"driver", "fail=nvEncCreateInputBuffer:10@5", L"GPUCODEC_ERR_GPUCODECCREATEINPUTBUFFER_FAILED"},
      {L"driver", "fail=nvEncCreateBitstreamBuffer:10@5", L"GPUCODEC_ERR_GPUCODECCREATEBITSTREAMBUFFER_FAILED"},
      {L"driver", "fail=nvEncRegisterAsyncEvent:7@3", L"GPUCODEC_ERR_GPUCODECREGISTERASYNCEVENT_FAILED"},
  };
  for (const auto& c : cases) {
    probe_.Reset();
    UseDriverFolder(c.folder);
    NvidiaProbe::Configure(c.config);
    EXPECT_EQ(Start(320, 240), E_FAIL) << c.config;
    EXPECT_EQ(LastErrorName(), c.name) << c.config;
    // A failed open takes no frames, whatever it had created.
    EXPECT_EQ(EncodePattern(320, 240, 0, 0), E_FAIL) << c.config;
    EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_BUSY") << c.config;
    EXPECT_EQ(StopEncoding(0), S_OK);
    ExpectNothingAlive(probe_.Record(), c.config);
  }
}

TEST_F(Session, DriversFromVersion7AreAccepted) {
  for (const char* config : {"maxversion=7.0", "maxversion=7.1", "maxversion=8.0", "maxversion=12.2"}) {
    NvidiaProbe::Configure(config);
    EXPECT_EQ(Start(320, 240), S_OK) << config;
  }
}

TEST_F(Session, AFailedStartClosesTheRunningSessionFirst) {
  ASSERT_EQ(Start(320, 240), S_OK);
  EXPECT_EQ(probe_.Record().liveSessions, 1);
  WriteSettings({{L"Device", 1}});
  EXPECT_EQ(Start(320, 240), E_FAIL);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_INVALID_DEVICE");
  EXPECT_EQ(probe_.Record().liveSessions, 0);
  EXPECT_EQ(probe_.Record().liveInputBuffers, 0);
}

TEST_F(Session, DeviceChoiceAmongEligibleDevices) {
  NvidiaProbe::Configure("devices=Old Card@2.1,First@3.0,Second@7.5");
  WriteSettings({{L"Device", 1}, {L"AsyncMode", 0}});
  ASSERT_EQ(Start(320, 240), S_OK);
  EXPECT_EQ(probe_.Record().contextOrdinal, 2);
  EXPECT_EQ(probe_.Record().contextFlags, 0u);
  EXPECT_EQ(Description(), L"NVIDIA GPUCODEC H.264 accelerated via CUDA on device 2 (Second), sync mode");

  WriteSettings({{L"Device", 2}});
  EXPECT_EQ(Start(320, 240), E_FAIL);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_INVALID_DEVICE");
  // The text stays as the last session left it.
  EXPECT_EQ(Description(), L"NVIDIA GPUCODEC H.264 accelerated via CUDA on device 2 (Second), sync mode");

  NvidiaProbe::Configure("devices=Old Card@2.1,Older@1.3");
  WriteSettings({{L"Device", 0}});
  EXPECT_EQ(Start(320, 240), E_FAIL);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_UNSUPPORTED");
}

TEST_F(Session, OpensTheSessionAsTheDriverExpects) {
  ASSERT_EQ(Start(1920, 1080, 25), S_OK);
  const nvstandin::StandinRecord& record = probe_.Record();
  EXPECT_EQ(record.openDeviceType, 1u);
  EXPECT_EQ(record.openApiVersion, 7u);
  EXPECT_EQ(record.openWithKnownContext, 1u);
  const nvstandin::InitializeRecord& init = record.initialize;
  EXPECT_EQ(init.encodeGuid, NV_ENC_CODEC_H264_GUID);
  EXPECT_EQ(init.encodeWidth, 1920u);
  EXPECT_EQ(init.darWidth, 1920u);
  EXPECT_EQ(init.maxEncodeWidth, 1920u);
  EXPECT_EQ(init.encodeHeight, 1080u);
  EXPECT_EQ(init.darHeight, 1080u);
  EXPECT_EQ(init.maxEncodeHeight, 1080u);
  EXPECT_EQ(init.frameRateNum, 25u);
  EXPECT_EQ(init.frameRateDen, 1u);
  EXPECT_EQ(init.enableEncodeAsync, 1u);
  EXPECT_EQ(init.enablePTD, 1u);
  EXPECT_EQ(init.frameIntervalP, 1);
  EXPECT_EQ(init.gopLength, 0xFFFFFFFFu);
  EXPECT_EQ(init.idrPeriod, 0xFFFFFFFFu);
  EXPECT_EQ(init.frameFieldMode, 1u);
  EXPECT_EQ(init.h264BitFields & (1u << 13), 1u << 13);
  // The preset's own QP values come through untouched.
  EXPECT_EQ(init.constQpInterP, 28u);
  EXPECT_EQ(init.constQpIntra, 25u);

  EXPECT_EQ(probe_.Record().liveInputBuffers, 16);
  EXPECT_EQ(record.inputWidth, 1920u);
  EXPECT_EQ(record.inputHeight, 1088u);
  EXPECT_EQ(record.inputHeap, 2u);
  EXPECT_EQ(record.inputFormat, 1u);
  EXPECT_EQ(record.bitstreamSize, 0x100000u);
  EXPECT_EQ(record.bitstreamHeap, 2u);
  EXPECT_EQ(record.liveEvents, 16);

  // Sizes where rounding to 16 and to 32 differ, and where (w + 15) x (h + 15) and w x h fall
  // on either side of 8160.
  const struct {
    uint32_t width;
    uint32_t height;
    uint32_t allocatedWidth;
    uint32_t allocatedHeight;
    int32_t buffers;
  } sizes[] = {
      {64, 64, 64, 64, 32},     // 79 x 79 = 6241
      {80, 80, 96, 96, 16},     // 95 x 95 = 9025, though 80 x 80 = 6400
      {200, 100, 224, 128, 16},
      {320, 240, 320, 256, 16},
  };
  for (const auto& size : sizes) {
    ASSERT_EQ(Start(size.width, size.height), S_OK) << size.width << "x" << size.height;
    EXPECT_EQ(record.liveInputBuffers, size.buffers) << size.width << "x" << size.height;
    EXPECT_EQ(record.liveBitstreamBuffers, size.buffers) << size.width << "x" << size.height;
    EXPECT_EQ(record.inputWidth, size.allocatedWidth) << size.width << "x" << size.height;
    EXPECT_EQ(record.inputHeight, size.allocatedHeight) << size.width << "x" << size.height;
  }
}

TEST_F(Session, PresetAndProfileTables) {
  const struct {
    int preset;
    int lowLatency;
    GUID expected;
  } presets[] = {
      {0, 1, NV_ENC_PRESET_LOW_LATENCY_HP_GUID},      {0, 0, NV_ENC_PRESET_HP_GUID},
      {1, 1, NV_ENC_PRESET_LOW_LATENCY_DEFAULT_GUID}, {1, 0, NV_ENC_PRESET_DEFAULT_GUID},
      {2, 1, NV_ENC_PRESET_LOW_LATENCY_HQ_GUID},      {2, 0, NV_ENC_PRESET_HQ_GUID},
      {7, 1, NV_ENC_PRESET_DEFAULT_GUID},             {7, 0, NV_ENC_PRESET_DEFAULT_GUID},
      {-1, 1, NV_ENC_PRESET_DEFAULT_GUID},
  };
  for (const auto& p : presets) {
    WriteSettings({{L"Preset", p.preset}, {L"LowLatency", p.lowLatency}});
    ASSERT_EQ(Start(320, 240), S_OK) << p.preset;
    EXPECT_EQ(probe_.Record().presetRequested, p.expected) << p.preset << "/" << p.lowLatency;
    EXPECT_EQ(probe_.Record().initialize.presetGuid, p.expected) << p.preset << "/" << p.lowLatency;
  }
  const struct {
    int profile;
    int lowLatency;
    GUID expected;
  } profiles[] = {
      // 0 keeps the preset's own: the stand-in's latency presets name main, the others high.
      {0, 1, NV_ENC_H264_PROFILE_MAIN_GUID},
      {0, 0, NV_ENC_H264_PROFILE_HIGH_GUID},
      {66, 1, NV_ENC_H264_PROFILE_BASELINE_GUID},
      {77, 0, NV_ENC_H264_PROFILE_MAIN_GUID},
      {100, 1, NV_ENC_H264_PROFILE_HIGH_GUID},
      {88, 1, NV_ENC_CODEC_PROFILE_AUTOSELECT_GUID},
  };
  for (const auto& p : profiles) {
    WriteSettings({{L"Preset", 1}, {L"Profile", p.profile}, {L"LowLatency", p.lowLatency}});
    ASSERT_EQ(Start(320, 240), S_OK) << p.profile;
    EXPECT_EQ(probe_.Record().initialize.profileGuid, p.expected) << p.profile << "/" << p.lowLatency;
  }
}

TEST_F(Session, TargetBitrateDrivesRateControl) {
  WriteSettings({{L"TargetBitrate", 6000}, {L"LowLatency", 1}});
  ASSERT_EQ(Start(640, 480, 30), S_OK);
  const nvstandin::InitializeRecord& init = probe_.Record().initialize;
  EXPECT_EQ(init.rateControlMode, static_cast<uint32_t>(NV_ENC_PARAMS_RC_CBR));
  EXPECT_EQ(init.averageBitRate, 6000000u);
  EXPECT_EQ(init.maxBitRate, 6000000u);
  EXPECT_EQ(init.vbvBufferSize, 200000u);  // one frame's bits at 30 frames per second
  EXPECT_EQ(init.vbvInitialDelay, 200000u);

  WriteSettings({{L"LowLatency", 0}});
  ASSERT_EQ(Start(640, 480, 30), S_OK);
  EXPECT_EQ(init.rateControlMode, static_cast<uint32_t>(NV_ENC_PARAMS_RC_VBR));
  EXPECT_EQ(init.averageBitRate, 6000000u);
  EXPECT_EQ(init.maxBitRate, 9000000u);
  EXPECT_EQ(init.vbvBufferSize, 9000000u);
}

TEST_F(Session, StoredTargetBitrateIsBroughtIntoTheDialogsRange) {
  const struct {
    int stored;
    uint32_t average;
  } cases[] = {
      {-5, 1000000u},       {0, 1000000u},         {500, 1000000u},
      {6500, 6500000u},     {130000, 130000000u},  {3000000, 130000000u},  // peak would wrap
      {5000000, 130000000u},  // bits per second would wrap
  };
  WriteSettings({{L"LowLatency", 0}});
  for (const auto& c : cases) {
    WriteSettings({{L"TargetBitrate", c.stored}});
    ASSERT_EQ(Start(640, 480, 30), S_OK) << c.stored;
    const nvstandin::InitializeRecord& init = probe_.Record().initialize;
    EXPECT_EQ(init.averageBitRate, c.average) << c.stored;
    EXPECT_EQ(init.maxBitRate, c.average / 2 * 3) << c.stored;
  }
}

TEST_F(Session, HeaderIsTheDecoderConfigurationOfTheStream) {
  WriteSettings({{L"Profile", 100}});
  ASSERT_EQ(Start(640, 480), S_OK);
  const uint32_t size = GetHeaderSize(0);
  const uint8_t* header = GetHeader(0);
  ASSERT_NE(header, nullptr);
  ASSERT_GT(size, 11u);
  EXPECT_EQ(header[0], 1);
  EXPECT_EQ(header[1], 100);  // profile_idc from the SPS
  EXPECT_EQ(header[4], 0xFF);
  EXPECT_EQ(header[5], 0xE1);
  const uint32_t spsLength = (header[6] << 8) | header[7];
  EXPECT_EQ(header[8] & 0x1F, 7);
  EXPECT_EQ(header[8 + spsLength], 1);
  const uint32_t ppsLength = (header[9 + spsLength] << 8) | header[10 + spsLength];
  EXPECT_EQ(header[11 + spsLength] & 0x1F, 8);
  EXPECT_EQ(size, 11 + spsLength + ppsLength);
  EXPECT_EQ(std::memcmp(header + 1, header + 9, 3), 0);

  // Header and size stay after the session closes.
  EXPECT_EQ(StopEncoding(0), S_OK);
  EXPECT_EQ(GetHeaderSize(0), size);
}

TEST_F(Session, SynchronousModeGivesOneFramePerEncode) {
  WriteSettings({{L"AsyncMode", 0}});
  ASSERT_EQ(Start(320, 240), S_OK);
  EXPECT_NE(Description().find(L"sync mode"), std::wstring::npos);
  const uint64_t timestamps[] = {0xFEDCBA9876543210ull, 5, 0, 1ull << 63};
  for (uint32_t i = 0; i < 4; ++i) {
    ASSERT_EQ(EncodePattern(320, 240, i, timestamps[i]), S_OK);
    const std::vector<Encoded> frames = Drain();
    ASSERT_EQ(frames.size(), 1u) << i;
    EXPECT_EQ(frames[0].keyFrame, i == 0 ? 1u : 0u);
    EXPECT_EQ(frames[0].timestamp, timestamps[i]);
    // Length prefixes chain exactly to the end.
    size_t at = 0;
    while (at + 4 <= frames[0].bytes.size()) {
      const uint8_t* p = frames[0].bytes.data() + at;
      at += 4 + ((size_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3]);
    }
    EXPECT_EQ(at, frames[0].bytes.size());
  }
  EXPECT_EQ(probe_.Record().lastLockDoNotWait, 0u);
}

TEST_F(Session, AsynchronousModeKeepsOrderAndStopCollectsEveryPicture) {
  NvidiaProbe::Configure("delay=400");
  ASSERT_EQ(Start(320, 240), S_OK);
  EXPECT_NE(Description().find(L"async mode"), std::wstring::npos);
  for (uint32_t i = 1; i <= 3; ++i) ASSERT_EQ(EncodePattern(320, 240, i, i), S_OK);
  EXPECT_TRUE(Drain().empty());
  while (probe_.Record().finishedPictures < 3) Sleep(1);
  ASSERT_EQ(EncodePattern(320, 240, 4, 4), S_OK);  // collects the oldest finished picture only
  std::vector<Encoded> frames = Drain();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].timestamp, 1u);
  EXPECT_EQ(frames[0].keyFrame, 1u);
  ASSERT_EQ(EncodePattern(320, 240, 5, 5), S_OK);
  // Stopped at once: 4 and 5 are still being encoded, and are waited for.
  ASSERT_EQ(StopEncoding(0), S_OK);
  for (Encoded& frame : Drain()) frames.push_back(std::move(frame));
  ASSERT_EQ(frames.size(), 5u);
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(frames[i].timestamp, i + 1);
  EXPECT_EQ(frames[4].keyFrame, 0u);
  EXPECT_EQ(probe_.Record().lastLockDoNotWait, 1u);
  EXPECT_EQ(probe_.Record().endOfStreamPictures, 1u);
  EXPECT_EQ(probe_.Record().inFlightMisuses, 0u);
}

TEST_F(Session, APictureThatNeverFinishesIsLeftToTheEncoderAtStop) {
  NvidiaProbe::Configure("hang=2");
  ASSERT_EQ(Start(320, 240), S_OK);
  for (uint32_t i = 1; i <= 4; ++i) ASSERT_EQ(EncodePattern(320, 240, i, i), S_OK);
  ASSERT_EQ(StopEncoding(0), S_OK);
  // 3 and 4 would refer to the missing 2: only 1 comes out.
  const std::vector<Encoded> frames = Drain();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].timestamp, 1u);
  // Nothing the driver may still write was freed under it; the encoder took the three
  // pictures' buffers and events with it.
  const nvstandin::StandinRecord& record = probe_.Record();
  EXPECT_EQ(record.inFlightMisuses, 0u);
  EXPECT_EQ(record.liveSessions, 0);
  EXPECT_EQ(record.liveInputBuffers, 3);
  EXPECT_EQ(record.liveBitstreamBuffers, 3);
  EXPECT_EQ(record.liveEvents, 3);
  EXPECT_EQ(GetModuleHandleW(L"nvEncodeAPI.dll"), nullptr);
  probe_.Reset();  // for the tear-down's count of what is alive
}

TEST_F(Session, AsynchronousRingWrapsThroughTheBusyRetries) {
  ASSERT_EQ(Start(320, 240), S_OK);
  std::vector<Encoded> frames;
  for (uint32_t i = 0; i < 40; ++i) {
    ASSERT_EQ(EncodePattern(320, 240, i, 1000 + i), S_OK) << i;
    for (Encoded& frame : Drain()) frames.push_back(std::move(frame));
  }
  ASSERT_EQ(StopEncoding(0), S_OK);
  for (Encoded& frame : Drain()) frames.push_back(std::move(frame));
  ASSERT_EQ(frames.size(), 40u);
  for (uint32_t i = 0; i < 40; ++i) EXPECT_EQ(frames[i].timestamp, 1000 + i);
  EXPECT_EQ(probe_.Record().inFlightMisuses, 0u);
}

TEST_F(Session, AnInputSlotStaysBusyFromSubmissionUntilItsPictureIsCollected) {
  // The stand-in reads a picture's input when the picture finishes, so a slot taken again
  // while its picture is in flight would change that picture: the asynchronous stream must
  // equal the synchronous one byte for byte.
  NvidiaProbe::Configure("delay=40");
  std::vector<Encoded> streams[2];
  for (const int async : {0, 1}) {
    WriteSettings({{L"AsyncMode", async}});
    ASSERT_EQ(Start(64, 64), S_OK);
    for (uint32_t i = 0; i < 6; ++i) ASSERT_EQ(EncodePattern(64, 64, i, i), S_OK);
    ASSERT_EQ(StopEncoding(0), S_OK);
    streams[async] = Drain();
    EXPECT_EQ(probe_.Record().inFlightMisuses, 0u);
  }
  ASSERT_EQ(streams[0].size(), 6u);
  ASSERT_EQ(streams[1].size(), 6u);
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(streams[1][i].bytes, streams[0][i].bytes) << i;
}

TEST_F(Session, QueueOutlivesStopAndTheNextStart) {
  WriteSettings({{L"AsyncMode", 0}});
  ASSERT_EQ(Start(320, 240), S_OK);
  ASSERT_EQ(EncodePattern(320, 240, 0, 10), S_OK);
  ASSERT_EQ(EncodePattern(320, 240, 1, 11), S_OK);
  ASSERT_EQ(StopEncoding(0), S_OK);
  ASSERT_EQ(Start(320, 240), S_OK);
  const std::vector<Encoded> frames = Drain();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].timestamp, 11u);
}

TEST_F(Session, NeedMoreInputCountsAsSubmitted) {
  NvidiaProbe::Configure("needmoreinput=1");
  WriteSettings({{L"AsyncMode", 0}});
  ASSERT_EQ(Start(320, 240), S_OK);
  ASSERT_EQ(EncodePattern(320, 240, 0, 7), S_OK);
  const std::vector<Encoded> frames = Drain();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].timestamp, 7u);
}

TEST_F(Session, EncodeFailuresByStep) {
  const struct {
    const char* config;
    const wchar_t* name;
    size_t framesQueued;
    bool driverRecovers;  // a failed unlock leaves the driver's buffer locked
  } cases[] = {
      {"fail=nvEncLockInputBuffer:13@1", L"GPUCODEC_ERR_GPUCODECLOCKINPUTBUFFER_FAILED", 0, true},
      {"fail=nvEncUnlockInputBuffer:8@1", L"GPUCODEC_ERR_GPUCODECUNLOCKINPUTBUFFER_FAILED", 0, false},
      {"fail=nvEncEncodePicture:8@1", L"GPUCODEC_ERR_GPUCODECENCODEPICTURE_FAILED", 0, true},
      {"fail=nvEncLockBitstream:8@1", L"GPUCODEC_ERR_GPUCODECLOCKBITSTREAM_FAILED", 0, true},
      {"fail=nvEncUnlockBitstream:8@1", L"GPUCODEC_ERR_GPUCODECUNLOCKBITSTREAM_FAILED", 1, false},
  };
  WriteSettings({{L"AsyncMode", 0}});
  for (const auto& c : cases) {
    probe_.Reset();
    NvidiaProbe::Configure(c.config);
    ASSERT_EQ(Start(320, 240), S_OK) << c.config;
    EXPECT_EQ(EncodePattern(320, 240, 0, 1), E_FAIL) << c.config;
    EXPECT_EQ(LastErrorName(), c.name) << c.config;
    EXPECT_EQ(Drain().size(), c.framesQueued) << c.config;
    if (c.driverRecovers) {
      // Both slots are free again: the ring of 16 takes 16 more pictures at once.
      for (uint32_t i = 1; i <= 16; ++i) ASSERT_EQ(EncodePattern(320, 240, i, 1 + i), S_OK) << c.config;
      EXPECT_EQ(Drain().size(), 16u) << c.config;
    }
    EXPECT_EQ(StopEncoding(0), S_OK);
  }
}

TEST_F(Session, LargerFrameIsRefusedBeforeAnyCopy) {
  ASSERT_EQ(Start(64, 64), S_OK);
  EXPECT_EQ(EncodePattern(96, 64, 0, 0), E_FAIL);
  EXPECT_EQ(LastErrorName(), L"GPUCODEC_ERR_UNSUPPORTED");
  EXPECT_EQ(EncodePattern(64, 80, 0, 0), E_FAIL);
  EXPECT_EQ(probe_.Calls(Call::nvEncLockInputBuffer), 0u);
}

TEST_F(Session, CopiesRowsAtThePitchAndOddHeightsDropTheLastChromaRow) {
  WriteSettings({{L"AsyncMode", 0}});
  const uint32_t width = 70;
  const uint32_t height = 63;
  ASSERT_EQ(Start(width, height), S_OK);
  const std::vector<uint8_t> source = PatternFrame(width, height, 3);
  EncoderVideoFrame frame = {};
  frame.fourcc = GPUCODEC_FOURCC_NV12;
  frame.width = width;
  frame.height = height;
  frame.pixels = source.data();
  ASSERT_EQ(Encode(0, &frame), S_OK);

  const nvstandin::StandinRecord& record = probe_.Record();
  const uint32_t pitch = record.lastInputPitch;
  const uint32_t allocatedHeight = record.lastInputAllocatedHeight;
  ASSERT_EQ(allocatedHeight, 64u);
  ASSERT_GT(pitch, width);
  ASSERT_GT(record.lastInputBytes, 0u);
  const uint8_t* buffer = record.lastInput;
  for (uint32_t row = 0; row < height; ++row) {
    ASSERT_EQ(std::memcmp(buffer + row * pitch, source.data() + row * width, width), 0) << row;
    EXPECT_EQ(buffer[row * pitch + width], 0xCD) << "beyond the row " << row;
  }
  EXPECT_EQ(buffer[height * pitch], 0xCD);
  const uint8_t* chroma = buffer + allocatedHeight * pitch;
  const uint32_t chromaRows = (height - 1) / 2;
  for (uint32_t row = 0; row < chromaRows; ++row) {
    ASSERT_EQ(std::memcmp(chroma + row * pitch, source.data() + width * height + row * width, width), 0)
        << row;
  }
  for (uint32_t x = 0; x < width; ++x) ASSERT_EQ(chroma[chromaRows * pitch + x], 0xCD) << x;
}

}  // namespace
}  // namespace gpucodec_test
