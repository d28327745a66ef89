/* The class library's own classes, made and used by Java code through the native
   interface, stored and read back: the copies work as the originals did. */
#include <stdarg.h>
#include <stdio.h>

#include "serial_support.h"

namespace serial_test {

namespace {

class LibraryTest : public SerialTest {
 protected:
  jclass Find(const char* name) {
    jclass c = env->functions->FindClass(env, name);
    EXPECT_NE(nullptr, c) << name << ": " << PendingText();
    return c;
  }
  std::string PendingText() {
    char* text = env->functions->GetPendingExceptionText(env);
    std::string s = text != nullptr ? text : "";
    env->functions->FreeExceptionText(env, text);
    return s;
  }
  jobject NewDefault(const char* name) {
    jclass c = Find(name);
    jmethodID init = env->functions->GetMethodID(env, c, "<init>", "()V");
    return env->functions->NewObject(env, c, init);
  }
  jobject Integer(jint v) {
    jclass c = Find("java/lang/Integer");
    jmethodID init = env->functions->GetMethodID(env, c, "<init>", "(I)V");
    return env->functions->NewObject(env, c, init, v);
  }
  jobject String(const char* text) { return env->functions->NewStringUTF(env, text); }
  jobject Call(jobject target, const char* name, const char* sig, ...) {
    jclass c = env->functions->GetObjectClass(env, target);
    jmethodID m = env->functions->GetMethodID(env, c, name, sig);
    EXPECT_NE(nullptr, m) << name;
    va_list args;
    va_start(args, sig);
    jobject result = env->functions->CallObjectMethodV(env, target, m, args);
    va_end(args);
    EXPECT_EQ(nullptr, env->functions->ExceptionOccurred(env)) << name << ": " << PendingText();
    return result;
  }
  jint CallInt(jobject target, const char* name, const char* sig) {
    jclass c = env->functions->GetObjectClass(env, target);
    jmethodID m = env->functions->GetMethodID(env, c, name, sig);
    return env->functions->CallIntMethod(env, target, m);
  }
  std::string Text(jobject string) {
    if (string == nullptr) return "(null)";
    const char* utf = env->functions->GetStringUTFChars(env, (jstring)string, nullptr);
    std::string s = utf;
    env->functions->ReleaseStringUTFChars(env, (jstring)string, utf);
    return s;
  }
  /* The object read back from a row of the object, as a new local reference. */
  jobject RoundTrip(jobject object, int type) {
    VMObject* back = Read(Write(VMJniHandle::UnHandle(env, object), type));
    EXPECT_NE(nullptr, back) << "type " << type << ": status " << Deserializer()->GetLastStatus();
    return VMJniHandle::NewLocal(env, back);
  }
};

TEST_F(LibraryTest, AHashtableReadBackFindsItsKeysAgain) {
  jobject table = NewDefault("java/util/Hashtable");
  ASSERT_NE(nullptr, table);
  const char* put = "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;";
  // Keys hashed by content, and one hashed by identity, which changes on the way.
  jobject identity = VMJniHandle::NewLocal(env, New("stored/A"));
  for (int i = 0; i < 40; i++) {
    std::string key = "key" + std::to_string(i);
    Call(table, "put", put, String(key.c_str()), Integer(i));
  }
  Call(table, "put", put, Integer(-7), String("minus seven"));
  Call(table, "put", put, identity, String("by identity"));
  for (int type : {0, 1, 3}) {
    jobject copy = RoundTrip(table, type);
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(42, CallInt(copy, "size", "()I"));
    for (int i = 0; i < 40; i++) {
      std::string key = "key" + std::to_string(i);
      jobject v = Call(copy, "get", "(Ljava/lang/Object;)Ljava/lang/Object;", String(key.c_str()));
      ASSERT_NE(nullptr, v) << key << ", type " << type;
      EXPECT_EQ(i, CallInt(v, "intValue", "()I"));
    }
    EXPECT_EQ("minus seven", Text(Call(copy, "get", "(Ljava/lang/Object;)Ljava/lang/Object;", Integer(-7))));
    // The identity key's copy is a key of the copy: found through keys(), then by get.
    jobject keys = Call(copy, "keys", "()Ljava/util/Enumeration;");
    jclass aClass = env->functions->FindClassInLoaderId(env, "stored/A", kHome);
    jobject copiedKey = nullptr;
    int seen = 0;
    jclass enumeration = env->functions->GetObjectClass(env, keys);
    jmethodID more = env->functions->GetMethodID(env, enumeration, "hasMoreElements", "()Z");
    jmethodID next = env->functions->GetMethodID(env, enumeration, "nextElement", "()Ljava/lang/Object;");
    while (env->functions->CallBooleanMethod(env, keys, more)) {
      jobject k = env->functions->CallObjectMethod(env, keys, next);
      if (env->functions->IsInstanceOf(env, k, aClass)) copiedKey = k;
      seen++;
    }
    EXPECT_EQ(42, seen);
    ASSERT_NE(nullptr, copiedKey);
    EXPECT_EQ("by identity", Text(Call(copy, "get", "(Ljava/lang/Object;)Ljava/lang/Object;", copiedKey)));
    // And it goes on growing as a table does.
    for (int i = 0; i < 200; i++) Call(copy, "put", put, Integer(1000 + i), Integer(i));
    EXPECT_EQ(242, CallInt(copy, "size", "()I"));
    jobject v = Call(copy, "get", "(Ljava/lang/Object;)Ljava/lang/Object;", String("key39"));
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(39, CallInt(v, "intValue", "()I"));
  }
}

TEST_F(LibraryTest, VectorsBuffersAndBoxesReadBackWhole) {
  jobject vector = NewDefault("java/util/Vector");
  jobject buffer = NewDefault("java/lang/StringBuffer");
  Call(buffer, "append", "(Ljava/lang/String;)Ljava/lang/StringBuffer;", String("stored "));
  Call(buffer, "append", "(Ljava/lang/String;)Ljava/lang/StringBuffer;", String("text \xC3\xA9"));
  const char* add = "(Ljava/lang/Object;)V";
  jclass vc = env->functions->GetObjectClass(env, vector);
  jmethodID addElement = env->functions->GetMethodID(env, vc, "addElement", add);
  env->functions->CallVoidMethod(env, vector, addElement, buffer);
  env->functions->CallVoidMethod(env, vector, addElement, Integer(123));
  env->functions->CallVoidMethod(env, vector, addElement, vector);
  env->functions->CallVoidMethod(env, vector, addElement, String("last"));
  for (int type : {0, 1, 3}) {
    jobject copy = RoundTrip(vector, type);
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(4, CallInt(copy, "size", "()I"));
    const char* at = "(I)Ljava/lang/Object;";
    jclass cc = env->functions->GetObjectClass(env, copy);
    jmethodID elementAt = env->functions->GetMethodID(env, cc, "elementAt", at);
    jobject b = env->functions->CallObjectMethod(env, copy, elementAt, 0);
    EXPECT_EQ("stored text \xC3\xA9", Text(Call(b, "toString", "()Ljava/lang/String;")));
    jobject i = env->functions->CallObjectMethod(env, copy, elementAt, 1);
    EXPECT_EQ(123, CallInt(i, "intValue", "()I"));
    EXPECT_TRUE(env->functions->IsSameObject(env, copy, env->functions->CallObjectMethod(env, copy, elementAt, 2)));
    EXPECT_EQ("last", Text(env->functions->CallObjectMethod(env, copy, elementAt, 3)));
    // The copy's buffer is its own: appending to it leaves the original as it was.
    Call(b, "append", "(Ljava/lang/String;)Ljava/lang/StringBuffer;", String("!"));
    EXPECT_EQ("stored text \xC3\xA9", Text(Call(buffer, "toString", "()Ljava/lang/String;")));
  }
}

}  // namespace

}  // namespace serial_test
