/* What this machine's reflection does where later JDKs differ (access rules of the 1.1
   library, the order and reach of the public lists), member texts, the class context of
   ResourceBundle, and resource bundles read from property files. */
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "natives_support.h"
#include "vmjavalangreflectfield.h"
#include "vmjvm.h"
#include "vmliteral.h"

using natives_test::Machine;

namespace {

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create(1, "reflect")); }
  void TearDown() override { m.Destroy(); }
  std::string Text(const char* method) { return m.CallText("reflect/MachineCases", method, "()Ljava/lang/String;"); }
  std::string Classes(VMObject* array) {
    if (array == nullptr) return "<null>";
    VMClassArray* a = (VMClassArray*)array;
    std::string text;
    for (uint32_t i = 0; i < a->GetSize(); i++) {
      char* name = a->Get(i)->GetDotNameUTF8();
      text += std::string(i > 0 ? " " : "") + name;
      VMLiteral::FreeUTF8(name);
    }
    return text;
  }
  Machine m;
};

/* Version 1: no override exists. The caller (reflect.MachineCases) shares Fixture's
   package, so protected and package members are reached, private ones never; no final
   field is written. */
TEST_F(MachineTest, TheOldLibraryKeepsPrivateAndProtectedMembersClosed) {
  EXPECT_EQ(
      "private field: threw IllegalAccessException\n"
      "protected field: 8\n"
      "package field: 9\n"
      "final field set: threw IllegalAccessException\n"
      "final field: 10\n"
      "static final: 123456789abcdef\n"
      "secret: threw IllegalAccessException\n"
      "prot: Integer 3\n"
      "pack: Integer 9\n"
      "constructor double: threw IllegalAccessException\n"
      "constructor char: reflect.Fixture\n"
      // A Class made by a constructor would be read as a class record it is not.
      "new Class(): threw InstantiationException\n",
      Text("access"));
}

/* The public lists in this machine's order: a class's own public static methods first,
   then its superclasses' (each class up the chain), then its method table (inherited
   methods first, at the slots they keep); an interface lists its own methods, then its
   superinterfaces'; fields from the top-most superclass down, then the interfaces, then
   the class's own. */
TEST_F(MachineTest, PublicListsInTheMachinesOrder) {
  // (The report cuts eight characters off a class name: "reflect." and "java.lan".)
  const std::string object =
      "g.Object.getClass g.Object.hashCode g.Object.equals g.Object.toString g.Object.notify g.Object.notifyAll "
      "g.Object.wait g.Object.wait g.Object.wait";
  EXPECT_EQ(
      "Fixture methods: Fixture.add Fixture.wide Fixture.mix Fixture.failChecked FixtureBase.baseStatic " + object +
      " Fixture.describe FixtureBase.inherited Fixture.isZ Fixture.getB Fixture.getC "
      "Fixture.getS Fixture.getI Fixture.getJ Fixture.getF Fixture.getD Fixture.getStr Fixture.getInts "
      "Fixture.setAll Fixture.fail\n"
      "Marked methods: Marked.describe\n"
      // The compiler of a 1.1 class file declares the interface method it leaves abstract.
      "Shape methods: " + object + " Shape.area Shape.hi\n"
      "Derived methods: " + object + " Derived.hi Derived.name\n"
      "Fixture fields: FixtureBase.base FixtureBase.baseStatic Tagged.TAG Marked.MARK Fixture.z Fixture.b "
      "Fixture.c Fixture.s Fixture.i Fixture.j Fixture.f Fixture.d Fixture.str Fixture.obj Fixture.sz Fixture.sb "
      "Fixture.sc Fixture.ss Fixture.si Fixture.sj Fixture.sf Fixture.sd Fixture.sstr Fixture.sobj Fixture.fin "
      "Fixture.BIG Fixture.ints\n"
      "Hider fields: FixtureBase.base FixtureBase.baseStatic Tagged.TAG Marked.MARK Hider.base Hider.MARK\n"
      "Fixture declared constructors: 6\n"
      "String[] methods: 0\n"
      "inherited static: found\n",
      Text("lists"));
}

TEST_F(MachineTest, MemberTextsShowEveryTypeArray) {
  EXPECT_EQ(
      "public static double reflect.Fixture.mix(byte,short,char,int,long,float,double)\n"
      "public static void reflect.Fixture.failChecked() throws java.io.IOException\n"
      "public int[] reflect.Fixture.getInts()\n"
      "public reflect.Fixture(boolean) throws java.io.IOException\n"
      "public static final long reflect.Fixture.BIG\n"
      "public int[] reflect.Fixture.ints\n"
      "equal: true same: false hash: true\n"
      "copy of the parameter types: int\n",
      Text("texts"));
}

/* The class context starts at the class whose method called the native, and leaves out
   native frames (a reflective call among them). */
TEST_F(MachineTest, TheClassContextStartsAtTheNativesCaller) {
  natives_test::Outcome direct = m.Call("reflect/MachineCases", "context", "()[Ljava/lang/Class;");
  ASSERT_EQ("", direct.thrown);
  EXPECT_EQ("java.util.ContextProbe reflect.MachineCases$Nested reflect.MachineCases", Classes(direct.Object()));
  natives_test::Outcome viaInvoke = m.Call("reflect/MachineCases", "contextThroughInvoke", "()[Ljava/lang/Class;");
  ASSERT_EQ("", viaInvoke.thrown);
  EXPECT_EQ("java.util.ContextProbe reflect.MachineCases$Nested reflect.MachineCases reflect.MachineCases",
            Classes(viaInvoke.Object()));
}

}  // namespace
