/* Java programs run from the command line: each program of tests/java/programs/programs.list
   runs through build/puxjava and its standard output, standard error and exit status are
   compared with the expected files written beside it. The same class files also run on
   the JDK's java (-Xint), which must give the same expected output where the list says
   so: the differential check of the expectations and of the machine at once. */
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

const std::string kSource = PUX_SOURCE_DIR;
const std::string kBuild = PUX_BUILD_DIR;
const int kTimeoutSeconds = 120;
/* The standard input that never ends: a pipe the test holds open, unwritten, until the
   program has ended. */
const std::string kHeldInput = "(held open)";

struct Program {
  std::string id, cls;
  int status = 0;
  std::string jdk = "all";
  std::vector<std::string> args, opts;
  std::string xmx, cp, waits, input;
  int timeoutSeconds = kTimeoutSeconds;
  bool freshDirectory = false;
  // Measures the process's own memory, which the sanitizer's allocator owns in that build.
  bool unsanitized = false;
};

void PrintTo(const Program& p, std::ostream* os) { *os << p.id; }

std::string ReadFile(const std::string& path, bool* exists = nullptr) {
  std::ifstream in(path, std::ios::binary);
  if (exists) *exists = (bool)in;
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> Split(const std::string& text, char by) {
  std::vector<std::string> parts;
  std::string part;
  std::stringstream ss(text);
  while (std::getline(ss, part, by)) parts.push_back(part);
  return parts;
}

std::vector<Program> LoadList() {
  std::vector<Program> list;
  std::stringstream lines(ReadFile(kSource + "/tests/java/programs/programs.list"));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::stringstream words(line);
    Program p;
    std::string status;
    if (!(words >> p.id >> p.cls >> status >> p.jdk)) continue;
    p.status = atoi(status.c_str());
    std::string kv;
    while (words >> kv) {
      size_t eq = kv.find('=');
      std::string key = kv.substr(0, eq), value = eq == std::string::npos ? "" : kv.substr(eq + 1);
      if (key == "args") p.args = Split(value, ',');
      else if (key == "xmx") p.xmx = value;
      else if (key == "cp") p.cp = value;
      else if (key == "waits") p.waits = value;
      else if (key == "opts") p.opts = Split(value, ',');
      else if (key == "stdin") p.input = value;
      else if (key == "dir") p.freshDirectory = value == "fresh";
      else if (key == "memory") p.unsanitized = value == "own";
      else if (key == "limit") p.timeoutSeconds = atoi(value.c_str());
    }
    list.push_back(p);
  }
  return list;
}

struct Outcome {
  std::string out, err;
  int status = -1;
  bool timedOut = false;
};

/* Runs argv with both output streams read to their end, killed after the time-out;
   standard input from a file (/dev/null when none), held open (kHeldInput) or, when
   inputFd is one, from that descriptor (the caller keeps and closes it), in a directory
   when one is given. */
Outcome RunCommand(const std::vector<std::string>& argv, const std::string& input = "/dev/null",
                   const std::string& directory = "", int timeoutSeconds = kTimeoutSeconds, int inputFd = -1) {
  Outcome o;
  int outPipe[2], errPipe[2], inPipe[2] = {-1, -1};
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return o;
  const bool held = input == kHeldInput;
  if (held && pipe2(inPipe, O_CLOEXEC) != 0) return o;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  if (inputFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
  else if (held)
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
  else
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  if (held) close(inPipe[0]);
  if (rc != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    if (held) close(inPipe[1]);
    o.err = std::string("cannot start ") + argv[0] + ": " + strerror(rc);
    return o;
  }
  time_t deadline = time(nullptr) + timeoutSeconds;
  struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    int left = (int)(deadline - time(nullptr));
    if (left <= 0) {
      o.timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, left * 1000) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; i++) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? o.out : o.err).append(buf, (size_t)n);
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        open--;
      }
    }
  }
  for (int i = 0; i < 2; i++)
    if (fds[i].fd >= 0) close(fds[i].fd);
  int status = 0;
  waitpid(pid, &status, 0);
  if (held) close(inPipe[1]);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return o;
}

std::string ClassDirectory(const Program& p) {
  return p.cp == "examples" ? kBuild + "/examples" : kBuild + "/testclasses/programs";
}

std::string Expected(const Program& p, const char* suffix, bool* exists = nullptr) {
  return ReadFile(kSource + "/tests/java/programs/expected/" + p.id + suffix, exists);
}

/* A fresh empty directory for a program that makes files, removed afterwards. */
class WorkDirectory {
 public:
  explicit WorkDirectory(bool wanted) {
    if (!wanted) return;
    std::string base = kBuild + "/tmp";
    mkdir(base.c_str(), 0777);
    std::string templ = base + "/programXXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    if (mkdtemp(buf.data()) != nullptr) path = buf.data();
    EXPECT_FALSE(path.empty());
  }
  ~WorkDirectory() {
    if (!path.empty() && system(("rm -rf '" + path + "'").c_str()) != 0) ADD_FAILURE() << "cannot remove " << path;
  }
  std::string path;
};

std::string Input(const Program& p) {
  if (p.input == "open") return kHeldInput;
  return p.input.empty() ? "/dev/null" : kSource + "/tests/java/programs/" + p.input;
}

class ProgramTest : public ::testing::TestWithParam<Program> {};

TEST_P(ProgramTest, OnTheMachine) {
  const Program& p = GetParam();
  if (!p.waits.empty()) GTEST_SKIP() << p.id << " waits for the " << p.waits;
#if defined(__SANITIZE_ADDRESS__)
  if (p.unsanitized) GTEST_SKIP() << p.id << " measures memory the sanitizer's allocator holds here";
#endif
  std::vector<std::string> argv = {kBuild + "/puxjava"};
  if (!p.xmx.empty()) argv.push_back("-Xmx" + p.xmx);
  argv.insert(argv.end(), p.opts.begin(), p.opts.end());
  argv.push_back("-cp");
  argv.push_back(ClassDirectory(p));
  argv.push_back(p.cls);
  argv.insert(argv.end(), p.args.begin(), p.args.end());
  WorkDirectory dir(p.freshDirectory);
  Outcome o = RunCommand(argv, Input(p), dir.path, p.timeoutSeconds);
  EXPECT_FALSE(o.timedOut) << "still running after " << p.timeoutSeconds << " s";
  EXPECT_EQ(Expected(p, ".out"), o.out);
  EXPECT_EQ(Expected(p, ".err"), o.err);
  EXPECT_EQ(p.status, o.status);
}

/* The JDK on the same class files: the expectations are Java's, not this machine's. */
TEST_P(ProgramTest, OnTheJdk) {
  const Program& p = GetParam();
  if (p.jdk == "none") GTEST_SKIP() << "the library differs from the JDK's here";
  if (system("java -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no java on this machine";
  std::vector<std::string> argv = {"java", "-Xint", "-Xshare:auto"};
  if (!p.xmx.empty()) argv.push_back("-Xmx" + p.xmx);
  argv.push_back("-cp");
  argv.push_back(ClassDirectory(p));
  argv.push_back(p.cls);
  argv.insert(argv.end(), p.args.begin(), p.args.end());
  WorkDirectory dir(p.freshDirectory);
  Outcome o = RunCommand(argv, Input(p), dir.path, p.timeoutSeconds);
  EXPECT_FALSE(o.timedOut);
  EXPECT_EQ(Expected(p, ".out"), o.out);
  if (p.jdk == "all") {
    EXPECT_EQ(Expected(p, ".err"), o.err);
  }
  EXPECT_EQ(p.status, o.status);
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramTest, ::testing::ValuesIn(LoadList()),
                         [](const ::testing::TestParamInfo<Program>& info) { return info.param.id; });

/* The launcher's own errors: one line on standard error and status 1, never a crash. */
/* Standard input from a pipe that the test feeds a line at a time: each line must come
   out before the next goes in, so a read of standard input returns what has arrived
   instead of waiting for its whole buffer (or the end of the input). */
TEST(LauncherTest, StandardInputGivesEachLineAsItComes) {
  int in[2], out[2];
  ASSERT_EQ(0, pipe2(in, O_CLOEXEC));
  ASSERT_EQ(0, pipe2(out, O_CLOEXEC));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<std::string> argv = {kBuild + "/puxjava", "-cp", kBuild + "/testclasses/programs", "StdinLines"};
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  ASSERT_EQ(0, posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ));
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  std::string text;
  /* Reads standard output until it ends with the text, for at most 60 s. */
  auto awaitText = [&](const std::string& wanted) {
    time_t until = time(nullptr) + 60;
    while (text.size() < wanted.size() || text.compare(text.size() - wanted.size(), wanted.size(), wanted) != 0) {
      struct pollfd p = {out[0], POLLIN, 0};
      if (time(nullptr) > until || poll(&p, 1, 1000) < 0) return false;
      if (p.revents == 0) continue;
      char buf[256];
      ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0) return false;
      text.append(buf, (size_t)n);
    }
    return true;
  };
  const char* lines[] = {"first\n", "second line\n", "\n"};
  const char* echoes[] = {"1: [first] [tsrif]\n", "2: [second line] [enil dnoces]\n", "3: [] []\n"};
  for (int i = 0; i < 3; i++) {
    ASSERT_EQ((ssize_t)strlen(lines[i]), write(in[1], lines[i], strlen(lines[i])));
    EXPECT_TRUE(awaitText(echoes[i])) << "line " << i + 1 << " did not come out before the next went in: " << text;
  }
  close(in[1]);
  EXPECT_TRUE(awaitText("3 lines, 16 characters\nafter the end: -1\n")) << text;
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

/* A pipe holding the bytes, made larger than a pipe's default so that it holds them all
   before the reader starts (what it answers then depends on nothing but the reads); -1
   when it cannot be had. */
int PipeHolding(const std::string& bytes, int* writer) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;
  if (fcntl(ends[1], F_SETPIPE_SZ, 1 << 20) < (int)bytes.size() ||
      write(ends[1], bytes.data(), bytes.size()) != (ssize_t)bytes.size()) {
    close(ends[0]);
    close(ends[1]);
    return -1;
  }
  *writer = ends[1];
  return ends[0];
}

/* One read of a pipe answers what the pipe holds, up to the length asked, as the system's
   read does: a program copying a pipe through a 64 KB buffer gets 64 KB a read, not one
   8 KB chunk. A pipe whose writer is still there answers what it holds without waiting
   for more. A file redirected to standard input still fills every range. The machine
   runs with a collection at every allocation as well, and java on the same class where
   there is one. */
TEST(LauncherTest, AReadOfAPipeAnswersWhatItHoldsAndAFileFillsTheRange) {
  std::string bytes(100000, 0);
  long sum = 0;
  for (size_t i = 0; i < bytes.size(); i++) {
    bytes[i] = (char)(i * 7 + i / 251);
    sum += (unsigned char)bytes[i];
  }
  auto sumOf = [&](size_t count) {
    long s = 0;
    for (size_t i = 0; i < count; i++) s += (unsigned char)bytes[i];
    return s;
  };
  const std::string file = kBuild + "/tmp/stdin-reads-100000";
  mkdir((kBuild + "/tmp").c_str(), 0777);
  {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
  }
  struct Case {
    size_t held;       // bytes in the pipe, or 0: the file redirected
    bool writerStays;  // the pipe's writer stays until the program has ended
    std::vector<std::string> lengths;
    std::string answers;
    long sum;
  } cases[] = {
      {100000, false, {"0", "65536", "65536", "65536"}, "0 65536 34464 -1", sum},
      {40000, true, {"65536"}, "40000", sumOf(40000)},
      {0, false, {"0", "99999", "65536", "10"}, "0 99999 1 -1", sum},
  };
  const bool jdk = system("java -version >/dev/null 2>&1") == 0;
  const std::string classes = kBuild + "/testclasses/programs";
  const std::vector<std::vector<std::string>> runners = {
      {kBuild + "/puxjava"}, {"/usr/bin/env", "PUX_GC_STRESS=1", kBuild + "/puxjava"}, {"java", "-Xint", "-Xshare:auto"}};
  for (const Case& c : cases) {
    for (const std::vector<std::string>& runner : runners) {
      if (runner[0] == "java" && !jdk) continue;
      std::vector<std::string> argv = runner;
      argv.insert(argv.end(), {"-cp", classes, "StdinReads"});
      argv.insert(argv.end(), c.lengths.begin(), c.lengths.end());
      std::string what;
      for (const std::string& word : runner) what += word + " ";
      what += c.held ? "with " + std::to_string(c.held) + " bytes in a pipe" : "with a file";
      Outcome o;
      if (c.held > 0) {
        int writer = -1;
        int reader = PipeHolding(bytes.substr(0, c.held), &writer);
        ASSERT_LE(0, reader) << "no pipe that holds " << c.held << " bytes";
        if (!c.writerStays) close(writer);
        // A read that waited for more than the pipe held is killed after 60 s.
        o = RunCommand(argv, "", "", 60, reader);
        close(reader);
        if (c.writerStays) close(writer);
      } else {
        o = RunCommand(argv, file);
      }
      EXPECT_FALSE(o.timedOut) << what << ": a read waited for more than the pipe held";
      EXPECT_EQ(c.answers + "\nsum " + std::to_string(c.sum) + "\n", o.out) << what;
      EXPECT_EQ("", o.err) << what;
      EXPECT_EQ(0, o.status) << what;
    }
  }
  unlink(file.c_str());
}

TEST(LauncherTest, BadUsageIsOneLineAndStatusOne) {
  const std::string puxjava = kBuild + "/puxjava";
  const std::string classes = kBuild + "/testclasses/programs";
  struct Case {
    std::vector<std::string> argv;
    std::string errStart;
  } cases[] = {
      {{puxjava}, "puxjava: no class to run"},
      {{puxjava, "-cp"}, "puxjava: -cp needs a class path"},
      {{puxjava, "-bogus", "Hello"}, "puxjava: unknown option -bogus"},
      {{puxjava, "-Xmx", "Hello"}, "puxjava: invalid heap size: -Xmx"},
      {{puxjava, "-Xmx12q", "Hello"}, "puxjava: invalid heap size: -Xmx12q"},
      {{puxjava, "-D=x", "Hello"}, "puxjava: a property needs a name"},
      {{puxjava, "-cp", classes, "NoSuchClass"}, "Error: Could not find or load main class NoSuchClass"},
      {{puxjava, "-cp", classes, "Threads$Channel"}, "Error: Main method not found in class Threads$Channel"},
      {{puxjava, "-cp", "/nonexistent", "LangBasics"}, "Error: Could not find or load main class LangBasics"},
  };
  for (const Case& c : cases) {
    Outcome o = RunCommand(c.argv);
    std::string joined;
    for (const std::string& a : c.argv) joined += a + " ";
    EXPECT_EQ(1, o.status) << joined;
    EXPECT_EQ("", o.out) << joined;
    EXPECT_EQ(0u, o.err.find(c.errStart)) << joined << "\n" << o.err;
    EXPECT_EQ(1, std::count(o.err.begin(), o.err.end(), '\n')) << joined << "\n" << o.err;
  }
}

/* The launcher finds the machine and the class library beside itself. A copy of it
   without them, with a file that is no library, or with a library that is not the
   machine says so in one line and exits with 1, whatever it was asked to run. */
TEST(LauncherTest, AMissingOrForeignMachineIsOneLineAndStatusOne) {
  const std::string dir = kBuild + "/tmp/launcher-alone";
  const std::string puxjava = dir + "/puxjava";
  const std::string classes = kBuild + "/testclasses/programs";
  ASSERT_EQ(0, system(("rm -rf " + dir + " && mkdir -p " + dir + " && cp " + kBuild + "/puxjava " + dir).c_str()));
  struct Case {
    std::string setUp;
    std::string errStart;
  } cases[] = {
      {"", "puxjava: cannot load the machine " + dir + "/libpuxjvm.so"},
      {"printf 'not a library' > " + dir + "/libpuxjvm.so", "puxjava: cannot load the machine " + dir + "/libpuxjvm.so"},
      {"rm -f " + dir + "/libpuxjvm.so && ln -s /lib32/libz.so.1 " + dir + "/libpuxjvm.so",
       "puxjava: the machine " + dir + "/libpuxjvm.so lacks its invocation entries"},
      {"rm -f " + dir + "/libpuxjvm.so && ln -s " + kBuild + "/libpuxjvm.so " + dir + "/libpuxjvm.so",
       "puxjava: cannot read the class library " + dir + "/classlib.zip"},
  };
  for (const Case& c : cases) {
    if (!c.setUp.empty()) {
      ASSERT_EQ(0, system(c.setUp.c_str())) << c.setUp;
    }
    Outcome o = RunCommand({puxjava, "-cp", classes, "LangBasics"});
    EXPECT_EQ(1, o.status) << c.errStart;
    EXPECT_EQ("", o.out) << c.errStart;
    EXPECT_EQ(0u, o.err.find(c.errStart)) << o.err;
    EXPECT_EQ(1, std::count(o.err.begin(), o.err.end(), '\n')) << o.err;
  }
  // With both beside it, the copy runs as the original does.
  ASSERT_EQ(0, system(("ln -s " + kBuild + "/classlib.zip " + dir + "/classlib.zip").c_str()));
  Outcome o = RunCommand({puxjava, "-cp", kBuild + "/examples", "Hello"});
  EXPECT_EQ("Hello, world\n", o.out) << o.err;
  EXPECT_EQ(0, o.status);
}

/* Class path handling: -cp entries in order after the library, archives included, dotted
   and slashed class names; -D properties and the arguments reach main. */
TEST(LauncherTest, ClassPathPropertiesAndArguments) {
  const std::string puxjava = kBuild + "/puxjava";
  const std::string dir = kBuild + "/testclasses/programs";
  std::string jar = kBuild + "/tmp/programs-launcher.jar";
  system(("mkdir -p " + kBuild + "/tmp && rm -f " + jar).c_str());
  // The inner class too: verifying main checks that it is a Thread, as the JDK does.
  ASSERT_EQ(0, system(("cd " + dir + " && python3 -c \"import zipfile,glob; z=zipfile.ZipFile('" + jar +
                       "','w'); [z.write(f) for f in sorted(glob.glob('ExitStatus*.class'))]; z.close()\"")
                          .c_str()));
  Outcome o = RunCommand({puxjava, "-cp", "/nonexistent:" + jar, "ExitStatus", "7"});
  EXPECT_EQ("exiting with 7\n", o.out);
  EXPECT_EQ(7, o.status);
  o = RunCommand({puxjava, "-Dpux.test=a=b", "-cp", dir, "-Dempty", "PrintArgs", "one", "two words", "\xC3\xA9\xF0\x9F\x98\x80"});
  EXPECT_EQ("pux.test=a=b\nempty=\nargs 3\none|two words|233 55357 56832|\n", o.out) << o.err;
  EXPECT_EQ(0, o.status);
}

/* Exit with daemon threads that allocate, where every allocation collects: the stopped
   daemons must leave, although each of their polls finds another collection waiting.
   A daemon that waits in a read of standard input is not waited for, under the same
   stress. */
TEST(LauncherTest, DaemonsThatAllocateUnderCollectionStressEndWithMain) {
  const std::string dir = kBuild + "/testclasses/programs";
  for (const char* busy : {"8"}) {
    Outcome o = RunCommand({"/usr/bin/env", "PUX_GC_STRESS=1", kBuild + "/puxjava", "-cp", dir, "DaemonsAtExit", busy});
    EXPECT_FALSE(o.timedOut) << busy << " busy daemons";
    EXPECT_EQ("main ends\n", o.out) << o.err;
    EXPECT_EQ(0, o.status);
  }
  Outcome o = RunCommand({"/usr/bin/env", "PUX_GC_STRESS=1", kBuild + "/puxjava", "-cp", dir, "DaemonReader"},
                         kHeldInput, "", 10);
  EXPECT_FALSE(o.timedOut) << "a daemon reading standard input held the end up";
  EXPECT_EQ("main returns\n", o.out) << o.err;
  EXPECT_EQ(0, o.status);
}

/* Verification is on unless -noverify says otherwise: a main class whose method returns a
   String where it declares an Integer is refused with VerifyError before any of it runs,
   by default and with -verify; with -noverify it runs (harmlessly here: the String only
   meets println(Object)). */
TEST(LauncherTest, VerifiesUnlessToldNot) {
  const std::string puxjava = kBuild + "/puxjava";
  const std::string dir = kBuild + "/tmp/launcher-verify";
  const std::string source = dir + "/WrongReturn.j";
  ASSERT_EQ(0, system(("rm -rf " + dir + " && mkdir -p " + dir).c_str()));
  {
    std::ofstream j(source);
    j << ".class public WrongReturn\n.super java/lang/Object\n"
         ".method public static s()Ljava/lang/Integer;\n  .limit stack 1\n  ldc \"x\"\n  areturn\n.end method\n"
         ".method public static main([Ljava/lang/String;)V\n  .limit stack 2\n  .limit locals 1\n"
         "  getstatic java/lang/System/out Ljava/io/PrintStream;\n"
         "  invokestatic WrongReturn/s()Ljava/lang/Integer;\n"
         "  invokevirtual java/io/PrintStream/println(Ljava/lang/Object;)V\n  return\n.end method\n";
  }
  // The assembler writes version 46.0; the machine reads 45.3 alone.
  ASSERT_EQ(0, system(("jasmin -d " + dir + " " + source + " >/dev/null 2>&1 && python3 -c \"import sys; p=sys.argv[1]; "
                       "b=bytearray(open(p,'rb').read()); b[4:8]=bytes([0,3,0,45]); open(p,'wb').write(b)\" " +
                       dir + "/WrongReturn.class")
                          .c_str()));
  for (const char* option : {"", "-verify"}) {
    std::vector<std::string> argv = {puxjava, "-cp", dir, "WrongReturn"};
    if (*option != 0) argv.insert(argv.begin() + 1, option);
    Outcome o = RunCommand(argv);
    EXPECT_EQ(1, o.status) << option;
    EXPECT_EQ("", o.out) << option;
    EXPECT_NE(std::string::npos, o.err.find("java.lang.VerifyError")) << option << "\n" << o.err;
  }
  Outcome o = RunCommand({puxjava, "-noverify", "-cp", dir, "WrongReturn"});
  EXPECT_EQ("x\n", o.out) << o.err;
  EXPECT_EQ(0, o.status);
}

/* A class the main class needs is missing while the main class is there: the launcher
   names the missing one as the cause, as java does, never the main class. Unverified,
   the program runs until it first needs the class. */
TEST(LauncherTest, AMissingClassThatMainNeedsIsTheOneNamed) {
  const std::string puxjava = kBuild + "/puxjava";
  const std::string dir = kBuild + "/tmp/launcher-lazy";
  // The subclass is there, its superclass is not.
  ASSERT_EQ(0, system(("rm -rf " + dir + " && mkdir -p " + dir + " && cd " + kBuild +
                       "/testclasses/programs && cp LazyMissing.class LazyMissingSub.class " + dir)
                          .c_str()));
  const std::string expected =
      "Error: Unable to initialize main class LazyMissing\n"
      "Caused by: java.lang.NoClassDefFoundError: LazyMissingBase\n";
  Outcome o = RunCommand({puxjava, "-cp", dir, "LazyMissing"});
  EXPECT_EQ(1, o.status);
  EXPECT_EQ("", o.out);
  EXPECT_EQ(expected, o.err);
  if (system("java -version >/dev/null 2>&1") == 0) {
    Outcome jdk = RunCommand({"java", "-Xint", "-Xshare:auto", "-cp", dir, "LazyMissing"});
    EXPECT_EQ(expected, jdk.err) << "the JDK says it so";
    EXPECT_EQ(1, jdk.status);
  }
  o = RunCommand({puxjava, "-noverify", "-cp", dir, "LazyMissing"});
  EXPECT_EQ(1, o.status);
  EXPECT_EQ("start\n", o.out);
  EXPECT_EQ(0u, o.err.find("Exception in thread \"main\" java.lang.NoClassDefFoundError: LazyMissingBase\n")) << o.err;
  // Still the main class itself when it is the one missing, dotted or slashed.
  o = RunCommand({puxjava, "-cp", dir, "LazyMissingBase"});
  EXPECT_EQ(0u, o.err.find("Error: Could not find or load main class LazyMissingBase")) << o.err;
}

/* Standard output a pipe whose reader has gone (`| head -1`): the program runs to its
   end and exits 0, as java's does, instead of dying of SIGPIPE at the next print. */
TEST(LauncherTest, AStandardOutputWithoutAReaderEndsNoProgram) {
  const std::string puxjava = kBuild + "/puxjava";
  const std::string err = kBuild + "/tmp/launcher-pipe.err";
  ASSERT_EQ(0, system(("mkdir -p " + kBuild + "/tmp && rm -f " + err).c_str()));
  const std::string command = "bash -c '" + puxjava + " -cp " + kBuild +
                              "/testclasses/programs StdoutToClosedPipe 2>" + err +
                              " | head -1 >/dev/null; exit ${PIPESTATUS[0]}'";
  int status = system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status)) << "141 is death by SIGPIPE";
  EXPECT_EQ("finished\n", ReadFile(err));
}

}  // namespace
