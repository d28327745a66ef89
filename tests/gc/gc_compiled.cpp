/* Compiled code for gc/Compiled, written as a host's code generator would emit it: entry
   points called with their compiled frame and the argument words, reaching classes,
   methods and strings through the class's compiled constant pool, calling other methods
   through their compiled addresses, keeping object references only in the frame's
   reference table, and catching exceptions with handler records on their frame. */
#include "gc_support.h"

#include <string.h>

#include "vmclass.h"
#include "vmerrorcatcher.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"

class NameSpaceTestAccess {
 public:
  static void MarkStarted(VMNameSpace* ns) { ns->SetIsInitialized(); }
};

namespace gc_test {

void (*gAttachedAgainWait)() = nullptr;

namespace {

/* The compiled constant pool's positions: the classes, then the methods, then the
   strings, in the order of the definition below. */
enum Pool : uint32_t {
  kCompiledClass = 0,
  kArithmetic,
  kArrayStore,
  kTwice,
  kTriple,
  kThrower,
  kBounceJava,
  kMake,
  kChurn,
  kSpin,
  kSpinThroughNative,
  kAttachedAgain,
  kMessage,
};

VMObject* Constant(VMCompiledFrame* self, uint32_t slot) {
  return self->method->GetDefinedIn()->GetCompiledConstantPool()->Get(slot);
}

/* A call from compiled code: a compiled frame for the callee beneath the caller's, and
   the callee's compiled address (the machine's thunk unless the callee is compiled).
   Returns only when nothing was thrown past this frame's handlers. */
void Call(VMCompiledFrame* self, uint32_t slot, VMword* args) {
  VMMethod* callee = (VMMethod*)Constant(self, slot);
  VMCompiledFrame frame(self->thread, self, NULL);
  frame.method = callee;
  ((VMCompiledEntry)callee->GetCompiledAddress())(&frame, args);
}

[[noreturn]] void Raise(VMCompiledFrame* self) {
  VMFrame::ThrowInternalException(self, VMStatus_ArithmeticException, (VMJavaLangString*)Constant(self, kMessage));
  abort();  // a throw from a frame always finds the JNI frame of the call beneath it
}

void HOSTCALL Add(VMCompiledFrame*, VMword* args) { args[0] = (VMword)((jint)args[0] + (jint)args[1]); }

void HOSTCALL Join(VMCompiledFrame*, VMword* args) {
  jlong v = (jlong)((uint64_t)args[0] << 32 | args[1]);
  memcpy(args, &v, 8);
}

void HOSTCALL Scaled(VMCompiledFrame* self, VMword* args) {
  VMObject* receiver = (VMObject*)args[0];
  bool mine = receiver != NULL && receiver->GetClass() == (VMClass*)Constant(self, kCompiledClass);
  args[0] = mine ? (VMword)(3 * (jint)args[1]) : (VMword)-2;
}

void HOSTCALL ViaJava(VMCompiledFrame* self, VMword* args) {
  VMword a[2] = {args[0], 0}, b[2] = {args[0], 0};
  Call(self, kTwice, a);
  Call(self, kTriple, b);
  args[0] = a[0] + b[0];
}

void HOSTCALL RaiseEntry(VMCompiledFrame* self, VMword*) { Raise(self); }

/* Calls thrower(x) with a handler record for `handled`; a caught exception answers
   1000 + x, with the exception taken off the thread. */
void CallThrowerHandling(VMCompiledFrame* self, VMword* args, uint32_t handled) {
  const VMword x = args[0];
  VMNativeExceptionHandler handler((VMClass*)Constant(self, handled));
  handler.SetNext(self->GetExceptionHandler());
  self->SetExceptionHandler(&handler);
  if (!VM_HANDLER_ARM(handler)) {
    VMword a[2] = {x, 0};
    Call(self, kThrower, a);
    args[0] = a[0];
  } else {
    if (self->thread->GetException() == NULL) abort();  // the handler finds it pending
    self->thread->SetException(NULL);
    args[0] = 1000 + x;
  }
  self->SetExceptionHandler(handler.GetNext());
}

void HOSTCALL CatchInCompiled(VMCompiledFrame* self, VMword* args) { CallThrowerHandling(self, args, kArithmetic); }
void HOSTCALL CatchOther(VMCompiledFrame* self, VMword* args) { CallThrowerHandling(self, args, kArrayStore); }

void HOSTCALL Bounce(VMCompiledFrame* self, VMword* args) {
  if (args[0] == 0) {
    if (args[1] != 0) Raise(self);
    args[0] = 0;
    return;
  }
  VMword a[2] = {args[0] - 1, args[1]};
  Call(self, kBounceJava, a);
  args[0] = a[0] + 1;
}

/* make(n) held in the frame's reference table while `middle` runs (which collects, or
   waits to be stopped while the host moves the machine), then summed. */
void HoldAcross(VMCompiledFrame* self, VMword* args, uint32_t middle) {
  VMword references[2] = {1, 0};
  self->SetReferences(references);
  VMword a[2] = {args[0], 0};
  Call(self, kMake, a);
  references[1] = a[0];
  VMword b[2] = {5, 0};
  Call(self, middle, b);
  VMintArray* array = (VMintArray*)references[1];
  jint sum = 0;
  for (uint32_t i = 0; i < array->GetSize(); i++) sum += array->Get(i);
  self->SetReferences(NULL);
  args[0] = (VMword)sum;
}

void HOSTCALL Hold(VMCompiledFrame* self, VMword* args) { HoldAcross(self, args, kChurn); }
void HOSTCALL HoldAcrossSpin(VMCompiledFrame* self, VMword* args) { HoldAcross(self, args, kSpin); }
void HOSTCALL HoldAcrossNativeSpin(VMCompiledFrame* self, VMword* args) { HoldAcross(self, args, kSpinThroughNative); }

void HOSTCALL ViaAttachedAgain(VMCompiledFrame* self, VMword* args) {
  VMword a[2] = {args[0], 0};
  Call(self, kAttachedAgain, a);
  args[0] = a[0] + 1;
}

jint JNICALL Triple(JNIEnv*, jclass, jint x) { return 3 * x; }
jint JNICALL SpinThroughNative(JNIEnv* env, jclass cls) {
  return env->functions->CallStaticIntMethod(env, cls, env->functions->GetStaticMethodID(env, cls, "spin", "()I"));
}
jint JNICALL AttachedAgainNative(JNIEnv* env, jclass, jint x) {
  // The test world's record has no invocation table and its name space no Thread objects:
  // the attach the table's entry makes, without the object.
  JNIEnv* again = nullptr;
  if (VMJniAttachCurrentThreadNoObject(env->javaVM, &again, nullptr) != 0) return -7;
  VM::EnterSafeRegion(again->thread);
  if (gAttachedAgainWait != nullptr) gAttachedAgainWait();
  VM::LeaveSafeRegion(again->thread);
  return 5 * x;
}
JNINativeMethod compiledNatives[] = {{(char*)"triple", (char*)"(I)I", (void*)&Triple},
                                     {(char*)"spinThroughNative", (char*)"()I", (void*)&SpinThroughNative},
                                     {(char*)"attachedAgainNative", (char*)"(I)I", (void*)&AttachedAgainNative}};
constexpr jint kCompiledNatives = sizeof compiledNatives / sizeof compiledNatives[0];

const char* classNames[] = {"gc/Compiled", "java/lang/ArithmeticException", "java/lang/ArrayStoreException", nullptr};
const char* strings[] = {"from compiled code", nullptr};
/* {class index, method index}, filled from the class's own method order; the entry after
   them names no class and ends the list. */
uint32_t methodRefs[kMessage - kTwice + 1];
/* One entry per method of the class in declaration order. */
void* code[64];
MCConstPoolClassDefinition definition[] = {{classNames, methodRefs, strings, code}, {nullptr, nullptr, nullptr, nullptr}};

struct Binding {
  const char* name;
  void* entry;
};
const Binding bindings[] = {
    {"add", (void*)&Add},
    {"join", (void*)&Join},
    {"scaled", (void*)&Scaled},
    {"viaJava", (void*)&ViaJava},
    {"raise", (void*)&RaiseEntry},
    {"catchInCompiled", (void*)&CatchInCompiled},
    {"catchOther", (void*)&CatchOther},
    {"bounce", (void*)&Bounce},
    {"hold", (void*)&Hold},
    {"holdAcrossSpin", (void*)&HoldAcrossSpin},
    {"holdAcrossNativeSpin", (void*)&HoldAcrossNativeSpin},
    {"viaAttachedAgain", (void*)&ViaAttachedAgain},
};
const char* const referenced[] = {"twice", "triple", "thrower", "bounceJava", "make", "churn", "spin", "spinThroughNative", "attachedAgainNative"};

}  // namespace

bool BindCompiledCode(World& world) {
  static bool registered = false;
  // Compiled code binds only in a name space that has finished its start-up, which the
  // test world's does not run.
  NameSpaceTestAccess::MarkStarted(world.ns);
  if (JNI_RegisterNative("gc/Compiled", compiledNatives, kCompiledNatives) != 0) return false;
  // Looking a method up loads and prepares the class.
  VMMethod* add = world.Method("gc/Compiled", "add", "(II)I");
  VMLoadableClass* cls = add != NULL ? add->GetDefinedIn() : NULL;
  if (cls == NULL || cls->GetMethods() == NULL) return false;
  VMMethodArray* methods = cls->GetMethods();
  if (!registered) {
    // The tables are the process's from here on: every later name space binds them too.
    if (methods->GetSize() > sizeof code / sizeof code[0]) return false;
    for (uint32_t i = 0; i < methods->GetSize(); i++) {
      VMMethod* m = methods->Get(i);
      for (const Binding& b : bindings)
        if (m->GetName()->EqualsAscii(b.name)) code[i] = b.entry;
      for (uint32_t r = 0; r < sizeof referenced / sizeof referenced[0]; r++)
        if (m->GetName()->EqualsAscii(referenced[r])) methodRefs[r] = i << 16;
    }
    methodRefs[kMessage - kTwice] = 0xFFFFu;
    registered = true;
  }
  if (JNI_RegisterCompiled(world.jvm, definition) != 0) return false;
  // The natives are bound when a class is prepared; this one was, by the look-up above.
  if (cls->RegisterNatives(compiledNatives, kCompiledNatives) != 0) return false;
  for (const Binding& b : bindings) {
    for (uint32_t i = 0; i < methods->GetSize(); i++) {
      VMMethod* m = methods->Get(i);
      if (m->GetName()->EqualsAscii(b.name) && !m->GetIsCompiled()) return false;
    }
  }
  return cls->GetCompiledConstantPool() != NULL;
}

}  // namespace gc_test
