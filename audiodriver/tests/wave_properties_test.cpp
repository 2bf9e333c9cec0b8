#include "wave_properties.h"
#include "wave_test_support.h"

// The wave filter as Windows sees it: its pins and topology from the descriptor, and its own
// properties, sent through the port.
namespace {

using kstandin::PropertyInput;

constexpr ULONG kGet = KSPROPERTY_TYPE_GET;
constexpr ULONG kSet = KSPROPERTY_TYPE_SET;
constexpr ULONG kBasic = KSPROPERTY_TYPE_BASICSUPPORT;

class WaveFilter : public WaveDeviceTest {
 protected:
  Reply Ask(const PropertyInput& input, ULONG valueSize, const std::vector<unsigned char>& value = {}) {
    return Send(*port_, input, valueSize, value);
  }
  Reply Propose(const std::vector<unsigned char>& proposal, ULONG pin = kWaveRenderStreamPin) {
    return Ask(PropertyInput::Pin(KSPROPSETID_Pin, KSPROPERTY_PIN_PROPOSEDATAFORMAT, kSet, pin),
               static_cast<ULONG>(proposal.size()), proposal);
  }
};

template <typename T>
T As(const Reply& reply, size_t at = 0) {
  T value;
  std::memcpy(&value, reply.value.data() + at, sizeof value);
  return value;
}

TEST_F(WaveFilter, PinsNodesAndConnections) {
  const struct {
    ULONG pin;
    KSPIN_DATAFLOW flow;
    KSPIN_COMMUNICATION communication;
    ULONG possible;
    const GUID* range;
  } pins[] = {{0, KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_SINK, 1, &KSDATAFORMAT_SUBTYPE_PCM},
              {1, KSPIN_DATAFLOW_IN, KSPIN_COMMUNICATION_NONE, 0, &KSDATAFORMAT_SUBTYPE_ANALOG},
              {2, KSPIN_DATAFLOW_IN, KSPIN_COMMUNICATION_SINK, 1, &KSDATAFORMAT_SUBTYPE_PCM},
              {3, KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_NONE, 0, &KSDATAFORMAT_SUBTYPE_ANALOG}};
  EXPECT_EQ(As<ULONG>(Ask(PropertyInput::Filter(KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, kGet), 4)), 4u);
  for (const auto& p : pins) {
    SCOPED_TRACE(p.pin);
    EXPECT_EQ(As<KSPIN_DATAFLOW>(Ask(PropertyInput::Pin(KSPROPSETID_Pin, KSPROPERTY_PIN_DATAFLOW, kGet, p.pin), 4)), p.flow);
    EXPECT_EQ(As<KSPIN_COMMUNICATION>(Ask(PropertyInput::Pin(KSPROPSETID_Pin, KSPROPERTY_PIN_COMMUNICATION, kGet, p.pin), 4)),
              p.communication);
    EXPECT_EQ(As<GUID>(Ask(PropertyInput::Pin(KSPROPSETID_Pin, KSPROPERTY_PIN_CATEGORY, kGet, p.pin), 16)).Data1,
              KSCATEGORY_AUDIO.Data1);
    const Reply instances = Ask(PropertyInput::Pin(KSPROPSETID_Pin, KSPROPERTY_PIN_CINSTANCES, kGet, p.pin), 8);
    EXPECT_EQ(As<KSPIN_CINSTANCES>(instances).PossibleCount, p.possible);
    const Reply ranges = Ask(PropertyInput::Pin(KSPROPSETID_Pin, KSPROPERTY_PIN_DATARANGES, kGet, p.pin), 200);
    ASSERT_EQ(ranges.status, STATUS_SUCCESS);
    EXPECT_EQ(As<KSMULTIPLE_ITEM>(ranges).Count, 1u);
    EXPECT_TRUE(IsEqualGUID(As<KSDATARANGE>(ranges, 8).SubFormat, *p.range));
    if (p.range == &KSDATAFORMAT_SUBTYPE_PCM) {
      const KSDATARANGE_AUDIO audio = As<KSDATARANGE_AUDIO>(ranges, 8);
      EXPECT_EQ(audio.DataRange.FormatSize, 88u);
      EXPECT_TRUE(IsEqualGUID(audio.DataRange.Specifier, KSDATAFORMAT_SPECIFIER_WAVEFORMATEX));
      EXPECT_EQ(audio.MaximumChannels, 2u);
      EXPECT_EQ(audio.MinimumBitsPerSample, 8u);
      EXPECT_EQ(audio.MaximumBitsPerSample, 16u);
      EXPECT_EQ(audio.MinimumSampleFrequency, 4000u);
      EXPECT_EQ(audio.MaximumSampleFrequency, 64000u);
    }
  }
  EXPECT_TRUE(IsEqualGUID(*kWaveFilterDescriptor.Pins[0].KsPinDescriptor.Name, KSAUDFNAME_RECORDING_CONTROL));
  EXPECT_EQ(kWaveFilterDescriptor.Pins[2].KsPinDescriptor.Name, nullptr);

  const Reply nodes = Ask(PropertyInput::Filter(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_NODES, kGet), 8 + 32);
  ASSERT_EQ(nodes.status, STATUS_SUCCESS);
  EXPECT_EQ(As<KSMULTIPLE_ITEM>(nodes).Count, 2u);
  EXPECT_TRUE(IsEqualGUID(As<GUID>(nodes, 8), KSNODETYPE_ADC));
  EXPECT_TRUE(IsEqualGUID(As<GUID>(nodes, 24), KSNODETYPE_DAC));
  const Reply connections =
      Ask(PropertyInput::Filter(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_CONNECTIONS, kGet), 8 + 4 * 16);
  ASSERT_EQ(connections.status, STATUS_SUCCESS);
  const KSTOPOLOGY_CONNECTION expected[] = {{KSFILTER_NODE, 1, 0, 1}, {0, 0, KSFILTER_NODE, 0},
                                            {KSFILTER_NODE, 2, 1, 1}, {1, 0, KSFILTER_NODE, 3}};
  EXPECT_EQ(As<KSMULTIPLE_ITEM>(connections).Count, 4u);
  EXPECT_EQ(std::memcmp(connections.value.data() + 8, expected, sizeof expected), 0);
}

TEST_F(WaveFilter, ComponentId) {
  const auto input = [](ULONG verb) { return PropertyInput::Filter(KSPROPSETID_General, KSPROPERTY_GENERAL_COMPONENTID, verb); };
  const Reply id = Ask(input(kGet), 72);
  ASSERT_EQ(Hex(id.status), Hex(STATUS_SUCCESS));
  EXPECT_EQ(id.size, 72u);
  const KSCOMPONENTID component = As<KSCOMPONENTID>(id);
  EXPECT_EQ(component.Manufacturer.Data1, 0xD5A47FA8u);
  EXPECT_EQ(component.Product.Data1, 0x5B722BF8u);
  EXPECT_TRUE(IsEqualGUID(component.Component, GUID_NULL));
  EXPECT_EQ(component.Name.Data1, 0x946A7B1Au);
  EXPECT_EQ(component.Version, 1u);
  EXPECT_EQ(component.Revision, 0u);
  EXPECT_EQ(std::memcmp(&component, &kWaveComponentId, 72), 0);

  // Every refusal of the value check, the size query included, is STATUS_INVALID_PARAMETER.
  const struct {
    ULONG verb;
    ULONG size;
    NTSTATUS status;
    ULONG sizeAfter;
  } rows[] = {{kGet, 0, STATUS_INVALID_PARAMETER, 72},   {kGet, 71, STATUS_INVALID_PARAMETER, 0},
              {kGet, 80, STATUS_INVALID_PARAMETER, 0},   {kSet, 72, STATUS_INVALID_DEVICE_REQUEST, 0},
              {kBasic, 40, STATUS_SUCCESS, 40},          {kBasic, 4, STATUS_SUCCESS, 4},
              {kBasic, 2, STATUS_BUFFER_TOO_SMALL, 0}};
  for (const auto& r : rows) {
    const Reply reply = Ask(input(r.verb), r.size);
    EXPECT_EQ(Hex(reply.status), Hex(r.status)) << r.verb << "/" << r.size;
    EXPECT_EQ(reply.size, r.sizeAfter) << r.verb << "/" << r.size;
  }
  const Reply basic = Ask(input(kBasic), 40);
  const KSPROPERTY_DESCRIPTION description{0x201, 40, {GUID_NULL, 0, 0}, 0, 0};
  EXPECT_EQ(std::memcmp(basic.value.data(), &description, 40), 0);
}

// A proposal as the audio engine sends it: the data format with its (extensible) wave format.
std::vector<unsigned char> Proposal(WORD tag, WORD channels, DWORD rate, WORD bits, WORD cbSize = 0, DWORD mask = 0) {
  const WORD align = static_cast<WORD>(channels * bits / 8);
  KSDATAFORMAT format{0, 0, align, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
                      KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
  WAVEFORMATEXTENSIBLE wave{{tag, channels, rate, rate * align, align, bits, cbSize}, {bits}, mask, KSDATAFORMAT_SUBTYPE_PCM};
  const size_t size = sizeof format + (tag == WAVE_FORMAT_EXTENSIBLE ? sizeof wave : sizeof(WAVEFORMATEX));
  format.FormatSize = static_cast<ULONG>(size);
  std::vector<unsigned char> bytes(size);
  std::memcpy(bytes.data(), &format, sizeof format);
  std::memcpy(bytes.data() + sizeof format, &wave, size - sizeof format);
  return bytes;
}

std::vector<unsigned char> Pcm(WORD channels, DWORD rate, WORD bits) { return Proposal(WAVE_FORMAT_PCM, channels, rate, bits); }
std::vector<unsigned char> Extensible(WORD channels, DWORD mask) {
  return Proposal(WAVE_FORMAT_EXTENSIBLE, channels, 48000, 16, 22, mask);
}

// A proposal is accepted exactly when a stream of the pin would open with it: the same
// checks, on either streaming pin, and none for the bridge pins, which carry no format.
TEST_F(WaveFilter, ProposalsAndStreamsAgree) {
  struct Case {
    const char* what;
    std::vector<unsigned char> proposal;
    NTSTATUS status;
  };
  std::vector<Case> cases = {
      {"48 kHz 16-bit stereo PCM", Pcm(2, 48000, 16), STATUS_SUCCESS},
      {"44.1 kHz 16-bit stereo PCM", Pcm(2, 44100, 16), STATUS_SUCCESS},
      {"mono PCM", Pcm(1, 48000, 16), STATUS_SUCCESS},
      {"8-bit samples", Pcm(2, 48000, 8), STATUS_SUCCESS},
      {"8 kHz", Pcm(2, 8000, 16), STATUS_SUCCESS},
      {"6 channels as PCM", Pcm(6, 48000, 16), STATUS_NO_MATCH},
      {"24-bit samples", Pcm(2, 48000, 24), STATUS_NO_MATCH},
      {"96 kHz", Pcm(2, 96000, 16), STATUS_NO_MATCH},
      {"extensible stereo", Extensible(2, 0x3), STATUS_NO_MATCH},
      {"extensible 5.1", Extensible(6, 0x60F), STATUS_NO_MATCH},
      {"extensible 7.1", Extensible(8, 0x63F), STATUS_NO_MATCH},
      {"PCM with cbSize 22", Proposal(WAVE_FORMAT_PCM, 2, 48000, 16, 22), STATUS_NO_MATCH},
  };
  auto edit = [](std::vector<unsigned char> proposal, size_t at, const void* value, size_t size) {
    std::memcpy(proposal.data() + at, value, size);
    return proposal;
  };
  const WORD badAlign = 2;
  const DWORD badRate = 96000;
  const ULONG tooLong = 83;
  cases.push_back({"block alignment not 2 per channel", edit(Pcm(2, 48000, 16), 64 + 12, &badAlign, 2), STATUS_NO_MATCH});
  cases.push_back({"byte rate not alignment times rate", edit(Pcm(2, 48000, 16), 64 + 8, &badRate, 4), STATUS_NO_MATCH});
  cases.push_back({"not audio", edit(Pcm(2, 48000, 16), 16, &KSDATAFORMAT_SUBTYPE_PCM, 16), STATUS_NO_MATCH});
  cases.push_back({"DirectSound specifier without room for it", edit(Pcm(2, 48000, 16), 48, &KSDATAFORMAT_SPECIFIER_DSOUND, 16), STATUS_NO_MATCH});
  cases.push_back({"a format size beyond the value", edit(Pcm(2, 48000, 16), 0, &tooLong, 4), STATUS_NO_MATCH});
  std::vector<unsigned char> longer = Pcm(2, 48000, 16);
  longer.resize(120, 0xEE);
  cases.push_back({"PCM with bytes after it", longer, STATUS_SUCCESS});

  for (const Case& c : cases) {
    for (ULONG pin : {kWaveRenderStreamPin, kWaveCaptureStreamPin}) {
      EXPECT_EQ(Hex(Propose(c.proposal, pin).status), Hex(c.status)) << c.what << " on pin " << pin;
      // the stream the engine would open next, straight into the miniport past the pin's range;
      // a pin is created with all the bytes its format claims
      ULONG claimed = 0;
      std::memcpy(&claimed, c.proposal.data(), sizeof claimed);
      if (claimed > c.proposal.size()) continue;
      PMINIPORTWAVECYCLICSTREAM stream = nullptr;
      PDMACHANNEL dma = nullptr;
      PSERVICEGROUP group = nullptr;
      std::vector<unsigned char> format = c.proposal;
      const NTSTATUS opened = miniport_->NewStream(&stream, nullptr, NonPagedPoolNx, pin, pin == kWaveCaptureStreamPin,
                                                   reinterpret_cast<PKSDATAFORMAT>(format.data()), &dma, &group);
      EXPECT_EQ(NT_SUCCESS(opened), c.status == STATUS_SUCCESS) << c.what << " on pin " << pin;
      if (stream != nullptr) stream->Release();
      if (dma != nullptr) dma->Release();
      if (group != nullptr) group->Release();
    }
  }
  for (ULONG pin : {ULONG{kWaveCaptureBridgePin}, ULONG{kWaveRenderBridgePin}, ULONG{kWavePinCount}})
    EXPECT_EQ(Hex(Propose(Pcm(2, 48000, 16), pin).status), Hex(STATUS_INVALID_DEVICE_REQUEST)) << pin;

  // With one direction open, the other is proposed and opened in its format only.
  kstandin::Stream render;
  ASSERT_EQ(OpenRender(Cd(), &render), STATUS_SUCCESS);
  EXPECT_EQ(Hex(Propose(Pcm(2, 48000, 16), kWaveCaptureStreamPin).status), Hex(STATUS_NO_MATCH));
  EXPECT_EQ(Hex(Propose(Pcm(2, 44100, 16), kWaveCaptureStreamPin).status), Hex(STATUS_SUCCESS));
  EXPECT_EQ(Hex(Propose(Pcm(2, 48000, 16), kWaveRenderStreamPin).status), Hex(STATUS_SUCCESS));  // its own may change
}

TEST_F(WaveFilter, ProposalSizesAndVerbs) {
  const auto input = [](ULONG verb) {
    return PropertyInput::Pin(KSPROPSETID_Pin, KSPROPERTY_PIN_PROPOSEDATAFORMAT, verb, kWaveRenderStreamPin);
  };
  Reply reply = Ask(input(kSet), 0);
  EXPECT_EQ(Hex(reply.status), Hex(STATUS_BUFFER_OVERFLOW));
  EXPECT_EQ(reply.size, 82u);
  const std::vector<unsigned char> pcm = Pcm(2, 48000, 16);
  reply = Ask(input(kSet), 81, pcm);
  EXPECT_EQ(Hex(reply.status), Hex(STATUS_BUFFER_TOO_SMALL));
  EXPECT_EQ(reply.size, 0u);
  reply = Ask(input(kBasic), 40);
  EXPECT_EQ(Hex(reply.status), Hex(STATUS_SUCCESS));
  const KSPROPERTY_DESCRIPTION description{0x202, 40, {GUID_NULL, 0, 0}, 0, 0};
  EXPECT_EQ(std::memcmp(reply.value.data(), &description, 40), 0);
  // GET is not in the item: the port refuses it before the handler sees it.
  EXPECT_EQ(Hex(Ask(input(kGet), 82, pcm).status), Hex(STATUS_INVALID_DEVICE_REQUEST));

  // Straight into the handler: a verb without SET, and identifiers it does not serve.
  std::vector<unsigned char> value = pcm;
  const PCPROPERTY_ITEM propose{&KSPROPSETID_Pin, KSPROPERTY_PIN_PROPOSEDATAFORMAT, kGet, PropertyHandlerWaveFilter};
  PCPROPERTY_REQUEST request{port_->MiniportUnknown(), nullptr, KSFILTER_NODE, &propose, kGet, 0, nullptr, 82,
                             value.data(), nullptr};
  EXPECT_EQ(Hex(PropertyHandlerWaveFilter(&request)), Hex(STATUS_INVALID_PARAMETER));
  for (const PCPROPERTY_ITEM& item : {PCPROPERTY_ITEM{&KSPROPSETID_Pin, KSPROPERTY_GENERAL_COMPONENTID, kGet, nullptr},
                                      PCPROPERTY_ITEM{&KSPROPSETID_General, KSPROPERTY_PIN_PROPOSEDATAFORMAT, kSet, nullptr},
                                      PCPROPERTY_ITEM{&KSPROPSETID_Audio, 1, kGet, nullptr}}) {
    request.PropertyItem = &item;
    request.ValueSize = 82;
    EXPECT_EQ(Hex(PropertyHandlerWaveFilter(&request)), Hex(STATUS_INVALID_DEVICE_REQUEST));
    EXPECT_EQ(request.ValueSize, 0u);
  }
  EXPECT_EQ(Hex(PropertyHandlerWaveFilter(nullptr)), Hex(STATUS_INVALID_PARAMETER));
}

}  // namespace
