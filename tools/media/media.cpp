#include "media.h"

#include <sstream>
#include <stdexcept>

namespace vextra::media {

namespace {

std::string scaleFilter(int width, int height, Fit fit) {
  const std::string w = std::to_string(width), h = std::to_string(height);
  if (fit == Fit::stretch) return "scale=" + w + ":" + h + ":flags=area";
  return "scale=" + w + ":" + h + ":force_original_aspect_ratio=increase:flags=area,crop=" + w + ":" + h;
}

}  // namespace

StreamInfo probe(const std::string& path) {
  const std::string out = captureOutput({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                         "stream=width,height,avg_frame_rate,nb_frames:format=format_name",
                                         "-of", "default=noprint_wrappers=1", path});
  StreamInfo info;
  std::istringstream lines(out);
  std::string line, format, frames;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "width") info.width = std::stoi(value);
    if (key == "height") info.height = std::stoi(value);
    if (key == "avg_frame_rate" && value != "0/0") info.frameRate = value;
    if (key == "nb_frames") frames = value;
    if (key == "format_name") format = value;
  }
  if (info.width <= 0 || info.height <= 0) throw std::runtime_error(path + ": no video stream");
  info.still = format.find("_pipe") != std::string::npos || format == "image2" || frames == "1";
  return info;
}

FrameReader::FrameReader(const std::string& path, int width, int height, Fit fit)
    : ffmpeg_({"ffmpeg", "-v", "error", "-nostdin", "-i", path, "-vf", scaleFilter(width, height, fit), "-f",
               "rawvideo", "-pix_fmt", "bgra", "-"},
              Subprocess::Pipe::fromChild) {}

bool FrameReader::next(std::span<uint8_t> bgra) { return ffmpeg_.readExactly(bgra); }

FrameWriter::FrameWriter(const std::string& path, int width, int height, PixelFormat format,
                         const std::string& frameRate)
    : ffmpeg_(
          [&] {
            std::vector<std::string> args = {"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "rawvideo",
                                             "-pix_fmt", format == PixelFormat::gray ? "gray" : "bgra",
                                             "-s", std::to_string(width) + "x" + std::to_string(height),
                                             "-framerate", frameRate, "-i", "-"};
            const bool video = path.size() >= 4 && path.compare(path.size() - 4, 4, ".mp4") == 0;
            if (video) {
              // 4:2:0 needs even sizes.
              for (const char* a : {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libx264", "-preset", "veryfast",
                                    "-pix_fmt", "yuv420p"})
                args.emplace_back(a);
            } else {
              for (const char* a : {"-frames:v", "1", "-update", "1"}) args.emplace_back(a);
            }
            args.push_back(path);
            return args;
          }(),
          Subprocess::Pipe::toChild),
      path_(path) {}

void FrameWriter::write(std::span<const uint8_t> pixels) { ffmpeg_.writeAll(pixels); }

void FrameWriter::finish() {
  if (ffmpeg_.finish() != 0) throw std::runtime_error("ffmpeg could not write " + path_);
}

std::vector<uint8_t> readPicture(const std::string& path, int width, int height, Fit fit) {
  std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
  FrameReader reader(path, width, height, fit);
  if (!reader.next(pixels)) throw std::runtime_error(path + ": no picture decoded");
  return pixels;
}

void writePicture(const std::string& path, int width, int height, PixelFormat format,
                  std::span<const uint8_t> pixels) {
  FrameWriter writer(path, width, height, format);
  writer.write(pixels);
  writer.finish();
}

}  // namespace vextra::media
