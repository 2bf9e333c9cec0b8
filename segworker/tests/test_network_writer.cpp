#include <fstream>
#include <iostream>
#include <string>

#include "ir_writer.h"

// Small networks of the worker's input and output form, for worker builds that test how the
// worker meets networks other than the shipped one.
namespace {

using vextra::model::Dims;
using vextra::model::IrWriter;
using vextra::model::Port;

// Output = frame byte 0 / 255, as (1, 1, h, w).
Port firstByte(IrWriter& ir, int64_t h, int64_t w, const std::string& inputName = "input") {
  const Port input = ir.parameter(inputName, {1, h, w, 4}, "u8");
  const Port real = ir.op("Convert", "real", {input}, {1, h, w, 4}, {{"destination_type", "f32"}});
  const Port planar = ir.op("Gather", "planar",
                            {real, ir.constantI64("planar/index", {1, 1}, {0}), ir.constantI64("planar/axis", {}, {0})},
                            {1, 1, h, w, 4});
  const Port channel = ir.op("Gather", "byte0",
                             {planar, ir.constantI64("byte0/index", {}, {0}), ir.constantI64("byte0/axis", {}, {4})},
                             {1, 1, h, w});
  return ir.op("Multiply", "scaled", {channel, ir.constant("scale", {1, 1, 1, 1}, {1.0f / 255.0f})}, {1, 1, h, w});
}

Port resized(IrWriter& ir, const Port& in, int64_t oh, int64_t ow) {
  return ir.op("Interpolate", "resized",
               {in, ir.constantI64("resized/sizes", {2}, {oh, ow}),
                ir.constant("resized/scales", {2}, {float(oh) / float(in.dims[2]), float(ow) / float(in.dims[3])}),
                ir.constantI64("resized/axes", {2}, {2, 3})},
               {1, 1, oh, ow},
               {{"mode", "linear"},
                {"shape_calculation_mode", "sizes"},
                {"coordinate_transformation_mode", "half_pixel"},
                {"nearest_mode", "round_prefer_floor"},
                {"antialias", "false"},
                {"pads_begin", "0,0,0,0"},
                {"pads_end", "0,0,0,0"},
                {"cube_coeff", "-0.75"}},
               "opset4");
}

// Two inputs, the one that comes second by name declared first: "b_hint" (1, 1, 1, 1), which
// adds 0 × itself, and "a_frame" (1, 144, 256, 4), whose byte 0 is the mask.
Port twoInputs(IrWriter& ir) {
  const Port hint = ir.parameter("b_hint", {1, 1, 1, 1}, "u8");
  const Port real = ir.op("Convert", "hint_real", {hint}, {1, 1, 1, 1}, {{"destination_type", "f32"}});
  const Port none = ir.op("Multiply", "hint_none", {real, ir.constant("zero", {1, 1, 1, 1}, {0.0f})}, {1, 1, 1, 1});
  return ir.op("Add", "mask", {firstByte(ir, 144, 256, "a_frame"), none}, {1, 1, 144, 256});
}

}  // namespace

// test-network-writer KIND OUT.xml OUT.bin, KIND one of:
//   first-byte   (1, 144, 256, 4) -> (1, 1, 144, 256), the mask is frame byte 0
//   transposed   (1, 144, 256, 4) -> (1, 1, 256, 144)
//   oversized    (1, 288, 512, 4) -> (1, 1, 288, 512)
//   two-inputs   "a_frame" (1, 144, 256, 4) and "b_hint" (1, 1, 1, 1) -> (1, 1, 144, 256)
int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: test-network-writer first-byte|transposed|oversized|two-inputs OUT.xml OUT.bin\n";
    return 2;
  }
  const std::string kind = argv[1];
  IrWriter ir;
  if (kind == "first-byte") {
    ir.result(firstByte(ir, 144, 256), "mask");
  } else if (kind == "transposed") {
    ir.result(resized(ir, firstByte(ir, 144, 256), 256, 144), "mask");
  } else if (kind == "oversized") {
    ir.result(firstByte(ir, 288, 512), "mask");
  } else if (kind == "two-inputs") {
    ir.result(twoInputs(ir), "result");
  } else {
    std::cerr << "test-network-writer: unknown kind " << kind << '\n';
    return 2;
  }
  std::ofstream(argv[2], std::ios::binary) << ir.xml();
  std::ofstream bin(argv[3], std::ios::binary);
  bin.write(reinterpret_cast<const char*>(ir.weights().data()), std::streamsize(ir.weights().size()));
  return bin ? 0 : 1;
}
