// Arbitrary property requests against a started device: through the topology and wave ports as
// a client would send them, and straight into the handlers with any set, identifier, node and
// verb; and arbitrary data formats offered to the wave miniport for a stream. No request may
// crash, touch memory outside its buffers, report more bytes than its buffer holds, or change
// the mixer unless it succeeds; the wave filter's requests change nothing at all.
//
// Input layout (make_corpus.py writes seeds in it), little-endian:
//   0     route: bit 0 straight to a handler, bit 1 node request (port) / jack handler
//         (direct), bit 2 the wave filter instead of the topology, bit 3 a stream instead
//         of a property (bit 1 then asks for capture), the value bytes its data format
//   1     property set: Audio, Jack, Pin, Topology, General, or another for 5 and above
//   2-5   identifier        6-9   verb        10-13  node
//   14    instance size     15-16 value size (at most 1024)
//   then the instance bytes and the value bytes, zeros where the input runs out.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "audio_adapter.h"
#include "driver_entry.h"
#include "kernel_standin/device.h"
#include "kernel_standin/property_input.h"
#include "topology_properties.h"
#include "wave_miniport.h"
#include "wave_properties.h"

namespace {

const GUID kUnknownSet = {0xDEADBEEF, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID* const kSets[] = {&KSPROPSETID_Audio, &KSPROPSETID_Jack, &KSPROPSETID_Pin, &KSPROPSETID_Topology,
                             &KSPROPSETID_General, &kUnknownSet};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t Word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(Byte()) << (8 * i);
    return value;
  }
  uint16_t Half() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  // Exactly `size` bytes on the heap, so that any overrun is seen.
  std::unique_ptr<uint8_t[]> Block(size_t size) {
    if (size == 0) return nullptr;
    std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
    for (size_t i = 0; i < size; ++i) block[i] = Byte();
    return block;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

struct Harness {
  Harness() {
    if (!NT_SUCCESS(device.Start())) std::abort();
    IAudioAdapter* found = nullptr;
    device.PowerManagement()->QueryInterface(IID_IAudioAdapter, reinterpret_cast<PVOID*>(&found));
    found->Release();
    adapter = static_cast<AudioAdapter*>(found);
    topology = device.FindSubdevice(u"Topology");
    wave = device.FindSubdevice(u"Wave");
    IMiniportWaveCyclic* waveMiniport = nullptr;
    wave->MiniportUnknown()->QueryInterface(IID_IMiniportWaveCyclic, reinterpret_cast<PVOID*>(&waveMiniport));
    waveMiniport->Release();  // the port holds it
    miniport = static_cast<WaveMiniport*>(waveMiniport);
    baseline = *adapter->Mixer();
  }
  // Every input starts from the mixer as the device started.
  void Restore() { std::memcpy(const_cast<MixerState*>(adapter->Mixer()), &baseline, sizeof baseline); }

  kstandin::Device device{DriverEntry};
  AudioAdapter* adapter = nullptr;
  kstandin::Subdevice* topology = nullptr;
  kstandin::Subdevice* wave = nullptr;
  WaveMiniport* miniport = nullptr;
  MixerState baseline;
};

Harness& TheHarness() {
  static Harness harness;
  return harness;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

// The value bytes as a data format, of exactly their size as the port hands one over (the
// port refuses anything shorter than a KSDATAFORMAT): a stream opens only for PCM within the
// limits, exactly when a proposal of the same bytes for its pin is accepted, and whatever
// opens closes again without a trace.
void OfferStream(Harness& harness, bool capture, uint8_t* bytes, ULONG size) {
  if (size < sizeof(KSDATAFORMAT)) return;
  std::memcpy(bytes, &size, sizeof size);  // FormatSize
  const ULONG pin[2] = {capture ? 0u : 2u, 0};  // a KSP_PIN's instance
  const PCPROPERTY_ITEM propose{&KSPROPSETID_Pin, KSPROPERTY_PIN_PROPOSEDATAFORMAT, KSPROPERTY_TYPE_SET,
                                PropertyHandlerWaveFilter};
  PCPROPERTY_REQUEST request{harness.wave->MiniportUnknown(), nullptr, KSFILTER_NODE, &propose, KSPROPERTY_TYPE_SET,
                             sizeof pin, const_cast<ULONG*>(pin), size, bytes, nullptr};
  const NTSTATUS proposed = PropertyHandlerWaveFilter(&request);
  PMINIPORTWAVECYCLICSTREAM stream = nullptr;
  PDMACHANNEL dma = nullptr;
  PSERVICEGROUP group = nullptr;
  const NTSTATUS status = harness.miniport->NewStream(&stream, nullptr, NonPagedPoolNx, capture ? 0 : 2,
                                                      capture, reinterpret_cast<PKSDATAFORMAT>(bytes), &dma, &group);
  Require(NT_SUCCESS(status) == (stream != nullptr && dma != nullptr && group != nullptr));
  Require(NT_SUCCESS(status) == harness.miniport->StreamOpen(capture));
  Require(NT_SUCCESS(status) == NT_SUCCESS(proposed));
  if (!NT_SUCCESS(status)) return;
  ULONG position = 1;
  Require(stream->GetPosition(&position) == STATUS_SUCCESS && position == 0);
  stream->Release();
  dma->Release();
  group->Release();
  Require(!harness.miniport->StreamOpen(capture));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Harness& harness = TheHarness();
  Reader in(data, size);
  const uint8_t route = in.Byte();
  const GUID& set = *kSets[std::min<size_t>(in.Byte(), std::size(kSets) - 1)];
  const ULONG id = in.Word();
  const ULONG verb = in.Word();
  const ULONG node = in.Word();
  const ULONG instanceSize = in.Byte();
  const ULONG valueSize = in.Half() % 1025;
  const std::unique_ptr<uint8_t[]> instance = in.Block(instanceSize);
  const std::unique_ptr<uint8_t[]> value = in.Block(valueSize);

  harness.Restore();
  if ((route & 8) != 0) {
    OfferStream(harness, (route & 2) != 0, value.get(), valueSize);
    return 0;
  }
  const bool waveFilter = (route & 4) != 0;
  kstandin::Subdevice& filter = waveFilter ? *harness.wave : *harness.topology;
  const ULONG rate = harness.miniport->SamplingRate();
  NTSTATUS status;
  if ((route & 1) == 0) {
    kstandin::PropertyInput input = (route & 2) != 0 ? kstandin::PropertyInput::Node(set, id, verb, node)
                                                      : kstandin::PropertyInput::Filter(set, id, verb);
    for (ULONG i = 0; i < instanceSize; ++i) input.With(instance[i]);
    // The port checks the reported size against the buffer itself and stops on a breach.
    status = filter.Property(input.data(), input.size(), value.get(), valueSize).status;
  } else {
    const PCPFNPROPERTY_HANDLER handler = waveFilter          ? PropertyHandlerWaveFilter
                                          : (route & 2) != 0 ? PropertyHandlerJackDescription
                                                             : PropertyHandlerTopologyNode;
    const PCPROPERTY_ITEM item{&set, id, verb, handler};
    PCPROPERTY_REQUEST request{filter.MiniportUnknown(), nullptr, node, &item, verb, instanceSize,
                               instance.get(), valueSize, value.get(), nullptr};
    status = handler(&request);
    Require(!NT_SUCCESS(status) || request.ValueSize <= valueSize);
  }
  if (!NT_SUCCESS(status))  // size queries and refusals alike
    Require(std::memcmp(harness.adapter->Mixer(), &harness.baseline, sizeof harness.baseline) == 0);
  Require(harness.miniport->SamplingRate() == rate && !harness.miniport->StreamOpen(false) &&
          !harness.miniport->StreamOpen(true));
  return 0;
}
