/* Copying a 64 MB file through FileInputStream and FileOutputStream with an 8 KB buffer:
   bench/java/FileCopyBench.java on build/puxjava against java -Xint on the same class
   file, taken in turn in one run. Each program times its own copy (both files opened,
   copied and closed); the figures are MB/s (2^20 bytes), medians of the runs, and the
   ratio of the two pair by pair. Every copy is compared with its source.

   The files live in a fresh directory below $TMPDIR (else /tmp), removed at the end.
   "bench_filecopy N" runs N pairs (default 5). */
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

extern char** environ;

namespace {

const long kBytes = 64L << 20;

/* The program's one line "<bytes> <ms>", or an empty string when it failed. */
std::string Run(const std::vector<std::string>& argv) {
  int out[2];
  if (pipe(out) != 0) return "";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return "";
  }
  std::string text;
  char buf[256];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, (size_t)n);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "";
}

bool SameFiles(const std::string& a, const std::string& b) {
  FILE* fa = fopen(a.c_str(), "rb");
  FILE* fb = fopen(b.c_str(), "rb");
  bool same = fa != nullptr && fb != nullptr;
  static char x[1 << 16], y[1 << 16];
  while (same) {
    size_t na = fread(x, 1, sizeof x, fa), nb = fread(y, 1, sizeof y, fb);
    same = na == nb && memcmp(x, y, na) == 0;
    if (na == 0) break;
  }
  if (fa) fclose(fa);
  if (fb) fclose(fb);
  return same;
}

/* MB/s of one copy, checked; a negative number when it failed. */
double Copy(const std::vector<std::string>& command, const std::string& from, const std::string& to) {
  std::vector<std::string> argv = command;
  argv.push_back(from);
  argv.push_back(to);
  unlink(to.c_str());
  std::string line = Run(argv);
  long bytes = 0, ms = -1;
  if (sscanf(line.c_str(), "%ld %ld", &bytes, &ms) != 2 || bytes != kBytes || !SameFiles(from, to)) return -1;
  return (double)bytes / (1 << 20) / ((ms < 1 ? 1 : ms) / 1000.0);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int pairs = argc > 1 ? atoi(argv[1]) : 5;
  if (pairs < 1) pairs = 1;
  const std::string build = PUX_BUILD_DIR;
  const char* tmp = getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/puxcopyXXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back(0);
  if (mkdtemp(name.data()) == nullptr) {
    printf("cannot make a temporary directory\n");
    return 1;
  }
  const std::string dir = name.data(), source = dir + "/source", target = dir + "/target";
  FILE* f = fopen(source.c_str(), "wb");
  unsigned seed = 12345;
  static unsigned char block[1 << 16];
  for (long done = 0; f != nullptr && done < kBytes; done += sizeof block) {
    for (size_t i = 0; i < sizeof block; i++) block[i] = (unsigned char)((seed = seed * 1103515245u + 12345u) >> 24);
    fwrite(block, 1, sizeof block, f);
  }
  if (f) fclose(f);
  const std::string classes = build + "/testclasses/bench";
  const std::vector<std::string> ours = {build + "/puxjava", "-cp", classes, "FileCopyBench"};
  const std::vector<std::string> reference = {"java", "-Xint", "-cp", classes, "FileCopyBench"};
  int status = 0;
  if (Copy(reference, source, target) < 0) {
    printf("java -Xint could not copy: no reference on this machine\n");
  } else {
    std::vector<double> a, b, ratio;
    for (int i = 0; i < pairs && status == 0; i++) {
      double x = Copy(ours, source, target), y = Copy(reference, source, target);
      if (x < 0 || y < 0) {
        printf("a copy failed (%s)\n", x < 0 ? "puxjava" : "java");
        status = 1;
      } else {
        a.push_back(x);
        b.push_back(y);
        ratio.push_back(x / y);
      }
    }
    if (status == 0) {
      printf("64 MB file copy, 8 KB buffer, %d pairs (medians)   MB/s\n", pairs);
      printf("  build/puxjava                                %8.1f\n", Median(a));
      printf("  java -Xint                                   %8.1f\n", Median(b));
      printf("  ratio (pair by pair)                         %8.3f\n", Median(ratio));
    }
  }
  unlink(source.c_str());
  unlink(target.c_str());
  rmdir(dir.c_str());
  return status;
}
