/* A class world for parsing: a real name space with the parts of its start-up that the
   parser and the class look-ups read (literal tables, the system loader, the primitive
   classes, the well-known names and classes), with the system loader's class path on the
   class library and, optionally, on a directory of test classes. Header-only, so that the
   parser benchmark and the fuzz driver use the same world as the tests. */
#ifndef PUX_TESTS_CLASSFILE_WORLD_H
#define PUX_TESTS_CLASSFILE_WORLD_H

#include <string>

#include "refhost.h"
#include "test_host.h"
#include "vmclass.h"
#include "vmclassloader.h"
#include "vmconstantpool.h"
#include "vmhandlearray.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmutils.h"

namespace classfile_test {

struct ClassWorld {
  VMNameSpace* ns = nullptr;
  HHeap* heap = nullptr;
  VMClassLoader* loader = nullptr;

  VMLiteral* Lit(const char* text) { return VMLiteral::CreateInstance(ns, text, 0xFFFFFFFFu); }

  /* classPath: the system loader's class path (directories and archives). */
  bool Create(const std::string& classPath) {
    test_host::BindReferenceHost();
    refhost::SetClassPath(nullptr, classPath);
    ns = VMNameSpace::CreateInstance();
    if (ns == nullptr) return false;
    heap = ns->GetHeap();
    VMLiteralHashTable* literals = VMLiteralHashTable::CreateInstance(heap, 0x2000);
    VMLiteralHashTable* shared = VMLiteralHashTable::CreateInstance(heap, 0x2000);
    if (literals == nullptr || shared == nullptr) return false;
    ns->SetLiteralHashTable(literals);
    ns->SetSharedStaticDataClasses(shared);
    loader = VMClassLoader::CreateInstance(ns, nullptr);
    if (loader == nullptr) return false;
    ns->SetSystemClassLoader(loader);
    static const struct { const char* name; int code; int word; } kPrimitives[] = {
        {"char", 5, 9},   {"boolean", 4, 6}, {"byte", 8, 7},   {"short", 9, 8},  {"int", 10, 10},
        {"void", -1, 5},  {"long", 11, 11},  {"float", 6, 12}, {"double", 7, 13}};
    VMClassList* classes = ns->GetClassList();
    for (const auto& p : kPrimitives) {
      VMPrimitiveClass* c = VMPrimitiveClass::CreateInstance(ns, p.name, (VMPrimitiveType)p.code);
      if (c == nullptr) return false;
      classes->SetReference(p.word, (VMObject*)c);
      if (loader->GetClassTable()->AddOrFind((VMObject*)c) == VMHashNotFound) return false;
    }
    VMLiteralTable* table = VMLiteralTable::CreateInstance(heap);
    if (table == nullptr) return false;
    ns->SetLiterals(table);
    // As a machine made with the default creation arguments: preparing verifies.
    ns->SetRunVerifier();
    for (int i = 0; i < test_host::kWellKnownNameCount; i++) {
      VMLiteral* l = Lit(test_host::kWellKnownNames[i]);
      if (l == nullptr) return false;
      table->SetReference(i, (VMObject*)l);
    }
    static const struct { const char* name; int word; } kClasses[] = {
        {"java/lang/Object", 0}, {"java/lang/String", 1}, {"java/lang/Class", 2},
        {"java/lang/Cloneable", 3}, {"java/io/Serializable", 4}};
    for (const auto& c : kClasses) {
      VMClass* cls = VMClass::FindByName(ns, Lit(c.name), loader);
      if (cls == nullptr) return false;
      classes->SetReference(c.word, (VMObject*)cls);
    }
    // The array classes the machine's own arrays name (interface lists are Class[]).
    static const struct { const char* name; int word; } kArrays[] = {
        {"[Ljava/lang/Object;", 8}, {"[Ljava/lang/Class;", 9}, {"[Ljava/lang/String;", 10}};
    for (const auto& a : kArrays) {
      VMClass* cls = VMClass::FindByName(ns, Lit(a.name), loader);
      if (cls == nullptr) return false;
      ns->GetArrayClassList()->SetReference(a.word, (VMObject*)cls);
    }
    return true;
  }

  void Destroy() {
    if (ns != nullptr) ns->Destroy();
    ns = nullptr;
    loader = nullptr;
  }

  /* The shell of a class of the system loader (made when missing). */
  VMLoadableClass* Shell(const char* name) {
    VMClass* c = VMClass::FindByName(ns, Lit(name), loader);
    return c != nullptr && c->GetIsLoadable() ? (VMLoadableClass*)c : nullptr;
  }
  /* A shell of its own for a name, outside every class table: parse it, then drop it. */
  VMLoadableClass* LooseShell(const char* name) { return VMLoadableClass::CreateInstance(ns, Lit(name)); }
  void DropLoose(VMLoadableClass* cls) { ((VMClass*)cls)->Destroy(heap); }
};

}  // namespace classfile_test

#endif
