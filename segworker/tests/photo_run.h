#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame_geometry.h"
#include "worker_process.h"

// The sample photographs as a still camera shows them, through one worker in this order: the
// native writer (photo_masks.cpp) and the Windows comparison and benchmark read the same run.
namespace mivra::foreground_detection::test {

inline constexpr const char* kPhotoNames[] = {"astronaut.png", "coffee.png", "grass.png", "gravel.png",
                                              "brick.png"};
// Frames of one photograph before its mask counts as settled (the mask is fed back).
inline constexpr int kSettleFrames = 4;

struct PhotoRecord {
  std::vector<uint8_t> frame;  // kFrameBytes
  std::vector<uint8_t> mask;   // kMaskBytes, settled
};

// The mask after kSettleFrames requests of the frame; empty when a request was not done.
inline std::vector<uint8_t> settledMask(host::WorkerProcess& worker, std::span<const uint8_t> frame) {
  std::vector<uint8_t> mask(kMaskBytes);
  for (int i = 0; i < kSettleFrames; ++i)
    if (worker.segment(frame, mask) != host::Signal::done) return {};
  return mask;
}

inline void writePhotoRecords(const std::string& path, const std::vector<PhotoRecord>& records) {
  std::ofstream out(path, std::ios::binary);
  for (const PhotoRecord& r : records) {
    out.write(reinterpret_cast<const char*>(r.frame.data()), std::streamsize(r.frame.size()));
    out.write(reinterpret_cast<const char*>(r.mask.data()), std::streamsize(r.mask.size()));
  }
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

inline std::vector<PhotoRecord> readPhotoRecords(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<PhotoRecord> records;
  for (;;) {
    PhotoRecord r{std::vector<uint8_t>(kFrameBytes), std::vector<uint8_t>(kMaskBytes)};
    if (!in.read(reinterpret_cast<char*>(r.frame.data()), std::streamsize(kFrameBytes))) break;
    if (!in.read(reinterpret_cast<char*>(r.mask.data()), std::streamsize(kMaskBytes)))
      throw std::runtime_error(path + " ends inside a record");
    records.push_back(std::move(r));
  }
  return records;
}

}  // namespace mivra::foreground_detection::test
