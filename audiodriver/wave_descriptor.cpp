#include "wave_descriptor.h"

#include "automation_table.h"
#include "data_ranges.h"
#include "property_requests.h"
#include "wave_properties.h"

constinit const KSDATARANGE_AUDIO kPcmRange = {
    {sizeof(KSDATARANGE_AUDIO), 0, 0, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_PCM,
     KSDATAFORMAT_SPECIFIER_WAVEFORMATEX},
    2,      // channels at most
    8,      // bits per sample, least
    16,     // and most
    4000,   // Hz, least
    64000,  // and most
};

namespace {

constinit const KSDATARANGE* const kPcmRanges[] = {&kPcmRange.DataRange};

constinit const PCPROPERTY_ITEM kFilterItems[] = {
    {&KSPROPSETID_General, KSPROPERTY_GENERAL_COMPONENTID, kGetSupport, PropertyHandlerWaveFilter},
    {&KSPROPSETID_Pin, KSPROPERTY_PIN_PROPOSEDATAFORMAT, kSetSupport, PropertyHandlerWaveFilter},
};

constinit const PCAUTOMATION_TABLE kFilterAutomation = PropertyTable(kFilterItems);

// One instance at a time, none required.
constexpr PCPIN_DESCRIPTOR StreamPin(KSPIN_DATAFLOW flow, const GUID* name) {
  return {1, 1, 0, nullptr, {0, nullptr, 0, nullptr, 1, kPcmRanges, flow, KSPIN_COMMUNICATION_SINK, &KSCATEGORY_AUDIO, name, {0}}};
}

constexpr PCPIN_DESCRIPTOR BridgePin(KSPIN_DATAFLOW flow) {
  return {0, 0, 0, nullptr, {0, nullptr, 0, nullptr, 1, kAnalogBridgeRanges, flow, KSPIN_COMMUNICATION_NONE, &KSCATEGORY_AUDIO, nullptr, {0}}};
}

constinit const PCPIN_DESCRIPTOR kPins[kWavePinCount] = {
    StreamPin(KSPIN_DATAFLOW_OUT, &KSAUDFNAME_RECORDING_CONTROL),
    BridgePin(KSPIN_DATAFLOW_IN),
    StreamPin(KSPIN_DATAFLOW_IN, nullptr),
    BridgePin(KSPIN_DATAFLOW_OUT),
};

constinit const PCNODE_DESCRIPTOR kNodes[kWaveNodeCount] = {
    {0, nullptr, &KSNODETYPE_ADC, nullptr},
    {0, nullptr, &KSNODETYPE_DAC, nullptr},
};

// Node pin 1 is a node's input, 0 its output.
constinit const PCCONNECTION_DESCRIPTOR kConnections[] = {
    {PCFILTER_NODE, kWaveCaptureBridgePin, kWaveAdcNode, 1},
    {kWaveAdcNode, 0, PCFILTER_NODE, kWaveCaptureStreamPin},
    {PCFILTER_NODE, kWaveRenderStreamPin, kWaveDacNode, 1},
    {kWaveDacNode, 0, PCFILTER_NODE, kWaveRenderBridgePin},
};

}  // namespace

constinit const PCFILTER_DESCRIPTOR kWaveFilterDescriptor = {
    0,
    &kFilterAutomation,
    sizeof(PCPIN_DESCRIPTOR),
    kWavePinCount,
    kPins,
    sizeof(PCNODE_DESCRIPTOR),
    kWaveNodeCount,
    kNodes,
    sizeof kConnections / sizeof kConnections[0],
    kConnections,
    0,
    nullptr,
};
