#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "ir_builder.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

}  // namespace

void* operator new(size_t size) {
    if (counting)
        ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

using ietest::IrBuilder;
using ietest::Out;

// Only operations that run as the stand-in's own loops: oneDNN's execute keeps small
// bookkeeping allocations of its own, which no caller can avoid.
TEST(InferAllocation, TheStandInsOwnStepsAllocateNothingAfterTheFirstInfer) {
    IrBuilder ir;
    const Out in = ir.parameter("in", {1, 2, 3, 4});
    const Out sizes = ir.constant("sizes", {2}, {6, 8}, "i64");
    const Out scales = ir.constant("scales", {2}, {2, 2});
    const Out axes = ir.constant("axes", {2}, {2, 3}, "i64");
    const Out up = ir.op("Interpolate", "up", {in, sizes, scales, axes}, {1, 2, 6, 8},
                         {{"mode", "linear_onnx"}, {"shape_calculation_mode", "sizes"}}, "opset4");
    const Out axis = ir.constant("axis", {}, {1}, "i64");
    const std::vector<Out> halves = ir.layer("Split", "halves", {{"num_splits", "2"}}, {up, axis}, {{1, 1, 6, 8}, {1, 1, 6, 8}});
    const Out joined = ir.op("Concat", "joined", {halves[1], halves[0]}, {1, 2, 6, 8}, {{"axis", "1"}});
    const Out picked = ir.op("Gather", "picked", {joined, ir.constant("index", {1}, {1}, "i32"), axis}, {1, 1, 6, 8});
    ir.result(ir.op("Convert", "converted", {picked}, {1, 1, 6, 8}, {{"destination_type", "f32"}}));

    InferenceEngine::Core core;
    InferenceEngine::InferRequest request =
        core.LoadNetwork(core.ReadNetwork(ir.xml(), ir.weightsBlob()), "CPU").CreateInferRequest();
    request.Infer();
    counting = true;
    request.Infer();
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
}

}  // namespace
