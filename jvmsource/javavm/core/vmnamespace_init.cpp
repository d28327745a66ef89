/* The start-up of a class world. Stage A runs once per name space under its mutex: the
   literal tables, the system loader, the primitive classes, the registration of the
   class library's natives, the well-known names and classes and their array classes.
   Stage B runs for every machine on the name space: it initialises the classes that
   start the class library in that machine and makes the creating thread's Thread
   object.

   A failed stage A leaves what it made and IsInitialized clear; the next call resumes
   it: every step that makes something skips when its word is already set, so a retry
   never replaces a table, a loader or a literal that descriptors already point to. */
#include "vmnamespace.h"
#include "vmjavalangreflectfield.h"

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmclassloader.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmupcalls.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

struct PrimitiveRow {
  const char* name;
  VMPrimitiveType type;
  uint32_t word;
};
/* In the order they are made. */
const PrimitiveRow kPrimitives[] = {
    {"char", VMTypeChar, VMClassList::VMcharClassWord},
    {"boolean", VMTypeBoolean, VMClassList::VMbooleanClassWord},
    {"byte", VMTypeByte, VMClassList::VMbyteClassWord},
    {"short", VMTypeShort, VMClassList::VMshortClassWord},
    {"int", VMTypeInt, VMClassList::VMintClassWord},
    {"void", VMTypeVoid, VMClassList::VMvoidClassWord},
    {"long", VMTypeLong, VMClassList::VMlongClassWord},
    {"float", VMTypeFloat, VMClassList::VMfloatClassWord},
    {"double", VMTypeDouble, VMClassList::VMdoubleClassWord},
};

struct LiteralRow {
  const char* text;
  uint32_t word;
};
const LiteralRow kLiterals[] = {
    {"java/lang/String", VMLiteralTable::Java_lang_StringWord},
    {"java/lang/Object", VMLiteralTable::Java_lang_ObjectWord},
    {"", VMLiteralTable::NullWord},
    {"<init>", VMLiteralTable::InitWord},
    {"<clinit>", VMLiteralTable::ClinitWord},
    {"finalize", VMLiteralTable::FinalizeWord},
    {"run", VMLiteralTable::RunWord},
    {"java/lang/Boolean", VMLiteralTable::Java_lang_BooleanWord},
    {"java/lang/Character", VMLiteralTable::Java_lang_CharacterWord},
    {"java/lang/Float", VMLiteralTable::Java_lang_FloatWord},
    {"java/lang/Double", VMLiteralTable::Java_lang_DoubleWord},
    {"java/lang/Byte", VMLiteralTable::Java_lang_ByteWord},
    {"java/lang/Short", VMLiteralTable::Java_lang_ShortWord},
    {"java/lang/Integer", VMLiteralTable::Java_lang_IntegerWord},
    {"java/lang/Long", VMLiteralTable::Java_lang_LongWord},
    {"java/lang/System", VMLiteralTable::Java_lang_SystemWord},
    {"initializeSystemClass", VMLiteralTable::InitializeSystemClassWord},
    {"()V", VMLiteralTable::SigNullWord},
};

struct ClassRow {
  const char* name;
  uint32_t word;
};
const ClassRow kReflectClasses[] = {
    {"java/lang/reflect/Array", VMClassList::ReflectArrayClassWord},
    {"java/lang/reflect/Field", VMClassList::ReflectFieldClassWord},
    {"java/lang/reflect/Method", VMClassList::ReflectMethodClassWord},
    {"java/lang/reflect/Constructor", VMClassList::ReflectConstructorClassWord},
};
const ClassRow kReferenceClasses[] = {
    {"java/lang/ref/SoftReference", VMClassList::SoftReferenceClassWord},
    {"java/lang/ref/WeakReference", VMClassList::WeakReferenceClassWord},
    {"java/lang/ref/PhantomReference", VMClassList::PhantomReferenceClassWord},
    {"java/lang/ref/Reference", VMClassList::ReferenceClassWord},
    {"java/lang/ref/ReferenceQueue", VMClassList::ReferenceQueueClassWord},
};

/* The element class of each VMArrayClassList word 0-10, as VMClassList words. */
const uint32_t kArrayElements[] = {
    VMClassList::VMbooleanClassWord, VMClassList::VMbyteClassWord, VMClassList::VMshortClassWord,
    VMClassList::VMcharClassWord, VMClassList::VMintClassWord, VMClassList::VMlongClassWord,
    VMClassList::VMfloatClassWord, VMClassList::VMdoubleClassWord, VMClassList::ObjectClassWord,
    VMClassList::ClassClassWord, VMClassList::StringClassWord,
};
const uint32_t kReflectArrayElements[] = {
    VMClassList::ReflectFieldClassWord, VMClassList::ReflectMethodClassWord,
    VMClassList::ReflectConstructorClassWord,
};

struct FieldRow {
  uint32_t classWord;
  const char* name;
  const char* signature;
  bool isStatic;
  uint32_t indexWord;
};
const FieldRow kReferenceFields[] = {
    {VMClassList::ReferenceClassWord, "referent", "Ljava/lang/Object;", false, VMClassList::ReferenceReferentIndexWord},
    {VMClassList::ReferenceClassWord, "queue", "Ljava/lang/ref/ReferenceQueue;", false, VMClassList::ReferenceQueueIndexWord},
    {VMClassList::ReferenceClassWord, "next", "Ljava/lang/ref/Reference;", false, VMClassList::ReferenceNextIndexWord},
    {VMClassList::ReferenceClassWord, "lock", "Ljava/lang/ref/Reference$Lock;", true, VMClassList::ReferenceLockIndexWord},
    {VMClassList::ReferenceClassWord, "pending", "Ljava/lang/ref/Reference;", true, VMClassList::ReferencePendingIndexWord},
    {VMClassList::ReferenceQueueClassWord, "NULL", "Ljava/lang/ref/ReferenceQueue;", true, VMClassList::ReferenceQueueNULLIndexWord},
};

VMLiteral* Lit(VMNameSpace* ns, const char* text) { return VMLiteral::CreateInstance(ns, text, 0xFFFFFFFFu); }

/* A system class by name into a VMClassList word, unless the word is set. */
bool FindInto(VMNameSpace* ns, VMClassList* list, const char* name, uint32_t word) {
  if (list->GetReference(word) != NULL) return true;
  VMClass* cls = VMClass::FindSystemClass(ns, name);
  if (cls == NULL || !cls->GetIsLoadable()) return false;
  list->SetReference(word, (VMObject*)cls);
  return true;
}

bool MakeArrayInto(VMArrayClassList* arrays, uint32_t arrayWord, VMClassList* list, uint32_t elementWord) {
  if (arrays->GetReference(arrayWord) != NULL) return true;
  VMClass* element = (VMClass*)list->GetReference(elementWord);
  VMArrayClass* array = element != NULL ? element->MakeArrayOf() : NULL;
  if (array == NULL) return false;
  arrays->SetReference(arrayWord, (VMObject*)array);
  return true;
}

bool InitializeClass(JNIEnv* env, VMLoadableClass* cls) { return cls != NULL && cls->Initialize(env) == VMStatus_OK; }

}  // namespace

bool VMNameSpace::InitializeStageA(JNIEnv* env) {
  HHeap* heap = GetHeap();
  if (GetLiteralHashTable() == NULL) {
    SetLiteralHashTable(VMLiteralHashTable::CreateInstance(heap, 0x2000));
    if (GetLiteralHashTable() == NULL) return false;
  }
  if (GetSharedStaticDataClasses() == NULL) {
    SetSharedStaticDataClasses(VMLiteralHashTable::CreateInstance(heap, (uint32_t)VMUtils::HashTableSize(heap)));
    if (GetSharedStaticDataClasses() == NULL) return false;
  }
  if (GetSystemClassLoader() == NULL) {
    SetSystemClassLoader(VMClassLoader::CreateInstance(this, NULL));
    if (GetSystemClassLoader() == NULL) return false;
  }
  VMClassHashTable* systemTable = GetSystemClassLoader()->GetClassTable();
  VMClassList* list = GetClassList();
  for (const PrimitiveRow& row : kPrimitives) {
    VMObject* cls = list->GetReference(row.word);
    if (cls == NULL) {
      cls = (VMObject*)VMPrimitiveClass::CreateInstance(this, row.name, row.type);
      if (cls == NULL) return false;
      list->SetReference(row.word, cls);
    }
    if (systemTable->AddOrFind(cls) == VMHashNotFound) return false;
  }

  upcall::RegisterClassLibraryNatives();

  if (GetLiterals() == NULL) {
    SetLiterals(VMLiteralTable::CreateInstance(heap));
    if (GetLiterals() == NULL) return false;
  }
  VMLiteralTable* literals = GetLiterals();
  for (const LiteralRow& row : kLiterals) {
    if (literals->GetReference(row.word) != NULL) continue;
    VMLiteral* literal = Lit(this, row.text);
    if (literal == NULL) return false;
    literals->SetReference(row.word, (VMObject*)literal);
  }

  // The well-known classes as shells first, and their array classes: the parser makes
  // every class's interface list a Class[], java/lang/Object's included, and array
  // classes take java/lang/Object as their superclass when they are made.
  if (!FindInto(this, list, "java/lang/Class", VMClassList::ClassClassWord) ||
      !FindInto(this, list, "java/math/BigDecimal", VMClassList::BigDecimalClassWord) ||
      !FindInto(this, list, "java/lang/Object", VMClassList::ObjectClassWord) ||
      !FindInto(this, list, "java/lang/String", VMClassList::StringClassWord) ||
      !FindInto(this, list, "java/io/Serializable", VMClassList::SerializableClassWord) ||
      !FindInto(this, list, "java/lang/Cloneable", VMClassList::CloneableClassWord))
    return false;
  VMArrayClassList* arrays = GetArrayClassList();
  for (uint32_t i = 0; i < sizeof kArrayElements / sizeof kArrayElements[0]; i++)
    if (!MakeArrayInto(arrays, i, list, kArrayElements[i])) return false;
  if (VMLoadableClass::FindPrepared(env, literals->GetJava_lang_Object(), NULL) != list->GetObjectClass())
    return false;
  for (const ClassRow& row : kReflectClasses)
    if (!FindInto(this, list, row.name, row.word)) return false;
  if (GetLibraryVersion() >= 2) {
    for (const ClassRow& row : kReferenceClasses)
      if (!FindInto(this, list, row.name, row.word)) return false;
  }
  for (uint32_t i = 0; i < 3; i++)
    if (!MakeArrayInto(arrays, VMArrayClassList::VMJavaLangReflectFieldArrayClassWord + i, list,
                       kReflectArrayElements[i]))
      return false;

  if (GetExceptionClasses() == NULL) {
    SetExceptionClasses((VMLoadableClassArray*)VMrefArray::CreateInstance(heap, ExceptionClassCount,
                                                                           jallocFailFast,
                                                                           VMTag_VMExceptionClasses));
    if (GetExceptionClasses() == NULL) return false;
  }

  // Descriptors made before java/lang/Class was known get it as their class now, as
  // every later one got it at creation.
  VMClass* classClass = (VMClass*)list->GetClassClass();
  for (uint32_t i = 0; i < systemTable->GetFilled(); i++) {
    VMClass* cls = (VMClass*)systemTable->Get(i);
    if (cls != NULL && ((VMObject*)cls)->GetClass() == NULL) ((VMObject*)cls)->SetClass(classClass);
  }
  env->thread->SetException(NULL);
  for (uint32_t i = 0; i < systemTable->GetFilled(); i++) {
    VMClass* cls = (VMClass*)systemTable->Get(i);
    if (cls != NULL && cls->GetIsLoadable() && ((VMLoadableClass*)cls)->GetIsPrepared())
      ((VMLoadableClass*)cls)->RegisterNativeMethods();
  }

  VMLiteral* oom = Lit(this, "java/lang/OutOfMemoryError");
  if (oom == NULL || VMLoadableClass::FindPrepared(env, oom, NULL) == NULL) return false;
  if (!GetForCompiler()) {
    if (FindExceptionClass(env, VMStatus_OutOfMemoryError) == NULL) return false;
    if (FindExceptionClass(env, VMStatus_NoClassDefFoundError) == NULL) return false;
  }
  SetIsInitialized();
  return true;
}

bool VMNameSpace::InitializeStageB(JNIEnv* env) {
  if (GetForCompiler()) return true;
  VMClassList* list = GetClassList();
  const int32_t version = GetLibraryVersion();
  // The third library needs java/util/Collections$EmptyMap for every Thread object; a
  // library without it cannot start that way.
  if (version >= 3) {
    VMLiteral* emptyMap = Lit(this, "java/util/Collections$EmptyMap");
    if (emptyMap == NULL || VMLoadableClass::FindPrepared(env, emptyMap, NULL) == NULL) return false;
  }
  if (!InitializeClass(env, list->GetObjectClass())) return false;
  if (version >= 2) {
    if (!InitializeClass(env, list->GetThreadClass(env))) return false;
    if (!InitializeClass(env, list->GetThreadGroupClass(env))) return false;
  }
  if (VMJniCreateJavaLangThread(env->javaVM, env) != 0) return false;
  VMLoadableClass* const started[] = {
      list->GetStringClass(), list->GetCloneableClass(), list->GetSerializableClass(),
      list->GetClassClass(), list->GetReflectArrayClass(), list->GetReflectFieldClass(),
      list->GetReflectMethodClass(), list->GetReflectConstructorClass(),
  };
  for (VMLoadableClass* cls : started)
    if (!InitializeClass(env, cls)) return false;
  // Reflection writes its objects by position: a library whose classes do not have the
  // words of its version's layouts is told now, in the log, and reflection refuses to
  // make objects of them (the rest of the machine runs).
  (void)VMJavaLangReflectMember::CheckLayouts(this);
  if (version >= 2 && !InitializeReferenceHandling(env)) return false;
  return true;
}

bool VMNameSpace::InitializeReferenceHandling(JNIEnv* env) {
  VMClassList* list = GetClassList();
  if (list == NULL) return false;
  for (const ClassRow& row : kReferenceClasses)
    if (!FindInto(this, list, row.name, row.word)) return false;
  for (const ClassRow& row : kReferenceClasses)
    if (!InitializeClass(env, (VMLoadableClass*)list->GetReference(row.word))) return false;
  if (GetReferenceHandlingReady()) return true;
  // The collector finds these fields by position; a library without one of them, or
  // with one of the wrong kind, cannot start.
  uint32_t indexes[sizeof kReferenceFields / sizeof kReferenceFields[0]];
  for (uint32_t i = 0; i < sizeof kReferenceFields / sizeof kReferenceFields[0]; i++) {
    const FieldRow& row = kReferenceFields[i];
    VMLoadableClass* cls = (VMLoadableClass*)list->GetReference(row.classWord);
    VMLiteral* name = Lit(this, row.name);
    VMLiteral* signature = Lit(this, row.signature);
    VMDataMember* field = cls != NULL && name != NULL && signature != NULL
                              ? cls->FindField(name, signature, true, env)
                              : NULL;
    if (field == NULL || ((VMMember*)field)->GetIsStatic() != row.isStatic) return false;
    indexes[i] = (uint32_t)((VMMember*)field)->GetIndex();
  }
  // Written under the name space's spin lock, the ready mark last: two machines starting
  // together write the same positions.
  VMUtils::P_SpinLock(GetSpinLock(), "namespace spinlock - Get  InitializeReferenceHandling");
  for (uint32_t i = 0; i < sizeof kReferenceFields / sizeof kReferenceFields[0]; i++)
    list->SetScalar(kReferenceFields[i].indexWord, indexes[i]);
  SetFlag(ReferenceHandlingReadyFlag);
  VMUtils::V_SpinLock(GetSpinLock(), "namespace spinlock - Release  InitializeReferenceHandling");
  return true;
}

bool VMNameSpace::Initialize(JNIEnv* env) {
  if (env == NULL || env->thread == NULL) return false;
  if (!GetIsInitialized()) {
    if (!VMUtils::MutexLock(GetMutex())) return false;
    bool done = GetIsInitialized() || InitializeStageA(env);
    VMUtils::MutexUnlock(GetMutex());
    if (!done) return false;
  }
  return InitializeStageB(env);
}
