#include "h264_writer.h"

#include <algorithm>
#include <cstring>

namespace nvstandin {

// Bits most significant first, into an RBSP.
class BitWriter {
 public:
  void Bits(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) Bit((value >> i) & 1);
  }
  void Bit(uint32_t bit) {
    current_ = static_cast<uint8_t>((current_ << 1) | bit);
    if (++filled_ == 8) {
      bytes_.push_back(current_);
      current_ = 0;
      filled_ = 0;
    }
  }
  void Ue(uint32_t value) {
    const uint64_t coded = uint64_t{value} + 1;
    int length = 0;
    while ((coded >> length) > 1) ++length;
    Bits(0, length);
    for (int i = length; i >= 0; --i) Bit(static_cast<uint32_t>((coded >> i) & 1));
  }
  void Se(int32_t value) {
    Ue(value > 0 ? static_cast<uint32_t>(2 * value - 1) : static_cast<uint32_t>(-2 * value));
  }
  void AlignWithZeros() {
    while (filled_ != 0) Bit(0);
  }
  void AlignedBytes(const uint8_t* data, size_t count) { bytes_.insert(bytes_.end(), data, data + count); }
  void TrailingBits() {
    Bit(1);
    AlignWithZeros();
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  void Reserve(size_t bytes) { bytes_.reserve(bytes); }

 private:
  std::vector<uint8_t> bytes_;
  uint8_t current_ = 0;
  int filled_ = 0;
};

namespace {

enum NalType : uint8_t { kSliceNonIdr = 1, kSliceIdr = 5, kSps = 7, kPps = 8 };

// Start code, header, then the RBSP with emulation prevention bytes.
void AppendNal(std::vector<uint8_t>& out, uint8_t refIdc, NalType type, const BitWriter& rbsp) {
  const std::vector<uint8_t>& bytes = rbsp.Bytes();
  out.reserve(out.size() + bytes.size() + bytes.size() / 64 + 8);
  const uint8_t header[5] = {0, 0, 0, 1, static_cast<uint8_t>((refIdc << 5) | type)};
  out.insert(out.end(), header, header + 5);
  int zeros = 0;
  for (uint8_t byte : bytes) {
    if (zeros == 2 && byte <= 3) {
      out.push_back(3);
      zeros = 0;
    }
    out.push_back(byte);
    zeros = byte == 0 ? zeros + 1 : 0;
  }
}

uint32_t LevelFor(uint32_t macroblocks) {
  if (macroblocks <= 1620) return 31;
  if (macroblocks <= 8192) return 41;
  if (macroblocks <= 22080) return 51;
  return 52;
}

constexpr uint32_t kLog2MaxFrameNum = 4;
constexpr uint32_t kMbTypeIPcm = 25;          // in I slices
constexpr uint32_t kMbTypeIPcmInP = 5 + 25;   // P slices number intra types after the 5 inter ones

}  // namespace

H264StreamWriter::H264StreamWriter(const PictureFormat& format)
    : format_(format), mbWidth_((format.width + 15) / 16), mbHeight_((format.height + 15) / 16) {
  y_.resize(size_t{mbWidth_} * 16 * mbHeight_ * 16);
  u_.resize(size_t{mbWidth_} * 8 * mbHeight_ * 8);
  v_.resize(u_.size());
}

std::vector<uint8_t> H264StreamWriter::SequenceHeaders() const {
  std::vector<uint8_t> out;
  BitWriter sps;
  sps.Bits(format_.profileIdc, 8);
  sps.Bits(format_.profileIdc == 66 ? 0xC0 : format_.profileIdc == 77 ? 0x40 : 0x00, 8);
  sps.Bits(LevelFor(mbWidth_ * mbHeight_), 8);
  sps.Ue(0);  // seq_parameter_set_id
  if (format_.profileIdc == 100) {
    sps.Ue(1);  // chroma_format_idc 4:2:0
    sps.Ue(0);  // bit_depth_luma_minus8
    sps.Ue(0);  // bit_depth_chroma_minus8
    sps.Bit(0);  // qpprime_y_zero_transform_bypass_flag
    sps.Bit(0);  // seq_scaling_matrix_present_flag
  }
  sps.Ue(kLog2MaxFrameNum - 4);
  sps.Ue(2);  // pic_order_cnt_type: output order is decoding order
  sps.Ue(1);  // max_num_ref_frames
  sps.Bit(0);  // gaps_in_frame_num_value_allowed_flag
  sps.Ue(mbWidth_ - 1);
  sps.Ue(mbHeight_ - 1);
  sps.Bit(1);  // frame_mbs_only_flag
  sps.Bit(1);  // direct_8x8_inference_flag
  const uint32_t cropRight = (mbWidth_ * 16 - format_.width) / 2;
  const uint32_t cropBottom = (mbHeight_ * 16 - format_.height) / 2;
  if (cropRight != 0 || cropBottom != 0) {
    sps.Bit(1);
    sps.Ue(0);
    sps.Ue(cropRight);
    sps.Ue(0);
    sps.Ue(cropBottom);
  } else {
    sps.Bit(0);
  }
  sps.Bit(0);  // vui_parameters_present_flag
  sps.TrailingBits();
  AppendNal(out, 3, kSps, sps);

  BitWriter pps;
  pps.Ue(0);  // pic_parameter_set_id
  pps.Ue(0);  // seq_parameter_set_id
  pps.Bit(0);  // entropy_coding_mode_flag: CAVLC
  pps.Bit(0);  // bottom_field_pic_order_in_frame_present_flag
  pps.Ue(0);  // num_slice_groups_minus1
  pps.Ue(0);  // num_ref_idx_l0_default_active_minus1
  pps.Ue(0);  // num_ref_idx_l1_default_active_minus1
  pps.Bit(0);  // weighted_pred_flag
  pps.Bits(0, 2);  // weighted_bipred_idc
  pps.Se(0);  // pic_init_qp_minus26
  pps.Se(0);  // pic_init_qs_minus26
  pps.Se(0);  // chroma_qp_index_offset
  pps.Bit(1);  // deblocking_filter_control_present_flag
  pps.Bit(0);  // constrained_intra_pred_flag
  pps.Bit(0);  // redundant_pic_cnt_present_flag
  pps.TrailingBits();
  AppendNal(out, 3, kPps, pps);
  return out;
}

void H264StreamWriter::LoadPicture(const uint8_t* luma, const uint8_t* chroma, uint32_t pitch) {
  const uint32_t paddedWidth = mbWidth_ * 16;
  const uint32_t paddedHeight = mbHeight_ * 16;
  for (uint32_t row = 0; row < paddedHeight; ++row) {
    const uint8_t* source = luma + size_t{std::min(row, format_.height - 1)} * pitch;
    uint8_t* destination = y_.data() + size_t{row} * paddedWidth;
    std::memcpy(destination, source, format_.width);
    std::memset(destination + format_.width, source[format_.width - 1], paddedWidth - format_.width);
  }
  const uint32_t chromaWidth = std::max<uint32_t>(format_.width / 2, 1);
  const uint32_t chromaHeight = std::max<uint32_t>(format_.height / 2, 1);
  const uint32_t paddedChromaWidth = paddedWidth / 2;
  for (uint32_t row = 0; row < paddedHeight / 2; ++row) {
    const uint8_t* source = chroma + size_t{std::min(row, chromaHeight - 1)} * pitch;
    uint8_t* u = u_.data() + size_t{row} * paddedChromaWidth;
    uint8_t* v = v_.data() + size_t{row} * paddedChromaWidth;
    for (uint32_t x = 0; x < paddedChromaWidth; ++x) {
      const uint32_t sx = std::min(x, chromaWidth - 1);
      u[x] = source[2 * sx];
      v[x] = source[2 * sx + 1];
    }
  }
}

bool H264StreamWriter::MacroblockChanged(uint32_t mbX, uint32_t mbY) const {
  const size_t lumaStride = size_t{mbWidth_} * 16;
  for (uint32_t row = 0; row < 16; ++row) {
    const size_t at = (size_t{mbY} * 16 + row) * lumaStride + mbX * 16;
    if (std::memcmp(&y_[at], &previousY_[at], 16) != 0) return true;
  }
  const size_t chromaStride = size_t{mbWidth_} * 8;
  for (uint32_t row = 0; row < 8; ++row) {
    const size_t at = (size_t{mbY} * 8 + row) * chromaStride + mbX * 8;
    if (std::memcmp(&u_[at], &previousU_[at], 8) != 0) return true;
    if (std::memcmp(&v_[at], &previousV_[at], 8) != 0) return true;
  }
  return false;
}

void H264StreamWriter::WritePcmSamples(BitWriter& bits, uint32_t mbX, uint32_t mbY) const {
  bits.AlignWithZeros();  // pcm_alignment_zero_bit
  const size_t lumaStride = size_t{mbWidth_} * 16;
  for (uint32_t row = 0; row < 16; ++row) {
    bits.AlignedBytes(&y_[(size_t{mbY} * 16 + row) * lumaStride + mbX * 16], 16);
  }
  const size_t chromaStride = size_t{mbWidth_} * 8;
  for (const std::vector<uint8_t>* plane : {&u_, &v_}) {
    for (uint32_t row = 0; row < 8; ++row) {
      bits.AlignedBytes(&(*plane)[(size_t{mbY} * 8 + row) * chromaStride + mbX * 8], 8);
    }
  }
}

bool H264StreamWriter::EncodePicture(const uint8_t* luma, const uint8_t* chroma, uint32_t pitch,
                                     bool skipAll, std::vector<uint8_t>& out) {
  const bool idr = !started_;
  if (idr || !skipAll) LoadPicture(luma, chroma, pitch);
  if (idr) {
    const std::vector<uint8_t> headers = SequenceHeaders();
    out.insert(out.end(), headers.begin(), headers.end());
    frameNum_ = 0;
  } else {
    frameNum_ = (frameNum_ + 1) % (1u << kLog2MaxFrameNum);
  }

  BitWriter slice;
  if (!skipAll || idr) slice.Reserve(y_.size() + 2 * u_.size() + mbWidth_ * mbHeight_ * 4 + 64);
  slice.Ue(0);  // first_mb_in_slice
  slice.Ue(idr ? 7 : 5);  // slice_type: I or P, every slice of the picture alike
  slice.Ue(0);  // pic_parameter_set_id
  slice.Bits(frameNum_, kLog2MaxFrameNum);
  if (idr) {
    slice.Ue(0);  // idr_pic_id
  } else {
    slice.Bit(0);  // num_ref_idx_active_override_flag
    slice.Bit(0);  // ref_pic_list_modification_flag_l0
  }
  if (idr) {
    slice.Bit(0);  // no_output_of_prior_pics_flag
    slice.Bit(0);  // long_term_reference_flag
  } else {
    slice.Bit(0);  // adaptive_ref_pic_marking_mode_flag: sliding window
  }
  slice.Se(0);  // slice_qp_delta
  slice.Ue(1);  // disable_deblocking_filter_idc: off, so skipped blocks stay exact

  uint32_t skipRun = 0;
  for (uint32_t mbY = 0; mbY < mbHeight_; ++mbY) {
    for (uint32_t mbX = 0; mbX < mbWidth_; ++mbX) {
      if (idr) {
        slice.Ue(kMbTypeIPcm);
        WritePcmSamples(slice, mbX, mbY);
        continue;
      }
      if (skipAll || !MacroblockChanged(mbX, mbY)) {
        ++skipRun;
        continue;
      }
      slice.Ue(skipRun);
      skipRun = 0;
      slice.Ue(kMbTypeIPcmInP);
      WritePcmSamples(slice, mbX, mbY);
    }
  }
  if (skipRun != 0) slice.Ue(skipRun);
  slice.TrailingBits();
  AppendNal(out, idr ? 3 : 2, idr ? kSliceIdr : kSliceNonIdr, slice);

  if (idr || !skipAll) {
    // The next LoadPicture rewrites every byte of the current planes.
    previousY_.swap(y_);
    previousU_.swap(u_);
    previousV_.swap(v_);
    y_.resize(previousY_.size());
    u_.resize(previousU_.size());
    v_.resize(previousV_.size());
  }
  started_ = true;
  return idr;
}

}  // namespace nvstandin
