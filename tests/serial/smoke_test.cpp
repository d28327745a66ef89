#include "serial_support.h"

namespace serial_test {

class SmokeTest : public SerialTest {};

TEST_F(SmokeTest, PrimsRoundTrip) {
  VMObject* p = New("stored/Prims");
  SetWord(p, "i", 42);
  SetLong(p, "j", -5);
  SetWord(p, "b", (VMword)-1);
  for (int type : {0, 1, 3}) {
    jint result = -2;
    Bytes bytes = Write(p, type, &result);
    ASSERT_EQ(0, result) << type << " status " << Serializer()->GetLastStatus();
    VMObject* back = Read(bytes);
    ASSERT_NE(nullptr, back) << type << " " << Hex(bytes) << " status " << Deserializer()->GetLastStatus();
    EXPECT_EQ("", Compare(p, back, true));
  }
}

}  // namespace serial_test
