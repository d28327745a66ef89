/* Multi-precision arithmetic of java.math.BigInteger on magnitudes: unsigned big-endian
   byte arrays of the machine's heap, without leading zero bytes when this code makes
   them (zero is the empty array), with any number of leading zero bytes when they come
   in. The Java class keeps the signs; everything here sees magnitudes only.

   The routines work on Java byte arrays and, inside division, on word arrays of the
   same heap, always through the arrays' element look-up: a body beyond its first 776
   bytes lies in pieces. They report a failure by recording it in the Context and
   answering NULL (or false); the natives turn the record into a pending exception.

   Every array a routine makes is a temporary of the call until the native hands it to
   Java: it is marked as held by machine code, so that a collection run by an allocation
   or at a poll keeps it, and it is freed at once when it has served. An array that came
   in as an argument is never written to and never freed; a result may be an argument
   array itself (gcd, modular power, modular inverse), which the caller must tell apart
   before freeing anything. */
#ifndef PUX_BIGINTEGER_H
#define PUX_BIGINTEGER_H

#include "vmarray.h"

namespace bigint {

/* A computation: where its arrays come from, its first failure, and its poll. */
struct Context {
  HHeap* heap = NULL;
  /* The class every byte array made here carries: the byte-array class that arrays of
     the native interface carry. NULL only where no machine exists (storage tests). */
  VMClass* byteArrayClass = NULL;
  /* Kind of every allocation: 0 lets a refused one collect once and retry, which the
     temporaries survive because they are marked as held by machine code. */
  jallocType kind = jallocCollectAndRetry;

  /* The failure that ends the computation: a status with its message (NULL for none,
     "" for an empty one). A later failure replaces an earlier one, as a later throw
     replaces a pending exception, except after a stop, which nothing replaces. */
  VMStatus status = VMStatus_OK;
  const char* message = NULL;
  bool stopped = false;

  /* Called once every PollSteps units of work (a unit is one pass over about 32 bytes
     or one word); a nonzero answer stops the computation. The answer's exception, if
     any, is the poll's own business: the stop records status 1 (already thrown). The
     routines keep the addresses of their arrays across it, so it must never stop the
     thread where the host may move the machine (a suspension, a debugger's park). */
  int (*poll)(void* data) = NULL;
  void* pollData = NULL;
  uint32_t budget = PollSteps;
  uint32_t polls = 0;

  enum : uint32_t { PollSteps = 1u << 16 };

  bool Failed() const { return status != VMStatus_OK; }
  void Raise(VMStatus s, const char* m) {
    if (stopped) return;
    status = s;
    message = m;
  }
  /* Counts work; false once the computation has failed or the poll stopped it. */
  bool Step(uint32_t units) {
    if (budget > units) {
      budget -= units;
      return !stopped;
    }
    budget = PollSteps;
    polls++;
    if (poll != NULL && !stopped && poll(pollData) != 0) {
      Raise(VMStatus_AlreadyThrown, NULL);
      stopped = true;
    }
    return !stopped;
  }
};

typedef VMbyteArray Mag;
typedef VMuintArray Words;

/* ---- element access ---- */

inline uint32_t Len(const VMArray* a) { return a->GetSize(); }
inline uint8_t GetByte(const Mag* a, uint32_t i) { return *(const uint8_t*)a->FindElement(i, 0u); }
inline void SetByte(Mag* a, uint32_t i, uint8_t v) { *(uint8_t*)a->FindElement(i, 0u) = v; }
/* Byte k from the least significant end, 0 beyond the array. */
inline uint8_t ByteFromEnd(const Mag* a, uint32_t k) {
  uint32_t n = Len(a);
  return k < n ? GetByte(a, n - 1 - k) : 0;
}
inline uint32_t GetWord(const Words* a, uint32_t i) { return *(const uint32_t*)a->FindElement(i, 2u); }
inline void PutWord(Words* a, uint32_t i, uint32_t v) { *(uint32_t*)a->FindElement(i, 2u) = v; }

/* ---- arrays ---- */

/* A zeroed byte array of n bytes, a temporary; NULL (nothing recorded) when refused. */
Mag* CreateByteArray(Context& ctx, uint32_t n);
/* A zeroed word array of n words, never seen by Java; NULL when refused. */
Words* CreateWordArray(Context& ctx, uint32_t n);
/* Frees a temporary (NULL is ignored). */
void Free(Context& ctx, VMArray* a);
/* Hands a temporary over to Java: it is no longer held by machine code. */
void Release(VMArray* a);

/* A canonical array of the same value: a itself when it is empty or begins with a
   nonzero byte; otherwise a new array of the remaining bytes, and a is freed when it
   is owned (a temporary; an argument is left as it is). NULL with OutOfMemoryError
   (empty message) recorded when the copy is refused; an owned a is freed then too. */
Mag* StripLeadingZeros(Context& ctx, Mag* a, bool owned);
/* A new temporary holding the bytes of a; NULL with OutOfMemoryError (empty message). */
Mag* CopyMagnitude(Context& ctx, const Mag* a);

/* ---- magnitude arithmetic ---- */

/* Canonical a + b. */
Mag* AddMagnitudes(Context& ctx, const Mag* a, const Mag* b);
/* The two's complement of a - b in max(|a|, |b|) + 1 bytes: first byte 0x00 when
   a >= b, 0xFF otherwise. Not stripped. */
Mag* SubtractMagnitudes(Context& ctx, const Mag* a, const Mag* b);
/* Canonical a * b. */
Mag* MultiplyMagnitudes(Context& ctx, const Mag* a, const Mag* b);
/* Operands up to this many bytes are multiplied (and twice as many divided) as words in
   local buffers; a modular power with a modulus up to it runs there whole. */
enum : uint32_t { kFastBytes = 1024 };
/* base ^ exp mod m, canonical, for a nonzero m of at most kFastBytes bytes and a base of
   at most 2 * kFastBytes, the exponent above one: the square-and-multiply of
   ModPowMagnitudes without an array per step. */
Mag* ModPowInBuffers(Context& ctx, const Mag* base, const Mag* exp, const Mag* m);
/* acc += x in place over |acc| bytes, x read as 0 beyond its length; the carry out of
   the top byte is dropped. */
void AccumulateMagnitude(Mag* acc, const Mag* x);

enum DivideMode { kQuotient = 0, kRemainder = 1, kBoth = 2 };
/* n / d and n mod d into the outputs that the mode asks for, each max(|n|, |d|) bytes,
   not stripped. False with both outputs NULL after a failure: ArithmeticException (no
   message) for a zero divisor, OutOfMemoryError (no message) when refused memory. */
bool DivideMagnitudes(Context& ctx, const Mag* n, const Mag* d, Mag** quotient, Mag** remainder,
                      DivideMode mode);
/* The remainder alone (mode 1). */
Mag* Remainder(Context& ctx, const Mag* x, const Mag* y);

/* ---- word routines of division (word 0 most significant; skip leaves out the last
   skip words) ---- */
void BytesToWords(const Mag* bytes, Words* words);
void WordsToBytes(const Words* words, Mag* bytes);
uint32_t WordsBitLength(const Words* x);
uint32_t WordsLess(const Words* x, const Words* y, uint32_t skip);
uint32_t SubtractWords(Words* x, const Words* y, uint32_t skip);
uint32_t ShiftWordsLeft1(Words* x, uint32_t skip);
void ShiftWordsRight1(Words* x);
void SetWordBit(Words* x, uint32_t k);
/* N := N mod D and Q := N / D (Q may be NULL); false when the poll stopped it. */
bool DivideWords(Context& ctx, Words* n, Words* d, Words* q);

/* ---- number theory ---- */

bool IsZeroMagnitude(const Mag* x);
bool IsOneMagnitude(const Mag* x);
bool LessMagnitude(const Mag* a, const Mag* b);
/* Shifts x right one bit in place; the bit shifted out. Only on temporaries. */
uint32_t HalveMagnitude(Mag* x);

/* gcd(a, b); gcd(x, 0) is x stripped and gcd(0, 0) the empty array. May be an argument
   array, with its leading zeros. */
Mag* GcdMagnitudes(Context& ctx, const Mag* a, const Mag* b);
/* base ^ exp mod m; a zero m is ArithmeticException (no message). May be an argument
   array (base 0 or 1), with its leading zeros. */
Mag* ModPowMagnitudes(Context& ctx, const Mag* base, const Mag* exp, const Mag* m);
/* a ^ -1 mod m for a >= 0: ArithmeticException "modulus not positive" for a zero m,
   "not invertible" when there is no inverse (a = 0 included). May be the argument a
   itself (a = 1), or carry leading zeros. */
Mag* ModInverseMagnitudes(Context& ctx, const Mag* a, const Mag* m);
/* The first odd number at or above start that no prime from 3 to 19 other than itself
   divides and that passes the base-2 Fermat test; an empty start counts as 1. May carry
   the leading zeros of start. */
Mag* GeneratePrimeMagnitude(Context& ctx, const Mag* start);

/* ---- the natives (the class argument is not used) ---- */

void JNICALL PlumbInit(JNIEnv* env, jclass cls);
jbyteArray JNICALL PlumbAdd(JNIEnv* env, jclass cls, jbyteArray a, jbyteArray b);
jobject JNICALL PlumbSubtract(JNIEnv* env, jclass cls, jbyteArray a, jbyteArray b);
jbyteArray JNICALL PlumbMultiply(JNIEnv* env, jclass cls, jbyteArray a, jbyteArray b);
jbyteArray JNICALL PlumbSquare(JNIEnv* env, jclass cls, jbyteArray a);
jbyteArray JNICALL PlumbDivide(JNIEnv* env, jclass cls, jbyteArray a, jbyteArray b);
jbyteArray JNICALL PlumbRemainder(JNIEnv* env, jclass cls, jbyteArray a, jbyteArray b);
jobjectArray JNICALL PlumbDivideAndRemainder(JNIEnv* env, jclass cls, jbyteArray a, jbyteArray b);
jbyteArray JNICALL PlumbGcd(JNIEnv* env, jclass cls, jbyteArray a, jbyteArray b);
jbyteArray JNICALL PlumbModPow(JNIEnv* env, jclass cls, jbyteArray base, jbyteArray exp, jbyteArray m);
jbyteArray JNICALL PlumbModInverse(JNIEnv* env, jclass cls, jbyteArray a, jbyteArray m);
jbyteArray JNICALL PlumbGeneratePrime(JNIEnv* env, jclass cls, jbyteArray start);

}  // namespace bigint

#endif
