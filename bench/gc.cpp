/* The collector beside the reference machine's serial collector: bench/java/GcBench keeps
   about 1,000,000 small objects alive and allocates ten times as many that die, run as
   `build/puxjava -XmxH GcBench` and as `java -Xint -XX:+UseSerialGC -XmxH -Xlog:gc
   GcBench` on the same class file with the same heap limit, the two taken in turn.

   Figures per machine (medians over the runs): wall time of the whole process, the
   number of collections, and the longest pause. The reference machine's pauses are its
   own log's ("Pause ... N.NNNms"); this machine's come from the reference host, which
   with PUX_GC_LOG set writes one line per collection, timed from the refused allocation
   that called for it (so the stop and the marking of the frames count) to its end. The
   benchmark runs one Java thread, so stopping the others takes no time worth counting.
   Target: the longest pause no longer than the reference's.

   Then bench/java/AllocMix the same way: byte arrays of 0-700 bytes (now and then a few
   KB), 20,000 kept, so that each collection sweeps a heap of blocks of every size. Target:
   wall time within 1.10x the reference's.

   "bench_gc [RUNS [HEAP]]": RUNS pairs (default 3), heap limit HEAP (default 64m: the
   limit counts each block with its host prefix, and the million kept objects take about
   56 MB of it). */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench_util.h"

extern char** environ;

namespace {

struct Sample {
  double seconds = -1;
  int collections = 0;
  double longestMs = 0;
  std::string out;
  bool ok = false;
};

/* Runs argv with extra environment entries, both output streams read to the end. */
bool Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, std::string* out,
           std::string* err, double* seconds) {
  int o[2], e[2];
  if (pipe(o) != 0) return false;
  if (pipe(e) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, o[1], 1);
  posix_spawn_file_actions_adddup2(&actions, e[1], 2);
  posix_spawn_file_actions_addclose(&actions, o[0]);
  posix_spawn_file_actions_addclose(&actions, e[0]);
  std::vector<char*> args, env;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (char** p = environ; *p != nullptr; p++) env.push_back(*p);
  for (const std::string& a : extraEnv) env.push_back(const_cast<char*>(a.c_str()));
  env.push_back(nullptr);
  pid_t pid;
  bench::Clock::time_point start = bench::Clock::now();
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  close(o[1]);
  close(e[1]);
  if (rc != 0) {
    close(o[0]);
    close(e[0]);
    return false;
  }
  // The error stream is the busy one (a line per collection): read it first, then the
  // output, which holds a single line.
  char buf[4096];
  ssize_t n;
  while ((n = read(e[0], buf, sizeof buf)) > 0) err->append(buf, (size_t)n);
  while ((n = read(o[0], buf, sizeof buf)) > 0) out->append(buf, (size_t)n);
  close(o[0]);
  close(e[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  *seconds = bench::Seconds(start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/* Every line of text that contains key and a figure followed by "ms": counted, the
   largest figure kept. */
void Pauses(const std::string& text, const char* key, Sample* s) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.find(key) == std::string::npos) continue;
    size_t ms = line.rfind("ms");
    if (ms == std::string::npos) continue;
    size_t figureEnd = ms;
    while (figureEnd > 0 && line[figureEnd - 1] == ' ') figureEnd--;
    if (figureEnd == 0) continue;
    size_t begin = line.find_last_of(" (", figureEnd - 1);
    if (begin == std::string::npos) continue;
    double figure = atof(line.c_str() + begin + 1);
    s->collections++;
    s->longestMs = std::max(s->longestMs, figure);
  }
}

Sample Run(const std::vector<std::string>& argv, const std::vector<std::string>& env, const char* key, bool inStdout) {
  Sample s;
  std::string out, err;
  s.ok = Spawn(argv, env, &out, &err, &s.seconds);
  Pauses(inStdout ? out : err, key, &s);
  // The program's own line: the last one of its output that starts "kept".
  size_t kept = out.rfind("kept ");
  if (kept != std::string::npos) s.out = out.substr(kept, out.find('\n', kept) - kept);
  return s;
}

template <typename T>
T Median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

/* RUNS pairs of one program on both machines; false when this machine failed or the two
   disagree (a missing reference prints a line and is no failure). */
bool Compare(const char* program, const char* what, int runs, const std::string& heap, double wallTarget) {
  const std::string build = PUX_BUILD_DIR;
  const std::string classes = build + "/testclasses/bench";
  const std::vector<std::string> ours = {build + "/puxjava", heap, "-cp", classes, program};
  const std::vector<std::string> reference = {"java", "-Xint", "-XX:+UseSerialGC", heap, "-Xlog:gc", "-cp", classes,
                                              program};
  std::vector<Sample> a, b;
  for (int i = 0; i < runs; i++) {
    a.push_back(Run(ours, {"PUX_GC_LOG=1"}, "refhost: collection", false));
    b.push_back(Run(reference, {}, "Pause", true));
    if (!a.back().ok) {
      printf("build/puxjava failed to run %s with %s\n", program, heap.c_str());
      return false;
    }
    if (!b.back().ok) {
      printf("java -Xint -XX:+UseSerialGC could not run %s: no reference on this machine\n", program);
      return true;
    }
    if (a.back().out != b.back().out) {
      printf("the machines disagree: \"%s\" against \"%s\"\n", a.back().out.c_str(), b.back().out.c_str());
      return false;
    }
  }
  auto med = [](const std::vector<Sample>& v, double Sample::*f) {
    std::vector<double> x;
    for (const Sample& s : v) x.push_back(s.*f);
    return Median(x);
  };
  auto medCount = [](const std::vector<Sample>& v) {
    std::vector<int> x;
    for (const Sample& s : v) x.push_back(s.collections);
    return Median(x);
  };
  double at = med(a, &Sample::seconds), bt = med(b, &Sample::seconds);
  double ap = med(a, &Sample::longestMs), bp = med(b, &Sample::longestMs);
  printf("%s, %s, %s, %d pairs (medians)\n", program, what, heap.c_str(), runs);
  printf("  %-36s %10s %12s %14s\n", "", "wall s", "collections", "longest ms");
  printf("  %-36s %10.2f %12d %14.2f\n", "build/puxjava", at, medCount(a), ap);
  printf("  %-36s %10.2f %12d %14.2f\n", "java -Xint -XX:+UseSerialGC", bt, medCount(b), bp);
  printf("  %-36s %10.3f %12s %14.3f\n", "ratio", at / bt, "", ap / bp);
  if (wallTarget > 0)
    printf("  target: wall time at most %.2fx the reference's: %s\n", wallTarget,
           at <= wallTarget * bt ? "met" : "NOT met");
  else
    printf("  target: longest pause at most the reference's: %s\n", ap <= bp ? "met" : "NOT met");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 3;
  if (runs < 1) runs = 1;
  const std::string heap = std::string("-Xmx") + (argc > 2 ? argv[2] : "64m");
  if (!Compare("GcBench", "1,000,000 kept, 10,000,000 dead", runs, heap, 0)) return 1;
  if (!Compare("AllocMix", "3,000,000 byte arrays of mixed sizes, 20,000 kept", runs, heap, 1.10)) return 1;
  return 0;
}
