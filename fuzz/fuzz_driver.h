/* The standalone driver of the fuzz targets, for when clang cannot link libFuzzer for
   -m32: mutates the seed files of a directory (byte flips, byte sets, cuts, duplicated
   runs, 16-bit boundary values) for the given number of seconds. A target includes this
   header last, with PUX_FUZZ_NAME set to its name. */
#ifndef PUX_FUZZ_DRIVER_H
#define PUX_FUZZ_DRIVER_H
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
