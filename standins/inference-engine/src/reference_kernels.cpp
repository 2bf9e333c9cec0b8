#include "reference_kernels.h"

#include <algorithm>
#include <cmath>

#include "element_types.h"
#include "errors.h"

namespace InferenceEngine::impl {

namespace {

size_t product(const Shape& s, size_t begin, size_t end) {
  size_t p = 1;
  for (size_t i = begin; i < end; ++i) p *= s[i];
  return p;
}

}  // namespace

void arithmetic(Arithmetic op, View a, View b, const Shape& so, std::span<float> out) {
  const auto f = [op](float x, float y) { return op == Arithmetic::add ? x + y : x * y; };
  const size_t rank = so.size();
  // Per output axis, the step in each input; 0 where that input is broadcast.
  const auto steps = [&](const Shape& s) {
    std::vector<size_t> step(rank, 0);
    size_t stride = 1;
    for (size_t i = 0; i < s.size(); ++i) {
      const size_t dim = s[s.size() - 1 - i];
      step[rank - 1 - i] = dim == 1 ? 0 : stride;
      stride *= dim;
    }
    return step;
  };
  const std::vector<size_t> stepA = steps(a.shape), stepB = steps(b.shape);
  std::vector<size_t> index(rank, 0);
  size_t ia = 0, ib = 0;
  for (size_t o = 0; o < out.size(); ++o) {
    out[o] = f(a.data[ia], b.data[ib]);
    for (size_t axis = rank; axis-- > 0;) {
      ++index[axis];
      ia += stepA[axis];
      ib += stepB[axis];
      if (index[axis] < so[axis]) break;
      ia -= stepA[axis] * index[axis];
      ib -= stepB[axis] * index[axis];
      index[axis] = 0;
    }
  }
}

// Weights as (groups * outPerGroup, inPerGroup, kh, kw), which both convolution forms share.
void convolution(View in, View w, const Shape& so, std::span<float> out, const ConvAttrs& a) {
  const size_t groups = a.groups;
  const size_t cin = in.shape[1] / groups, cout = so[1] / groups;
  const size_t kh = w.shape[w.shape.size() - 2], kw = w.shape[w.shape.size() - 1];
  const size_t ih = in.shape[2], iw = in.shape[3], oh = so[2], ow = so[3];
  for (size_t n = 0; n < so[0]; ++n)
    for (size_t g = 0; g < groups; ++g)
      for (size_t oc = 0; oc < cout; ++oc) {
        const size_t o = g * cout + oc;
        for (size_t y = 0; y < oh; ++y)
          for (size_t x = 0; x < ow; ++x) {
            double sum = 0;
            for (size_t ic = 0; ic < cin; ++ic)
              for (size_t ky = 0; ky < kh; ++ky) {
                const ptrdiff_t iy =
                    ptrdiff_t(y * a.strides[0] + ky * a.dilations[0]) - ptrdiff_t(a.padBegin[0]);
                if (iy < 0 || iy >= ptrdiff_t(ih)) continue;
                for (size_t kx = 0; kx < kw; ++kx) {
                  const ptrdiff_t ix =
                      ptrdiff_t(x * a.strides[1] + kx * a.dilations[1]) - ptrdiff_t(a.padBegin[1]);
                  if (ix < 0 || ix >= ptrdiff_t(iw)) continue;
                  const size_t c = g * cin + ic;
                  sum +=
                      double(in.data[((n * in.shape[1] + c) * ih + size_t(iy)) * iw + size_t(ix)]) *
                      double(w.data[((o * cin + ic) * kh + ky) * kw + kx]);
                }
              }
            out[((n * so[1] + o) * oh + y) * ow + x] = float(sum);
          }
      }
}

// Weights as (in channels, out channels, kh, kw); each input pixel spreads over the output.
void backpropData(View in, View w, const Shape& so, std::span<float> out, const ConvAttrs& a) {
  const size_t cin = in.shape[1], cout = so[1], kh = w.shape[2], kw = w.shape[3];
  const size_t ih = in.shape[2], iw = in.shape[3], oh = so[2], ow = so[3];
  std::vector<double> sum(out.size(), 0.0);
  for (size_t n = 0; n < so[0]; ++n)
    for (size_t ic = 0; ic < cin; ++ic)
      for (size_t y = 0; y < ih; ++y)
        for (size_t x = 0; x < iw; ++x) {
          const double v = in.data[((n * cin + ic) * ih + y) * iw + x];
          for (size_t oc = 0; oc < cout; ++oc)
            for (size_t ky = 0; ky < kh; ++ky) {
              const ptrdiff_t oy =
                  ptrdiff_t(y * a.strides[0] + ky * a.dilations[0]) - ptrdiff_t(a.padBegin[0]);
              if (oy < 0 || oy >= ptrdiff_t(oh)) continue;
              for (size_t kx = 0; kx < kw; ++kx) {
                const ptrdiff_t ox =
                    ptrdiff_t(x * a.strides[1] + kx * a.dilations[1]) - ptrdiff_t(a.padBegin[1]);
                if (ox < 0 || ox >= ptrdiff_t(ow)) continue;
                sum[((n * cout + oc) * oh + size_t(oy)) * ow + size_t(ox)] +=
                    v * double(w.data[((ic * cout + oc) * kh + ky) * kw + kx]);
              }
            }
        }
  std::transform(sum.begin(), sum.end(), out.begin(), [](double s) { return float(s); });
}

void reduceMean(View in, std::span<float> out, const ReduceAttrs& a) {
  std::vector<double> sum(out.size(), 0.0);
  const size_t rank = in.shape.size();
  std::vector<size_t> index(rank, 0);
  size_t reducedCount = 1;
  for (size_t i = 0; i < rank; ++i)
    if (a.reduced[i]) reducedCount *= in.shape[i];
  for (size_t flat = 0; flat < in.data.size(); ++flat) {
    size_t o = 0;
    for (size_t i = 0; i < rank; ++i)
      if (!a.reduced[i]) o = o * in.shape[i] + index[i];
    sum[o] += in.data[flat];
    for (size_t axis = rank; axis-- > 0;) {
      if (++index[axis] < in.shape[axis]) break;
      index[axis] = 0;
    }
  }
  for (size_t o = 0; o < out.size(); ++o) out[o] = float(sum[o] / double(reducedCount));
}

namespace {

float sourceCoordinate(CoordinateMode mode, size_t x, float scale, size_t inSize, size_t outSize) {
  switch (mode) {
    case CoordinateMode::half_pixel: return (float(x) + 0.5f) / scale - 0.5f;
    case CoordinateMode::pytorch_half_pixel:
      return outSize > 1 ? (float(x) + 0.5f) / scale - 0.5f : 0.0f;
    case CoordinateMode::asymmetric: return float(x) / scale;
    case CoordinateMode::tf_half_pixel_for_nn: return (float(x) + 0.5f) / scale;
    case CoordinateMode::align_corners:
      return outSize == 1 ? 0.0f : float(x) * float(inSize - 1) / float(outSize - 1);
  }
  return 0;
}

// Linear interpolation is separable, so resizing one axis at a time gives the N-d result.
void resizeAxis(size_t outer, size_t inSize, size_t inner, std::span<const float> in,
                size_t outSize, float scale, CoordinateMode mode, std::span<float> out) {
  for (size_t x = 0; x < outSize; ++x) {
    const float coordinate =
        std::clamp(sourceCoordinate(mode, x, scale, inSize, outSize), 0.0f, float(inSize - 1));
    const size_t i0 = std::min(size_t(coordinate), inSize - 1);
    const size_t i1 = std::min(i0 + 1, inSize - 1);
    const float t = coordinate - float(i0);
    for (size_t o = 0; o < outer; ++o)
      for (size_t i = 0; i < inner; ++i)
        out[(o * outSize + x) * inner + i] =
            in[(o * inSize + i0) * inner + i] * (1 - t) + in[(o * inSize + i1) * inner + i] * t;
  }
}

}  // namespace

size_t interpolateScratch(const Shape& si, const Shape& so) {
  Shape shape = si;
  size_t largest = 0;
  for (size_t axis = 0; axis < shape.size(); ++axis) {
    shape[axis] = so[axis];
    largest = std::max(largest, elementCount(shape));
  }
  return largest;
}

void interpolate(View in, const Shape& so, std::span<float> out, const InterpolateAttrs& a,
                 std::span<float> scratchA, std::span<float> scratchB) {
  // Axes before the current one already have their output size; no shape copies, so no allocation.
  std::span<const float> current = in.data;
  std::span<float> buffers[2] = {scratchA, scratchB};
  size_t which = 0;
  for (size_t axis = 0; axis < so.size(); ++axis) {
    if (in.shape[axis] == so[axis] && a.scales[axis] == 1.0f) continue;
    const size_t outer = product(so, 0, axis), inner = product(in.shape, axis + 1, so.size());
    const std::span<float> target = buffers[which].first(outer * so[axis] * inner);
    resizeAxis(outer, in.shape[axis], inner, current, so[axis], a.scales[axis], a.coordinates,
               target);
    current = target;
    which ^= 1;
  }
  std::copy(current.begin(), current.end(), out.begin());
}

void concat(std::span<const View> inputs, const Shape& so, std::span<float> out, size_t axis) {
  const size_t outer = product(so, 0, axis), inner = product(so, axis + 1, so.size());
  size_t offset = 0;
  for (const View& v : inputs) {
    const size_t chunk = v.shape[axis] * inner;
    for (size_t o = 0; o < outer; ++o)
      std::copy_n(v.data.begin() + ptrdiff_t(o * chunk), chunk,
                  out.begin() + ptrdiff_t(o * so[axis] * inner + offset));
    offset += chunk;
  }
}

void split(View in, std::span<const std::span<float>> outs, size_t axis) {
  const size_t outer = product(in.shape, 0, axis),
               inner = product(in.shape, axis + 1, in.shape.size());
  const size_t chunk = in.shape[axis] / outs.size() * inner;
  for (size_t p = 0; p < outs.size(); ++p)
    for (size_t o = 0; o < outer; ++o)
      std::copy_n(in.data.begin() + ptrdiff_t(o * in.shape[axis] * inner + p * chunk), chunk,
                  outs[p].begin() + ptrdiff_t(o * chunk));
}

void gather(View data, std::span<const float> indices, std::span<float> out, size_t axis,
            const std::string& name) {
  const size_t outer = product(data.shape, 0, axis),
               inner = product(data.shape, axis + 1, data.shape.size());
  const ptrdiff_t dim = ptrdiff_t(data.shape[axis]);
  for (size_t k = 0; k < indices.size(); ++k) {
    const float raw = indices[k];
    // Checked as a float first: converting an out-of-range float to an integer is undefined.
    if (!(raw >= -float(dim) && raw < float(dim)) || raw != std::trunc(raw))
      fail("Gather '" + name + "': index out of range", OUT_OF_BOUNDS);
    const ptrdiff_t index = ptrdiff_t(raw) < 0 ? ptrdiff_t(raw) + dim : ptrdiff_t(raw);
    for (size_t o = 0; o < outer; ++o)
      std::copy_n(data.data.begin() + ptrdiff_t((o * size_t(dim) + size_t(index)) * inner), inner,
                  out.begin() + ptrdiff_t((o * indices.size() + k) * inner));
  }
}

void convert(ElementType type, std::span<const float> in, std::span<float> out) {
  std::transform(in.begin(), in.end(), out.begin(), [type](float v) { return castTo(type, v); });
}

void activation(const Node& node, std::span<const float> in, std::span<float> out) {
  const auto apply = [&](auto f) { std::transform(in.begin(), in.end(), out.begin(), f); };
  switch (node.kind) {
    case OpKind::Relu: apply([](float v) { return v > 0 ? v : 0.0f; }); break;
    case OpKind::HSwish:
      apply([](float v) { return v * std::min(std::max(v + 3.0f, 0.0f), 6.0f) / 6.0f; });
      break;
    case OpKind::Sigmoid: apply([](float v) { return 1.0f / (1.0f + std::exp(-v)); }); break;
    case OpKind::Clamp: {
      const ClampAttrs a = std::get<ClampAttrs>(node.attrs);
      apply([a](float v) { return std::min(std::max(v, a.min), a.max); });
      break;
    }
    default: fail("not an activation: " + node.type);
  }
}

}  // namespace InferenceEngine::impl
