// The tests' main thread in the multithreaded COM apartment for the whole run: a gtest
// environment that each test program registers once.
#pragma once

#include <gtest/gtest.h>
#include <objbase.h>

namespace pixora::test {

class ComThread : public ::testing::Environment {
 public:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void TearDown() override { CoUninitialize(); }
};

}  // namespace pixora::test
