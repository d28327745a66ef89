/* What the object writer and reader share with the class-descriptor streams: the
   class-descriptor record, Java names, and the look-ups of java/io/Serializable,
   java/io/Externalizable and the writeObject/readObject hooks. */
#include "vmserial.h"

#include <stdio.h>
#include <string.h>

#include "vm.h"
#include "vmclass.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmserial_internal.h"
#include "vmthread.h"

using namespace vmserial;

namespace vmserial {

VMNameSpace* EnvNameSpace(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL; }

HHeap* EnvHeap(JNIEnv* env) {
  return env != NULL && env->javaVM != NULL && env->javaVM->vm != NULL ? env->javaVM->vm->GetHeap() : NULL;
}

bool IsStaticOrTransient(VMDataMember* member) {
  return (member->GetMemberFlags() & (VMMember::IsStaticFlag | VMMember::IsTransientFlag)) != 0;
}

VMLoadableClass* FindClassByName(JNIEnv* env, VMLiteral* name, VMClassLoader* loader, VMErrorCatcher& catcher) {
  VMNameSpace* ns = EnvNameSpace(env);
  VMClass* cls = name != NULL ? VMClass::FindByName(ns, name, loader) : NULL;
  if (cls == NULL) catcher.Throw(VMStatus_OutOfMemoryError);
  if (!cls->GetIsLoadable()) catcher.Throw(VMStatus_VerifyError);
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  if (!loadable->GetIsPrepared() || !loadable->GetIsInitialized(env)) {
    loadable = VMLoadableClass::FindInitialized(env, name, loader);
    if (loadable == NULL) catcher.Throw(VMStatus_VerifyError);
  }
  return loadable;
}

VMLiteral* InternedLiteral(VMInternalObject* self, uint32_t word, JNIEnv* env, const char* text,
                           VMErrorCatcher& catcher) {
  VMLiteral* literal = (VMLiteral*)self->GetReference(word);
  if (literal == NULL) {
    literal = VMLiteral::CreateInstance(EnvNameSpace(env), text, 0xFFFFFFFFu);
    catcher.NotNull(literal);
    self->SetReference(word, (VMObject*)literal);
  }
  return literal;
}

VMLoadableClass* CachedClass(VMInternalObject* self, uint32_t word, JNIEnv* env, const char* name,
                             VMErrorCatcher& catcher) {
  VMLoadableClass* cls = (VMLoadableClass*)self->GetReference(word);
  if (cls == NULL) {
    VMLiteral* literal = VMLiteral::CreateInstance(EnvNameSpace(env), name, 0xFFFFFFFFu);
    catcher.NotNull(literal);
    cls = FindClassByName(env, literal, NULL, catcher);
    self->SetReference(word, (VMObject*)cls);
  }
  return cls;
}

VMMethod* DeclaredHook(VMLoadableClass* cls, VMLiteral* name, VMLiteral* signature) {
  VMMethod* method = cls->FindMethod(name, signature, false);
  // A static method of that name is no hook: it has no object to read or write.
  return method != NULL && !method->GetIsStatic() ? method : NULL;
}

VMMethod* InheritedHook(VMNameSpace* ns, VMLoadableClass* cls, const char* name, const char* signature,
                        VMLoadableClass** owner, VMErrorCatcher& catcher) {
  VMLiteral* nameLiteral = VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu);
  VMLiteral* sigLiteral = VMLiteral::CreateInstance(ns, signature, 0xFFFFFFFFu);
  catcher.NotNull(nameLiteral);
  catcher.NotNull(sigLiteral);
  for (VMLoadableClass* k = cls; k != NULL; k = k->GetSuper()) {
    if (VMMethod* m = DeclaredHook(k, nameLiteral, sigLiteral)) {
      *owner = k;
      return m;
    }
  }
  catcher.NoMemory();
  return NULL;
}

bool IsValidModifiedUTF8(const uint8_t* bytes, uint32_t n) {
  for (uint32_t i = 0; i < n; i++)
    if (bytes[i] == 0) return false;
  return VMLiteral::UnicodeLength((const char*)bytes, n) != VMInvalidUTF8Length;
}

bool IsValidReferenceSignatureBytes(const uint8_t* bytes, uint32_t n) {
  uint32_t dims = 0;
  while (dims < n && bytes[dims] == '[') dims++;
  if (dims > 255 || dims == n) return false;
  uint8_t first = bytes[dims];
  if (first != 'L') return dims > 0 && dims + 1 == n && SignatureOfTypeCode(TypeCodeOfSignature(first)) != 0;
  if (bytes[n - 1] != ';' || n - dims < 3) return false;
  return IsValidStoredClassName(bytes + dims + 1, n - dims - 2);
}

void SaveEntryException(JNIEnv* env, EntryState* state) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  state->exception = thread != NULL ? (VMObject*)thread->GetException() : NULL;
  state->loaderId = env != NULL ? env->userWord : 0;
}

void DropOwnExceptions(JNIEnv* env, const EntryState* state) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (thread == NULL) return;
  // A look-up of ours that failed (a class that cannot be loaded or initialised) leaves
  // its error on the thread; the call reports its own failure instead.
  if ((VMObject*)thread->GetException() != state->exception)
    thread->SetException((VMJavaLangThrowable*)state->exception);
}

/* A class of the system loader that is loaded already; NULL otherwise (a class that was
   never loaded has no instances to guard). */
static VMLoadableClass* LoadedSystemClass(VMNameSpace* ns, const char* name) {
  VMClass* cls = VMClass::FindSystemClass(ns, name);
  if (cls == NULL || !cls->GetIsLoadable() || !((VMLoadableClass*)cls)->GetIsLoaded()) return NULL;
  return (VMLoadableClass*)cls;
}

static VMDataMember* OwnField(VMNameSpace* ns, VMLoadableClass* cls, const char* name, const char* sig) {
  if (cls == NULL) return NULL;
  VMLiteral* n = VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu);
  VMLiteral* s = VMLiteral::CreateInstance(ns, sig, 0xFFFFFFFFu);
  if (n == NULL || s == NULL) return NULL;
  return cls->FindField(n, s, false, NULL);
}

void InitClassPolicy(JNIEnv* env, ClassPolicy* policy, VMLoadableClass* serializable,
                     VMLoadableClass* externalizable) {
  memset(policy, 0, sizeof *policy);
  VMNameSpace* ns = EnvNameSpace(env);
  VMClassList* list = ns->GetClassList();
  policy->ns = ns;
  policy->objectClass = list->GetObjectClass();
  policy->classClass = list->GetClassClass();
  policy->serializable = serializable;
  policy->externalizable = externalizable;
  static const char* const kRefused[] = {"java/lang/ref/Reference", "java/lang/ClassLoader",
                                         "java/lang/reflect/Field", "java/lang/reflect/Method",
                                         "java/lang/reflect/Constructor"};
  for (uint32_t i = 0; i < 5; i++) policy->refused[i] = VMLiteral::CreateInstance(ns, kRefused[i], 0xFFFFFFFFu);
  VMLoadableClass* thread = LoadedSystemClass(ns, "java/lang/Thread");
  policy->threadInfo = OwnField(ns, thread, "PrivateInfo", "I");
  policy->threadEetop = OwnField(ns, thread, "eetop", "J");
  policy->fileDescriptorFd = OwnField(ns, LoadedSystemClass(ns, "java/io/FileDescriptor"), "fd", "I");
  policy->inflaterStrm = OwnField(ns, LoadedSystemClass(ns, "java/util/zip/Inflater"), "strm", "I");
  policy->deflaterStrm = OwnField(ns, LoadedSystemClass(ns, "java/util/zip/Deflater"), "strm", "I");
  policy->fdClosed = ns->GetLibraryVersion() >= 2 ? -1 : 0;
  policy->stringClass = LoadedSystemClass(ns, "java/lang/String");
  policy->stringValue = OwnField(ns, policy->stringClass, "value", "[C");
  policy->stringOffset = OwnField(ns, policy->stringClass, "offset", "I");
  policy->stringCount = OwnField(ns, policy->stringClass, "count", "I");
  policy->bufferClass = LoadedSystemClass(ns, "java/lang/StringBuffer");
  policy->bufferValue = OwnField(ns, policy->bufferClass, "value", "[C");
  policy->bufferCount = OwnField(ns, policy->bufferClass, "count", "I");
}

VMStatus StorableStatus(ClassPolicy* policy, VMLoadableClass* cls) {
  uint32_t slot = ((VMword)cls >> 4) & 15;
  if (policy->storable[slot] == (VMClass*)cls) return 0;
  if (!cls->GetIsLoadable() || cls->GetIsInterface() || cls->GetIsAbstract() || !cls->GetIsPrepared())
    return VMStatus_TavikSerializationError;
  if (cls != policy->objectClass && !VMClass::AssignableFrom(cls, policy->serializable))
    return VMStatus_TavikSerializationError;
  for (VMLoadableClass* k = cls; k != NULL; k = k->GetSuper()) {
    VMLiteral* name = k->GetName();
    for (VMLiteral* refused : policy->refused)
      if (name == refused) return VMStatus_TavikSerializationError;
  }
  policy->storable[slot] = cls;
  return 0;
}

}  // namespace vmserial

/* ---------------------------------------------------------------------------------- */
/* The writer's base                                                                   */

void VMBaseSerializer::InitBase(VMOutputByteStream* stream, JNIHostSerializationSupport* support) {
  SetStream(stream);
  SetScalar(SupportWord, (VMword)support);
}

VMLoadableClass* VMBaseSerializer::GetSerializableClass(VMErrorCatcher& catcher) {
  return CachedClass(this, SerializableWord, GetEnv(), "java/io/Serializable", catcher);
}

VMLoadableClass* VMBaseSerializer::GetExternalizableClass(VMErrorCatcher& catcher) {
  return CachedClass(this, ExternalizableWord, GetEnv(), "java/io/Externalizable", catcher);
}

VMLiteral* VMBaseSerializer::Literal(uint32_t word, const char* text, VMErrorCatcher& catcher) {
  return InternedLiteral(this, word, GetEnv(), text, catcher);
}

VMLoadableClass* VMBaseSerializer::WellKnownClass(uint32_t word, const char* name, VMErrorCatcher& catcher) {
  return CachedClass(this, word, GetEnv(), name, catcher);
}

VMMethod* VMBaseSerializer::GetWriteObjectMethod(VMLoadableClass* cls, VMErrorCatcher& catcher) {
  return DeclaredHook(cls, Literal(WriteObjectNameWord, "writeObject", catcher),
                      Literal(WriteObjectSigWord, "(Ljava/io/ObjectOutputStream;)V", catcher));
}

VMMethod* VMBaseSerializer::GetReadObjectMethod(VMLoadableClass* cls, VMErrorCatcher& catcher) {
  return DeclaredHook(cls, Literal(ReadObjectNameWord, "readObject", catcher),
                      Literal(ReadObjectSigWord, "(Ljava/io/ObjectInputStream;)V", catcher));
}

uint8_t VMBaseSerializer::DescriptorFlags(VMLoadableClass* cls, VMErrorCatcher& catcher) {
  if (VMClass::AssignableFrom(cls, GetExternalizableClass(catcher))) return DESC_SERIALIZABLE | DESC_EXTERNALIZABLE;
  if (!VMClass::AssignableFrom(cls, GetSerializableClass(catcher))) return 0;
  uint8_t flags = DESC_SERIALIZABLE;
  if (GetReadObjectMethod(cls, catcher) != NULL) flags |= DESC_READ_OBJECT;
  if (GetWriteObjectMethod(cls, catcher) != NULL) flags |= DESC_WRITE_OBJECT;
  return flags;
}

void VMBaseSerializer::WriteJavaName(VMLiteral* name, VMErrorCatcher& catcher) {
  uint32_t n = name->UTF8Length();
  // Moved in runs as the literal's body lies: 776 bytes in its block, then 256 a piece.
  for (uint32_t i = 0; i < n;) {
    uint32_t run = 0;
    const uint8_t* bytes = (const uint8_t*)name->FindElement(i, &run);
    if (bytes == NULL || run == 0) break;
    WriteByteArray(bytes, run);
    i += run;
  }
  WriteByte(0);
  CheckStream(catcher);
}

void VMBaseSerializer::WriteClassDescRecord(VMLoadableClass* cls, VMErrorCatcher& catcher) {
  WriteByte(SERIAL_TYPE_CLASSDESC);
  CheckStream(catcher);
  if (cls == NULL) {
    WriteByte(0);
    CheckStream(catcher);
    return;
  }
  VMDataMemberArray* fields = cls->GetDataMembers();
  uint32_t total = fields != NULL ? fields->GetSize() : 0;
  uint32_t count = 0;
  for (uint32_t i = 0; i < total; i++)
    if (!IsStaticOrTransient(fields->Get(i))) count++;
  uint8_t flags = DescriptorFlags(cls, catcher);
  WriteJavaName(cls->GetName(), catcher);
  WriteByte(flags);
  WriteCompactInt((jint)count, catcher);
  for (uint32_t i = 0; i < total; i++) {
    VMDataMember* field = fields->Get(i);
    if (IsStaticOrTransient(field)) continue;
    WriteJavaName(field->GetName(), catcher);
    int code = TypeCodeOfSignature(field->GetSignature()->GetFirstChar());
    if (code > 0) {
      WriteCompactInt(code, catcher);
    } else {
      WriteCompactInt(0, catcher);
      WriteJavaName(field->GetSignature(), catcher);
    }
  }
  CheckStream(catcher);
}

bool VMBaseSerializer::WriteClassDesc(JNIEnv* env, VMLoadableClass* cls) {
  SetEnv(env);
  GetStream()->Reset();
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    SetEnv(NULL);
    return false;
  }
  if (cls != NULL) catcher.CheckStatus(cls->Load());
  WriteClassDescRecord(cls, catcher);
  GetStream()->Flush();
  CheckStream(catcher);
  SetEnv(NULL);
  return true;
}

VMClassDescSerializer* VMClassDescSerializer::CreateInstance(HHeap* heap, JNIHostSerializationSupport* support,
                                                             VMOutputByteStream* stream) {
  if (stream == NULL) return NULL;
  VMClassDescSerializer* self = (VMClassDescSerializer*)CreateInternalNotToBeCalledDirectly(
      heap, Words, BaseRefMask, VMTag_VMClassDescSerializer, jallocFailFast);
  if (self != NULL) self->InitBase(stream, support);
  return self;
}

void VMClassDescSerializer::Destroy(HHeap* heap) {
  if (VMOutputByteStream* stream = GetStream()) stream->Destroy(heap);
  VMObject::Destroy(heap);
}

/* ---------------------------------------------------------------------------------- */
/* The reader's base                                                                   */

void VMBaseDeserializer::InitBase(VMInputByteStream* stream, JNIHostSerializationSupport* support) {
  SetStream(stream);
  SetScalar(SupportWord, (VMword)support);
}

VMLiteral* VMBaseDeserializer::Literal(uint32_t word, const char* text, VMErrorCatcher& catcher) {
  return InternedLiteral(this, word, GetEnv(), text, catcher);
}

VMLoadableClass* VMBaseDeserializer::WellKnownClass(uint32_t word, const char* name, VMErrorCatcher& catcher) {
  return CachedClass(this, word, GetEnv(), name, catcher);
}

VMLoadableClass* VMBaseDeserializer::GetSerializableClass(VMErrorCatcher& catcher) {
  return WellKnownClass(SerializableWord, "java/io/Serializable", catcher);
}

VMLoadableClass* VMBaseDeserializer::GetExternalizableClass(VMErrorCatcher& catcher) {
  return WellKnownClass(ExternalizableWord, "java/io/Externalizable", catcher);
}

VMMethod* VMBaseDeserializer::GetWriteObjectMethod(VMLoadableClass* cls, VMErrorCatcher& catcher) {
  return DeclaredHook(cls, Literal(WriteObjectNameWord, "writeObject", catcher),
                      Literal(WriteObjectSigWord, "(Ljava/io/ObjectOutputStream;)V", catcher));
}

VMMethod* VMBaseDeserializer::GetReadObjectMethod(VMLoadableClass* cls, VMErrorCatcher& catcher) {
  return DeclaredHook(cls, Literal(ReadObjectNameWord, "readObject", catcher),
                      Literal(ReadObjectSigWord, "(Ljava/io/ObjectInputStream;)V", catcher));
}

VMLoadableClass* VMBaseDeserializer::FindStoredClass(VMLiteral* name) {
  JNIEnv* env = GetEnv();
  VMClass* cls = VMClass::FindByName(EnvNameSpace(env), name, GetLoader());
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  if (loadable->GetIsPrepared() && loadable->GetIsInitialized(env)) return loadable;
  return VMLoadableClass::FindInitialized(env, name, GetLoader());
}

VMLiteral* VMBaseDeserializer::ReadJavaName(VMErrorCatcher& catcher, VMStatus badName) {
  return ReadStoredName(this, catcher, NameAny, badName);
}

VMClassDescriptor* VMBaseDeserializer::ReadClassDescRecord(VMErrorCatcher& catcher) {
  int lead = ReadByteAsInt();
  if (lead < 0) catcher.TavikSerialization(false);
  catcher.Verify(lead == (int)SERIAL_TYPE_CLASSDESC);
  VMLiteral* name = ReadStoredName(this, catcher, NameClass, VMStatus_VerifyError);
  if (name == NULL) return NULL;
  VMLoadableClass* cls = FindStoredClass(name);
  catcher.Verify(cls != NULL);
  int flags = ReadByteAsInt();
  if (flags < 0) catcher.TavikSerialization(false);
  jint count = ReadCompactInt(catcher);
  catcher.Verify(count >= 0 && count <= (jint)MAX_DESCRIPTOR_FIELDS);
  JNIEnv* env = GetEnv();
  HHeap* heap = EnvHeap(env);
  VMClassDescriptor* desc = VMClassDescriptor::CreateInstance(heap, name, (uint32_t)count);
  catcher.NotNull(desc);
  VMClassDescriptor* volatile made = desc;
  VMErrorCatcher inner;
  if (VM_CATCHER_ARM(inner)) {
    made->Destroy(heap);
    inner.ReThrow(catcher);
  }
  desc->SetClass(cls);
  if ((flags & DESC_SERIALIZABLE) != 0) {
    desc->SetIsSerializable();
    if ((flags & DESC_EXTERNALIZABLE) != 0) {
      desc->SetIsExternalizable();
    } else {
      if ((flags & DESC_READ_OBJECT) != 0) desc->SetHasReadObjectMethod();
      if ((flags & DESC_WRITE_OBJECT) != 0) desc->SetHasWriteObjectMethod();
    }
  }
  VMNameSpace* ns = EnvNameSpace(env);
  VMDataMemberArray* members = desc->GetMembers();
  for (jint i = 0; i < count; i++) {
    VMLiteral* fieldName = ReadStoredName(this, inner, NameField, VMStatus_TavikSerializationError);
    inner.TavikSerialization(fieldName != NULL);
    jint code = ReadCompactInt(inner);
    VMLiteral* signature;
    if (code == 0) {
      signature = ReadStoredName(this, inner, NameReferenceSignature, VMStatus_TavikSerializationError);
      inner.TavikSerialization(signature != NULL);
    } else {
      char letter = SignatureOfTypeCode(code);
      inner.TavikSerialization(letter != 0);
      signature = VMLiteral::CreateInstance(ns, &letter, 1);
      inner.NotNull(signature);
    }
    VMStatus status = 0;
    // A stored member is matched to the class's own field by name and signature; its
    // own type class is never used, so none is looked up (no shell for a stored name).
    VMDataMember* member = VMDataMember::CreateInstance(heap, fieldName, signature, 0, 0, NULL, &status);
    inner.CheckStatus(status);
    inner.NotNull(member);
    members->Set((uint32_t)i, member);
  }
  return desc;
}

bool VMBaseDeserializer::ReadClassDesc(VMClassDescriptor** out) {
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) return false;
  VMClassDescriptor* desc = ReadClassDescRecord(catcher);
  if (out != NULL) {
    *out = desc;
  } else if (desc != NULL) {
    desc->Destroy(EnvHeap(GetEnv()));
  }
  return true;
}

VMClassDescDeserializer* VMClassDescDeserializer::CreateInstance(HHeap* heap, JNIHostSerializationSupport* support,
                                                                 VMInputByteStream* stream) {
  if (stream == NULL) return NULL;
  VMClassDescDeserializer* self = (VMClassDescDeserializer*)CreateInternalNotToBeCalledDirectly(
      heap, Words, BaseRefMask, VMTag_VMClassDescDeserializer, jallocFailFast);
  if (self != NULL) self->InitBase(stream, support);
  return self;
}

void VMClassDescDeserializer::Destroy(HHeap* heap) {
  if (VMInputByteStream* stream = GetStream()) stream->Destroy(heap);
  VMObject::Destroy(heap);
}

bool VMClassDescDeserializer::ReadClassDesc(JNIEnv* env, VMClassDescriptor** out, VMClassLoader* loader) {
  if (out != NULL) *out = NULL;
  EntryState entry;
  SaveEntryException(env, &entry);
  SetEnv(env);
  SetLoader(loader);
  // Each record is read from the start of its own host stream, whatever an earlier one
  // left in the buffer or on the error bit.
  GetStream()->Reset();
  GetStream()->Prefetch();
  bool ok = !GetStream()->GetIsError() && VMBaseDeserializer::ReadClassDesc(out);
  if (!ok) DropOwnExceptions(env, &entry);
  SetEnv(NULL);
  SetLoader(NULL);
  return ok;
}

/* ---------------------------------------------------------------------------------- */
/* Stored names                                                                        */

namespace vmserial {

VMLiteral* ReadStoredName(VMBaseDeserializer* in, VMErrorCatcher& catcher, NameKind kind, VMStatus badName) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  uint8_t small[256];
  uint8_t* volatile big = NULL;
  VMErrorCatcher inner;
  if (VM_CATCHER_ARM(inner)) {
    if (big != NULL) host->HeapFree(NULL, big);
    inner.ReThrow(catcher);
  }
  uint8_t* bytes = small;
  uint32_t n = 0;
  VMInputByteStream* stream = in->GetStream();
  for (;;) {
    int b = stream->Read();
    if (b < 0) inner.TavikSerialization(false);
    if (b == 0) break;
    if (n == MAX_JAVA_NAME) inner.Throw(badName);
    if (n == sizeof small) {
      big = (uint8_t*)host->HeapAlloc(NULL, MAX_JAVA_NAME, jallocFailFast);
      inner.NotNull(big);
      memcpy(big, small, n);
      bytes = big;
    }
    bytes[n++] = (uint8_t)b;
  }
  VMLiteral* literal = NULL;
  if (n > 0) {
    bool valid = IsValidModifiedUTF8(bytes, n);
    switch (kind) {
      case NameClass: valid = valid && IsValidStoredClassName(bytes, n); break;
      case NameField: valid = valid && IsValidStoredFieldName(bytes, n); break;
      case NameReferenceSignature: valid = valid && IsValidReferenceSignatureBytes(bytes, n); break;
      case NameAny: break;
    }
    if (!valid) inner.Throw(badName);
    literal = VMLiteral::CreateInstance(EnvNameSpace(in->GetEnv()), (const char*)bytes, n);
    inner.NotNull(literal);
  }
  if (big != NULL) host->HeapFree(NULL, big);
  return literal;
}

}  // namespace vmserial
