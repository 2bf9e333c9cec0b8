#include "mp4_writer.h"

#include <cstdio>
#include <initializer_list>

namespace gpucodec_test {
namespace {

class Box {
 public:
  explicit Box(const char* type) {
    U32(0);
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(type[i]));
  }
  Box& U8(uint32_t v) { bytes_.push_back(static_cast<uint8_t>(v)); return *this; }
  Box& U16(uint32_t v) { return U8(v >> 8).U8(v); }
  Box& U32(uint32_t v) { return U16(v >> 16).U16(v & 0xFFFF); }
  Box& Zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); return *this; }
  Box& Bytes(const std::vector<uint8_t>& b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); return *this; }
  Box& Child(const Box& child) { return Bytes(child.Done()); }
  Box& Matrix() {
    for (uint32_t v : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u}) U32(v);
    return *this;
  }
  std::vector<uint8_t> Done() const {
    std::vector<uint8_t> out = bytes_;
    const size_t size = out.size();
    out[0] = static_cast<uint8_t>(size >> 24);
    out[1] = static_cast<uint8_t>(size >> 16);
    out[2] = static_cast<uint8_t>(size >> 8);
    out[3] = static_cast<uint8_t>(size);
    return out;
  }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace

bool WriteMp4(const std::string& path, uint32_t width, uint32_t height, uint32_t timescale,
              const std::vector<uint8_t>& avcConfig, const std::vector<Mp4Sample>& samples) {
  std::vector<uint32_t> durations;
  for (size_t i = 0; i < samples.size(); ++i) {
    const uint64_t next = i + 1 < samples.size() ? samples[i + 1].timestamp
                                                 : samples[i].timestamp + timescale / 30;
    durations.push_back(static_cast<uint32_t>(next - samples[i].timestamp));
  }
  uint64_t totalDuration = 0;
  for (uint32_t d : durations) totalDuration += d;

  const std::vector<uint8_t> ftyp = Box("ftyp").U32(0x69736F6D).U32(0x200).U32(0x69736F6D).U32(0x61766331).Done();
  size_t mdatPayload = 0;
  for (const Mp4Sample& s : samples) mdatPayload += s.bytes.size();
  const uint32_t firstOffset = static_cast<uint32_t>(ftyp.size() + 8);

  Box stts("stts");
  stts.U32(0).U32(static_cast<uint32_t>(samples.size()));
  for (uint32_t d : durations) stts.U32(1).U32(d);
  Box stss("stss");
  uint32_t keys = 0;
  for (const Mp4Sample& s : samples) keys += s.keyFrame ? 1 : 0;
  stss.U32(0).U32(keys);
  for (size_t i = 0; i < samples.size(); ++i) {
    if (samples[i].keyFrame) stss.U32(static_cast<uint32_t>(i + 1));
  }
  Box stsz("stsz");
  stsz.U32(0).U32(0).U32(static_cast<uint32_t>(samples.size()));
  for (const Mp4Sample& s : samples) stsz.U32(static_cast<uint32_t>(s.bytes.size()));
  Box stsc("stsc");
  stsc.U32(0).U32(1).U32(1).U32(static_cast<uint32_t>(samples.size())).U32(1);
  Box stco("stco");
  stco.U32(0).U32(1).U32(firstOffset);

  Box avc1("avc1");
  avc1.Zeros(6).U16(1).Zeros(16).U16(width).U16(height).U32(0x00480000).U32(0x00480000).U32(0).U16(1)
      .Zeros(32).U16(0x18).U16(0xFFFF).Child(Box("avcC").Bytes(avcConfig));
  Box stsd("stsd");
  stsd.U32(0).U32(1).Child(avc1);
  Box stbl("stbl");
  stbl.Child(stsd).Child(stts).Child(stss).Child(stsz).Child(stsc).Child(stco);

  Box dinf("dinf");
  dinf.Child(Box("dref").U32(0).U32(1).Child(Box("url ").U32(1)));
  Box minf("minf");
  minf.Child(Box("vmhd").U32(1).Zeros(8)).Child(dinf).Child(stbl);
  Box mdia("mdia");
  mdia.Child(Box("mdhd").U32(0).U32(0).U32(0).U32(timescale).U32(static_cast<uint32_t>(totalDuration))
                 .U16(0x55C4).U16(0))
      .Child(Box("hdlr").U32(0).U32(0).U32(0x76696465).Zeros(12).U8(0))
      .Child(minf);
  Box tkhd("tkhd");
  tkhd.U32(3).U32(0).U32(0).U32(1).U32(0).U32(static_cast<uint32_t>(totalDuration)).Zeros(8).U16(0)
      .U16(0).U16(0).U16(0).Matrix().U32(width << 16).U32(height << 16);
  Box trak("trak");
  trak.Child(tkhd).Child(mdia);
  Box mvhd("mvhd");
  mvhd.U32(0).U32(0).U32(0).U32(timescale).U32(static_cast<uint32_t>(totalDuration)).U32(0x10000)
      .U16(0x100).Zeros(10).Matrix().Zeros(24).U32(2);
  Box moov("moov");
  moov.Child(mvhd).Child(trak);

  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::vector<uint8_t> mdatHeader = {static_cast<uint8_t>((mdatPayload + 8) >> 24),
                                     static_cast<uint8_t>((mdatPayload + 8) >> 16),
                                     static_cast<uint8_t>((mdatPayload + 8) >> 8),
                                     static_cast<uint8_t>(mdatPayload + 8), 'm', 'd', 'a', 't'};
  bool ok = std::fwrite(ftyp.data(), 1, ftyp.size(), file) == ftyp.size() &&
            std::fwrite(mdatHeader.data(), 1, 8, file) == 8;
  for (const Mp4Sample& s : samples) {
    ok = ok && std::fwrite(s.bytes.data(), 1, s.bytes.size(), file) == s.bytes.size();
  }
  const std::vector<uint8_t> moovBytes = moov.Done();
  ok = ok && std::fwrite(moovBytes.data(), 1, moovBytes.size(), file) == moovBytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace gpucodec_test
