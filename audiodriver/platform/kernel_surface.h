#pragma once

// The kernel, Port Class and kernel-streaming surface that VextraAudioDriver is written
// against: declarations of our own with the platform's names, fixed-width types (ULONG is
// 32 bits everywhere) and the x86-64 layouts, checked below. The driver includes this header
// and nothing else of the platform; the real kernel (with kernel_image.cpp beside this header)
// and the user-mode stand-in stand behind the same declarations. Interfaces list their methods
// in the platform's table order.

#include <stddef.h>
#include <stdint.h>

#include <new>  // placement new, the only part used

static_assert(sizeof(void*) == 8, "the driver and this surface are 64-bit only");

// ---------------------------------------------------------------------------------------
// Basic types

using UCHAR = uint8_t;
using BOOLEAN = UCHAR;
using CCHAR = char;
using USHORT = uint16_t;
using WORD = uint16_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using LONG = int32_t;
using BOOL = int32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using ULONG_PTR = uintptr_t;
using SIZE_T = size_t;
using PVOID = void*;
using PULONG = ULONG*;
using PLONG = LONG*;
using PLONGLONG = LONGLONG*;
using NTSTATUS = LONG;
using KIRQL = UCHAR;
using PKIRQL = KIRQL*;
using WCHAR = char16_t;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using COLORREF = DWORD;
using ACCESS_MASK = ULONG;
using KPROCESSOR_MODE = CCHAR;

inline constexpr BOOLEAN TRUE = 1;
inline constexpr BOOLEAN FALSE = 0;

union LARGE_INTEGER {
  struct {
    ULONG LowPart;
    LONG HighPart;
  };
  struct {
    ULONG LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;
using PHYSICAL_ADDRESS = LARGE_INTEGER;
using PPHYSICAL_ADDRESS = PHYSICAL_ADDRESS*;

struct UNICODE_STRING {
  USHORT Length;
  USHORT MaximumLength;
  PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;

// Objects the driver only passes on.
struct DRIVER_OBJECT;
struct DEVICE_OBJECT;
struct IRP;
struct DEVICE_CAPABILITIES;
struct OBJECT_ATTRIBUTES;
struct ADAPTER_OBJECT;
using PDRIVER_OBJECT = DRIVER_OBJECT*;
using PDEVICE_OBJECT = DEVICE_OBJECT*;
using PIRP = IRP*;
using PDEVICE_CAPABILITIES = DEVICE_CAPABILITIES*;
using POBJECT_ATTRIBUTES = OBJECT_ATTRIBUTES*;
using PADAPTER_OBJECT = ADAPTER_OBJECT*;

// ---------------------------------------------------------------------------------------
// Status values

inline constexpr NTSTATUS STATUS_SUCCESS = 0;
inline constexpr NTSTATUS STATUS_TIMEOUT = 0x00000102;
inline constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = static_cast<NTSTATUS>(0x80000005u);
inline constexpr NTSTATUS STATUS_UNSUCCESSFUL = static_cast<NTSTATUS>(0xC0000001u);
inline constexpr NTSTATUS STATUS_NOT_IMPLEMENTED = static_cast<NTSTATUS>(0xC0000002u);
inline constexpr NTSTATUS STATUS_INVALID_PARAMETER = static_cast<NTSTATUS>(0xC000000Du);
inline constexpr NTSTATUS STATUS_INVALID_DEVICE_REQUEST = static_cast<NTSTATUS>(0xC0000010u);
inline constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = static_cast<NTSTATUS>(0xC0000023u);
inline constexpr NTSTATUS STATUS_MUTANT_NOT_OWNED = static_cast<NTSTATUS>(0xC0000046u);
inline constexpr NTSTATUS STATUS_INSUFFICIENT_RESOURCES = static_cast<NTSTATUS>(0xC000009Au);
inline constexpr NTSTATUS STATUS_NOT_SUPPORTED = static_cast<NTSTATUS>(0xC00000BBu);
inline constexpr NTSTATUS STATUS_INVALID_BUFFER_SIZE = static_cast<NTSTATUS>(0xC0000206u);
inline constexpr NTSTATUS STATUS_NOT_FOUND = static_cast<NTSTATUS>(0xC0000225u);
inline constexpr NTSTATUS STATUS_PROPSET_NOT_FOUND = static_cast<NTSTATUS>(0xC0000230u);
inline constexpr NTSTATUS STATUS_NO_MATCH = static_cast<NTSTATUS>(0xC0000272u);

constexpr bool NT_SUCCESS(NTSTATUS status) { return status >= 0; }

// ---------------------------------------------------------------------------------------
// GUIDs

struct GUID {
  ULONG Data1;
  USHORT Data2;
  USHORT Data3;
  UCHAR Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// ---------------------------------------------------------------------------------------
// Memory

enum POOL_TYPE : int {
  NonPagedPool = 0,
  PagedPool = 1,
  NonPagedPoolNx = 512,
};

// A pool tag from its four characters in memory order, as pool tools show it.
constexpr ULONG PoolTagFromText(const char (&text)[5]) {
  return static_cast<ULONG>(static_cast<UCHAR>(text[0])) | static_cast<ULONG>(static_cast<UCHAR>(text[1])) << 8 |
         static_cast<ULONG>(static_cast<UCHAR>(text[2])) << 16 | static_cast<ULONG>(static_cast<UCHAR>(text[3])) << 24;
}

inline void RtlCopyMemory(void* destination, const void* source, SIZE_T length) {
  __builtin_memcpy(destination, source, length);
}
inline void RtlMoveMemory(void* destination, const void* source, SIZE_T length) {
  __builtin_memmove(destination, source, length);
}
inline void RtlFillMemory(void* destination, SIZE_T length, UCHAR fill) {
  __builtin_memset(destination, fill, length);
}
inline void RtlZeroMemory(void* destination, SIZE_T length) { __builtin_memset(destination, 0, length); }

inline LONG InterlockedIncrement(LONG volatile* addend) {
  return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* addend) {
  return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}

// ---------------------------------------------------------------------------------------
// Kernel objects. The dispatcher objects are opaque here: only the kernel looks inside,
// so they are declared with their sizes and alignment alone.

inline constexpr KIRQL PASSIVE_LEVEL = 0;
inline constexpr KIRQL APC_LEVEL = 1;
inline constexpr KIRQL DISPATCH_LEVEL = 2;

using KSPIN_LOCK = ULONG_PTR;
using PKSPIN_LOCK = KSPIN_LOCK*;

struct KSPIN_LOCK_QUEUE {
  KSPIN_LOCK_QUEUE* volatile Next;
  PKSPIN_LOCK volatile Lock;
};

struct KLOCK_QUEUE_HANDLE {
  KSPIN_LOCK_QUEUE LockQueue;
  KIRQL OldIrql;
};
using PKLOCK_QUEUE_HANDLE = KLOCK_QUEUE_HANDLE*;

struct alignas(8) KMUTEX {
  UCHAR Opaque[56];
};
using PKMUTEX = KMUTEX*;
using PRKMUTEX = KMUTEX*;

struct alignas(8) KDPC {
  UCHAR Opaque[64];
};
using PKDPC = KDPC*;
using PRKDPC = KDPC*;

struct alignas(8) KTIMER {
  UCHAR Opaque[64];
};
using PKTIMER = KTIMER*;

using KDEFERRED_ROUTINE = void(PKDPC Dpc, PVOID DeferredContext, PVOID SystemArgument1,
                               PVOID SystemArgument2);
using PKDEFERRED_ROUTINE = KDEFERRED_ROUTINE*;

enum TIMER_TYPE : int { NotificationTimer = 0, SynchronizationTimer = 1 };
enum KWAIT_REASON : int { Executive = 0 };
inline constexpr KPROCESSOR_MODE KernelMode = 0;

enum DEVICE_POWER_STATE : int {
  PowerDeviceUnspecified = 0,
  PowerDeviceD0 = 1,
  PowerDeviceD1 = 2,
  PowerDeviceD2 = 3,
  PowerDeviceD3 = 4,
  PowerDeviceMaximum = 5,
};

enum SYSTEM_POWER_STATE : int {
  PowerSystemUnspecified = 0,
  PowerSystemWorking = 1,
  PowerSystemMaximum = 7,
};

union POWER_STATE {
  SYSTEM_POWER_STATE SystemState;
  DEVICE_POWER_STATE DeviceState;
};

enum DEVICE_REGISTRY_PROPERTY : int { DevicePropertyDeviceDescription = 0 };

using DRIVER_ADD_DEVICE = NTSTATUS(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject);
using PDRIVER_ADD_DEVICE = DRIVER_ADD_DEVICE*;

extern "C" {

PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag);
void ExFreePoolWithTag(PVOID P, ULONG Tag);

// The x86-64 kernel has these as processor intrinsics, not exports: the driver does not call
// them (the kernel image would not link), the stand-in and its tests do.
KIRQL KeGetCurrentIrql();
void KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql);
void KeLowerIrql(KIRQL NewIrql);

KIRQL KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK SpinLock);
void KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql);
void KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock);
void KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock);
void KeAcquireInStackQueuedSpinLock(PKSPIN_LOCK SpinLock, PKLOCK_QUEUE_HANDLE LockHandle);
void KeReleaseInStackQueuedSpinLock(PKLOCK_QUEUE_HANDLE LockHandle);

void KeInitializeMutex(PRKMUTEX Mutex, ULONG Level);
LONG KeReleaseMutex(PRKMUTEX Mutex, BOOLEAN Wait);
NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout);

void KeInitializeDpc(PRKDPC Dpc, PKDEFERRED_ROUTINE DeferredRoutine, PVOID DeferredContext);
BOOLEAN KeInsertQueueDpc(PRKDPC Dpc, PVOID SystemArgument1, PVOID SystemArgument2);
BOOLEAN KeRemoveQueueDpc(PRKDPC Dpc);
void KeFlushQueuedDpcs();

void KeInitializeTimerEx(PKTIMER Timer, TIMER_TYPE Type);
BOOLEAN KeSetTimerEx(PKTIMER Timer, LARGE_INTEGER DueTime, LONG Period, PKDPC Dpc);
BOOLEAN KeCancelTimer(PKTIMER Timer);

// The x86-64 kernel exports no such routine; the kernel image reads the shared user data
// page itself (kernel_image.cpp).
ULONGLONG KeQueryInterruptTime();

[[noreturn]] void KeBugCheckEx(ULONG BugCheckCode, ULONG_PTR Parameter1, ULONG_PTR Parameter2,
                               ULONG_PTR Parameter3, ULONG_PTR Parameter4);

// Named by the tables of abstract interfaces when the compiler emits them. The C++ runtime
// supplies it in user mode; a kernel image must supply it itself (a bug check).
void __cxa_pure_virtual();

}  // extern "C"

inline void KeInitializeSpinLock(PKSPIN_LOCK SpinLock) { *SpinLock = 0; }

// ---------------------------------------------------------------------------------------
// COM-style objects of the kernel

class IUnknown {
 public:
  virtual NTSTATUS QueryInterface(REFIID iid, PVOID* object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};
using PUNKNOWN = IUnknown*;

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ---------------------------------------------------------------------------------------
// Kernel streaming

// KSPROPERTY and the other identifiers carry a LONGLONG alignment member in the platform's
// union; alignas gives the same layout.
struct alignas(8) KSIDENTIFIER {
  GUID Set;
  ULONG Id;
  ULONG Flags;
};
using KSPROPERTY = KSIDENTIFIER;
using PKSPROPERTY = KSPROPERTY*;

inline constexpr ULONG KSPROPERTY_TYPE_GET = 0x00000001;
inline constexpr ULONG KSPROPERTY_TYPE_SET = 0x00000002;
inline constexpr ULONG KSPROPERTY_TYPE_SETSUPPORT = 0x00000100;
inline constexpr ULONG KSPROPERTY_TYPE_BASICSUPPORT = 0x00000200;
inline constexpr ULONG KSPROPERTY_TYPE_RELATIONS = 0x00000400;
inline constexpr ULONG KSPROPERTY_TYPE_SERIALIZESET = 0x00000800;
inline constexpr ULONG KSPROPERTY_TYPE_UNSERIALIZESET = 0x00001000;
inline constexpr ULONG KSPROPERTY_TYPE_SERIALIZERAW = 0x00002000;
inline constexpr ULONG KSPROPERTY_TYPE_UNSERIALIZERAW = 0x00004000;
inline constexpr ULONG KSPROPERTY_TYPE_SERIALIZESIZE = 0x00008000;
inline constexpr ULONG KSPROPERTY_TYPE_DEFAULTVALUES = 0x00010000;
inline constexpr ULONG KSPROPERTY_TYPE_TOPOLOGY = 0x10000000;

struct KSP_PIN {
  KSPROPERTY Property;
  ULONG PinId;
  ULONG Reserved;
};

struct KSP_NODE {
  KSPROPERTY Property;
  ULONG NodeId;
  ULONG Reserved;
};

struct KSNODEPROPERTY {
  KSPROPERTY Property;
  ULONG NodeId;
  ULONG Reserved;
};

struct KSNODEPROPERTY_AUDIO_CHANNEL {
  KSNODEPROPERTY NodeProperty;
  LONG Channel;
  ULONG Reserved;
};

struct KSMULTIPLE_ITEM {
  ULONG Size;
  ULONG Count;
};

struct KSPROPERTY_DESCRIPTION {
  ULONG AccessFlags;
  ULONG DescriptionSize;
  KSIDENTIFIER PropTypeSet;
  ULONG MembersListCount;
  ULONG Reserved;
};

struct KSPROPERTY_MEMBERSHEADER {
  ULONG MembersFlags;
  ULONG MembersSize;
  ULONG MembersCount;
  ULONG Flags;
};

inline constexpr ULONG KSPROPERTY_MEMBER_RANGES = 0x00000001;
inline constexpr ULONG KSPROPERTY_MEMBER_STEPPEDRANGES = 0x00000002;
inline constexpr ULONG KSPROPERTY_MEMBER_VALUES = 0x00000003;
inline constexpr ULONG KSPROPERTY_MEMBER_FLAG_DEFAULT = 0x00000001;
inline constexpr ULONG KSPROPERTY_MEMBER_FLAG_BASICSUPPORT_MULTICHANNEL = 0x00000002;
inline constexpr ULONG KSPROPERTY_MEMBER_FLAG_BASICSUPPORT_UNIFORM = 0x00000004;

union KSPROPERTY_BOUNDS_LONG {
  struct {
    LONG SignedMinimum;
    LONG SignedMaximum;
  };
  struct {
    ULONG UnsignedMinimum;
    ULONG UnsignedMaximum;
  };
};

struct KSPROPERTY_STEPPING_LONG {
  ULONG SteppingDelta;
  ULONG Reserved;
  KSPROPERTY_BOUNDS_LONG Bounds;
};

struct KSCOMPONENTID {
  GUID Manufacturer;
  GUID Product;
  GUID Component;
  GUID Name;
  ULONG Version;
  ULONG Revision;
};

struct alignas(8) KSDATAFORMAT {
  ULONG FormatSize;
  ULONG Flags;
  ULONG SampleSize;
  ULONG Reserved;
  GUID MajorFormat;
  GUID SubFormat;
  GUID Specifier;
};
using KSDATARANGE = KSDATAFORMAT;
using PKSDATAFORMAT = KSDATAFORMAT*;
using PKSDATARANGE = KSDATARANGE*;

struct KSDATARANGE_AUDIO {
  KSDATARANGE DataRange;
  ULONG MaximumChannels;
  ULONG MinimumBitsPerSample;
  ULONG MaximumBitsPerSample;
  ULONG MinimumSampleFrequency;
  ULONG MaximumSampleFrequency;
};

enum KSPIN_DATAFLOW : int { KSPIN_DATAFLOW_IN = 1, KSPIN_DATAFLOW_OUT = 2 };

enum KSPIN_COMMUNICATION : int {
  KSPIN_COMMUNICATION_NONE = 0,
  KSPIN_COMMUNICATION_SINK = 1,
  KSPIN_COMMUNICATION_SOURCE = 2,
  KSPIN_COMMUNICATION_BOTH = 3,
  KSPIN_COMMUNICATION_BRIDGE = 4,
};

enum KSSTATE : int { KSSTATE_STOP = 0, KSSTATE_ACQUIRE = 1, KSSTATE_PAUSE = 2, KSSTATE_RUN = 3 };

using KSPIN_INTERFACE = KSIDENTIFIER;
using KSPIN_MEDIUM = KSIDENTIFIER;

struct KSPIN_DESCRIPTOR {
  ULONG InterfacesCount;
  const KSPIN_INTERFACE* Interfaces;
  ULONG MediumsCount;
  const KSPIN_MEDIUM* Mediums;
  ULONG DataRangesCount;
  const KSDATARANGE* const* DataRanges;
  KSPIN_DATAFLOW DataFlow;
  KSPIN_COMMUNICATION Communication;
  const GUID* Category;
  const GUID* Name;
  union {
    LONGLONG Reserved;
    struct {
      ULONG ConstrainedDataRangesCount;
      const KSDATARANGE* const* ConstrainedDataRanges;
    };
  };
};

struct KSPIN_CINSTANCES {
  ULONG PossibleCount;
  ULONG CurrentCount;
};

struct KSTOPOLOGY_CONNECTION {
  ULONG FromNode;
  ULONG FromNodePin;
  ULONG ToNode;
  ULONG ToNodePin;
};

inline constexpr ULONG KSFILTER_NODE = 0xFFFFFFFF;

// Pin and topology properties answered by the port from the filter descriptor.
enum : ULONG {
  KSPROPERTY_PIN_CINSTANCES = 0,
  KSPROPERTY_PIN_CTYPES = 1,
  KSPROPERTY_PIN_DATAFLOW = 2,
  KSPROPERTY_PIN_DATARANGES = 3,
  KSPROPERTY_PIN_DATAINTERSECTION = 4,
  KSPROPERTY_PIN_INTERFACES = 5,
  KSPROPERTY_PIN_MEDIUMS = 6,
  KSPROPERTY_PIN_COMMUNICATION = 7,
  KSPROPERTY_PIN_GLOBALCINSTANCES = 8,
  KSPROPERTY_PIN_NECESSARYINSTANCES = 9,
  KSPROPERTY_PIN_PHYSICALCONNECTION = 10,
  KSPROPERTY_PIN_CATEGORY = 11,
  KSPROPERTY_PIN_NAME = 12,
  KSPROPERTY_PIN_CONSTRAINEDDATARANGES = 13,
  KSPROPERTY_PIN_PROPOSEDATAFORMAT = 14,
};

enum : ULONG {
  KSPROPERTY_TOPOLOGY_CATEGORIES = 0,
  KSPROPERTY_TOPOLOGY_NODES = 1,
  KSPROPERTY_TOPOLOGY_CONNECTIONS = 2,
  KSPROPERTY_TOPOLOGY_NAME = 3,
};

inline constexpr ULONG KSPROPERTY_GENERAL_COMPONENTID = 0;

enum : ULONG {
  KSPROPERTY_AUDIO_VOLUMELEVEL = 4,
  KSPROPERTY_AUDIO_MUX_SOURCE = 12,
  KSPROPERTY_AUDIO_MUTE = 13,
  KSPROPERTY_AUDIO_DEV_SPECIFIC = 28,
  KSPROPERTY_AUDIO_CPU_RESOURCES = 33,
};

inline constexpr LONG KSAUDIO_CPU_RESOURCES_NOT_HOST_CPU = 0x00000000;
inline constexpr LONG KSAUDIO_CPU_RESOURCES_HOST_CPU = 0x7FFFFFFF;

inline constexpr ULONG KSPROPERTY_JACK_DESCRIPTION = 1;

// Variant type codes used as property value types.
enum : ULONG { VT_EMPTY = 0, VT_I4 = 3, VT_BOOL = 11, VT_UI4 = 19 };

// ---------------------------------------------------------------------------------------
// Audio formats and jacks

// Byte-packed, as the wave format header is everywhere it travels.
#pragma pack(push, 1)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};

struct WAVEFORMATEXTENSIBLE {
  WAVEFORMATEX Format;
  union {
    WORD wValidBitsPerSample;
    WORD wSamplesPerBlock;
    WORD wReserved;
  } Samples;
  DWORD dwChannelMask;
  GUID SubFormat;
};
#pragma pack(pop)

inline constexpr WORD WAVE_FORMAT_PCM = 0x0001;
inline constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

inline constexpr DWORD SPEAKER_FRONT_LEFT = 0x1;
inline constexpr DWORD SPEAKER_FRONT_RIGHT = 0x2;

struct KSDATAFORMAT_WAVEFORMATEX {
  KSDATAFORMAT DataFormat;
  WAVEFORMATEX WaveFormatEx;
};

enum EPcxConnectionType : int { eConnTypeUnknown = 0, eConnType3Point5mm = 1 };
enum EPcxGeoLocation : int { eGeoLocRear = 1, eGeoLocFront = 2 };
enum EPcxGenLocation : int { eGenLocPrimaryBox = 0, eGenLocInternal = 1 };
enum EPxcPortConnection : int { ePortConnJack = 0, ePortConnIntegratedDevice = 1 };

struct KSJACK_DESCRIPTION {
  DWORD ChannelMapping;
  COLORREF Color;
  EPcxConnectionType ConnectionType;
  EPcxGeoLocation GeoLocation;
  EPcxGenLocation GenLocation;
  EPxcPortConnection PortConnection;
  BOOL IsConnected;
};

// ---------------------------------------------------------------------------------------
// Port Class descriptors and property requests

class IResourceList;
using PRESOURCELIST = IResourceList*;

struct PCPROPERTY_ITEM;
struct PCPROPERTY_REQUEST {
  PUNKNOWN MajorTarget;
  PUNKNOWN MinorTarget;
  ULONG Node;
  const PCPROPERTY_ITEM* PropertyItem;
  ULONG Verb;
  ULONG InstanceSize;
  PVOID Instance;
  ULONG ValueSize;
  PVOID Value;
  PIRP Irp;
};
using PPCPROPERTY_REQUEST = PCPROPERTY_REQUEST*;

using PCPFNPROPERTY_HANDLER = NTSTATUS (*)(PPCPROPERTY_REQUEST PropertyRequest);

struct PCPROPERTY_ITEM {
  const GUID* Set;
  ULONG Id;
  ULONG Flags;
  PCPFNPROPERTY_HANDLER Handler;
};

inline constexpr ULONG PCPROPERTY_ITEM_FLAG_GET = KSPROPERTY_TYPE_GET;
inline constexpr ULONG PCPROPERTY_ITEM_FLAG_SET = KSPROPERTY_TYPE_SET;
inline constexpr ULONG PCPROPERTY_ITEM_FLAG_BASICSUPPORT = KSPROPERTY_TYPE_BASICSUPPORT;

struct PCMETHOD_ITEM;
struct PCEVENT_ITEM;

struct PCAUTOMATION_TABLE {
  ULONG PropertyItemSize;
  ULONG PropertyCount;
  const PCPROPERTY_ITEM* Properties;
  ULONG MethodItemSize;
  ULONG MethodCount;
  const PCMETHOD_ITEM* Methods;
  ULONG EventItemSize;
  ULONG EventCount;
  const PCEVENT_ITEM* Events;
  ULONG Reserved;
};

struct PCPIN_DESCRIPTOR {
  ULONG MaxGlobalInstanceCount;
  ULONG MaxFilterInstanceCount;
  ULONG MinFilterInstanceCount;
  const PCAUTOMATION_TABLE* AutomationTable;
  KSPIN_DESCRIPTOR KsPinDescriptor;
};

struct PCNODE_DESCRIPTOR {
  ULONG Flags;
  const PCAUTOMATION_TABLE* AutomationTable;
  const GUID* Type;
  const GUID* Name;
};

struct PCCONNECTION_DESCRIPTOR {
  ULONG FromNode;
  ULONG FromNodePin;
  ULONG ToNode;
  ULONG ToNodePin;
};

inline constexpr ULONG PCFILTER_NODE = KSFILTER_NODE;

struct PCFILTER_DESCRIPTOR {
  ULONG Version;
  const PCAUTOMATION_TABLE* AutomationTable;
  ULONG PinSize;
  ULONG PinCount;
  const PCPIN_DESCRIPTOR* Pins;
  ULONG NodeSize;
  ULONG NodeCount;
  const PCNODE_DESCRIPTOR* Nodes;
  ULONG ConnectionCount;
  const PCCONNECTION_DESCRIPTOR* Connections;
  ULONG CategoryCount;
  const GUID* Categories;
};
using PPCFILTER_DESCRIPTOR = PCFILTER_DESCRIPTOR*;

// ---------------------------------------------------------------------------------------
// Port Class interfaces

class IRegistryKey : public IUnknown {};  // methods not used by the driver
using PREGISTRYKEY = IRegistryKey*;

class IResourceList : public IUnknown {};  // methods not used by the driver

class IServiceSink : public IUnknown {
 public:
  virtual void RequestService() = 0;
};
using PSERVICESINK = IServiceSink*;

class IServiceGroup : public IServiceSink {
 public:
  virtual NTSTATUS AddMember(PSERVICESINK ServiceSink) = 0;
  virtual void RemoveMember(PSERVICESINK ServiceSink) = 0;
  virtual void SupportDelayedService() = 0;
  virtual void RequestDelayedService(ULONGLONG ullDelay) = 0;
  virtual void CancelDelayedService() = 0;
};
using PSERVICEGROUP = IServiceGroup*;

class IDmaChannel : public IUnknown {
 public:
  virtual NTSTATUS AllocateBuffer(ULONG BufferSize, PPHYSICAL_ADDRESS PhysicalAddressConstraint) = 0;
  virtual void FreeBuffer() = 0;
  virtual ULONG TransferCount() = 0;
  virtual ULONG MaximumBufferSize() = 0;
  virtual ULONG AllocatedBufferSize() = 0;
  virtual ULONG BufferSize() = 0;
  virtual void SetBufferSize(ULONG BufferSize) = 0;
  virtual PVOID SystemAddress() = 0;
  // The platform returns a union from a member function through a hidden result pointer that
  // follows `this`, and hands that pointer back; declared so, every compiler agrees with it.
  virtual PPHYSICAL_ADDRESS PhysicalAddress(PPHYSICAL_ADDRESS Result) = 0;
  virtual PADAPTER_OBJECT GetAdapterObject() = 0;
  virtual void CopyTo(PVOID Destination, PVOID Source, ULONG ByteCount) = 0;
  virtual void CopyFrom(PVOID Destination, PVOID Source, ULONG ByteCount) = 0;
};
using PDMACHANNEL = IDmaChannel*;

class IDmaChannelSlave;  // not used by the driver
using PDMACHANNELSLAVE = IDmaChannelSlave*;
enum DMA_WIDTH : int { Width8Bits = 0, Width16Bits = 1, Width32Bits = 2 };
enum DMA_SPEED : int { Compatible = 0, TypeA = 1, TypeB = 2, TypeC = 3 };

class IPort : public IUnknown {
 public:
  virtual NTSTATUS Init(PDEVICE_OBJECT DeviceObject, PIRP Irp, PUNKNOWN UnknownMiniport,
                        PUNKNOWN UnknownAdapter, PRESOURCELIST ResourceList) = 0;
  virtual NTSTATUS GetDeviceProperty(DEVICE_REGISTRY_PROPERTY DeviceProperty, ULONG BufferLength,
                                     PVOID PropertyBuffer, PULONG ResultLength) = 0;
  virtual NTSTATUS NewRegistryKey(PREGISTRYKEY* OutRegistryKey, PUNKNOWN OuterUnknown,
                                  ULONG RegistryKeyType, ACCESS_MASK DesiredAccess,
                                  POBJECT_ATTRIBUTES ObjectAttributes, ULONG CreateOptions,
                                  PULONG Disposition) = 0;
};
using PPORT = IPort*;

class IPortTopology : public IPort {};
using PPORTTOPOLOGY = IPortTopology*;

class IPortWaveCyclic : public IPort {
 public:
  virtual void Notify(PSERVICEGROUP ServiceGroup) = 0;
  virtual NTSTATUS NewMasterDmaChannel(PDMACHANNEL* DmaChannel, PUNKNOWN OuterUnknown,
                                       PRESOURCELIST ResourceList, ULONG MaximumLength,
                                       BOOLEAN Dma32BitAddresses, BOOLEAN Dma64BitAddresses,
                                       DMA_WIDTH DmaWidth, DMA_SPEED DmaSpeed) = 0;
  virtual NTSTATUS NewSlaveDmaChannel(PDMACHANNELSLAVE* DmaChannel, PUNKNOWN OuterUnknown,
                                      PRESOURCELIST ResourceList, ULONG DmaIndex,
                                      ULONG MaximumLength, BOOLEAN DemandMode,
                                      DMA_SPEED DmaSpeed) = 0;
};
using PPORTWAVECYCLIC = IPortWaveCyclic*;

class IMiniport : public IUnknown {
 public:
  virtual NTSTATUS GetDescription(const PCFILTER_DESCRIPTOR** Description) = 0;
  virtual NTSTATUS DataRangeIntersection(ULONG PinId, PKSDATARANGE DataRange,
                                         PKSDATARANGE MatchingDataRange, ULONG OutputBufferLength,
                                         PVOID ResultantFormat, PULONG ResultantFormatLength) = 0;
};
using PMINIPORT = IMiniport*;

class IMiniportTopology : public IMiniport {
 public:
  virtual NTSTATUS Init(PUNKNOWN UnknownAdapter, PRESOURCELIST ResourceList, PPORTTOPOLOGY Port) = 0;
};
using PMINIPORTTOPOLOGY = IMiniportTopology*;

class IMiniportWaveCyclicStream : public IUnknown {
 public:
  virtual NTSTATUS SetFormat(PKSDATAFORMAT DataFormat) = 0;
  virtual ULONG SetNotificationFreq(ULONG Interval, PULONG FramingSize) = 0;
  virtual NTSTATUS SetState(KSSTATE State) = 0;
  virtual NTSTATUS GetPosition(PULONG Position) = 0;
  virtual NTSTATUS NormalizePhysicalPosition(PLONGLONG PhysicalPosition) = 0;
  virtual void Silence(PVOID Buffer, ULONG ByteCount) = 0;
};
using PMINIPORTWAVECYCLICSTREAM = IMiniportWaveCyclicStream*;

class IMiniportWaveCyclic : public IMiniport {
 public:
  virtual NTSTATUS Init(PUNKNOWN UnknownAdapter, PRESOURCELIST ResourceList, PPORTWAVECYCLIC Port) = 0;
  virtual NTSTATUS NewStream(PMINIPORTWAVECYCLICSTREAM* Stream, PUNKNOWN OuterUnknown,
                             POOL_TYPE PoolType, ULONG Pin, BOOLEAN Capture,
                             PKSDATAFORMAT DataFormat, PDMACHANNEL* DmaChannel,
                             PSERVICEGROUP* ServiceGroup) = 0;
};
using PMINIPORTWAVECYCLIC = IMiniportWaveCyclic*;

class IAdapterPowerManagement : public IUnknown {
 public:
  virtual void PowerChangeState(POWER_STATE NewState) = 0;
  virtual NTSTATUS QueryPowerChangeState(POWER_STATE NewStateQuery) = 0;
  virtual NTSTATUS QueryDeviceCapabilities(PDEVICE_CAPABILITIES PowerDeviceCaps) = 0;
};
using PADAPTERPOWERMANAGEMENT = IAdapterPowerManagement*;

// ---------------------------------------------------------------------------------------
// Port Class entry points

using PCPFNSTARTDEVICE = NTSTATUS (*)(PDEVICE_OBJECT DeviceObject, PIRP Irp, PRESOURCELIST ResourceList);

extern "C" {

NTSTATUS PcInitializeAdapterDriver(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPathName,
                                   PDRIVER_ADD_DEVICE AddDevice);
NTSTATUS PcAddAdapterDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject,
                            PCPFNSTARTDEVICE StartDevice, ULONG MaxObjects, ULONG DeviceExtensionSize);
NTSTATUS PcNewPort(PPORT* OutPort, REFCLSID ClassId);
NTSTATUS PcNewMiniport(PMINIPORT* OutMiniport, REFCLSID ClassId);
NTSTATUS PcRegisterSubdevice(PDEVICE_OBJECT DeviceObject, PCWSTR Name, PUNKNOWN Unknown);
NTSTATUS PcRegisterPhysicalConnection(PDEVICE_OBJECT DeviceObject, PUNKNOWN FromUnknown, ULONG FromPin,
                                      PUNKNOWN ToUnknown, ULONG ToPin);
NTSTATUS PcRegisterAdapterPowerManagement(PUNKNOWN Unknown, PVOID pvContext1);
NTSTATUS PcNewServiceGroup(PSERVICEGROUP* OutServiceGroup, PUNKNOWN OuterUnknown);

}  // extern "C"

// ---------------------------------------------------------------------------------------
// Identifiers

inline constexpr IID IID_IPort = {0xB4C90A25, 0x5791, 0x11D0, {0x86, 0xF9, 0x00, 0xA0, 0xC9, 0x11, 0xB5, 0x44}};
inline constexpr IID IID_IMiniport = {0xB4C90A24, 0x5791, 0x11D0, {0x86, 0xF9, 0x00, 0xA0, 0xC9, 0x11, 0xB5, 0x44}};
inline constexpr IID IID_IPortWaveCyclic = {0xB4C90A26, 0x5791, 0x11D0, {0x86, 0xF9, 0x00, 0xA0, 0xC9, 0x11, 0xB5, 0x44}};
inline constexpr IID IID_IMiniportWaveCyclic = {0xB4C90A27, 0x5791, 0x11D0, {0x86, 0xF9, 0x00, 0xA0, 0xC9, 0x11, 0xB5, 0x44}};
inline constexpr IID IID_IMiniportWaveCyclicStream = {0xB4C90A28, 0x5791, 0x11D0, {0x86, 0xF9, 0x00, 0xA0, 0xC9, 0x11, 0xB5, 0x44}};
inline constexpr CLSID CLSID_PortWaveCyclic = {0xB4C90A2A, 0x5791, 0x11D0, {0x86, 0xF9, 0x00, 0xA0, 0xC9, 0x11, 0xB5, 0x44}};
inline constexpr IID IID_IPortTopology = {0xB4C90A30, 0x5791, 0x11D0, {0x86, 0xF9, 0x00, 0xA0, 0xC9, 0x11, 0xB5, 0x44}};
inline constexpr IID IID_IMiniportTopology = {0xB4C90A31, 0x5791, 0x11D0, {0x86, 0xF9, 0x00, 0xA0, 0xC9, 0x11, 0xB5, 0x44}};
inline constexpr CLSID CLSID_PortTopology = {0xB4C90A32, 0x5791, 0x11D0, {0x86, 0xF9, 0x00, 0xA0, 0xC9, 0x11, 0xB5, 0x44}};
inline constexpr IID IID_IResourceList = {0x22C6AC60, 0x851B, 0x11D0, {0x9A, 0x7F, 0x00, 0xAA, 0x00, 0x38, 0xAC, 0xFE}};
inline constexpr IID IID_IDmaChannel = {0x22C6AC61, 0x851B, 0x11D0, {0x9A, 0x7F, 0x00, 0xAA, 0x00, 0x38, 0xAC, 0xFE}};
inline constexpr IID IID_IServiceSink = {0x22C6AC64, 0x851B, 0x11D0, {0x9A, 0x7F, 0x00, 0xAA, 0x00, 0x38, 0xAC, 0xFE}};
inline constexpr IID IID_IServiceGroup = {0x22C6AC65, 0x851B, 0x11D0, {0x9A, 0x7F, 0x00, 0xAA, 0x00, 0x38, 0xAC, 0xFE}};
inline constexpr IID IID_IAdapterPowerManagement = {0x793417D0, 0x35FE, 0x11D1, {0xAD, 0x08, 0x00, 0xA0, 0xC9, 0x0A, 0xB1, 0xB0}};

inline constexpr GUID KSPROPSETID_General = {0x1464EDA5, 0x6A8F, 0x11D1, {0x9A, 0xA7, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr GUID KSPROPSETID_Pin = {0x8C134960, 0x51AD, 0x11CF, {0x87, 0x8A, 0x94, 0xF8, 0x01, 0xC1, 0x00, 0x00}};
inline constexpr GUID KSPROPSETID_Topology = {0x720D4AC0, 0x7533, 0x11D0, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
inline constexpr GUID KSPROPSETID_Audio = {0x45FFAAA0, 0x6E1B, 0x11D0, {0xBC, 0xF2, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID KSPROPSETID_Jack = {0x4509F757, 0x2D46, 0x4637, {0x8E, 0x62, 0xCE, 0x7D, 0xB9, 0x44, 0xF5, 0x7B}};
inline constexpr GUID KSPROPTYPESETID_General = {0x97E99BA0, 0xBDEA, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};

inline constexpr GUID KSDATAFORMAT_TYPE_AUDIO = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID KSDATAFORMAT_SUBTYPE_PCM = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID KSDATAFORMAT_SUBTYPE_ANALOG = {0x6DBA3190, 0x67BD, 0x11CF, {0xA0, 0xF7, 0x00, 0x20, 0xAF, 0xD1, 0x56, 0xE4}};
inline constexpr GUID KSDATAFORMAT_SPECIFIER_WAVEFORMATEX = {0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr GUID KSDATAFORMAT_SPECIFIER_DSOUND = {0x518590A2, 0xA184, 0x11D0, {0x85, 0x22, 0x00, 0xC0, 0x4F, 0xD9, 0xBA, 0xF3}};
inline constexpr GUID KSDATAFORMAT_SPECIFIER_NONE = {0x0F6417D6, 0xC318, 0x11D0, {0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

inline constexpr GUID KSCATEGORY_AUDIO = {0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

inline constexpr GUID KSNODETYPE_SPEAKER = {0xDFF21CE1, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr GUID KSNODETYPE_MICROPHONE = {0xDFF21BE1, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr GUID KSNODETYPE_SYNTHESIZER = {0xDFF220F3, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr GUID KSNODETYPE_VOLUME = {0x3A5ACC00, 0xC557, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
inline constexpr GUID KSNODETYPE_MUTE = {0x02B223C0, 0xC557, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
inline constexpr GUID KSNODETYPE_SUM = {0xDA441A60, 0xC556, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
inline constexpr GUID KSNODETYPE_MUX = {0x2CEAF780, 0xC556, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
inline constexpr GUID KSNODETYPE_DEV_SPECIFIC = {0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
inline constexpr GUID KSNODETYPE_ADC = {0x4D837FE0, 0xC555, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
inline constexpr GUID KSNODETYPE_DAC = {0x507AE360, 0xC554, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

// KSAUDFNAME_ names share all but the last byte of their first group.
constexpr GUID KsAudioFunctionName(UCHAR last) {
  return {0x185FED00u | last, 0x9905, 0x11D1, {0x95, 0xA9, 0x00, 0xC0, 0x4F, 0xB9, 0x25, 0xD3}};
}
inline constexpr GUID KSAUDFNAME_MASTER_VOLUME = KsAudioFunctionName(0xE3);
inline constexpr GUID KSAUDFNAME_WAVE_VOLUME = KsAudioFunctionName(0xE5);
inline constexpr GUID KSAUDFNAME_WAVE_MUTE = KsAudioFunctionName(0xE6);
inline constexpr GUID KSAUDFNAME_MIDI_VOLUME = KsAudioFunctionName(0xE7);
inline constexpr GUID KSAUDFNAME_MIDI_MUTE = KsAudioFunctionName(0xE8);
inline constexpr GUID KSAUDFNAME_MIC_VOLUME = KsAudioFunctionName(0xED);
inline constexpr GUID KSAUDFNAME_RECORDING_SOURCE = KsAudioFunctionName(0xEF);
inline constexpr GUID KSAUDFNAME_MIDI = KsAudioFunctionName(0xF8);
inline constexpr GUID KSAUDFNAME_RECORDING_CONTROL = KsAudioFunctionName(0xFA);

// ---------------------------------------------------------------------------------------
// Layouts the platform fixes

static_assert(sizeof(GUID) == 16);
static_assert(sizeof(LARGE_INTEGER) == 8);
static_assert(sizeof(UNICODE_STRING) == 16 && offsetof(UNICODE_STRING, Buffer) == 8);
static_assert(sizeof(KLOCK_QUEUE_HANDLE) == 24 && offsetof(KLOCK_QUEUE_HANDLE, OldIrql) == 16);
static_assert(sizeof(KMUTEX) == 56 && sizeof(KDPC) == 64 && sizeof(KTIMER) == 64);
static_assert(sizeof(POWER_STATE) == 4);
static_assert(sizeof(KSPROPERTY) == 24 && alignof(KSPROPERTY) == 8);
static_assert(sizeof(KSP_PIN) == 32 && offsetof(KSP_PIN, PinId) == 24);
static_assert(sizeof(KSNODEPROPERTY) == 32 && offsetof(KSNODEPROPERTY, NodeId) == 24);
static_assert(sizeof(KSNODEPROPERTY_AUDIO_CHANNEL) == 40 && offsetof(KSNODEPROPERTY_AUDIO_CHANNEL, Channel) == 32);
static_assert(sizeof(KSMULTIPLE_ITEM) == 8);
static_assert(sizeof(KSPROPERTY_DESCRIPTION) == 40 && offsetof(KSPROPERTY_DESCRIPTION, PropTypeSet) == 8 &&
              offsetof(KSPROPERTY_DESCRIPTION, MembersListCount) == 32);
static_assert(sizeof(KSPROPERTY_MEMBERSHEADER) == 16);
static_assert(sizeof(KSPROPERTY_BOUNDS_LONG) == 8);
static_assert(sizeof(KSPROPERTY_STEPPING_LONG) == 16 && offsetof(KSPROPERTY_STEPPING_LONG, Bounds) == 8);
static_assert(sizeof(KSCOMPONENTID) == 72);
static_assert(sizeof(KSDATAFORMAT) == 64 && offsetof(KSDATAFORMAT, MajorFormat) == 16 &&
              offsetof(KSDATAFORMAT, Specifier) == 48);
static_assert(sizeof(KSDATARANGE_AUDIO) == 88 && offsetof(KSDATARANGE_AUDIO, MaximumChannels) == 64 &&
              offsetof(KSDATARANGE_AUDIO, MaximumSampleFrequency) == 80);
static_assert(sizeof(WAVEFORMATEX) == 18 && offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8 &&
              offsetof(WAVEFORMATEX, cbSize) == 16);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40 && offsetof(WAVEFORMATEXTENSIBLE, dwChannelMask) == 20 &&
              offsetof(WAVEFORMATEXTENSIBLE, SubFormat) == 24);
static_assert(offsetof(KSDATAFORMAT_WAVEFORMATEX, WaveFormatEx) == 64);
static_assert(sizeof(KSJACK_DESCRIPTION) == 28 && offsetof(KSJACK_DESCRIPTION, IsConnected) == 24);
static_assert(sizeof(KSPIN_DESCRIPTOR) == 88 && offsetof(KSPIN_DESCRIPTOR, DataFlow) == 48 &&
              offsetof(KSPIN_DESCRIPTOR, Category) == 56 && offsetof(KSPIN_DESCRIPTOR, Reserved) == 72);
static_assert(sizeof(KSPIN_CINSTANCES) == 8 && sizeof(KSTOPOLOGY_CONNECTION) == 16);
static_assert(sizeof(PCPROPERTY_REQUEST) == 72 && offsetof(PCPROPERTY_REQUEST, Node) == 16 &&
              offsetof(PCPROPERTY_REQUEST, Verb) == 32 && offsetof(PCPROPERTY_REQUEST, InstanceSize) == 36 &&
              offsetof(PCPROPERTY_REQUEST, Instance) == 40 && offsetof(PCPROPERTY_REQUEST, ValueSize) == 48 &&
              offsetof(PCPROPERTY_REQUEST, Value) == 56 && offsetof(PCPROPERTY_REQUEST, Irp) == 64);
static_assert(sizeof(PCPROPERTY_ITEM) == 24 && offsetof(PCPROPERTY_ITEM, Handler) == 16);
static_assert(sizeof(PCAUTOMATION_TABLE) == 56 && offsetof(PCAUTOMATION_TABLE, Properties) == 8 &&
              offsetof(PCAUTOMATION_TABLE, Events) == 40);
static_assert(sizeof(PCPIN_DESCRIPTOR) == 112 && offsetof(PCPIN_DESCRIPTOR, AutomationTable) == 16 &&
              offsetof(PCPIN_DESCRIPTOR, KsPinDescriptor) == 24);
static_assert(sizeof(PCNODE_DESCRIPTOR) == 32 && offsetof(PCNODE_DESCRIPTOR, Type) == 16);
static_assert(sizeof(PCCONNECTION_DESCRIPTOR) == 16);
static_assert(sizeof(PCFILTER_DESCRIPTOR) == 80 && offsetof(PCFILTER_DESCRIPTOR, PinSize) == 16 &&
              offsetof(PCFILTER_DESCRIPTOR, Pins) == 24 && offsetof(PCFILTER_DESCRIPTOR, Nodes) == 40 &&
              offsetof(PCFILTER_DESCRIPTOR, Connections) == 56 && offsetof(PCFILTER_DESCRIPTOR, Categories) == 72);
