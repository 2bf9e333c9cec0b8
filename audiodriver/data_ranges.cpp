#include "data_ranges.h"

constinit const KSDATARANGE kAnalogBridgeRange = {
    sizeof(KSDATARANGE), 0, 0, 0, KSDATAFORMAT_TYPE_AUDIO, KSDATAFORMAT_SUBTYPE_ANALOG, KSDATAFORMAT_SPECIFIER_NONE};

constinit const KSDATARANGE* const kAnalogBridgeRanges[1] = {&kAnalogBridgeRange};
