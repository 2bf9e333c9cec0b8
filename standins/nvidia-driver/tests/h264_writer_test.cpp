// The stand-in's stream decoded by the native ffmpeg must give back its input exactly, at
// sizes with and without cropping, with still, partly changed and wholly changed pictures.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "h264_writer.h"

namespace nvstandin {
namespace {

struct Picture {
  uint32_t width;
  uint32_t height;
  std::vector<uint8_t> nv12;  // packed rows
};

Picture MakePicture(uint32_t width, uint32_t height, uint32_t seed, uint32_t changedRows) {
  Picture picture{width, height, std::vector<uint8_t>(size_t{width} * height * 3 / 2)};
  for (size_t i = 0; i < picture.nv12.size(); ++i) {
    const size_t row = i < size_t{width} * height ? i / width : (i - size_t{width} * height) / width * 2;
    const uint32_t s = row < changedRows ? seed : 0;
    // Runs of zeros make the writer insert emulation prevention bytes.
    picture.nv12[i] = (i % 97) < 5 ? 0 : static_cast<uint8_t>((i * 2654435761u + s * 40503u) >> 13);
  }
  return picture;
}

std::vector<uint8_t> EncodeAll(const std::vector<Picture>& pictures, uint32_t profile) {
  H264StreamWriter writer({pictures[0].width, pictures[0].height, profile});
  std::vector<uint8_t> stream;
  for (const Picture& p : pictures) {
    const bool idr = writer.EncodePicture(p.nv12.data(), p.nv12.data() + size_t{p.width} * p.height,
                                          p.width, false, stream);
    EXPECT_EQ(idr, &p == &pictures[0]);
  }
  return stream;
}

std::vector<uint8_t> DecodeWithFfmpeg(const std::vector<uint8_t>& stream) {
  // In the test's working folder, inside the build tree: a test writes nothing outside it.
  char path[] = "h264-writer-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  FILE* file = fdopen(fd, "wb");
  fwrite(stream.data(), 1, stream.size(), file);
  fclose(file);
  const std::string command =
      std::string("ffmpeg -v error -f h264 -i ") + path + " -f rawvideo -pix_fmt nv12 -";
  FILE* pipe = popen(command.c_str(), "r");
  std::vector<uint8_t> decoded;
  uint8_t buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) decoded.insert(decoded.end(), buffer, buffer + got);
  EXPECT_EQ(pclose(pipe), 0);
  std::remove(path);
  return decoded;
}

TEST(H264StreamWriter, DecodesBackExactly) {
  const struct {
    uint32_t width, height, profile;
  } sizes[] = {{48, 32, 66}, {100, 60, 77}, {64, 64, 100}, {176, 144, 77}};
  for (const auto& size : sizes) {
    std::vector<Picture> pictures;
    pictures.push_back(MakePicture(size.width, size.height, 1, size.height));
    pictures.push_back(pictures.back());                                      // still
    pictures.push_back(MakePicture(size.width, size.height, 2, 20));          // the top changes
    pictures.push_back(MakePicture(size.width, size.height, 3, size.height));  // everything changes
    for (uint32_t i = 0; i < 20; ++i) pictures.push_back(MakePicture(size.width, size.height, 4 + i, i * 3));
    std::vector<uint8_t> expected;
    for (const Picture& p : pictures) expected.insert(expected.end(), p.nv12.begin(), p.nv12.end());
    const std::vector<uint8_t> decoded = DecodeWithFfmpeg(EncodeAll(pictures, size.profile));
    EXPECT_EQ(decoded.size(), expected.size()) << size.width << "x" << size.height;
    EXPECT_TRUE(decoded == expected) << size.width << "x" << size.height;
  }
}

TEST(H264StreamWriter, StillPicturesCostOnlyTheirHeaders) {
  const Picture picture = MakePicture(320, 240, 1, 240);
  H264StreamWriter writer({320, 240, 77});
  std::vector<uint8_t> first;
  std::vector<uint8_t> second;
  writer.EncodePicture(picture.nv12.data(), picture.nv12.data() + 320 * 240, 320, false, first);
  writer.EncodePicture(picture.nv12.data(), picture.nv12.data() + 320 * 240, 320, false, second);
  EXPECT_GT(first.size(), 320u * 240 * 3 / 2);
  EXPECT_LT(second.size(), 16u);
}

}  // namespace
}  // namespace nvstandin
