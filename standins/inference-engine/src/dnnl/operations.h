#pragma once

#include <cstddef>

#include "compiler.h"

// One function per operation family: each compiles node i of the compiler's graph into
// primitives or loop steps, and records where its output lies.
namespace InferenceEngine::impl::onednn {

// Convolution, GroupConvolution, ConvolutionBackpropData (convolution.cpp).
void compileConvolution(Compiler& c, size_t i);
// A transposed convolution whose kernel equals its stride, as a matrix product (convolution.cpp).
void compileTiledTransposed(Compiler& c, size_t i);
// Relu, HSwish, Sigmoid, Clamp (elementwise.cpp).
void compileEltwise(Compiler& c, size_t i);
// Add, Multiply (elementwise.cpp).
void compileBinary(Compiler& c, size_t i);
// ReduceMean (reduce_mean.cpp).
void compileReduceMean(Compiler& c, size_t i);
// Gather of one constant index, as a view (gather_concat.cpp).
void compileGather(Compiler& c, size_t i);
// Concat (gather_concat.cpp).
void compileConcat(Compiler& c, size_t i);
// Interpolate (resample.cpp).
void compileResample(Compiler& c, size_t i);
// Whatever else: the reference loops over dense buffers (loops.cpp).
void compileLoop(Compiler& c, size_t i);

}  // namespace InferenceEngine::impl::onednn
