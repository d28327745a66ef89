/* The class library's own classes, made and used by Java code through the native
   interface, stored and read back: the copies work as the originals did. */
#include <stdarg.h>
#include <stdio.h>

#include <algorithm>
#include <vector>

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

/* The object streams' digest (package-private, reached through the native interface as
   their serial versions will reach it) against digests of Python's hashlib: every length
   around the block and padding boundaries, bytes written singly and in runs, and the
   stream starting afresh after each digest. */
TEST_F(LibraryTest, TheObjectStreamsDigestIsSha1) {
  const struct {
    jint length;
    const char* hex;
  } kDigests[] = {
      {0, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},    {1, "5d1be7e9dda1ee8896be5b7e34a85ee16452a7b4"},
      {3, "d2df16b976a43628c63ea246436fccf6d7635d09"},    {55, "749bbefb28edc4638b28b2b9a9e03ab9a4032b90"},
      {56, "a5b6e9c29d201c774753ff8e7fb64931656f5e63"},   {57, "eb0737bed5451790722b2df351829ce117e3d9dd"},
      {63, "d1a454409359fc372b4d22b3cea6488d6ba1be00"},   {64, "39a0d8b645ad85f1f976731ed112ac9455e28b78"},
      {65, "d0c96e18890114a14716e9686528d2e3fdba8d9e"},   {119, "562ecf8a430f8e1056e3619bae33628e9a1d0a4e"},
      {120, "353f6d2bf0e91aa91b74a2e0b3f297510f7d825f"},  {127, "bebc42d2d3d1e5fb8ad8895c2dcef2d68a6c279a"},
      {128, "0060f2a7e34b6e4d459f560197ef93243732a400"},  {1000, "414475341017ec91703435a6f290324818f983e9"},
      {100000, "35ab00c96f47c268b087d40d0dcd7245809f0d5c"},
  };
  jobject sha = NewDefault("java/io/SHA1OutputStream");
  ASSERT_NE(nullptr, sha) << PendingText();
  jclass c = env->functions->GetObjectClass(env, sha);
  jmethodID writeOne = env->functions->GetMethodID(env, c, "write", "(I)V");
  jmethodID writeRun = env->functions->GetMethodID(env, c, "write", "([BII)V");
  jmethodID digest = env->functions->GetMethodID(env, c, "digest", "()[B");
  ASSERT_TRUE(writeOne != nullptr && writeRun != nullptr && digest != nullptr);
  std::vector<jbyte> data(100000);
  for (size_t i = 0; i < data.size(); i++) data[i] = (jbyte)((i * 31 + 7) & 0xFF);
  jbyteArray all = env->functions->NewByteArray(env, (jsize)data.size());
  env->functions->SetByteArrayRegion(env, all, 0, (jsize)data.size(), data.data());
  for (const auto& d : kDigests) {
    for (int way = 0; way < 3; way++) {
      if (way == 0 && d.length > 1000) continue;
      if (way == 0) {
        // One byte at a time, the high bits of the int ignored.
        for (jint i = 0; i < d.length; i++) env->functions->CallVoidMethod(env, sha, writeOne, 0x100 | (data[i] & 0xFF));
      } else {
        // Runs of 1, 7, 13, ... bytes, or the whole at once from an offset.
        jint step = way == 1 ? 1 : d.length;
        for (jint at = 0; at < d.length;) {
          jint n = std::min(step, d.length - at);
          env->functions->CallVoidMethod(env, sha, writeRun, all, at, n);
          at += n;
          step += 6;
        }
      }
      jbyteArray out = (jbyteArray)env->functions->CallObjectMethod(env, sha, digest);
      ASSERT_EQ(nullptr, env->functions->ExceptionOccurred(env)) << PendingText();
      ASSERT_EQ(20, env->functions->GetArrayLength(env, out));
      jbyte bytes[20];
      env->functions->GetByteArrayRegion(env, out, 0, 20, bytes);
      char hex[41];
      for (int i = 0; i < 20; i++) snprintf(hex + 2 * i, 3, "%02x", bytes[i] & 0xFF);
      EXPECT_STREQ(d.hex, hex) << d.length << " bytes, way " << way;
      env->functions->DeleteLocalRef(env, out);
    }
  }
  // A run outside the array writes nothing and throws.
  env->functions->CallVoidMethod(env, sha, writeRun, all, 99999, 2);
  EXPECT_NE(nullptr, env->functions->ExceptionOccurred(env));
  env->functions->ExceptionClear(env);
  jbyteArray out = (jbyteArray)env->functions->CallObjectMethod(env, sha, digest);
  jbyte first = 0;
  env->functions->GetByteArrayRegion(env, out, 0, 1, &first);
  EXPECT_EQ((jbyte)0xda, first) << "the refused run was taken in part";
}

}  // namespace

}  // namespace serial_test
