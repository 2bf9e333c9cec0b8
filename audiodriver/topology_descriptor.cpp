#include "topology_descriptor.h"

#include "automation_table.h"
#include "data_ranges.h"
#include "property_requests.h"
#include "topology_properties.h"

namespace {

constexpr PCPROPERTY_ITEM NodeItem(ULONG id, ULONG flags) {
  return {&KSPROPSETID_Audio, id, flags, PropertyHandlerTopologyNode};
}

constinit const PCPROPERTY_ITEM kVolumeItems[] = {NodeItem(KSPROPERTY_AUDIO_VOLUMELEVEL, kGetSetSupport),
                                        NodeItem(KSPROPERTY_AUDIO_CPU_RESOURCES, kGetSupport)};
constinit const PCPROPERTY_ITEM kMuteItems[] = {NodeItem(KSPROPERTY_AUDIO_MUTE, kGetSetSupport),
                                      NodeItem(KSPROPERTY_AUDIO_CPU_RESOURCES, kGetSupport)};
constinit const PCPROPERTY_ITEM kMuxItems[] = {NodeItem(KSPROPERTY_AUDIO_MUX_SOURCE, kGetSetSupport),
                                     NodeItem(KSPROPERTY_AUDIO_CPU_RESOURCES, kGetSupport)};
constinit const PCPROPERTY_ITEM kSpecificItems[] = {NodeItem(KSPROPERTY_AUDIO_DEV_SPECIFIC, kGetSetSupport)};
constinit const PCPROPERTY_ITEM kFilterItems[] = {
    {&KSPROPSETID_Jack, KSPROPERTY_JACK_DESCRIPTION, kGetSupport, PropertyHandlerJackDescription}};

constinit const PCAUTOMATION_TABLE kVolumeAutomation = PropertyTable(kVolumeItems);
constinit const PCAUTOMATION_TABLE kMuteAutomation = PropertyTable(kMuteItems);
constinit const PCAUTOMATION_TABLE kMuxAutomation = PropertyTable(kMuxItems);
constinit const PCAUTOMATION_TABLE kSpecificAutomation = PropertyTable(kSpecificItems);
constinit const PCAUTOMATION_TABLE kFilterAutomation = PropertyTable(kFilterItems);

// Bridge pins: no instances, no communication, the analog range.
constexpr PCPIN_DESCRIPTOR BridgePin(KSPIN_DATAFLOW flow, const GUID* category, const GUID* name) {
  return {0, 0, 0, nullptr, {0, nullptr, 0, nullptr, 1, kAnalogBridgeRanges, flow, KSPIN_COMMUNICATION_NONE, category, name, {0}}};
}

constinit const PCPIN_DESCRIPTOR kPins[kTopologyPinCount] = {
    BridgePin(KSPIN_DATAFLOW_IN, &KSCATEGORY_AUDIO, nullptr),
    BridgePin(KSPIN_DATAFLOW_IN, &KSNODETYPE_SYNTHESIZER, &KSAUDFNAME_MIDI),
    BridgePin(KSPIN_DATAFLOW_IN, &KSNODETYPE_SYNTHESIZER, &KSAUDFNAME_MIDI),
    BridgePin(KSPIN_DATAFLOW_IN, &KSNODETYPE_MICROPHONE, nullptr),
    BridgePin(KSPIN_DATAFLOW_OUT, &KSNODETYPE_SPEAKER, nullptr),
    BridgePin(KSPIN_DATAFLOW_OUT, &KSCATEGORY_AUDIO, nullptr),
};

constinit const PCNODE_DESCRIPTOR kNodes[kTopologyNodeCount] = {
    {0, &kVolumeAutomation, &KSNODETYPE_VOLUME, &KSAUDFNAME_WAVE_VOLUME},
    {0, &kMuteAutomation, &KSNODETYPE_MUTE, &KSAUDFNAME_WAVE_MUTE},
    {0, &kVolumeAutomation, &KSNODETYPE_VOLUME, &KSAUDFNAME_MIDI_VOLUME},
    {0, &kMuteAutomation, &KSNODETYPE_MUTE, &KSAUDFNAME_MIDI_MUTE},
    {0, &kVolumeAutomation, &KSNODETYPE_VOLUME, &KSAUDFNAME_MIC_VOLUME},
    {0, &kVolumeAutomation, &KSNODETYPE_VOLUME, &KSAUDFNAME_MIDI_VOLUME},
    {0, nullptr, &KSNODETYPE_SUM, nullptr},
    {0, &kVolumeAutomation, &KSNODETYPE_VOLUME, &KSAUDFNAME_MASTER_VOLUME},
    {0, &kMuxAutomation, &KSNODETYPE_MUX, &KSAUDFNAME_RECORDING_SOURCE},
    {0, &kSpecificAutomation, &KSNODETYPE_DEV_SPECIFIC, nullptr},
    {0, &kSpecificAutomation, &KSNODETYPE_DEV_SPECIFIC, nullptr},
    {0, &kSpecificAutomation, &KSNODETYPE_DEV_SPECIFIC, nullptr},
};

// Node pin 1 is a node's first input, 2 its second, 0 its output.
constinit const PCCONNECTION_DESCRIPTOR kConnections[] = {
    {PCFILTER_NODE, kWaveOutSourcePin, kWaveVolumeNode, 1},
    {kWaveVolumeNode, 0, kWaveMuteNode, 1},
    {kWaveMuteNode, 0, kSumNode, 1},
    {PCFILTER_NODE, kSynthesizerPin, kSynthesizerVolumeNode, 1},
    {kSynthesizerVolumeNode, 0, kSynthesizerMuteNode, 1},
    {kSynthesizerMuteNode, 0, kSumNode, 2},
    {PCFILTER_NODE, kSynthesizerCapturePin, kSynthesizerCaptureVolumeNode, 1},
    {kSynthesizerCaptureVolumeNode, 0, kRecordingSourceNode, 2},
    {PCFILTER_NODE, kMicrophonePin, kMicrophoneVolumeNode, 1},
    {kMicrophoneVolumeNode, 0, kRecordingSourceNode, 1},
    {kSumNode, 0, kSpecificFlagNode, 1},
    {kSpecificFlagNode, 0, kSpecificIntNode, 1},
    {kSpecificIntNode, 0, kSpecificUintNode, 1},
    {kSpecificUintNode, 0, kMasterVolumeNode, 1},
    {kMasterVolumeNode, 0, PCFILTER_NODE, kLineOutPin},
    {kRecordingSourceNode, 0, PCFILTER_NODE, kWaveInDestinationPin},
};
static_assert(sizeof kConnections / sizeof kConnections[0] == 16);

}  // namespace

constinit const PCFILTER_DESCRIPTOR kTopologyFilterDescriptor = {
    0,
    &kFilterAutomation,
    sizeof(PCPIN_DESCRIPTOR),
    kTopologyPinCount,
    kPins,
    sizeof(PCNODE_DESCRIPTOR),
    kTopologyNodeCount,
    kNodes,
    sizeof kConnections / sizeof kConnections[0],
    kConnections,
    0,
    nullptr,
};
