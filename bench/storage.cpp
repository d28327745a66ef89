/* Storage costs against plain C++: small-block allocation through the reference host
   against malloc/free, element reads of a 1,000,000-element int array through the
   array accessors against a flat C array, and handles added to a handle array (as JNI
   local references are) against std::vector::push_back. Prints ratios (lower is better;
   1.0 = equal). */
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>

#include "bench_util.h"
#include "refhost.h"
#include "vmarray.h"
#include "vmhandlearray.h"
#include "vmutils.h"

namespace {

using bench::Best;

/* Runs of each measurement; the best one counts. */
const int kRepeats = 7;

volatile uint32_t sink;

const int kBatch = 1000;
const int kRounds = 200;

/* Sizes of machine blocks: headers of small objects and storage pieces. */
uint32_t SizeOf(int i) { return 20 + 4 * (uint32_t)((i * 7) % 60); }

/* One timed run each; the caller takes the best of several, the three kinds in turn, so
   that a stretch of a busy machine costs all of them alike. */
double MallocRun() {
  static void* blocks[kBatch];
  return Best([] {
    for (int r = 0; r < kRounds; r++) {
      for (int i = 0; i < kBatch; i++) blocks[i] = malloc(SizeOf(i));
      for (int i = 0; i < kBatch; i++) free(blocks[i]);
    }
  }, 1);
}

double HostRun(JNIHostFunctions* host, HHeap* heap) {
  static void* blocks[kBatch];
  return Best([host, heap] {
    for (int r = 0; r < kRounds; r++) {
      for (int i = 0; i < kBatch; i++) blocks[i] = host->HeapAlloc(heap, SizeOf(i), jallocFailFast);
      for (int i = 0; i < kBatch; i++) host->HeapFree(heap, blocks[i]);
    }
  }, 1);
}

}  // namespace

int main() {
  JNIHostFunctions* host = refhost::Functions();
  VMUtils::Init(host);
  HHeap* heap = host->HeapCreate(nullptr, 2);

  double mallocTime = 1e30, heapTime = 1e30, processTime = 1e30;
  for (int i = 0; i < 3 * kRepeats; i++) {
    mallocTime = std::min(mallocTime, MallocRun());
    heapTime = std::min(heapTime, HostRun(host, heap));
    processTime = std::min(processTime, HostRun(host, nullptr));
  }
  printf("allocation+free of %d small blocks (20-256 bytes), %d rounds:\n", kBatch, kRounds);
  printf("  malloc/free                 %8.2f ns/pair\n", mallocTime / (kBatch * kRounds) * 1e9);
  printf("  host machine heap           %8.2f ns/pair  ratio %.2f (target <= 1.5)\n",
         heapTime / (kBatch * kRounds) * 1e9, heapTime / mallocTime);
  printf("  host process memory         %8.2f ns/pair  ratio %.2f (target <= 1.5)\n",
         processTime / (kBatch * kRounds) * 1e9, processTime / mallocTime);

  const uint32_t n = 1000000;
  VMintArray* array = VMintArray::CreateInstance(heap, n, jallocFailFast, VMTag_VMintArray);
  if (array == NULL) {
    printf("cannot make the array\n");
    return 1;
  }
  std::vector<jint> flat(n);
  for (uint32_t i = 0; i < n; i++) {
    flat[i] = (jint)(i * 2654435761u);
    array->Set(i, flat[i]);
  }
  std::vector<uint32_t> order(n);
  uint32_t x = 12345;
  for (uint32_t i = 0; i < n; i++) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    order[i] = x % n;
  }

  const jint* flatData = flat.data();
  double flatSequential = Best([flatData] {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n; i++) sum += (uint32_t)flatData[i];
    sink = sum;
  }, kRepeats);
  double runSequential = Best([array] {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n;) {
      uint32_t run;
      const jint* p = static_cast<const jint*>(array->FindElement(i, &run));
      for (uint32_t k = 0; k < run; k++) sum += (uint32_t)p[k];
      i += run;
    }
    sink = sum;
  }, kRepeats);
  double getSequential = Best([array] {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n; i++) sum += (uint32_t)array->Get(i);
    sink = sum;
  }, kRepeats);
  const uint32_t* idx = order.data();
  double flatRandom = Best([flatData, idx] {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n; i++) sum += (uint32_t)flatData[idx[i]];
    sink = sum;
  }, kRepeats);
  double getRandom = Best([array, idx] {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n; i++) sum += (uint32_t)array->Get(idx[i]);
    sink = sum;
  }, kRepeats);

  printf("reads of a %u-element int array:\n", n);
  printf("  sequential, flat            %8.3f ms\n", flatSequential * 1e3);
  printf("  sequential, FindElement runs%8.3f ms  ratio %.2f (target <= 2)\n", runSequential * 1e3,
         runSequential / flatSequential);
  printf("  sequential, Get per element %8.3f ms  ratio %.2f\n", getSequential * 1e3,
         getSequential / flatSequential);
  printf("  random, flat                %8.3f ms\n", flatRandom * 1e3);
  printf("  random, Get per element     %8.3f ms  ratio %.2f\n", getRandom * 1e3, getRandom / flatRandom);

  array->Destroy(heap);

  // Handles: n objects added one by one to a handle array growing by 16, every fourth
  // one deleted again, then the array filled up once more (a native method making and
  // dropping local references). The cost per handle must not grow with n.
  VMInternalObject* object = VMInternalObject::Instantiate(heap, 1, 0);
  printf("handles added to a handle array (growing by 16), against std::vector:\n");
  for (uint32_t handles : {2000u, 20000u}) {
    double vectorTime = Best([handles, object] {
      std::vector<VMObject*> v;
      for (uint32_t i = 0; i < handles; i++) v.push_back(object);
      for (uint32_t i = 0; i < handles; i += 4) v[i] = nullptr;
      for (uint32_t i = 0; i < handles; i += 4) v[i] = object;
      sink = (uint32_t)v.size();
    }, kRepeats);
    double arrayTime = Best([handles, object, heap] {
      VMHandleArray* a = VMHandleArray::CreateInstance(heap, VMTag_VMObjectArray, 16, 16);
      for (uint32_t i = 0; i < handles; i++) a->Add(object);
      for (uint32_t i = 1; i < handles; i += 4) a->Delete(i);
      for (uint32_t i = 1; i < handles; i += 4) a->Add(object);
      sink = a->GetCount();
      a->Destroy(heap);
    }, 3);
    double perHandle = arrayTime / (handles + handles / 4);
    printf("  %6u handles               %8.1f ns/handle  ratio %.1f\n", handles, perHandle * 1e9,
           arrayTime / vectorTime);
  }
  object->Destroy(heap);
  host->HeapDestroy(heap);
  return 0;
}
