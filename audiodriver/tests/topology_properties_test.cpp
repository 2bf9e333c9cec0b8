#include <optional>

#include "driver_test_support.h"
#include "topology_descriptor.h"
#include "topology_properties.h"

// The topology filter's properties, sent through the port as Windows sends them: requests
// and the status, size and bytes that come back.
namespace {

using kstandin::PropertyInput;

constexpr ULONG kGet = KSPROPERTY_TYPE_GET;
constexpr ULONG kSet = KSPROPERTY_TYPE_SET;
constexpr ULONG kBasic = KSPROPERTY_TYPE_BASICSUPPORT;

std::vector<unsigned char> Long(LONG value) { return Bytes(value); }

PropertyInput Node(ULONG node, ULONG id, ULONG verb) { return PropertyInput::Node(KSPROPSETID_Audio, id, verb, node); }

// A node request with its channel, as KSNODEPROPERTY_AUDIO_CHANNEL carries it.
PropertyInput Channel(ULONG node, ULONG id, ULONG verb, LONG channel) {
  return Node(node, id, verb).With(channel).With(ULONG{0});
}

std::vector<unsigned char> Description(ULONG access, ULONG size, const GUID& set, ULONG type, ULONG members) {
  return Bytes(KSPROPERTY_DESCRIPTION{access, size, {set, type, 0}, members, 0});
}

struct Expected {
  NTSTATUS status;
  ULONG size;
  std::optional<std::vector<unsigned char>> value;  // the first `size` bytes, when checked
};

void Check(const Reply& reply, const Expected& expected, const std::string& what) {
  EXPECT_EQ(Hex(reply.status), Hex(expected.status)) << what;
  EXPECT_EQ(reply.size, expected.size) << what;
  if (expected.value) {
    ASSERT_GE(reply.value.size(), expected.value->size()) << what;
    EXPECT_EQ(std::vector<unsigned char>(reply.value.begin(), reply.value.begin() + expected.value->size()),
              *expected.value)
        << what;
  }
}

struct Row {
  const char* what;
  PropertyInput input;
  ULONG valueSize;
  std::vector<unsigned char> value;
  Expected expected;
};

class TopologyProperties : public StartedDeviceTest {
 protected:
  void Run(const std::vector<Row>& rows) {
    for (const Row& row : rows) Check(Send(*topology_, row.input, row.valueSize, row.value), row.expected, row.what);
  }
};

struct VolumeSupport {
  KSPROPERTY_DESCRIPTION description;
  KSPROPERTY_MEMBERSHEADER members;
  KSPROPERTY_STEPPING_LONG range;
};

TEST_F(TopologyProperties, VolumeBasicSupport) {
  VolumeSupport full{{0x203, 72, {KSPROPTYPESETID_General, VT_I4, 0}, 1, 0}, {2, 16, 1, 2}, {0x8000, 0, {}}};
  full.range.Bounds.SignedMinimum = -96 * 65536;
  full.range.Bounds.SignedMaximum = 0;
  const auto all = Bytes(full);
  Run({
      {"72 bytes: description, members and stepping", Node(0, 4, kBasic), 72, {}, {STATUS_SUCCESS, 72, all}},
      {"more than 72", Node(7, 4, kBasic), 80, {}, {STATUS_SUCCESS, 72, all}},
      {"40 bytes: the description, size 72 announced", Node(2, 4, kBasic), 40, {},
       {STATUS_SUCCESS, 40, std::vector<unsigned char>(all.begin(), all.begin() + 40)}},
      {"71 bytes", Node(4, 4, kBasic), 71, {}, {STATUS_SUCCESS, 40, std::nullopt}},
      {"4 bytes: access flags", Node(5, 4, kBasic), 4, {}, {STATUS_SUCCESS, 4, Long(0x203)}},
      {"39 bytes", Node(5, 4, kBasic), 39, {}, {STATUS_SUCCESS, 4, Long(0x203)}},
      {"2 bytes", Node(0, 4, kBasic), 2, {}, {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
      {"no buffer", Node(0, 4, kBasic), 0, {}, {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
  });
}

TEST_F(TopologyProperties, VolumeLevels) {
  Run({
      {"master volume after start", Channel(7, 4, kGet, 0), 4, {}, {STATUS_SUCCESS, 4, Long(-1)}},
      {"size query", Channel(7, 4, kGet, 0), 0, {}, {STATUS_BUFFER_OVERFLOW, 4, std::nullopt}},
      {"short value", Channel(7, 4, kGet, 0), 2, {}, {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
      {"long value", Channel(7, 4, kGet, 0), 8, {}, {STATUS_UNSUCCESSFUL, 0, std::nullopt}},
      {"no channel", Node(7, 4, kGet), 4, {}, {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
      {"set -20 dB", Channel(0, 4, kSet, 0), 4, Long(-20 * 65536), {STATUS_SUCCESS, 4, std::nullopt}},
      {"read back, any channel", Channel(0, 4, kGet, 1), 4, {}, {STATUS_SUCCESS, 4, Long(-20 * 65536)}},
      {"set beyond the range: stored as given", Channel(4, 4, kSet, 0), 4, Long(0x7FFFFFFF),
       {STATUS_SUCCESS, 4, std::nullopt}},
      {"read back", Channel(4, 4, kGet, 0), 4, {}, {STATUS_SUCCESS, 4, Long(0x7FFFFFFF)}},
      {"long set refused", Channel(2, 4, kSet, 0), 8, Long(5), {STATUS_UNSUCCESSFUL, 0, std::nullopt}},
      {"and nothing written", Channel(2, 4, kGet, 0), 4, {}, {STATUS_SUCCESS, 4, Long(-1)}},
  });
  EXPECT_EQ(adapter_->ReadVolume(kWaveVolumeNode, 0), -20 * 65536);
}

TEST_F(TopologyProperties, MuxSource) {
  Run({
      {"microphone after start", Node(8, 12, kGet), 4, {}, {STATUS_SUCCESS, 4, Long(3)}},
      {"set 2", Node(8, 12, kSet), 4, Long(2), {STATUS_SUCCESS, 4, std::nullopt}},
      {"get 2", Node(8, 12, kGet), 8, {}, {STATUS_SUCCESS, 4, Long(2)}},
      {"set 7, stored without a check", Node(8, 12, kSet), 4, Long(7), {STATUS_SUCCESS, 4, std::nullopt}},
      {"get 7", Node(8, 12, kGet), 4, {}, {STATUS_SUCCESS, 4, Long(7)}},
      {"get, 2 bytes", Node(8, 12, kGet), 2, {}, {STATUS_INVALID_PARAMETER, 0, std::nullopt}},
      {"set, 3 bytes", Node(8, 12, kSet), 3, Long(1), {STATUS_INVALID_PARAMETER, 0, std::nullopt}},
      {"basic support, 2 bytes", Node(8, 12, kBasic), 2, {}, {STATUS_INVALID_PARAMETER, 0, std::nullopt}},
      {"basic support, no buffer", Node(8, 12, kBasic), 0, {}, {STATUS_INVALID_PARAMETER, 0, std::nullopt}},
      {"basic support, 40", Node(8, 12, kBasic), 40, {},
       {STATUS_SUCCESS, 40, Description(0x203, 40, KSPROPTYPESETID_General, VT_I4, 0)}},
      {"basic support, 4", Node(8, 12, kBasic), 4, {}, {STATUS_SUCCESS, 4, Long(0x203)}},
  });
  EXPECT_EQ(adapter_->ReadMux(), 7u);
}

TEST_F(TopologyProperties, Mute) {
  Run({
      {"wave mute after start", Channel(1, 13, kGet, 0), 4, {}, {STATUS_SUCCESS, 4, Long(0x01010101)}},
      {"unmute", Channel(3, 13, kSet, 0), 4, Long(0), {STATUS_SUCCESS, 4, std::nullopt}},
      {"read back", Channel(3, 13, kGet, 0), 4, {}, {STATUS_SUCCESS, 4, Long(0)}},
      {"size query", Channel(1, 13, kGet, 0), 0, {}, {STATUS_BUFFER_OVERFLOW, 4, std::nullopt}},
      {"short", Channel(1, 13, kSet, 0), 3, Long(0), {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
      {"long", Channel(1, 13, kSet, 0), 8, Long(0), {STATUS_UNSUCCESSFUL, 0, std::nullopt}},
      {"no channel", Node(1, 13, kSet), 4, Long(0), {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
      {"still muted", Channel(1, 13, kGet, 0), 4, {}, {STATUS_SUCCESS, 4, Long(0x01010101)}},
      {"basic support", Node(1, 13, kBasic), 40, {},
       {STATUS_SUCCESS, 40, Description(0x203, 40, KSPROPTYPESETID_General, VT_BOOL, 0)}},
      {"basic support, 4", Node(3, 13, kBasic), 4, {}, {STATUS_SUCCESS, 4, Long(0x203)}},
      {"basic support, 3", Node(3, 13, kBasic), 3, {}, {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
  });
}

struct SpecificSupport {
  KSPROPERTY_DESCRIPTION description;
  KSPROPERTY_MEMBERSHEADER members;
  KSPROPERTY_BOUNDS_LONG range;
};

TEST_F(TopologyProperties, DeviceSpecific) {
  SpecificSupport intRange{{0x203, 64, {KSPROPTYPESETID_General, VT_I4, 0}, 1, 0}, {1, 8, 1, 0}, {}};
  intRange.range.SignedMinimum = 0;
  intRange.range.SignedMaximum = 0x7FFFFFFF;
  SpecificSupport uintRange{{0x203, 64, {KSPROPTYPESETID_General, VT_UI4, 0}, 1, 0}, {1, 8, 1, 0}, {}};
  uintRange.range.UnsignedMinimum = 0;
  uintRange.range.UnsignedMaximum = 0xFFFFFFFF;
  Run({
      {"flag: basic support", Node(9, 28, kBasic), 40, {},
       {STATUS_SUCCESS, 40, Description(0x203, 40, KSPROPTYPESETID_General, VT_BOOL, 0)}},
      {"flag: basic support, no buffer", Node(9, 28, kBasic), 0, {}, {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
      {"int: basic support, size query", Node(10, 28, kBasic), 0, {}, {STATUS_BUFFER_OVERFLOW, 64, std::nullopt}},
      {"int: basic support, 64", Node(10, 28, kBasic), 64, {}, {STATUS_SUCCESS, 64, Bytes(intRange)}},
      {"int: basic support, 40", Node(10, 28, kBasic), 40, {},
       {STATUS_SUCCESS, 40, Description(0x203, 64, KSPROPTYPESETID_General, VT_I4, 0)}},
      {"int: basic support, 63", Node(10, 28, kBasic), 63, {}, {STATUS_SUCCESS, 40, std::nullopt}},
      {"int: basic support, 4", Node(10, 28, kBasic), 4, {}, {STATUS_SUCCESS, 4, Long(0x203)}},
      {"int: basic support, 3", Node(10, 28, kBasic), 3, {}, {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
      {"uint: basic support, 64", Node(11, 28, kBasic), 100, {}, {STATUS_SUCCESS, 64, Bytes(uintRange)}},
      {"uint: basic support, size query", Node(11, 28, kBasic), 0, {}, {STATUS_BUFFER_OVERFLOW, 64, std::nullopt}},
      {"flag: get", Node(9, 28, kGet), 4, {}, {STATUS_SUCCESS, 4, Long(0)}},
      {"flag: set", Node(9, 28, kSet), 4, Long(1), {STATUS_SUCCESS, 4, std::nullopt}},
      {"flag: read back", Node(9, 28, kGet), 4, {}, {STATUS_SUCCESS, 4, Long(1)}},
      {"int: set", Node(10, 28, kSet), 4, Long(-5), {STATUS_SUCCESS, 4, std::nullopt}},
      {"int: read back", Node(10, 28, kGet), 4, {}, {STATUS_SUCCESS, 4, Long(-5)}},
      {"uint: set", Node(11, 28, kSet), 4, Long(-1), {STATUS_SUCCESS, 4, std::nullopt}},
      {"uint: read back", Node(11, 28, kGet), 4, {}, {STATUS_SUCCESS, 4, Long(-1)}},
      {"int: size query", Node(10, 28, kGet), 0, {}, {STATUS_BUFFER_OVERFLOW, 4, std::nullopt}},
      {"uint: short", Node(11, 28, kSet), 2, Long(9), {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
      {"uint: unchanged", Node(11, 28, kGet), 4, {}, {STATUS_SUCCESS, 4, Long(-1)}},
      // The port finds no device-specific item on the mux node and never calls the handler.
      {"on the mux node", Node(8, 28, kGet), 4, {}, {STATUS_NOT_FOUND, 0, std::nullopt}},
  });
  EXPECT_EQ(adapter_->ReadSpecificFlag(), 1);
  EXPECT_EQ(adapter_->ReadSpecificInt(), -5);
  EXPECT_EQ(adapter_->ReadSpecificUint(), 0xFFFFFFFFu);
}

TEST_F(TopologyProperties, CpuResources) {
  Run({
      {"get", Node(0, 33, kGet), 4, {}, {STATUS_SUCCESS, 4, Long(KSAUDIO_CPU_RESOURCES_NOT_HOST_CPU)}},
      {"get on the mux", Node(8, 33, kGet), 4, {}, {STATUS_SUCCESS, 4, Long(0)}},
      {"size query", Node(1, 33, kGet), 0, {}, {STATUS_BUFFER_OVERFLOW, 4, std::nullopt}},
      {"long", Node(1, 33, kGet), 8, {}, {STATUS_UNSUCCESSFUL, 0, std::nullopt}},
      {"basic support", Node(7, 33, kBasic), 40, {}, {STATUS_SUCCESS, 40, Description(0x201, 40, GUID_NULL, 0, 0)}},
      // The item has no SET, so the port refuses it before the handler would.
      {"set", Node(0, 33, kSet), 4, Long(1), {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"on a device-specific node", Node(9, 33, kGet), 4, {}, {STATUS_NOT_FOUND, 0, std::nullopt}},
  });
}

PropertyInput Jack(ULONG pin, ULONG verb) { return PropertyInput::Pin(KSPROPSETID_Jack, 1, verb, pin); }

std::vector<unsigned char> JackValue(COLORREF color) {
  struct {
    KSMULTIPLE_ITEM header;
    KSJACK_DESCRIPTION jack;
  } value{{36, 1}, {0x3, color, eConnType3Point5mm, eGeoLocRear, eGenLocPrimaryBox, ePortConnJack, 1}};
  static_assert(sizeof value == 36);
  return Bytes(value);
}

TEST_F(TopologyProperties, JackDescriptions) {
  Run({
      {"microphone, size query", Jack(3, kGet), 0, {}, {STATUS_BUFFER_OVERFLOW, 36, std::nullopt}},
      {"microphone, 35", Jack(3, kGet), 35, {}, {STATUS_BUFFER_TOO_SMALL, 0, std::nullopt}},
      {"microphone, 36", Jack(3, kGet), 36, {}, {STATUS_SUCCESS, 36, JackValue(0x00E88C99)}},
      {"line out, 36", Jack(4, kGet), 36, {}, {STATUS_SUCCESS, 36, JackValue(0x00B3C98C)}},
      {"line out, 50", Jack(4, kGet), 50, {}, {STATUS_SUCCESS, 36, JackValue(0x00B3C98C)}},
      {"line out, size query", Jack(4, kGet), 0, {}, {STATUS_BUFFER_OVERFLOW, 36, std::nullopt}},
      {"basic support", Jack(4, kBasic), 40, {}, {STATUS_SUCCESS, 40, Description(0x201, 40, GUID_NULL, 0, 0)}},
      {"wave-out source", Jack(0, kGet), 36, {}, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"wave-in destination", Jack(5, kGet), 36, {}, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"pin 6", Jack(6, kGet), 36, {}, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"pin 0xFFFFFFFF", Jack(0xFFFFFFFF, kBasic), 40, {}, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"pin id cut to 3 bytes", Jack(3, kGet).Truncate(sizeof(KSPROPERTY) + 3), 36, {},
       {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"no pin id", PropertyInput::Filter(KSPROPSETID_Jack, 1, kGet), 36, {},
       {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"pin id alone", Jack(4, kGet).Truncate(sizeof(KSPROPERTY) + 4), 36, {}, {STATUS_SUCCESS, 36, std::nullopt}},
      {"set: no such verb on the item", Jack(3, kSet), 36, {}, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"another jack property", PropertyInput::Pin(KSPROPSETID_Jack, 2, kGet, 3), 36, {},
       {STATUS_NOT_FOUND, 0, std::nullopt}},
  });
}

// Requests the filter has no answer for, and what the port says to them.
TEST_F(TopologyProperties, RequestsWithoutAHandler) {
  Run({
      {"component id: the topology has none", PropertyInput::Filter(KSPROPSETID_General, 0, kGet), 72, {},
       {STATUS_PROPSET_NOT_FOUND, 0, std::nullopt}},
      {"the sum node has no properties", Node(6, 4, kGet), 4, {}, {STATUS_PROPSET_NOT_FOUND, 0, std::nullopt}},
      {"node 12 does not exist", Channel(12, 4, kGet, 0), 4, {}, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"volume on a mute node", Channel(1, 4, kGet, 0), 4, {}, {STATUS_NOT_FOUND, 0, std::nullopt}},
      {"two verbs at once", Channel(0, 4, kGet | kSet, 0), 4, {}, {STATUS_INVALID_PARAMETER, 0, std::nullopt}},
      {"set support", Node(0, 4, KSPROPERTY_TYPE_SETSUPPORT), 0, {}, {STATUS_SUCCESS, 0, std::nullopt}},
  });
}

// The descriptor as Windows reads it through the standard pin and topology properties.
TEST_F(TopologyProperties, DescriptorSeenThroughThePort) {
  const auto filter = [&](const GUID& set, ULONG id, ULONG size) {
    return Send(*topology_, PropertyInput::Filter(set, id, kGet), size);
  };
  const auto pin = [&](ULONG id, ULONG pinId, ULONG size) {
    return Send(*topology_, PropertyInput::Pin(KSPROPSETID_Pin, id, kGet, pinId), size);
  };
  Check(filter(KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, 4), {STATUS_SUCCESS, 4, Long(6)}, "pins");
  const struct {
    KSPIN_DATAFLOW flow;
    const GUID* category;
  } pins[] = {{KSPIN_DATAFLOW_IN, &KSCATEGORY_AUDIO},        {KSPIN_DATAFLOW_IN, &KSNODETYPE_SYNTHESIZER},
              {KSPIN_DATAFLOW_IN, &KSNODETYPE_SYNTHESIZER},  {KSPIN_DATAFLOW_IN, &KSNODETYPE_MICROPHONE},
              {KSPIN_DATAFLOW_OUT, &KSNODETYPE_SPEAKER},     {KSPIN_DATAFLOW_OUT, &KSCATEGORY_AUDIO}};
  for (ULONG i = 0; i < 6; ++i) {
    const std::string what = "pin " + std::to_string(i);
    Check(pin(KSPROPERTY_PIN_DATAFLOW, i, 4), {STATUS_SUCCESS, 4, Long(pins[i].flow)}, what);
    Check(pin(KSPROPERTY_PIN_COMMUNICATION, i, 4), {STATUS_SUCCESS, 4, Long(KSPIN_COMMUNICATION_NONE)}, what);
    Check(pin(KSPROPERTY_PIN_CATEGORY, i, 16), {STATUS_SUCCESS, 16, Bytes(*pins[i].category)}, what);
    Check(pin(KSPROPERTY_PIN_CINSTANCES, i, 8), {STATUS_SUCCESS, 8, Bytes(KSPIN_CINSTANCES{0, 0})}, what);
    struct {
      KSMULTIPLE_ITEM header;
      KSDATARANGE range;
    } ranges{{72, 1},
             {64, 0, 0, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_ANALOG, KSDATAFORMAT_SPECIFIER_NONE}};
    Check(pin(KSPROPERTY_PIN_DATARANGES, i, 72), {STATUS_SUCCESS, 72, Bytes(ranges)}, what);
  }
  Check(pin(KSPROPERTY_PIN_DATAFLOW, 6, 4), {STATUS_INVALID_PARAMETER, 0, std::nullopt}, "pin 6");

  const GUID nodeTypes[] = {KSNODETYPE_VOLUME, KSNODETYPE_MUTE,   KSNODETYPE_VOLUME,       KSNODETYPE_MUTE,
                            KSNODETYPE_VOLUME, KSNODETYPE_VOLUME, KSNODETYPE_SUM,          KSNODETYPE_VOLUME,
                            KSNODETYPE_MUX,    KSNODETYPE_DEV_SPECIFIC, KSNODETYPE_DEV_SPECIFIC, KSNODETYPE_DEV_SPECIFIC};
  struct {
    KSMULTIPLE_ITEM header;
    GUID types[12];
  } nodes{{8 + 12 * 16, 12}, {}};
  std::memcpy(nodes.types, nodeTypes, sizeof nodeTypes);
  Check(filter(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_NODES, 0), {STATUS_BUFFER_OVERFLOW, 200, std::nullopt}, "nodes");
  Check(filter(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_NODES, 200), {STATUS_SUCCESS, 200, Bytes(nodes)}, "nodes");

  constexpr ULONG F = KSFILTER_NODE;
  const KSTOPOLOGY_CONNECTION expected[16] = {
      {F, 0, 0, 1},  {0, 0, 1, 1},  {1, 0, 6, 1},   {F, 1, 2, 1},   {2, 0, 3, 1},  {3, 0, 6, 2},
      {F, 2, 5, 1},  {5, 0, 8, 2},  {F, 3, 4, 1},   {4, 0, 8, 1},   {6, 0, 9, 1},  {9, 0, 10, 1},
      {10, 0, 11, 1}, {11, 0, 7, 1}, {7, 0, F, 4},  {8, 0, F, 5}};
  struct {
    KSMULTIPLE_ITEM header;
    KSTOPOLOGY_CONNECTION connections[16];
  } connections{{8 + 16 * 16, 16}, {}};
  std::memcpy(connections.connections, expected, sizeof expected);
  Check(filter(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_CONNECTIONS, 264), {STATUS_SUCCESS, 264, Bytes(connections)},
        "connections");
  Check(filter(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_CATEGORIES, 8), {STATUS_SUCCESS, 8, Bytes(KSMULTIPLE_ITEM{8, 0})},
        "no categories");

  // Names are not served through properties; the descriptor holds them.
  const PCFILTER_DESCRIPTOR& d = *topology_->Descriptor();
  const GUID* names[] = {&KSAUDFNAME_WAVE_VOLUME, &KSAUDFNAME_WAVE_MUTE,  &KSAUDFNAME_MIDI_VOLUME,
                         &KSAUDFNAME_MIDI_MUTE,   &KSAUDFNAME_MIC_VOLUME, &KSAUDFNAME_MIDI_VOLUME,
                         nullptr,                 &KSAUDFNAME_MASTER_VOLUME, &KSAUDFNAME_RECORDING_SOURCE,
                         nullptr,                 nullptr,               nullptr};
  for (ULONG i = 0; i < 12; ++i) {
    if (names[i] == nullptr)
      EXPECT_EQ(d.Nodes[i].Name, nullptr) << i;
    else
      EXPECT_TRUE(d.Nodes[i].Name != nullptr && IsEqualGUID(*d.Nodes[i].Name, *names[i])) << i;
  }
  EXPECT_TRUE(IsEqualGUID(*d.Pins[1].KsPinDescriptor.Name, KSAUDFNAME_MIDI));
  EXPECT_TRUE(IsEqualGUID(*d.Pins[2].KsPinDescriptor.Name, KSAUDFNAME_MIDI));
  EXPECT_EQ(d.Pins[3].KsPinDescriptor.Name, nullptr);
}

// What the handlers answer to requests the port would never pass on: any verb, node or set.
class HandlerCalls : public StartedDeviceTest {
 protected:
  Reply Call(PCPFNPROPERTY_HANDLER handler, const GUID& set, ULONG id, ULONG node, ULONG verb,
             std::vector<unsigned char> instance, ULONG valueSize) {
    const PCPROPERTY_ITEM item{&set, id, 0x203, handler};
    std::vector<unsigned char> value(valueSize);
    PCPROPERTY_REQUEST request{topology_->MiniportUnknown(),
                               nullptr,
                               node,
                               &item,
                               verb,
                               static_cast<ULONG>(instance.size()),
                               instance.empty() ? nullptr : instance.data(),
                               valueSize,
                               valueSize ? value.data() : nullptr,
                               nullptr};
    const NTSTATUS status = handler(&request);
    return {status, request.ValueSize, value};
  }
};

TEST_F(HandlerCalls, NodeHandlerRefusals) {
  const auto node = PropertyHandlerTopologyNode;
  const std::vector<unsigned char> channel = Long(0);
  const struct {
    const char* what;
    ULONG id;
    ULONG node;
    ULONG verb;
    Expected expected;
  } cases[] = {
      {"device-specific on the mux node", 28, 8, kGet, {STATUS_INVALID_PARAMETER, 0, std::nullopt}},
      {"device-specific on node 0xFFFFFFFF", 28, 0xFFFFFFFF, kBasic, {STATUS_INVALID_PARAMETER, 0, std::nullopt}},
      {"device-specific, neither get nor set", 28, 10, KSPROPERTY_TYPE_SETSUPPORT, {STATUS_INVALID_PARAMETER, 0, std::nullopt}},
      {"unknown property", 5, 0, kGet, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"cpu resources set", 33, 0, kSet, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"volume, neither get nor set", 4, 0, KSPROPERTY_TYPE_SETSUPPORT, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"mute, no verb", 13, 0, 0, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"mux, no verb", 12, 8, 0, {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}},
      {"volume of node 25: reads 0", 4, 25, kGet, {STATUS_SUCCESS, 4, Long(0)}},
  };
  for (const auto& c : cases) Check(Call(node, KSPROPSETID_Audio, c.id, c.node, c.verb, channel, 4), c.expected, c.what);

  // The jack handler checks its set and identifier itself.
  Check(Call(PropertyHandlerJackDescription, KSPROPSETID_Audio, 1, KSFILTER_NODE, kGet, Long(3), 36),
        {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}, "jack handler, another set");
  Check(Call(PropertyHandlerJackDescription, KSPROPSETID_Jack, 2, KSFILTER_NODE, kGet, Long(3), 36),
        {STATUS_INVALID_DEVICE_REQUEST, 0, std::nullopt}, "jack handler, another id");

  PCPROPERTY_REQUEST orphan{};
  EXPECT_EQ(Hex(node(nullptr)), Hex(STATUS_INVALID_PARAMETER));
  EXPECT_EQ(Hex(node(&orphan)), Hex(STATUS_INVALID_PARAMETER));
}

}  // namespace
