/* Test programs mark the lines the debugger tests aim at with a trailing "// @name"
   comment, so that editing a program does not silently move a breakpoint. */
#ifndef PUX_TESTS_MARKED_LINE_H
#define PUX_TESTS_MARKED_LINE_H

#include <gtest/gtest.h>
#include <stdint.h>

#include <fstream>
#include <string>

/* The line of the marker "// @name" in a program of dbgtest. */
inline uint32_t MarkedLine(const char* file, const char* name) {
  std::ifstream in(std::string(PUX_SOURCE_DIR) + "/tests/java/debugger/dbgtest/" + file);
  std::string text;
  std::string marker = std::string("// @") + name;
  for (uint32_t line = 1; std::getline(in, text); line++) {
    size_t at = text.find(marker);
    if (at != std::string::npos && at + marker.size() == text.size()) return line;
  }
  ADD_FAILURE() << "no marker " << name << " in " << file;
  return 0;
}

#endif
