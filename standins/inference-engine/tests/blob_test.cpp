#include <gtest/gtest.h>

#include <inference_engine.hpp>

namespace {

namespace ie = InferenceEngine;

TEST(Blob, WrapsTheCallersMemoryWithoutCopying) {
  std::vector<uint8_t> bytes{1, 2, 3, 4, 5, 6};
  const ie::TensorDesc desc(ie::Precision::U8, {bytes.size()}, ie::Layout::ANY);
  const ie::Blob::Ptr blob = ie::make_shared_blob<uint8_t>(desc, bytes.data(), bytes.size());
  const auto memory = ie::as<ie::MemoryBlob>(blob);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(memory->rmap().as<const uint8_t*>(), bytes.data());
  memory->wmap().as<uint8_t*>()[2] = 42;
  EXPECT_EQ(bytes[2], 42);
  EXPECT_EQ(blob->size(), 6u);
  EXPECT_EQ(blob->byteSize(), 6u);
}

TEST(Blob, RefusesUnfitMemory) {
  std::vector<float> values(4);
  const ie::TensorDesc u8(ie::Precision::U8, {4}, ie::Layout::C);
  const ie::TensorDesc fp32(ie::Precision::FP32, {4}, ie::Layout::C);
  EXPECT_THROW(ie::make_shared_blob<float>(u8, values.data()), ie::Exception);
  EXPECT_THROW(ie::make_shared_blob<float>(fp32, static_cast<float*>(nullptr)), ie::Exception);
  EXPECT_THROW(ie::make_shared_blob<float>(fp32, values.data(), 3), ie::Exception);
  EXPECT_NO_THROW(ie::make_shared_blob<float>(fp32, values.data(), 4));
}

TEST(Blob, AllocatedBlobsAreZeroAndTyped) {
  auto blob = ie::make_shared_blob<float>(
      ie::TensorDesc(ie::Precision::FP32, {1, 2, 2, 1}, ie::Layout::NCHW));
  EXPECT_EQ(blob->rmap().as<const float*>(), nullptr);
  blob->allocate();
  const float* data = blob->rmap().as<const float*>();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::count(data, data + 4, 0.0f), 4);
  EXPECT_EQ(blob->byteSize(), 16u);
  const ie::Blob::Ptr base = blob;
  EXPECT_NE(ie::as<ie::MemoryBlob>(base), nullptr);
  EXPECT_EQ(ie::as<ie::MemoryBlob>(ie::Blob::Ptr()), nullptr);
}

TEST(TensorDesc, LayoutMustFitTheRank) {
  EXPECT_THROW(ie::TensorDesc(ie::Precision::FP32, {1, 2, 3}, ie::Layout::NCHW), ie::Exception);
  EXPECT_NO_THROW(ie::TensorDesc(ie::Precision::FP32, {1, 2, 3}, ie::Layout::ANY));
  EXPECT_EQ(ie::Precision(ie::Precision::FP16).size(), 2u);
  EXPECT_STREQ(ie::Precision(ie::Precision::U8).name(), "U8");
}

}  // namespace
