#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tflite_model.h"

namespace vextra::model {

struct IrNetwork {
    std::string xml;
    std::vector<uint8_t> weights;
};

// How the network mixes the previous mask m (input channel 3, scaled to 0..1) into the model's
// new probability p: out = m + w (p - m), w = kNewWeightFloor + (1 - kNewWeightFloor) (2p - 1)^2.
// A confident pixel (p near 0 or 1) takes p at once; an uncertain one (p near 0.5) moves at
// least halfway per frame, so a still scene settles and edges stop flickering.
constexpr float kNewWeightFloor = 0.5f;

// Converts the single-input, single-output segmentation model to an IR version 10 network with
// input (1, H, W, 4) u8 (bytes B, G, R, previous mask) and output (1, 1, H, W) f32 in 0..1.
IrNetwork convert(const TfliteModel& model);

float halfToFloat(uint16_t h);

}  // namespace vextra::model
