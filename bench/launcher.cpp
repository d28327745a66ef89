/* The launcher as a user meets it: the whole process of `build/puxjava Hello` against
   `java -Xint Hello` on the same class file (build/examples/Hello.class), in one run, the
   two taken in turn so that a drift of the machine's speed touches both alike.

   Figures per command: the median wall time from start to exit and the median peak
   resident memory of the process (the operating system's accounting of the finished
   child, started with posix_spawn so that none of this program's memory is counted).
   The targets: the launcher takes at most 1/5 of the time and 1/4 of the memory.

   "bench_launcher N" runs N pairs (default 21). */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
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
  long peakKiB = 0;
  bool ok = false;
};

/* One run, its output checked: the program must have printed "Hello, world". */
Sample RunOnce(const std::vector<std::string>& argv) {
  Sample s;
  int out[2];
  if (pipe(out) != 0) return s;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  bench::Clock::time_point start = bench::Clock::now();
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return s;
  }
  std::string text;
  char buf[256];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, (size_t)n);
  close(out[0]);
  int status = 0;
  struct rusage usage;
  wait4(pid, &status, 0, &usage);
  s.seconds = bench::Seconds(start);
  s.peakKiB = usage.ru_maxrss;
  s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && text == "Hello, world\n";
  return s;
}

template <typename T>
T Median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int pairs = argc > 1 ? atoi(argv[1]) : 21;
  if (pairs < 1) pairs = 1;
  const std::string build = PUX_BUILD_DIR;
  const std::vector<std::string> ours = {build + "/puxjava", "-cp", build + "/examples", "Hello"};
  const std::vector<std::string> reference = {"java", "-Xint", "-cp", build + "/examples", "Hello"};
  if (!RunOnce(reference).ok) {
    printf("java -Xint could not run Hello: no reference on this machine\n");
    return 0;
  }
  if (!RunOnce(ours).ok) {
    printf("build/puxjava could not run Hello\n");
    return 1;
  }
  std::vector<double> oursTime, refTime, timeRatio, memRatio;
  std::vector<long> oursMem, refMem;
  for (int i = 0; i < pairs; i++) {
    Sample a = RunOnce(ours), b = RunOnce(reference);
    if (!a.ok || !b.ok) {
      printf("a run failed (%s)\n", a.ok ? "java" : "puxjava");
      return 1;
    }
    oursTime.push_back(a.seconds);
    refTime.push_back(b.seconds);
    oursMem.push_back(a.peakKiB);
    refMem.push_back(b.peakKiB);
    timeRatio.push_back(a.seconds / b.seconds);
    memRatio.push_back((double)a.peakKiB / (double)b.peakKiB);
  }
  double t = Median(timeRatio), m = Median(memRatio);
  printf("Hello, whole process, %d pairs (medians)   wall ms    peak KiB\n", pairs);
  printf("  build/puxjava                         %9.2f  %10ld\n", Median(oursTime) * 1e3, Median(oursMem));
  printf("  java -Xint                            %9.2f  %10ld\n", Median(refTime) * 1e3, Median(refMem));
  printf("  ratio (pair by pair)                  %9.3f  %10.3f\n", t, m);
  printf("  target                                %9.3f  %10.3f   %s\n", 0.2, 0.25,
         t <= 0.2 && m <= 0.25 ? "met" : "NOT met");
  return 0;
}
