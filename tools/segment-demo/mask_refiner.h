#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vextra::segment_demo {

// The worker's low-resolution mask brought to the picture's size along the picture's own
// edges: He and Sun's fast guided filter ("Fast Guided Filter", 2015, after He, Sun and Tang's
// guided filter), guided by the picture's luminance. In each window the mask is fitted as a
// linear function of the luminance, so where the picture has an edge the mask's edge moves
// onto it, and where it has none the mask stays as soft as it came. The fit is made on a grid
// a few pixels coarser than the picture, with box means (O(1) per pixel whatever the
// window), and applied to every pixel of the picture.
class MaskRefiner {
 public:
  MaskRefiner(int maskWidth, int maskHeight, int width, int height);
  // frame: 32-bit pixels, B, G, R, A, at the picture's size; mask and out: one byte per pixel,
  // 255 = foreground, at the mask's and the picture's size. Throws when a buffer is too small.
  void refine(std::span<const uint8_t> frame, std::span<const uint8_t> mask, std::span<uint8_t> out);

  // The window's radius in picture pixels, and the grid's step.
  int radius() const { return radius_; }
  int step() const { return step_; }

  // Source samples of bilinear resampling and the second one's weight.
  struct Tap {
    int first;
    int second;
    float weight;
  };

 private:
  void guideOnGrid(std::span<const uint8_t> frame);
  void maskOnGrid(std::span<const uint8_t> mask);
  void fit();
  void widen(const float* from, float* to, float scale, float add);
  void widenRow(int g, float* terms);
  void apply(std::span<uint8_t> out);
  void boxMean(std::span<const float> from, std::span<float> to);

  int maskWidth_, maskHeight_;
  int width_, height_;
  int radius_, step_;
  int gridWidth_, gridHeight_;
  int gridRadius_;
  std::vector<Tap> maskColumns_, maskRows_;  // grid from mask
  std::vector<Tap> gridRows_;  // picture from grid
  // Along a row, by a sample's place in its cell: the left neighbour in the padded row, and
  // the right one's weight.
  struct Phase {
    int left;
    float weight;
  };
  std::vector<Phase> phases_;
  std::vector<float> padded_;
  std::vector<uint8_t> luma_;  // the picture's
  std::vector<uint32_t> rowSums_;
  // On the grid: luminance and mask, a product of them, box means, the fit's two terms and
  // their means.
  std::vector<float> guide_, mask_, product_, meanGuide_, meanMask_, meanProduct_, meanSquare_, slope_, offset_,
      meanSlope_, meanOffset_;
  std::vector<float> scratch_;
  std::vector<float> columnWeights_;
  std::vector<double> rowWeights_, columnSums_;
  // The fit's two terms at the picture's width, for the two grid rows around a picture row.
  std::vector<float> terms_;
};

}  // namespace vextra::segment_demo
