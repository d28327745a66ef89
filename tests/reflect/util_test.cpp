/* The server's utility natives: a Method's descriptor, and overload resolution with
   names and argument descriptors that callers choose (none of which is interned). */
#include <gtest/gtest.h>

#include "natives_support.h"
#include "vmliteral.h"

using natives_test::Machine;

namespace {

TEST(VMUtilTest, SignaturesAndOverloads) {
  Machine m;
  ASSERT_TRUE(m.Create(1, "reflect"));
  EXPECT_EQ(
      "getSignature valueOf(int): (I)Ljava/lang/String;\n"
      "getSignature setAll: (ZBCSIJFDLjava/lang/String;)V\n"
      "getSignature null: null\n"
      "String.valueOf (I): (I)Ljava/lang/String;\n"
      // int widens to both; long is the more specific.
      "m (I): (J)V\n"
      "m (F): (D)V\n"
      "m (J): (J)V\n"
      "m (Z): null\n"
      "m (II): null\n"
      "m (): null\n"
      "m empty: null\n"
      "m without parenthesis: null\n"
      "m without close: (J)V\n"
      "p (II): threw InstantiationException Ambiguous\n"
      "p (IJ): (IJ)V\n"
      "q (I) static only: null\n"
      "q (I): (I)V\n"
      "r private: null\n"
      "t protected: null\n"
      "up in the superclass: (I)V\n"
      "s (Ljava/lang/String;): (Ljava/lang/String;)V\n"
      "s (Ljava/lang/Integer;): (Ljava/lang/Object;)V\n"
      "s (V): (Ljava/lang/String;)V\n"
      "a ([I): ([I)V\n"
      "a ([J): (Ljava/lang/Object;)V\n"
      // A class of the descriptor that cannot be loaded: its loading error.
      "s (Lreflect/NoSuchClass;): threw NoClassDefFoundError null\n"
      "nothing: null\n"
      "null class: null\n"
      "int class: null\n"
      "null name: null\n"
      "null arguments: null\n"
      "interface: ()Ljava/lang/String;\n"
      "interface, Object's method: ()I\n",
      m.CallText("reflect/UtilCases", "report", "()Ljava/lang/String;"));
  m.Destroy();
}

/* Names and descriptors nobody else uses are looked up, not interned: the server's
   callers cannot grow the name space's literal table. */
TEST(VMUtilTest, ChosenNamesAndDescriptorsStayOutOfTheLiteralTable) {
  Machine m;
  ASSERT_TRUE(m.Create(1, "reflect"));
  typedef jstring(JNICALL * OverloadFn)(JNIEnv*, jclass, jclass, jstring, jstring, jboolean);
  OverloadFn overload = (OverloadFn)m.Native("corvane/sql/VMUtil", "Overload",
                                             "(Ljava/lang/Class;Ljava/lang/String;Ljava/lang/String;Z)Ljava/lang/String;");
  ASSERT_NE(nullptr, overload);
  jclass cls = m.Local((VMObject*)m.Class("reflect/Overloads"));
  for (int i = 0; i < 50; i++) {
    std::string name = "neverAMethod" + std::to_string(i);
    std::string arguments = "(IJZ" + std::string(i, 'B') + ")";
    EXPECT_EQ(nullptr, overload(m.env, nullptr, cls, m.Local(m.String(name.c_str())),
                                m.Local(m.String(arguments.c_str())), 1));
    EXPECT_EQ("", m.TakeException());
    EXPECT_EQ(nullptr, VMLiteral::Find(m.ns, name.c_str(), 0xFFFFFFFFu)) << name;
    EXPECT_EQ(nullptr, VMLiteral::Find(m.ns, arguments.c_str(), 0xFFFFFFFFu)) << arguments;
  }
  // An existing name with a fresh descriptor: found, and the descriptor still not kept.
  jstring found = overload(m.env, nullptr, cls, m.Local(m.String("m")), m.Local(m.String("(S)")), 1);
  EXPECT_EQ("(J)V", m.Text(VMJniHandle::UnHandle(m.env, found)));
  EXPECT_EQ(nullptr, VMLiteral::Find(m.ns, "(S)", 0xFFFFFFFFu));
  m.Destroy();
}

}  // namespace
