/* Inflater's and Deflater's native stream word (strm) through stored rows: a storable
   subclass never carries the word into a row nor out of one, so a copy shares no native
   stream with its original and a hostile row cannot choose the address the zip natives
   use; a word that is no live stream (forged in the object itself) is refused by the
   natives, never followed. */
#include "serial_support.h"

namespace serial_test {

namespace {

class NativeStreamTest : public SerialTest {
 protected:
  VMObject* Construct(const char* name) {
    VMLoadableClass* cls = Class(name);
    jclass c = (jclass)VMJniHandle::NewLocal(env, (VMObject*)cls);
    jmethodID init = env->functions->GetMethodID(env, c, "<init>", "()V");
    EXPECT_NE(nullptr, init);
    jobject made = env->functions->NewObject(env, c, init);
    EXPECT_NE(nullptr, made);
    return made != nullptr ? Hold(VMJniHandle::UnHandle(env, made)) : nullptr;
  }
  jmethodID Method(VMObject* target, const char* name, const char* sig, jobject* ref) {
    *ref = VMJniHandle::NewLocal(env, target);
    jclass c = env->functions->GetObjectClass(env, *ref);
    return env->functions->GetMethodID(env, c, name, sig);
  }
  jint CallInt(VMObject* target, const char* name, const char* sig) {
    jobject ref;
    jmethodID m = Method(target, name, sig, &ref);
    return env->functions->CallIntMethod(env, ref, m);
  }
  void CallVoid(VMObject* target, const char* name, const char* sig) {
    jobject ref;
    jmethodID m = Method(target, name, sig, &ref);
    env->functions->CallVoidMethod(env, ref, m);
  }
  /* The pending exception's class name, cleared; "" when none. */
  std::string Thrown() {
    jthrowable t = env->functions->ExceptionOccurred(env);
    if (t == nullptr) return "";
    env->functions->ExceptionClear(env);
    VMObject* o = VMJniHandle::UnHandle(env, t);
    char* text = o->GetLoadableClass()->GetName()->MakeUTF8();
    std::string name = text;
    VMLiteral::FreeUTF8(text);
    return name;
  }
};

TEST_F(NativeStreamTest, TheNativeStreamOfAStorableInflaterNeverTravels) {
  VMObject* original = Construct("stored/SerInflater");
  ASSERT_NE(nullptr, original);
  VMword strm = GetWord(original, "strm");
  ASSERT_NE(0u, strm) << "the constructor made a native stream";
  for (int type : {0, 1, 3}) {
    jint result = -1;
    Bytes row = Write(original, type, &result);
    EXPECT_EQ(0, result) << type;
    for (size_t i = 0; i + 4 <= row.size(); i++) {
      VMword w = (VMword)row[i] << 24 | (VMword)row[i + 1] << 16 | (VMword)row[i + 2] << 8 | row[i + 3];
      VMword le = (VMword)row[i + 3] << 24 | (VMword)row[i + 2] << 16 | (VMword)row[i + 1] << 8 | row[i];
      EXPECT_TRUE(w != strm && le != strm) << "type " << type << ": the row holds the process address at " << i;
    }
    VMObject* copy = Hold(Read(row));
    ASSERT_NE(nullptr, copy) << type;
    EXPECT_EQ(0u, GetWord(copy, "strm")) << "type " << type << ": the copy holds the original's native pointer";
  }
  CallVoid(original, "end", "()V");
}

TEST_F(NativeStreamTest, AForgedNativeStreamAddressIsNotRead) {
  VMObject* made = Hold(New("stored/SerInflater"));
  SetWord(made, "strm", 0x41414140u);
  jint result = -1;
  Bytes row = Write(made, 0, &result);
  ASSERT_EQ(0, result);
  SetWord(made, "strm", 0);
  VMObject* copy = Hold(Read(row));
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(0u, GetWord(copy, "strm")) << "the row chose the native record's address";
}

/* Ending the original and then its copy frees nothing twice. */
TEST_F(NativeStreamTest, ACopyEndsTheOriginalsNativeStream) {
  VMObject* original = Construct("stored/SerInflater");
  ASSERT_NE(nullptr, original);
  VMObject* copy = Hold(Read(Write(original, 0)));
  ASSERT_NE(nullptr, copy);
  CallVoid(original, "end", "()V");
  CallVoid(copy, "end", "()V");
  EXPECT_EQ("", Thrown());
  EXPECT_EQ(0, CallInt(copy, "getTotalIn", "()I"));
}

TEST_F(NativeStreamTest, AForgedNativeStreamAddressIsFollowed) {
  // Any Inflater made once in the process lets the natives find the field.
  VMObject* real = Construct("stored/SerInflater");
  ASSERT_NE(nullptr, real);
  CallVoid(real, "end", "()V");
  VMObject* made = Hold(New("stored/SerInflater"));
  SetWord(made, "strm", 0x41414140u);
  Bytes row = Write(made, 0);
  SetWord(made, "strm", 0);
  VMObject* copy = Hold(Read(row));
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(0, CallInt(copy, "getTotalIn", "()I"));
  EXPECT_EQ("", Thrown());
}

/* A word in the object itself that is no live stream of this machine (an address, an
   ended stream's address) is answered as an ended stream by every native: never read,
   never freed. */
TEST_F(NativeStreamTest, AWordThatIsNoLiveStreamIsNeverFollowed) {
  VMObject* ended = Construct("stored/SerInflater");
  ASSERT_NE(nullptr, ended);
  VMword stale = GetWord(ended, "strm");
  CallVoid(ended, "end", "()V");
  VMObject* live = Construct("stored/SerInflater");
  ASSERT_NE(nullptr, live);
  VMword own = GetWord(live, "strm");
  for (VMword forged : {(VMword)0x41414140u, stale, own + 4, (VMword)1u}) {
    if (forged == own) continue;
    SetWord(ended, "strm", forged);
    EXPECT_EQ(0, CallInt(ended, "getTotalIn", "()I")) << forged;
    EXPECT_EQ(0, CallInt(ended, "getAdler", "()I")) << forged;
    EXPECT_EQ("", Thrown());
    jobject ref;
    jmethodID inflate = Method(ended, "inflate", "([BII)I", &ref);
    jobject out = VMJniHandle::NewLocal(env, NewPrimitives(8, 16));
    env->functions->CallIntMethod(env, ref, inflate, out, 0, 16);
    EXPECT_EQ("java/lang/NullPointerException", Thrown()) << forged;
    CallVoid(ended, "reset", "()V");
    EXPECT_EQ("java/lang/NullPointerException", Thrown()) << forged;
    CallVoid(ended, "end", "()V");
    EXPECT_EQ("", Thrown());
  }
  EXPECT_EQ(own, GetWord(live, "strm"));
  CallVoid(live, "end", "()V");
  EXPECT_EQ("", Thrown());
}

}  // namespace

}  // namespace serial_test
