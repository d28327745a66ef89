/* Java programs of tests/java/reflect on the machine, each compared with its expected
   report (tests/reflect/expected), written from the Java rules; the same class files run
   on the JDK (java -Xint) must print the same report. */
#include <stdio.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "natives_support.h"

using natives_test::Machine;

namespace {

std::string Expected(const std::string& name) {
  std::ifstream in(std::string(PUX_SOURCE_DIR) + "/tests/reflect/expected/" + name + ".out");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string OnTheJdk(const std::string& name, int* status) {
  std::string command = "java -Xint -cp " + natives_test::ClassDir("reflect") + " reflect." + name + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  std::string text;
  if (p == nullptr) {
    *status = -1;
    return text;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) text.append(buffer, n);
  int raw = pclose(p);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return text;
}

class ReportTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ReportTest, TheMachinePrintsTheExpectedReport) {
  Machine m;
  ASSERT_TRUE(m.Create(1, "reflect"));
  std::string cls = std::string("reflect/") + GetParam();
  std::string text = m.CallText(cls.c_str(), "report", "()Ljava/lang/String;");
  m.Destroy();
  std::string expected = Expected(GetParam());
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(expected, text);
}

TEST_P(ReportTest, TheJdkPrintsTheSameReport) {
  int status = 0;
  std::string text = OnTheJdk(GetParam(), &status);
  EXPECT_EQ(0, status) << text.substr(0, 2000);
  EXPECT_EQ(Expected(GetParam()), text);
}

INSTANTIATE_TEST_SUITE_P(Reflection, ReportTest,
                         ::testing::Values("MemberCases", "FieldCases", "InvokeCases", "ArrayCases", "PrivilegedCases",
                                           "BundleCases"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
