/* java.math.BigInteger on this machine beside the reference machine (java -Xint), both
   running bench/java/BigIntBench on the same operands: 1,024- and 2,048-bit modPow,
   4,096-bit multiplication, division of 8,192 by 4,096 and of 4,096 by 2,048 bits, and
   isProbablePrime(50) of a 512-bit prime. Milliseconds per operation as Java measures them
   on each machine; the checksums (the results' hash codes) must agree.

   Usage: bench_bigint [MIN_MS]   (each operation runs at least MIN_MS, default 1000) */
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <utility>

#include "java_bench.h"

namespace {

typedef std::map<std::string, std::pair<double, long>> Figures;

Figures Parse(const std::string& text) {
  Figures out;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    char name[64];
    double ms;
    long sum;
    if (sscanf(text.substr(at, nl - at).c_str(), "%63s %lf %ld", name, &ms, &sum) == 3) out[name] = {ms, sum};
    at = nl + 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int minMs = argc > 1 ? atoi(argv[1]) : 1000;
  std::string oursText, reference;
  if (!RunJavaBench("BigIntBench", minMs, &oursText, &reference)) return 1;
  Figures ours = Parse(oursText);
  Figures ref = Parse(reference);

  printf("%-26s %14s %14s %8s  %s\n", "operation (ms each)", "puxjvm", "java -Xint", "ratio", "results");
  for (const auto& kv : ours) {
    auto it = ref.find(kv.first);
    double theirs = it != ref.end() ? it->second.first : -1;
    const char* same = it == ref.end() ? "no reference" : it->second.second == kv.second.second ? "same" : "DIFFER";
    printf("%-26s %14.3f %14.3f %8.2f  %s\n", kv.first.c_str(), kv.second.first, theirs,
           theirs > 0 ? kv.second.first / theirs : 0.0, same);
  }
  return 0;
}
