// The encode library stand-in under Wine, called as a driver is: what it refuses as the
// driver's interface requires, and that a picture reads its input only when it finishes.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cuda_driver_api.h"
#include "nv_encode_api.h"
#include "probe.h"

namespace {

constexpr uint32_t kSize = 64;

std::wstring DriverFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L"\\/")) + L"\\driver";
}

// One initialised encoder with one input and one bitstream buffer (and event, asynchronous).
class Encoder {
 public:
  explicit Encoder(bool async) {
    library_ = LoadLibraryW((DriverFolder() + L"\\nvEncodeAPI.dll").c_str());
    auto create = reinterpret_cast<PNVENCODEAPICREATEINSTANCE>(
        reinterpret_cast<void*>(GetProcAddress(library_, "NvEncodeAPICreateInstance")));
    f.version = NV_ENCODE_API_FUNCTION_LIST_VER;
    EXPECT_EQ(create(&f), NV_ENC_SUCCESS);
    CUdevice device = 0;
    cuInit(0);
    cuDeviceGet(&device, 0);
    cuCtxCreate_v2(&context_, 0, device);
    CUcontext popped = nullptr;
    cuCtxPopCurrent_v2(&popped);

    NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS open = {};
    open.version = NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS_VER;
    open.deviceType = NV_ENC_DEVICE_TYPE_CUDA;
    open.device = context_;
    open.apiVersion = NVENCAPI_VERSION;
    EXPECT_EQ(f.nvEncOpenEncodeSessionEx(&open, &encoder), NV_ENC_SUCCESS);
    NV_ENC_PRESET_CONFIG preset = {};
    preset.version = NV_ENC_PRESET_CONFIG_VER;
    preset.presetCfg.version = NV_ENC_CONFIG_VER;
    EXPECT_EQ(f.nvEncGetEncodePresetConfig(encoder, NV_ENC_CODEC_H264_GUID,
                                           NV_ENC_PRESET_LOW_LATENCY_DEFAULT_GUID, &preset),
              NV_ENC_SUCCESS);
    config_ = preset.presetCfg;
    init.version = NV_ENC_INITIALIZE_PARAMS_VER;
    init.encodeGUID = NV_ENC_CODEC_H264_GUID;
    init.presetGUID = NV_ENC_PRESET_LOW_LATENCY_DEFAULT_GUID;
    init.encodeWidth = init.encodeHeight = kSize;
    init.frameRateNum = 30;
    init.frameRateDen = 1;
    init.enableEncodeAsync = async ? 1 : 0;
    init.enablePTD = 1;
    init.encodeConfig = &config_;
    EXPECT_EQ(f.nvEncInitializeEncoder(encoder, &init), NV_ENC_SUCCESS);

    NV_ENC_CREATE_INPUT_BUFFER in = {};
    in.version = NV_ENC_CREATE_INPUT_BUFFER_VER;
    in.width = in.height = kSize;
    in.bufferFmt = NV_ENC_BUFFER_FORMAT_NV12_PL;
    EXPECT_EQ(f.nvEncCreateInputBuffer(encoder, &in), NV_ENC_SUCCESS);
    input = in.inputBuffer;
    NV_ENC_CREATE_BITSTREAM_BUFFER out = {};
    out.version = NV_ENC_CREATE_BITSTREAM_BUFFER_VER;
    out.size = 0x100000;
    EXPECT_EQ(f.nvEncCreateBitstreamBuffer(encoder, &out), NV_ENC_SUCCESS);
    bitstream = out.bitstreamBuffer;
    if (async) {
      event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
      NV_ENC_EVENT_PARAMS registration = {};
      registration.version = NV_ENC_EVENT_PARAMS_VER;
      registration.completionEvent = event;
      EXPECT_EQ(f.nvEncRegisterAsyncEvent(encoder, &registration), NV_ENC_SUCCESS);
    }
  }

  ~Encoder() {
    f.nvEncDestroyEncoder(encoder);
    if (event != nullptr) CloseHandle(event);
    cuCtxDestroy_v2(context_);
    FreeLibrary(library_);
  }

  // Fills the input buffer with an even grey picture of the given luma.
  void WriteInput(uint8_t luma) {
    NV_ENC_LOCK_INPUT_BUFFER lock = {};
    lock.version = NV_ENC_LOCK_INPUT_BUFFER_VER;
    lock.inputBuffer = input;
    ASSERT_EQ(f.nvEncLockInputBuffer(encoder, &lock), NV_ENC_SUCCESS);
    auto* bytes = static_cast<uint8_t*>(lock.bufferDataPtr);
    std::memset(bytes, luma, size_t{lock.pitch} * kSize);
    std::memset(bytes + size_t{lock.pitch} * kSize, 128, size_t{lock.pitch} * kSize / 2);
    ASSERT_EQ(f.nvEncUnlockInputBuffer(encoder, input), NV_ENC_SUCCESS);
  }

  NV_ENC_PIC_PARAMS Picture() const {
    NV_ENC_PIC_PARAMS picture = {};
    picture.version = NV_ENC_PIC_PARAMS_VER;
    picture.inputWidth = picture.inputHeight = kSize;
    picture.inputBuffer = input;
    picture.outputBitstream = bitstream;
    picture.completionEvent = event;
    picture.bufferFmt = NV_ENC_BUFFER_FORMAT_NV12_PL;
    picture.pictureStruct = NV_ENC_PIC_STRUCT_FRAME;
    return picture;
  }

  std::vector<uint8_t> ReadOutput() {
    NV_ENC_LOCK_BITSTREAM lock = {};
    lock.version = NV_ENC_LOCK_BITSTREAM_VER;
    lock.outputBitstream = bitstream;
    EXPECT_EQ(f.nvEncLockBitstream(encoder, &lock), NV_ENC_SUCCESS);
    const auto* bytes = static_cast<const uint8_t*>(lock.bitstreamBufferPtr);
    std::vector<uint8_t> output(bytes, bytes + lock.bitstreamSizeInBytes);
    EXPECT_EQ(f.nvEncUnlockBitstream(encoder, bitstream), NV_ENC_SUCCESS);
    return output;
  }

  NV_ENCODE_API_FUNCTION_LIST f = {};
  void* encoder = nullptr;
  NV_ENC_INITIALIZE_PARAMS init = {};
  NV_ENC_INPUT_PTR input = nullptr;
  NV_ENC_OUTPUT_PTR bitstream = nullptr;
  HANDLE event = nullptr;

 private:
  HMODULE library_ = nullptr;
  CUcontext context_ = nullptr;
  NV_ENC_CONFIG config_ = {};
};

class EncodeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    probe_.Reset();
    nvstandin::NvidiaProbe::Configure("");
  }
  void TearDown() override { nvstandin::NvidiaProbe::Configure(""); }

  nvstandin::NvidiaProbe probe_;
};

TEST_F(EncodeLibrary, EveryStructureWithAnotherVersionWordIsRefused) {
  Encoder e(true);
  const uint32_t wrong = NvEncStructVersion(1) + 1;
  const struct {
    const char* name;
    std::function<NVENCSTATUS()> call;
  } calls[] = {
      {"function list", [&] {
         auto create = reinterpret_cast<PNVENCODEAPICREATEINSTANCE>(reinterpret_cast<void*>(
             GetProcAddress(GetModuleHandleW(L"nvEncodeAPI.dll"), "NvEncodeAPICreateInstance")));
         NV_ENCODE_API_FUNCTION_LIST list = {};
         list.version = NV_ENCODE_API_FUNCTION_LIST_VER + 1;
         return create(&list);
       }},
      {"open session", [&] {
         NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS open = {};
         open.version = wrong;
         void* other = nullptr;
         return e.f.nvEncOpenEncodeSessionEx(&open, &other);
       }},
      {"preset config", [&] {
         NV_ENC_PRESET_CONFIG preset = {};
         preset.version = NV_ENC_PRESET_CONFIG_VER;
         preset.presetCfg.version = wrong;
         return e.f.nvEncGetEncodePresetConfig(e.encoder, NV_ENC_CODEC_H264_GUID,
                                               NV_ENC_PRESET_DEFAULT_GUID, &preset);
       }},
      {"rate control in the encode config", [&] {
         NV_ENC_CONFIG config = *e.init.encodeConfig;
         config.rcParams.version = wrong;
         NV_ENC_INITIALIZE_PARAMS init = e.init;
         init.encodeConfig = &config;
         return e.f.nvEncInitializeEncoder(e.encoder, &init);
       }},
      {"input buffer", [&] {
         NV_ENC_CREATE_INPUT_BUFFER in = {};
         in.version = wrong;
         return e.f.nvEncCreateInputBuffer(e.encoder, &in);
       }},
      {"bitstream buffer", [&] {
         NV_ENC_CREATE_BITSTREAM_BUFFER out = {};
         out.version = wrong;
         return e.f.nvEncCreateBitstreamBuffer(e.encoder, &out);
       }},
      {"event", [&] {
         NV_ENC_EVENT_PARAMS registration = {};
         registration.version = wrong;
         registration.completionEvent = e.event;
         return e.f.nvEncUnregisterAsyncEvent(e.encoder, &registration);
       }},
      {"sequence payload", [&] {
         uint8_t payload[200];
         uint32_t size = 0;
         NV_ENC_SEQUENCE_PARAM_PAYLOAD request = {};
         request.version = wrong;
         request.inBufferSize = sizeof(payload);
         request.spsppsBuffer = payload;
         request.outSPSPPSPayloadSize = &size;
         return e.f.nvEncGetSequenceParams(e.encoder, &request);
       }},
      {"input lock", [&] {
         NV_ENC_LOCK_INPUT_BUFFER lock = {};
         lock.version = wrong;
         lock.inputBuffer = e.input;
         return e.f.nvEncLockInputBuffer(e.encoder, &lock);
       }},
      {"picture", [&] {
         NV_ENC_PIC_PARAMS picture = e.Picture();
         picture.version = wrong;
         return e.f.nvEncEncodePicture(e.encoder, &picture);
       }},
      {"end of stream", [&] {
         NV_ENC_PIC_PARAMS picture = {};
         picture.version = wrong;
         picture.encodePicFlags = NV_ENC_PIC_FLAG_EOS;
         return e.f.nvEncEncodePicture(e.encoder, &picture);
       }},
      {"bitstream lock", [&] {
         NV_ENC_LOCK_BITSTREAM lock = {};
         lock.version = wrong;
         lock.outputBitstream = e.bitstream;
         return e.f.nvEncLockBitstream(e.encoder, &lock);
       }},
  };
  for (const auto& c : calls) EXPECT_EQ(c.call(), NV_ENC_ERR_INVALID_VERSION) << c.name;
}

TEST_F(EncodeLibrary, AnAsynchronousPictureNeedsARegisteredEvent) {
  Encoder e(true);
  NV_ENC_PIC_PARAMS picture = e.Picture();
  picture.completionEvent = nullptr;
  EXPECT_EQ(e.f.nvEncEncodePicture(e.encoder, &picture), NV_ENC_ERR_INVALID_EVENT);
  HANDLE unregistered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  picture.completionEvent = unregistered;
  EXPECT_EQ(e.f.nvEncEncodePicture(e.encoder, &picture), NV_ENC_ERR_INVALID_EVENT);
  CloseHandle(unregistered);
  EXPECT_EQ(probe_.Record().pictures, 0u);
}

TEST_F(EncodeLibrary, APictureReadsItsInputWhenItFinishes) {
  std::vector<uint8_t> expected;
  {
    Encoder direct(false);
    direct.WriteInput(200);
    NV_ENC_PIC_PARAMS picture = direct.Picture();
    ASSERT_EQ(direct.f.nvEncEncodePicture(direct.encoder, &picture), NV_ENC_SUCCESS);
    expected = direct.ReadOutput();
  }
  // Long enough that the input is rewritten well before the picture finishes.
  nvstandin::NvidiaProbe::Configure("delay=1000");
  Encoder late(true);
  late.WriteInput(40);
  NV_ENC_PIC_PARAMS picture = late.Picture();
  ASSERT_EQ(late.f.nvEncEncodePicture(late.encoder, &picture), NV_ENC_SUCCESS);
  late.WriteInput(200);
  EXPECT_EQ(probe_.Record().inFlightMisuses, 1u);
  ASSERT_EQ(WaitForSingleObject(late.event, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(late.ReadOutput(), expected);
}

}  // namespace
