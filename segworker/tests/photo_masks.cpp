// Writes the shipped native worker's settled masks of the sample photographs, with the frames it was
// given, for the Windows worker's comparison under Wine.
#include <exception>
#include <iostream>

#include "media.h"
#include "photo_run.h"

using namespace mivra::foreground_detection;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: segworker_photo_masks OUTPUT\n";
    return 2;
  }
  try {
    host::WorkerProcess worker(SEGWORKER_PROGRAM);
    if (worker.waitReady() != host::Signal::done) throw std::runtime_error("the worker did not start");
    std::vector<test::PhotoRecord> records;
    for (const char* name : test::kPhotoNames) {
      test::PhotoRecord r;
      r.frame = vextra::media::readPicture(std::string(VEXTRA_PICTURES_DIR) + "/" + name, int(kFrameWidth),
                                           int(kFrameHeight), vextra::media::Fit::cover);
      r.mask = test::settledMask(worker, r.frame);
      if (r.mask.empty()) throw std::runtime_error(std::string("no mask for ") + name);
      records.push_back(std::move(r));
    }
    if (worker.stop() != 0) throw std::runtime_error("the worker did not stop with 0");
    test::writePhotoRecords(argv[1], records);
  } catch (const std::exception& e) {
    std::cerr << "segworker_photo_masks: " << e.what() << "\n";
    return 1;
  }
}
