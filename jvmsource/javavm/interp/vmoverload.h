/* Overload resolution: among the methods of a class with a given name, the one whose
   parameter types best accept a list of argument types, by the Java rule of the most
   specific method with conversions of the machine's own: a java.math.BigDecimal argument
   feeds any numeric primitive parameter, a double argument a BigDecimal parameter, and a
   null argument (given as the type V) any reference parameter.

   The argument list is a method signature literal whose parameter part lists the
   argument types. One record per resolution, on the caller's stack; every failure below
   FindMethod travels through the record's catcher. */
#ifndef PUX_VMOVERLOAD_H
#define PUX_VMOVERLOAD_H

#include "jnitypes.h"
#include "vmclass_support.h"
#include "vmerrorcatcher.h"
#include "vmforward.h"

class VMOverload {
 public:
  explicit VMOverload(JNIEnv* env);
  ~VMOverload();
  VMOverload(const VMOverload&) = delete;
  VMOverload& operator=(const VMOverload&) = delete;

  /* The chosen method of cls or its supertypes (of java/lang/Object's for an interface),
     or NULL: when none accepts the arguments, when several are equally specific (then
     IsAmbiguous), when the best is an instance method and allowInstance is false, or on
     a failure, which is left pending on env's thread as the exception of its status. */
  VMMethod* FindMethod(JNIEnv* env, VMLoadableClass* cls, VMLiteral* name, VMLiteral* arguments,
                       bool allowInstance);
  /* Several methods were equally specific: one of those that tied. */
  bool IsAmbiguous() const { return ambigMethod != NULL; }
  VMMethod* GetAmbigMethod() const { return ambigMethod; }
  /* The status of the failure that ended the last search, 0 when it ended normally. */
  VMStatus GetStatus() const { return failure; }

 private:
  enum : uint32_t {
    /* Cleared by every comparison that meets two different types. */
    ExactFlag = 1,
    /* The best method is the only candidate left and matched the arguments exactly. */
    BestExactFlag = 2,
    /* More candidates tied than the record can hold: the answer is ambiguous. */
    TooManyFlag = 4,
  };
  /* Candidates none of which is more specific than another. Overload sets are small; a
     class with more mutually unrelated candidates than this gets an ambiguous answer. */
  enum { MAX_CANDIDATES = 16 };

  void ScanMethods(VMLoadableClass* cls, VMLiteral* name, VMLiteral* arguments);
  void ConsiderMethod(VMMethod* method, bool exact);
  int CompareMethods(VMMethod* m1, VMMethod* m2);
  bool SignatureAccepts(VMLiteral* parameters, VMLiteral* arguments);
  bool ArgumentConvertible(VMClass* parameter, VMClass* argument);
  static bool PrimitiveWidens(VMClass* to, VMClass* from);
  bool ObjectToPrimitive(VMClass* parameter, VMClass* argument);
  bool PrimitiveToObject(VMClass* parameter, VMClass* argument);
  bool ArrayAssignable(VMClass* parameter, VMClass* argument);
  bool ClassAssignable(VMClass* target, VMClass* argument);
  bool CollectInterfaces(VMLoadableClass* cls, VMClass* target);
  void ApplyStaticRule(bool allowInstance);
  /* A queue of classes in the search's heap; a failure to make it is raised. */
  VMHandleArray* MakeQueue();
  void DestroyQueues();

  uint32_t flags;
  VMMethod* ambigMethod;
  VMMethod* best;
  VMClassLoader* loader;
  JNIEnv* env;
  VMErrorCatcher catcher;
  VMNameSpace* ns;
  HHeap* heap;
  VMStatus failure;
  /* The interfaces still to search (of an interface's superinterfaces) and those met. */
  VMHandleArray* searchQueue;
  classmodel::PointerSet searched;
  /* The interfaces gathered while testing whether a class implements one; kept here so
     that a failure raised meanwhile can release them. */
  VMHandleArray* interfaceQueue;
  classmodel::PointerSet gathered;
  VMMethod* candidates[MAX_CANDIDATES];
  uint32_t candidateCount;
};

#endif
