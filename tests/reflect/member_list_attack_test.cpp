/* The public method list of an interface attacked through the shapes of its hierarchy:
   random graphs of diamonds whose interfaces redeclare each other's methods (Object's
   among them) along many paths, and hierarchies of just under and at the number of
   interfaces from which the list works out which extends which all at once, and of just
   under, at and just over the number past which it stops. Each list is checked against
   a model of what java 17 lists (a method stands unless another interface reached that
   declares its name and descriptor extends its own), made with all the memory it wants,
   with none for its bits, and with any one of its allocations of process memory refused
   (then whole or an OutOfMemoryError, never another list, and nothing kept). */
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "classfile_support.h"
#include "natives_support.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vmclass.h"
#include "vmjavalangreflectfield.h"
#include "vmjvm.h"
#include "vmliteral.h"

using classfile_test::ClassBuilder;
using natives_test::Machine;

namespace {

struct Method {
  std::string name, descriptor;
  bool operator<(const Method& o) const { return name != o.name ? name < o.name : descriptor < o.descriptor; }
  bool operator==(const Method& o) const { return name == o.name && descriptor == o.descriptor; }
};

/* An interface of the package atk: its methods and the interfaces it extends. */
struct Iface {
  std::vector<Method> methods;
  std::vector<std::string> supers;
};

typedef std::map<std::string, Iface> Graph;

void Write(const std::string& dir, const std::string& name, const Iface& iface) {
  ClassBuilder b;
  b.access = 0x601;
  b.thisClass = b.Class("atk/" + name);
  b.superClass = b.Class("java/lang/Object");
  for (const std::string& super : iface.supers) b.interfaces.push_back(b.Class("atk/" + super));
  for (const Method& m : iface.methods)
    b.methods.push_back({0x401, b.RawUtf8(classfile_test::Bytes(m.name.begin(), m.name.end())),
                         b.Utf8(m.descriptor), {}});
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/atk/" + name + ".class", b.Build())) << name;
}

/* Every interface above name, itself included. */
void Above(const Graph& g, const std::string& name, std::set<std::string>* into) {
  if (!into->insert(name).second) return;
  for (const std::string& super : g.at(name).supers) Above(g, super, into);
}

/* What java 17 lists for root, as "Owner.name descriptor", sorted. */
std::vector<std::string> Model(const Graph& g, const std::string& root) {
  std::set<std::string> reached;
  Above(g, root, &reached);
  std::map<std::string, std::set<std::string>> above;
  for (const std::string& i : reached) {
    Above(g, i, &above[i]);
    above[i].erase(i);
  }
  std::vector<std::string> listed;
  for (const std::string& i : reached) {
    for (const Method& m : g.at(i).methods) {
      bool hidden = false;
      for (const std::string& j : reached) {
        if (j == i || !above[j].count(i)) continue;
        for (const Method& other : g.at(j).methods) hidden = hidden || other == m;
      }
      if (!hidden) listed.push_back(i + "." + m.name + " " + m.descriptor);
    }
  }
  std::sort(listed.begin(), listed.end());
  return listed;
}

std::string DotName(VMClass* cls) {
  char* text = cls->GetDotNameUTF8();
  std::string s = text != nullptr ? text : "<none>";
  VMLiteral::FreeUTF8(text);
  return s;
}

/* Random graphs: interfaces G<g>_<k>, each extending up to four earlier ones of its
   graph and declaring some of a small pool of methods (Object's hashCode and equals
   among them, one name with two descriptors). */
const int kGraphs = 3;
const int kPerGraph = 90;
/* The cut-overs: roots whose lists reach 7 and 8, and 4095, 4096 and 4097 interfaces
   (themselves, Low, Base and leaves L0.., each leaf extending Base, some redeclaring its
   c0 or c1, Low extending L0 and L1 and redeclaring c0). */
const int kFew = 8;
const int kCut = 4096;
const int kCutSizes[] = {kFew - 1, kFew, kCut - 1, kCut, kCut + 1};

Graph MakeGraphs() {
  Graph g;
  const Method pool[] = {{"a", "()I"}, {"b", "()I"}, {"c", "()V"}, {"c", "(I)V"},
                         {"hashCode", "()I"}, {"equals", "(Ljava/lang/Object;)Z"}, {"d", "()Ljava/lang/String;"}};
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  for (int graph = 0; graph < kGraphs; graph++) {
    for (int k = 0; k < kPerGraph; k++) {
      Iface i;
      const std::string name = "G" + std::to_string(graph) + "_" + std::to_string(k);
      std::set<int> supers;
      for (uint32_t n = k == 0 ? 0 : next(5); n > 0; n--) supers.insert((int)next((uint32_t)k));
      for (int s : supers) i.supers.push_back("G" + std::to_string(graph) + "_" + std::to_string(s));
      for (const Method& m : pool)
        if (next(3) == 0) i.methods.push_back(m);
      if (next(2) == 0) i.methods.push_back({"own" + std::to_string(k), "()I"});
      g[name] = i;
    }
  }
  g["Base"] = {{{"c0", "()I"}, {"c1", "()I"}, {"c2", "()I"}}, {}};
  g["Low"] = {{{"c0", "()I"}, {"low", "()I"}}, {"L0", "L1"}};
  for (int k = 0; k < kCut - 2; k++) {
    Iface leaf = {{}, {"Base"}};
    if (k % 61 == 0) leaf.methods.push_back({"c0", "()I"});
    if (k % 97 == 1) leaf.methods.push_back({"c1", "()I"});
    g["L" + std::to_string(k)] = leaf;
  }
  for (int n : kCutSizes) {
    Iface root;
    root.supers = {"Low"};
    for (int k = 0; k < n - 3; k++) root.supers.push_back("L" + std::to_string(k));
    root.supers.push_back("Base");
    g["Cut" + std::to_string(n)] = root;
  }
  return g;
}

class MemberListAttackTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = classfile_test::TempDir("memberattack");
    ASSERT_EQ(0, mkdir((dir + "/atk").c_str(), 0777));
    graph = new Graph(MakeGraphs());
    for (const auto& entry : *graph) Write(dir, entry.first, entry.second);
  }
  static void TearDownTestSuite() {
    classfile_test::RemoveTree(dir);
    delete graph;
    graph = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(m.Create(1, "reflect"));
    refhost::SetClassPath(nullptr, dir + ":" + refhost::GetClassPath(nullptr));
  }
  void TearDown() override {
    refhost::ResetHooks();
    m.Destroy();
  }

  /* The public list of atk/name as "Owner.name descriptor", sorted; "!" and the exception
     when there is none. With refuse, the list alone is made while refuse(true) holds. */
  std::vector<std::string> List(const std::string& name, JNIEnv* env = nullptr,
                                const std::function<void(bool)>& refuse = nullptr) {
    if (env == nullptr) env = m.env;
    jclass cls = env->functions->FindClass(env, ("atk/" + name).c_str());
    if (cls == nullptr) return {"!no class"};
    if (refuse) refuse(true);
    jobjectArray list = (jobjectArray)JVM_GetClassMethods(env, cls, 0);
    if (refuse) refuse(false);
    std::vector<std::string> listed;
    VMJavaLangReflectMethodArray* methods = (VMJavaLangReflectMethodArray*)VMJniHandle::UnHandle(env, list);
    if (methods == nullptr) {
      char* text = env->functions->GetPendingExceptionText(env);
      listed.push_back(std::string("!") + (text != nullptr ? text : "no exception"));
      env->functions->FreeExceptionText(env, text);
      env->functions->ExceptionClear(env);
    }
    for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
      VMJavaLangReflectMethod* w = methods->Get(i);
      std::string owner = DotName(w->GetReflectClass(1));
      owner = owner.substr(owner.find('.') + 1);
      char* sig = w->GetVMMethod(1) != nullptr ? w->GetVMMethod(1)->GetSignature()->MakeUTF8() : nullptr;
      listed.push_back(owner + "." + m.Text((VMObject*)w->GetName(1)) + " " + (sig != nullptr ? sig : "?"));
      VMLiteral::FreeUTF8(sig);
    }
    if (list != nullptr) env->functions->DeleteLocalRef(env, list);
    env->functions->DeleteLocalRef(env, cls);
    std::sort(listed.begin(), listed.end());
    return listed;
  }

  static std::string dir;
  static Graph* graph;
  Machine m;
};
std::string MemberListAttackTest::dir;
Graph* MemberListAttackTest::graph;

/* No process memory at all for the list: one whose sets fit their records is made
   without the bits, any other fails with OutOfMemoryError. */
void NoProcessMemory(bool on) {
  refhost::SetFailureScope(on, nullptr, -1);
  refhost::FailAllocationsAbove(on ? 1 : 0);
}

/* Roots all over the random graphs, listed with the memory for the bits and without it,
   from this thread and three more at once while collections run: every list is the
   model's (or, without memory, an OutOfMemoryError where the walk's sets outgrow their
   records). */
TEST_F(MemberListAttackTest, DiamondsRedeclaringAlongManyPathsListAsJava17Does) {
  std::vector<std::string> roots;
  for (int graph = 0; graph < kGraphs; graph++)
    for (int k = kPerGraph - 1; k >= 0; k -= 3) roots.push_back("G" + std::to_string(graph) + "_" + std::to_string(k));
  int withoutBits = 0;
  for (const std::string& root : roots) {
    const std::vector<std::string> expected = Model(*graph, root);
    EXPECT_EQ(expected, List(root)) << root;
    std::vector<std::string> listed = List(root, nullptr, NoProcessMemory);
    if (listed.size() == 1 && listed[0][0] == '!') {
      EXPECT_EQ("!java.lang.OutOfMemoryError", listed[0]) << root;
      continue;
    }
    withoutBits++;
    EXPECT_EQ(expected, listed) << root << " without the bits";
  }
  EXPECT_LT(10, withoutBits) << "too few lists made without the bits";
  {
    std::atomic<int> wrong{0};
    std::vector<std::thread> listers;
    for (int t = 0; t < 3; t++) {
      listers.emplace_back([&, t] {
        JNIEnv* env = nullptr;
        if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) != 0) {
          wrong++;
          return;
        }
        for (size_t r = (size_t)t; r < roots.size(); r++) {
          if (t == 0 && r % 3 == 0) m.vm->GarbageCollect(false);
          if (List(roots[r], env) != Model(*graph, roots[r])) wrong++;
        }
        m.jvm->functions->DetachCurrentThread(m.jvm);
      });
    }
    JoinOutside(listers);
    EXPECT_EQ(0, wrong.load());
  }
}

/* Just under and at the fewest interfaces whose bits a list works out, and just under, at
   and just over the most: the same list on both sides of each cut-over (the leaves' c0
   and c1, Low's c0 over L0's, Base's c2 alone of its own). */
TEST_F(MemberListAttackTest, ListsAroundTheCutOverAreTheModels) {
  for (int n : kCutSizes) {
    const std::string root = "Cut" + std::to_string(n);
    std::set<std::string> reached;
    Above(*graph, root, &reached);
    ASSERT_EQ((size_t)n, reached.size());
    const uint32_t blocks = refhost::BlocksInUse(nullptr);
    std::vector<std::string> listed = List(root);
    EXPECT_TRUE(Model(*graph, root) == listed) << root << ": " << listed.size() << " listed, first "
                                               << (listed.empty() ? "" : listed[0]);
    EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << root;
  }
}

/* Any one allocation of process memory refused during a list (the walk's sets, the bits,
   either pass): the list is then the model's or an OutOfMemoryError, and nothing of it is
   left in process memory. */
TEST_F(MemberListAttackTest, AnyOneRefusalGivesTheWholeListOrOutOfMemoryError) {
  const char* roots[] = {"G0_89", "G1_82", "G2_75"};
  for (const char* root : roots) {
    const std::vector<std::string> expected = Model(*graph, root);
    ASSERT_EQ(expected, List(root)) << root;
    int met = 0;
    for (uint32_t nth = 1; nth <= 40; nth++) {
      const uint32_t blocks = refhost::BlocksInUse(nullptr);
      const uint64_t refused = refhost::RefusedCount();
      std::vector<std::string> listed = List(root, nullptr, [nth](bool on) {
        refhost::SetFailureScope(on, nullptr, -1);
        refhost::FailNthAllocation(on ? nth : 0);
      });
      EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << root << " refusal " << nth;
      if (refhost::RefusedCount() > refused) met++;
      if (listed.size() == 1 && listed[0][0] == '!') {
        EXPECT_EQ("!java.lang.OutOfMemoryError", listed[0]);
        continue;
      }
      EXPECT_EQ(expected, listed) << root << " refusal " << nth;
    }
    EXPECT_LT(1, met) << root << ": the refusals met nothing of the list";
    EXPECT_EQ(expected, List(root)) << root << " after the refusals";
  }
}

}  // namespace
