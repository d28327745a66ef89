/* Fuzz target of the class-file parser and the zip entry finder. Every input is parsed
   as a class file into a fresh shell named as the input's own this_class (so that the
   parse gets past the name check), then walked as a zip archive. Nothing may crash, hang
   or leak; ClassFormatError and friends are the expected answers.

   Built and run by fuzz/run.sh: with libFuzzer when clang can link it for -m32, else
   with the standalone driver of fuzz_common.h, which mutates the seed corpus for a
   fixed time. */
#define PUX_FUZZ_NAME "parser_fuzz"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  classfile_test::ClassWorld* world = fuzz_common::NextWorld();
  JNIHostFunctions* host = refhost::Functions();
  if (VMLoadableClass* shell = fuzz_common::ShellFor(world, data, size)) {
    {
      VMStatus first = world->loader->Load(shell, data, (uint32_t)size);
      if (first != 0) {
        // A failed parse must leave a plain shell: trying again fails again (perhaps
        // earlier, as classes it loaded on the way are known now) and leaks nothing.
        VMStatus again = world->loader->Load(shell, data, (uint32_t)size);
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
      world->DropLoose(shell);
    }
  }
  void* s = refhost::OpenMemoryStream(data, (uint32_t)size);
  if (s != nullptr) {
    uint32_t csize = 0;
    VMClassLoader::FindInZipFile(s, "p/A.class", &csize);
    host->StreamClose(s);
  }
  return 0;
}
