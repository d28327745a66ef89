/* The hand-made classes of the verifier tests, in jasmin: each invalid one breaks one rule
   and must be refused with VerifyError; each valid one is a shape that a careless rule
   would refuse. "$C" stands for the class's own name. Every class gets the fields
   `public int x` and `public Object r` and nothing else besides its methods. */
#ifndef PUX_TESTS_VERIFIER_CORPUS_H
#define PUX_TESTS_VERIFIER_CORPUS_H

namespace verifier_test {

struct CorpusCase {
  const char* name;
  /* What refuses it: "flow" (flow analysis, before the verifier), "kinds" (the kind walk),
     "types" (the type walk); "ok" for a valid case. */
  const char* stage;
  /* What the method does wrong (or, for a valid case, what it shows). */
  const char* why;
  /* The methods. */
  const char* methods;
};

/* Refused: return addresses and subroutines. */
const CorpusCase kSubroutineCases[] = {
    {"RaScalar", "flow", "ret through a local holding a return address on one path and an int on the other",
     R"(.method public static f(I)V
  .limit stack 1
  .limit locals 2
  jsr S
  return
S:
  astore_1
  iload_0
  ifeq R
  iload_0
  istore_1
R:
  ret 1
.end method
)"},
    {"RaRef", "flow", "ret through a local holding a return address on one path and a String on the other",
     R"(.method public static f(I)V
  .limit stack 1
  .limit locals 2
  jsr S
  return
S:
  astore_1
  iload_0
  ifeq R
  ldc "x"
  astore_1
R:
  ret 1
.end method
)"},
    {"RaStack", "flow", "an int on the stack joins the return address at a subroutine's entry",
     R"(.method public static f(I)V
  .limit stack 1
  .limit locals 2
  iload_0
  ifne B
  jsr S
  return
B:
  bipush 100
  goto S
S:
  astore_1
  ret 1
.end method
)"},
    {"StaleRa", "flow", "a subroutine returns through another subroutine's stale return address",
     R"(.method public static f()V
  .limit stack 2
  .limit locals 4
  iconst_1
  newarray int
  astore_1
  jsr S
  aload_1
  arraylength
  pop
  goto X
S:
  dup
  astore_2
  astore_3
  ret 2
X:
  ldc 1094795585
  istore_1
  jsr T
  return
T:
  pop
  ret 3
.end method
)"},
    {"SubHandler", "kinds", "a handler inside a subroutine writes an int into a local read as an array after the return",
     R"(.method public static f(I)V
  .limit stack 1
  .limit locals 3
  aconst_null
  astore_1
  jsr S
  aload_1
  arraylength
  pop
  return
S:
  astore_2
  iload_0
  ifeq R
T0:
  aconst_null
  athrow
T1:
H:
  pop
  iconst_5
  istore_1
R:
  ret 2
  .catch all from T0 to T1 using H
.end method
)"},
    {"RecursiveJsr", "flow", "a subroutine calls itself",
     R"(.method public static f()V
  .limit stack 1
  .limit locals 2
  jsr S
  return
S:
  astore_1
  jsr S
  ret 1
.end method
)"},
    {"GotoIntoSub", "flow", "main code jumps into a subroutine, to a ret through a copy of the return address the subroutine returned through before, so the return point runs again with an int where the jsr left a String",
     R"(.method public static f()I
  .limit stack 2
  .limit locals 4
  ldc "s"
  astore_3
  jsr S
  aload_3
  invokevirtual java/lang/String/length()I
  pop
  ldc 1094795585
  istore_3
  goto L
S:
  dup
  astore_1
  astore_2
  iconst_0
  ifne L
  ret 1
L:
  ret 2
.end method
)"},
    {"RetAfterReturn", "flow", "ret through a local that once held a return address and was used up by an earlier ret",
     R"(.method public static f()V
  .limit stack 1
  .limit locals 2
  jsr S
  ret 1
S:
  astore_1
  ret 1
.end method
)"},
};

/* Refused: falling off the end and the shape of the code. */
const CorpusCase kShapeCases[] = {
    {"FallConst", "flow", "the code ends in iconst_0 and runs on past it",
     R"(.method public static f()V
  .limit stack 1
  .limit locals 0
  iconst_0
.end method
)"},
    {"FallNop", "flow", "the code ends in nop",
     R"(.method public static f()V
  .limit stack 1
  .limit locals 0
  nop
.end method
)"},
    {"FallCall", "flow", "the code ends in a call of a void method",
     R"(.method public static f()V
  .limit stack 1
  .limit locals 0
  invokestatic java/lang/System/gc()V
.end method
)"},
    {"BadName", "kinds", "a method named <foo> with code",
     R"(.method public static <foo>()V
  .limit stack 1
  .limit locals 0
  return
.end method
)"},
};

/* Refused: classes, arrays and objects not yet made (the type walk). */
const CorpusCase kTypeCases[] = {
    {"WrongClass", "types", "getfield of this class's int field on a plain Object (reads past a body of no words)",
     R"(.method public static f()I
  .limit stack 2
  .limit locals 0
  new java/lang/Object
  dup
  invokespecial java/lang/Object/<init>()V
  getfield $C/x I
  ireturn
.end method
)"},
    {"PutRefWrongClass", "types", "putfield of this class's field on a String",
     R"(.method public static f()V
  .limit stack 2
  .limit locals 0
  ldc "s"
  ldc "t"
  putfield $C/r Ljava/lang/Object;
  return
.end method
)"},
    {"Forge", "types", "an int stored into an int[] read back as a reference with aaload",
     R"(.method public static f()Ljava/lang/Object;
  .limit stack 4
  .limit locals 0
  iconst_1
  newarray int
  dup
  iconst_0
  ldc 1094795585
  iastore
  iconst_0
  aaload
  areturn
.end method
)"},
    {"Overread", "types", "iaload on a byte[] of 4 (reads four bytes per element)",
     R"(.method public static f()I
  .limit stack 2
  .limit locals 0
  iconst_4
  newarray byte
  iconst_3
  iaload
  ireturn
.end method
)"},
    {"Overwrite", "types", "lastore into an int[] (writes eight bytes per element)",
     R"(.method public static f()V
  .limit stack 5
  .limit locals 0
  iconst_2
  newarray int
  iconst_1
  lconst_1
  lastore
  return
.end method
)"},
    {"VcallWrong", "types", "invokevirtual of a String method on a plain Object",
     R"(.method public static f()I
  .limit stack 2
  .limit locals 0
  new java/lang/Object
  dup
  invokespecial java/lang/Object/<init>()V
  invokevirtual java/lang/String/length()I
  ireturn
.end method
)"},
    {"ThrowString", "types", "athrow of a String",
     R"(.method public static f()V
  .limit stack 1
  .limit locals 0
  ldc "x"
  athrow
.end method
)"},
    {"AreturnWrong", "types", "areturn of a String from a method declared to return Integer",
     R"(.method public static f()Ljava/lang/Integer;
  .limit stack 1
  .limit locals 0
  ldc "x"
  areturn
.end method
)"},
    {"UninitClass", "types", "a java/lang/Class made by new, used without a constructor",
     R"(.method public static f()Ljava/lang/String;
  .limit stack 2
  .limit locals 0
  new java/lang/Class
  invokevirtual java/lang/Class/getName()Ljava/lang/String;
  areturn
.end method
)"},
    {"NoSuper", "types", "a constructor returns without calling its superclass's",
     R"(.method public <init>()V
  .limit stack 1
  .limit locals 1
  return
.end method
)"},
    {"PrivCall", "types", "invokespecial of another class's constructor on an object made as java/lang/Object",
     R"(.method public static f()V
  .limit stack 2
  .limit locals 0
  new java/lang/Object
  invokespecial java/lang/reflect/Field/<init>()V
  return
.end method
)"},
    {"UseUninit", "types", "a method called on an object whose constructor has not run",
     R"(.method public static f()V
  .limit stack 2
  .limit locals 0
  new $C
  invokevirtual $C/toString()Ljava/lang/String;
  pop
  return
.end method
)"},
    {"SpecialOther", "types", "invokespecial of a method of a class that is not a superclass",
     R"(.method public static f(Ljava/lang/String;)I
  .limit stack 2
  .limit locals 1
  aload_0
  invokespecial java/lang/String/hashCode()I
  ireturn
.end method
)"},
    {"ArgWrongClass", "types", "a String passed where a StringBuffer is declared",
     R"(.method public static f()Ljava/lang/StringBuffer;
  .limit stack 2
  .limit locals 0
  new java/lang/StringBuffer
  dup
  invokespecial java/lang/StringBuffer/<init>()V
  ldc "x"
  invokevirtual java/lang/StringBuffer/append(Ljava/lang/StringBuffer;)Ljava/lang/StringBuffer;
  areturn
.end method
)"},
    {"MergeConfusion", "types", "a String and an int[] joined at a merge, then used as the int[]",
     R"(.method public static f(I)I
  .limit stack 2
  .limit locals 2
  iload_0
  ifeq A
  ldc "s"
  astore_1
  goto J
A:
  iconst_3
  newarray int
  astore_1
J:
  aload_1
  iconst_0
  iaload
  ireturn
.end method
)"},
    {"UninitTwice", "types", "the first object of a new site left in a local across a loop, while the second one is made",
     R"(.method public static f()Ljava/lang/Object;
  .limit stack 2
  .limit locals 2
  iconst_0
  istore_0
  aconst_null
  astore_1
L:
  new java/lang/Object
  iload_0
  ifne D
  astore_1
  iconst_1
  istore_0
  goto L
D:
  invokespecial java/lang/Object/<init>()V
  aload_1
  areturn
.end method
)"},
    {"UninitAcrossJsr", "types", "an object without its constructor alive across a jsr",
     R"(.method public static f()Ljava/lang/Object;
  .limit stack 3
  .limit locals 2
  new java/lang/Object
  jsr S
  dup
  invokespecial java/lang/Object/<init>()V
  areturn
S:
  astore_1
  ret 1
.end method
)"},
    {"StoreUninit", "types", "an object without its constructor stored in a field",
     R"(.method public f()V
  .limit stack 3
  .limit locals 1
  aload_0
  new java/lang/Object
  putfield $C/r Ljava/lang/Object;
  return
.end method
)"},
    {"ArrayOnObject", "types", "arraylength of a plain object",
     R"(.method public static f()I
  .limit stack 2
  .limit locals 0
  new java/lang/Object
  dup
  invokespecial java/lang/Object/<init>()V
  arraylength
  ireturn
.end method
)"},
    {"AastoreIntArray", "types", "aastore into an int[]",
     R"(.method public static f()V
  .limit stack 3
  .limit locals 0
  iconst_1
  newarray int
  iconst_0
  ldc "s"
  aastore
  return
.end method
)"},
    {"CatchNotThrowable", "types", "a handler whose catch type is no Throwable",
     R"(.method public static f()V
  .limit stack 1
  .limit locals 0
T0:
  invokestatic java/lang/System/gc()V
T1:
  return
H:
  pop
  return
  .catch java/lang/String from T0 to T1 using H
.end method
)"},
    {"GetfieldUninitThis", "types", "a constructor reads a field of its receiver before its superclass's constructor ran",
     R"(.method public <init>()V
  .limit stack 2
  .limit locals 1
  aload_0
  getfield $C/x I
  pop
  aload_0
  invokespecial java/lang/Object/<init>()V
  return
.end method
)"},
    {"ConstructorLost", "types", "a constructor overwrites its receiver and never calls a superclass's constructor",
     R"(.method public <init>()V
  .limit stack 1
  .limit locals 1
  aconst_null
  astore_0
  return
.end method
)"},
};

/* Refused by the Parts' kind rules as written (regression). */
const CorpusCase kKindCases[] = {
    {"PopEmpty", "flow", "pop on an empty stack", R"(.method public static f()V
  .limit stack 1
  .limit locals 0
  pop
  return
.end method
)"},
    {"PushFull", "flow", "iconst_0 at a full stack", R"(.method public static f()V
  .limit stack 1
  .limit locals 0
  iconst_0
  iconst_0
  pop2
  return
.end method
)"},
    {"LongFull", "flow", "lconst_0 one word below max_stack", R"(.method public static f()V
  .limit stack 2
  .limit locals 0
  iconst_0
  lconst_0
  pop2
  pop
  return
.end method
)"},
    {"AloadInt", "kinds", "aload_0 of an int parameter", R"(.method public static f(I)Ljava/lang/Object;
  .limit stack 1
  .limit locals 1
  aload_0
  areturn
.end method
)"},
    {"IloadUnset", "kinds", "iload_1 of a local set on one path only", R"(.method public static f(I)I
  .limit stack 1
  .limit locals 2
  iload_0
  ifeq J
  iconst_1
  istore_1
J:
  iload_1
  ireturn
.end method
)"},
    {"AstoreInt", "flow", "astore_1 of an int", R"(.method public static f()V
  .limit stack 1
  .limit locals 2
  iconst_0
  astore_1
  return
.end method
)"},
    {"IaddRef", "kinds", "iadd with a reference", R"(.method public static f()I
  .limit stack 2
  .limit locals 0
  iconst_1
  ldc "s"
  iadd
  ireturn
.end method
)"},
    {"AastoreInt", "kinds", "aastore of an int", R"(.method public static f()V
  .limit stack 3
  .limit locals 0
  iconst_1
  anewarray java/lang/Object
  iconst_0
  iconst_5
  aastore
  return
.end method
)"},
    {"IfnullInt", "kinds", "ifnull on an int", R"(.method public static f()V
  .limit stack 1
  .limit locals 0
  iconst_0
  ifnull L
L:
  return
.end method
)"},
    {"MonitorRa", "kinds", "monitorenter on a return address", R"(.method public static f()V
  .limit stack 1
  .limit locals 1
  jsr S
  return
S:
  monitorenter
  return
.end method
)"},
    {"AreturnVoid", "kinds", "areturn in a ()V method", R"(.method public static f()V
  .limit stack 1
  .limit locals 0
  aconst_null
  areturn
.end method
)"},
    {"ReturnInt", "kinds", "return in a ()I method", R"(.method public static f()I
  .limit stack 1
  .limit locals 0
  return
.end method
)"},
    {"IreturnLong", "kinds", "ireturn in a ()J method", R"(.method public static f()J
  .limit stack 2
  .limit locals 0
  iconst_0
  ireturn
.end method
)"},
    {"KeysUnsorted", "kinds", "lookupswitch keys 1, 5, 3", R"(.method public static f(I)I
  .limit stack 1
  .limit locals 1
  iload_0
  lookupswitch
    1 : A
    5 : A
    3 : A
    default : A
A:
  iconst_0
  ireturn
.end method
)"},
    {"InterfaceCount", "kinds", "invokeinterface with count 3 for run()V", R"(.method public static f(Ljava/lang/Runnable;)V
  .limit stack 1
  .limit locals 1
  aload_0
  invokeinterface java/lang/Runnable/run()V 3
  return
.end method
)"},
    {"MultiTooDeep", "kinds", "multianewarray [I with 3 dimensions", R"(.method public static f()Ljava/lang/Object;
  .limit stack 3
  .limit locals 0
  iconst_1
  iconst_1
  iconst_1
  multianewarray [I 3
  areturn
.end method
)"},
    {"VirtualInit", "kinds", "invokevirtual of <init>", R"(.method public static f()V
  .limit stack 2
  .limit locals 0
  new $C
  invokevirtual $C/<init>()V
  return
.end method
)"},
    {"SpecialClinit", "kinds", "invokespecial of <clinit>", R"(.method public f()V
  .limit stack 1
  .limit locals 1
  aload_0
  invokespecial $C/<clinit>()V
  return
.end method
)"},
    {"NewArray", "kinds", "new of an array class", R"(.method public static f()V
  .limit stack 1
  .limit locals 0
  new [I
  pop
  return
.end method
)"},
    {"WideLoadPast", "flow", "wide iload 400 with 400 locals", R"(.method public static f()I
  .limit stack 1
  .limit locals 400
  iload 400
  ireturn
.end method
)"},
    {"StorePast", "flow", "istore to local L", R"(.method public static f()V
  .limit stack 1
  .limit locals 2
  iconst_0
  istore 2
  return
.end method
)"},
};

/* Accepted: shapes a careless rule would refuse. */
const CorpusCase kValidCases[] = {
    {"WideArgs", "ok", "a call with 34 argument words, references at words 0 and 33", R"(.method public static g(Ljava/lang/Object;JJJJJJJJJJJJJJJJLjava/lang/Object;)Ljava/lang/Object;
  .limit stack 1
  .limit locals 34
  aload 33
  areturn
.end method
.method public static f()Ljava/lang/Object;
  .limit stack 34
  .limit locals 0
  ldc "a"
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  lconst_0
  ldc "z"
  invokestatic $C/g(Ljava/lang/Object;JJJJJJJJJJJJJJJJLjava/lang/Object;)Ljava/lang/Object;
  areturn
.end method
)"},
    {"Multi255", "ok", "multianewarray of a 255-dimension class, one dimension given", R"(.method public static f()Ljava/lang/Object;
  .limit stack 1
  .limit locals 0
  iconst_1
  multianewarray $255I 1
  areturn
.end method
)"},
    {"GotoSelf", "ok", "goto +0 (a legal endless loop)", R"(.method public static f()V
  .limit stack 1
  .limit locals 0
L:
  goto L
.end method
)"},
    {"PlainSub", "ok", "jsr to a subroutine that stores its return address and returns", R"(.method public static f()I
  .limit stack 1
  .limit locals 2
  jsr S
  iconst_3
  ireturn
S:
  astore_1
  ret 1
.end method
)"},
    {"HandlerFallThrough", "ok", "a handler block also reached by fall-through with one reference on the stack", R"(.method public static f()V
  .limit stack 1
  .limit locals 0
T0:
  aconst_null
T1:
H:
  pop
  return
  .catch java/lang/RuntimeException from T0 to T1 using H
.end method
)"},
    {"IfIcmpRa", "ok", "if_icmplt with a return address among its operands", R"(.method public static f()V
  .limit stack 2
  .limit locals 1
  jsr S
  return
S:
  iconst_0
  if_icmplt L
L:
  return
.end method
)"},
    {"PutfieldBeforeSuper", "ok", "a constructor sets its own field before its superclass's constructor", R"(.method public <init>(Ljava/lang/Object;)V
  .limit stack 2
  .limit locals 2
  aload_0
  aload_1
  putfield $C/r Ljava/lang/Object;
  aload_0
  invokespecial java/lang/Object/<init>()V
  return
.end method
)"},
    {"NewInConditional", "ok", "an object without its constructor on the stack across a conditional", R"(.method public <init>(I)V
  .limit stack 1
  .limit locals 2
  aload_0
  invokespecial java/lang/Object/<init>()V
  return
.end method
.method public static f(I)Ljava/lang/Object;
  .limit stack 3
  .limit locals 1
  new $C
  dup
  iload_0
  ifeq Z
  iload_0
  goto J
Z:
  iconst_m1
J:
  invokespecial $C/<init>(I)V
  areturn
.end method
)"},
    {"NullAsAnything", "ok", "null passed, stored, thrown and used as an array", R"(.method public static f()V
  .limit stack 3
  .limit locals 1
  aconst_null
  astore_0
  aload_0
  invokevirtual java/lang/String/length()I
  pop
  aload_0
  iconst_0
  iaload
  pop
  aload_0
  athrow
.end method
)"},
    {"MissingClass", "ok", "code naming a class that does not exist verifies; the class is missed where it runs", R"(.method public static f(I)I
  .limit stack 2
  .limit locals 1
  iload_0
  ifne U
  iconst_0
  ireturn
U:
  new no/such/Missing
  dup
  invokespecial no/such/Missing/<init>()V
  dup
  invokevirtual no/such/Missing/run()V
  getfield no/such/Missing/x I
  ireturn
.end method
)"},
    {"ArraysJoined", "ok", "a String[] and an Integer[] joined, then read as Object[]", R"(.method public static f(I)Ljava/lang/Object;
  .limit stack 2
  .limit locals 2
  iload_0
  ifeq A
  iconst_1
  anewarray java/lang/String
  astore_1
  goto J
A:
  iconst_1
  anewarray java/lang/Integer
  astore_1
J:
  aload_1
  iconst_0
  aaload
  areturn
.end method
)"},
};

}  // namespace verifier_test

#endif
