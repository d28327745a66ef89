/* The class library's Java behaviour, checked on the JDK of the build machine until the
   machine runs Java itself. The build copies the library's pure-Java classes under the
   package t (copy_library.py) and compiles them with the check programs of check/; each
   case here runs one program, which compares the copies with expected values and with the
   JDK's own classes on fixed seeds, and ends with "N passed, M failed". */
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/wait.h>

#include <fstream>
#include <map>
#include <string>

namespace {

const std::string kDir = std::string(PUX_BUILD_DIR) + "/classlib_jdk";

// "key=value" lines that the build writes next to the compiled classes.
std::map<std::string, std::string> Settings() {
  std::map<std::string, std::string> m;
  std::ifstream in(kDir + "/settings.txt");
  for (std::string line; std::getline(in, line);) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return m;
}

// Runs a check program on the JDK; its output is shown when it fails.
void RunCheck(const std::string& program, const std::string& args = "") {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "runs on the JDK, not on the machine: the main build runs it";
#endif
  std::map<std::string, std::string> s = Settings();
  ASSERT_FALSE(s["java"].empty()) << "no " << kDir << "/settings.txt: the build did not make the checks";
  std::string cmd = "'" + s["java"] + "' -Xint -cp '" + kDir + "/classes:" + kDir + "/checks' check." + program;
  if (!args.empty()) cmd += " " + args;
  cmd += " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr) << cmd;
  std::string out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  int status = pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd << "\n" << out;
  EXPECT_NE(out.find(" 0 failed"), std::string::npos) << out;
}

}  // namespace

TEST(ClassLibraryOnJdk, CharacterMatchesTheUnicode21Data) {
  RunCheck("CharacterCheck", "'" + Settings()["unicode"] + "'");
}

TEST(ClassLibraryOnJdk, StringsAndStreamsShareOneCodec) { RunCheck("CodecCheck"); }

TEST(ClassLibraryOnJdk, ReadersBehaveAsTheJdks) { RunCheck("ReaderCheck"); }

TEST(ClassLibraryOnJdk, ByteStreamsAndWritersBehaveAsTheJdks) { RunCheck("StreamCheck"); }

TEST(ClassLibraryOnJdk, PrintStreamWritesEachLineInOneWrite) { RunCheck("PrintCheck"); }

TEST(ClassLibraryOnJdk, NumbersReadAndPrintAsTheJdks) { RunCheck("NumberCheck"); }

TEST(ClassLibraryOnJdk, UtilitiesBehaveAsTheJdks) { RunCheck("UtilCheck"); }

TEST(ClassLibraryOnJdk, StringBehavesAsTheJdksOnWindowsAndEdgeIndexes) { RunCheck("StringCheck"); }

TEST(ClassLibraryOnJdk, FloatTextBuffersMathBitsAndDataStreams) { RunCheck("BasicsCheck"); }

TEST(ClassLibraryOnJdk, ThreadsRacingWithoutMonitorsBreakNothing) { RunCheck("RaceCheck"); }
