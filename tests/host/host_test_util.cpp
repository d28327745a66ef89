#include "host_test_util.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

void Put2(std::string& s, uint32_t v) {
  s += (char)(v & 0xFF);
  s += (char)((v >> 8) & 0xFF);
}
void Put4(std::string& s, uint32_t v) {
  Put2(s, v & 0xFFFF);
  Put2(s, v >> 16);
}

std::string RawDeflate(const std::string& data) {
  z_stream z;
  memset(&z, 0, sizeof z);
  EXPECT_EQ(Z_OK, deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY));
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = (Bytef*)data.data();
  z.avail_in = data.size();
  z.next_out = (Bytef*)&out[0];
  z.avail_out = out.size();
  EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

void ZipBuilder::Add(const std::string& name, const std::string& data, bool deflate, bool descriptorFlag) {
  Entry e;
  e.name = name;
  e.usize = data.size();
  e.crc = crc32(0, (const Bytef*)data.data(), data.size());
  e.method = deflate ? 8 : 0;
  e.flags = descriptorFlag ? 8 : 0;
  e.stored = deflate ? RawDeflate(data) : data;
  entries_.push_back(e);
}

std::string ZipBuilder::Bytes() const {
  // The fields the local and the central header share, from the flags to the name length.
  auto putShared = [](std::string& s, const Entry& e) {
    Put2(s, e.flags);
    Put2(s, e.method);
    Put2(s, 0);
    Put2(s, 0x21);
    Put4(s, e.crc);
    Put4(s, e.stored.size());
    Put4(s, e.usize);
    Put2(s, e.name.size());
  };
  std::string out = prefix_, central;
  for (const Entry& e : entries_) {
    uint32_t offset = out.size() - prefix_.size();
    Put4(out, 0x04034B50);
    Put2(out, 20);
    putShared(out, e);
    Put2(out, 4);
    out += e.name;
    out += std::string("\xFE\xCA\0\0", 4);  /* an extra field the walk has to skip */
    out += e.stored;

    Put4(central, 0x02014B50);
    Put2(central, 20);
    Put2(central, 20);
    putShared(central, e);
    Put2(central, 0);
    Put2(central, 0);
    Put2(central, 0);
    Put2(central, 0);
    Put4(central, 0);
    Put4(central, offset);
    central += e.name;
  }
  uint32_t cdOffset = out.size() - prefix_.size();
  out += central;
  Put4(out, 0x06054B50);
  Put2(out, 0);
  Put2(out, 0);
  Put2(out, entries_.size());
  Put2(out, entries_.size());
  Put4(out, central.size());
  Put4(out, cdOffset);
  Put2(out, 0);
  return out;
}

void ZipBuilder::WriteTo(const std::string& path) const {
  std::string bytes = Bytes();
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(nullptr, f);
  ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), f));
  fclose(f);
}

TempDir::TempDir() {
  std::string base = std::string(PUX_BUILD_DIR) + "/tmp";
  mkdir(base.c_str(), 0777);
  std::string templ = base + "/hostXXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back(0);
  char* made = mkdtemp(buf.data());
  EXPECT_NE(nullptr, made);
  path_ = made ? made : base;
}

TempDir::~TempDir() {
  std::string cmd = "rm -rf '" + path_ + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path_.c_str());
}

std::string TempDir::Write(const std::string& relative, const std::string& data) const {
  std::string full = path_ + "/" + relative;
  for (size_t i = path_.size() + 1; i < full.size(); i++) {
    if (full[i] == '/') mkdir(full.substr(0, i).c_str(), 0777);
  }
  FILE* f = fopen(full.c_str(), "wb");
  EXPECT_NE(nullptr, f);
  if (f) {
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
  }
  return full;
}

std::vector<std::pair<void*, size_t>> TakeAddressSpace(size_t leave) {
  std::vector<std::pair<void*, size_t>> taken;
  taken.reserve(1 << 16);
  for (size_t size = 1u << 30; size >= 4096; size /= 2)
    while (taken.size() < taken.capacity()) {
      void* p = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
      if (p == MAP_FAILED) break;
      taken.push_back({p, size});
    }
  size_t left = 0;
  while (left < leave && !taken.empty()) {
    munmap(taken.back().first, taken.back().second);
    left += taken.back().second;
    taken.pop_back();
  }
  return taken;
}
