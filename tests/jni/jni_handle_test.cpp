/* Reference handles: their encoding, the growth of the four arrays, deletion, marks and
   bulk deletion, the pending exception around a failed handle, and every kind made and
   read by eight threads at once. */
#include "jni_support.h"

#include <map>
#include <set>

#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "safe_wait.h"

namespace jni_test {
namespace {

class HandleTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    ns = vm->nameSpace;
  }
  void TearDown() override {
    if (vm != nullptr) Destroy(vm);
    JniTest::TearDown();
  }
  uint32_t Word(jobject h) { return (uint32_t)(uintptr_t)h; }
  VMObject* MachineObject(const char* text) {
    return (VMObject*)VMJavaLangString::CreateInstance(env, text);
  }
  VMObjectHandleArray* Locals() { return env->thread->GetJNIHandleArray(); }
  /* Methods of the classes prepared so far, up to n. */
  std::vector<VMObject*> Members(size_t n) {
    std::vector<VMObject*> members;
    VMClassHandleArray* classes = ns->GetClasses();
    for (uint32_t i = 1; i < classes->GetCount() && members.size() < n; i++) {
      VMClass* c = classes->Get(i);
      if (c == nullptr || !c->GetIsLoadable()) continue;
      VMMethodArray* methods = ((VMLoadableClass*)c)->GetMethods();
      for (uint32_t m = 0; methods != nullptr && m < methods->GetSize() && members.size() < n; m++)
        members.push_back((VMObject*)methods->Get(m));
    }
    return members;
  }

  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  VMNameSpace* ns = nullptr;
};

TEST_F(HandleTest, EachKindCarriesItsTag) {
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, nullptr));
  EXPECT_EQ(nullptr, VMJniHandle::NewLocal(env, nullptr));
  EXPECT_EQ(nullptr, VMJniHandle::NewGlobal(env, nullptr));
  EXPECT_EQ(nullptr, VMJniHandle::NewFieldID(env, nullptr));
  EXPECT_EQ(nullptr, env->thread->GetException());

  VMObject* string = MachineObject("on the machine");
  uint32_t next = Locals()->GetCount();
  jobject local = VMJniHandle::NewLocal(env, string);
  EXPECT_EQ(next, Word(local)) << "a local is the bare index";
  EXPECT_EQ(string, VMJniHandle::UnHandle(env, local));

  jobject global = VMJniHandle::NewGlobal(env, string);
  EXPECT_EQ(VMJniHandle::MachineGlobalTag, Word(global) & 0xE0000000u);
  EXPECT_EQ(string, VMJniHandle::UnHandle(env, global));

  VMObject* cls = (VMObject*)ns->GetClassList()->GetStringClass();  // lives on the name space's heap
  jobject shared = VMJniHandle::NewGlobal(env, cls);
  EXPECT_EQ(VMJniHandle::NameSpaceGlobalTag, Word(shared) & 0xE0000000u);
  EXPECT_EQ(cls, VMJniHandle::UnHandle(env, shared));

  VMObject* member = Members(1).at(0);
  jobject id = VMJniHandle::NewFieldID(env, member);
  EXPECT_EQ(VMJniHandle::MemberIdTag, Word(id) & 0xE0000000u);
  EXPECT_GE(Word(id) & VMJniHandle::IndexMask, 1u);
  EXPECT_EQ(id, VMJniHandle::NewFieldID(env, member)) << "one member, one id";
  EXPECT_EQ(member, VMJniHandle::UnHandle(env, id));
  // Bits 29 and 31 together select the member ids.
  EXPECT_EQ(member, VMJniHandle::UnHandle(env, (jobject)(uintptr_t)(Word(id) | 0x80000000u)));
  // Slot 0 of a shared array names nothing, whatever it holds.
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, (jobject)(uintptr_t)VMJniHandle::NameSpaceGlobalTag));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, (jobject)(uintptr_t)(VMJniHandle::MachineGlobalTag | 0xFFFFF)));

  EXPECT_TRUE(env->functions->IsSameObject(env, local, global));
  EXPECT_TRUE(env->functions->IsSameObject(env, nullptr, nullptr));
  EXPECT_FALSE(env->functions->IsSameObject(env, local, shared));
  EXPECT_EQ(0, env->functions->EnsureLocalCapacity(env, 1 << 20));
  env->functions->DeleteGlobalRef(env, global);
  env->functions->DeleteLocalRef(env, shared);  // either function deletes either kind
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, global));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, shared));
  // A member id outlives every delete: the natives' cache shares it.
  env->functions->DeleteLocalRef(env, id);
  env->functions->DeleteGlobalRef(env, id);
  EXPECT_EQ(member, VMJniHandle::UnHandle(env, id));
  env->functions->DeleteLocalRef(env, nullptr);
}

TEST_F(HandleTest, LocalsAppendAndTheTenthGrowsTheArray) {
  JNIEnv* fresh = nullptr;
  std::thread attached([&] {
    ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &fresh, nullptr));
    VMObjectHandleArray* locals = fresh->thread->GetJNIHandleArray();
    jint marks[3];
    ASSERT_EQ(0, fresh->functions->GetHighWaterMarks(fresh, marks));
    locals->Clear(1);
    VMObject* o = MachineObject("x");
    std::vector<jobject> made;
    for (uint32_t i = 1; i <= 9; i++) made.push_back(VMJniHandle::NewLocal(fresh, o));
    EXPECT_EQ((jobject)(uintptr_t)9, made.back());
    VMObjectArray* slots = locals->GetArray();
    EXPECT_EQ(10u, slots->GetSize());
    jobject tenth = VMJniHandle::NewLocal(fresh, o);
    EXPECT_EQ((jobject)(uintptr_t)10, tenth);
    EXPECT_EQ(20u, locals->GetArray()->GetSize());
    for (jobject h : made) EXPECT_EQ(o, VMJniHandle::UnHandle(fresh, h));
    // Deleting the newest of [.., a, null, b] leaves the count behind a.
    fresh->functions->DeleteLocalRef(fresh, made[8]);
    fresh->functions->DeleteLocalRef(fresh, tenth);
    EXPECT_EQ(9u, locals->GetCount());
    fresh->functions->DeleteLocalRef(fresh, made[3]);  // a middle one: its slot only
    EXPECT_EQ(nullptr, VMJniHandle::UnHandle(fresh, made[3]));
    EXPECT_EQ(9u, locals->GetCount());
    EXPECT_EQ((jobject)(uintptr_t)9, VMJniHandle::NewLocal(fresh, o));
    EXPECT_EQ(0, vm->functions->DetachCurrentThread(vm));
    // The locals do not outlive the attachment.
    EXPECT_EQ(1u, locals->GetCount());
  });
  JoinOutside(attached);
}

TEST_F(HandleTest, AGrowthRefusedGivesZeroAndOutOfMemoryError) {
  VMObject* o = MachineObject("x");
  VMObjectHandleArray* locals = Locals();
  while (locals->GetCount() < locals->GetArray()->GetSize()) VMJniHandle::NewLocal(env, o);
  refhost::SetFailureScope(true, vm->heap, -1);
  refhost::FailNthAllocation(1);
  EXPECT_EQ(nullptr, VMJniHandle::NewLocal(env, o));
  refhost::FailNthAllocation(0);
  EXPECT_EQ("java.lang.OutOfMemoryError", PendingClass(env));
  env->functions->ExceptionClear(env);

  // A shared array: the growing flag is given back, and later adds succeed.
  VMObjectHandleArray* ids = ns->GetJNIFieldIDArray();
  std::vector<VMObject*> members = Members(400);
  size_t i = 0;
  while (ids->GetCount() < ids->GetArray()->GetSize() && i < members.size())
    VMJniHandle::NewFieldID(env, members[i++]);
  ASSERT_LT(i, members.size());
  refhost::SetFailureScope(true, ns->GetHeap(), -1);
  refhost::FailNthAllocation(1);
  EXPECT_EQ(nullptr, VMJniHandle::NewFieldID(env, members[i]));
  refhost::FailNthAllocation(0);
  refhost::SetFailureScope(false, nullptr, -1);
  EXPECT_FALSE(ids->GetIsbeingAllocated());
  EXPECT_EQ("java.lang.OutOfMemoryError", PendingClass(env));
  env->functions->ExceptionClear(env);
  jobject id = VMJniHandle::NewFieldID(env, members[i]);
  EXPECT_NE(nullptr, id);
  EXPECT_EQ(members[i], VMJniHandle::UnHandle(env, id));
}

TEST_F(HandleTest, FailedNewRefsKeepTheExceptionThatWasPending) {
  ASSERT_EQ(0, VMJniThrowInternal(env, VMStatus_IllegalArgumentException, "before"));
  EXPECT_EQ(nullptr, env->functions->NewLocalRef(env, nullptr));
  EXPECT_EQ(nullptr, env->functions->NewGlobalRef(env, nullptr));
  EXPECT_EQ("java.lang.IllegalArgumentException: before", PendingText(env));
  // A refused growth raises OutOfMemoryError inside, and takes it back out.
  VMObject* o = MachineObject("x");
  jobject local = VMJniHandle::NewLocal(env, o);
  VMObjectHandleArray* locals = Locals();
  while (locals->GetCount() < locals->GetArray()->GetSize()) VMJniHandle::NewLocal(env, o);
  refhost::SetFailureScope(true, vm->heap, -1);
  refhost::FailNthAllocation(1);
  EXPECT_EQ(nullptr, env->functions->NewLocalRef(env, local));
  refhost::FailNthAllocation(0);
  refhost::SetFailureScope(false, nullptr, -1);
  EXPECT_EQ("java.lang.IllegalArgumentException: before", PendingText(env));
  jobject copy = env->functions->NewLocalRef(env, local);
  EXPECT_EQ(o, VMJniHandle::UnHandle(env, copy));
  jobject global = env->functions->NewGlobalRef(env, local);
  EXPECT_EQ(o, VMJniHandle::UnHandle(env, global));
  env->functions->DeleteGlobalRef(env, global);
}

TEST_F(HandleTest, MarksAndBulkDeletion) {
  VMObject* o = MachineObject("x");
  VMObject* cls = (VMObject*)ns->GetClassList()->GetObjectClass();
  jint marks[3];
  ASSERT_EQ(0, env->functions->GetHighWaterMarks(env, marks));
  EXPECT_EQ((jint)ns->GetJNIHandleArray()->GetCount(), marks[0]);
  EXPECT_EQ((jint)vm->vm->GetJNIHandleArray()->GetCount(), marks[1]);
  EXPECT_EQ((jint)Locals()->GetCount(), marks[2]);
  jobject l1 = VMJniHandle::NewLocal(env, o);
  jobject l2 = VMJniHandle::NewLocal(env, o);
  jobject g1 = VMJniHandle::NewGlobal(env, o);
  jobject g2 = VMJniHandle::NewGlobal(env, cls);
  EXPECT_EQ(0, env->functions->DeleteRefs(env, marks, 2));  // another kind: nothing
  EXPECT_EQ(o, VMJniHandle::UnHandle(env, l2));
  EXPECT_EQ(0, env->functions->DeleteRefs(env, marks, 0));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, l1));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, l2));
  EXPECT_EQ((uint32_t)marks[2], Locals()->GetCount());
  EXPECT_EQ(o, VMJniHandle::UnHandle(env, g1));
  EXPECT_EQ(0, env->functions->DeleteRefs(env, marks, 1));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, g1));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, g2));
  EXPECT_EQ((uint32_t)marks[0], ns->GetJNIHandleArray()->GetCount());
  // A mark below 1 is 1: index 0 stays empty and no handle becomes 0.
  jint zero[3] = {-5, 0, 0};
  EXPECT_EQ(0, env->functions->DeleteRefs(env, zero, 0));
  EXPECT_EQ(1u, Locals()->GetCount());
  EXPECT_EQ((jobject)(uintptr_t)1, VMJniHandle::NewLocal(env, o));
  EXPECT_EQ(0, env->functions->DeleteRefs(env, zero, 1));
  EXPECT_EQ(1u, ns->GetJNIHandleArray()->GetCount());
  EXPECT_EQ(-1, env->functions->GetHighWaterMarks(env, nullptr));
}

TEST_F(HandleTest, EveryKindFromEightThreadsAtOnce) {
  std::vector<VMObject*> members = Members(50);
  ASSERT_EQ(50u, members.size());
  std::vector<VMObject*> classes;
  VMClassHandleArray* all = ns->GetClasses();
  for (uint32_t i = 1; i < all->GetCount() && classes.size() < 40; i++)
    if (all->Get(i) != nullptr) classes.push_back((VMObject*)all->Get(i));
  const int kThreads = 8;
  std::vector<std::map<VMObject*, jobject>> ids(kThreads);
  std::atomic<int> wrong{0};
  std::atomic<bool> stop{false};
  std::mutex publishedLock;
  std::vector<std::pair<jobject, VMObject*>> published;
  std::thread reader([&] {
    JNIEnv* mine = nullptr;
    ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
    while (!stop.load()) {
      std::vector<std::pair<jobject, VMObject*>> snapshot;
      {
        std::lock_guard<std::mutex> guard(publishedLock);
        snapshot = published;
      }
      for (auto& p : snapshot)
        if (VMJniHandle::UnHandle(mine, p.first) != p.second) wrong++;
      // A thread that runs no Java polls now and then, or no collection of the
      // writers' could finish.
      mine->thread->Yield();
    }
    vm->functions->DetachCurrentThread(vm);
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; t++) {
    writers.emplace_back([&, t] {
      JNIEnv* mine = nullptr;
      ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
      std::vector<std::pair<jobject, VMObject*>> globals;
      for (int round = 0; round < 1000; round++) {
        VMObject* member = members[(round * 7 + t) % members.size()];
        jobject id = VMJniHandle::NewFieldID(mine, member);
        if (ids[t].count(member) && ids[t][member] != id) wrong++;
        ids[t][member] = id;
        if (round % 10 == 0) {
          VMObject* shared = classes[(round / 10 + t) % classes.size()];
          VMObject* own = (VMObject*)VMJavaLangString::CreateInstance(mine, "thread's own");
          own->SetIsReachableByCPlusPlusCode();
          jobject g1 = VMJniHandle::NewGlobal(mine, shared);
          jobject g2 = VMJniHandle::NewGlobal(mine, own);
          if (g1 == nullptr || g2 == nullptr) wrong++;
          globals.push_back({g1, shared});
          globals.push_back({g2, own});
          std::lock_guard<std::mutex> guard(publishedLock);
          published.push_back({g1, shared});
          published.push_back({id, member});
        }
        if (round % 50 == 49) {  // give some back while the others add
          VMJniHandle::Delete(mine, globals.back().first);
          globals.pop_back();
        }
      }
      for (auto& g : globals)
        if (VMJniHandle::UnHandle(mine, g.first) != g.second) wrong++;
      vm->functions->DetachCurrentThread(vm);
    });
  }
  JoinOutside(writers);
  stop = true;
  JoinOutside(reader);
  EXPECT_EQ(0, wrong.load());
  // Every thread got the same id for a member, and no two members share one.
  std::set<jobject> distinct;
  for (auto& entry : ids[0]) {
    distinct.insert(entry.second);
    for (int t = 1; t < kThreads; t++) EXPECT_EQ(entry.second, ids[t][entry.first]);
  }
  EXPECT_EQ(members.size(), distinct.size());
}

}  // namespace
}  // namespace jni_test
