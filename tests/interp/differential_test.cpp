/* The interpreter against the JDK: every test class with case methods runs here and on
   `java -Xint` (tests/interp/jdk/CaseDriver.java) over the same class files, and the
   answers are compared case by case. A class joins by declaring a public static cases()
   and some of the public static methods i, l, f, d taking the case number. */
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "interp_support.h"

namespace interp_test {
namespace {

/* The dotted names of the class files below dir (inner classes left out). */
void ListClasses(const std::string& dir, const std::string& package, std::vector<std::string>* out) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      ListClasses(path, package + name + ".", out);
    } else if (name.size() > 6 && name.compare(name.size() - 6, 6, ".class") == 0 &&
               name.find('$') == std::string::npos) {
      out->push_back(package + name.substr(0, name.size() - 6));
    }
  }
  closedir(d);
}

std::string Slashed(std::string dotted) {
  std::replace(dotted.begin(), dotted.end(), '.', '/');
  return dotted;
}

/* The JDK's lines for the classes, on the class path (the driver's own folder added). */
std::vector<std::string> JdkLines(const std::string& classPath, const std::vector<std::string>& classes,
                                  std::string* failure) {
  std::string command = "java -Xint -Xss8m -cp " + classPath + ":" + PUX_BUILD_DIR + "/jdkdriver CaseDriver";
  for (const std::string& c : classes) command += " " + c;
  command += " 2>&1";
  std::vector<std::string> lines;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) {
    *failure = "cannot run " + command;
    return lines;
  }
  char buffer[1024];
  std::string text;
  while (fgets(buffer, sizeof buffer, p) != nullptr) text += buffer;
  int status = pclose(p);
  if (status != 0) *failure = "java answered " + std::to_string(status) + ":\n" + text.substr(0, 2000);
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

/* The same lines from the machine. */
std::vector<std::string> MachineLines(World& world, const std::vector<std::string>& classes) {
  static const char* const kinds[] = {"i", "l", "f", "d"};
  static const char* const signatures[] = {"(I)I", "(I)J", "(I)F", "(I)D"};
  std::vector<std::string> lines;
  for (const std::string& dotted : classes) {
    std::string slashed = Slashed(dotted);
    Outcome count = world.Call(slashed.c_str(), "cases", "()I");
    if (!count.thrown.empty()) {
      lines.push_back(dotted + " cases !" + count.thrown);
      continue;
    }
    for (int k = 0; k < 4; k++) {
      VMMethod* m = world.Method(slashed.c_str(), kinds[k], signatures[k]);
      if (m == nullptr) continue;
      for (int n = 0; n < count.Int(); n++) {
        Outcome o = world.Call(m, {(VMword)n});
        char value[64];
        if (!o.thrown.empty())
          snprintf(value, sizeof value, "!%s", o.thrown.c_str());
        else if (k == 0)
          snprintf(value, sizeof value, "%d", o.Int());
        else if (k == 1)
          snprintf(value, sizeof value, "%lld", (long long)o.Long());
        else if (k == 2)
          snprintf(value, sizeof value, "%08x", (unsigned)o.words[0]);
        else
          snprintf(value, sizeof value, "%016llx", (unsigned long long)o.Long());
        lines.push_back(dotted + " " + kinds[k] + " " + std::to_string(n) + " " + value);
      }
    }
  }
  return lines;
}

/* Every line that differs, as "jdk: ... / here: ...". */
std::string Differences(const std::vector<std::string>& jdk, const std::vector<std::string>& mine) {
  std::string text;
  int shown = 0;
  for (size_t i = 0; i < jdk.size() || i < mine.size(); i++) {
    const std::string a = i < jdk.size() ? jdk[i] : "<none>";
    const std::string b = i < mine.size() ? mine[i] : "<none>";
    if (a == b) continue;
    if (++shown > 50) {
      text += "  ...\n";
      break;
    }
    text += "  jdk:  " + a + "\n  here: " + b + "\n";
  }
  return text;
}

/* The classes of the interp suite with case methods, in name order. */
std::vector<std::string> CaseClasses(World& world) {
  std::vector<std::string> all, cases;
  ListClasses(ClassDir("interp"), "", &all);
  std::sort(all.begin(), all.end());
  for (const std::string& dotted : all) {
    VMMethod* m = world.Method(Slashed(dotted).c_str(), "cases", "()I");
    if (m != nullptr && m->GetIsStatic() && m->GetIsPublic()) cases.push_back(dotted);
  }
  return cases;
}

TEST(InterpDifferentialTest, EveryCaseOfTheTestClassesAnswersAsOnTheJdk) {
  World world;
  ASSERT_TRUE(world.Create(ClassDir("interp")));
  std::vector<std::string> classes = CaseClasses(world);
  // Never vacuous: the suite's case classes are all there.
  EXPECT_GE(classes.size(), 15u);
  std::string failure;
  std::vector<std::string> jdk = JdkLines(ClassDir("interp"), classes, &failure);
  ASSERT_EQ("", failure);
  std::vector<std::string> mine = MachineLines(world, classes);
  EXPECT_GT(mine.size(), 1000u);
  EXPECT_EQ(jdk.size(), mine.size());
  EXPECT_EQ("", Differences(jdk, mine));
  printf("%u classes, %u cases compared with the JDK's\n", (unsigned)classes.size(), (unsigned)mine.size());
  world.Destroy();
}

TEST(InterpDifferentialTest, ClassesCompiledSeparatelyLaterAnswerAsOnTheJdk) {
  // The later versions of some classes first on the class path (tests/java/interp_later).
  std::string classPath = ClassDir("interp_later") + ":" + ClassDir("interp");
  World world;
  ASSERT_TRUE(world.Create(classPath));
  std::vector<std::string> classes = {"interp.Later"};
  std::string failure;
  std::vector<std::string> jdk = JdkLines(classPath, classes, &failure);
  ASSERT_EQ("", failure);
  std::vector<std::string> mine = MachineLines(world, classes);
  EXPECT_EQ(jdk.size(), mine.size());
  EXPECT_EQ("", Differences(jdk, mine));
  world.Destroy();
}

}  // namespace
}  // namespace interp_test
