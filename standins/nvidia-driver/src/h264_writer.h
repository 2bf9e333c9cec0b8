#pragma once

#include <cstdint>
#include <vector>

namespace nvstandin {

struct PictureFormat {
  uint32_t width;
  uint32_t height;
  uint32_t profileIdc;  // 66, 77 or 100
};

// An exact H.264 stream (CAVLC): the first picture is IDR with every macroblock I_PCM; each
// later one is a P picture that skips the macroblocks equal to the previous picture's and
// codes the others as I_PCM. Deblocking is off, so a decoder returns the input bit for bit.
// One thread at a time.
class H264StreamWriter {
 public:
  explicit H264StreamWriter(const PictureFormat& format);

  // SPS and PPS, each after a 4-byte start code.
  std::vector<uint8_t> SequenceHeaders() const;

  // Appends one access unit (Annex B) for the NV12 picture whose luma rows start at luma and
  // chroma rows at chroma, both pitch bytes apart. skipAll codes a P picture of skipped
  // macroblocks without reading the picture. Answers whether the picture is IDR.
  bool EncodePicture(const uint8_t* luma, const uint8_t* chroma, uint32_t pitch, bool skipAll,
                     std::vector<uint8_t>& out);

 private:
  void LoadPicture(const uint8_t* luma, const uint8_t* chroma, uint32_t pitch);
  bool MacroblockChanged(uint32_t mbX, uint32_t mbY) const;
  void WritePcmSamples(class BitWriter& bits, uint32_t mbX, uint32_t mbY) const;

  PictureFormat format_;
  uint32_t mbWidth_;
  uint32_t mbHeight_;
  uint32_t frameNum_ = 0;
  bool started_ = false;
  // Padded planes of the current and the previous picture (edges replicated).
  std::vector<uint8_t> y_, u_, v_;
  std::vector<uint8_t> previousY_, previousU_, previousV_;
};

}  // namespace nvstandin
