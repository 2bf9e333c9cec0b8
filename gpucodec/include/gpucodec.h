/* gpucodec: one hardware H.264 encoder on NVIDIA graphics cards, for recording hosts.
 *
 * The host loads gpucodec.dll by file name and calls, from one thread or serialised:
 * Init, StartEncoding, then per frame Encode and GetFrame/ReleaseFrame until GetFrame
 * answers S_FALSE, StopEncoding (then drain GetFrame once more), Uninit. Records are the
 * host's; a frame handed out by GetFrame is the host's until ReleaseFrame. */
#ifndef GPUCODEC_H
#define GPUCODEC_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The internal codes of the last failure; GetEncoderStat selector 1 names them. */
enum {
  GPUCODEC_ERR_NONE = 0,
  GPUCODEC_ERR_UNKNOWN = -1,
  GPUCODEC_ERR_NULL_PTR = -2,
  GPUCODEC_ERR_UNSUPPORTED = -3,
  GPUCODEC_ERR_INVALID_DEVICE = -4,
  GPUCODEC_ERR_API_LOADLIBRARY_FAILED = -5,
  GPUCODEC_ERR_API_GPUCODECODEAPICREATEINSTANCE_NOT_FOUND = -6,
  GPUCODEC_ERR_API_GPUCODECODEAPICREATEINSTANCE_FAILED = -7,
  GPUCODEC_ERR_CUINIT_FAILED = -8,
  GPUCODEC_ERR_CUDEVICEGETCOUNT_FAILED = -9,
  GPUCODEC_ERR_CUDEVICEGET_FAILED = -10,
  GPUCODEC_ERR_CUDEVICECOMPUTECAPABILITY_FAILED = -11,
  GPUCODEC_ERR_CUDEVICEGETNAME_FAILED = -12,
  GPUCODEC_ERR_CUCTXCREATE_FAILED = -13,
  GPUCODEC_ERR_CUCTXPOPCURRENT_FAILED = -14,
  GPUCODEC_ERR_GPUCODECOPENENCODESESSIONEX_FAILED = -15,
  GPUCODEC_ERR_GPUCODECGETENCODEPRESETCONFIG_FAILED = -16,
  GPUCODEC_ERR_GPUCODECINITIALIZEENCODER_FAILED = -17,
  GPUCODEC_ERR_GPUCODECGETSEQUENCEPARAMS_FAILED = -18,
  GPUCODEC_ERR_INVALID_SEQUENCE_PARAMS = -19,
  GPUCODEC_ERR_GPUCODECCREATEINPUTBUFFER_FAILED = -20,
  GPUCODEC_ERR_GPUCODECCREATEBITSTREAMBUFFER_FAILED = -21,
  GPUCODEC_ERR_GPUCODECREGISTERASYNCEVENT_FAILED = -22,
  GPUCODEC_ERR_GPUCODECLOCKINPUTBUFFER_FAILED = -23,
  GPUCODEC_ERR_GPUCODECUNLOCKINPUTBUFFER_FAILED = -24,
  GPUCODEC_ERR_BUSY = -25,
  GPUCODEC_ERR_GPUCODECENCODEPICTURE_FAILED = -26,
  GPUCODEC_ERR_GPUCODECLOCKBITSTREAM_FAILED = -27,
  GPUCODEC_ERR_GPUCODECUNLOCKBITSTREAM_FAILED = -28,
  GPUCODEC_ERR_API_CURRENT_DRIVER_VERSION_IS_NOT_SUPPORTED = -29,
  GPUCODEC_ERR_API_GPUCODECODEAPIGETMAXSUPPORTEDVERSION_NOT_FOUND = -30
};

/* FOURCC codes as the records carry them: the first letter in the lowest byte. */
enum { GPUCODEC_FOURCC_NV12 = 0x3231564E /* "NV12" */, GPUCODEC_FOURCC_AVC = 0x20435641 /* "AVC " */ };

enum { GPUCODEC_SETTINGS_PATH_CHARS = 260 };

/* Filled by GetEncoderCaps. */
typedef struct EncoderCaps {
  uint32_t interfaceVersion; /* 0x00020000 */
  uint32_t word4;            /* 12 */
  uint32_t word8;            /* 1 */
  uint32_t inputFourcc;      /* "NV12" */
  uint8_t notWritten[12];
  uint32_t outputFourcc; /* "AVC " */
  char name[260];        /* "NVIDIA GPUCODEC H.264" */
  uint32_t word292;      /* 1 */
} EncoderCaps;

/* The stream format for StartEncoding, one input frame for Encode. */
typedef struct EncoderVideoFrame {
  uint8_t notRead0[16];
  uint64_t timestamp; /* the host's units, passed through to the encoded frame */
  uint32_t fourcc;    /* must be "NV12" */
  uint32_t width;
  uint32_t height;
  uint8_t notRead36[8];
  uint32_t frameRate; /* whole frames per second */
  uint32_t notRead48;
  /* packed NV12: width x height luma bytes, then width x (height / 2) interleaved chroma */
  const uint8_t* pixels;
} EncoderVideoFrame;

/* One encoded access unit: 4-byte big-endian NAL unit lengths, no start codes. */
typedef struct EncodedFrameInfo {
  uint32_t notTouched;
  uint32_t keyFrame; /* 1 for an IDR picture */
  uint64_t timestamp;
  uint64_t timestampAgain;
  const uint8_t* bytes; /* the plug-in's until ReleaseFrame */
  uint32_t size;
  void* handle; /* names the frame for ReleaseFrame */
} EncodedFrameInfo;

enum { GPUCODEC_STAT_DESCRIPTION = 0, GPUCODEC_STAT_LAST_ERROR_NAME = 1 };

typedef struct EncoderStatRequest {
  uint32_t notRead;
  uint32_t selector;
  wchar_t* buffer;
  uint32_t capacity; /* wide characters, terminator included */
} EncoderStatRequest;

#ifdef _WIN32
#include <windows.h>

uint32_t __stdcall CheckAccelerationSupport(void); /* 3 supported, 1 not */
int32_t __stdcall GetEncodersNum(void);
HRESULT __stdcall GetEncoderCaps(int32_t index, EncoderCaps* caps);
int32_t __stdcall Init(const wchar_t* settingsPath); /* 0 created, 1 already there */
HRESULT __stdcall Configure(int32_t index, HWND parent);
HRESULT __stdcall StartEncoding(int32_t index, const EncoderVideoFrame* format);
HRESULT __stdcall Encode(int32_t index, const EncoderVideoFrame* frame);
HRESULT __stdcall GetFrame(int32_t index, EncodedFrameInfo* info); /* S_FALSE: none */
HRESULT __stdcall ReleaseFrame(int32_t index, EncodedFrameInfo* info);
const uint8_t* __stdcall GetHeader(int32_t index); /* AVC decoder configuration record */
uint32_t __stdcall GetHeaderSize(int32_t index);
HRESULT __stdcall GetEncoderStat(int32_t index, const EncoderStatRequest* request);
HRESULT __stdcall StopEncoding(int32_t index);
int32_t __stdcall Uninit(void); /* 0 destroyed, 1 nothing to destroy */
#endif

#ifdef __cplusplus
}
#endif

#endif
