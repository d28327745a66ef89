/* The natives of java.lang.Math, Double and Float.

   Values cross as bit patterns: the bit conversions read and build their words with
   memcpy, never through a floating-point register, and the tests below compare against
   0.0 in forms that are false for NaN ("!(a >= b)" where NaN must count as below).

   The C library's mathematics runs on the x87 unit on this target, whose control word
   belongs to the host: each call runs under the process default word (exceptions
   masked, round to nearest), so a host that unmasked the invalid operation never gets a
   signal from log(-1), and rint rounds to even whatever rounding the host chose. */
#include <locale.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "registration.h"
#include "javalang.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmupcalls.h"
#include "vmutils.h"

namespace {

const uint64_t kQuietNaNBits = 0x7FF8000000000000ull;
const uint32_t kFloatQuietNaNBits = 0x7FC00000u;

inline jdouble FromBits(uint64_t bits) {
  jdouble d;
  memcpy(&d, &bits, sizeof d);
  return d;
}

inline uint64_t BitsOf(jdouble d) {
  uint64_t bits;
  memcpy(&bits, &d, sizeof bits);
  return bits;
}

inline bool IsNaNBits(uint64_t bits) {
  return (bits & 0x7FF0000000000000ull) == 0x7FF0000000000000ull && (bits & 0x000FFFFFFFFFFFFFull) != 0;
}

/* The x87 control word the C library's functions are written for: all exceptions
   masked, 64-bit mantissa, round to nearest. */
const uint16_t kDefaultControlWord = 0x037F;

inline uint16_t EnterDefaultFpu() {
  uint16_t saved;
  __asm__ volatile("fnstcw %0" : "=m"(saved));
  if (saved != kDefaultControlWord) {
    uint16_t word = kDefaultControlWord;
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(word));
  }
  return saved;
}

inline void LeaveDefaultFpu(uint16_t saved) {
  if (saved != kDefaultControlWord) {
    // Whatever the C library flagged stays out of the host's own exception state.
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(saved));
  }
}

/* Ties a value to the control-word changes around it: the C library's functions without
   errno are const to the compiler, which would otherwise move their calls across the
   fldcw. */
inline double Pinned(double x) {
  __asm__ volatile("" : "+m"(x));
  return x;
}

template <double (*F)(double)>
jdouble JNICALL Unary(JNIEnv*, jclass, jdouble x) {
  uint16_t saved = EnterDefaultFpu();
  jdouble r = Pinned(F(Pinned(x)));
  LeaveDefaultFpu(saved);
  return r;
}

jdouble JNICALL Sqrt(JNIEnv*, jclass, jdouble x) {
  if (!(x >= 0.0)) return FromBits(kQuietNaNBits);
  if (x == HUGE_VAL) return x;
  return sqrt(x);
}

/* The IEEE remainder: the quotient rounded to the nearest integer, ties to the even one,
   so (3, 2) is -1 and (5, 2) is 1. */
jdouble JNICALL IEEEremainder(JNIEnv*, jclass, jdouble x, jdouble y) {
  uint16_t saved = EnterDefaultFpu();
  jdouble r = Pinned(remainder(Pinned(x), y));
  LeaveDefaultFpu(saved);
  return r;
}

jdouble JNICALL Rint(JNIEnv*, jclass, jdouble x) {
  uint16_t saved = EnterDefaultFpu();
  jdouble r = Pinned(nearbyint(Pinned(x)));
  LeaveDefaultFpu(saved);
  return r;
}

jdouble JNICALL Atan2(JNIEnv*, jclass, jdouble y, jdouble x) {
  uint16_t saved = EnterDefaultFpu();
  jdouble r = Pinned(atan2(Pinned(y), x));
  LeaveDefaultFpu(saved);
  return r;
}

/* The class library's documented refusals first (zero to a power of zero or less, a
   negative base to a finite power that is not a whole number), then the Java results
   where the C library's differ: a NaN exponent gives NaN, a zero exponent 1, a NaN base
   NaN, and 1 or -1 to an infinite power NaN. */
/* Pow's computation; false (nothing computed) for the refused arguments. */
bool PowOf(jdouble x, jdouble y, jdouble* out) {
  if (x == 0.0 && y <= 0.0) return false;
  if (y != y) {
    *out = FromBits(kQuietNaNBits);
    return true;
  }
  if (y == 0.0) {
    *out = 1.0;
    return true;
  }
  if (x != x) {
    *out = FromBits(kQuietNaNBits);
    return true;
  }
  uint16_t saved = EnterDefaultFpu();
  jdouble r;
  if (x < 0.0 && y != HUGE_VAL && y != -HUGE_VAL && floor(Pinned(y)) != y) {
    LeaveDefaultFpu(saved);
    return false;
  }
  if ((x == 1.0 || x == -1.0) && (y == HUGE_VAL || y == -HUGE_VAL))
    r = FromBits(kQuietNaNBits);
  else
    r = Pinned(pow(Pinned(x), y));
  LeaveDefaultFpu(saved);
  *out = r;
  return true;
}

jdouble JNICALL Pow(JNIEnv* env, jclass, jdouble x, jdouble y) {
  jdouble r = 0.0;
  if (!PowOf(x, y, &r)) {
    VMJniThrowInternal(env, VMStatus_ArithmeticException, "illegal arguments to pow()");
    return 0.0;
  }
  return r;
}

/* Java's doubleToLongBits: every NaN is the one canonical pattern. */
jlong JNICALL DoubleToLongBits(JNIEnv*, jclass, jdouble d) {
  uint64_t bits = BitsOf(d);
  if (IsNaNBits(bits)) bits = kQuietNaNBits;
  return (jlong)bits;
}

jdouble JNICALL LongBitsToDouble(JNIEnv*, jclass, jlong bits) { return FromBits((uint64_t)bits); }

jint JNICALL FloatToIntBits(JNIEnv*, jclass, jfloat f) {
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  if ((bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0) bits = kFloatQuietNaNBits;
  return (jint)bits;
}

jfloat JNICALL IntBitsToFloat(JNIEnv*, jclass, jint bits) {
  jfloat f;
  memcpy(&f, &bits, sizeof f);
  return f;
}

/* Numbers are read in the "C" locale whatever locale the host process set: a host in a
   decimal-comma locale must not make "1.5" unreadable. Made once, never freed. */
locale_t NumberLocale() {
  static locale_t locale = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
  return locale;
}

jdouble JNICALL DoubleValueOf0(JNIEnv* env, jclass, jstring s) {
  char* text = javalang::TextOf(env, s);
  if (text == NULL) return 0.0;
  char* end = NULL;
  locale_t locale = NumberLocale();
  jdouble d = locale != (locale_t)0 ? strtod_l(text, &end, locale) : strtod(text, &end);
  if (end == NULL || *end != 0) VMJniThrowInternal(env, VMStatus_NumberFormatException, NULL);
  VMJavaLangString::FreeUTF8(text);
  return d;
}

/* Math.random's generator: java.util.Random's 48-bit one, one for the process, each draw's
   two steps taken by one compare-and-swap, so that threads drawing at once each get draws of
   their own (a Random in a static field handed the same ones to several: interpreted
   synchronized excludes nobody). Seeded by the first registration (javalang::RandomSeed),
   with a mark above the seed that it was. */
const uint64_t kRandomMask = (1ull << 48) - 1, kRandomSeeded = 1ull << 63;
std::atomic<uint64_t> gRandom{0};

inline uint64_t RandomStep(uint64_t seed) { return (seed * 0x5DEECE66Dull + 0xB) & kRandomMask; }

/* The processor's cycle count: finer than any clock the host offers, and read without
   asking the system for anything. */
inline uint64_t Cycles() {
#if defined(__i386__) || defined(__x86_64__)
  uint32_t low, high;
  __asm__ volatile("rdtsc" : "=a"(low), "=d"(high));
  return (uint64_t)high << 32 | low;
#else
  return 0;
#endif
}

/* Every bit of the input reaches every bit of the result (the finaliser of splitmix64). */
inline uint64_t Spread(uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

void SeedRandom() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  uint64_t unseeded = 0;
  const uint64_t seed = javalang::RandomSeed(host != NULL ? host->CurrentTimeMillis() : 0);
  gRandom.compare_exchange_strong(unseeded, seed | kRandomSeeded);
}

/* Random.nextDouble's formula: 26 bits of the first step over 27 of the second. */
jdouble JNICALL NextRandom(JNIEnv*, jclass) {
  uint64_t word = gRandom.load(std::memory_order_relaxed), first, second;
  do {
    first = RandomStep(word & kRandomMask);
    second = RandomStep(first);
  } while (!gRandom.compare_exchange_weak(word, second | kRandomSeeded, std::memory_order_relaxed));
  return (jdouble)(int64_t)(((first >> 22) << 27) + (second >> 21)) * 0x1p-53;
}

const JNINativeMethod kMathRandom[] = {
    PUX_NATIVE("next", "()D", NextRandom),
};

const JNINativeMethod kMath[] = {
    PUX_NATIVE("sin", "(D)D", (Unary<sin>)),
    PUX_NATIVE("cos", "(D)D", (Unary<cos>)),
    PUX_NATIVE("tan", "(D)D", (Unary<tan>)),
    PUX_NATIVE("asin", "(D)D", (Unary<asin>)),
    PUX_NATIVE("acos", "(D)D", (Unary<acos>)),
    PUX_NATIVE("atan", "(D)D", (Unary<atan>)),
    PUX_NATIVE("exp", "(D)D", (Unary<exp>)),
    PUX_NATIVE("log", "(D)D", (Unary<log>)),
    PUX_NATIVE("sqrt", "(D)D", Sqrt),
    PUX_NATIVE("IEEEremainder", "(DD)D", IEEEremainder),
    PUX_NATIVE("ceil", "(D)D", (Unary<ceil>)),
    PUX_NATIVE("floor", "(D)D", (Unary<floor>)),
    PUX_NATIVE("rint", "(D)D", Rint),
    PUX_NATIVE("atan2", "(DD)D", Atan2),
    PUX_NATIVE("pow", "(DD)D", Pow),
};

const JNINativeMethod kDouble[] = {
    PUX_NATIVE("doubleToLongBits", "(D)J", DoubleToLongBits),
    PUX_NATIVE("longBitsToDouble", "(J)D", LongBitsToDouble),
    PUX_NATIVE("valueOf0", "(Ljava/lang/String;)D", DoubleValueOf0),
};

const JNINativeMethod kFloat[] = {
    PUX_NATIVE("floatToIntBits", "(F)I", FloatToIntBits),
    PUX_NATIVE("intBitsToFloat", "(I)F", IntBitsToFloat),
};

}  // namespace

/* Processes started in the same millisecond must not draw the same sequence, so the clock
   is only a part: the processor's cycle count tells apart two seeds taken in one
   millisecond, and where this process has its stack and the machine its data (which the
   system lays out anew for each process) two processes. The host's services give no
   process id, and the machine asks the system for nothing itself. */
uint64_t javalang::RandomSeed(jlong millis) {
  const uint64_t here = (uint64_t)(uintptr_t)&millis << 32 ^ (uint64_t)(uintptr_t)&gRandom;
  return (Spread(Spread((uint64_t)millis ^ Cycles()) ^ here) ^ 0x5DEECE66Dull) & kRandomMask;
}

bool upcall::MathLeafCall(void* address, const uint32_t* args, uint32_t* result) {
  // The same functions the natives are, called directly (no search of a table, no call
  // through a pointer): the results cannot differ by the way in. The commonest first.
  jdouble x, y, r;
  memcpy(&x, args, sizeof x);
  if (address == (void*)Pow) {
    memcpy(&y, args + 2, sizeof y);
    if (!PowOf(x, y, &r)) return false;
  } else if (address == (void*)Unary<sin>) {
    r = Unary<sin>(NULL, NULL, x);
  } else if (address == (void*)Unary<cos>) {
    r = Unary<cos>(NULL, NULL, x);
  } else if (address == (void*)Sqrt) {
    r = Sqrt(NULL, NULL, x);
  } else if (address == (void*)Unary<exp>) {
    r = Unary<exp>(NULL, NULL, x);
  } else if (address == (void*)Unary<log>) {
    r = Unary<log>(NULL, NULL, x);
  } else if (address == (void*)Unary<tan>) {
    r = Unary<tan>(NULL, NULL, x);
  } else if (address == (void*)Unary<asin>) {
    r = Unary<asin>(NULL, NULL, x);
  } else if (address == (void*)Unary<acos>) {
    r = Unary<acos>(NULL, NULL, x);
  } else if (address == (void*)Unary<atan>) {
    r = Unary<atan>(NULL, NULL, x);
  } else if (address == (void*)Unary<ceil>) {
    r = Unary<ceil>(NULL, NULL, x);
  } else if (address == (void*)Unary<floor>) {
    r = Unary<floor>(NULL, NULL, x);
  } else if (address == (void*)Rint) {
    r = Rint(NULL, NULL, x);
  } else if (address == (void*)IEEEremainder) {
    memcpy(&y, args + 2, sizeof y);
    r = IEEEremainder(NULL, NULL, x, y);
  } else if (address == (void*)Atan2) {
    memcpy(&y, args + 2, sizeof y);
    r = Atan2(NULL, NULL, x, y);
  } else if (address == (void*)NextRandom) {
    r = NextRandom(NULL, NULL);
  } else {
    return false;
  }
  memcpy(result, &r, sizeof r);
  return true;
}

/* Math.random's generator has a class of its own, so that Math's table stays the one it is. */
void Register_java_lang_Math(void) {
  JNI_RegisterNative("java/lang/Math", kMath, PUX_ROWS(kMath));
  SeedRandom();
  JNI_RegisterNative("java/lang/MathRandom", kMathRandom, PUX_ROWS(kMathRandom));
}

void Register_java_lang_Double(void) { JNI_RegisterNative("java/lang/Double", kDouble, PUX_ROWS(kDouble)); }

void Register_java_lang_Float(void) { JNI_RegisterNative("java/lang/Float", kFloat, PUX_ROWS(kFloat)); }
