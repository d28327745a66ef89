/* The Java assignment rule over descriptors: classes, interfaces and their superinterfaces,
   and arrays of each. */
#include "class_support.h"

#include "refhost.h"

namespace class_test {
namespace {

class AssignTest : public ClassTest {
 protected:
  void SetUp() override {
    ClassTest::SetUp();
    // interface I; interface J extends I; interface K;
    // class A implements J; class B extends A implements K; class C.
    I = Define("h/I", objectClass, {}, true);
    J = Define("h/J", objectClass, {I}, true);
    K = Define("h/K", objectClass, {}, true);
    A = Define("h/A", objectClass, {J}, false);
    B = Define("h/B", A, {K}, false);
    C = Define("h/C", objectClass, {}, false);
  }
  bool Assignable(VMClass* from, VMClass* to) { return VMClass::AssignableFrom(from, to); }
  bool Assignable(const char* from, const char* to) { return Assignable(Find(from), Find(to)); }

  VMLoadableClass *I, *J, *K, *A, *B, *C;
};

TEST_F(AssignTest, ClassesAndTheirInterfaces) {
  EXPECT_TRUE(Assignable(B, A));
  EXPECT_TRUE(Assignable(B, B));
  EXPECT_TRUE(Assignable(B, objectClass));
  EXPECT_FALSE(Assignable(A, B));
  EXPECT_FALSE(Assignable(C, A));
  // Directly, through a superclass, and through a superinterface.
  EXPECT_TRUE(Assignable(B, K));
  EXPECT_TRUE(Assignable(B, J));
  EXPECT_TRUE(Assignable(B, I));
  EXPECT_TRUE(Assignable(A, I));
  EXPECT_FALSE(Assignable(A, K));
  EXPECT_FALSE(Assignable(C, I));
  EXPECT_TRUE(B->Implements(I));
  EXPECT_FALSE(C->Implements(I));
}

TEST_F(AssignTest, InterfacesAmongThemselves) {
  EXPECT_TRUE(Assignable(J, I));
  EXPECT_TRUE(Assignable(I, I));
  EXPECT_FALSE(Assignable(I, J));
  EXPECT_FALSE(Assignable(I, K));
  EXPECT_TRUE(Assignable(I, objectClass));
  EXPECT_FALSE(Assignable(I, A));
}

TEST_F(AssignTest, ArraysOfPrimitives) {
  EXPECT_TRUE(Assignable("[I", "java/lang/Object"));
  EXPECT_TRUE(Assignable("[I", "java/lang/Cloneable"));
  EXPECT_TRUE(Assignable("[I", "java/io/Serializable"));
  EXPECT_TRUE(Assignable("[I", "[I"));
  EXPECT_FALSE(Assignable("[I", "[J"));
  EXPECT_FALSE(Assignable("[I", "h/I"));
  EXPECT_FALSE(Assignable("[I", "[Ljava/lang/Object;"));
  EXPECT_TRUE(Assignable("[[I", "[Ljava/lang/Object;"));
  EXPECT_TRUE(Assignable("[[I", "[Ljava/lang/Cloneable;"));
  EXPECT_FALSE(Assignable("[[I", "[[J"));
  EXPECT_FALSE(Assignable(ListEntry(10), ListEntry(10)));  // int to int is no assignment of references
}

TEST_F(AssignTest, ArraysOfClassesAndInterfaces) {
  Define("java/lang/String", objectClass, {serializable}, false);
  EXPECT_TRUE(Assignable("[Ljava/lang/String;", "[Ljava/lang/Object;"));
  EXPECT_TRUE(Assignable("[Lh/B;", "[Lh/A;"));
  EXPECT_TRUE(Assignable("[Lh/B;", "[Lh/I;"));
  EXPECT_TRUE(Assignable("[Lh/B;", "[Lh/K;"));
  EXPECT_FALSE(Assignable("[Lh/A;", "[Lh/K;"));
  EXPECT_FALSE(Assignable("[Lh/A;", "[Lh/B;"));
  EXPECT_TRUE(Assignable("[Lh/J;", "[Lh/I;"));
  EXPECT_FALSE(Assignable("[Lh/I;", "[Lh/J;"));
  EXPECT_TRUE(Assignable("[Lh/I;", "[Ljava/lang/Object;"));
  EXPECT_TRUE(Assignable("[[Lh/J;", "[[Lh/I;"));
  EXPECT_TRUE(Assignable("[[Lh/J;", "[Ljava/lang/Object;"));
  EXPECT_TRUE(Assignable("[[Lh/J;", "[Ljava/io/Serializable;"));
  EXPECT_FALSE(Assignable("[Lh/B;", "[[Lh/B;"));
  EXPECT_FALSE(Assignable("[Lh/I;", "[I"));
  EXPECT_TRUE(Assignable("[Lh/I;", "java/lang/Cloneable"));
  EXPECT_FALSE(Assignable("[Lh/I;", "h/I"));
  EXPECT_FALSE(Assignable("java/lang/Object", "[Lh/I;"));
}

TEST_F(AssignTest, InstanceTestUsesTheObjectsClass) {
  EXPECT_TRUE(VMClass::InstanceOf(nullptr, C));
  EXPECT_TRUE(VMClass::InstanceOf(nullptr, ListEntry(10)));
  VMObject* b = VMObject::CreateInstance(nsHeap, B, jallocFailFast);
  ASSERT_NE(nullptr, b);
  EXPECT_TRUE(VMClass::InstanceOf(b, I));
  EXPECT_TRUE(VMClass::InstanceOf(b, A));
  EXPECT_FALSE(VMClass::InstanceOf(b, C));
  // The host's diagnostic switch validates the reference first; a valid one answers
  // the same.
  refhost::SetDiagnosticFlag(1);
  EXPECT_TRUE(VMClass::InstanceOf(b, K));
  EXPECT_FALSE(VMClass::InstanceOf(b, C));
  refhost::SetDiagnosticFlag(0);
  b->Destroy(nsHeap);
}

TEST_F(AssignTest, UncheckedThrowables) {
  VMLoadableClass* throwable = Define("java/lang/Throwable", objectClass, {}, false);
  VMLoadableClass* error = Define("java/lang/Error", throwable, {}, false);
  VMLoadableClass* exception = Define("java/lang/Exception", throwable, {}, false);
  VMLoadableClass* runtime = Define("java/lang/RuntimeException", exception, {}, false);
  VMLoadableClass* mine = Define("h/MyFailure", runtime, {}, false);
  VMLoadableClass* deep = Define("h/MyError", error, {}, false);
  EXPECT_TRUE(mine->IsUnChecked());
  EXPECT_TRUE(deep->IsUnChecked());
  EXPECT_TRUE(error->IsUnChecked());
  EXPECT_FALSE(exception->IsUnChecked());
  EXPECT_FALSE(throwable->IsUnChecked());
}

}  // namespace
}  // namespace class_test
