#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "photo_run.h"
#include "worker_program.h"

// segworker.exe under Wine against the shipped native worker, on the sample photographs as a
// still camera shows them: the native run's frames and settled masks come from the native
// build (segworker_photo_masks). The two run different executors (reference loops here,
// oneDNN natively), so the masks agree closely rather than to the byte.
namespace mivra::foreground_detection {
namespace {

struct Agreement {
  std::size_t intersection = 0, united = 0, absoluteDifference = 0, pixels = 0;

  void add(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
      const bool inA = a[i] >= 128, inB = b[i] >= 128;
      intersection += inA && inB;
      united += inA || inB;
      absoluteDifference += std::size_t(std::abs(int(a[i]) - int(b[i])));
    }
    pixels += a.size();
  }
  double iou() const { return united == 0 ? 1.0 : double(intersection) / double(united); }
  double meanAbsoluteDifference() const { return double(absoluteDifference) / double(pixels); }
};

TEST(MaskComparison, SegworkerExeAgreesWithTheNativeWorkerOnPhotographs) {
  const std::vector<test::PhotoRecord> native = test::readPhotoRecords(test::besideTest("native-photo-masks.bin"));
  ASSERT_EQ(native.size(), std::size(test::kPhotoNames));

  host::WorkerProcess worker(test::besideTest("..\\segworker.exe"));
  ASSERT_EQ(worker.waitReady(), host::Signal::done);
  Agreement all;
  for (std::size_t k = 0; k < native.size(); ++k) {
    const std::vector<uint8_t> mask = test::settledMask(worker, native[k].frame);
    ASSERT_FALSE(mask.empty()) << test::kPhotoNames[k];
    Agreement one;
    one.add(mask, native[k].mask);
    all.add(mask, native[k].mask);
    std::printf("%-14s IoU at 128 %.4f, mean absolute difference %.3f\n", test::kPhotoNames[k], one.iou(),
                one.meanAbsoluteDifference());
  }
  EXPECT_EQ(worker.stop(), 0);
  std::printf("all photographs IoU at 128 %.4f, mean absolute difference %.3f\n", all.iou(),
              all.meanAbsoluteDifference());
  EXPECT_GE(all.iou(), 0.99);
  EXPECT_LE(all.meanAbsoluteDifference(), 2.0);
}

}  // namespace
}  // namespace mivra::foreground_detection
