/* TCP over the loopback on this machine beside the reference machine (java -Xint), both
   running bench/java/NetBench: the throughput of 8 KB writes that a server thread reads
   (milliseconds per megabyte), and 64-byte request-response round trips (milliseconds
   each), as Java measures them on each machine; both must see every byte ("whole",
   "right").

   Usage: bench_net [MIN_MS]   (each measure runs at least MIN_MS, default 1000) */
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <utility>

#include "java_bench.h"

namespace {

typedef std::map<std::string, std::pair<double, std::string>> Figures;

Figures Parse(const std::string& text) {
  Figures out;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    char name[64], check[16];
    double ms;
    if (sscanf(text.substr(at, nl - at).c_str(), "%63s %lf %15s", name, &ms, check) == 3) out[name] = {ms, check};
    at = nl + 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int minMs = argc > 1 ? atoi(argv[1]) : 1000;
  std::string oursText, reference;
  if (!RunJavaBench("NetBench", minMs, &oursText, &reference)) return 1;
  Figures ours = Parse(oursText);
  Figures ref = Parse(reference);

  printf("%-26s %14s %14s %8s  %s\n", "measure (ms each)", "puxjvm", "java -Xint", "ratio", "bytes seen");
  for (const auto& kv : ours) {
    auto it = ref.find(kv.first);
    double theirs = it != ref.end() ? it->second.first : -1;
    std::string seen = kv.second.second + " / " + (it != ref.end() ? it->second.second : "no reference");
    printf("%-26s %14.3f %14.3f %8.2f  %s\n", kv.first.c_str(), kv.second.first, theirs,
           theirs > 0 ? kv.second.first / theirs : 0.0, seen.c_str());
  }
  return 0;
}
