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

#define PUX_FUZZ_NAME "parser_fuzz"
#include "fuzz_driver.h"
