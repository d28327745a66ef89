/* Fuzz target of the class-file parser and the zip entry finder. Every input is parsed
   as a class file into a fresh shell named as the input's own this_class (so that the
   parse gets past the name check), then walked as a zip archive. Nothing may crash, hang
   or leak; ClassFormatError and friends are the expected answers.

   Built and run by fuzz/run.sh: with libFuzzer when clang can link it for -m32, else
   with the standalone driver at the end of this file, which mutates the seed corpus for
   a fixed time. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../tests/unit/classfile_world.h"

using classfile_test::ClassWorld;

namespace {

ClassWorld* gWorld = nullptr;
int gInputs = 0;
std::string gClassPath;

void FreshWorld() {
  if (gWorld != nullptr) {
    gWorld->Destroy();
    delete gWorld;
  }
  gWorld = new ClassWorld();
  if (!gWorld->Create(gClassPath)) {
    fprintf(stderr, "parser_fuzz: cannot make the class world\n");
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  // Interned names pile up across inputs: start over now and then.
  if (gWorld == nullptr || ++gInputs % 5000 == 0) FreshWorld();
  JNIHostFunctions* host = refhost::Functions();
  void* s = refhost::OpenMemoryStream(data, (uint32_t)size);
  if (s == nullptr) return 0;
  char name[512];
  bool named = VMClassLoader::GetClassInfo(s, name, sizeof name, nullptr) == 0;
  host->StreamClose(s);
  if (named && name[0] != 0) {
    for (char* p = name; *p; p++)
      if (*p == '.') *p = '/';
    VMLoadableClass* shell = gWorld->LooseShell(name);
    if (shell != nullptr) {
      VMStatus first = gWorld->loader->Load(shell, data, (uint32_t)size);
      if (first != 0) {
        // A failed parse must leave a plain shell: trying again fails again (perhaps
        // earlier, as classes it loaded on the way are known now) and leaks nothing.
        VMStatus again = gWorld->loader->Load(shell, data, (uint32_t)size);
        if (again == 0) {
          fprintf(stderr, "parser_fuzz: a retried parse gave %d after %d\n", (int)again, (int)first);
          abort();
        }
      } else if (VMConstantPool* pool = shell->GetConstantPool()) {
        // Queries that read a loaded pool without loading anything else.
        for (uint32_t i = 1; i < pool->GetCount(); i++) {
          VMLiteral* n = nullptr;
          VMLiteral* d = nullptr;
          (void)pool->GetMemberRef(i, &n, &d);
          (void)pool->GetConstClassName(i);
          (void)pool->GetConstUtf8(shell, i);
        }
      }
      gWorld->DropLoose(shell);
    }
  }
  s = refhost::OpenMemoryStream(data, (uint32_t)size);
  if (s != nullptr) {
    uint32_t csize = 0;
    VMClassLoader::FindInZipFile(s, "p/A.class", &csize);
    host->StreamClose(s);
  }
  return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* cp = getenv("PUX_FUZZ_CLASSPATH");
  gClassPath = cp != nullptr ? cp : "";
  return 0;
}

#ifdef PUX_FUZZ_STANDALONE
/* Mutates the seed files given on the command line (byte flips, byte sets, cuts,
   duplicated runs, 16-bit boundary values) for the given number of seconds. */
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
    fprintf(stderr, "parser_fuzz: no seeds in %s\n", argv[2]);
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
  printf("parser_fuzz: %lu runs in %d s, no failure\n", runs, seconds);
  return 0;
}
#endif
