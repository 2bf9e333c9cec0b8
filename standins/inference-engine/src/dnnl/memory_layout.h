#pragma once

#include <cstddef>

#include <oneapi/dnnl/dnnl.hpp>

#include "graph.h"

// Memory descriptions of the network's f32 tensors, and the layout questions the compiler
// asks of them.
namespace InferenceEngine::impl::onednn {

using memory = dnnl::memory;
using Tag = memory::format_tag;

// The shape as oneDNN dims, with leading unit axes up to `rank`.
memory::dims toDims(const Shape& shape, size_t rank = 0);
// Dense row-major f32.
memory::desc plainDesc(const Shape& shape, size_t rank = 0);
// Whether elements lie in the order of strides alone, without blocks or padding.
bool unblocked(const memory::desc& d);
// Whether a buffer of this description holds its elements and nothing else.
bool compact(const memory::desc& d);
// Whether both put every element at the same place; strides of unit axes do not count.
bool sameLayout(const memory::desc& a, const memory::desc& b);
memory::dims stridesOf(const memory::desc& d);
memory::desc strided(const memory::dims& dims, const memory::dims& strides, memory::dim offset = 0);
// Dense, with the axes in the order of like's strides where like is unblocked, else row-major.
memory::desc denseLike(const memory::dims& dims, const memory::desc& like);
// Let the primitive choose.
memory::desc anyDesc(const memory::dims& dims);
// Primitives take their scratchpad from the request, so that Infer allocates nothing.
dnnl::primitive_attr userScratchpad(const dnnl::post_ops& ops = {});

}  // namespace InferenceEngine::impl::onednn
