/* Overload resolution over crafted classes: the most specific method for a list of
   argument types, the machine's own conversions, ties in every order, the early stop at
   an exact match, searches through interface graphs, and failures that leave nothing
   behind. */
#include <gtest/gtest.h>

#include <algorithm>

#include "classfile_fixture.h"
#include "vmoverload.h"

namespace {

using namespace classfile_test;

class OverloadTest : public ClassFileTest {
 protected:
  void SetUp() override {
    ClassFileTest::SetUp();
    // The start-up finds java.math.BigDecimal for the class list; an unloaded shell does.
    VMClass* bigDecimal = VMClass::FindByName(world.ns, world.Lit("java/math/BigDecimal"), world.loader);
    ASSERT_NE(nullptr, bigDecimal);
    world.ns->GetClassList()->SetReference(VMClassList::BigDecimalClassWord, (VMObject*)bigDecimal);
  }

  /* A class (or interface) with public static natives of the given descriptors, all named
     f unless a descriptor says "name:descriptor". */
  void Put(const std::string& name, const std::string& super, const std::vector<std::string>& methods,
           const std::vector<std::string>& interfaces = {}, bool isInterface = false, uint16_t access = 0x0109) {
    ClassBuilder c;
    c.access = isInterface ? 0x0601 : 0x0021;
    c.thisClass = c.Class(name);
    c.superClass = c.Class(super);
    for (const std::string& i : interfaces) c.interfaces.push_back(c.Class(i));
    for (const std::string& m : methods) {
      size_t colon = m.find(':');
      std::string n = colon == std::string::npos ? "f" : m.substr(0, colon);
      std::string d = colon == std::string::npos ? m : m.substr(colon + 1);
      c.AddMethod(isInterface ? 0x0401 : access, n, d);
    }
    ClassFileTest::Put(name, c.Build());
  }

  /* The descriptor of the method chosen for the arguments, "" for none, "ambiguous" for a
     tie, "failed <status>" for a failure. */
  std::string Choose(const char* cls, const char* args, bool allowInstance = true, const char* name = "f") {
    VMOverload overload(nullptr);
    VMMethod* m = overload.FindMethod(nullptr, world.Shell(cls), world.Lit(name), world.Lit(args), allowInstance);
    if (overload.GetStatus() != 0) return "failed " + std::to_string(overload.GetStatus());
    if (m == nullptr) return overload.IsAmbiguous() ? "ambiguous" : "";
    std::string owner = Text(m->GetDefinedIn()->GetName());
    return (owner == cls ? "" : owner + ".") + Text(m->GetSignature());
  }

  static std::string Text(VMLiteral* l) {
    char* t = l->MakeUTF8();
    std::string s = t;
    VMLiteral::FreeUTF8(t);
    return s;
  }
};

TEST_F(OverloadTest, TheMostSpecificMethodOfWideningConversions) {
  Put("t/Ints", "java/lang/Object", {"(J)V", "(I)V", "(D)V"});
  EXPECT_EQ("(I)V", Choose("t/Ints", "(I)"));
  EXPECT_EQ("(J)V", Choose("t/Ints", "(J)"));
  EXPECT_EQ("(I)V", Choose("t/Ints", "(S)")) << "short widens to int first";
  EXPECT_EQ("(I)V", Choose("t/Ints", "(C)"));
  EXPECT_EQ("(D)V", Choose("t/Ints", "(F)"));
  EXPECT_EQ("", Choose("t/Ints", "(Z)"));
  EXPECT_EQ("", Choose("t/Ints", "(II)"));
  Put("t/LongOrDouble", "java/lang/Object", {"(D)V", "(J)V"});
  EXPECT_EQ("(J)V", Choose("t/LongOrDouble", "(I)")) << "long widens to double";
  // No widening to char; char widens to int and up only.
  Put("t/Chars", "java/lang/Object", {"(C)V"});
  EXPECT_EQ("", Choose("t/Chars", "(B)"));
  EXPECT_EQ("(C)V", Choose("t/Chars", "(C)"));
}

TEST_F(OverloadTest, AnExactMatchEndsTheSearchAndOnlyThat) {
  // The superclass file is missing: only a search that goes up finds out.
  Put("t/ExactFirst", "t/Gone", {"(I)V", "(J)V"});
  EXPECT_EQ("(I)V", Choose("t/ExactFirst", "(I)"));
  Put("t/ExactLast", "t/Gone", {"(J)V", "(I)V"});
  EXPECT_EQ("(I)V", Choose("t/ExactLast", "(I)"));
  Put("t/NoExact", "t/Gone", {"(J)V"});
  EXPECT_EQ("failed 14", Choose("t/NoExact", "(I)"));
  // A candidate of another length, seen after an inexact one, does not make the inexact
  // one final: the search goes on to the superclass, whose f(int) has the more specific
  // parameters while f(long) has the more specific class. Neither is more specific.
  Put("t/B", "java/lang/Object", {"(I)V"});
  Put("t/C", "t/B", {"(J)V", "(II)V"});
  EXPECT_EQ("ambiguous", Choose("t/C", "(I)"));
  // An override found first stands for the method it overrides.
  Put("t/D", "t/B", {"(I)V"});
  EXPECT_EQ("(I)V", Choose("t/D", "(I)"));
  EXPECT_EQ("(I)V", Choose("t/D", "(S)"));
}

TEST_F(OverloadTest, TiesAreAmbiguousWhateverTheOrder) {
  Put("t/Pair", "java/lang/Object", {"(Ljava/lang/Object;Ljava/lang/String;)V", "(Ljava/lang/String;Ljava/lang/Object;)V"});
  EXPECT_EQ("ambiguous", Choose("t/Pair", "(Ljava/lang/String;Ljava/lang/String;)"));
  EXPECT_EQ("(Ljava/lang/String;Ljava/lang/Object;)V", Choose("t/Pair", "(Ljava/lang/String;Ljava/lang/Integer;)"));
  // f(String, Serializable) beats f(String, Object) but not f(Object, String): still a tie.
  std::vector<std::string> three = {"(Ljava/lang/Object;Ljava/lang/String;)V", "(Ljava/lang/String;Ljava/lang/Object;)V",
                                    "(Ljava/lang/String;Ljava/io/Serializable;)V"};
  std::sort(three.begin(), three.end());
  int order = 0;
  do {
    std::string name = "t/Three" + std::to_string(order++);
    Put(name, "java/lang/Object", three);
    EXPECT_EQ("ambiguous", Choose(name.c_str(), "(Ljava/lang/String;Ljava/lang/String;)")) << order;
  } while (std::next_permutation(three.begin(), three.end()));
  EXPECT_EQ(6, order);
}

TEST_F(OverloadTest, TheMachinesOwnConversions) {
  Put("t/Conv", "java/lang/Object",
      {"(I)V", "g:(Ljava/math/BigDecimal;)V", "h:(Ljava/lang/String;)V", "k:(Z)V", "m:(Ljava/lang/Object;)V",
       "n:()V"});
  EXPECT_EQ("(I)V", Choose("t/Conv", "(Ljava/math/BigDecimal;)")) << "a BigDecimal feeds a number";
  EXPECT_EQ("", Choose("t/Conv", "(Ljava/math/BigDecimal;)", true, "k")) << "but no boolean";
  EXPECT_EQ("(Ljava/math/BigDecimal;)V", Choose("t/Conv", "(D)", true, "g"));
  EXPECT_EQ("", Choose("t/Conv", "(I)", true, "g"));
  EXPECT_EQ("", Choose("t/Conv", "(F)", true, "g"));
  // A null argument (V) goes to any reference parameter and no primitive one.
  EXPECT_EQ("(Ljava/lang/String;)V", Choose("t/Conv", "(V)", true, "h"));
  EXPECT_EQ("", Choose("t/Conv", "(V)"));
  // A type that cannot be had matches nothing, not even when both lists stop there.
  EXPECT_EQ("", Choose("t/Conv", "(Q)"));
  EXPECT_EQ("", Choose("t/Conv", "([V)", true, "m"));
  EXPECT_EQ("", Choose("t/Conv", "(Q)", true, "n"));
  EXPECT_EQ("()V", Choose("t/Conv", "()", true, "n"));
}

TEST_F(OverloadTest, ArraysAreMatchedElementForElement) {
  Put("t/Arrays", "java/lang/Object",
      {"a:([[Ljava/lang/Object;)V", "b:([Ljava/lang/Object;)V", "c:(Ljava/lang/Object;)V", "d:([I)V",
       "e:([D)V", "g:([Ljava/math/BigDecimal;)V", "h:([Ljava/io/Serializable;)V"});
  const char* strings2 = "([[Ljava/lang/String;)";
  EXPECT_EQ("([[Ljava/lang/Object;)V", Choose("t/Arrays", strings2, true, "a"));
  EXPECT_EQ("", Choose("t/Arrays", strings2, true, "b"));
  EXPECT_EQ("(Ljava/lang/Object;)V", Choose("t/Arrays", strings2, true, "c"));
  EXPECT_EQ("([Ljava/io/Serializable;)V", Choose("t/Arrays", "([Ljava/lang/String;)", true, "h"));
  // Elements are not converted: the method would get an array of another element type.
  EXPECT_EQ("", Choose("t/Arrays", "([B)", true, "d"));
  EXPECT_EQ("([I)V", Choose("t/Arrays", "([I)", true, "d"));
  EXPECT_EQ("", Choose("t/Arrays", "([Ljava/math/BigDecimal;)", true, "e"));
  EXPECT_EQ("", Choose("t/Arrays", "([D)", true, "g"));
}

TEST_F(OverloadTest, HiddenAndInstanceMethods) {
  ClassBuilder c = SmallClass("t/Hidden");
  c.AddMethod(0x010A, "f", "(I)V");  // private static native
  c.AddMethod(0x010C, "f", "(J)V");  // protected static native
  c.AddMethod(0x0109, "f", "(D)V");
  c.AddMethod(0x0101, "g", "(I)V");  // an instance method
  ClassFileTest::Put("t/Hidden", c.Build());
  EXPECT_EQ("(D)V", Choose("t/Hidden", "(I)"));
  EXPECT_EQ("(I)V", Choose("t/Hidden", "(I)", true, "g"));
  EXPECT_EQ("", Choose("t/Hidden", "(I)", false, "g")) << "static methods only";
}

TEST_F(OverloadTest, InterfacesAndTheirGraphs) {
  // A diamond 30 levels deep: A_k and B_k both extend A_(k+1) and B_(k+1). Every walk
  // that visits an interface once per path would never end.
  const int kDepth = 30;
  StreamHook hook([](const std::string& name, Bytes& bytes) {
    if (name.size() < 2 || (name[0] != 'A' && name[0] != 'B')) return false;
    int k = atoi(name.c_str() + 1);
    std::vector<std::string> supers;
    if (k + 1 < kDepth) supers = {"A" + std::to_string(k + 1), "B" + std::to_string(k + 1)};
    ClassBuilder c;
    c.access = 0x0601;
    c.thisClass = c.Class(name);
    c.superClass = c.Class("java/lang/Object");
    for (const std::string& s : supers) c.interfaces.push_back(c.Class(s));
    if (name == "B" + std::to_string(kDepth - 1)) c.AddMethod(0x0401, "deep", "(I)V");
    bytes = c.Build();
    return true;
  });
  Put("t/Other", "java/lang/Object", {}, {}, true);
  Put("t/Impl", "java/lang/Object", {}, {"A0"});
  Put("t/Takes", "java/lang/Object", {"(Lt/Other;)V", "g:(LB29;)V", "h:(LA0;)V"});
  Watchdog watchdog(60, "overload resolution over an interface diamond");
  // Through the superinterfaces of an interface, each once, then java/lang/Object.
  EXPECT_EQ("B29.(I)V", Choose("A0", "(I)", true, "deep"));
  EXPECT_EQ("", Choose("A0", "(I)", true, "missing"));
  EXPECT_EQ("java/lang/Object.()I", Choose("A0", "()", true, "hashCode"));
  // Whether a class implements an interface far up its graph, or not at all.
  EXPECT_EQ("(LB29;)V", Choose("t/Takes", "(Lt/Impl;)", true, "g"));
  EXPECT_EQ("(LA0;)V", Choose("t/Takes", "(Lt/Impl;)", true, "h"));
  EXPECT_EQ("", Choose("t/Takes", "(Lt/Impl;)"));
  watchdog.Disarm();
}

/* Failures raised in the middle of a search are reported and leave nothing behind. */
TEST_F(OverloadTest, FailuresLeaveNothingBehind) {
  Put("t/Api", "java/lang/Object", {}, {}, true);
  Put("t/Wide", "java/lang/Object", {}, {"t/W0", "t/W1", "t/W2", "t/W3", "t/W4", "t/W5"}, true);
  for (int i = 0; i < 6; i++) {
    std::vector<std::string> supers;
    for (int j = 0; j < 6; j++) supers.push_back("t/V" + std::to_string(i * 6 + j));
    Put("t/W" + std::to_string(i), "java/lang/Object", {}, supers, true);
  }
  for (int i = 0; i < 36; i++) Put("t/V" + std::to_string(i), "java/lang/Object", {}, {}, true);
  Put("t/Impl", "java/lang/Object", {}, {"t/Wide"});
  Put("t/Orphan", "t/Missing", {});
  Put("t/Takes", "java/lang/Object", {"(Lt/Api;)V"});
  // The superclass of the argument's class cannot be had.
  EXPECT_EQ("failed 14", Choose("t/Takes", "(Lt/Orphan;)"));
  uint64_t before = refhost::BytesInUse(world.heap);
  EXPECT_EQ("failed 14", Choose("t/Takes", "(Lt/Orphan;)"));
  EXPECT_EQ(before, refhost::BytesInUse(world.heap));
  // Refused allocations at every step of a search through 43 interfaces.
  EXPECT_EQ("", Choose("t/Takes", "(Lt/Impl;)"));
  before = refhost::BytesInUse(world.heap);
  uint64_t counted = refhost::AllocationCount();
  EXPECT_EQ("", Choose("t/Takes", "(Lt/Impl;)"));
  uint32_t allocations = (uint32_t)(refhost::AllocationCount() - counted);
  ASSERT_GT(allocations, 2u);
  for (uint32_t n = 1; n <= allocations; n++) {
    refhost::SetFailureScope(true, world.heap, -1);
    refhost::FailNthAllocation(n);
    std::string answer = Choose("t/Takes", "(Lt/Impl;)");
    refhost::FailNthAllocation(0);
    refhost::SetFailureScope(false, nullptr, -1);
    EXPECT_TRUE(answer == "" || answer == "failed 19") << answer;
    ASSERT_EQ(before, refhost::BytesInUse(world.heap)) << "allocation " << n;
  }
}

}  // namespace
