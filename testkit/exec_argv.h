// The argument vector that starts one of the project's programs from a test.
// When the tests run under an emulator (cross builds: no binfmt_misc to hand
// an ARM binary to qemu), the program has to be started through it as well.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#ifndef QLT_EXEC_LAUNCHER
#define QLT_EXEC_LAUNCHER ""
#endif

inline std::vector<std::string> exec_argv(const std::string& program) {
  std::vector<std::string> argv;
  std::istringstream launcher(QLT_EXEC_LAUNCHER);
  for (std::string word; launcher >> word;) argv.push_back(word);
  argv.push_back(program);
  return argv;
}
