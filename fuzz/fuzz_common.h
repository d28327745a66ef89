/* What the fuzz targets share: a class world on the class path named by
   PUX_FUZZ_CLASSPATH, made afresh now and then because interned names pile up across
   inputs; the shell an input parses into, named as the input's own this_class (so that
   the parse gets past the name check); and, for when clang cannot link libFuzzer for
   -m32, a standalone driver that mutates the seed files of directories (byte flips, byte
   sets, cuts, duplicated runs, 16-bit boundary values) on libFuzzer's command line. A
   target defines PUX_FUZZ_NAME before including this header. */
#ifndef PUX_FUZZ_COMMON_H
#define PUX_FUZZ_COMMON_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
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
  // The build's own class library when no other is named, so that a failing input can be
  // replayed by running the target on it alone.
  const char* cp = getenv("PUX_FUZZ_CLASSPATH");
#ifdef PUX_BUILD_DIR
  if (cp == nullptr || cp[0] == 0) cp = PUX_BUILD_DIR "/classlib.zip";
#endif
  fuzz_common::ClassPath() = cp != nullptr ? cp : "";
  return 0;
}

#ifdef PUX_FUZZ_STANDALONE
/* The driver for when libFuzzer does not link. It takes libFuzzer's command line, as far
   as the scripts use it, so that they need not know which driver they run:
     target [-max_total_time=S] [-runs=N] [-timeout=S] [-artifact_prefix=P] [-seed=N] DIR|FILE...
   With directories, every file in them is a seed: each runs once as it is, then mutated
   seeds run until the time or the run count is spent. With files only, each runs once.
   The input that crashes, trips a sanitizer or runs past the timeout is written to
   <artifact_prefix>crash-<hash> (timeout-<hash>). Other libFuzzer options are ignored. */
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define PUX_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PUX_FUZZ_ASAN 1
#endif
#endif
#ifdef PUX_FUZZ_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

namespace fuzz_standalone {

const uint8_t* volatile current = nullptr;
volatile size_t currentSize = 0;
char artifactPrefix[1024] = "./";
unsigned timeoutSeconds = 1200;

/* Writes the running input where the scripts look for it. Runs in a dying process, so it
   sticks to write(2) and its own formatting. */
void WriteArtifact(const char* kind) {
  const uint8_t* data = current;
  size_t size = currentSize;
  if (data == nullptr) return;  // between inputs: nothing of the input to blame
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < size; i++) h = (h ^ data[i]) * 1099511628211ull;
  char path[1200];
  size_t n = 0;
  for (const char* p = artifactPrefix; *p && n < 1024; p++) path[n++] = *p;
  for (const char* p = kind; *p; p++) path[n++] = *p;
  path[n++] = '-';
  for (int shift = 60; shift >= 0; shift -= 4) path[n++] = "0123456789abcdef"[(h >> shift) & 15];
  path[n] = 0;
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  for (size_t done = 0; done < size;) {
    ssize_t w = write(fd, data + done, size - done);
    if (w <= 0) break;
    done += (size_t)w;
  }
  close(fd);
  static const char note[] = "\nstandalone driver: the failing input is written to ";
  (void)!write(2, note, sizeof note - 1);
  (void)!write(2, path, n);
  (void)!write(2, "\n", 1);
}

extern "C" void OnDeath() { WriteArtifact("crash"); }

}  // namespace fuzz_standalone

/* An undefined-behaviour report ends in abort(), which writes the input, even where that
   sanitizer's runtime is a library of its own (g++) that calls no death callback of ASan. */
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1:abort_on_error=1"; }

namespace fuzz_standalone {

void OnSignal(int sig) {
  if (sig == SIGALRM) {
    static const char text[] = "\nstandalone driver: an input ran past the timeout\n";
    (void)!write(2, text, sizeof text - 1);
    WriteArtifact("timeout");
    _exit(70);
  }
  WriteArtifact("crash");
  signal(sig, SIG_DFL);
  raise(sig);
}

void Run(const std::vector<uint8_t>& input) {
  // A copy of its own, so that the sanitizers see reads past the end.
  uint8_t* copy = (uint8_t*)malloc(input.empty() ? 1 : input.size());
  if (!input.empty()) memcpy(copy, input.data(), input.size());
  current = copy;
  currentSize = input.size();
  alarm(timeoutSeconds);
  LLVMFuzzerTestOneInput(copy, input.size());
  alarm(0);
  current = nullptr;
  currentSize = 0;
  free(copy);
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  uint8_t buf[4096];
  size_t n;
  out->clear();
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  fclose(f);
  return true;
}

void Mutate(std::vector<uint8_t>& b) {
  int edits = 1 + rand() % 8;
  for (int k = 0; k < edits && !b.empty(); k++) {
    size_t at = (size_t)rand() % b.size();
    switch (rand() % 6) {
      case 0: b[at] ^= (uint8_t)(1u << (rand() % 8)); break;
      case 1: b[at] = (uint8_t)rand(); break;
      case 2: b.resize(at); break;
      case 3: {
        size_t len = (size_t)rand() % 16;
        if (at + len <= b.size()) {
          std::vector<uint8_t> run(b.begin() + at, b.begin() + at + len);
          b.insert(b.begin() + at, run.begin(), run.end());
        }
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
}

}  // namespace fuzz_standalone

int main(int argc, char** argv) {
  using namespace fuzz_standalone;
  long maxTime = 0, runs = -1;
  unsigned seed = (unsigned)time(nullptr);
  std::vector<std::string> dirs, files;
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    if (a[0] == '-') {
      if (strncmp(a, "-max_total_time=", 16) == 0) maxTime = atol(a + 16);
      else if (strncmp(a, "-runs=", 6) == 0) runs = atol(a + 6);
      else if (strncmp(a, "-timeout=", 9) == 0) timeoutSeconds = (unsigned)atol(a + 9);
      else if (strncmp(a, "-seed=", 6) == 0) seed = (unsigned)strtoul(a + 6, nullptr, 10);
      else if (strncmp(a, "-artifact_prefix=", 17) == 0)
        snprintf(artifactPrefix, sizeof artifactPrefix, "%s", a + 17);
      continue;
    }
    struct stat st;
    if (stat(a, &st) == 0 && S_ISDIR(st.st_mode)) dirs.push_back(a);
    else files.push_back(a);
  }
  LLVMFuzzerInitialize(&argc, &argv);
#ifdef PUX_FUZZ_ASAN
  __sanitizer_set_death_callback(OnDeath);
#else
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) signal(sig, OnSignal);
#endif
  signal(SIGABRT, OnSignal);
  signal(SIGALRM, OnSignal);
  std::vector<uint8_t> b;
  if (dirs.empty()) {
    if (files.empty()) {
      fprintf(stderr, "usage: %s [-max_total_time=S] [-runs=N] [-timeout=S] [-artifact_prefix=P] DIR|FILE...\n",
              argv[0]);
      return 2;
    }
    for (const std::string& f : files) {
      if (!ReadFile(f, &b)) {
        fprintf(stderr, PUX_FUZZ_NAME ": cannot read %s\n", f.c_str());
        return 2;
      }
      fprintf(stderr, "Running: %s\n", f.c_str());
      Run(b);
    }
    fprintf(stderr, "Executed %zu inputs\n", files.size());
    return 0;
  }
  std::vector<std::vector<uint8_t>> seeds;
  for (const std::string& dir : dirs) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) continue;
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
      if (ReadFile(dir + "/" + name, &b)) seeds.push_back(b);
  }
  if (seeds.empty()) seeds.push_back(std::vector<uint8_t>());
  fprintf(stderr, PUX_FUZZ_NAME ": standalone driver, seed %u, %zu seeds\n", seed, seeds.size());
  srand(seed);
  time_t start = time(nullptr);
  unsigned long done = 0;
  for (const std::vector<uint8_t>& s : seeds) {
    Run(s);
    done++;
  }
  fprintf(stderr, "INITED: every seed ran once\n");
  while ((maxTime <= 0 || time(nullptr) < start + maxTime) && (runs < 0 || done < (unsigned long)runs)) {
    b = seeds[(size_t)rand() % seeds.size()];
    Mutate(b);
    Run(b);
    done++;
  }
  fprintf(stderr, "Done %lu runs in %ld second(s)\n", done, (long)(time(nullptr) - start));
  return 0;
}
#endif

#endif
