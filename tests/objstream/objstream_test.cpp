/* The object streams on the machine: graphs of every kind round trip; streams made by
   hand with every kind of damage fail with the exception a reader expects, never with a
   crash or a wrong object; the natives refuse what would store outside a field or make
   what a stream must not make; deep graphs end in StackOverflowError at worst. */
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "io/javaio.h"
#include "refhost.h"
#include "vm.h"
#include "vmclass.h"
#include "vmclassloader.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmarray.h"
#include "vmjavalangstring.h"
#include "vmliteral.h"
#include "machine_move.h"

extern "C" {
jobject JNICALL JavaIoObjectInputStream_allocateNewObject(JNIEnv* env, jobject, jobject aHandle, jobject initHandle);
jobject JNICALL JavaIoObjectInputStream_allocateNewArray(JNIEnv* env, jobject, jobject arrayHandle, jint length);
jobject JNICALL JavaIoObjectInputStream_loadClass0(JNIEnv* env, jobject, jobject, jstring nameHandle);
void JNICALL JavaIoObjectInputStream_setObjectFieldValue(JNIEnv* env, jobject, jobject obj, jlong id, jobject type,
                                                         jobject value);
void JNICALL JavaIoObjectInputStream_setPrimitiveFieldValues(JNIEnv* env, jobject, jobject obj, jobject ids,
                                                             jobject codes, jobject data);
void JNICALL JavaIoObjectInputStream_inputClassFields(JNIEnv* env, jobject self, jobject obj, jobject,
                                                      jobject sequence);
jboolean JNICALL JavaIoObjectInputStream_invokeObjectReader(JNIEnv* env, jobject self, jobject obj, jobject cls);
void JNICALL JavaIoObjectInputStream_bytesToFloats(JNIEnv* env, jobject, jobject src, jint srcpos, jobject dst,
                                                   jint dstpos, jint count);
void JNICALL JavaIoObjectOutputStream_getPrimitiveFieldValues(JNIEnv* env, jobject, jobject obj, jobject ids,
                                                              jobject codes, jobject data);
jobject JNICALL JavaIoObjectOutputStream_getObjectFieldValue(JNIEnv* env, jobject, jobject obj, jlong id);
void JNICALL JavaIoObjectOutputStream_outputClassFields(JNIEnv* env, jobject self, jobject obj, jobject,
                                                        jobject sequence);
jboolean JNICALL JavaIoObjectOutputStream_invokeObjectWriter(JNIEnv* env, jobject self, jobject obj, jobject cls);
void JNICALL JavaIoObjectOutputStream_floatsToBytes(JNIEnv* env, jobject, jobject src, jint srcpos, jobject dst,
                                                    jint dstpos, jint count);
jint JNICALL JavaIoObjectStreamClass_getClassAccess(JNIEnv* env, jobject, jobject cls);
jobject JNICALL JavaIoObjectStreamClass_described(JNIEnv* env, jobject, jobject root, jobject cls);
jboolean JNICALL JavaIoObjectStreamClass_swap(JNIEnv* env, jobject, jobject array, jint i, jobject expect, jobject now);
jlong JNICALL JavaIoObjectStreamClass_getSerialVersionUID(JNIEnv* env, jobject, jobject cls);
jboolean JNICALL JavaIoObjectStreamClass_hasWriteObject(JNIEnv* env, jobject, jobject cls);
jobjectArray JNICALL JavaIoObjectStreamClass_getFields0(JNIEnv* env, jobject, jobject cls);
jobjectArray JNICALL JavaIoObjectStreamClass_getMethodSignatures(JNIEnv* env, jobject, jobject cls);
void JNICALL JavaIoObjectStreamClass_getFieldIDs(JNIEnv* env, jobject, jobjectArray fields, jlongArray primitiveIDs,
                                                 jlongArray objectIDs);
}

namespace {

const char* const kCases = "objstream/Cases";

/* A stream put together by hand from the format's grammar. */
class Stream {
 public:
  Stream() { u2(0xACED).u2(5); }
  Stream& u1(uint32_t v) {
    bytes.push_back((uint8_t)v);
    return *this;
  }
  Stream& u2(uint32_t v) { return u1(v >> 8).u1(v); }
  Stream& u4(uint32_t v) { return u2(v >> 16).u2(v); }
  Stream& u8(uint64_t v) { return u4((uint32_t)(v >> 32)).u4((uint32_t)v); }
  Stream& utf(const std::string& s) {
    u2((uint32_t)s.size());
    for (char c : s) u1((uint8_t)c);
    return *this;
  }
  Stream& string(const std::string& s) { return u1(0x74).utf(s); }
  /* TC_CLASSDESC name suid flags, the fields as "Iname" or "Lname;Ltype;" (a reference
     field's type follows the name after ';'), then the end of annotations; the super
     descriptor comes next from the caller. */
  Stream& desc(const std::string& name, uint64_t suid, uint32_t flags, const std::vector<std::string>& fields) {
    u1(0x72).utf(name).u8(suid).u1(flags).u2((uint32_t)fields.size());
    for (const std::string& f : fields) {
      u1((uint8_t)f[0]);
      size_t semi = f.find(';');
      utf(f.substr(1, semi == std::string::npos ? std::string::npos : semi - 1));
      if (semi != std::string::npos) string(f.substr(semi + 1));
    }
    return u1(0x78);
  }
  std::string hex() const {
    std::string out;
    char two[3];
    for (uint8_t b : bytes) {
      snprintf(two, sizeof two, "%02x", b);
      out += two;
    }
    return out;
  }
  std::vector<uint8_t> bytes;
};

const uint64_t kIntArrayUid = 0x4DBA602676EAB2A5ull;
const uint64_t kStringArrayUid = 0xADD256E7E91D7B47ull;

class ObjectStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    JNI_SetHostFunctions(refhost::Functions());
    refhost::SetCapture(true);
    refhost::SetClassPath(nullptr, ClassDir() + ":" + PUX_BUILD_DIR + "/classlib.zip");
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = refhost::Functions();
    args.name = "object streams";
    ASSERT_EQ(0, JNI_CreateJavaVM(&jvm, &env, &args));
    fn = env->functions;
    cases = (jclass)fn->FindClass(env, "objstream/Cases");
    ASSERT_NE(nullptr, cases) << Taken();
    stress = VMObjectBase::GetCollectionStress() != 0;
  }
  void TearDown() override {
    if (jvm != nullptr) {
      EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
    }
    refhost::SetClassPath(nullptr, "");
    refhost::ResetHooks();
  }
  static std::string ClassDir() { return std::string(PUX_BUILD_DIR) + "/testclasses/objstream"; }

  /* The class name of the pending exception (cleared), "" when none. */
  std::string Taken() {
    jthrowable t = fn->ExceptionOccurred(env);
    if (t == nullptr) return "";
    fn->ExceptionClear(env);
    VMObject* o = VMJniHandle::UnHandle(env, t);
    char* name = o != nullptr && o->GetHasClass() ? o->GetClass()->GetDotNameUTF8() : nullptr;
    std::string text = name != nullptr ? name : "?";
    VMJavaLangString::FreeUTF8(name);
    fn->DeleteLocalRef(env, t);
    return text;
  }
  std::string Text(jobject s) {
    if (s == nullptr) return "<null: " + Taken() + ">";
    const char* chars = fn->GetStringUTFChars(env, (jstring)s, nullptr);
    std::string out = chars != nullptr ? chars : "?";
    fn->ReleaseStringUTFChars(env, (jstring)s, chars);
    fn->DeleteLocalRef(env, s);
    return out;
  }
  jmethodID Method(const char* name, const char* sig) {
    jmethodID id = fn->GetStaticMethodID(env, cases, name, sig);
    EXPECT_NE(nullptr, id) << name;
    return id;
  }
  std::string Call(const char* name, const char* sig) {
    return Text(fn->CallStaticObjectMethod(env, cases, Method(name, sig)));
  }
  std::string Call(const char* name, const char* sig, jint a, jint b) {
    return Text(fn->CallStaticObjectMethod(env, cases, Method(name, sig), a, b));
  }
  std::string Read(const Stream& s) {
    jstring hex = fn->NewStringUTF(env, s.hex().c_str());
    std::string out = Text(fn->CallStaticObjectMethod(env, cases, Method("read", "(Ljava/lang/String;)Ljava/lang/String;"), hex));
    fn->DeleteLocalRef(env, hex);
    return out;
  }

  jobject Local(VMObject* o) { return VMJniHandle::NewLocal(env, o); }
  jobject ClassRef(const char* name) {
    jobject cls = fn->FindClass(env, name);
    EXPECT_NE(nullptr, cls) << name << " " << Taken();
    return cls;
  }
  jobject New(const char* name) { return fn->AllocObject(env, (jclass)ClassRef(name)); }
  jobject Str(const char* text) { return fn->NewStringUTF(env, text); }
  VMNameSpace* NameSpace() { return jvm->nameSpace; }
  jint Slot(const char* cls, const char* name, const char* sig) {
    VMClass* c = VMJniUnHandleClass(env, ClassRef(cls));
    VMNameSpace* ns = NameSpace();
    VMDataMember* f = c == nullptr ? nullptr
                                   : ((VMLoadableClass*)c)->FindField(VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu),
                                                                      VMLiteral::CreateInstance(ns, sig, 0xFFFFFFFFu),
                                                                      false, env);
    EXPECT_NE(nullptr, f) << name;
    return f != nullptr ? f->GetIndex() : -1;
  }

  /* A host loader of its own (id) loads objstream/own (the system path holds it too,
     but the system loader never loads it here), with the env's loader id set around the
     call of Session's static method as a host sets it; the answer's text. */
  std::string CallSession(void* id, const char* method, const char* sig, jint arg = 0) {
    fn->SetEnvUserWord(env, id);
    jclass session = fn->FindClassInLoaderId(env, "objstream/own/Session", id);
    std::string text = "no Session";
    if (session != nullptr) {
      EXPECT_EQ(id, VMJniUnHandleClass(env, session)->GetClassLoader()->GetLoaderID());
      jmethodID m = fn->GetStaticMethodID(env, session, method, sig);
      text = m == nullptr ? "no method" : Text(fn->CallStaticObjectMethod(env, session, m, arg));
    }
    fn->SetEnvUserWord(env, nullptr);
    return text;
  }
  /* Drops the loader of the id until it goes (20 tries); the tries it took. */
  int DropUntilGone(void* id) {
    int drops = 0;
    for (jobject l; drops < 20 && (l = JNI_FindClassLoaderLite(env, id)) != nullptr; drops++) {
      JNI_DestroyClassLoaderLite(env, l);
      fn->DeleteLocalRef(env, l);
    }
    return drops;
  }

  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
  const JNINativeInterface_* fn = nullptr;
  jclass cases = nullptr;
  bool stress = false;
};

TEST_F(ObjectStreamTest, GraphsOfEveryKindComeBackAsTheyWere) {
  EXPECT_EQ("", Call("roundTrip", "()Ljava/lang/String;"));
  EXPECT_EQ("ok", Call("greedy", "()Ljava/lang/String;"));
  EXPECT_EQ("java.lang.Exception: java.io.WriteAbortedException: writing aborted; "
            "java.io.NotSerializableException: objstream.NotSer",
            Call("notSerializable", "()Ljava/lang/String;"));
}

TEST_F(ObjectStreamTest, EveryPrefixOfAStreamFailsAsReadersExpect) {
  EXPECT_EQ("ok", Call("truncations", "()Ljava/lang/String;").substr(0, 2));
}

TEST_F(ObjectStreamTest, DamagedStreamsFailAsReadersExpect) {
  int rounds = stress ? 40 : 1500;
  for (int seed : {1, 2, 3}) {
    std::string r = Call("mutations", "(II)Ljava/lang/String;", seed, rounds);
    EXPECT_EQ("ok", r.substr(0, 2)) << "seed " << seed << ": " << r;
  }
}

TEST_F(ObjectStreamTest, DeepGraphsEndInStackOverflowAtWorst) {
  EXPECT_EQ("ok 300", Call("depth", "(IZ)Ljava/lang/String;", 300, 0));
  EXPECT_EQ("ok 100", Call("depth", "(IZ)Ljava/lang/String;", 100, 1));
  int n = stress ? 3000 : 100000;
  for (int hooked = 0; hooked <= 1; hooked++) {
    std::string r = Call("depth", "(IZ)Ljava/lang/String;", n, hooked);
    EXPECT_TRUE(r == "ok " + std::to_string(n) || r == "java.lang.StackOverflowError") << r;
  }
}

/* Streams that name classes a stream must not make, or make objects the wrong way. */
TEST_F(ObjectStreamTest, StreamsCannotMakeWhatTheyMustNot) {
  Stream string;
  string.u1(0x73).desc("java.lang.String", 0xA0F0A4387A3BB342ull, 2, {}).u1(0x70);
  EXPECT_EQ("java.io.InvalidClassException: java.lang.String; class cannot be read as an object", Read(string));

  Stream cls;
  cls.u1(0x73).desc("java.lang.Class", 1, 2, {}).u1(0x70);
  EXPECT_EQ("java.io.InvalidClassException", Read(cls).substr(0, 29));

  Stream notSer;
  notSer.u1(0x73).desc("objstream.NotSer", 0, 2, {"Ix"}).u1(0x70).u4(1);
  EXPECT_EQ("java.io.InvalidClassException: objstream.NotSer; class invalid for deserialization", Read(notSer));

  Stream noCtor;
  noCtor.u1(0x73).desc("objstream.NoValidCtor", 1, 2, {"Iown"}).u1(0x70).u4(1);
  EXPECT_EQ("java.io.InvalidClassException: objstream.NoValidCtor; no valid constructor", Read(noCtor));

  Stream privateCtor;
  privateCtor.u1(0x73).desc("objstream.PrivateCtorChild", 1, 2, {}).u1(0x70);
  EXPECT_EQ("java.io.InvalidClassException: objstream.PrivateCtorChild; no valid constructor", Read(privateCtor));

  Stream ext;
  ext.u1(0x73).desc("objstream.ExtNoPublicCtor", 1, 0x0C, {}).u1(0x70).u1(0x78);
  EXPECT_EQ("java.io.InvalidClassException: objstream.ExtNoPublicCtor; no valid constructor", Read(ext));

  // A descriptor that claims both kinds.
  Stream both;
  both.u1(0x73).desc("objstream.Foo", 1, 6, {"Iv", "Lnext;Lobjstream/Foo;"}).u1(0x70);
  EXPECT_EQ("java.io.InvalidClassException: objstream.Foo; serializable and externalizable flags conflict",
            Read(both));
}

/* References a stream hands out go only where their type fits. */
TEST_F(ObjectStreamTest, ReferencesOfTheWrongTypeAreRefused) {
  Stream stringForFoo;
  stringForFoo.u1(0x73)
      .desc("objstream.Holder", 1, 2, {"Lany;Ljava/lang/Object;", "Lfoo;Lobjstream/Foo;"})
      .u1(0x70)
      .u1(0x70)
      .string("not a Foo");
  EXPECT_EQ("java.lang.ClassCastException: stream value does not fit the field", Read(stringForFoo));

  // The descriptor itself (handle 0) where a Foo is wanted.
  Stream descForFoo;
  descForFoo.u1(0x73)
      .desc("objstream.Holder", 1, 2, {"Lany;Ljava/lang/Object;", "Lfoo;Lobjstream/Foo;"})
      .u1(0x70)
      .u1(0x70)
      .u1(0x71)
      .u4(0x7E0000);
  EXPECT_EQ("java.lang.ClassCastException: stream value does not fit the field", Read(descForFoo));

  // A good one: any may hold the string, foo a Foo with a cycle.
  Stream good;
  good.u1(0x73)
      .desc("objstream.Holder", 1, 2, {"Lany;Ljava/lang/Object;", "Lfoo;Lobjstream/Foo;"})
      .u1(0x70)
      .string("text")
      .u1(0x73)
      .desc("objstream.Foo", 1, 2, {"Iv", "Lnext;Lobjstream/Foo;"})
      .u1(0x70)
      .u4(7)
      .u1(0x71)
      .u4(0x7E0007);  // descriptors 0 and 5, type strings 1, 2 and 6, the Holder 3, "text" 4
  EXPECT_EQ("ok Holder(Foo(7,self),\"text\")", Read(good));

  // An Integer in a String array.
  Stream element;
  element.u1(0x75).desc("[Ljava.lang.String;", kStringArrayUid, 2, {}).u1(0x70).u4(1);
  element.u1(0x73).desc("java.lang.Integer", 1360826667806852920ull, 2, {"Ivalue"});
  element.desc("java.lang.Number", 0x86AC951D0B94E08Bull, 2, {}).u1(0x70).u4(5);
  EXPECT_EQ("java.lang.ClassCastException: array element of class java.lang.Integer in an array of java.lang.String",
            Read(element));

  // A reference to a descriptor still being read.
  Stream early;
  early.u1(0x73).u1(0x72).utf("objstream.Holder").u8(1).u1(2).u2(1).u1('L').utf("any").u1(0x71).u4(0x7E0000);
  EXPECT_EQ("java.io.InvalidObjectException: reference to an object that could not be read", Read(early));
}

TEST_F(ObjectStreamTest, BadNumbersInTheStreamAreCorruption) {
  Stream header;
  header.bytes[1] = 0xEE;
  EXPECT_EQ("java.io.StreamCorruptedException: invalid stream header: acee5", Read(header));

  Stream negative;
  negative.u1(0x75).desc("[I", kIntArrayUid, 2, {}).u1(0x70).u4(0xFFFFFFFFu);
  EXPECT_EQ("java.io.StreamCorruptedException: negative array length: -1", Read(negative));

  Stream handle;
  handle.u1(0x71).u4(0x7E0005);
  EXPECT_EQ("java.io.StreamCorruptedException: invalid handle value: 7e0005", Read(handle));
  Stream below;
  below.u1(0x71).u4(0x10);
  EXPECT_EQ("java.io.StreamCorruptedException: invalid handle value: 10", Read(below));

  Stream code;
  code.u1(0x20);
  EXPECT_EQ("java.io.StreamCorruptedException: invalid type code: 20", Read(code));

  Stream block;
  block.u1(0x7A).u4(0x80000000u);
  EXPECT_EQ("java.io.StreamCorruptedException: illegal block data header length: -2147483648", Read(block));

  Stream fieldCode;
  fieldCode.u1(0x73).desc("objstream.Foo", 1, 2, {"Xv"}).u1(0x70);
  EXPECT_EQ("java.io.InvalidClassException: objstream.Foo; invalid type code for field v: X", Read(fieldCode));

  Stream noDesc;
  noDesc.u1(0x76).u1(0x70);
  EXPECT_EQ("java.io.StreamCorruptedException: class without a descriptor", Read(noDesc));

  Stream notException;
  notException.u1(0x7B).string("x");
  EXPECT_EQ("java.io.StreamCorruptedException: written exception is no exception", Read(notException));

  // A huge array the stream cannot fill: refused for want of memory or ended by the stream.
  Stream huge;
  huge.u1(0x75).desc("[I", kIntArrayUid, 2, {}).u1(0x70).u4(0x7FFFFFFF).u4(1);
  std::string r = Read(huge);
  EXPECT_TRUE(r == "java.lang.OutOfMemoryError" || r == "java.io.EOFException") << r;

  // A boolean byte that is neither 0 nor 1 reads as true, and equal to true.
  Stream flag;
  flag.u1(0x73).desc("objstream.Flags", 1, 2, {"Zz"}).u1(0x70).u1(2);
  EXPECT_EQ("ok Flags(true,true)", Read(flag));
}

TEST_F(ObjectStreamTest, ClassesThatChangedAreMatchedByFieldName) {
  Stream v1;
  v1.u1(0x73).desc("objstream.Evolved", 1, 2, {"Iold", "Isame"}).u1(0x70).u4(1).u4(2);
  EXPECT_EQ("ok Evolved(2,null)", Read(v1));

  Stream typeChanged;
  typeChanged.u1(0x73).desc("objstream.Foo", 1, 2, {"Jv", "Lnext;Lobjstream/Foo;"}).u1(0x70).u8(1).u1(0x70);
  EXPECT_EQ("java.io.InvalidClassException: objstream.Foo; incompatible types for field v", Read(typeChanged));

  Stream version;
  version.u1(0x73).desc("objstream.Foo", 2, 2, {"Iv", "Lnext;Lobjstream/Foo;"}).u1(0x70).u4(1).u1(0x70);
  EXPECT_EQ("java.io.InvalidClassException: objstream.Foo; local class incompatible: stream classdesc "
            "serialVersionUID = 2, local class serialVersionUID = 1",
            Read(version));

  int names = stress ? 20 : 1000;
  for (int i = 0; i < names; i++) {
    Stream unknown;
    std::string name = "objstream.Missing" + std::to_string(i);
    unknown.u1(0x73).desc(name, 1, 2, {}).u1(0x70);
    ASSERT_EQ("java.lang.ClassNotFoundException: " + name, Read(unknown));
  }
  Stream slashed;
  slashed.u1(0x73).desc("objstream/Foo", 1, 2, {}).u1(0x70);
  EXPECT_EQ("java.lang.ClassNotFoundException: objstream/Foo", Read(slashed));
}

/* The natives themselves, called with what a faulty Java side could hand them. */
TEST_F(ObjectStreamTest, NativesRefuseObjectsTheyMustNotMake) {
    jobject object = ClassRef("java/lang/Object");
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewObject(env, 0, ClassRef("java/lang/String"), object));
  EXPECT_EQ("java.lang.InstantiationException", Taken());
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewObject(env, 0, ClassRef("java/lang/Class"), object));
  EXPECT_EQ("java.lang.InstantiationException", Taken());
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewObject(env, 0, ClassRef("objstream/NotSer"), object));
  EXPECT_EQ("java.lang.InstantiationException", Taken());
  // Only the first class that is not Serializable may construct.
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewObject(env, 0, ClassRef("objstream/CountedChild"), object));
  EXPECT_EQ("java.lang.InstantiationException", Taken());
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewObject(env, 0, ClassRef("objstream/NoValidCtor"),
                                                               ClassRef("objstream/OnlyIntCtorBase")));
  EXPECT_EQ("java.lang.NoSuchMethodError", Taken());
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewObject(env, 0, ClassRef("objstream/PrivateCtorChild"),
                                                               ClassRef("objstream/PrivateCtorBase")));
  EXPECT_EQ("java.lang.IllegalAccessException", Taken());
  // An Externalizable constructs itself, publicly; a Serializable never does.
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewObject(env, 0, ClassRef("objstream/ExtNoPublicCtor"),
                                                               ClassRef("objstream/ExtNoPublicCtor")));
  EXPECT_EQ("java.lang.IllegalAccessException", Taken());
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewObject(env, 0, ClassRef("objstream/Foo"),
                                                               ClassRef("objstream/Foo")));
  EXPECT_EQ("java.lang.InstantiationException", Taken());
  jobject counted = JavaIoObjectInputStream_allocateNewObject(env, 0, ClassRef("objstream/CountedChild"),
                                                              ClassRef("objstream/Counted"));
  ASSERT_NE(nullptr, counted);
  EXPECT_EQ(41u, VMJniHandle::UnHandle(env, counted)->GetWord((uint32_t)Slot("objstream/Counted", "setByConstructor", "I")));
  EXPECT_EQ(0u, VMJniHandle::UnHandle(env, counted)->GetWord((uint32_t)Slot("objstream/CountedChild", "own", "I")));
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewObject(env, 0, 0, object));
  EXPECT_EQ("java.lang.NullPointerException", Taken());

  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewArray(env, 0, ClassRef("objstream/Foo"), 3));
  EXPECT_EQ("java.lang.IllegalArgumentException", Taken());
  jobject intArray = Local((VMObject*)NameSpace()->GetArrayClassList()->GetVMintArrayClass());
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_allocateNewArray(env, 0, intArray, -1));
  EXPECT_EQ("java.lang.NegativeArraySizeException", Taken());
  jobject ints = JavaIoObjectInputStream_allocateNewArray(env, 0, intArray, 3);
  ASSERT_NE(nullptr, ints);
  EXPECT_EQ(3u, ((VMArray*)VMJniHandle::UnHandle(env, ints))->GetSize());

  EXPECT_EQ(nullptr, JavaIoObjectInputStream_loadClass0(env, 0, 0, Str("java/lang/String")));
  EXPECT_EQ("java.lang.ClassNotFoundException", Taken());
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_loadClass0(env, 0, 0, Str("[Lobjstream.Absent;")));
  EXPECT_EQ("java.lang.ClassNotFoundException", Taken());
  EXPECT_EQ(nullptr, JavaIoObjectInputStream_loadClass0(env, 0, 0, 0));
  EXPECT_EQ("java.lang.ClassNotFoundException", Taken());
}

TEST_F(ObjectStreamTest, NativesStoreOnlyIntoFieldsOfTheirType) {
    jobject holder = New("objstream/Holder");
  ASSERT_NE(nullptr, holder);
  jint foo = Slot("objstream/Holder", "foo", "Lobjstream/Foo;");
  jobject text = Str("text");
  JavaIoObjectInputStream_setObjectFieldValue(env, 0, holder, foo, 0, text);
  EXPECT_EQ("java.lang.ClassCastException", Taken());
  EXPECT_EQ(0u, VMJniHandle::UnHandle(env, holder)->GetWord((uint32_t)foo));
  jobject aFoo = New("objstream/Foo");
  JavaIoObjectInputStream_setObjectFieldValue(env, 0, holder, foo, 0, aFoo);
  EXPECT_EQ("", Taken());
  EXPECT_EQ((VMword)VMJniHandle::UnHandle(env, aFoo), VMJniHandle::UnHandle(env, holder)->GetWord((uint32_t)foo));
  // Slots outside the body, or of another type, name no field.
  for (jlong slot : {(jlong)5000, (jlong)-2, (jlong)0x7FFFFFFF}) {
    JavaIoObjectInputStream_setObjectFieldValue(env, 0, holder, slot, 0, aFoo);
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken()) << slot;
    EXPECT_EQ(nullptr, JavaIoObjectOutputStream_getObjectFieldValue(env, 0, holder, slot));
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken()) << slot;
  }
  jint v = Slot("objstream/Foo", "v", "I");
  JavaIoObjectInputStream_setObjectFieldValue(env, 0, aFoo, v, 0, aFoo);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  EXPECT_EQ(nullptr, JavaIoObjectOutputStream_getObjectFieldValue(env, 0, aFoo, v));
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  // -1 is a field the class does not have: nothing is stored, null is read.
  JavaIoObjectInputStream_setObjectFieldValue(env, 0, holder, -1, 0, text);
  EXPECT_EQ("", Taken());
  // Nothing is written into a string.
  JavaIoObjectInputStream_setObjectFieldValue(env, 0, text, 0, 0, text);
  EXPECT_EQ("java.lang.IllegalArgumentException", Taken());

  // Primitive data: a reference slot named as an int, data shorter than the codes ask.
  const JNINativeInterface_* f = fn;
  jlongArray ids = f->NewLongArray(env, 1);
  jcharArray codes = f->NewCharArray(env, 1);
  jbyteArray data = f->NewByteArray(env, 4);
  jlong refSlot = foo;
  jchar intCode = 'I';
  f->SetLongArrayRegion(env, ids, 0, 1, &refSlot);
  f->SetCharArrayRegion(env, codes, 0, 1, &intCode);
  JavaIoObjectInputStream_setPrimitiveFieldValues(env, 0, holder, ids, codes, data);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  EXPECT_EQ((VMword)VMJniHandle::UnHandle(env, aFoo), VMJniHandle::UnHandle(env, holder)->GetWord((uint32_t)foo));
  jlong vSlot = v;
  f->SetLongArrayRegion(env, ids, 0, 1, &vSlot);
  jbyte four[4] = {0, 0, 1, 0};
  f->SetByteArrayRegion(env, data, 0, 4, four);
  JavaIoObjectInputStream_setPrimitiveFieldValues(env, 0, aFoo, ids, codes, data);
  EXPECT_EQ("", Taken());
  EXPECT_EQ(256u, VMJniHandle::UnHandle(env, aFoo)->GetWord((uint32_t)v));
  jbyteArray shortData = f->NewByteArray(env, 3);
  JavaIoObjectInputStream_setPrimitiveFieldValues(env, 0, aFoo, ids, codes, shortData);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  JavaIoObjectOutputStream_getPrimitiveFieldValues(env, 0, aFoo, ids, codes, shortData);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  JavaIoObjectOutputStream_getPrimitiveFieldValues(env, 0, aFoo, ids, codes, data);
  EXPECT_EQ("", Taken());
  jbyte back[4];
  f->GetByteArrayRegion(env, data, 0, 4, back);
  EXPECT_EQ(0, memcmp(back, four, 4));
  // Codes shorter than the ids.
  jcharArray noCodes = f->NewCharArray(env, 0);
  JavaIoObjectInputStream_setPrimitiveFieldValues(env, 0, aFoo, ids, noCodes, data);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  // Arrays of the wrong kind.
  JavaIoObjectInputStream_setPrimitiveFieldValues(env, 0, aFoo, codes, ids, data);
  EXPECT_EQ("java.lang.NullPointerException", Taken());

  // The field sequences of the stream-driven form: a slot of another type is refused
  // before the stream is asked for anything.
  jintArray sequence = f->NewIntArray(env, 2);
  jint pair[2] = {'L', v};
  f->SetIntArrayRegion(env, sequence, 0, 2, pair);
  JavaIoObjectInputStream_inputClassFields(env, holder, aFoo, 0, sequence);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  JavaIoObjectOutputStream_outputClassFields(env, holder, aFoo, 0, sequence);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());

  jfloatArray floats = f->NewFloatArray(env, 2);
  JavaIoObjectOutputStream_floatsToBytes(env, 0, floats, 1, data, 0, 2);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  JavaIoObjectOutputStream_floatsToBytes(env, 0, floats, 0, data, 1, 1);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  jbyte nan[4] = {0x7F, (jbyte)0xC0, 0, 1};
  f->SetByteArrayRegion(env, data, 0, 4, nan);
  JavaIoObjectInputStream_bytesToFloats(env, 0, data, 0, floats, 1, 1);
  EXPECT_EQ("", Taken());
  EXPECT_EQ(0x7FC00001u, ((VMuintArray*)VMJniHandle::UnHandle(env, floats))->Get(1));
  JavaIoObjectInputStream_bytesToFloats(env, 0, data, 1, floats, 0, 1);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  // Written again, a NaN with a payload is the canonical NaN, as writeFloat writes it.
  JavaIoObjectOutputStream_floatsToBytes(env, 0, floats, 1, data, 0, 1);
  EXPECT_EQ("", Taken());
  jbyte canonical[4] = {0x7F, (jbyte)0xC0, 0, 0};
  f->GetByteArrayRegion(env, data, 0, 4, back);
  EXPECT_EQ(0, memcmp(back, canonical, 4));

  // The swap of the tables of descriptions stores into an Object[] alone (a String[] must
  // never hold a Foo), inside it, and only over what the caller expected there.
  auto element = [&](jobject array, uint32_t i) { return ((VMrefArray*)VMJniHandle::UnHandle(env, array))->Get(i); };
  jobjectArray strings = f->NewObjectArray(env, 1, (jclass)ClassRef("java/lang/String"), text);
  EXPECT_EQ(0, JavaIoObjectStreamClass_swap(env, 0, strings, 0, text, aFoo));
  EXPECT_EQ("java.lang.NullPointerException", Taken());
  EXPECT_EQ(VMJniHandle::UnHandle(env, text), element(strings, 0));
  jclass objectClass = (jclass)ClassRef("java/lang/Object");
  jobjectArray objects = f->NewObjectArray(env, 2, objectClass, nullptr);
  for (jint at : {-1, 2, 0x40000000}) {
    EXPECT_EQ(0, JavaIoObjectStreamClass_swap(env, 0, objects, at, nullptr, aFoo)) << at;
    EXPECT_EQ("java.lang.NullPointerException", Taken()) << at;
  }
  EXPECT_EQ(0, JavaIoObjectStreamClass_swap(env, 0, objects, 1, text, aFoo));
  EXPECT_EQ(nullptr, element(objects, 1));
  EXPECT_EQ(1, JavaIoObjectStreamClass_swap(env, 0, objects, 1, nullptr, aFoo));
  EXPECT_EQ(VMJniHandle::UnHandle(env, aFoo), element(objects, 1));
  EXPECT_EQ("", Taken());

  // A probe of crafted tables reads nothing outside them and finds nothing in them: keys
  // that outnumber the holders, a holder of another kind, a table of no power of two
  // pairs. The last, made whole, finds what it holds.
  jclass fooClass = (jclass)ClassRef("objstream/Foo");
  auto objectsOf = [&](std::initializer_list<jobject> items) {
    jobjectArray a = f->NewObjectArray(env, (jsize)items.size(), objectClass, nullptr);
    jsize i = 0;
    for (jobject o : items) f->SetObjectArrayElement(env, a, i++, o);
    return a;
  };
  auto keys = [&](jsize n) { return f->NewIntArray(env, n); };  // all 0: the system loader's key
  jobjectArray table = objectsOf({fooClass, text, nullptr, nullptr, nullptr, nullptr});
  for (jobjectArray tables : {objectsOf({keys(3)}), objectsOf({keys(1), text}), objectsOf({keys(1), objectsOf({table})}),
                              objectsOf({text}), objectsOf({keys(2), objectsOf({}), objectsOf({table})})}) {
    EXPECT_EQ(nullptr, JavaIoObjectStreamClass_described(env, 0, objectsOf({tables}), fooClass));
    EXPECT_EQ("", Taken());
  }
  jobjectArray whole = objectsOf({fooClass, text});
  jobject found = JavaIoObjectStreamClass_described(env, 0, objectsOf({objectsOf({keys(1), objectsOf({whole})})}), fooClass);
  EXPECT_EQ(VMJniHandle::UnHandle(env, text), VMJniHandle::UnHandle(env, found));
}

TEST_F(ObjectStreamTest, HooksRunOnlyOnObjectsOfTheirClass) {
    jobject aFoo = New("objstream/Foo");
  EXPECT_EQ(0, JavaIoObjectOutputStream_invokeObjectWriter(env, 0, aFoo, ClassRef("objstream/HookA")));
  EXPECT_EQ("java.lang.IllegalArgumentException", Taken());
  EXPECT_EQ(0, JavaIoObjectInputStream_invokeObjectReader(env, 0, aFoo, ClassRef("objstream/HookA")));
  EXPECT_EQ("java.lang.IllegalArgumentException", Taken());
  EXPECT_EQ(0, JavaIoObjectOutputStream_invokeObjectWriter(env, 0, aFoo, ClassRef("objstream/Foo")));
  EXPECT_EQ("", Taken());
}

TEST_F(ObjectStreamTest, ClassDescriptionsOfOddClasses) {
    jobject intClass = Local((VMObject*)NameSpace()->GetClassList()->GetVMintClass());
  EXPECT_EQ(0x411, JavaIoObjectStreamClass_getClassAccess(env, 0, intClass));
  EXPECT_EQ(0, JavaIoObjectStreamClass_getSerialVersionUID(env, 0, intClass));
  EXPECT_EQ(0, JavaIoObjectStreamClass_hasWriteObject(env, 0, intClass));
  jobjectArray none = JavaIoObjectStreamClass_getFields0(env, 0, intClass);
  ASSERT_NE(nullptr, none);
  EXPECT_EQ(0, env->functions->GetArrayLength(env, none));
  jobjectArray methods = JavaIoObjectStreamClass_getMethodSignatures(env, 0, intClass);
  ASSERT_NE(nullptr, methods);
  EXPECT_EQ(0, env->functions->GetArrayLength(env, methods));
  EXPECT_EQ(0, JavaIoObjectStreamClass_getClassAccess(env, 0, 0));
  EXPECT_EQ("java.lang.NullPointerException", Taken());
  EXPECT_EQ(1, JavaIoObjectStreamClass_getSerialVersionUID(env, 0, ClassRef("objstream/Foo")));
  EXPECT_EQ(1, JavaIoObjectStreamClass_hasWriteObject(env, 0, ClassRef("objstream/HookA")));
  EXPECT_EQ(0, JavaIoObjectStreamClass_hasWriteObject(env, 0, ClassRef("objstream/HookedLink")) == 0);
  EXPECT_EQ("", Taken());
}

/* Two threads serialising at once, on the launcher (threads of a whole machine). */
TEST_F(ObjectStreamTest, TwoThreadsWriteAndReadAtOnce) {
  std::string command = std::string(PUX_BUILD_DIR) + "/puxjava -cp " + ClassDir() +
                        " objstream.Main threads " + (stress ? "2" : "40") + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(nullptr, p);
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
  int status = pclose(p);
  EXPECT_EQ(0, status) << out;
  EXPECT_EQ("|\n", out);
}

TEST_F(ObjectStreamTest, FieldIdsOfADescriptorAreTheSlotsOfItsFields) {
  // The field-ID form of the descriptor natives, called through a class that declares it.
  const JNINativeMethod bind[] = {{(char*)"getFieldIDs", (char*)"([Ljava/io/ObjectStreamField;[J[J)V",
                                   (void*)&JavaIoObjectStreamClass_getFieldIDs}};
  ASSERT_EQ(0, JNI_RegisterNative("objstream/ManyFields", bind, 1));
  jclass many = (jclass)ClassRef("objstream/ManyFields");
  jmethodID ids = fn->GetStaticMethodID(env, many, "ids", "([Ljava/io/ObjectStreamField;[J[J)V");
  ASSERT_NE(nullptr, ids);
  jclass oscClass = (jclass)ClassRef("java/io/ObjectStreamClass");
  jmethodID lookup = fn->GetStaticMethodID(env, oscClass, "lookup", "(Ljava/lang/Class;)Ljava/io/ObjectStreamClass;");
  jmethodID getFields = fn->GetMethodID(env, oscClass, "getFields", "()[Ljava/io/ObjectStreamField;");
  ASSERT_NE(nullptr, lookup);
  ASSERT_NE(nullptr, getFields);
  jobject desc = fn->CallStaticObjectMethod(env, oscClass, lookup, many);
  ASSERT_NE(nullptr, desc) << Taken();
  jobjectArray fields = (jobjectArray)fn->CallObjectMethod(env, desc, getFields);
  ASSERT_NE(nullptr, fields) << Taken();
  jsize n = fn->GetArrayLength(env, fields);
  ASSERT_EQ(380, n);
  jclass fieldClass = (jclass)ClassRef("java/io/ObjectStreamField");
  jfieldID nameId = fn->GetFieldID(env, fieldClass, "name", "Ljava/lang/String;");
  jfieldID typeId = fn->GetFieldID(env, fieldClass, "type", "C");
  jfieldID typeStringId = fn->GetFieldID(env, fieldClass, "typeString", "Ljava/lang/String;");
  jfieldID offsetId = fn->GetFieldID(env, fieldClass, "offset", "I");
  jfieldID reflectedId = fn->GetFieldID(env, fieldClass, "field", "Ljava/lang/reflect/Field;");
  ASSERT_TRUE(nameId && typeId && typeStringId && offsetId && reflectedId);
  jclass reflectedClass = (jclass)ClassRef("java/lang/reflect/Field");
  jfieldID clazzId = fn->GetFieldID(env, reflectedClass, "clazz", "Ljava/lang/Class;");
  ASSERT_NE(nullptr, clazzId);
  // The descriptor's reflected fields, as a library of that form keeps them; the slots
  // the offset form handed out are what the IDs must be.
  std::vector<jlong> wantPrimitive, wantObject;
  for (jsize i = 0; i < n; i++) {
    jobject f = fn->GetObjectArrayElement(env, fields, i);
    jchar code = fn->GetCharField(env, f, typeId);
    std::string name = Text(fn->GetObjectField(env, f, nameId));
    std::string sig = code == 'L' || code == '[' ? Text(fn->GetObjectField(env, f, typeStringId)) : std::string(1, (char)code);
    ASSERT_NE(nullptr, fn->GetFieldID(env, many, name.c_str(), sig.c_str())) << name << " " << sig;
    // The native reads only the reflected field's declaring class.
    jobject reflected = fn->AllocObject(env, reflectedClass);
    ASSERT_NE(nullptr, reflected) << Taken();
    fn->SetObjectField(env, reflected, clazzId, many);
    fn->SetObjectField(env, f, reflectedId, reflected);
    (code == 'L' || code == '[' ? wantObject : wantPrimitive).push_back(fn->GetIntField(env, f, offsetId));
    fn->DeleteLocalRef(env, reflected);
    fn->DeleteLocalRef(env, f);
  }
  ASSERT_EQ(250u, wantPrimitive.size());
  ASSERT_EQ(130u, wantObject.size());
  jlongArray prim = fn->NewLongArray(env, 250);
  jlongArray obj = fn->NewLongArray(env, 130);
  fn->CallStaticVoidMethod(env, many, ids, fields, prim, obj);
  ASSERT_EQ("", Taken());
  std::vector<jlong> got(250);
  fn->GetLongArrayRegion(env, prim, 0, 250, got.data());
  EXPECT_TRUE(got == wantPrimitive);
  got.resize(130);
  fn->GetLongArrayRegion(env, obj, 0, 130, got.data());
  EXPECT_TRUE(got == wantObject);
  std::set<jlong> distinct(wantPrimitive.begin(), wantPrimitive.end());
  distinct.insert(wantObject.begin(), wantObject.end());
  EXPECT_EQ(380u, distinct.size()) << "every field has a slot of its own";

  // A descriptor field without its reflected field, or one that names no field of the
  // class (another name, another type): no slot, -1.
  jobject first = fn->GetObjectArrayElement(env, fields, 0);
  fn->SetObjectField(env, first, reflectedId, nullptr);
  jobject second = fn->GetObjectArrayElement(env, fields, 1);
  fn->SetObjectField(env, second, nameId, Str("missing"));
  jobject last = fn->GetObjectArrayElement(env, fields, n - 1);
  fn->SetObjectField(env, last, typeStringId, Str("Ljava/lang/Thread;"));
  fn->CallStaticVoidMethod(env, many, ids, fields, prim, obj);
  ASSERT_EQ("", Taken());
  jlong edge[2];
  fn->GetLongArrayRegion(env, prim, 0, 2, edge);
  EXPECT_EQ(-1, edge[0]);
  EXPECT_EQ(-1, edge[1]);
  fn->GetLongArrayRegion(env, obj, 129, 1, edge);
  EXPECT_EQ(-1, edge[0]);

  // An empty descriptor touches nothing; arrays too short for the fields, or a null
  // element, raise the Java exception and store nothing past the end.
  jlongArray marks = fn->NewLongArray(env, 1);
  jlong mark = 77;
  fn->SetLongArrayRegion(env, marks, 0, 1, &mark);
  fn->CallStaticVoidMethod(env, many, ids, fn->NewObjectArray(env, 0, fieldClass, nullptr), marks, marks);
  EXPECT_EQ("", Taken());
  fn->GetLongArrayRegion(env, marks, 0, 1, edge);
  EXPECT_EQ(77, edge[0]);
  fn->CallStaticVoidMethod(env, many, ids, fields, marks, obj);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  fn->CallStaticVoidMethod(env, many, ids, fields, prim, marks);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Taken());
  fn->SetObjectArrayElement(env, fields, 5, nullptr);
  fn->CallStaticVoidMethod(env, many, ids, fields, prim, obj);
  EXPECT_EQ("java.lang.NullPointerException", Taken());
  fn->CallStaticVoidMethod(env, many, ids, nullptr, prim, obj);
  EXPECT_EQ("java.lang.NullPointerException", Taken());
}

/* The digest of the classes' default serial versions against digests of Python's
   hashlib: every length around the block and padding boundaries, bytes written singly,
   in runs and whole, and the digest starting afresh after each. */
TEST(SerialVersionDigestTest, IsSha1) {
  const struct {
    uint32_t length;
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
  std::vector<uint8_t> data(100000);
  for (size_t i = 0; i < data.size(); i++) data[i] = (uint8_t)(i * 31 + 7);
  javaio::Sha1 sha;
  for (const auto& d : kDigests) {
    for (uint32_t step : {1u, 7u, d.length}) {
      // Runs of step bytes, growing by 6 after the first when step is 7.
      for (uint32_t at = 0, n = step; at < d.length; at += n, n += step == 7 ? 6 : 0) {
        if (n > d.length - at) n = d.length - at;
        sha.Write(data.data() + at, n);
      }
      uint8_t digest[20];
      sha.Digest(digest);
      char hex[41];
      for (int i = 0; i < 20; i++) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
      EXPECT_STREQ(d.hex, hex) << d.length << " bytes in runs of " << step;
    }
  }
}

/* The session describes its classes, writes and reads them; its stream must name each
   class, and the superclass its subclass shares, by one description. Then, every
   reference let go, the loader goes at its drop: no description the library keeps
   holds it. */
TEST_F(ObjectStreamTest, AHostLoadersClassesAreDescribedOnceAStreamAndLetTheLoaderGo) {
  void* const id = (void*)0x5E55;
  refhost::SetClassPath(id, ClassDir());
  jint marks[3];
  fn->GetHighWaterMarks(env, marks);
  jobject loader = JNI_CreateClassLoaderLite(env, id);
  jclass session = fn->FindClassInLoaderId(env, "objstream/own/Session", id);
  ASSERT_NE(nullptr, session) << Taken();
  ASSERT_EQ((VMObject*)VMJniUnHandleClass(env, session)->GetClassLoader(), VMJniHandle::UnHandle(env, loader));
  EXPECT_EQ("Base 1, Leaf 1; true 1 2x 3", CallSession(id, "trip", "()Ljava/lang/String;")) << Taken();
  fn->DeleteRefs(env, marks, 0);
  int drops = DropUntilGone(id);
  EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(env, id)) << "the loader stayed after " << drops << " drops";
  refhost::SetClassPath(id, "");
}

/* A drop collects the machine to look for uses of the loader's classes, and again to let
   go of them. A loader whose classes went through a stream costs no more collections
   than one whose classes did not: the descriptions the machine keeps of them are emptied
   before the look's collection, which frees them, not found by the look and left for a
   look of their own. */
TEST_F(ObjectStreamTest, ALoaderWhoseClassesWentThroughAStreamIsDroppedWithNoMoreCollections) {
  void* const id = (void*)0x5E58;
  refhost::SetClassPath(id, ClassDir());
  uint32_t made[2][3];
  for (int round = 0; round < 3; round++) {
    for (int streamed = 0; streamed < 2; streamed++) {
      jint marks[3];
      fn->GetHighWaterMarks(env, marks);
      (void)JNI_CreateClassLoaderLite(env, id);
      if (streamed)
        EXPECT_EQ("Base 1, Leaf 1; true 1 2x 3", CallSession(id, "trip", "()Ljava/lang/String;")) << Taken();
      else
        EXPECT_EQ("1 2x", CallSession(id, "plain", "()Ljava/lang/String;")) << Taken();
      fn->DeleteRefs(env, marks, 0);
      const uint32_t before = jvm->vm->GetCollections();
      int drops = DropUntilGone(id);
      made[streamed][round] = jvm->vm->GetCollections() - before;
      ASSERT_EQ(nullptr, JNI_FindClassLoaderLite(env, id)) << "the loader stayed after " << drops << " drops";
    }
    EXPECT_EQ(made[0][round], made[1][round]) << "round " << round << ": collections of a drop without a stream, "
                                              << "then with one";
  }
  refhost::SetClassPath(id, "");
}

/* A host loader's class is described once for the loader, not once a stream: threads
   racing to describe the classes of a fresh loader all get one description each, which
   a stream then uses and later look-ups hand out again. The loader, whose table holds
   those descriptions, still goes at its drop, round after round under the same id (the
   next loader of the id starts from an empty table). */
TEST_F(ObjectStreamTest, AHostLoadersClassesAreDescribedOnceForTheLoaderWhichStillGoes) {
  void* const id = (void*)0x5E56;
  refhost::SetClassPath(id, ClassDir());
  for (int round = 0; round < 8; round++) {
    jint marks[3];
    fn->GetHighWaterMarks(env, marks);
    (void)JNI_CreateClassLoaderLite(env, id);
    EXPECT_EQ("same", CallSession(id, "describedOnce", "(I)Ljava/lang/String;", 4))
        << "round " << round << Taken();
    fn->DeleteRefs(env, marks, 0);
    int drops = DropUntilGone(id);
    ASSERT_EQ(nullptr, JNI_FindClassLoaderLite(env, id)) << "round " << round << ": the loader stayed after " << drops
                                                         << " drops";
  }
  refhost::SetClassPath(id, "");
}


/* A stream kept open over a drop of its loader: the stream names the loader's classes,
   so the drop is refused, but it empties the loader's table meanwhile. The stream then
   writes a Leaf, whose superclass Base it named before the drop: it must name Base by
   the description it named it by, not by one made anew for the emptied table. */
TEST_F(ObjectStreamTest, AStreamNamesAClassByOneDescriptionOverARefusedDrop) {
  void* const id = (void*)0x5E57;
  refhost::SetClassPath(id, ClassDir());
  jint marks[3];
  fn->GetHighWaterMarks(env, marks);
  (void)JNI_CreateClassLoaderLite(env, id);
  ASSERT_EQ("begun", CallSession(id, "begin", "()Ljava/lang/String;")) << Taken();
  jobject l = JNI_FindClassLoaderLite(env, id);
  ASSERT_NE(nullptr, l);
  JNI_DestroyClassLoaderLite(env, l);
  fn->DeleteLocalRef(env, l);
  ASSERT_NE(nullptr, JNI_FindClassLoaderLite(env, id)) << "the drop went with the stream open";
  EXPECT_EQ("Base 1, Leaf 1; 1 2x 3", CallSession(id, "finish", "()Ljava/lang/String;")) << Taken();
  fn->DeleteRefs(env, marks, 0);
  int drops = DropUntilGone(id);
  EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(env, id)) << "the loader stayed after " << drops << " drops";
  refhost::SetClassPath(id, "");
}

/* Host threads, each with a loader of its own, describe their loaders' classes at once,
   round after round (each round's loaders new, the last round's dropped): a loader's
   first description races the other loaders' into the machine's list of tables, and a
   look-up after it must hand back the description it made, never make another. */
TEST_F(ObjectStreamTest, LoadersDescribingAtOnceEachKeepTheirDescriptions) {
  const int kThreads = 8;
  const int rounds = stress ? 6 : 300;
  std::atomic<int> arrived{0};
  std::atomic<int> wrong{0};
  std::atomic<int> unattached{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    void* const id = (void*)(uintptr_t)(0x5E60 + t);
    refhost::SetClassPath(id, ClassDir());
    threads.emplace_back([&, id] {
      JNIEnv* e = nullptr;
      if (jvm->functions->AttachCurrentThread(jvm, &e, nullptr) != 0) {
        unattached++;
        return;
      }
      const JNINativeInterface_* f = e->functions;
      for (int round = 0; round < rounds; round++) {
        jint marks[3];
        f->GetHighWaterMarks(e, marks);
        (void)JNI_CreateClassLoaderLite(e, id);
        f->SetEnvUserWord(e, id);
        jclass session = f->FindClassInLoaderId(e, "objstream/own/Session", id);
        jmethodID m = session != nullptr ? f->GetStaticMethodID(e, session, "describedAgain", "()Ljava/lang/String;")
                                         : nullptr;
        // Every thread's loader ready before any describes: their first descriptions race.
        arrived++;
        OutsideAs(e, [&] {
          while (arrived.load() < kThreads * (round + 1)) std::this_thread::yield();
        });
        jobject answer = m != nullptr ? f->CallStaticObjectMethod(e, session, m) : nullptr;
        const char* chars = answer != nullptr ? f->GetStringUTFChars(e, (jstring)answer, nullptr) : nullptr;
        if (chars == nullptr || strcmp(chars, "same") != 0) {
          // A thrown exception (the list of tables mangled by a race) counts too.
          fprintf(stderr, "round %d, loader %p: %s\n", round, id, chars != nullptr ? chars : "thrown");
          wrong++;
        }
        if (chars != nullptr) f->ReleaseStringUTFChars(e, (jstring)answer, chars);
        f->ExceptionClear(e);
        f->SetEnvUserWord(e, nullptr);
        f->DeleteRefs(e, marks, 0);
        for (int drops = 0; drops < 20; drops++) {
          jobject l = JNI_FindClassLoaderLite(e, id);
          if (l == nullptr) break;
          JNI_DestroyClassLoaderLite(e, l);
          f->DeleteLocalRef(e, l);
        }
      }
      jvm->functions->DetachCurrentThread(jvm);
    });
  }
  OutsideAs(env, [&] {
    for (std::thread& t : threads) t.join();
  });
  EXPECT_EQ(0, unattached.load());
  EXPECT_EQ(0, wrong.load()) << "look-ups that made a description again";
  // Every loader went; the list of tables holds no more than the loaders of a round and
  // those dropped since (not every loader the rounds made), and still serves the system
  // loader's classes.
  for (int t = 0; t < kThreads; t++) EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(env, (void*)(uintptr_t)(0x5E60 + t)));
  jclass described = (jclass)ClassRef("java/io/ObjectStreamClass");
  jobjectArray root = (jobjectArray)fn->GetStaticObjectField(
      env, described, fn->GetStaticFieldID(env, described, "root", "[Ljava/lang/Object;"));
  ASSERT_NE(nullptr, root) << Taken();
  jobject tables = fn->GetObjectArrayElement(env, root, 0);
  EXPECT_LE(fn->GetArrayLength(env, (jarray)tables), 2 + 2 * kThreads);
  jmethodID lookup = fn->GetStaticMethodID(env, described, "lookup", "(Ljava/lang/Class;)Ljava/io/ObjectStreamClass;");
  EXPECT_NE(nullptr, fn->CallStaticObjectMethod(env, described, lookup, ClassRef("java/lang/String"))) << Taken();
  for (int t = 0; t < kThreads; t++) refhost::SetClassPath((void*)(uintptr_t)(0x5E60 + t), "");
}

}  // namespace
