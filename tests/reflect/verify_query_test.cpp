/* The queries by index that a class-file verifier outside the machine makes, over a class
   built byte by byte: its constant pool holds every kind of entry (a long and a double
   with their second slots, resolved and unresolved classes, member references of each
   kind), its methods have code, handlers, an Exceptions list, or no code at all. */
#include <string.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "classfile_support.h"
#include "natives_support.h"
#include "vmconstantpool.h"
#include "vmjvm.h"

using classfile_test::Bytes;
using classfile_test::ClassBuilder;
using natives_test::Machine;

namespace {

/* The pool indices the test reads, as the builder handed them out. */
struct Pool {
  uint16_t longValue, doubleValue, integer, floatValue, string, nameAndType;
  uint16_t fixtureClass, missingClass;
  uint16_t fieldRef, missingFieldRef, fieldOfMissingClass;
  uint16_t methodRef, missingMethodRef, interfaceMethodRef;
  uint16_t ioException;
};

Bytes Sample(Pool* p) {
  ClassBuilder b;
  b.thisClass = b.Class("vq/Sample");
  b.superClass = b.Class("java/lang/Object");
  b.access = 0x421;  // public abstract super
  p->longValue = b.Long(0x0123456789ABCDEFull);
  p->doubleValue = b.Double(0x400921FB54442D18ull);
  p->integer = b.Integer(42);
  p->floatValue = b.Float(0x3FC00000u);
  p->string = b.String("text");
  p->nameAndType = b.NameAndType("i", "I");
  p->fixtureClass = b.Class("reflect/Fixture");
  p->missingClass = b.Class("vq/Missing");
  p->fieldRef = b.Ref(9, "reflect/Fixture", "i", "I");
  p->missingFieldRef = b.Ref(9, "reflect/Fixture", "nothing", "I");
  p->fieldOfMissingClass = b.Ref(9, "vq/Missing", "x", "I");
  p->methodRef = b.Ref(10, "reflect/Fixture", "getI", "()I");
  p->missingMethodRef = b.Ref(10, "reflect/Fixture", "getI", "()J");
  p->interfaceMethodRef = b.Ref(11, "reflect/Marked", "describe", "()Ljava/lang/String;");
  p->ioException = b.Class("java/io/IOException");
  b.AddField(0x0002, "a", "I");
  b.AddField(0x0019, "b", "J");
  b.AddDefaultConstructor();
  // static m(JI)V: 0 nop, 1 return, 2 pop (a handler over 0-1 for IOException), 3 return.
  Bytes code = {0x00, 0xB1, 0x57, 0xB1};
  Bytes exceptions;
  classfile_test::Put2(exceptions, 1);
  classfile_test::Put2(exceptions, p->ioException);
  b.AddMethod(0x0009, "m", "(JI)V",
              {{b.Utf8("Code"), b.Code(1, 3, code, {0, 1, 2, p->ioException})}, {b.Utf8("Exceptions"), exceptions}});
  b.AddMethod(0x0401, "n", "(JI)V");
  b.AddMethod(0x0101, "nat", "()V");
  b.AddMethod(0x0008, "<clinit>", "()V", {b.CodeAttribute(0, 0, {0xB1})});
  return b.Build();
}

class VerifyQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = classfile_test::TempDir("verifyquery");
    ASSERT_EQ(0, mkdir((dir + "/vq").c_str(), 0777));
    ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/vq/Sample.class", Sample(&pool)));
    ASSERT_TRUE(m.Create(1, "reflect"));
    refhost::SetClassPath(nullptr, dir + ":" + refhost::GetClassPath(nullptr));
    VMClass* cls = VMClass::FindSystemClass(m.ns, "vq/Sample");
    ASSERT_NE(nullptr, cls);
    ASSERT_EQ(0, ((VMLoadableClass*)cls)->Prepare(nullptr));
    sample = m.Local((VMObject*)cls);
    intClass = m.Local((VMObject*)m.ns->GetClassList()->GetVMintClass());
  }
  void TearDown() override {
    m.Destroy();
    classfile_test::RemoveTree(dir);
  }
  /* A returned text, given back; "<null>" for none. */
  std::string Take(const char* text) {
    std::string s = text != nullptr ? text : "<null>";
    JVM_ReleaseUTF(text);
    return s;
  }
  /* The index of a declared method by name. */
  jint Method(const char* name) {
    for (jint i = 0; i < JVM_GetClassMethodsCount(m.env, sample); i++)
      if (Take(JVM_GetMethodIxNameUTF(m.env, sample, i)) == name) return i;
    return -1;
  }

  Machine m;
  std::string dir;
  Pool pool;
  jclass sample = nullptr;
  jclass intClass = nullptr;
};

TEST_F(VerifyQueryTest, FieldsAndMethodsByIndex) {
  EXPECT_EQ("vq/Sample", Take(JVM_GetClassNameUTF(m.env, sample)));
  EXPECT_EQ(2, JVM_GetClassFieldsCount(m.env, sample));
  // Constructors and the initialiser count.
  EXPECT_EQ(5, JVM_GetClassMethodsCount(m.env, sample));
  EXPECT_EQ(0x2, JVM_GetFieldIxModifiers(m.env, sample, 0));
  EXPECT_EQ(0x19, JVM_GetFieldIxModifiers(m.env, sample, 1));
  for (jint bad : {2, -1, 0x7FFFFFFF, (jint)0x80000000}) {
    EXPECT_EQ(0, JVM_GetFieldIxModifiers(m.env, sample, bad));
    EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException()) << bad;
  }
  for (jint bad : {5, -1, 0x7FFFFFFF, (jint)0x80000000}) {
    EXPECT_EQ(0, JVM_GetMethodIxModifiers(m.env, sample, bad));
    EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException()) << bad;
    EXPECT_EQ("<null>", Take(JVM_GetMethodIxNameUTF(m.env, sample, bad)));
    EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException()) << bad;
    EXPECT_EQ(0, JVM_GetMethodIxArgsSize(m.env, sample, bad));
    EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException()) << bad;
  }
  jint init = Method("<init>"), clinit = Method("<clinit>"), mm = Method("m"), n = Method("n"), nat = Method("nat");
  ASSERT_TRUE(init >= 0 && clinit >= 0 && mm >= 0 && n >= 0 && nat >= 0);
  EXPECT_TRUE(JVM_IsConstructorIx(m.env, sample, init));
  EXPECT_FALSE(JVM_IsConstructorIx(m.env, sample, clinit));
  EXPECT_EQ("(JI)V", Take(JVM_GetMethodIxSignatureUTF(m.env, sample, mm)));
  EXPECT_EQ(0x9, JVM_GetMethodIxModifiers(m.env, sample, mm));
  EXPECT_EQ(0x401, JVM_GetMethodIxModifiers(m.env, sample, n));
  // Parameter words, the receiver of an instance method included.
  EXPECT_EQ(3, JVM_GetMethodIxArgsSize(m.env, sample, mm));
  EXPECT_EQ(4, JVM_GetMethodIxArgsSize(m.env, sample, n));
  EXPECT_EQ(1, JVM_GetMethodIxArgsSize(m.env, sample, nat));
  // Code, its limits and handlers.
  EXPECT_EQ(4, JVM_GetMethodIxByteCodeLength(m.env, sample, mm));
  unsigned char code[8];
  memset(code, 0xEE, sizeof code);
  JVM_GetMethodIxByteCode(m.env, sample, mm, code);
  EXPECT_EQ(0, memcmp(code, "\x00\xB1\x57\xB1\xEE", 5));
  EXPECT_EQ(3, JVM_GetMethodIxLocalsCount(m.env, sample, mm));
  EXPECT_EQ(1, JVM_GetMethodIxMaxStack(m.env, sample, mm));
  EXPECT_EQ(1, JVM_GetMethodIxExceptionTableLength(m.env, sample, mm));
  JVMExceptionTableEntry entry = {-1, -1, -1, -1};
  JVM_GetMethodIxExceptionTableEntry(m.env, sample, mm, 0, &entry);
  EXPECT_EQ(0, entry.start_pc);
  EXPECT_EQ(1, entry.end_pc);
  EXPECT_EQ(2, entry.handler_pc);
  EXPECT_EQ(pool.ioException, entry.catchType);
  JVM_GetMethodIxExceptionTableEntry(m.env, sample, mm, 1, &entry);
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  EXPECT_EQ(1, JVM_GetMethodIxExceptionsCount(m.env, sample, mm));
  unsigned short thrown[2] = {0xEEEE, 0xEEEE};
  JVM_GetMethodIxExceptionIndexes(m.env, sample, mm, thrown);
  EXPECT_EQ(pool.ioException, thrown[0]);
  EXPECT_EQ(0xEEEE, thrown[1]);
  // Methods without code: no code, no locals or stack of their own, no handlers; the
  // buffer is left alone.
  for (jint none : {n, nat}) {
    EXPECT_EQ(0, JVM_GetMethodIxByteCodeLength(m.env, sample, none));
    memset(code, 0xEE, sizeof code);
    JVM_GetMethodIxByteCode(m.env, sample, none, code);
    EXPECT_EQ(0xEE, code[0]);
    EXPECT_EQ(0, JVM_GetMethodIxLocalsCount(m.env, sample, none));
    EXPECT_EQ(0, JVM_GetMethodIxMaxStack(m.env, sample, none));
    EXPECT_EQ(0, JVM_GetMethodIxExceptionTableLength(m.env, sample, none));
    EXPECT_EQ(0, JVM_GetMethodIxExceptionsCount(m.env, sample, none));
  }
  EXPECT_EQ("", m.TakeException());
}

TEST_F(VerifyQueryTest, ConstantPoolEntriesOfEveryKind) {
  const jint count = JVM_GetClassCPEntriesCount(m.env, sample);
  ASSERT_GT(count, pool.ioException);
  std::vector<unsigned char> types(count + 1, 0xEE);
  JVM_GetClassCPTypes(m.env, sample, types.data());
  EXPECT_EQ(0xEE, types[0]);  // entry 0 is not written
  EXPECT_EQ(0xEE, types[count]);
  EXPECT_EQ(5, types[pool.longValue]);
  EXPECT_EQ(0, types[pool.longValue + 1]);
  EXPECT_EQ(6, types[pool.doubleValue]);
  EXPECT_EQ(0, types[pool.doubleValue + 1]);
  EXPECT_EQ(3, types[pool.integer]);
  EXPECT_EQ(4, types[pool.floatValue]);
  EXPECT_EQ(8, types[pool.string]);
  EXPECT_EQ(12, types[pool.nameAndType]);
  EXPECT_EQ(7, types[pool.fixtureClass]);
  EXPECT_EQ(9, types[pool.fieldRef]);
  EXPECT_EQ(10, types[pool.methodRef]);
  EXPECT_EQ(11, types[pool.interfaceMethodRef]);

  // A Class entry's name; asking for it loads and initialises nothing, and its type
  // reads the same before and after.
  EXPECT_EQ("reflect/Fixture", Take(JVM_GetCPClassNameUTF(m.env, sample, pool.fixtureClass)));
  EXPECT_EQ("vq/Missing", Take(JVM_GetCPClassNameUTF(m.env, sample, pool.missingClass)));
  EXPECT_EQ("", m.TakeException());
  JVM_GetClassCPTypes(m.env, sample, types.data());
  EXPECT_EQ(7, types[pool.fixtureClass]);

  // Member references, without resolving them.
  EXPECT_EQ("reflect/Fixture", Take(JVM_GetCPFieldClassNameUTF(m.env, sample, pool.fieldRef)));
  EXPECT_EQ("I", Take(JVM_GetCPFieldSignatureUTF(m.env, sample, pool.fieldRef)));
  EXPECT_EQ("reflect/Fixture", Take(JVM_GetCPMethodClassNameUTF(m.env, sample, pool.methodRef)));
  EXPECT_EQ("getI", Take(JVM_GetCPMethodNameUTF(m.env, sample, pool.methodRef)));
  EXPECT_EQ("()I", Take(JVM_GetCPMethodSignatureUTF(m.env, sample, pool.methodRef)));
  EXPECT_EQ("reflect/Marked", Take(JVM_GetCPMethodClassNameUTF(m.env, sample, pool.interfaceMethodRef)));
  EXPECT_EQ("describe", Take(JVM_GetCPMethodNameUTF(m.env, sample, pool.interfaceMethodRef)));
  EXPECT_EQ("", m.TakeException());

  // Index 0, a long's second slot, past the end, negative, and an entry of another kind:
  // refused, never read as a class or member.
  const jint wrongForClass[] = {0, pool.longValue, pool.longValue + 1, pool.doubleValue + 1, pool.fieldRef,
                                pool.string, pool.nameAndType, count, -1};
  for (jint i : wrongForClass) {
    EXPECT_EQ("<null>", Take(JVM_GetCPClassNameUTF(m.env, sample, i))) << i;
    EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException()) << i;
  }
  const jint wrongForMember[] = {0, pool.longValue + 1, pool.fixtureClass, pool.integer, pool.nameAndType, count};
  for (jint i : wrongForMember) {
    EXPECT_EQ("<null>", Take(JVM_GetCPFieldClassNameUTF(m.env, sample, i))) << i;
    EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException()) << i;
    EXPECT_EQ("<null>", Take(JVM_GetCPMethodNameUTF(m.env, sample, i))) << i;
    EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException()) << i;
    EXPECT_EQ(0, JVM_GetCPMethodModifiers(m.env, sample, i, nullptr)) << i;
    EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException()) << i;
  }
  // A field query on a method reference, and the other way round.
  EXPECT_EQ("<null>", Take(JVM_GetCPFieldSignatureUTF(m.env, sample, pool.methodRef)));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  EXPECT_EQ(0, JVM_GetCPFieldModifiers(m.env, sample, pool.interfaceMethodRef, nullptr));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  EXPECT_EQ("<null>", Take(JVM_GetCPMethodSignatureUTF(m.env, sample, pool.fieldRef)));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
}

TEST_F(VerifyQueryTest, ModifiersOfReferencedMembers) {
  EXPECT_EQ(0x1, JVM_GetCPFieldModifiers(m.env, sample, pool.fieldRef, nullptr));
  EXPECT_EQ(0x1, JVM_GetCPMethodModifiers(m.env, sample, pool.methodRef, nullptr));
  EXPECT_EQ(0x401, JVM_GetCPMethodModifiers(m.env, sample, pool.interfaceMethodRef, nullptr));
  EXPECT_EQ("", m.TakeException());
  EXPECT_EQ(0, JVM_GetCPFieldModifiers(m.env, sample, pool.missingFieldRef, nullptr));
  EXPECT_EQ("java.lang.NoSuchFieldError", m.TakeException());
  EXPECT_EQ(0, JVM_GetCPMethodModifiers(m.env, sample, pool.missingMethodRef, nullptr));
  EXPECT_EQ("java.lang.NoSuchMethodError", m.TakeException());
  EXPECT_EQ(0, JVM_GetCPFieldModifiers(m.env, sample, pool.fieldOfMissingClass, nullptr));
  EXPECT_EQ("java.lang.NoClassDefFoundError", m.TakeException());
}

TEST_F(VerifyQueryTest, PrimitiveClassesAndPackages) {
  EXPECT_EQ("int", Take(JVM_GetClassNameUTF(m.env, intClass)));
  EXPECT_EQ(0, JVM_GetClassFieldsCount(m.env, intClass));
  EXPECT_EQ(0, JVM_GetClassMethodsCount(m.env, intClass));
  EXPECT_EQ(0, JVM_GetClassCPEntriesCount(m.env, intClass));
  EXPECT_EQ(0, JVM_GetMethodIxModifiers(m.env, intClass, 0));
  EXPECT_EQ(0, JVM_GetFieldIxModifiers(m.env, intClass, 0));
  EXPECT_EQ(0, JVM_GetMethodIxArgsSize(m.env, intClass, 0));
  EXPECT_EQ("<null>", Take(JVM_GetMethodIxNameUTF(m.env, intClass, 0)));
  EXPECT_EQ("<null>", Take(JVM_GetCPClassNameUTF(m.env, intClass, 1)));
  EXPECT_EQ(0, JVM_GetCPFieldModifiers(m.env, intClass, 1, nullptr));
  unsigned char types[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  JVM_GetClassCPTypes(m.env, intClass, types);
  EXPECT_EQ(0xEE, types[1]);
  EXPECT_FALSE(JVM_IsConstructorIx(m.env, intClass, 0));
  EXPECT_FALSE(JVM_IsSameClassPackage(m.env, sample, intClass));
  EXPECT_EQ("", m.TakeException());
  EXPECT_EQ(0, JVM_GetClassMethodsCount(m.env, nullptr));
  EXPECT_EQ("<null>", Take(JVM_GetClassNameUTF(m.env, nullptr)));
  jclass fixture = m.Local((VMObject*)m.Class("reflect/Fixture"));
  jclass base = m.Local((VMObject*)m.Class("reflect/FixtureBase"));
  jclass string = m.Local((VMObject*)m.Class("java/lang/String"));
  EXPECT_TRUE(JVM_IsSameClassPackage(m.env, fixture, base));
  EXPECT_FALSE(JVM_IsSameClassPackage(m.env, fixture, string));
  EXPECT_FALSE(JVM_IsSameClassPackage(m.env, sample, fixture));
  EXPECT_EQ("", m.TakeException());
}

/* The interface version is not given: the query says so in the log and as InternalError,
   and the host's process goes on. */
TEST_F(VerifyQueryTest, TheInterfaceVersionIsNotImplementedAndEndsNothing) {
  refhost::SetCapture(true);
  EXPECT_EQ(0, JVM_GetInterfaceVersion());
  EXPECT_NE(std::string::npos, refhost::CapturedLog().find("nyi: JVM_GetInterfaceVersion\n"));
  natives_test::Outcome out;
  EXPECT_EQ("java.lang.InternalError", m.TakeException(&out));
  EXPECT_EQ("nyi: JVM_GetInterfaceVersion", out.message);
  EXPECT_EQ(0, refhost::FatalExitCount());
}

}  // namespace
