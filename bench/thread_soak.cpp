/* A soak of thread starts: build/puxjava -Xmx64m ThreadSoak and java -Xint -Xmx64m
   ThreadSoak on the same class file, one after the other, each starting and joining
   threads for the given seconds (default 120) and printing its resident size at the
   start and every tenth of the run. What to look at: the machine's figure stays flat
   (a thread that has ended leaves nothing behind), and no start is refused.

   "bench_thread_soak [SECONDS]" */
#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace {

int Run(const char* title, const std::string& command) {
  printf("%s\n", title);
  fflush(stdout);
  int rc = system(command.c_str());
  printf("  (status %d)\n", rc);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  const long seconds = argc > 1 ? atol(argv[1]) : 120;
  const std::string build = PUX_BUILD_DIR;
  const std::string classes = build + "/testclasses/bench";
  const std::string tail = " -Xmx64m -cp '" + classes + "' ThreadSoak " + std::to_string(seconds) + " 2>&1 | sed 's/^/  /'";
  Run("build/puxjava", "'" + build + "/puxjava'" + tail);
  if (system("java -version >/dev/null 2>&1") != 0) {
    printf("java -Xint: no reference on this machine\n");
    return 0;
  }
  Run("java -Xint", "java -Xint" + tail);
  return 0;
}
