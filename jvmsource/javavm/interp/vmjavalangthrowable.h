/* Views of the class-library objects the machine itself makes and reads: throwables with
   their recorded frames, the two wrapping exceptions, the pre-made OutOfMemoryError and
   new java.lang.Thread objects. A view is a typed handle on an ordinary Java object that
   knows the body words the machine uses. */
#ifndef PUX_VMJAVALANGTHROWABLE_H
#define PUX_VMJAVALANGTHROWABLE_H

#include "vmobject.h"
#include "vmstatus.h"

/* One recorded frame: the method and the code offset (0 for frames without one). */
class VMTraceback : public VMInternalObject {
 public:
  enum { Words = 2, RefMask = 1, MethodWord = 0, PCWord = 1 };
  static VMTraceback* CreateInstance(HHeap* heap, jallocType kind = jallocFailFast);
  VMMethod* GetMethod() const { return (VMMethod*)GetReference(MethodWord); }
  void SetMethod(VMMethod* m) { SetReference(MethodWord, (VMObject*)m); }
  uint32_t GetPC() const { return GetScalar(PCWord); }
  void SetPC(uint32_t pc) { SetScalar(PCWord, pc); }
};

class VMJavaLangThrowable : public VMObject {
 public:
  enum { TracebackWord = 0, MessageWord = 1, Words = 2 };
  /* A throwable of cls with the current frames recorded. Without memory: the machine's
     pre-made OutOfMemoryError (NULL while the machine has none yet, or without a class). */
  static VMJavaLangThrowable* CreateInstance(JNIEnv* env, VMLoadableClass* cls);
  /* Records the frames of the calling thread, innermost first. A refused part is asked
     for again after a collection, so the caller keeps the throwable reachable. Without
     memory even then the trace keeps the innermost frames it got below the throwable's
     own (its fillInStackTrace and constructors), in an array of their number, and
     without any the throwable keeps what it had. */
  void FillInFrameTrace(JNIEnv* env);
  /* Only for the pre-made OutOfMemoryError: Java throwables die by collection. */
  void Destroy(HHeap* heap);

  VMJavaLangString* GetMessage() const { return (VMJavaLangString*)GetWord(MessageWord); }
  void SetMessage(VMJavaLangString* m) { SetWord(MessageWord, (VMword)m); }
  VMTracebackArray* GetTraceback() const { return (VMTracebackArray*)GetWord(TracebackWord); }
  void SetTraceback(VMTracebackArray* t) { SetWord(TracebackWord, (VMword)t); }

  /* Whether instances of cls hold the machine's words (a class library whose Throwable or
     wrapper is smaller would have them written past the object). */
  static bool LayoutFits(VMLoadableClass* cls, uint32_t words);

 protected:
  static VMJavaLangThrowable* CreateInstance(JNIEnv* env, const char* slashName);
  /* The wrappers: a throwable of the named class holding target in word 2, or the
     out-of-memory fallback untouched. */
  static VMJavaLangThrowable* Wrap(JNIEnv* env, const char* slashName, VMJavaLangThrowable* target);

 private:
  static VMJavaLangThrowable* Instantiate(HHeap* heap, uint32_t words, VMword mask);
};

class VMJavaLangException : public VMJavaLangThrowable {
 private:
  static VMJavaLangException* Instantiate(HHeap* heap, uint32_t words, VMword mask);
};

class VMJavaLangInvocationTargetException : public VMJavaLangException {
 public:
  enum { ExceptionWord = 2 };
  static VMJavaLangThrowable* CreateInstance(JNIEnv* env, VMJavaLangThrowable* target);
  VMJavaLangThrowable* GetException() const { return (VMJavaLangThrowable*)GetWord(ExceptionWord); }
  void SetException(VMJavaLangThrowable* t) { SetWord(ExceptionWord, (VMword)t); }

 private:
  static VMJavaLangInvocationTargetException* Instantiate(HHeap* heap, uint32_t words, VMword mask);
};

class VMJavaLangError : public VMJavaLangThrowable {
 public:
  /* Whether t's class is java/lang/Error or below it. */
  static bool IsError(JNIEnv* env, VMJavaLangThrowable* t);

 private:
  static VMJavaLangError* Instantiate(HHeap* heap, uint32_t words, VMword mask);
};

class VMJavaLangLinkageError : public VMJavaLangError {
 private:
  static VMJavaLangLinkageError* Instantiate(HHeap* heap, uint32_t words, VMword mask);
};

class VMJavaLangExceptionInInitializerError : public VMJavaLangLinkageError {
 public:
  enum { ExceptionWord = 2 };
  static VMJavaLangThrowable* CreateInstance(JNIEnv* env, VMJavaLangThrowable* target);
  VMJavaLangThrowable* GetException() const { return (VMJavaLangThrowable*)GetWord(ExceptionWord); }
  void SetException(VMJavaLangThrowable* t) { SetWord(ExceptionWord, (VMword)t); }

 private:
  static VMJavaLangExceptionInInitializerError* Instantiate(HHeap* heap, uint32_t words, VMword mask);
};

class VMJavaLangVirtualMachineError : public VMJavaLangError {
 private:
  static VMJavaLangVirtualMachineError* Instantiate(HHeap* heap, uint32_t words, VMword mask);
};

class VMJavaLangOutOfMemoryError : public VMJavaLangVirtualMachineError {
 public:
  /* A throwable of the status-19 class (the machine keeps one ready). */
  static VMJavaLangThrowable* CreateInstance(JNIEnv* env);

 private:
  static VMJavaLangOutOfMemoryError* Instantiate(HHeap* heap, uint32_t words, VMword mask);
};

class VMJavaLangThread : public VMObject {
 public:
  enum { NameWord = 0 };
  /* A new java.lang.Thread object, no constructor run; NULL on failure. */
  static VMJavaLangThread* CreateInstance(JNIEnv* env);

 private:
  static VMJavaLangThread* Instantiate(HHeap* heap, uint32_t words, VMword mask);
};

#endif
