#pragma once

// Our declarations of the part of NVIDIA's video encode interface, version 7.0, that the
// plug-in uses: status values, version words, structure layouts and the function list.
// Reserved tails keep each structure at the size the driver expects for this version.

#include <windows.h>

#include <cstdint>

#define NVENCAPI __stdcall

constexpr uint32_t NVENCAPI_MAJOR_VERSION = 7;
constexpr uint32_t NVENCAPI_MINOR_VERSION = 0;
constexpr uint32_t NVENCAPI_VERSION = NVENCAPI_MAJOR_VERSION | (NVENCAPI_MINOR_VERSION << 24);

constexpr uint32_t NvEncStructVersion(uint32_t revision) {
  return NVENCAPI_VERSION | (revision << 16) | (0x7u << 28);
}

constexpr uint32_t NV_ENCODE_API_FUNCTION_LIST_VER = NvEncStructVersion(2);
constexpr uint32_t NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS_VER = NvEncStructVersion(1);
constexpr uint32_t NV_ENC_PRESET_CONFIG_VER = NvEncStructVersion(4) | (1u << 31);
constexpr uint32_t NV_ENC_CONFIG_VER = NvEncStructVersion(6) | (1u << 31);
constexpr uint32_t NV_ENC_RC_PARAMS_VER = NvEncStructVersion(1);
constexpr uint32_t NV_ENC_INITIALIZE_PARAMS_VER = NvEncStructVersion(5) | (1u << 31);
constexpr uint32_t NV_ENC_CREATE_INPUT_BUFFER_VER = NvEncStructVersion(1);
constexpr uint32_t NV_ENC_CREATE_BITSTREAM_BUFFER_VER = NvEncStructVersion(1);
constexpr uint32_t NV_ENC_EVENT_PARAMS_VER = NvEncStructVersion(1);
constexpr uint32_t NV_ENC_SEQUENCE_PARAM_PAYLOAD_VER = NvEncStructVersion(1);
constexpr uint32_t NV_ENC_LOCK_INPUT_BUFFER_VER = NvEncStructVersion(1);
constexpr uint32_t NV_ENC_LOCK_BITSTREAM_VER = NvEncStructVersion(1);
constexpr uint32_t NV_ENC_PIC_PARAMS_VER = NvEncStructVersion(4) | (1u << 31);

enum NVENCSTATUS : int32_t {
  NV_ENC_SUCCESS = 0,
  NV_ENC_ERR_NO_ENCODE_DEVICE = 1,
  NV_ENC_ERR_UNSUPPORTED_DEVICE = 2,
  NV_ENC_ERR_INVALID_ENCODERDEVICE = 3,
  NV_ENC_ERR_INVALID_DEVICE = 4,
  NV_ENC_ERR_DEVICE_NOT_EXIST = 5,
  NV_ENC_ERR_INVALID_PTR = 6,
  NV_ENC_ERR_INVALID_EVENT = 7,
  NV_ENC_ERR_INVALID_PARAM = 8,
  NV_ENC_ERR_INVALID_CALL = 9,
  NV_ENC_ERR_OUT_OF_MEMORY = 10,
  NV_ENC_ERR_ENCODER_NOT_INITIALIZED = 11,
  NV_ENC_ERR_UNSUPPORTED_PARAM = 12,
  NV_ENC_ERR_LOCK_BUSY = 13,
  NV_ENC_ERR_NOT_ENOUGH_BUFFER = 14,
  NV_ENC_ERR_INVALID_VERSION = 15,
  NV_ENC_ERR_MAP_FAILED = 16,
  NV_ENC_ERR_NEED_MORE_INPUT = 17,
  NV_ENC_ERR_ENCODER_BUSY = 18,
  NV_ENC_ERR_EVENT_NOT_REGISTERD = 19,
  NV_ENC_ERR_GENERIC = 20,
};

enum NV_ENC_DEVICE_TYPE : uint32_t {
  NV_ENC_DEVICE_TYPE_DIRECTX = 0,
  NV_ENC_DEVICE_TYPE_CUDA = 1,
};

enum NV_ENC_PARAMS_FRAME_FIELD_MODE : uint32_t {
  NV_ENC_PARAMS_FRAME_FIELD_MODE_FRAME = 1,
  NV_ENC_PARAMS_FRAME_FIELD_MODE_FIELD = 2,
  NV_ENC_PARAMS_FRAME_FIELD_MODE_MBAFF = 3,
};

enum NV_ENC_PARAMS_RC_MODE : uint32_t {
  NV_ENC_PARAMS_RC_CONSTQP = 0x0,
  NV_ENC_PARAMS_RC_VBR = 0x1,
  NV_ENC_PARAMS_RC_CBR = 0x2,
};

enum NV_ENC_MEMORY_HEAP : uint32_t {
  NV_ENC_MEMORY_HEAP_AUTOSELECT = 0,
  NV_ENC_MEMORY_HEAP_VID = 1,
  NV_ENC_MEMORY_HEAP_SYSMEM_CACHED = 2,
  NV_ENC_MEMORY_HEAP_SYSMEM_UNCACHED = 3,
};

enum NV_ENC_BUFFER_FORMAT : uint32_t {
  NV_ENC_BUFFER_FORMAT_UNDEFINED = 0,
  NV_ENC_BUFFER_FORMAT_NV12_PL = 1,
};

enum NV_ENC_PIC_STRUCT : uint32_t {
  NV_ENC_PIC_STRUCT_FRAME = 1,
  NV_ENC_PIC_STRUCT_FIELD_TOP_BOTTOM = 2,
  NV_ENC_PIC_STRUCT_FIELD_BOTTOM_TOP = 3,
};

enum NV_ENC_PIC_TYPE : uint32_t {
  NV_ENC_PIC_TYPE_P = 0,
  NV_ENC_PIC_TYPE_B = 1,
  NV_ENC_PIC_TYPE_I = 2,
  NV_ENC_PIC_TYPE_IDR = 3,
  NV_ENC_PIC_TYPE_UNKNOWN = 0xFF,
};

constexpr uint32_t NV_ENC_PIC_FLAG_FORCEINTRA = 0x1;
constexpr uint32_t NV_ENC_PIC_FLAG_FORCEIDR = 0x2;
constexpr uint32_t NV_ENC_PIC_FLAG_OUTPUT_SPSPPS = 0x4;
constexpr uint32_t NV_ENC_PIC_FLAG_EOS = 0x8;

constexpr uint32_t NVENC_INFINITE_GOPLENGTH = 0xFFFFFFFF;

// Bits of NV_ENC_CONFIG_H264::bitFields.
constexpr uint32_t NV_ENC_H264_ENABLE_VFR_BIT = 1u << 13;

using NV_ENC_INPUT_PTR = void*;
using NV_ENC_OUTPUT_PTR = void*;
using NV_ENC_REGISTERED_PTR = void*;

struct NV_ENC_QP {
  uint32_t qpInterP;
  uint32_t qpInterB;
  uint32_t qpIntra;
};

struct NV_ENC_RC_PARAMS {
  uint32_t version;
  NV_ENC_PARAMS_RC_MODE rateControlMode;
  NV_ENC_QP constQP;
  uint32_t averageBitRate;
  uint32_t maxBitRate;
  uint32_t vbvBufferSize;
  uint32_t vbvInitialDelay;
  uint32_t bitFields;  // enableMinQP, enableMaxQP, enableInitialRCQP, enableAQ, ...
  NV_ENC_QP minQP;
  NV_ENC_QP maxQP;
  NV_ENC_QP initialRCQP;
  uint32_t temporallayerIdxMask;
  uint8_t temporalLayerQP[8];
  uint16_t targetQuality;
  uint16_t lookaheadDepth;
  uint32_t reserved[9];
};

struct NV_ENC_CONFIG_H264_VUI_PARAMETERS {
  uint32_t overscanInfoPresentFlag;
  uint32_t overscanInfo;
  uint32_t videoSignalTypePresentFlag;
  uint32_t videoFormat;
  uint32_t videoFullRangeFlag;
  uint32_t colourDescriptionPresentFlag;
  uint32_t colourPrimaries;
  uint32_t transferCharacteristics;
  uint32_t colourMatrix;
  uint32_t chromaSampleLocationFlag;
  uint32_t chromaSampleLocationTop;
  uint32_t chromaSampleLocationBot;
  uint32_t bitstreamRestrictionFlag;
  uint32_t reserved[15];
};

struct NV_ENC_CONFIG_H264 {
  uint32_t bitFields;  // enableTemporalSVC (bit 0) ... enableVFR (bit 13) ...
  uint32_t level;
  uint32_t idrPeriod;
  uint32_t separateColourPlaneFlag;
  uint32_t disableDeblockingFilterIDC;
  uint32_t numTemporalLayers;
  uint32_t spsId;
  uint32_t ppsId;
  uint32_t adaptiveTransformMode;
  uint32_t fmoMode;
  uint32_t bdirectMode;
  uint32_t entropyCodingMode;
  uint32_t stereoMode;
  uint32_t intraRefreshPeriod;
  uint32_t intraRefreshCnt;
  uint32_t maxNumRefFrames;
  uint32_t sliceMode;
  uint32_t sliceModeData;
  NV_ENC_CONFIG_H264_VUI_PARAMETERS h264VUIParameters;
  uint32_t ltrNumFrames;
  uint32_t ltrTrustMode;
  uint32_t chromaFormatIDC;
  uint32_t maxTemporalLayers;
  uint32_t reserved1[270];
  void* reserved2[64];
};

union NV_ENC_CODEC_CONFIG {
  NV_ENC_CONFIG_H264 h264Config;
  uint32_t reserved[256];
};

struct NV_ENC_CONFIG {
  uint32_t version;
  GUID profileGUID;
  uint32_t gopLength;
  int32_t frameIntervalP;
  uint32_t monoChromeEncoding;
  NV_ENC_PARAMS_FRAME_FIELD_MODE frameFieldMode;
  uint32_t mvPrecision;
  NV_ENC_RC_PARAMS rcParams;
  NV_ENC_CODEC_CONFIG encodeCodecConfig;
  uint32_t reserved[278];
  void* reserved2[64];
};

struct NV_ENC_PRESET_CONFIG {
  uint32_t version;
  NV_ENC_CONFIG presetCfg;
  uint32_t reserved1[255];
  void* reserved2[64];
};

struct NVENC_EXTERNAL_ME_HINT_COUNTS_PER_BLOCKTYPE {
  uint32_t bitFields;  // candidate counts per block size, 4 bits each
  uint32_t reserved1[3];
};

struct NV_ENC_INITIALIZE_PARAMS {
  uint32_t version;
  GUID encodeGUID;
  GUID presetGUID;
  uint32_t encodeWidth;
  uint32_t encodeHeight;
  uint32_t darWidth;
  uint32_t darHeight;
  uint32_t frameRateNum;
  uint32_t frameRateDen;
  uint32_t enableEncodeAsync;
  uint32_t enablePTD;
  uint32_t bitFields;  // reportSliceOffsets, enableSubFrameWrite, enableExternalMEHints, ...
  uint32_t privDataSize;
  void* privData;
  NV_ENC_CONFIG* encodeConfig;
  uint32_t maxEncodeWidth;
  uint32_t maxEncodeHeight;
  NVENC_EXTERNAL_ME_HINT_COUNTS_PER_BLOCKTYPE maxMEHintCountsPerBlock[2];
  uint32_t reserved[289];
  void* reserved2[64];
};

struct NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS {
  uint32_t version;
  NV_ENC_DEVICE_TYPE deviceType;
  void* device;
  void* reserved;
  uint32_t apiVersion;
  uint32_t reserved1[253];
  void* reserved2[64];
};

struct NV_ENC_CREATE_INPUT_BUFFER {
  uint32_t version;
  uint32_t width;
  uint32_t height;
  NV_ENC_MEMORY_HEAP memoryHeap;
  NV_ENC_BUFFER_FORMAT bufferFmt;
  uint32_t reserved;
  NV_ENC_INPUT_PTR inputBuffer;
  void* pSysMemBuffer;
  uint32_t reserved1[57];
  void* reserved2[63];
};

struct NV_ENC_CREATE_BITSTREAM_BUFFER {
  uint32_t version;
  uint32_t size;
  NV_ENC_MEMORY_HEAP memoryHeap;
  uint32_t reserved;
  NV_ENC_OUTPUT_PTR bitstreamBuffer;
  void* bitstreamBufferPtr;
  uint32_t reserved1[58];
  void* reserved2[64];
};

struct NV_ENC_EVENT_PARAMS {
  uint32_t version;
  uint32_t reserved;
  void* completionEvent;
  uint32_t reserved1[253];
  void* reserved2[64];
};

struct NV_ENC_SEQUENCE_PARAM_PAYLOAD {
  uint32_t version;
  uint32_t inBufferSize;
  uint32_t spsId;
  uint32_t ppsId;
  void* spsppsBuffer;
  uint32_t* outSPSPPSPayloadSize;
  uint32_t reserved[250];
  void* reserved2[64];
};

struct NV_ENC_LOCK_INPUT_BUFFER {
  uint32_t version;
  uint32_t bitFields;  // doNotWait (bit 0)
  NV_ENC_INPUT_PTR inputBuffer;
  void* bufferDataPtr;
  uint32_t pitch;
  uint32_t reserved1[251];
  void* reserved2[64];
};

struct NV_ENC_LOCK_BITSTREAM {
  uint32_t version;
  uint32_t bitFields;  // doNotWait (bit 0), ltrFrame (bit 1)
  void* outputBitstream;
  uint32_t* sliceOffsets;
  uint32_t frameIdx;
  uint32_t hwEncodeStatus;
  uint32_t numSlices;
  uint32_t bitstreamSizeInBytes;
  uint64_t outputTimeStamp;
  uint64_t outputDuration;
  void* bitstreamBufferPtr;
  NV_ENC_PIC_TYPE pictureType;
  NV_ENC_PIC_STRUCT pictureStruct;
  uint32_t frameAvgQP;
  uint32_t frameSatd;
  uint32_t ltrFrameIdx;
  uint32_t ltrFrameBitmap;
  uint32_t reserved[236];
  void* reserved2[64];
};

constexpr uint32_t NV_ENC_LOCK_DO_NOT_WAIT = 1u << 0;

struct NV_ENC_PIC_PARAMS_H264 {
  uint32_t displayPOCSyntax;
  uint32_t reserved3;
  uint32_t refPicFlag;
  uint32_t colourPlaneId;
  uint32_t forceIntraRefreshWithFrameCnt;
  uint32_t bitFields;
  uint8_t* sliceTypeData;
  uint32_t sliceTypeArrayCnt;
  uint32_t seiPayloadArrayCnt;
  void* seiPayloadArray;
  uint32_t sliceMode;
  uint32_t sliceModeData;
  uint32_t ltrMarkFrameIdx;
  uint32_t ltrUseFrameBitmap;
  uint32_t ltrUsageMode;
  uint32_t reserved[243];
  void* reserved2[62];
};

union NV_ENC_CODEC_PIC_PARAMS {
  NV_ENC_PIC_PARAMS_H264 h264PicParams;
  uint32_t reserved[256];
};

struct NV_ENC_PIC_PARAMS {
  uint32_t version;
  uint32_t inputWidth;
  uint32_t inputHeight;
  uint32_t inputPitch;
  uint32_t encodePicFlags;
  uint32_t frameIdx;
  uint64_t inputTimeStamp;
  uint64_t inputDuration;
  NV_ENC_INPUT_PTR inputBuffer;
  NV_ENC_OUTPUT_PTR outputBitstream;
  void* completionEvent;
  NV_ENC_BUFFER_FORMAT bufferFmt;
  NV_ENC_PIC_STRUCT pictureStruct;
  NV_ENC_PIC_TYPE pictureType;
  NV_ENC_CODEC_PIC_PARAMS codecPicParams;
  NVENC_EXTERNAL_ME_HINT_COUNTS_PER_BLOCKTYPE meHintCountsPerBlock[2];
  void* meExternalHints;
  uint32_t reserved1[6];
  void* reserved2[2];
  int8_t* qpDeltaMap;
  uint32_t qpDeltaMapSize;
  uint32_t reservedBitFields;
  uint32_t reserved3[287];
  void* reserved4[60];
};

// The entries in the driver's order; the plug-in calls only some, the others stay opaque.
using PNVENCOPAQUE = void*;
using PNVENCGETENCODEPRESETCONFIG = NVENCSTATUS(NVENCAPI*)(void* encoder, GUID encodeGUID,
                                                            GUID presetGUID,
                                                            NV_ENC_PRESET_CONFIG* presetConfig);
using PNVENCINITIALIZEENCODER = NVENCSTATUS(NVENCAPI*)(void* encoder,
                                                        NV_ENC_INITIALIZE_PARAMS* params);
using PNVENCCREATEINPUTBUFFER = NVENCSTATUS(NVENCAPI*)(void* encoder,
                                                        NV_ENC_CREATE_INPUT_BUFFER* params);
using PNVENCDESTROYINPUTBUFFER = NVENCSTATUS(NVENCAPI*)(void* encoder,
                                                         NV_ENC_INPUT_PTR inputBuffer);
using PNVENCCREATEBITSTREAMBUFFER =
    NVENCSTATUS(NVENCAPI*)(void* encoder, NV_ENC_CREATE_BITSTREAM_BUFFER* params);
using PNVENCDESTROYBITSTREAMBUFFER = NVENCSTATUS(NVENCAPI*)(void* encoder,
                                                             NV_ENC_OUTPUT_PTR bitstreamBuffer);
using PNVENCENCODEPICTURE = NVENCSTATUS(NVENCAPI*)(void* encoder, NV_ENC_PIC_PARAMS* params);
using PNVENCLOCKBITSTREAM = NVENCSTATUS(NVENCAPI*)(void* encoder, NV_ENC_LOCK_BITSTREAM* params);
using PNVENCUNLOCKBITSTREAM = NVENCSTATUS(NVENCAPI*)(void* encoder,
                                                      NV_ENC_OUTPUT_PTR bitstreamBuffer);
using PNVENCLOCKINPUTBUFFER = NVENCSTATUS(NVENCAPI*)(void* encoder,
                                                      NV_ENC_LOCK_INPUT_BUFFER* params);
using PNVENCUNLOCKINPUTBUFFER = NVENCSTATUS(NVENCAPI*)(void* encoder,
                                                        NV_ENC_INPUT_PTR inputBuffer);
using PNVENCGETSEQUENCEPARAMS = NVENCSTATUS(NVENCAPI*)(void* encoder,
                                                        NV_ENC_SEQUENCE_PARAM_PAYLOAD* payload);
using PNVENCREGISTERASYNCEVENT = NVENCSTATUS(NVENCAPI*)(void* encoder,
                                                         NV_ENC_EVENT_PARAMS* params);
using PNVENCUNREGISTERASYNCEVENT = NVENCSTATUS(NVENCAPI*)(void* encoder,
                                                           NV_ENC_EVENT_PARAMS* params);
using PNVENCDESTROYENCODER = NVENCSTATUS(NVENCAPI*)(void* encoder);
using PNVENCOPENENCODESESSIONEX =
    NVENCSTATUS(NVENCAPI*)(NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS* params, void** encoder);

struct NV_ENCODE_API_FUNCTION_LIST {
  uint32_t version;
  uint32_t reserved;
  PNVENCOPAQUE nvEncOpenEncodeSession;
  PNVENCOPAQUE nvEncGetEncodeGUIDCount;
  PNVENCOPAQUE nvEncGetEncodeProfileGUIDCount;
  PNVENCOPAQUE nvEncGetEncodeProfileGUIDs;
  PNVENCOPAQUE nvEncGetEncodeGUIDs;
  PNVENCOPAQUE nvEncGetInputFormatCount;
  PNVENCOPAQUE nvEncGetInputFormats;
  PNVENCOPAQUE nvEncGetEncodeCaps;
  PNVENCOPAQUE nvEncGetEncodePresetCount;
  PNVENCOPAQUE nvEncGetEncodePresetGUIDs;
  PNVENCGETENCODEPRESETCONFIG nvEncGetEncodePresetConfig;
  PNVENCINITIALIZEENCODER nvEncInitializeEncoder;
  PNVENCCREATEINPUTBUFFER nvEncCreateInputBuffer;
  PNVENCDESTROYINPUTBUFFER nvEncDestroyInputBuffer;
  PNVENCCREATEBITSTREAMBUFFER nvEncCreateBitstreamBuffer;
  PNVENCDESTROYBITSTREAMBUFFER nvEncDestroyBitstreamBuffer;
  PNVENCENCODEPICTURE nvEncEncodePicture;
  PNVENCLOCKBITSTREAM nvEncLockBitstream;
  PNVENCUNLOCKBITSTREAM nvEncUnlockBitstream;
  PNVENCLOCKINPUTBUFFER nvEncLockInputBuffer;
  PNVENCUNLOCKINPUTBUFFER nvEncUnlockInputBuffer;
  PNVENCOPAQUE nvEncGetEncodeStats;
  PNVENCGETSEQUENCEPARAMS nvEncGetSequenceParams;
  PNVENCREGISTERASYNCEVENT nvEncRegisterAsyncEvent;
  PNVENCUNREGISTERASYNCEVENT nvEncUnregisterAsyncEvent;
  PNVENCOPAQUE nvEncMapInputResource;
  PNVENCOPAQUE nvEncUnmapInputResource;
  PNVENCDESTROYENCODER nvEncDestroyEncoder;
  PNVENCOPAQUE nvEncInvalidateRefFrames;
  PNVENCOPENENCODESESSIONEX nvEncOpenEncodeSessionEx;
  PNVENCOPAQUE nvEncRegisterResource;
  PNVENCOPAQUE nvEncUnregisterResource;
  PNVENCOPAQUE nvEncReconfigureEncoder;
  void* reserved1;
  PNVENCOPAQUE nvEncCreateMVBuffer;
  PNVENCOPAQUE nvEncDestroyMVBuffer;
  PNVENCOPAQUE nvEncRunMotionEstimationOnly;
  void* reserved2[281];
};

// The two entry points the encode library exports by name.
using PNVENCODEAPIGETMAXSUPPORTEDVERSION = NVENCSTATUS(NVENCAPI*)(uint32_t* version);
using PNVENCODEAPICREATEINSTANCE = NVENCSTATUS(NVENCAPI*)(NV_ENCODE_API_FUNCTION_LIST* list);

// {6BC82762-4E63-4CA4-AA85-1E50F321F6BF}
constexpr GUID NV_ENC_CODEC_H264_GUID = {
    0x6bc82762, 0x4e63, 0x4ca4, {0xaa, 0x85, 0x1e, 0x50, 0xf3, 0x21, 0xf6, 0xbf}};
// {B2DFB705-4EBD-4C49-9B5F-24A777D3E587}
constexpr GUID NV_ENC_PRESET_DEFAULT_GUID = {
    0xb2dfb705, 0x4ebd, 0x4c49, {0x9b, 0x5f, 0x24, 0xa7, 0x77, 0xd3, 0xe5, 0x87}};
// {60E4C59F-E846-4484-A56D-CD45BE9FDDF6}
constexpr GUID NV_ENC_PRESET_HP_GUID = {
    0x60e4c59f, 0xe846, 0x4484, {0xa5, 0x6d, 0xcd, 0x45, 0xbe, 0x9f, 0xdd, 0xf6}};
// {34DBA71D-A77B-4B8F-9C3E-B6D5DA24C012}
constexpr GUID NV_ENC_PRESET_HQ_GUID = {
    0x34dba71d, 0xa77b, 0x4b8f, {0x9c, 0x3e, 0xb6, 0xd5, 0xda, 0x24, 0xc0, 0x12}};
// {49DF21C5-6DFA-4FEB-9787-6ACC9EFFB726}
constexpr GUID NV_ENC_PRESET_LOW_LATENCY_DEFAULT_GUID = {
    0x49df21c5, 0x6dfa, 0x4feb, {0x97, 0x87, 0x6a, 0xcc, 0x9e, 0xff, 0xb7, 0x26}};
// {C5F733B9-EA97-4CF9-BEC2-BF78A74FD105}
constexpr GUID NV_ENC_PRESET_LOW_LATENCY_HQ_GUID = {
    0xc5f733b9, 0xea97, 0x4cf9, {0xbe, 0xc2, 0xbf, 0x78, 0xa7, 0x4f, 0xd1, 0x05}};
// {67082A44-4BAD-48FA-98EA-93056D150A58}
constexpr GUID NV_ENC_PRESET_LOW_LATENCY_HP_GUID = {
    0x67082a44, 0x4bad, 0x48fa, {0x98, 0xea, 0x93, 0x05, 0x6d, 0x15, 0x0a, 0x58}};
// {BFD6F8E7-233C-4341-8B3E-4818523803F4}
constexpr GUID NV_ENC_CODEC_PROFILE_AUTOSELECT_GUID = {
    0xbfd6f8e7, 0x233c, 0x4341, {0x8b, 0x3e, 0x48, 0x18, 0x52, 0x38, 0x03, 0xf4}};
// {0727BCAA-78C4-4C83-8C2F-EF3DFF267C6A}
constexpr GUID NV_ENC_H264_PROFILE_BASELINE_GUID = {
    0x0727bcaa, 0x78c4, 0x4c83, {0x8c, 0x2f, 0xef, 0x3d, 0xff, 0x26, 0x7c, 0x6a}};
// {60B5C1D4-67FE-4790-94D5-C4726D7B6E6D}
constexpr GUID NV_ENC_H264_PROFILE_MAIN_GUID = {
    0x60b5c1d4, 0x67fe, 0x4790, {0x94, 0xd5, 0xc4, 0x72, 0x6d, 0x7b, 0x6e, 0x6d}};
// {E7CBC309-4F7A-4B89-AF2A-D537C92BE310}
constexpr GUID NV_ENC_H264_PROFILE_HIGH_GUID = {
    0xe7cbc309, 0x4f7a, 0x4b89, {0xaf, 0x2a, 0xd5, 0x37, 0xc9, 0x2b, 0xe3, 0x10}};
