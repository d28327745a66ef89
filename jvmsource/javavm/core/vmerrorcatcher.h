/* Failures inside deep machine work (the class-file parser, the verifier, the stored-object
   reader and writer, overload resolution) travel as a VMStatus stored in a catcher and a long
   jump straight back to the function that armed the catcher.

   Rules for code between an armed catcher and a check that can throw:
   - no object with a non-trivial destructor and no held lock may live in a frame that the
     jump skips (take and release explicitly, and release on the error path);
   - a local of the arming function that is changed after arming and read on the landing
     path must be volatile. */
#ifndef PUX_VMERRORCATCHER_H
#define PUX_VMERRORCATCHER_H

#include "jnitypes.h"
#include "vmforward.h"
#include "vmstatus.h"

#include <setjmp.h>

/* The class names of the 44 statuses, modified UTF-8 in internal form, indexed by status.
   Entries 0 and 1 name no real class. */
extern const char* const VMStatusClassNames[44];
enum { VMStatusCount = 44 };

/* The class name of a status, or NULL for one outside the table. */
const char* VMStatusClassName(VMStatus status);

/* Arms a catcher in the calling function: zero on arming, nonzero when a check below has
   thrown back here. It must be the whole condition of an if, because the jump lands in the
   frame that evaluated it:

     VMErrorCatcher catcher;
     if (VM_CATCHER_ARM(catcher)) {
       VMStatus status = catcher.Caught();   // always nonzero
       ...release, return or pass on...
     }
*/
#define VM_CATCHER_ARM(catcher) (setjmp((catcher).jumpBuffer) != 0)

class VMErrorCatcher {
 public:
  VMStatus status;
  jmp_buf jumpBuffer;

  VMErrorCatcher() : status(0) {}

  VMStatus GetErrorCode() const { return status; }

  /* Read on the landing path: the status of the jump, never 0. */
  VMStatus Caught() {
    if (status == 0) status = VMStatus_InternalError;
    return status;
  }

  /* Stores the status and jumps to the arming point. Throw(0) jumps as well, and stores
     InternalError: a jump is a failure however the landing path reads it. */
  [[noreturn]] void Throw(VMStatus s);
  void CheckStatus(VMStatus s) {
    if (s != 0) Throw(s);
  }
  void NoMemory() { CheckStatus(VMStatus_OutOfMemoryError); }
  void NotNull(const void* p) {
    if (p == nullptr) NoMemory();
  }
  void Verify(bool ok) {
    if (!ok) Throw(VMStatus_VerifyError);
  }
  void ClassFormat(bool ok) {
    if (!ok) Throw(VMStatus_ClassFormatError);
  }
  void TavikSerialization(bool ok) {
    if (!ok) Throw(VMStatus_TavikSerializationError);
  }
  /* Passes a failure caught here on to an outer catcher; nothing when this one holds 0,
     which only a catcher that never jumped does. */
  void ReThrow(VMErrorCatcher& outer) const { outer.CheckStatus(status); }
};

/* One resumption point of compiled code, chained per frame from the newest handler. */
class VMNativeExceptionHandler {
 public:
  VMNativeExceptionHandler* next;
  VMClass* exceptionClass;
  jmp_buf jumpBuffer;

  explicit VMNativeExceptionHandler(VMClass* cls) : next(nullptr), exceptionClass(cls) {}

  VMNativeExceptionHandler* GetNext() const { return next; }
  void SetNext(VMNativeExceptionHandler* n) { next = n; }
  /* NULL accepts every exception. */
  VMClass* GetClass() const { return exceptionClass; }
  [[noreturn]] void JumpTo();
};

#define VM_HANDLER_ARM(handler) (setjmp((handler).jumpBuffer) != 0)

#endif
