#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "subprocess.h"

// Pictures and videos through ffmpeg: decoded to 32-bit pixels (bytes B, G, R, A, the
// Windows order the worker expects), encoded from gray masks or such pixels.
namespace vextra::media {

struct StreamInfo {
  int width = 0;
  int height = 0;
  // Frames per second as "num/den", as ffmpeg takes it.
  std::string frameRate = "25/1";
  bool still = false;  // one picture rather than a video
};

// Throws when the file has no video stream.
StreamInfo probe(const std::string& path);

enum class Fit {
  stretch,  // scale to the size, whatever the aspect
  cover,    // scale to cover the size, then crop the middle
};

// Decoded frames of a picture or video, scaled to a given size.
class FrameReader {
 public:
  FrameReader(const std::string& path, int width, int height, Fit fit = Fit::stretch);
  // Fills width × height × 4 bytes; false after the last frame.
  bool next(std::span<uint8_t> bgra);

 private:
  Subprocess ffmpeg_;
};

enum class PixelFormat { gray, bgra };

// Encodes frames of one size into a file; the format follows its extension (".png" for a
// single picture, ".mp4" for H.264 video).
class FrameWriter {
 public:
  FrameWriter(const std::string& path, int width, int height, PixelFormat format,
              const std::string& frameRate = "25/1");
  void write(std::span<const uint8_t> pixels);
  // Throws when ffmpeg could not write the file.
  void finish();

 private:
  Subprocess ffmpeg_;
  std::string path_;
};

// The first frame of a picture or video.
std::vector<uint8_t> readPicture(const std::string& path, int width, int height, Fit fit = Fit::stretch);

void writePicture(const std::string& path, int width, int height, PixelFormat format,
                  std::span<const uint8_t> pixels);

}  // namespace vextra::media
