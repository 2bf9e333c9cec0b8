#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "background.h"
#include "box_blur.h"
#include "mask_refiner.h"
#include "mask_scaler.h"
#include "media.h"
#include "overview.h"
#include "subprocess.h"

namespace {

namespace fs = std::filesystem;
namespace media = vextra::media;
using vextra::segment_demo::Background;
using vextra::segment_demo::BoxBlur;
using vextra::segment_demo::MaskRefiner;
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

// A sharp-edged disc on a textured background, and the worker's view of it: a mask eight
// times coarser than the picture, wrong near the edge in the ways a network's is.
struct Disc {
  static constexpr int kSize = 256, kMaskSize = 32, kStep = kSize / kMaskSize;
  static constexpr double kCentreX = 125.3, kCentreY = 131.7, kRadius = 71.4;

  // Distance of a point outside the disc's edge (negative inside), and of a pixel's centre.
  static double beyond(double x, double y) { return std::hypot(x - kCentreX, y - kCentreY) - kRadius; }
  static double outside(int x, int y) { return beyond(x + 0.5, y + 0.5); }

  static Bytes picture() {
    Bytes bgra(size_t(kSize) * kSize * 4);
    uint32_t seed = 12345;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = int(seed >> 27) - 16;
        const bool in = outside(x, y) < 0;
        const double texture = 45.0 * std::sin(0.35 * x + 0.8 * std::sin(0.11 * y)) * std::cos(0.27 * y);
        const int level = in ? 195 + noise : int(70 + texture) + noise;
        uint8_t* p = bgra.data() + (size_t(y) * kSize + size_t(x)) * 4;
        p[0] = uint8_t(std::clamp(level + (in ? -25 : 30), 0, 255));
        p[1] = uint8_t(std::clamp(level, 0, 255));
        p[2] = uint8_t(std::clamp(level + (in ? 20 : -20), 0, 255));
        p[3] = 255;
      }
    return bgra;
  }

  // Blocky: each mask pixel says whether its centre is on the disc.
  static Bytes pointSampled() {
    return lowResolution([](double x, double y) { return beyond(x, y) < 0 ? 1.0 : 0.0; });
  }
  // Soft, of a disc grown (or shrunk) by grow pixels: a halo over the background (or a bite).
  static Bytes covering(double grow) {
    return lowResolution([grow](double x0, double y0) {
      int in = 0;
      for (int y = 0; y < kStep; ++y)
        for (int x = 0; x < kStep; ++x) in += beyond(x0 - kStep / 2 + x + 0.5, y0 - kStep / 2 + y + 0.5) < grow;
      return in / double(kStep * kStep);
    });
  }

  // coverAt: how much of the mask pixel centred there is on the disc.
  template <typename F>
  static Bytes lowResolution(F coverAt) {
    Bytes mask(size_t(kMaskSize) * kMaskSize);
    for (int y = 0; y < kMaskSize; ++y)
      for (int x = 0; x < kMaskSize; ++x)
        mask[size_t(y) * kMaskSize + size_t(x)] = uint8_t(std::lround(255 * coverAt((x + 0.5) * kStep, (y + 0.5) * kStep)));
    return mask;
  }

  // Pixels more than two away from the true edge on its wrong side.
  static int farFromTheEdge(const Bytes& mask) {
    int wrong = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        const double d = outside(x, y);
        const bool on = mask[size_t(y) * kSize + size_t(x)] >= 128;
        wrong += (d < -2 && !on) || (d > 2 && on);
      }
    return wrong;
  }
};

TEST(MaskRefiner, PutsTheMasksEdgeOnThePicturesEdge) {
  const Bytes picture = Disc::picture();
  struct Case {
    const char* name;
    Bytes mask;
  };
  for (const Case& c : {Case{"blocky", Disc::pointSampled()}, Case{"halo", Disc::covering(4)},
                        Case{"bitten", Disc::covering(-4)}}) {
    SCOPED_TRACE(c.name);
    Bytes plain(size_t(Disc::kSize) * Disc::kSize), refined(plain.size());
    MaskScaler(Disc::kMaskSize, Disc::kMaskSize, Disc::kSize, Disc::kSize).scale(c.mask, plain);
    MaskRefiner(Disc::kMaskSize, Disc::kMaskSize, Disc::kSize, Disc::kSize).refine(picture, c.mask, refined);
    EXPECT_GT(Disc::farFromTheEdge(plain), 0);
    EXPECT_EQ(Disc::farFromTheEdge(refined), 0);

  }
}

// Where the picture has no edge the mask comes out close to the plain scaling: soft, not cut
// at a threshold, and in place; at sizes the grid's step does not divide, and smaller than
// the mask.
TEST(MaskRefiner, LeavesTheMaskSoftWhereThePictureIsFlat) {
  Bytes soft(256 * 144);
  for (int y = 0; y < 144; ++y)
    for (int x = 0; x < 256; ++x)
      soft[size_t(y) * 256 + size_t(x)] = uint8_t(std::clamp(128.0 + 6.0 * (40.0 - std::hypot(x - 128.0, y - 72.0)), 0.0, 255.0));
  struct Case {
    int w, h;
  };
  for (const Case c : {Case{1920, 1080}, Case{1279, 719}, Case{301, 201}, Case{128, 72}, Case{1, 1}}) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const Bytes flat(size_t(c.w) * size_t(c.h) * 4, 90);
    Bytes plain(size_t(c.w) * size_t(c.h)), refined(plain.size());
    MaskScaler(256, 144, c.w, c.h).scale(soft, plain);
    MaskRefiner refiner(256, 144, c.w, c.h);
    refiner.refine(flat, soft, refined);
    int most = 0;
    for (size_t p = 0; p < plain.size(); ++p) most = std::max(most, std::abs(refined[p] - plain[p]));
    // The windows round the ramp's corners off by a few levels; a threshold would be off by 127.
    EXPECT_LE(most, 12);
    EXPECT_THROW(refiner.refine(std::span(flat).first(flat.size() - 1), soft, refined), std::invalid_argument);
    EXPECT_THROW(refiner.refine(flat, std::span(soft).first(soft.size() - 1), refined), std::invalid_argument);
  }
}

// Foreground pixels come out as they went in; background detail is smoothed away, and a flat
// background keeps its colour up to the borders.
TEST(Background, BlursTheFrameOnlyWhereTheMaskIsLow) {
  constexpr int w = 97, h = 61;
  Bytes frame(size_t(w) * h * 4);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(((i / 4) % w + (i / 4) / w) % 2 ? 230 : 20);
  const Bytes fore = square(w, h, 30, 20, 20);
  Background blur(w, h, BoxBlur::defaultRadius(w, h));
  Bytes out(frame.size());
  blur.composite(frame, fore, out);
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
  EXPECT_THROW(blur.composite(std::span(frame).first(frame.size() - 1), fore, out), std::invalid_argument);
}

// A flat picture stays exactly flat whatever the radius (the box's weights add up to one).
TEST(BoxBlur, KeepsFlatPicturesExactAtEveryRadius) {
  constexpr int w = 41, h = 23;
  for (const int radius : {0, 1, 45, 250, 1000})
    for (const uint8_t level : {uint8_t(255), uint8_t(77), uint8_t(1)}) {
      SCOPED_TRACE(std::to_string(radius) + " " + std::to_string(level));
      Bytes picture(size_t(w) * h * 4, level);
      BoxBlur(w, h, radius).apply(picture, picture);
      ASSERT_TRUE(std::all_of(picture.begin(), picture.end(), [&](uint8_t v) { return v == level; }));
    }
}

// A picture behind the person: the picture itself where the mask is 0, the frame where it is
// 255, halfway where it is half.
TEST(Background, PutsAPictureBehindTheMask) {
  constexpr int w = 3, h = 1;
  const Bytes frame{200, 100, 0, 255, 200, 100, 0, 255, 200, 100, 0, 255};
  const Bytes picture{0, 50, 250, 255, 0, 50, 250, 255, 0, 50, 250, 255};
  const Bytes mask{0, 255, 128};
  Background replaced(w, h, 0, picture);
  Bytes out(frame.size());
  replaced.composite(frame, mask, out);
  EXPECT_EQ(out, (Bytes{0, 50, 250, 255, 200, 100, 0, 255, 100, 75, 125, 255}));
}

// Three panels of one height with a gap between them; a tall input shrinks to the cap.
TEST(Overview, PutsInputMaskAndResultSideBySide) {
  struct Case {
    int w, h, maxHeight, panelWidth, panelHeight;
  };
  for (const Case c : {Case{40, 20, 540, 40, 20}, Case{40, 20, 10, 20, 10}, Case{1920, 1080, 540, 960, 540}}) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const size_t pixels = size_t(c.w) * size_t(c.h);
    Bytes frame(pixels * 4), result(pixels * 4);
    for (size_t p = 0; p < pixels; ++p) {
      frame[p * 4 + 2] = 255;   // red
      result[p * 4 + 0] = 255;  // blue
    }
    const Bytes mask(pixels, 128);
    const auto picture = vextra::segment_demo::overview(c.w, c.h, frame, mask, result, c.maxHeight);
    ASSERT_EQ(picture.height, c.panelHeight);
    const int gap = (picture.width - 3 * c.panelWidth) / 2;
    ASSERT_EQ(picture.width, 3 * c.panelWidth + 2 * gap);
    EXPECT_GT(gap, 0);
    const auto at = [&](int x) {
      const uint8_t* p = picture.pixels.data() + (size_t(c.panelHeight / 2) * size_t(picture.width) + size_t(x)) * 4;
      return Bytes(p, p + 4);
    };
    EXPECT_EQ(at(c.panelWidth / 2), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(at(c.panelWidth + gap + c.panelWidth / 2), (Bytes{128, 128, 128, 255}));
    EXPECT_EQ(at(2 * (c.panelWidth + gap) + c.panelWidth / 2), (Bytes{255, 0, 0, 255}));
  }
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

  enum class Stream { out, errors };

  // The demo's exit status and the lines it printed on one of its streams.
  std::pair<int, std::vector<std::string>> run(const std::vector<std::string>& arguments, Stream stream = Stream::out) {
    std::vector<std::string> argv{SEGMENT_DEMO_PROGRAM};
    if (stream == Stream::errors) argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1 >/dev/null", SEGMENT_DEMO_PROGRAM};
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

  // The sample photograph at a size of its own.
  fs::path person(int w, int h) {
    const fs::path path = dir_ / "person.png";
    media::writePicture(path.string(), w, h, media::PixelFormat::bgra,
                        media::readPicture(sample("astronaut.png"), w, h, media::Fit::cover));
    return path;
  }

  static std::string sample(const std::string& name) { return std::string(VEXTRA_PICTURES_DIR) + "/" + name; }

  fs::path dir_;
};

double meanOf(const Bytes& plane, int w, int x0, int x1, int y0, int y1) {
  double sum = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) sum += plane[size_t(y) * size_t(w) + size_t(x)];
  return sum / double((x1 - x0) * (y1 - y0)) / 255.0;
}

// A gray picture read back as one byte per pixel (B = G = R).
Bytes readMask(const std::string& path, int w, int h) {
  const Bytes pixels = media::readPicture(path, w, h);
  Bytes mask(size_t(w) * size_t(h));
  for (size_t p = 0; p < mask.size(); ++p) mask[p] = pixels[p * 4];
  return mask;
}

TEST_F(SegmentDemo, APictureGivesItsMaskBlurredPreviewAndOverview) {
  constexpr int w = 301, h = 201;
  const fs::path input = person(w, h);
  const fs::path out = dir_ / "out";
  const auto [status, lines] = run({input.string(), out.string()});
  ASSERT_EQ(status, 0);
  const std::vector<std::string> files{(out / "mask.png").string(), (out / "blurred.png").string(),
                                       (out / "overview.png").string()};
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[1], files[0]);
  EXPECT_EQ(lines[2], files[1]);
  EXPECT_EQ(lines[3], files[2]);
  EXPECT_EQ(lines[4].rfind("frames processed: 1", 0), 0u) << lines[4];
  EXPECT_EQ(lines[5].rfind("first request (warm-up): ", 0), 0u) << lines[5];
  // A still picture goes through the worker several times: the later ones are the steady time.
  EXPECT_EQ(lines[6].rfind("worker time per frame after it: mean ", 0), 0u) << lines[6];
  for (const std::string& file : {files[0], files[1]}) {
    const media::StreamInfo info = media::probe(file);
    EXPECT_EQ(info.width, w);
    EXPECT_EQ(info.height, h);
  }
  const media::StreamInfo overview = media::probe(files[2]);
  EXPECT_EQ(overview.height, h);
  EXPECT_GT(overview.width, 3 * w);
  const Bytes mask = readMask(files[0], w, h);
  EXPECT_GT(meanOf(mask, w, 120, 180, 40, 180), 0.8);  // the astronaut
  EXPECT_LT(meanOf(mask, w, 0, 40, 0, 60), 0.2);       // the flag behind her
}

// Options after the paths: a picture behind the person, blurred by the radius asked for.
TEST_F(SegmentDemo, BackgroundAndBlurPutABlurredPictureBehindThePerson) {
  constexpr int w = 301, h = 201, radius = 2;
  const fs::path input = person(w, h);
  const fs::path out = dir_ / "out";
  const std::string wall = sample("brick.png");
  const auto [status, lines] = run({input.string(), out.string(), "--background", wall, "--blur", std::to_string(radius)});
  ASSERT_EQ(status, 0);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2], (out / "replaced.png").string());
  EXPECT_EQ(lines[3], (out / "overview.png").string());

  Bytes behind = media::readPicture(wall, w, h, media::Fit::cover);
  BoxBlur(w, h, radius).apply(behind, behind);
  const Bytes front = media::readPicture(input.string(), w, h);
  const Bytes result = media::readPicture((out / "replaced.png").string(), w, h);
  const Bytes mask = readMask((out / "mask.png").string(), w, h);
  int backgroundPixels = 0, personPixels = 0;
  for (size_t p = 0; p < mask.size(); ++p) {
    if (mask[p] != 0 && mask[p] != 255) continue;
    const Bytes& expected = mask[p] == 0 ? behind : front;
    (mask[p] == 0 ? backgroundPixels : personPixels)++;
    for (size_t c = 0; c < 3; ++c) ASSERT_EQ(result[p * 4 + c], expected[p * 4 + c]) << p;
  }
  EXPECT_GT(backgroundPixels, w * h / 10);
  EXPECT_GT(personPixels, w * h / 10);
}

TEST_F(SegmentDemo, AClipGivesAMaskAndABlurredVideoOfEveryFrame) {
  constexpr int w = 320, h = 180, frames = 8;
  const fs::path input = dir_ / "clip.mp4";
  {
    media::FrameWriter clip(input.string(), w, h, media::PixelFormat::bgra, "10/1");
    for (int f = 0; f < frames; ++f) {
      // The picture moving right by two pixels a frame.
      const Bytes still = media::readPicture(sample("astronaut.png"), w + 2 * frames, h, media::Fit::cover);
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
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[1], (out / "mask.mp4").string());
  EXPECT_EQ(lines[2], (out / "blurred.mp4").string());
  EXPECT_EQ(lines[3], (out / "overview.png").string());
  EXPECT_EQ(lines[4], "frames processed: " + std::to_string(frames));
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
  EXPECT_TRUE(media::probe((out / "overview.png").string()).still);
}

// One line that names the fault, its exit code, and no output folder.
TEST_F(SegmentDemo, BadArgumentsAndInputsSayWhatIsWrongAndWriteNothing) {
  const fs::path notAPicture = dir_ / "notes.png";
  { std::FILE* f = std::fopen(notAPicture.c_str(), "w"); std::fputs("not a picture\n", f); std::fclose(f); }
  const std::string picture = sample("astronaut.png"), missing = (dir_ / "missing.png").string();
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string says;
  };
  const std::vector<Case> cases{
      {{missing}, 2, missing + ": no such file"},
      {{notAPicture.string()}, 2, notAPicture.string() + ": cannot be decoded"},
      {{picture, "--background", missing}, 2, "--background " + missing + ": no such file"},
      {{picture, "--background", notAPicture.string()}, 2, "--background " + notAPicture.string() + ": cannot be decoded"},
      {{picture, "--blur", "-3"}, 1, "--blur -3: RADIUS must be a whole number of pixels from 0 to 1000"},
      {{picture, "--blur", "2.5"}, 1, "--blur 2.5: RADIUS must be"},
      {{picture, "--blur", "1001"}, 1, "--blur 1001: RADIUS must be"},
      {{picture, "--blur"}, 1, "--blur needs a value"},
      {{picture, "--sharpen"}, 1, "unknown option --sharpen"},
      {{picture, "third"}, 1, "usage: segment-demo"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.says);
    std::vector<std::string> arguments = c.arguments;
    // The output folder right after the input, so that a case's options come last.
    arguments.insert(arguments.begin() + 1, (dir_ / ("out" + std::to_string(i))).string());
    const auto [status, lines] = run(arguments, Stream::errors);
    EXPECT_EQ(status, c.status);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("segment-demo: " + c.says, 0), 0u) << lines[0];
    EXPECT_FALSE(fs::exists(dir_ / ("out" + std::to_string(i))));
  }
}

}  // namespace
