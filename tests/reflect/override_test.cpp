/* The 1.2-style library (version 2): AccessibleObject's override opens private and
   protected members, never the machine's own words, and a reflection object whose words
   Java code rewrote reaches nothing but IllegalArgumentException. */
#include <gtest/gtest.h>

#include "natives_support.h"
#include "vmjavalangreflectfield.h"

using natives_test::Machine;
using natives_test::Repeat;

namespace {

TEST(OverrideTest, OpensPrivateMembersButNeitherMachineWordsNorForgedObjects) {
  // Slot by slot over Fixture's declared methods: six constructors, then add, wide and mix
  // (static, called with no arguments), the getters, setAll and fail (arguments missing),
  // failChecked, describe, secret, prot and pack (no override on this object; pack is of
  // another package), and past
  // the end. No constructor ever runs as a method.
  const std::string slots = Repeat("IllegalArgumentException", 9) +
                            " false 0 char 0 0 5 0 0.0 0.0 text null" + Repeat("IllegalArgumentException", 2) +
                            " InvocationTargetException <- java.io.IOException fixture 5" +
                            Repeat("IllegalAccessException", 3) + Repeat("IllegalArgumentException", 10);
  Machine m;
  ASSERT_TRUE(m.Create(2, "reflect_g2:reflect"));
  std::string report = m.CallText("reflectg2/OverrideCases", "report", "()Ljava/lang/String;");
  EXPECT_EQ(
      "private field: IllegalAccessException / with override 7 / set 70\n"
      "private method: IllegalAccessException / with override 70\n"
      "protected method: IllegalAccessException / with override 8\n"
      "protected constructor: IllegalAccessException / with override made reflect.Fixture\n"
      "final field set: IllegalAccessException / with override 11 modifiers 17 word 17\n"
      "machine words: eetop IllegalAccessException getLong IllegalAccessException PrivateInfo set "
      "IllegalAccessException backtrace IllegalAccessException set IllegalAccessException\n"
      "forged slot 9999: IllegalArgumentException -1: IllegalArgumentException min: IllegalArgumentException "
      "modifiers IllegalArgumentException / class int: IllegalArgumentException null: IllegalArgumentException "
      "Object: IllegalArgumentException\n"
      "forged type: get text setInt IllegalArgumentException still text\n"
      "forged parameter types: 3 strings IllegalArgumentException\n"
      "method slots:" + slots + "\n"
      "new Class(): InstantiationException new Field(): InstantiationException\n",
      report);
  m.Destroy();
}

}  // namespace
