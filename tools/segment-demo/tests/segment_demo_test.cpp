#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "background_blur.h"
#include "mask_scaler.h"
#include "media.h"
#include "subprocess.h"

namespace {

namespace fs = std::filesystem;
namespace media = vextra::media;
using vextra::segment_demo::BackgroundBlur;
using vextra::segment_demo::MaskScaler;
using Bytes = std::vector<uint8_t>;

// A bright square on black: what the scaler and the blur must keep in place.
Bytes square(int w, int h, int x0, int y0, int side) {
  Bytes plane(size_t(w) * size_t(h), 0);
  for (int y = y0; y < y0 + side; ++y)
    for (int x = x0; x < x0 + side; ++x) plane[size_t(y) * size_t(w) + size_t(x)] = 255;
  return plane;
}

TEST(MaskScaler, KeepsFlatPlanesFlatAndEdgesInPlace) {
  struct Case {
    int fromW, fromH, toW, toH;
  };
  for (const Case c : {Case{256, 144, 1920, 1080}, Case{256, 144, 301, 201}, Case{256, 144, 128, 72}, Case{256, 144, 256, 144}}) {
    SCOPED_TRACE(std::to_string(c.toW) + "x" + std::to_string(c.toH));
    MaskScaler scaler(c.fromW, c.fromH, c.toW, c.toH);
    Bytes flat(size_t(c.fromW) * size_t(c.fromH), 200), out(size_t(c.toW) * size_t(c.toH));
    scaler.scale(flat, out);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t v) { return v == 200; }));

    // The left half on: the output's left and right quarters are wholly on and off.
    Bytes half(flat.size(), 0);
    for (int y = 0; y < c.fromH; ++y) std::fill_n(half.begin() + y * c.fromW, c.fromW / 2, 255);
    scaler.scale(half, out);
    for (int y = 0; y < c.toH; ++y) {
      EXPECT_EQ(out[size_t(y) * size_t(c.toW) + size_t(c.toW / 4)], 255);
      EXPECT_EQ(out[size_t(y) * size_t(c.toW) + size_t(3 * c.toW / 4)], 0);
    }
  }
}

TEST(MaskScaler, RefusesShortBuffers) {
  MaskScaler scaler(256, 144, 64, 36);
  Bytes from(256 * 144), to(64 * 36);
  EXPECT_THROW(scaler.scale(std::span(from).first(from.size() - 1), to), std::invalid_argument);
  EXPECT_THROW(scaler.scale(from, std::span(to).first(to.size() - 1)), std::invalid_argument);
}

// Foreground pixels come out as they went in; background detail is smoothed away, and a flat
// background keeps its colour up to the borders.
TEST(BackgroundBlur, BlursOnlyWhereTheMaskIsLow) {
  constexpr int w = 97, h = 61;
  Bytes frame(size_t(w) * h * 4);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(((i / 4) % w + (i / 4) / w) % 2 ? 230 : 20);
  const Bytes fore = square(w, h, 30, 20, 20);
  BackgroundBlur blur(w, h);
  Bytes out(frame.size());
  blur.apply(frame, fore, out);
  for (int y = 20; y < 40; ++y)
    for (int x = 30; x < 50; ++x)
      for (int c = 0; c < 3; ++c) {
        const size_t i = (size_t(y) * w + size_t(x)) * 4 + size_t(c);
        ASSERT_EQ(out[i], frame[i]) << x << "," << y;
      }
  // Away from the borders, where the repeated edge pixel weighs in.
  for (int y = 6; y < h - 6; y += 7)
    for (int x = 6; x < 24; ++x) {
      const size_t i = (size_t(y) * w + size_t(x)) * 4;
      EXPECT_NEAR(out[i], 125, 8) << x << "," << y;
      EXPECT_EQ(out[i + 3], 255);
    }

  Bytes flat(frame.size(), 77), background(size_t(w) * h, 0);
  blur.apply(flat, background, out);
  for (size_t p = 0; p < size_t(w) * h; ++p) ASSERT_EQ(out[p * 4], 77) << p;

  EXPECT_THROW(blur.apply(std::span(flat).first(flat.size() - 1), background, out), std::invalid_argument);
}

// The demo as its user runs it, on pictures and a clip of sizes other than the worker's.
class SegmentDemo : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "segment-demo-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The demo's exit status and what it printed.
  std::pair<int, std::vector<std::string>> run(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{SEGMENT_DEMO_PROGRAM};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    media::Subprocess demo(argv, media::Subprocess::Pipe::fromChild);
    std::string text;
    uint8_t buffer[4096];
    while (const size_t n = demo.readSome(buffer)) text.append(reinterpret_cast<const char*>(buffer), n);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
      lines.push_back(text.substr(at, end - at));
    return {demo.finish(), lines};
  }

  fs::path dir_;
};

double meanOf(const Bytes& plane, int w, int x0, int x1, int y0, int y1) {
  double sum = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) sum += plane[size_t(y) * size_t(w) + size_t(x)];
  return sum / double((x1 - x0) * (y1 - y0)) / 255.0;
}

TEST_F(SegmentDemo, APictureGivesItsMaskAndBlurredPreviewAtItsSize) {
  constexpr int w = 301, h = 201;
  const fs::path input = dir_ / "person.png";
  media::writePicture(input.string(), w, h, media::PixelFormat::bgra,
                      media::readPicture(std::string(VEXTRA_PICTURES_DIR) + "/astronaut.png", w, h, media::Fit::cover));
  const fs::path out = dir_ / "out";
  const auto [status, lines] = run({input.string(), out.string()});
  ASSERT_EQ(status, 0);
  const std::vector<std::string> files{(out / "mask.png").string(), (out / "blurred.png").string()};
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[1], files[0]);
  EXPECT_EQ(lines[2], files[1]);
  EXPECT_EQ(lines[3].rfind("frames processed: 1", 0), 0u) << lines[3];
  EXPECT_EQ(lines[4].rfind("first request (warm-up): ", 0), 0u) << lines[4];
  // A still picture goes through the worker several times: the later ones are the steady time.
  EXPECT_EQ(lines[5].rfind("worker time per frame after it: mean ", 0), 0u) << lines[5];
  for (const std::string& file : files) {
    const media::StreamInfo info = media::probe(file);
    EXPECT_EQ(info.width, w);
    EXPECT_EQ(info.height, h);
  }
  // The mask file holds one gray value per pixel: read back, B = G = R = the mask.
  const Bytes pixels = media::readPicture(files[0], w, h);
  Bytes mask(size_t(w) * h);
  for (size_t p = 0; p < mask.size(); ++p) mask[p] = pixels[p * 4];
  EXPECT_GT(meanOf(mask, w, 120, 180, 40, 180), 0.8);  // the astronaut
  EXPECT_LT(meanOf(mask, w, 0, 40, 0, 60), 0.2);       // the flag behind her
}

TEST_F(SegmentDemo, AClipGivesAMaskAndABlurredVideoOfEveryFrame) {
  constexpr int w = 320, h = 180, frames = 8;
  const fs::path input = dir_ / "clip.mp4";
  {
    media::FrameWriter clip(input.string(), w, h, media::PixelFormat::bgra, "10/1");
    for (int f = 0; f < frames; ++f) {
      // The picture moving right by two pixels a frame.
      const Bytes still = media::readPicture(std::string(VEXTRA_PICTURES_DIR) + "/astronaut.png", w + 2 * frames, h,
                                             media::Fit::cover);
      Bytes frame(size_t(w) * h * 4);
      for (int y = 0; y < h; ++y)
        std::copy_n(still.begin() + (size_t(y) * size_t(w + 2 * frames) + size_t(2 * f)) * 4, size_t(w) * 4,
                    frame.begin() + size_t(y) * size_t(w) * 4);
      clip.write(frame);
    }
    clip.finish();
  }
  const fs::path out = dir_ / "out";
  const auto [status, lines] = run({input.string(), out.string()});
  ASSERT_EQ(status, 0);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1], (out / "mask.mp4").string());
  EXPECT_EQ(lines[2], (out / "blurred.mp4").string());
  EXPECT_EQ(lines[3], "frames processed: " + std::to_string(frames));
  for (const char* name : {"mask.mp4", "blurred.mp4"}) {
    SCOPED_TRACE(name);
    const media::StreamInfo info = media::probe((out / name).string());
    EXPECT_EQ(info.width, w);
    EXPECT_EQ(info.height, h);
    EXPECT_FALSE(info.still);
    media::FrameReader reader((out / name).string(), w, h);
    Bytes frame(size_t(w) * h * 4);
    int count = 0;
    while (reader.next(frame)) ++count;
    EXPECT_EQ(count, frames);
  }
}

TEST_F(SegmentDemo, BadArgumentsAndInputsHaveTheirExitCodes) {
  const fs::path notAPicture = dir_ / "notes.png";
  { std::FILE* f = std::fopen(notAPicture.c_str(), "w"); std::fputs("not a picture\n", f); std::fclose(f); }
  struct Case {
    std::vector<std::string> arguments;
    int status;
  };
  for (const Case& c : {Case{{(dir_ / "missing.png").string(), (dir_ / "a").string()}, 2},
                        Case{{notAPicture.string(), (dir_ / "b").string()}, 2},
                        Case{{"a", "b", "c"}, 1}}) {
    SCOPED_TRACE(c.arguments[0]);
    EXPECT_EQ(run(c.arguments).first, c.status);
  }
  // Nothing written for a failed input.
  EXPECT_FALSE(fs::exists(dir_ / "a"));
  EXPECT_FALSE(fs::exists(dir_ / "b"));
}

}  // namespace
