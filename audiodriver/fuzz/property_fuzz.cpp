// Arbitrary property requests against a started device: through the topology port as a client
// would send them, and straight into the handlers with any set, identifier, node and verb.
// No request may crash, touch memory outside its buffers, report more bytes than its buffer
// holds, or change the mixer unless it succeeds.
//
// Input layout (make_corpus.py writes seeds in it), little-endian:
//   0     route: bit 0 straight to a handler, bit 1 node request (port) / jack handler (direct)
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
    baseline = *adapter->Mixer();
  }
  // Every input starts from the mixer as the device started.
  void Restore() { std::memcpy(const_cast<MixerState*>(adapter->Mixer()), &baseline, sizeof baseline); }

  kstandin::Device device{DriverEntry};
  AudioAdapter* adapter = nullptr;
  kstandin::Subdevice* topology = nullptr;
  MixerState baseline;
};

Harness& TheHarness() {
  static Harness harness;
  return harness;
}

void Require(bool condition) {
  if (!condition) std::abort();
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
  NTSTATUS status;
  if ((route & 1) == 0) {
    kstandin::PropertyInput input = (route & 2) != 0 ? kstandin::PropertyInput::Node(set, id, verb, node)
                                                      : kstandin::PropertyInput::Filter(set, id, verb);
    for (ULONG i = 0; i < instanceSize; ++i) input.With(instance[i]);
    // The port checks the reported size against the buffer itself and stops on a breach.
    status = harness.topology->Property(input.data(), input.size(), value.get(), valueSize).status;
  } else {
    const PCPFNPROPERTY_HANDLER handler =
        (route & 2) != 0 ? PropertyHandlerJackDescription : PropertyHandlerTopologyNode;
    const PCPROPERTY_ITEM item{&set, id, verb, handler};
    PCPROPERTY_REQUEST request{harness.topology->MiniportUnknown(), nullptr, node, &item, verb, instanceSize,
                               instance.get(), valueSize, value.get(), nullptr};
    status = handler(&request);
    Require(!NT_SUCCESS(status) || request.ValueSize <= valueSize);
  }
  if (!NT_SUCCESS(status))  // size queries and refusals alike
    Require(std::memcmp(harness.adapter->Mixer(), &harness.baseline, sizeof harness.baseline) == 0);
  return 0;
}
