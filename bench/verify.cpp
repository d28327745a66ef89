/* Verification time, and what verification adds to start-up.

   Figures:
   - the class library (build/classlib.zip): every method of every class, its blocks built
     first; flow analysis (which preparation runs anyway, for the collector's maps) and
     verification (the kind walk and the type walk) timed apart, in microseconds per
     kilobyte of code: the first round, which loads the classes the type walk compares,
     and the best of the later ones;
   - the interpreter's test classes (build/testclasses/interp), the same way, beside the
     JDK verifying the same class files: java -Xint with the verification of application
     classes on and off, whole processes, best of several; the difference is the JDK's
     verification time;
   - start-up: a first machine made and destroyed through the exported entries with the
     verifier byte set and clear (the class library's start-up prepares, and so verifies,
     what it uses); and build/puxjava Hello (build/examples/Hello.class) with -verify and
     -noverify beside java -Xint on the same class file. */
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../tests/unit/classfile_world.h"
#include "bench_util.h"
#include "refhost.h"
#include "vmbasicblock.h"
#include "vmjni.h"

namespace {

std::vector<std::string> Lines(const std::string& command) {
  std::vector<std::string> out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char line[4096];
  while (fgets(line, sizeof line, p) != nullptr) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    if (!s.empty()) out.push_back(s);
  }
  pclose(p);
  return out;
}

std::vector<std::string> ClassesOf(const std::string& path) {
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".zip") == 0)
    return Lines("python3 -c \"import zipfile,sys; [print(n[:-6]) for n in zipfile.ZipFile(sys.argv[1]).namelist() "
                 "if n.endswith('.class')]\" '" + path + "'");
  return Lines("cd '" + path + "' && find . -name '*.class' | sed 's|^./||; s|.class$||'");
}

struct Figures {
  uint32_t methods = 0;
  uint64_t codeBytes = 0;
  uint32_t refused = 0;
  double flow = 0, first = 0, best = 1e30;
};

/* Loads every class of the list and times flow analysis and verification of its
   methods. */
Figures Measure(const std::string& classPath, const std::vector<std::string>& names, int rounds) {
  Figures f;
  classfile_test::ClassWorld world;
  if (!world.Create(classPath)) {
    fprintf(stderr, "no class world on %s\n", classPath.c_str());
    exit(1);
  }
  std::vector<VMMethod*> methods;
  for (const std::string& name : names) {
    VMLoadableClass* cls = world.Shell(name.c_str());
    if (cls == nullptr || cls->Load() != 0) continue;
    VMMethodArray* array = cls->GetMethods();
    for (uint32_t i = 0; array != nullptr && i < array->GetSize(); i++) {
      VMMethod* m = array->Get(i);
      if (m != nullptr && m->GetCode() != nullptr) methods.push_back(m);
    }
  }
  bench::Clock::time_point start = bench::Clock::now();
  std::vector<VMMethod*> built;
  for (VMMethod* m : methods) {
    if (VMBasicBlock::BuildBlocks(m) == 0) {
      built.push_back(m);
      f.codeBytes += m->GetCode()->GetSize();
    }
  }
  f.flow = bench::Seconds(start);
  f.methods = (uint32_t)built.size();
  for (int round = 0; round < rounds; round++) {
    uint32_t refused = 0;
    start = bench::Clock::now();
    for (VMMethod* m : built) refused += VMBasicBlock::Verify(m) != 0;
    double t = bench::Seconds(start);
    if (round == 0) {
      f.first = t;
      f.refused = refused;
    } else if (t < f.best) {
      f.best = t;
    }
  }
  world.Destroy();
  return f;
}

void Print(const char* what, const Figures& f) {
  double kb = f.codeBytes / 1024.0;
  printf("%s: %u methods, %.1f KB of code, %u refused\n", what, f.methods, kb, f.refused);
  printf("  %-44s %10.1f us/KB %10.3f ms\n", "flow analysis (runs without the verifier too)", f.flow * 1e6 / kb,
         f.flow * 1e3);
  printf("  %-44s %10.1f us/KB %10.3f ms\n", "verification, first round (loads classes)", f.first * 1e6 / kb,
         f.first * 1e3);
  printf("  %-44s %10.1f us/KB %10.3f ms\n", "verification, best later round", f.best * 1e6 / kb, f.best * 1e3);
}

/* A whole process, best wall time of several runs; negative when it fails. */
double Process(const std::vector<std::string>& argv, int runs = 5) {
  double best = 1e30;
  fflush(nullptr);
  for (int run = 0; run < runs; run++) {
    bench::Clock::time_point start = bench::Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    double t = bench::Seconds(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    if (t < best) best = t;
  }
  return best;
}

double CreateAndDestroy(bool verify) {
  return bench::Best(
      [&] {
        JNICreateArgs args;
        JNI_GetDefaultJavaVMInitArgs(&args);
        args.host = refhost::Functions();
        args.name = "bench";
        args.runVerifier = verify ? 1 : 0;
        JavaVM* vm = nullptr;
        JNIEnv* env = nullptr;
        if (JNI_CreateJavaVM(&vm, &env, &args) != 0) {
          fprintf(stderr, "machine creation failed\n");
          exit(1);
        }
        vm->functions->DestroyJavaVM(vm);
      },
      20);
}

}  // namespace

int main() {
  std::string build = PUX_BUILD_DIR;
  std::string classlib = build + "/classlib.zip";
  std::vector<std::string> library = ClassesOf(classlib);
  Print("class library", Measure(classlib, library, 10));

  std::string tests = build + "/testclasses/interp";
  std::vector<std::string> testNames = ClassesOf(tests);
  Figures t = Measure(tests + ":" + classlib, testNames, 10);
  Print("interpreter test classes", t);

  // The JDK on the same test classes: a driver that loads and links each of them.
  std::string driver = build + "/tmp/bench-verify-driver";
  std::string compile = "mkdir -p '" + driver + "' && ecj -source 1.3 -target 1.1 -nowarn -d '" + driver + "' '" +
                        PUX_SOURCE_DIR + "/tests/verifier/jdk/VerifyDriver.java' >/dev/null 2>&1";
  if (system(compile.c_str()) == 0) {
    std::vector<std::string> with = {"java", "-Xint", "-XX:+UnlockDiagnosticVMOptions", "-XX:+BytecodeVerificationRemote",
                                     "-cp", tests + ":" + driver, "VerifyDriver"};
    std::vector<std::string> without = with;
    without[3] = "-XX:-BytecodeVerificationRemote";
    for (const std::string& n : testNames) {
      std::string dotted = n;
      for (char& c : dotted)
        if (c == '/') c = '.';
      with.push_back(dotted);
      without.push_back(dotted);
    }
    double on = Process(with), off = Process(without);
    if (on > 0 && off > 0) {
      double jdk = on - off;
      double kb = t.codeBytes / 1024.0;
      printf("  %-44s %10.1f us/KB %10.3f ms  (%.0f ms - %.0f ms)\n", "java -Xint: verification of the same classes",
             jdk * 1e6 / kb, jdk * 1e3, on * 1e3, off * 1e3);
      if (jdk > 0) printf("  ratio, this verifier (best round) / the JDK's: %.2f\n", t.best / jdk);
    } else {
      printf("  java -Xint: not run\n");
    }
  }

  JNI_SetHostFunctions(refhost::Functions());
  refhost::SetClassPath(nullptr, classlib);
  double on = CreateAndDestroy(true), off = CreateAndDestroy(false);
  printf("start-up: first machine made and destroyed\n");
  printf("  %-44s %10.3f ms\n", "verifying", on * 1e3);
  printf("  %-44s %10.3f ms\n", "not verifying", off * 1e3);
  printf("  %-44s %10.2f\n", "ratio", on / off);

  std::string launcher = build + "/puxjava";
  if (access(launcher.c_str(), X_OK) == 0) {
    std::string examples = build + "/examples";
    double a = Process({launcher, "-cp", examples, "-verify", "Hello"});
    double b = Process({launcher, "-cp", examples, "-noverify", "Hello"});
    double j = Process({"java", "-Xint", "-cp", examples, "Hello"});
    printf("start-up: puxjava Hello (whole process)\n");
    printf("  %-44s %10.3f ms\n", "-verify", a * 1e3);
    printf("  %-44s %10.3f ms\n", "-noverify", b * 1e3);
    printf("  %-44s %10.3f ms\n", "java -Xint", j * 1e3);
    if (a > 0 && j > 0) printf("  %-44s %10.2f\n", "ratio -verify / java -Xint", a / j);
  } else {
    printf("start-up: build/puxjava is not built yet\n");
  }
  return 0;
}
