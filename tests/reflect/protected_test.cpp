/* Protected members reached by reflection from a subclass in another package: only on
   objects of the subclass's own kind, static ones on any object or none, and never the
   protected constructor. */
#include <gtest/gtest.h>

#include "natives_support.h"

using natives_test::Machine;
using natives_test::Repeat;

namespace {

/* reflect.elsewhere.Heir extends reflect.Guarded and makes every call in its own code:
   each field read with the getter of its type and written with the setter of its type
   (the String with get and set), the protected method invoked, on objects of each kind. */
TEST(ProtectedTest, ASubclassElsewhereReachesItsOwnKindOfObjectOnly) {
  const std::string closed =
      Repeat("refused", 9) + " / set:" + Repeat("refused", 9) + " / own: refused\n";
  const std::string open = " true 1 c 2 3 4 5.0 6.0 7 / set: false 11 x 12 13 14 15.0 16.0 set / own: 13\n";
  const std::string npe = Repeat("NullPointerException", 9) + " / set:" + Repeat("NullPointerException", 9) +
                          " / own: NullPointerException\n";
  Machine m;
  ASSERT_TRUE(m.Create(1, "reflect"));
  EXPECT_EQ("a Guarded:" + closed +  // the owner's own instances
                "a Cousin:" + closed +  // another subclass's
                "a Heir:" + open + "a Child:" + open +
                "a String:" + closed +  // no Guarded at all: refused before the receiver is judged
                "no object:" + npe +
                "static: 9 9 10 10 11 11\n"
                // Class.newInstance refuses a protected constructor there; so does this.
                "constructors: reflect.Guarded refused\n"
                // Object.clone: an array is no Heir; a Heir is, but not Cloneable.
                "clone: refused threw CloneNotSupportedException reflect.elsewhere.Heir$Child refused\n",
            m.CallText("reflect/elsewhere/Heir", "report", "()Ljava/lang/String;"));
  m.Destroy();
}

}  // namespace
