/* Fuzz target of the class-file parser, the class loaders and the zip entry finder.
   Every input goes three ways:
   - parsed as a class file from memory into a fresh shell named as the input's own
     this_class (so that the parse gets past the name check); when it loads, the class is
     linked and every constant-pool entry resolved;
   - written as a class file into a class-path directory, and into archives (stored,
     deflated, sizes after the data), and loaded by name through the host's streams by a
     loader of its own, which then reads the debug tables and is destroyed;
   - taken as an archive on a class path, whose entries the host opens through the
     machine's entry finder and its own central directory, and reads to the end.
   Nothing may crash, hang or leak; ClassFormatError and friends are the expected answers.

   Built and run by fuzz/run.sh: with libFuzzer when clang can link it for -m32, else
   with the standalone driver of fuzz_common.h, which mutates the seed corpus for a
   fixed time. */
#define PUX_FUZZ_NAME "parser_fuzz"
#include "fuzz_common.h"

#include <sys/stat.h>
#include <unistd.h>

#include "../tests/unit/classfile_support.h"

using classfile_test::Bytes;
using classfile_test::ClassWorld;

namespace {

/* A scratch directory of this process, removed at exit. */
const std::string& Scratch() {
  static std::string path;
  if (path.empty()) {
    char scratch[] = "/tmp/parser_fuzz.XXXXXX";
    if (mkdtemp(scratch) == nullptr) {
      fprintf(stderr, "parser_fuzz: no scratch directory\n");
      abort();
    }
    path = scratch;
    mkdir((path + "/dir").c_str(), 0777);
    atexit([] { classfile_test::RemoveTree(path); });
  }
  return path;
}

/* Links a loaded class and resolves every entry of its pool the ways the interpreter
   will: classes with and without initialising, members with and without invokespecial. */
void ResolveEverything(VMLoadableClass* cls) {
  (void)cls->Prepare(nullptr);
  VMConstantPool* pool = cls->GetConstantPool();
  if (pool == nullptr) return;
  for (uint32_t i = 1; i < pool->GetCount(); i++) {
    VMStatus status = 0;
    VMLiteral* n = nullptr;
    VMLiteral* d = nullptr;
    (void)pool->GetMemberRef(i, &n, &d);
    (void)pool->GetConstClassName(i);
    (void)pool->GetFieldName(i);
    switch (pool->GetConstType(i)) {
      case VMConstantPool::TYPE_Utf8: (void)pool->GetConstUtf8(cls, i); break;
      case VMConstantPool::TYPE_String: (void)pool->GetConstString(cls, i); break;
      case VMConstantPool::TYPE_Class:
        (void)pool->GetConstClass(i, &status, false);
        (void)pool->GetConstClass(i, &status, true);
        break;
      case VMConstantPool::TYPE_FieldRef: (void)pool->GetConstField(cls, i, &status); break;
      case VMConstantPool::TYPE_MethodRef:
        (void)pool->GetConstMethod(cls, i, &status, true);
        (void)pool->GetConstMethod(cls, i, &status, false);
        break;
      case VMConstantPool::TYPE_InterfaceMethodRef: (void)pool->GetConstInterfaceMethod(i, &status); break;
      default: break;
    }
  }
  cls->LoadAllReferences();
}

/* A class name that stays inside a class-path directory as a relative path (as the
   host requires too), whose directories are made under dir. */
bool PlaceableName(const std::string& dir, const char* name) {
  std::string path = dir;
  const char* segment = name;
  for (const char* p = name;; p++) {
    if (*p != '/' && *p != 0) continue;
    size_t n = (size_t)(p - segment);
    if (n == 0 || (n == 1 && segment[0] == '.') || (n == 2 && segment[0] == '.' && segment[1] == '.'))
      return false;
    if (*p == 0) return true;
    path += "/" + std::string(segment, n);
    mkdir(path.c_str(), 0777);
    segment = p + 1;
  }
}

/* Loads the class of that name with a loader of its own whose class path is `path`,
   reads its debug tables, and destroys the loader with everything it made. */
void LoadThroughClassPath(ClassWorld* world, const std::string& path, const char* name) {
  void* id = (void*)0xF0F0;
  refhost::SetClassPath(id, path);
  VMClassLoader* loader = VMClassLoader::CreateInstance(world->ns, id);
  if (loader != nullptr) {
    VMClass* cls = VMClass::FindByName(world->ns, world->Lit(name), loader);
    if (cls != nullptr && cls->GetIsLoadable() && cls->GetClassLoader() == loader) {
      VMLoadableClass* loadable = (VMLoadableClass*)cls;
      if (loadable->Load() == 0) {
        (void)loader->LoadDebugInfo(loadable);
        ResolveEverything(loadable);
      }
    }
    loader->Destroy(world->heap);
  }
  refhost::SetClassPath(id, "");
}

/* Opens the entry through the host, with and without the machine's finder, and reads it
   to the end. */
void ReadArchiveEntry(void* id, const char* name) {
  JNIHostFunctions* host = refhost::Functions();
  for (JNIHostFindInZipFileFn finder : {&VMClassLoader::FindInZipFile, (JNIHostFindInZipFileFn) nullptr}) {
    void* s = host->OpenClassStream(name, finder, id);
    if (s == nullptr) continue;
    uint8_t buffer[4096];
    while (host->StreamRead(s, buffer, sizeof buffer) > 0) {
    }
    (void)host->StreamSize(s);
    host->StreamClose(s);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  ClassWorld* world = fuzz_common::NextWorld();
  JNIHostFunctions* host = refhost::Functions();
  const std::string& scratch = Scratch();
  if (VMLoadableClass* shell = fuzz_common::ShellFor(world, data, size)) {
    std::string name;
    {
      char* text = shell->GetName()->MakeUTF8();
      name = text != nullptr ? text : "";
      VMLiteral::FreeUTF8(text);
    }
    VMStatus first = world->loader->Load(shell, data, (uint32_t)size);
    if (first != 0) {
      // A failed parse must leave a plain shell: trying again fails again (perhaps
      // earlier, as classes it loaded on the way are known now) and leaks nothing.
      VMStatus again = world->loader->Load(shell, data, (uint32_t)size);
      if (again == 0) {
        fprintf(stderr, "parser_fuzz: a retried parse gave %d after %d\n", (int)again, (int)first);
        abort();
      }
    } else {
      ResolveEverything(shell);
    }
    world->DropLoose(shell);
    // The same bytes as a file on a class path, alone and inside archives. Names of the
    // library stay out: the system loader has those.
    std::string dir = scratch + "/dir";
    if (!name.empty() && name.compare(0, 5, "java/") != 0 && PlaceableName(dir, name.c_str())) {
      Bytes bytes(data, data + size);
      std::string file = dir + "/" + name + ".class";
      if (classfile_test::WriteFileBytes(file, bytes)) {
        LoadThroughClassPath(world, dir, name.c_str());
        unlink(file.c_str());
      }
      std::string zip = scratch + "/classes.zip";
      for (int variant = 0; variant < 3; variant++) {
        classfile_test::ZipMember m;
        m.name = name + ".class";
        m.data = bytes;
        m.method = variant == 0 ? 0 : 8;
        m.sizesAfterData = variant == 2;
        if (classfile_test::WriteFileBytes(zip, classfile_test::MakeZip({m}, variant == 1 ? "comment" : ""))) {
          LoadThroughClassPath(world, zip, name.c_str());
          unlink(zip.c_str());
        }
      }
    }
  }
  // The input as an archive.
  std::string archive = scratch + "/input.zip";
  if (classfile_test::WriteFileBytes(archive, Bytes(data, data + size))) {
    void* id = (void*)0xF1F1;
    refhost::SetClassPath(id, archive);
    ReadArchiveEntry(id, "p/A");
    ReadArchiveEntry(id, "p/B");
    refhost::SetClassPath(id, "");
    unlink(archive.c_str());
  }
  void* s = refhost::OpenMemoryStream(data, (uint32_t)size);
  if (s != nullptr) {
    uint32_t csize = 0;
    VMClassLoader::FindInZipFile(s, "p/A.class", &csize);
    host->StreamClose(s);
  }
  return 0;
}
