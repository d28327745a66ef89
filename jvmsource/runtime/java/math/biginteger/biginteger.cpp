/* The natives of java.math.BigInteger: magnitudes in, magnitudes out, the signs kept by
   the Java class. Each native runs one computation of biginteger.h on the machine's
   heap, polling the calling thread as it goes, and turns its failure into the pending
   exception. */
#include "biginteger.h"

#include "registration.h"

#include "vm.h"
#include "vmclass.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"

using namespace bigint;

namespace {

/* The poll of a long computation, which holds its arrays (arguments and temporaries)
   by their addresses: it serves a collection or a posted exception, and leaves a
   suspension or a debugger's park, where the host may move the machine, to the poll
   that follows the native's return. A nonzero answer stops the native; a host's stop
   leaves nothing pending, so it becomes ThreadDeath as in interpreted code. */
int PollThread(void* data) {
  JNIEnv* env = (JNIEnv*)data;
  VMThread* thread = env->thread;
  if (thread == NULL || thread->YieldInPlace() == 0) return 0;
  if (thread->GetException() == NULL) (void)VMJniThrowInternal(env, VMStatus_ThreadDeath, "");
  return 1;
}

void Begin(JNIEnv* env, Context& ctx) {
  VM* vm = env->javaVM->vm;
  ctx.heap = vm->GetHeap();
  VMArrayClassList* list = vm->GetNameSpace()->GetArrayClassList();
  ctx.byteArrayClass = list != NULL ? (VMClass*)list->GetVMbyteArrayClass() : NULL;
  ctx.poll = PollThread;
  ctx.pollData = env;
}

void Throw(JNIEnv* env, const Context& ctx) {
  // A computation that answers nothing has always recorded why; should one not have,
  // its caller must still not take the null for a value.
  if (ctx.Failed())
    (void)VMJniThrowInternal(env, ctx.status, ctx.message);
  else
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, "");
}

/* An argument array; NULL with NullPointerException (empty message) pending. */
bool Args(JNIEnv* env, Mag** out, jbyteArray a, jbyteArray b = NULL, bool two = false, jbyteArray c = NULL,
          bool three = false) {
  jbyteArray handles[3] = {a, b, c};
  int count = three ? 3 : (two ? 2 : 1);
  for (int i = 0; i < count; i++) {
    out[i] = (Mag*)VMJniHandle::UnHandle(env, handles[i]);
    if (out[i] == NULL) {
      (void)VMJniThrowInternal(env, VMStatus_NullPointerException, "");
      return false;
    }
  }
  return true;
}

/* Hands a result to Java as a new local reference. A temporary is held by machine code
   until the reference holds it; NULL results raise what the computation recorded. */
jbyteArray Return(JNIEnv* env, Context& ctx, Mag* result, bool owned) {
  if (result == NULL) {
    Throw(env, ctx);
    return NULL;
  }
  jobject handle = VMJniHandle::NewLocal(env, result);
  if (owned) {
    if (handle == NULL)
      Free(ctx, result);
    else
      Release(result);
  }
  return (jbyteArray)handle;
}

/* Whether the result is one of the argument arrays, which only Java may keep. */
bool IsArgument(const Mag* result, Mag* const* args, int count) {
  for (int i = 0; i < count; i++) {
    if (result == args[i]) return true;
  }
  return false;
}

/* A canonical result: a stripped temporary, or an argument array as it is when it is
   canonical and a stripped copy when it is not; the argument is never freed. */
jbyteArray ReturnStripped(JNIEnv* env, Context& ctx, Mag* result, Mag* const* args, int count) {
  if (result == NULL) return Return(env, ctx, NULL, false);
  bool owned = !IsArgument(result, args, count);
  Mag* stripped = StripLeadingZeros(ctx, result, owned);
  return Return(env, ctx, stripped, owned || stripped != result);
}

}  // namespace

namespace bigint {

void JNICALL PlumbInit(JNIEnv*, jclass) {}

jbyteArray JNICALL PlumbAdd(JNIEnv* env, jclass, jbyteArray a, jbyteArray b) {
  Mag* args[2];
  if (!Args(env, args, a, b, true)) return NULL;
  Context ctx;
  Begin(env, ctx);
  return Return(env, ctx, AddMagnitudes(ctx, args[0], args[1]), true);
}

jobject JNICALL PlumbSubtract(JNIEnv* env, jclass, jbyteArray a, jbyteArray b) {
  Mag* args[2];
  if (!Args(env, args, a, b, true)) return NULL;
  const JNINativeInterface_* fn = env->functions;
  jclass cls = fn->FindClass(env, "java/math/BigInteger");
  if (cls == NULL) return NULL;
  jmethodID init = fn->GetMethodID(env, cls, "<init>", "([B)V");
  if (init == NULL) {
    fn->DeleteLocalRef(env, cls);
    return NULL;
  }
  Context ctx;
  Begin(env, ctx);
  Mag* diff = SubtractMagnitudes(ctx, args[0], args[1]);
  jobject result = NULL;
  if (diff == NULL) {
    Throw(env, ctx);
  } else {
    jobject handle = VMJniHandle::NewLocal(env, diff);
    // The constructor copies the bytes it reads: the array is gone once it returns,
    // and no reference to it is left behind.
    if (handle != NULL) {
      result = fn->NewObject(env, cls, init, handle);
      fn->DeleteLocalRef(env, handle);
    }
    Free(ctx, diff);
  }
  fn->DeleteLocalRef(env, cls);
  return result;
}

jbyteArray JNICALL PlumbMultiply(JNIEnv* env, jclass, jbyteArray a, jbyteArray b) {
  Mag* args[2];
  if (!Args(env, args, a, b, true)) return NULL;
  Context ctx;
  Begin(env, ctx);
  return Return(env, ctx, MultiplyMagnitudes(ctx, args[0], args[1]), true);
}

jbyteArray JNICALL PlumbSquare(JNIEnv* env, jclass, jbyteArray a) {
  Mag* args[1];
  if (!Args(env, args, a)) return NULL;
  Context ctx;
  Begin(env, ctx);
  return Return(env, ctx, MultiplyMagnitudes(ctx, args[0], args[0]), true);
}

static jbyteArray Divide(JNIEnv* env, jbyteArray a, jbyteArray b, DivideMode mode) {
  Mag* args[2];
  if (!Args(env, args, a, b, true)) return NULL;
  Context ctx;
  Begin(env, ctx);
  Mag* q = NULL;
  Mag* r = NULL;
  if (!DivideMagnitudes(ctx, args[0], args[1], &q, &r, mode)) return Return(env, ctx, NULL, true);
  Mag* result = StripLeadingZeros(ctx, mode == kQuotient ? q : r, true);
  return Return(env, ctx, result, true);
}

jbyteArray JNICALL PlumbDivide(JNIEnv* env, jclass, jbyteArray a, jbyteArray b) {
  return Divide(env, a, b, kQuotient);
}

jbyteArray JNICALL PlumbRemainder(JNIEnv* env, jclass, jbyteArray a, jbyteArray b) {
  return Divide(env, a, b, kRemainder);
}

jobjectArray JNICALL PlumbDivideAndRemainder(JNIEnv* env, jclass, jbyteArray a, jbyteArray b) {
  Mag* args[2];
  if (!Args(env, args, a, b, true)) return NULL;
  Context ctx;
  Begin(env, ctx);
  // The pair is a Java byte[][]: its class is made before the pair, so that nothing
  // allocates between the pair's creation and its rooting.
  VMArrayClass* pairClass = ctx.byteArrayClass != NULL ? ctx.byteArrayClass->MakeArrayOf() : NULL;
  VMrefArray* pair = pairClass != NULL
                         ? VMrefArray::CreateInstance(ctx.heap, 2, ctx.kind, VMTag_VMUserArrayInstance)
                         : NULL;
  if (pair == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  pair->SetClass((VMClass*)pairClass);
  pair->SetIsReachableByCPlusPlusCode();
  Mag* q = NULL;
  Mag* r = NULL;
  bool done = DivideMagnitudes(ctx, args[0], args[1], &q, &r, kBoth);
  if (done) {
    q = StripLeadingZeros(ctx, q, true);
    if (q == NULL) Free(ctx, r);
    r = q != NULL ? StripLeadingZeros(ctx, r, true) : NULL;
    if (r == NULL) Free(ctx, q);
    done = r != NULL;
  }
  if (!done) {
    Free(ctx, pair);
    Throw(env, ctx);
    return NULL;
  }
  // The pair holds both halves from here on.
  pair->Set(0, q);
  pair->Set(1, r);
  Release(q);
  Release(r);
  jobject handle = VMJniHandle::NewLocal(env, pair);
  if (handle == NULL) {
    Free(ctx, q);
    Free(ctx, r);
    Free(ctx, pair);
    return NULL;
  }
  Release(pair);
  return (jobjectArray)handle;
}

jbyteArray JNICALL PlumbGcd(JNIEnv* env, jclass, jbyteArray a, jbyteArray b) {
  Mag* args[2];
  if (!Args(env, args, a, b, true)) return NULL;
  Context ctx;
  Begin(env, ctx);
  Mag* result = GcdMagnitudes(ctx, args[0], args[1]);
  return Return(env, ctx, result, !IsArgument(result, args, 2));
}

jbyteArray JNICALL PlumbModPow(JNIEnv* env, jclass, jbyteArray base, jbyteArray exp, jbyteArray m) {
  Mag* args[3];
  if (!Args(env, args, base, exp, true, m, true)) return NULL;
  Context ctx;
  Begin(env, ctx);
  return ReturnStripped(env, ctx, ModPowMagnitudes(ctx, args[0], args[1], args[2]), args, 3);
}

jbyteArray JNICALL PlumbModInverse(JNIEnv* env, jclass, jbyteArray a, jbyteArray m) {
  Mag* args[2];
  if (!Args(env, args, a, m, true)) return NULL;
  Context ctx;
  Begin(env, ctx);
  Mag* result = ModInverseMagnitudes(ctx, args[0], args[1]);
  return Return(env, ctx, result, !IsArgument(result, args, 2));
}

jbyteArray JNICALL PlumbGeneratePrime(JNIEnv* env, jclass, jbyteArray start) {
  Mag* args[1];
  if (!Args(env, args, start)) return NULL;
  Context ctx;
  Begin(env, ctx);
  return Return(env, ctx, GeneratePrimeMagnitude(ctx, args[0]), true);
}

}  // namespace bigint

namespace {

const JNINativeMethod kBigInteger[] = {
    PUX_NATIVE("plumbInit", "()V", PlumbInit),
    PUX_NATIVE("plumbAdd", "([B[B)[B", PlumbAdd),
    PUX_NATIVE("plumbSubtract", "([B[B)Ljava/math/BigInteger;", PlumbSubtract),
    PUX_NATIVE("plumbMultiply", "([B[B)[B", PlumbMultiply),
    PUX_NATIVE("plumbDivide", "([B[B)[B", PlumbDivide),
    PUX_NATIVE("plumbRemainder", "([B[B)[B", PlumbRemainder),
    PUX_NATIVE("plumbDivideAndRemainder", "([B[B)[[B", PlumbDivideAndRemainder),
    PUX_NATIVE("plumbGcd", "([B[B)[B", PlumbGcd),
    PUX_NATIVE("plumbModPow", "([B[B[B)[B", PlumbModPow),
    PUX_NATIVE("plumbModInverse", "([B[B)[B", PlumbModInverse),
    PUX_NATIVE("plumbSquare", "([B)[B", PlumbSquare),
    PUX_NATIVE("plumbGeneratePrime", "([B)[B", PlumbGeneratePrime),
};

}  // namespace

void Register_java_math_BigInteger(void) {
  JNI_RegisterNative("java/math/BigInteger", kBigInteger, PUX_ROWS(kBigInteger));
}
