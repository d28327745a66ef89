/* Parser throughput: every class of the library archive parsed 100 times from memory
   into a fresh shell, reported as classes per second and microseconds per kilobyte of
   class file. The bytes are read from the archive once, through the host and the zip
   entry finder, so only the parse itself is timed. */
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../tests/unit/classfile_world.h"

using classfile_test::ClassWorld;

namespace {

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

/* The class names of the archive, from its central directory. */
std::vector<std::string> ClassNames(const std::string& path) {
  std::vector<std::string> names;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return names;
  std::vector<uint8_t> b;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
  fclose(f);
  auto le2 = [&](size_t p) { return (uint32_t)(b[p] | b[p + 1] << 8); };
  auto le4 = [&](size_t p) { return le2(p) | le2(p + 2) << 16; };
  for (size_t p = 0; p + 46 <= b.size(); p++) {
    if (le4(p) != 0x02014B50u) continue;
    uint32_t len = le2(p + 28);
    if (p + 46 + len > b.size()) break;
    std::string name((const char*)&b[p + 46], len);
    if (name.size() > 6 && name.compare(name.size() - 6, 6, ".class") == 0)
      names.push_back(name.substr(0, name.size() - 6));
    p += 45 + len;
  }
  return names;
}

/* The build directory: the benchmark binary lives in it. */
std::string BuildDir() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string p(path, (size_t)n);
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? "." : p.substr(0, slash);
}

}  // namespace

int main() {
  const int kRounds = 100;
  std::string zip = BuildDir() + "/classlib.zip";
  ClassWorld world;
  if (!world.Create(zip)) {
    fprintf(stderr, "classparse: cannot make the class world\n");
    return 1;
  }
  JNIHostFunctions* host = refhost::Functions();
  std::vector<std::string> names;
  std::vector<std::vector<uint8_t>> files;
  uint64_t bytes = 0;
  for (const std::string& name : ClassNames(zip)) {
    void* s = host->OpenClassStream(name.c_str(), &VMClassLoader::FindInZipFile, nullptr);
    if (!s) continue;
    std::vector<uint8_t> data((size_t)host->StreamSize(s));
    host->StreamRead(s, data.data(), (jint)data.size());
    host->StreamClose(s);
    bytes += data.size();
    names.push_back(name);
    files.push_back(data);
  }
  // One untimed round loads what the classes' interfaces need.
  for (size_t i = 0; i < files.size(); i++) {
    VMLoadableClass* shell = world.LooseShell(names[i].c_str());
    if (world.loader->Load(shell, files[i].data(), (uint32_t)files[i].size()) != 0)
      fprintf(stderr, "classparse: %s does not parse\n", names[i].c_str());
    world.DropLoose(shell);
  }
  double start = Now();
  uint64_t parsed = 0;
  for (int r = 0; r < kRounds; r++) {
    for (size_t i = 0; i < files.size(); i++) {
      VMLoadableClass* shell = world.LooseShell(names[i].c_str());
      if (world.loader->Load(shell, files[i].data(), (uint32_t)files[i].size()) == 0) parsed++;
      world.DropLoose(shell);
    }
  }
  double seconds = Now() - start;
  printf("classparse: %zu classes, %llu bytes, %d rounds, %.3f s\n", files.size(),
         (unsigned long long)bytes, kRounds, seconds);
  printf("classparse: %.0f classes/s, %.2f us/KB\n", parsed / seconds,
         seconds * 1e6 / ((double)bytes * kRounds / 1024.0));
  world.Destroy();
  return parsed == files.size() * kRounds ? 0 : 1;
}
