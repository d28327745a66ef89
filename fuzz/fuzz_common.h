/* What the fuzz targets share: a class world on the class path named by
   PUX_FUZZ_CLASSPATH, made afresh now and then because interned names pile up across
   inputs; the shell an input parses into, named as the input's own this_class (so that
   the parse gets past the name check); and, for when clang cannot link libFuzzer for
   -m32, a standalone driver that mutates the seed files of a directory (byte flips, byte
   sets, cuts, duplicated runs, 16-bit boundary values) for a number of seconds. A target
   defines PUX_FUZZ_NAME before including this header. */
#ifndef PUX_FUZZ_COMMON_H
#define PUX_FUZZ_COMMON_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../tests/unit/classfile_world.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz_common {

inline classfile_test::ClassWorld*& World() {
  static classfile_test::ClassWorld* world = nullptr;
  return world;
}
inline std::string& ClassPath() {
  static std::string path;
  return path;
}

/* The world for the next input. */
inline classfile_test::ClassWorld* NextWorld() {
  static int inputs = 0;
  classfile_test::ClassWorld*& world = World();
  if (world == nullptr || ++inputs % 5000 == 0) {
    if (world != nullptr) {
      world->Destroy();
      delete world;
    }
    world = new classfile_test::ClassWorld();
    if (!world->Create(ClassPath())) {
      fprintf(stderr, PUX_FUZZ_NAME ": cannot make the class world\n");
      abort();
    }
  }
  return world;
}

/* A loose shell named as the input's this_class; NULL when the input names none. */
inline VMLoadableClass* ShellFor(classfile_test::ClassWorld* world, const uint8_t* data, size_t size) {
  void* s = refhost::OpenMemoryStream(data, (uint32_t)size);
  if (s == nullptr) return nullptr;
  char name[512];
  bool named = VMClassLoader::GetClassInfo(s, name, sizeof name, nullptr) == 0;
  refhost::Functions()->StreamClose(s);
  if (!named || name[0] == 0) return nullptr;
  for (char* p = name; *p; p++)
    if (*p == '.') *p = '/';
  return world->LooseShell(name);
}

}  // namespace fuzz_common

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* cp = getenv("PUX_FUZZ_CLASSPATH");
  fuzz_common::ClassPath() = cp != nullptr ? cp : "";
  return 0;
}

#ifdef PUX_FUZZ_STANDALONE
#include <dirent.h>
#include <time.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s seconds seed-dir\n", argv[0]);
    return 2;
  }
  int seconds = atoi(argv[1]);
  LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::vector<uint8_t>> seeds;
  if (DIR* d = opendir(argv[2])) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::string path = std::string(argv[2]) + "/" + e->d_name;
      FILE* f = fopen(path.c_str(), "rb");
      if (!f) continue;
      std::vector<uint8_t> b;
      uint8_t buf[4096];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
      fclose(f);
      if (!b.empty()) seeds.push_back(b);
    }
    closedir(d);
  }
  if (seeds.empty()) {
    fprintf(stderr, PUX_FUZZ_NAME ": no seeds in %s\n", argv[2]);
    return 2;
  }
  srand(12345);
  time_t end = time(nullptr) + seconds;
  unsigned long runs = 0;
  while (time(nullptr) < end) {
    std::vector<uint8_t> b = seeds[(size_t)rand() % seeds.size()];
    int edits = 1 + rand() % 8;
    for (int k = 0; k < edits && !b.empty(); k++) {
      size_t at = (size_t)rand() % b.size();
      switch (rand() % 6) {
        case 0: b[at] ^= (uint8_t)(1u << (rand() % 8)); break;
        case 1: b[at] = (uint8_t)rand(); break;
        case 2: b.resize(at); break;
        case 3: {
          size_t len = (size_t)rand() % 16;
          if (at + len <= b.size()) b.insert(b.begin() + at, b.begin() + at, b.begin() + at + len);
          break;
        }
        case 4: {
          static const uint16_t kEdges[] = {0, 1, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF};
          uint16_t v = kEdges[rand() % 8];
          if (at + 1 < b.size()) {
            b[at] = (uint8_t)(v >> 8);
            b[at + 1] = (uint8_t)v;
          }
          break;
        }
        default: b.erase(b.begin() + at); break;
      }
    }
    LLVMFuzzerTestOneInput(b.data(), b.size());
    runs++;
  }
  printf(PUX_FUZZ_NAME ": %lu runs in %d s, no failure\n", runs, seconds);
  return 0;
}
#endif

#endif
