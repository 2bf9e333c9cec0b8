#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "kernel_standin/pool.h"
#include "kernel_standin/property_input.h"
#include "kernel_standin/wave_cyclic_port.h"
#include "kernel_surface.h"

// The WaveCyclic port's streams, driven against a fake miniport whose stream position the
// test sets by hand.
namespace {

using kstandin::Stream;

constexpr ULONG kBufferSize = 100;

const KSDATARANGE kPcmRange = {sizeof(KSDATARANGE), 0, 0, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
                               KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
const KSDATARANGE kBridgeRange = {sizeof(KSDATARANGE), 0, 0, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_ANALOG,
                                  KSDATAFORMAT_SPECIFIER_NONE};
const KSDATARANGE* const kPcmRanges[] = {&kPcmRange};
const KSDATARANGE* const kBridgeRanges[] = {&kBridgeRange};

constexpr PCPIN_DESCRIPTOR Pin(KSPIN_DATAFLOW flow, KSPIN_COMMUNICATION communication, ULONG instances,
                               const KSDATARANGE* const* ranges) {
  return {instances, instances, 0, nullptr,
          {0, nullptr, 0, nullptr, 1, ranges, flow, communication, &KSCATEGORY_AUDIO, nullptr, {0}}};
}
const PCPIN_DESCRIPTOR kPins[] = {Pin(KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_SINK, 1, kPcmRanges),
                                  Pin(KSPIN_DATAFLOW_IN, KSPIN_COMMUNICATION_NONE, 0, kBridgeRanges),
                                  Pin(KSPIN_DATAFLOW_IN, KSPIN_COMMUNICATION_SINK, 1, kPcmRanges)};
const PCFILTER_DESCRIPTOR kDescriptor = {0, nullptr, sizeof(PCPIN_DESCRIPTOR), 3, kPins, sizeof(PCNODE_DESCRIPTOR), 0,
                                         nullptr, 0, nullptr, 0, nullptr};

// One object is both the stream and its DMA channel, as a cyclic miniport's stream often is.
class FakeStream final : public IMiniportWaveCyclicStream, public IDmaChannel {
 public:
  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override {
    if (IsEqualGUID(iid, IID_IDmaChannel)) {
      *object = static_cast<IDmaChannel*>(this);
    } else if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IMiniportWaveCyclicStream)) {
      *object = static_cast<IMiniportWaveCyclicStream*>(this);
    } else {
      *object = nullptr;
      return STATUS_INVALID_PARAMETER;
    }
    AddRef();
    return STATUS_SUCCESS;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }

  NTSTATUS SetFormat(PKSDATAFORMAT format) override {
    formats.push_back(format->FormatSize);
    return STATUS_SUCCESS;
  }
  ULONG SetNotificationFreq(ULONG interval, PULONG framing) override {
    *framing = interval * 4;
    return interval;
  }
  NTSTATUS SetState(KSSTATE state) override {
    states.push_back(state);
    return state == refusedState ? STATUS_INVALID_DEVICE_REQUEST : STATUS_SUCCESS;
  }
  NTSTATUS GetPosition(PULONG value) override {
    *value = position.load();
    return STATUS_SUCCESS;
  }
  NTSTATUS NormalizePhysicalPosition(PLONGLONG) override { return STATUS_SUCCESS; }
  void Silence(PVOID destination, ULONG count) override {
    silenced.push_back({static_cast<ULONG>(static_cast<unsigned char*>(destination) - buffer), count});
    irqls.push_back(KeGetCurrentIrql());
  }

  NTSTATUS AllocateBuffer(ULONG, PPHYSICAL_ADDRESS) override { return STATUS_SUCCESS; }
  void FreeBuffer() override {}
  ULONG TransferCount() override { return kBufferSize; }
  ULONG MaximumBufferSize() override { return kBufferSize; }
  ULONG AllocatedBufferSize() override { return kBufferSize; }
  ULONG BufferSize() override { return kBufferSize; }
  void SetBufferSize(ULONG) override {}
  PVOID SystemAddress() override { return buffer; }
  PPHYSICAL_ADDRESS PhysicalAddress(PPHYSICAL_ADDRESS result) override {
    result->QuadPart = 0;
    return result;
  }
  PADAPTER_OBJECT GetAdapterObject() override { return nullptr; }
  void CopyTo(PVOID destination, PVOID source, ULONG count) override {
    offsets.push_back(static_cast<ULONG>(static_cast<unsigned char*>(destination) - buffer));
    irqls.push_back(KeGetCurrentIrql());
    const auto* bytes = static_cast<unsigned char*>(source);
    played.insert(played.end(), bytes, bytes + count);
  }
  void CopyFrom(PVOID destination, PVOID source, ULONG count) override {
    offsets.push_back(static_cast<ULONG>(static_cast<unsigned char*>(source) - buffer));
    auto* bytes = static_cast<unsigned char*>(destination);
    for (ULONG i = 0; i < count; ++i) bytes[i] = next++;
  }

  ULONG references = 0;
  std::atomic<ULONG> position{0};
  KSSTATE refusedState = static_cast<KSSTATE>(-1);
  std::vector<KSSTATE> states;
  std::vector<ULONG> formats;
  std::vector<ULONG> offsets;
  std::vector<KIRQL> irqls;
  std::vector<unsigned char> played;
  std::vector<std::pair<ULONG, ULONG>> silenced;  // offset, count
  unsigned char next = 0;
  unsigned char buffer[kBufferSize] = {};
};

class FakeMiniport final : public IMiniportWaveCyclic {
 public:
  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IMiniport) || IsEqualGUID(iid, IID_IMiniportWaveCyclic)) {
      *object = static_cast<IMiniportWaveCyclic*>(this);
      AddRef();
      return STATUS_SUCCESS;
    }
    *object = nullptr;
    return STATUS_INVALID_PARAMETER;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  void DropGroup() {
    if (group != nullptr) group->Release();
    group = nullptr;
  }
  NTSTATUS GetDescription(const PCFILTER_DESCRIPTOR** description) override {
    *description = &kDescriptor;
    return STATUS_SUCCESS;
  }
  NTSTATUS DataRangeIntersection(ULONG, PKSDATARANGE, PKSDATARANGE, ULONG, PVOID, PULONG) override {
    return STATUS_NOT_IMPLEMENTED;
  }
  NTSTATUS Init(PUNKNOWN, PRESOURCELIST, PPORTWAVECYCLIC) override { return PcNewServiceGroup(&group, nullptr); }
  NTSTATUS NewStream(PMINIPORTWAVECYCLICSTREAM* stream, PUNKNOWN, POOL_TYPE, ULONG pin, BOOLEAN capture,
                     PKSDATAFORMAT, PDMACHANNEL* dma, PSERVICEGROUP* serviceGroup) override {
    if (newStreamStatus != STATUS_SUCCESS) return newStreamStatus;
    FakeStream& made = capture ? captureStream : renderStream;
    pins.push_back(pin);
    *stream = &made;
    made.AddRef();
    *dma = &made;
    made.AddRef();
    *serviceGroup = group;
    group->AddRef();
    return STATUS_SUCCESS;
  }

  ULONG references = 1;
  IServiceGroup* group = nullptr;
  NTSTATUS newStreamStatus = STATUS_SUCCESS;
  std::vector<ULONG> pins;
  FakeStream captureStream;
  FakeStream renderStream;
};

struct Recorder final : kstandin::StreamClient {
  ULONG Render(void* data, ULONG count) override {
    const ULONG supplied = std::min(count, budget);
    budget -= supplied;
    auto* bytes = static_cast<unsigned char*>(data);
    for (ULONG i = 0; i < supplied; ++i) bytes[i] = next++;
    return supplied;
  }
  void Capture(const void* data, ULONG count) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    captured.insert(captured.end(), bytes, bytes + count);
  }
  unsigned char next = 0;
  ULONG budget = ~0u;  // render bytes the application has ready
  std::vector<unsigned char> captured;
};

std::vector<unsigned char> Sequence(unsigned char from, size_t count) {
  std::vector<unsigned char> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(from + i);
  return bytes;
}

KSDATAFORMAT_WAVEFORMATEX PcmFormat() {
  return {{sizeof(KSDATAFORMAT_WAVEFORMATEX), 0, 4, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
           KSDATAFORMAT_SPECIFIER_WAVEFORMATEX},
          {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0}};
}

class WaveCyclicPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    since_ = kstandin::AllocationSerial();
    PPORT port = nullptr;
    ASSERT_EQ(PcNewPort(&port, CLSID_PortWaveCyclic), STATUS_SUCCESS);
    ASSERT_EQ(port->Init(nullptr, nullptr, &miniport_, nullptr, nullptr), STATUS_SUCCESS);
    ASSERT_EQ(port->QueryInterface(IID_IPortWaveCyclic, reinterpret_cast<PVOID*>(&port_)), STATUS_SUCCESS);
    port->Release();
  }
  void TearDown() override {
    port_->ReleaseChildren();
    EXPECT_EQ(port_->Release(), 0u);
    EXPECT_EQ(miniport_.references, 1u);
    miniport_.DropGroup();
    EXPECT_EQ(miniport_.renderStream.references, 0u);
    EXPECT_EQ(miniport_.captureStream.references, 0u);
    EXPECT_TRUE(kstandin::OutstandingBlocks(since_).empty())
        << kstandin::DescribeBlocks(kstandin::OutstandingBlocks(since_));
  }

  NTSTATUS Open(ULONG pin, Stream* stream, kstandin::StreamClient* client = nullptr) {
    const KSDATAFORMAT_WAVEFORMATEX format = PcmFormat();
    return port_->OpenStream(pin, &format.DataFormat, client, stream);
  }

  uint64_t since_ = 0;
  FakeMiniport miniport_;
  kstandin::WaveCyclicPort* port_ = nullptr;
};

TEST_F(WaveCyclicPortTest, OpensStreamsOnlyWherePinsAllow) {
  Stream stream;
  EXPECT_EQ(Open(3, &stream), STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Open(1, &stream), STATUS_INVALID_DEVICE_REQUEST);  // a bridge pin
  KSDATAFORMAT_WAVEFORMATEX format = PcmFormat();
  format.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_ANALOG;
  EXPECT_EQ(port_->OpenStream(0, &format.DataFormat, nullptr, &stream), STATUS_NO_MATCH);
  format = PcmFormat();
  format.DataFormat.FormatSize = 63;
  EXPECT_EQ(port_->OpenStream(0, &format.DataFormat, nullptr, &stream), STATUS_INVALID_PARAMETER);
  miniport_.newStreamStatus = STATUS_INSUFFICIENT_RESOURCES;
  EXPECT_EQ(Open(0, &stream), STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_FALSE(stream);
  miniport_.newStreamStatus = STATUS_SUCCESS;

  ASSERT_EQ(Open(0, &stream), STATUS_SUCCESS);
  EXPECT_EQ(miniport_.pins, std::vector<ULONG>{0});
  EXPECT_EQ(stream.BufferSize(), kBufferSize);
  EXPECT_EQ(stream.FramingSize(), 40u);
  Stream second;
  EXPECT_EQ(Open(0, &second), STATUS_INSUFFICIENT_RESOURCES);  // one instance per pin

  std::vector<unsigned char> value(8);
  const auto input = kstandin::PropertyInput::Pin(KSPROPSETID_Pin, KSPROPERTY_PIN_CINSTANCES, KSPROPERTY_TYPE_GET, 0);
  port_->Property(input.data(), input.size(), value.data(), 8);
  KSPIN_CINSTANCES instances;
  std::memcpy(&instances, value.data(), sizeof instances);
  EXPECT_EQ(instances.CurrentCount, 1u);
  stream.Close();
  port_->Property(input.data(), input.size(), value.data(), 8);
  std::memcpy(&instances, value.data(), sizeof instances);
  EXPECT_EQ(instances.CurrentCount, 0u);
  EXPECT_EQ(miniport_.captureStream.references, 0u);
}

TEST_F(WaveCyclicPortTest, StateChangesPassThroughEveryStateBetween) {
  Stream stream;
  ASSERT_EQ(Open(2, &stream), STATUS_SUCCESS);
  FakeStream& fake = miniport_.renderStream;
  EXPECT_EQ(stream.SetState(KSSTATE_RUN), STATUS_SUCCESS);
  EXPECT_EQ(stream.SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
  EXPECT_EQ(fake.states, (std::vector<KSSTATE>{KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN, KSSTATE_PAUSE, KSSTATE_ACQUIRE}));
  fake.refusedState = KSSTATE_RUN;
  EXPECT_EQ(stream.SetState(KSSTATE_RUN), STATUS_INVALID_DEVICE_REQUEST);
  EXPECT_EQ(stream.State(), KSSTATE_PAUSE);
  const KSDATAFORMAT_WAVEFORMATEX format = PcmFormat();
  EXPECT_EQ(stream.SetFormat(&format.DataFormat), STATUS_SUCCESS);
  EXPECT_EQ(fake.formats, std::vector<ULONG>{sizeof format});
  stream.Close();
  EXPECT_EQ(fake.states.back(), KSSTATE_STOP);
}

TEST_F(WaveCyclicPortTest, ServiceMovesWhatThePositionPassed) {
  Recorder client;
  Stream render;
  ASSERT_EQ(Open(2, &render, &client), STATUS_SUCCESS);
  FakeStream& fake = miniport_.renderStream;
  fake.position = 30;
  port_->Notify(miniport_.group);  // not running: nothing moves
  EXPECT_TRUE(fake.played.empty());

  fake.position = 0;
  ASSERT_EQ(render.SetState(KSSTATE_RUN), STATUS_SUCCESS);
  fake.position = 30;
  port_->Notify(miniport_.group);
  fake.position = 90;
  port_->Notify(miniport_.group);
  fake.position = 10;  // wrapped
  port_->Notify(miniport_.group);
  EXPECT_EQ(fake.played, Sequence(0, 30 + 60 + 20));
  EXPECT_EQ(fake.offsets, (std::vector<ULONG>{0, 30, 90, 0}));
  // An application that falls behind: what it supplies is copied, the rest silenced.
  client.budget = 5;
  fake.position = 25;
  port_->Notify(miniport_.group);
  EXPECT_EQ(fake.played.size(), 110u + 5u);
  EXPECT_EQ(fake.offsets.back(), 10u);
  EXPECT_EQ(fake.silenced, (std::vector<std::pair<ULONG, ULONG>>{{15, 10}}));
  client.budget = ~0u;

  // Capture hands the client what the channel gives, from the position it stood at in RUN.
  Stream capture;
  ASSERT_EQ(Open(0, &capture, &client), STATUS_SUCCESS);
  miniport_.captureStream.position = 50;
  ASSERT_EQ(capture.SetState(KSSTATE_RUN), STATUS_SUCCESS);
  miniport_.captureStream.position = 70;
  port_->Notify(miniport_.group);
  EXPECT_EQ(client.captured, Sequence(0, 20));
  EXPECT_EQ(miniport_.captureStream.offsets, std::vector<ULONG>{50});

  // Stopped streams start over at 0.
  render.SetState(KSSTATE_STOP);
  fake.position = 5;
  render.SetState(KSSTATE_RUN);
  fake.position = 15;
  port_->Notify(miniport_.group);
  EXPECT_EQ(fake.offsets.back(), 5u);
}

struct Notifier {
  kstandin::WaveCyclicPort* port;
  IServiceGroup* group;
  static void Dpc(PKDPC, PVOID context, PVOID, PVOID) {
    auto* notifier = static_cast<Notifier*>(context);
    notifier->port->Notify(notifier->group);
  }
};

TEST_F(WaveCyclicPortTest, ServiceRunsInTheMiniportsDpc) {
  Stream render;
  ASSERT_EQ(Open(2, &render), STATUS_SUCCESS);
  ASSERT_EQ(render.SetState(KSSTATE_RUN), STATUS_SUCCESS);
  miniport_.renderStream.position = 8;
  Notifier notifier{port_, miniport_.group};
  KDPC dpc;
  KeInitializeDpc(&dpc, Notifier::Dpc, &notifier);
  KeInsertQueueDpc(&dpc, nullptr, nullptr);
  KeFlushQueuedDpcs();
  EXPECT_TRUE(miniport_.renderStream.played.empty());  // no client: the buffer is silenced
  EXPECT_EQ(miniport_.renderStream.silenced, (std::vector<std::pair<ULONG, ULONG>>{{0, 8}}));
  EXPECT_EQ(miniport_.renderStream.irqls, std::vector<KIRQL>{DISPATCH_LEVEL});
}

TEST_F(WaveCyclicPortTest, ReleasingChildrenClosesOpenStreams) {
  Stream render;
  ASSERT_EQ(Open(2, &render), STATUS_SUCCESS);
  ASSERT_EQ(render.SetState(KSSTATE_RUN), STATUS_SUCCESS);
  port_->ReleaseChildren();
  EXPECT_EQ(miniport_.renderStream.references, 0u);
  EXPECT_EQ(miniport_.renderStream.states.back(), KSSTATE_STOP);
  EXPECT_EQ(miniport_.references, 1u);
  miniport_.renderStream.position = 20;
  port_->Notify(miniport_.group);  // the group went with the miniport; nothing to serve
  render.Close();
}

}  // namespace
