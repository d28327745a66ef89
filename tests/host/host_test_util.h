/* Helpers shared by the reference host's tests. */
#ifndef PUX_HOST_TEST_UTIL_H
#define PUX_HOST_TEST_UTIL_H

#include <gtest/gtest.h>

#include "refhost.h"

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <utility>
#include <thread>
#include <vector>

/* Every case starts from the default hooks and leaves them so. */
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    host = refhost::Functions();
    // The host inflates archive entries through the machine it finds in the process, as
    // a server does once it has loaded the library: keep the library loaded.
    ASSERT_NE(nullptr, JNI_GetEntryPoints());
  }
  void TearDown() override { refhost::ResetHooks(); }
  JNIHostFunctions* host = nullptr;
};

/* A zip archive built in memory: stored and deflated entries, with a central directory. */
class ZipBuilder {
 public:
  void Add(const std::string& name, const std::string& data, bool deflate, bool descriptorFlag = false);
  /* Bytes placed before the first local header (as in a self-extracting archive). */
  void Prefix(const std::string& bytes) { prefix_ = bytes; }
  std::string Bytes() const;
  void WriteTo(const std::string& path) const;

 private:
  struct Entry {
    std::string name, stored;
    uint32_t crc, usize;
    uint16_t method, flags;
  };
  std::vector<Entry> entries_;
  std::string prefix_;
};

/* A fresh directory under the build tree, removed at destruction. */
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string Write(const std::string& relative, const std::string& data) const;

 private:
  std::string path_;
};

/* Maps the address space there is in pieces of every size from 1 GiB down, leaving
   about `leave` bytes free: a host's own memory, or another heap's. The caller unmaps. */
std::vector<std::pair<void*, size_t>> TakeAddressSpace(size_t leave);

#endif
