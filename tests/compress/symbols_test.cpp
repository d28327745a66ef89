/* No name of ours may be a symbol of the system zlib, which the machine links for its
   checksums and the host may call itself: an exported "deflate" or "inflateInit2_" would
   capture the host's calls. The machine's dynamic symbols are compared with the names
   the system library defines. */
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <zlib.h>

#include <set>
#include <string>

#include "deflate.h"

namespace compress_test {
namespace {

std::set<std::string> DynamicSymbols(const std::string& library, const char* which) {
  std::set<std::string> names;
  std::string command = "nm -D " + std::string(which) + " '" + library + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[4096];
  while (fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    size_t space = text.rfind(' ');
    std::string name = space == std::string::npos ? text : text.substr(space + 1);
    size_t at = name.find('@');
    if (at != std::string::npos) name = name.substr(0, at);
    if (!name.empty()) names.insert(name);
  }
  pclose(pipe);
  return names;
}

std::string LibraryOf(const void* address) {
  Dl_info info;
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return "";
  return info.dli_fname;
}

TEST(Symbols, TheMachineDefinesNoNameOfTheSystemZlib) {
  std::string machine = LibraryOf(reinterpret_cast<const void*>(&puxz::deflate));
  std::string zlib = LibraryOf(reinterpret_cast<const void*>(&::deflate));
  ASSERT_NE(std::string::npos, machine.find("libpuxjvm")) << machine;
  ASSERT_NE(std::string::npos, zlib.find("libz")) << "the test's own zlib calls reach " << zlib;
  EXPECT_EQ(zlib, LibraryOf(reinterpret_cast<const void*>(&::inflateInit2_)));
  EXPECT_EQ(zlib, LibraryOf(reinterpret_cast<const void*>(&::adler32)));

  std::set<std::string> theirs = DynamicSymbols(zlib, "--defined-only");
  ASSERT_GT(theirs.size(), 50u) << "nm could not list " << zlib;
  ASSERT_TRUE(theirs.count("deflate") && theirs.count("inflate") && theirs.count("adler32"));
  std::set<std::string> ours = DynamicSymbols(machine, "--defined-only");
  ASSERT_GT(ours.size(), 100u);
  for (const std::string& name : ours) EXPECT_EQ(0u, theirs.count(name)) << "the machine exports " << name;
  for (const char* name : {"zcalloc", "zcfree", "z_errmsg", "_tr_init", "deflate_copyright"}) {
    EXPECT_EQ(0u, ours.count(name)) << name;
  }
  // What the machine takes from zlib: the two checksums, nothing else. The optimised build
  // links its own copy of them and keeps it private (local symbols): it then takes
  // nothing from the shared library.
  std::set<std::string> needed = DynamicSymbols(machine, "--undefined-only");
  std::set<std::string> fromZlib;
  for (const std::string& name : needed) {
    if (theirs.count(name)) fromZlib.insert(name);
  }
  if (fromZlib.empty()) {
    std::string command = "nm '" + machine + "' 2>/dev/null | grep -cE ' t (adler32|crc32)$'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    int count = 0;
    EXPECT_EQ(1, fscanf(pipe, "%d", &count));
    pclose(pipe);
    EXPECT_EQ(2, count) << "the machine neither imports the checksums nor carries them privately";
  } else {
    EXPECT_EQ((std::set<std::string>{"adler32", "crc32"}), fromZlib);
  }
}

}  // namespace
}  // namespace compress_test
