#include "memory_layout.h"

#include <algorithm>

#include "errors.h"

namespace InferenceEngine::impl::onednn {

memory::dims toDims(const Shape& shape, size_t rank) {
  memory::dims dims(std::max<size_t>(1, std::max(rank, shape.size())) - shape.size(), 1);
  dims.insert(dims.end(), shape.begin(), shape.end());
  return dims;
}

memory::desc plainDesc(const Shape& shape, size_t rank) {
  static const Tag tags[] = {Tag::a, Tag::ab, Tag::abc, Tag::abcd, Tag::abcde, Tag::abcdef};
  const memory::dims dims = toDims(shape, rank);
  if (dims.size() > 6) fail("tensors of rank above 6 are not supported", NOT_IMPLEMENTED);
  return memory::desc(dims, memory::data_type::f32, tags[dims.size() - 1]);
}

bool unblocked(const memory::desc& d) {
  const dnnl_memory_desc_t& m = d.data;
  if (m.format_kind != dnnl_blocked || m.format_desc.blocking.inner_nblks != 0) return false;
  for (int k = 0; k < m.ndims; ++k)
    if (m.padded_dims[k] != m.dims[k] || m.padded_offsets[k] != 0) return false;
  return true;
}

bool compact(const memory::desc& d) {
  size_t count = 1;
  for (const memory::dim x : d.dims()) count *= size_t(x);
  return d.data.offset0 == 0 && d.get_size() == count * sizeof(float);
}

bool sameLayout(const memory::desc& a, const memory::desc& b) {
  if (a == b) return true;
  if (a.dims() != b.dims() || a.data_type() != b.data_type() || !unblocked(a) || !unblocked(b) ||
      a.data.offset0 != b.data.offset0)
    return false;
  for (int k = 0; k < a.data.ndims; ++k)
    if (a.data.dims[k] != 1 &&
        a.data.format_desc.blocking.strides[k] != b.data.format_desc.blocking.strides[k])
      return false;
  return true;
}

memory::dims stridesOf(const memory::desc& d) {
  const auto& s = d.data.format_desc.blocking.strides;
  return memory::dims(s, s + d.data.ndims);
}

memory::desc strided(const memory::dims& dims, const memory::dims& strides, memory::dim offset) {
  memory::desc d(dims, memory::data_type::f32, strides);
  d.data.offset0 = offset;
  return d;
}

memory::desc denseLike(const memory::dims& dims, const memory::desc& like) {
  std::vector<size_t> order(dims.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  if (unblocked(like) && like.dims().size() == dims.size()) {
    const auto& s = like.data.format_desc.blocking.strides;
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return s[x] > s[y]; });
  }
  memory::dims strides(dims.size());
  memory::dim step = 1;
  for (size_t k = order.size(); k-- > 0;) {
    strides[order[k]] = step;
    step *= dims[order[k]];
  }
  return memory::desc(dims, memory::data_type::f32, strides);
}

memory::desc anyDesc(const memory::dims& dims) {
  return memory::desc(dims, memory::data_type::f32, Tag::any);
}

dnnl::primitive_attr userScratchpad(const dnnl::post_ops& ops) {
  dnnl::primitive_attr attr;
  attr.set_scratchpad_mode(dnnl::scratchpad_mode::user);
  attr.set_post_ops(ops);
  return attr;
}

}  // namespace InferenceEngine::impl::onednn
