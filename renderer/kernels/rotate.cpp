#include "rotate.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "convert.h"
#include "transpose.h"

namespace pixora::kernels {
namespace {

using transpose::Transpose16;
using transpose::Transpose24;
using transpose::Transpose32;
using transpose::Transpose8;

using TransposeFn = void (*)(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int);

// Top-down rows: destination row c is source column c read from the bottom row up.
void TurnTopDown(TransposeFn transpose, const uint8_t* src, ptrdiff_t srcStep, int width,
                 int rows, uint8_t* dst, ptrdiff_t dstStep) {
  transpose(src + (rows - 1) * srcStep, -srcStep, dst, dstStep, width, rows);
}

// Bottom-up rows: destination row W-1-c is source column c read in memory order.
void TurnBottomUp(TransposeFn transpose, const uint8_t* src, ptrdiff_t srcStep, int width,
                  int rows, uint8_t* dst, ptrdiff_t dstStep) {
  transpose(src, srcStep, dst + (width - 1) * dstStep, -dstStep, width, rows);
}

void TurnRgb(TransposeFn transpose, const uint8_t* src, int32_t width, int32_t height,
             int32_t srcStep, uint8_t* dst, int32_t dstStep) {
  if (height > 0) {
    TurnBottomUp(transpose, src, srcStep, width, height, dst, dstStep);
  } else {
    TurnTopDown(transpose, src, srcStep, width, -height, dst, dstStep);
  }
}

RotateResult TurnYuy2(const uint8_t* src, int32_t width, int32_t height, int32_t srcStep,
                      uint8_t* dst, RotateScratch& scratch) {
  const auto firstStep = static_cast<int32_t>(Rgb24RowStep(width));
  const auto secondStep = static_cast<int32_t>(Rgb24RowStep(height));
  if (!scratch.Reserve(static_cast<size_t>(firstStep) * height,
                       static_cast<size_t>(secondStep) * width)) {
    return RotateResult::OutOfMemory;
  }
  ConvertYuy2ToBgr24(src, srcStep, scratch.First(), firstStep, {width, height});
  TurnTopDown(Transpose24, scratch.First(), firstStep, width, height, scratch.Second(),
              secondStep);
  ConvertBgr24ToYuy2(scratch.Second(), secondStep, dst, 2 * height, {height, width});
  return RotateResult::Turned;
}

// NV12 is read as a packed frame whatever row step it carries.
void TurnNv12(const uint8_t* src, int32_t width, int32_t height, uint8_t* dst) {
  const ptrdiff_t lumaBytes = static_cast<ptrdiff_t>(width) * height;
  TurnTopDown(Transpose8, src, width, width, height, dst, height);
  TurnTopDown(Transpose16, src + lumaBytes, width, width / 2, height / 2, dst + lumaBytes,
              height);
}

}  // namespace

FrameGeometry RotatedGeometry(PixelType type, int32_t width, int32_t height) {
  if (width < 1 || height == 0) return {0, 0, 0};
  const int64_t rows = height < 0 ? -int64_t{height} : height;
  const int32_t newHeight = height < 0 ? -width : width;
  int64_t rowStep = 0;
  switch (type) {
    case PixelType::RGB24: rowStep = Rgb24RowStep(rows); break;
    case PixelType::RGB32: rowStep = 4 * rows; break;
    case PixelType::YUY2: rowStep = 2 * rows; break;
    case PixelType::NV12: rowStep = rows; break;
  }
  // A turned row that no 32-bit step can describe makes no frame either.
  if (rowStep == 0 || rowStep > INT32_MAX) return {0, 0, 0};
  return {static_cast<int32_t>(rows), newHeight, static_cast<int32_t>(rowStep)};
}

bool RotateScratch::Reserve(size_t firstBytes, size_t secondBytes) {
  auto grow = [](std::unique_ptr<uint8_t[]>& buffer, size_t& held, size_t wanted) {
    if (wanted <= held) return true;
    std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[wanted]);
    if (!bigger) return false;
    buffer = std::move(bigger);
    held = wanted;
    return true;
  };
  return grow(first_, firstBytes_, firstBytes) && grow(second_, secondBytes_, secondBytes);
}

RotatedFrame RotateFrame90(PixelType type, const uint8_t* src, int32_t width, int32_t height,
                           int32_t srcStep, uint8_t* dst, RotateScratch& scratch) {
  const FrameGeometry geometry = RotatedGeometry(type, width, height);
  const bool yuv = type == PixelType::YUY2 || type == PixelType::NV12;
  if (geometry.rowStep == 0 && geometry.width == 0 && geometry.height == 0) {
    return {geometry, RotateResult::NothingToTurn};
  }
  if (height == 0 || width <= 0 || (yuv && height < 0)) {
    return {geometry, RotateResult::NothingToTurn};
  }
  switch (type) {
    case PixelType::RGB24:
      TurnRgb(Transpose24, src, width, height, srcStep, dst, geometry.rowStep);
      break;
    case PixelType::RGB32:
      TurnRgb(Transpose32, src, width, height, srcStep, dst, geometry.rowStep);
      break;
    case PixelType::YUY2:
      return {geometry, TurnYuy2(src, width, height, srcStep, dst, scratch)};
    case PixelType::NV12:
      TurnNv12(src, width, height, dst);
      break;
  }
  return {geometry, RotateResult::Turned};
}

void FlipRows(const uint8_t* src, int32_t rows, int32_t rowStep, uint8_t* dst) {
  if (rows <= 0) return;
  const size_t step = static_cast<size_t>(rowStep);
  for (int32_t k = 0; k < rows; ++k) {
    std::memcpy(dst + (rows - 1 - k) * step, src + k * step, step);
  }
}

}  // namespace pixora::kernels
