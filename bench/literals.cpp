/* Literal interning against plain C++: interning throughput on one and on four threads
   (fresh name space each run), and the look-up of literals that already exist against
   std::unordered_map<std::string, ...>::find over the same names. Prints the figures and
   the look-up ratio (lower is better; 1.0 = as fast as the map). */
#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "refhost.h"
#include "vmhandlearray.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmutils.h"

namespace {

typedef std::chrono::steady_clock Clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

/* Best of several runs, to keep one-off stalls out of the figures: Best times the whole
   run, BestOf takes the time each run reports for its own measured part. */
template <typename F>
double BestOf(F run, int repeats) {
  double best = 1e30;
  for (int i = 0; i < repeats; i++) {
    double t = run();
    if (t < best) best = t;
  }
  return best;
}

template <typename F>
double Best(F run, int repeats = 5) {
  return BestOf([&] {
    Clock::time_point start = Clock::now();
    run();
    return Seconds(start);
  }, repeats);
}

const int kNames = 200000;
const int kThreads = 4;

struct Space {
  HHeap* heap;
  VMNameSpace* ns;
};

/* A name space with the literal table the start-up makes (0x2000 entries to begin with). */
Space MakeSpace(JNIHostFunctions* host) {
  Space s;
  s.heap = host->HeapCreate(nullptr, 1);
  s.ns = (VMNameSpace*)VMObject::CreateInternalNotToBeCalledDirectly(
      s.heap, VMNameSpace::Words, VMNameSpace::RefMask, VMTag_VMNameSpace, jallocFailFast);
  s.ns->SetHeap(s.heap);
  s.ns->SetLiteralHashTable(VMLiteralHashTable::CreateInstance(s.heap, 0x2000));
  return s;
}

void DropSpace(JNIHostFunctions* host, Space& s) {
  VMLiteralHashTable* t = s.ns->GetLiteralHashTable();
  for (uint32_t i = 0; i < t->GetFilled(); i++) ((VMLiteral*)t->Get(i))->Destroy(s.heap);
  t->Destroy(s.heap);
  s.ns->Destroy(s.heap);
  host->HeapDestroy(s.heap);
}

volatile uintptr_t sink;

}  // namespace

int main() {
  JNIHostFunctions* host = refhost::Functions();
  VMUtils::Init(host);

  /* Class, member and signature names of the lengths a class library has. */
  std::vector<std::string> names;
  names.reserve(kNames);
  for (int i = 0; i < kNames; i++) {
    switch (i % 4) {
      case 0: names.push_back("corvane/util/Class" + std::to_string(i)); break;
      case 1: names.push_back("get" + std::to_string(i)); break;
      case 2: names.push_back("(Ljava/lang/String;I)V" + std::to_string(i)); break;
      default: names.push_back("field_" + std::to_string(i * 31)); break;
    }
  }

  /* Interning into a fresh name space; only the interning is timed. */
  double one = BestOf([&] {
    Space s = MakeSpace(host);
    Clock::time_point start = Clock::now();
    for (const std::string& n : names) sink = (uintptr_t)VMLiteral::CreateInstance(s.ns, n.data(), (uint32_t)n.size());
    double t = Seconds(start);
    DropSpace(host, s);
    return t;
  }, 3);

  double four = BestOf([&] {
    Space s = MakeSpace(host);
    Clock::time_point start = Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; t++) {
      workers.emplace_back([&, t] {
        for (int i = t; i < kNames; i += kThreads) {
          const std::string& n = names[i];
          sink = (uintptr_t)VMLiteral::CreateInstance(s.ns, n.data(), (uint32_t)n.size());
        }
      });
    }
    for (auto& w : workers) w.join();
    double t = Seconds(start);
    DropSpace(host, s);
    return t;
  }, 3);

  printf("literal interning, %d new names: one thread %.0f literals/s, %d threads %.0f literals/s\n",
         kNames, kNames / one, kThreads, kNames / four);

  /* Look-up of literals that exist, in an order unrelated to insertion, in name spaces of
     a small program's, a class library's and a large size. */
  for (int count : {3000, 30000, kNames}) {
    Space s = MakeSpace(host);
    std::unordered_map<std::string, VMLiteral*> map;
    for (int i = 0; i < count; i++) {
      const std::string& n = names[i];
      map.emplace(n, VMLiteral::CreateInstance(s.ns, n.data(), (uint32_t)n.size()));
    }
    /* A fixed shuffle: no stride for either side's prefetcher to follow. */
    std::vector<int> order(count);
    for (int i = 0; i < count; i++) order[i] = i;
    uint32_t x = 12345;
    for (int i = count - 1; i > 0; i--) {
      x = x * 1103515245u + 12345u;
      std::swap(order[i], order[(x >> 8) % (uint32_t)(i + 1)]);
    }
    const int rounds = 300000 / count + 1;
    /* The two are timed in turns, so that a busy machine slows both alike. */
    double lookup = 1e30, mapLookup = 1e30;
    for (int turn = 0; turn < 15; turn++) {
      lookup = std::min(lookup, Best([&] {
        for (int r = 0; r < rounds; r++)
          for (int i : order) {
            const std::string& n = names[i];
            sink = (uintptr_t)VMLiteral::CreateInstance(s.ns, n.data(), (uint32_t)n.size());
          }
      }, 1));
      mapLookup = std::min(mapLookup, Best([&] {
        for (int r = 0; r < rounds; r++)
          for (int i : order) sink = (uintptr_t)map.find(names[i])->second;
      }, 1));
    }
    DropSpace(host, s);
    double lookups = (double)count * rounds;
    printf("look-up of an existing literal among %d: %.1f ns, std::unordered_map::find %.1f ns, "
           "ratio %.2f\n",
           count, lookup / lookups * 1e9, mapLookup / lookups * 1e9, lookup / mapLookup);
  }
  return 0;
}
