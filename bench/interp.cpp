/* The interpreter beside the reference machine's interpreter (java -Xint) on the same
   class files (bench/java, compiled like the class library): a counting loop, recursive
   fib(30), virtual and interface calls, field and array access, and the counting loop
   in a method longer than 776 bytes (the slow loop). Prints per workload the best time of
   five runs of each machine (the machine may be shared), the ratio, and nanoseconds per
   executed bytecode (counted by running each workload once with a counting opcode table,
   every instruction through the table).

   Then the numeric and array kernels of bench/java/NumBench (FFT, SOR, LU, a sparse
   product, Fourier coefficients, IDEA, heap sort, a game-tree search, BigInteger modPow
   and a prime search, a GZIP read, many short-lived arrays), each run whole by build/puxjava
   and by java -Xint on the same class files: per kernel the best of three runs as the
   program itself times them (setup excluded), the ratio, and whether the checksums of the
   two machines agree. The machine's load average is printed before and after. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>

#include "bench_util.h"
#include "java_bench.h"
#include "interp_support.h"
#include "vmframe.h"

namespace {

VMOpHandler original[256];
uint64_t executed = 0;

VMOpResult VM_HANDLER Counting(VMword* sp, uint8_t* pc, VMword* locals, VMByteCodeFrame* frame) {
  executed++;
  return original[*pc](sp, pc, locals, frame);
}

struct Workload {
  const char* name;
  const char* sig;
  int arg;         // the full run's argument
  int countArg;    // the counted run's argument (the count scales linearly to arg)
};

const Workload kWorkloads[] = {
    {"intLoop", "(I)I", 100000000, 1000000},
    {"fib", "(I)I", 30, 30},
    {"calls", "(I)I", 10000000, 100000},
    {"fields", "(I)I", 20000000, 200000},
    {"intLoopLong", "(I)I", 100000000, 1000000},
};

void PrintLoad(const char* when) {
  char text[128] = "?";
  if (FILE* f = fopen("/proc/loadavg", "r")) {
    if (fgets(text, sizeof text, f) == nullptr) text[0] = 0;
    fclose(f);
  }
  printf("load average %s: %s", when, text);
}

/* The kernels of NumBench, named in wanted (all when empty), on both machines. */
void RunKernels(const std::string& dir, const std::map<std::string, bool>& wanted, bool alone) {
  std::string names;
  for (const auto& w : wanted) names += " " + w.first;
  std::map<std::string, ReferenceFigure> ours =
      ReadReferenceFigures(std::string(PUX_BUILD_DIR) + "/puxjava -cp '" + dir + "' NumBench" + names);
  std::map<std::string, ReferenceFigure> reference;
  if (!alone) reference = ReadReferenceFigures("java -Xint -cp '" + dir + "' NumBench" + names + " 2>/dev/null");
  printf("%-12s %10s %10s %7s\n", "kernel", "puxjvm ms", "java ms", "ratio");
  double logSum = 0;
  int counted = 0;
  for (const char* name : {"fft", "sor", "lu", "sparse", "fourier", "idea", "heapsort", "gametree", "modpow",
                           "primes", "gzip", "alloc"}) {
    if (!wanted.empty() && !wanted.count(name)) continue;
    auto o = ours.find(name);
    auto r = reference.find(name);
    if (o == ours.end()) {
      printf("%-12s failed\n", name);
      continue;
    }
    if (r == reference.end() || r->second.ms <= 0) {
      printf("%-12s %10.0f %10s %7s\n", name, o->second.ms, "-", "-");
      continue;
    }
    double ratio = o->second.ms / r->second.ms;
    logSum += log(ratio);
    counted++;
    printf("%-12s %10.0f %10.0f %7.2f%s\n", name, o->second.ms, r->second.ms, ratio,
           o->second.checksum == r->second.checksum ? "" : "  (checksums differ!)");
  }
  if (counted > 0) printf("%-12s %10s %10s %7.2f\n", "geomean", "", "", exp(logSum / counted));
}

}  // namespace

/* Arguments: workload names to run (all when none); --alone skips the reference machine. */
int main(int argc, char** argv) {
  bool alone = false;
  std::map<std::string, bool> wanted;
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--alone") == 0)
      alone = true;
    else
      wanted[argv[i]] = true;
  }
  PrintLoad("before");
  interp_test::World world;
  std::string dir = interp_test::ClassDir("bench");
  if (!world.Create(dir)) {
    fprintf(stderr, "the benchmark world could not be made\n");
    return 1;
  }
  // The reference machine first, on the same class files.
  std::map<std::string, std::pair<double, long>> reference;
  std::string cmd = "java -Xint -cp '" + dir + "' InterpBenchMain 2>/dev/null";
  if (FILE* p = alone ? nullptr : popen(cmd.c_str(), "r")) {
    char name[64];
    double ms;
    long sum;
    while (fscanf(p, "%63s %lf %ld", name, &ms, &sum) == 3) reference[name] = {ms, sum};
    pclose(p);
  }
  printf("%-12s %10s %10s %7s %12s %12s %s\n", "workload", "puxjvm ms", "java ms", "ratio", "ns/bc pux",
         "ns/bc java", "bytecodes");
  for (const Workload& w : kWorkloads) {
    if (!wanted.empty() && !wanted.count(w.name)) continue;
    VMMethod* m = world.Method("InterpBench", w.name, w.sig);
    if (m == nullptr) {
      printf("%-12s missing\n", w.name);
      continue;
    }
    memcpy(original, VMOpcodeTable, sizeof original);
    for (int i = 0; i < 256; i++) VMOpcodeTable[i] = Counting;
    VMOpcodeTableOnly = true;
    executed = 0;
    world.Call(m, {(VMword)w.countArg});
    VMOpcodeTableOnly = false;
    memcpy(VMOpcodeTable, original, sizeof original);
    double bytecodes = (double)executed * ((double)w.arg / w.countArg);
    interp_test::Outcome out;
    double seconds = bench::Best([&] { out = world.Call(m, {(VMword)w.arg}); }, 5);
    double ms = seconds * 1e3;
    auto ref = reference.find(w.name);
    if (ref != reference.end()) {
      bool same = ref->second.second == (long)out.Int();
      printf("%-12s %10.0f %10.0f %7.2f %12.2f %12.2f %.3g%s\n", w.name, ms, ref->second.first,
             ms / ref->second.first, seconds * 1e9 / bytecodes, ref->second.first * 1e6 / bytecodes, bytecodes,
             same ? "" : "  (checksums differ!)");
    } else {
      printf("%-12s %10.0f %10s %7s %12.2f %12s %.3g\n", w.name, ms, "-", "-", seconds * 1e9 / bytecodes, "-",
             bytecodes);
    }
    if (!out.thrown.empty()) printf("  threw %s\n", out.thrown.c_str());
  }
  world.Destroy();
  bool anyKernel = wanted.empty();
  for (const char* name : {"fft", "sor", "lu", "sparse", "fourier", "idea", "heapsort", "gametree", "modpow",
                           "primes", "gzip", "alloc"}) {
    if (wanted.count(name)) anyKernel = true;
  }
  if (anyKernel) {
    std::map<std::string, bool> only;
    for (const auto& w : wanted) only[w.first] = true;
    for (const Workload& w : kWorkloads) only.erase(w.name);
    RunKernels(dir, only, alone);
  }
  PrintLoad("after");
  return 0;
}
