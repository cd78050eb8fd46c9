// A file name in the temporary folder that no other test, and no other run
// of the suite going on at the same time, uses.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

inline std::string unique_temp_path(const std::string& suffix) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return ::testing::TempDir() + "kpl-" + info->test_suite_name() + "-" + info->name() + "-" +
         std::to_string(getpid()) + suffix;
}
