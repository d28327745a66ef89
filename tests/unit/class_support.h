/* Shared set-up of the class-model tests: a name space with the well-known literals, the
   primitive classes, shells for java/lang/Object, Class, Cloneable and Serializable, a
   system loader (id 0) and an env for the calling thread whose current loader id can be
   changed. Every class made during a test is destroyed with its loader's table. */
#ifndef PUX_TESTS_CLASS_SUPPORT_H
#define PUX_TESTS_CLASS_SUPPORT_H

#include <gtest/gtest.h>

#include "core_support.h"
#include "vmclass.h"
#include "vmclassloader.h"

namespace class_test {

class ClassTest : public core_test::CoreTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  /* A loader with an empty class table, entered in the name space's loader table. */
  VMClassLoader* MakeLoader(void* loaderId);
  /* The calling thread's env names this loader id (0: the system loader). */
  void SetEnvLoaderId(void* loaderId) { envWords[5] = (VMword)loaderId; }
  void DropEnv() { host->SetCurrentEnv(nullptr); }
  void RestoreEnv() { host->SetCurrentEnv((JNIEnv*)envWords); }

  VMClass* Find(const char* name, VMClassLoader* loader = nullptr) {
    return VMClass::FindByName(ns, name, loader);
  }
  VMClass* Sig(const char* signature) { return VMClass::FindBySignature(ns, Lit(signature), nullptr); }
  /* A shell made into a loaded class or interface with the given super and interfaces. */
  VMLoadableClass* Define(const char* name, VMLoadableClass* super,
                          std::initializer_list<VMLoadableClass*> interfaces, bool isInterface);
  VMClass* ListEntry(int entry);
  uint32_t ClassCount(VMClassLoader* loader);

  VMClassLoader* systemLoader = nullptr;
  VMLoadableClass* objectClass = nullptr;
  VMLoadableClass* cloneable = nullptr;
  VMLoadableClass* serializable = nullptr;
  std::vector<VMClassLoader*> loaders;

 private:
  VMword envWords[6] = {};
  VMword javaVMWords[11] = {};
  VMInternalObject* literalTable = nullptr;
  VMClassLoaderHashTable* loaderTable = nullptr;
};

}  // namespace class_test

#endif
