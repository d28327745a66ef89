/* Field ids and the field accessors: how each type sits in its word or words, longs
   and doubles across the pieces of a body, the look-up order, static values per
   machine, and every argument an accessor refuses. */
#include <math.h>
#include <string.h>

#include "jnifunc_support.h"
#include "vmclass.h"
#include "vmjni_support.h"

namespace jnifunc_test {
namespace {

class FieldTest : public JniTest {
 protected:
  /* The body index of a field. */
  uint32_t Index(jfieldID id) { return (uint32_t)vmjni::UnHandleField(env, id)->GetIndex(); }
  VMword Word(jobject o, jfieldID id) { return Obj(o)->GetWord(Index(id)); }
  VMObject* Statics(const char* cls) { return world.Class(cls)->GetInitializedStaticData(world.vm); }
};

TEST_F(FieldTest, EachTypeSitsInItsWordAsJavaReadsIt) {
  jobject o = New("jnifunc/Values");
  jfieldID z = Field("jnifunc/Values", "z", "Z");
  jfieldID b = Field("jnifunc/Values", "b", "B");
  jfieldID c = Field("jnifunc/Values", "c", "C");
  jfieldID s = Field("jnifunc/Values", "s", "S");
  jfieldID i = Field("jnifunc/Values", "i", "I");
  jfieldID fl = Field("jnifunc/Values", "f", "F");
  f->SetByteField(env, o, b, -1);
  EXPECT_EQ(0xFFFFFFFFu, Word(o, b));
  f->SetShortField(env, o, s, -1);
  EXPECT_EQ(0xFFFFFFFFu, Word(o, s));
  f->SetBooleanField(env, o, z, 255);
  EXPECT_EQ(0xFFu, Word(o, z));
  f->SetCharField(env, o, c, 0xFFFF);
  EXPECT_EQ(0xFFFFu, Word(o, c));
  // Only the low bits count when reading.
  Obj(o)->SetWord(Index(z), 0x100);
  Obj(o)->SetWord(Index(b), 0x100);
  EXPECT_EQ(0, f->GetBooleanField(env, o, z));
  EXPECT_EQ(0, f->GetByteField(env, o, b));
  Obj(o)->SetWord(Index(c), 0x12345678);
  Obj(o)->SetWord(Index(s), 0x12348765);
  EXPECT_EQ(0x5678, f->GetCharField(env, o, c));
  EXPECT_EQ((jshort)0x8765, f->GetShortField(env, o, s));
  f->SetIntField(env, o, i, -5);
  EXPECT_EQ(-5, f->GetIntField(env, o, i));
  f->SetFloatField(env, o, fl, -0.0f);
  EXPECT_EQ(0x80000000u, Word(o, fl));
  EXPECT_TRUE(signbit(f->GetFloatField(env, o, fl)));
  // The Java side reads what was written.
  jmethodID hereI = Method("jnifunc/Values", "hereI", "(I)I");
  EXPECT_EQ(-4, f->CallIntMethod(env, o, hereI, 1));

  jfieldID j = Field("jnifunc/Values", "j", "J");
  jfieldID d = Field("jnifunc/Values", "d", "D");
  f->SetLongField(env, o, j, (jlong)0x1122334455667788LL);
  EXPECT_EQ(0x55667788u, Word(o, j));
  EXPECT_EQ(0x11223344u, Obj(o)->GetWord(Index(j) + 1));
  EXPECT_EQ((jlong)0x1122334455667788LL, f->GetLongField(env, o, j));
  f->SetDoubleField(env, o, d, -3.75e-200);
  EXPECT_EQ(-3.75e-200, f->GetDoubleField(env, o, d));

  // Objects: a new local reference, none for null.
  jfieldID l = Field("jnifunc/Values", "l", "Ljava/lang/Object;");
  jint before = Locals();
  EXPECT_EQ(nullptr, f->GetObjectField(env, o, l));
  EXPECT_EQ(before, Locals());
  jstring text = f->NewStringUTF(env, "kept");
  f->SetObjectField(env, o, l, text);
  jobject back = f->GetObjectField(env, o, l);
  EXPECT_NE(text, back);
  EXPECT_TRUE(f->IsSameObject(env, text, back));
  f->SetObjectField(env, o, l, NULL);
  EXPECT_EQ(0u, Word(o, l));
  EXPECT_EQ("", Thrown());
}

TEST_F(FieldTest, StaticFieldsOfEveryType) {
  jclass cls = Cls("jnifunc/Values");
  f->SetStaticBooleanField(env, cls, StaticField("jnifunc/Values", "sz", "Z"), 1);
  f->SetStaticByteField(env, cls, StaticField("jnifunc/Values", "sb", "B"), -100);
  f->SetStaticCharField(env, cls, StaticField("jnifunc/Values", "sc", "C"), 0xABCD);
  f->SetStaticShortField(env, cls, StaticField("jnifunc/Values", "ss", "S"), -300);
  f->SetStaticIntField(env, cls, StaticField("jnifunc/Values", "si", "I"), 1 << 30);
  f->SetStaticLongField(env, cls, StaticField("jnifunc/Values", "sj", "J"), -(1LL << 40));
  f->SetStaticFloatField(env, cls, StaticField("jnifunc/Values", "sf", "F"), 0.125f);
  f->SetStaticDoubleField(env, cls, StaticField("jnifunc/Values", "sd", "D"), 1e100);
  f->SetStaticObjectField(env, cls, StaticField("jnifunc/Values", "sl", "Ljava/lang/Object;"), cls);
  // The class handle is not read: null reads the id's class.
  EXPECT_EQ(1, f->GetStaticBooleanField(env, NULL, StaticField("jnifunc/Values", "sz", "Z")));
  EXPECT_EQ(-100, f->GetStaticByteField(env, NULL, StaticField("jnifunc/Values", "sb", "B")));
  EXPECT_EQ(0xABCD, f->GetStaticCharField(env, NULL, StaticField("jnifunc/Values", "sc", "C")));
  EXPECT_EQ(-300, f->GetStaticShortField(env, NULL, StaticField("jnifunc/Values", "ss", "S")));
  EXPECT_EQ(1 << 30, f->GetStaticIntField(env, NULL, StaticField("jnifunc/Values", "si", "I")));
  EXPECT_EQ(-(1LL << 40), f->GetStaticLongField(env, NULL, StaticField("jnifunc/Values", "sj", "J")));
  EXPECT_EQ(0.125f, f->GetStaticFloatField(env, NULL, StaticField("jnifunc/Values", "sf", "F")));
  EXPECT_EQ(1e100, f->GetStaticDoubleField(env, NULL, StaticField("jnifunc/Values", "sd", "D")));
  EXPECT_TRUE(f->IsSameObject(env, cls, f->GetStaticObjectField(env, NULL, StaticField("jnifunc/Values", "sl", "Ljava/lang/Object;"))));
  // Java sees them.
  EXPECT_EQ(-300, f->CallStaticShortMethod(env, cls, StaticMethod("jnifunc/Values", "echoS", "(S)S"), (int)f->GetStaticShortField(env, cls, StaticField("jnifunc/Values", "ss", "S"))));
  EXPECT_EQ("", Thrown());
}

/* A long at body word 195 keeps its high word in the first piece; one at the last word
   of a piece keeps it in the next piece. Neither touches its neighbours. */
TEST_F(FieldTest, LongsAndDoublesAcrossPieces) {
  jobject wide = f->AllocObject(env, Cls("jnifunc/gen/Wide"));
  jobject piece = f->AllocObject(env, Cls("jnifunc/gen/Piece"));
  ASSERT_NE(nullptr, wide);
  ASSERT_NE(nullptr, piece);
  jfieldID w = Field("jnifunc/gen/Wide", "w", "J");
  jfieldID wd = Field("jnifunc/gen/Wide", "wd", "D");
  jfieldID last = Field("jnifunc/gen/Wide", "p194", "I");
  ASSERT_EQ(195u, Index(w));
  ASSERT_EQ(197u, Index(wd));
  f->SetIntField(env, wide, last, 0x5A5A5A5A);
  f->SetLongField(env, wide, w, (jlong)0xCAFEF00DDEADBEEFULL);
  f->SetDoubleField(env, wide, wd, 2.5e-310);
  EXPECT_EQ((jlong)0xCAFEF00DDEADBEEFULL, f->GetLongField(env, wide, w));
  EXPECT_EQ(0xDEADBEEFu, Obj(wide)->GetWord(195));
  EXPECT_EQ(0xCAFEF00Du, Obj(wide)->GetWord(196));
  EXPECT_EQ(2.5e-310, f->GetDoubleField(env, wide, wd));
  EXPECT_EQ(0x5A5A5A5A, f->GetIntField(env, wide, last));

  jfieldID pw = Field("jnifunc/gen/Piece", "w", "J");
  jfieldID pwd = Field("jnifunc/gen/Piece", "wd", "D");
  jfieldID before = Field("jnifunc/gen/Piece", "p258", "I");
  jfieldID after = Field("jnifunc/gen/Piece", "q0", "I");
  ASSERT_EQ(259u, Index(pw));
  ASSERT_EQ(323u, Index(pwd));
  f->SetIntField(env, piece, before, 1);
  f->SetIntField(env, piece, after, 2);
  f->SetLongField(env, piece, pw, -2);
  f->SetDoubleField(env, piece, pwd, -0.0);
  EXPECT_EQ(-2, f->GetLongField(env, piece, pw));
  EXPECT_EQ(0xFFFFFFFEu, Obj(piece)->GetWord(259));
  EXPECT_EQ(0xFFFFFFFFu, Obj(piece)->GetWord(260));
  EXPECT_TRUE(signbit(f->GetDoubleField(env, piece, pwd)));
  EXPECT_EQ(0x80000000u, Obj(piece)->GetWord(324));
  EXPECT_EQ(1, f->GetIntField(env, piece, before));
  EXPECT_EQ(2, f->GetIntField(env, piece, after));

  // The same for statics: the static data is a body as well.
  jfieldID sw = StaticField("jnifunc/gen/Wide", "sw", "J");
  ASSERT_EQ(195u, Index(sw));
  f->SetStaticLongField(env, NULL, sw, (jlong)0x0102030405060708LL);
  EXPECT_EQ((jlong)0x0102030405060708LL, f->GetStaticLongField(env, NULL, sw));
  EXPECT_EQ(0x01020304u, Statics("jnifunc/gen/Wide")->GetWord(196));
  f->SetStaticDoubleField(env, NULL, StaticField("jnifunc/gen/Wide", "swd", "D"), 7.25);
  EXPECT_EQ(7.25, f->GetStaticDoubleField(env, NULL, StaticField("jnifunc/gen/Wide", "swd", "D")));
  EXPECT_EQ("", Thrown());
}

TEST_F(FieldTest, LookUpOrderAndKinds) {
  // One field has one id, whichever class it is looked up through.
  EXPECT_EQ(Field("jnifunc/Base", "made", "I"), Field("jnifunc/NoCtor", "made", "I"));
  EXPECT_EQ(Field("jnifunc/Base", "made", "I"), Field("jnifunc/Base", "made", "I"));
  // Another signature is not the field; no message.
  EXPECT_EQ(nullptr, f->GetFieldID(env, Cls("jnifunc/Base"), "made", "J"));
  EXPECT_EQ("java.lang.NoSuchFieldError", Thrown());
  EXPECT_EQ("", message);
  // The first match ends the search, whatever its kind.
  EXPECT_NE(nullptr, Field("jnifunc/Values", "i", "I"));
  EXPECT_EQ(nullptr, f->GetFieldID(env, Cls("jnifunc/Shadow"), "i", "I"));
  EXPECT_EQ("java.lang.NoSuchFieldError", Thrown());
  EXPECT_NE(nullptr, StaticField("jnifunc/Shadow", "i", "I"));
  EXPECT_EQ(nullptr, f->GetStaticFieldID(env, Cls("jnifunc/Values"), "i", "I"));
  EXPECT_EQ("java.lang.NoSuchFieldError", Thrown());
  // A constant of a superinterface: the interface is initialised by the look-up.
  jclass side = Cls("jnifunc/Side");
  jfieldID count = StaticField("jnifunc/Side", "count", "I");
  EXPECT_EQ(0, f->GetStaticIntField(env, side, count));
  jfieldID k = f->GetStaticFieldID(env, Cls("jnifunc/UsesKonst"), "K", "I");
  ASSERT_NE(nullptr, k);
  EXPECT_EQ(1, f->GetStaticIntField(env, side, count));
  EXPECT_EQ(77, f->GetStaticIntField(env, NULL, k));
  // Classes that are not read from class files, names that are no text: 0, nothing.
  EXPECT_EQ(nullptr, f->GetFieldID(env, f->GetObjectClass(env, f->NewIntArray(env, 1)), "length", "I"));
  EXPECT_EQ(nullptr, f->GetFieldID(env, VMJniHandle::NewLocal(env, (VMObject*)world.ns->GetClassList()->GetVMintClass()), "x", "I"));
  EXPECT_EQ(nullptr, f->GetFieldID(env, Cls("jnifunc/Values"), "\xE0\x80", "I"));
  EXPECT_EQ(nullptr, f->GetFieldID(env, Cls("jnifunc/Values"), NULL, "I"));
  EXPECT_EQ(nullptr, f->GetStaticFieldID(env, NULL, "si", "I"));
  EXPECT_EQ("", Thrown());
}

/* Static values are the machine's own: the first access in the second machine runs the
   initialiser there, and neither machine sees the other's values. */
TEST_F(FieldTest, TwoMachinesKeepTheirOwnStatics) {
  jclass cls = Cls("jnifunc/Flagged");
  jfieldID value = StaticField("jnifunc/Flagged", "value", "I");
  jfieldID inits = StaticField("jnifunc/Flagged", "inits", "I");
  f->SetStaticIntField(env, cls, value, 5);
  f->SetStaticIntField(env, cls, inits, 40);
  Machine second;
  ASSERT_TRUE(second.Create(world.ns));
  JNIEnv* e2 = second.env;
  const JNINativeInterface_* f2 = e2->functions;
  EXPECT_EQ(nullptr, world.Class("jnifunc/Flagged")->GetInitializedStaticData(second.vm));
  EXPECT_EQ(0, f2->GetStaticIntField(e2, NULL, value));
  EXPECT_EQ(1, f2->GetStaticIntField(e2, NULL, inits));
  f2->SetStaticIntField(e2, NULL, value, 6);
  EXPECT_EQ(6, f2->GetStaticIntField(e2, NULL, value));
  // Instance fields are the object's, whichever machine asks.
  jobject o = f2->AllocObject(e2, VMJniHandle::NewLocal(e2, Obj(cls)));
  f2->SetIntField(e2, o, Field("jnifunc/Flagged", "x", "I"), 3);
  EXPECT_EQ(3, f2->GetIntField(e2, o, Field("jnifunc/Flagged", "x", "I")));
  second.Destroy();
  refhost::Functions()->AttachThreadEnv(world.jvm, env);
  refhost::Functions()->SetCurrentEnv(env);
  EXPECT_EQ(5, f->GetStaticIntField(env, cls, value));
  EXPECT_EQ(40, f->GetStaticIntField(env, cls, inits));
}

/* Every accessor checks what it is given before it touches a word. */
TEST_F(FieldTest, AccessorsRefuseWhatDoesNotFit) {
  jobject o = New("jnifunc/Values");
  jfieldID i = Field("jnifunc/Values", "i", "I");
  jfieldID l = Field("jnifunc/Values", "l", "Ljava/lang/Object;");
  jfieldID str = Field("jnifunc/Values", "str", "Ljava/lang/String;");
  jfieldID si = StaticField("jnifunc/Values", "si", "I");
  f->SetIntField(env, o, i, 9);

  EXPECT_EQ(0, f->GetIntField(env, NULL, i));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  f->SetIntField(env, NULL, i, 1);
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  EXPECT_EQ(0, f->GetIntField(env, o, NULL));
  EXPECT_EQ("java.lang.NoSuchFieldError", Thrown());
  EXPECT_EQ(0, f->GetStaticIntField(env, NULL, NULL));
  EXPECT_EQ("java.lang.NoSuchFieldError", Thrown());
  // A method id, a class handle or a stale id is no field id.
  EXPECT_EQ(0, f->GetIntField(env, o, (jfieldID)Method("jnifunc/Values", "hereV", "()V")));
  EXPECT_EQ("java.lang.NoSuchFieldError", Thrown());
  EXPECT_EQ(0, f->GetIntField(env, o, (jfieldID)Cls("jnifunc/Values")));
  EXPECT_EQ("java.lang.NoSuchFieldError", Thrown());
  EXPECT_EQ(0, f->GetIntField(env, o, (jfieldID)(uintptr_t)0x2FFFFFF0));
  EXPECT_EQ("java.lang.NoSuchFieldError", Thrown());
  // Static id on an instance accessor and the other way round.
  EXPECT_EQ(0, f->GetIntField(env, o, si));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  EXPECT_EQ(0, f->GetStaticIntField(env, NULL, i));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  // The accessor's type is the field's: an int written into a reference field would be
  // followed by the collector, a reference into an int field hidden from it.
  f->SetIntField(env, o, l, 0x1234);
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  f->SetObjectField(env, o, i, o);
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  EXPECT_EQ(0, f->GetLongField(env, o, i));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  f->SetDoubleField(env, o, i, 1.0);
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  EXPECT_EQ(9, f->GetIntField(env, o, i));
  EXPECT_EQ(0u, Word(o, l));
  // A field of another class on this object would lie past its body.
  jobject s = f->NewStringUTF(env, "a string");
  EXPECT_EQ(0, f->GetIntField(env, s, i));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  f->SetIntField(env, f->NewIntArray(env, 1), i, 5);
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  f->SetIntField(env, (jobject)i, i, 5);
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  // A reference field takes only objects of its type.
  f->SetObjectField(env, o, str, f->NewIntArray(env, 2));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  EXPECT_EQ(0u, Word(o, str));
  f->SetObjectField(env, o, str, s);
  f->SetObjectField(env, o, l, f->NewIntArray(env, 2));
  EXPECT_EQ("", Thrown());
  EXPECT_TRUE(f->IsSameObject(env, s, f->GetObjectField(env, o, str)));
  EXPECT_EQ(8, f->CallStaticIntMethod(env, NULL, StaticMethod("jnifunc/Values", "length", "(Ljava/lang/String;)I"),
                                      f->GetObjectField(env, o, str)));
}

TEST_F(FieldTest, TheMachinesOwnDaemonReadIsQuiet) {
  jobject o = New("jnifunc/Values");
  ASSERT_EQ(0, VMJniThrowInternal(env, VMStatus_ArithmeticException, "kept"));
  EXPECT_EQ(0, VMJniGetBooleanField(env, o, NULL));
  EXPECT_EQ("java.lang.ArithmeticException", Thrown());
  jfieldID z = Field("jnifunc/Values", "z", "Z");
  f->SetBooleanField(env, o, z, 1);
  EXPECT_EQ(1, VMJniGetBooleanField(env, o, (void*)z));
}

}  // namespace
}  // namespace jnifunc_test
