/* Helpers shared by the sources of stored objects; nothing outside them includes this. */
#ifndef PUX_VMSERIAL_INTERNAL_H
#define PUX_VMSERIAL_INTERNAL_H

#include "vmserial.h"

class VMDataMember;

namespace vmserial {

VMNameSpace* EnvNameSpace(JNIEnv* env);
/* The heap of the env's machine. */
HHeap* EnvHeap(JNIEnv* env);
bool IsStaticOrTransient(VMDataMember* member);

/* The class look-up by name of the writer and reader: found in the loader (NULL: the
   env's current one), prepared and initialised. 19 when no class can be had, 16 when it
   is no loadable class or cannot be prepared or initialised. */
VMLoadableClass* FindClassByName(JNIEnv* env, VMLiteral* name, VMClassLoader* loader, VMErrorCatcher& catcher);
/* The literal / class kept in a word of self, made on first use. */
VMLiteral* InternedLiteral(VMInternalObject* self, uint32_t word, JNIEnv* env, const char* text,
                           VMErrorCatcher& catcher);
VMLoadableClass* CachedClass(VMInternalObject* self, uint32_t word, JNIEnv* env, const char* name,
                             VMErrorCatcher& catcher);
/* The non-static method the class itself declares with that name and signature. */
VMMethod* DeclaredHook(VMLoadableClass* cls, VMLiteral* name, VMLiteral* signature);
/* writeExternal / readExternal: the hook of the class or of the nearest superclass that
   declares it, which *owner receives; none ends the catcher. */
VMMethod* InheritedHook(VMNameSpace* ns, VMLoadableClass* cls, const char* name, const char* signature,
                        VMLoadableClass** owner, VMErrorCatcher& catcher);

/* Stream type 5 over the host's Java stream classes: 0 or the failure's status (threw:
   the Java code's own exception is pending, and stays); a read gives the object, or NULL
   (a status, or the Java exception pending). */
VMStatus WriteStandardStream(JNIEnv* env, void* stream, VMObject* object, bool* threw);
jobject ReadStandardStream(JNIEnv* env, JNIHostSerializationSupport* support, void* stream, VMStatus* status);

bool IsValidModifiedUTF8(const uint8_t* bytes, uint32_t n);
bool IsValidReferenceSignatureBytes(const uint8_t* bytes, uint32_t n);

/* What a public call found on the thread when it began. */
struct EntryState {
  VMObject* exception;
  VMword loaderId;
};
void SaveEntryException(JNIEnv* env, EntryState* state);
/* After a failed call: the pending exception goes back to what it was at the start. */
void DropOwnExceptions(JNIEnv* env, const EntryState* state);

/* Which classes may be stored and read, and the fields that hold machine-bound values,
   found once per call. */
struct ClassPolicy {
  VMNameSpace* ns;
  VMLoadableClass* objectClass;
  VMLoadableClass* classClass;
  VMLoadableClass* serializable;
  VMLoadableClass* externalizable;
  /* The names of Reference, ClassLoader and the reflection classes: objects the machine
     itself trusts (collector chains, loader state, member slots), never stored. A class
     is of such a family when one of its superclasses has such a name (system names are
     the system loader's in every loader). */
  VMLiteral* refused[5];
  /* Thread's native thread values and FileDescriptor's handle. */
  VMDataMember* threadInfo;
  VMDataMember* threadEetop;
  VMDataMember* fileDescriptorFd;
  /* The native stream words of Inflater and Deflater (transient in this library; a
     library that stores them must not carry an address through a row). */
  VMDataMember* inflaterStrm;
  VMDataMember* deflaterStrm;
  /* The closed value of FileDescriptor.fd under the library version in force. */
  jint fdClosed;
  /* String and StringBuffer, whose bounds the natives trust. */
  VMLoadableClass* stringClass;
  VMDataMember* stringValue;
  VMDataMember* stringOffset;
  VMDataMember* stringCount;
  VMLoadableClass* bufferClass;
  VMDataMember* bufferValue;
  VMDataMember* bufferCount;
  /* Classes already found storable in this call. */
  VMClass* storable[16];
};
void InitClassPolicy(JNIEnv* env, ClassPolicy* policy, VMLoadableClass* serializable,
                     VMLoadableClass* externalizable);
/* 0 when objects of the class may be stored or read: java/lang/Object itself or a
   Serializable class, prepared, instantiable, and of none of the refused families; else
   43. */
VMStatus StorableStatus(ClassPolicy* policy, VMLoadableClass* cls);
/* The value a machine-bound field is stored and read as instead of its own. */
inline bool IsMachineBound(const ClassPolicy* policy, VMDataMember* member) {
  return member == policy->threadInfo || member == policy->threadEetop || member == policy->fileDescriptorFd ||
         member == policy->inflaterStrm || member == policy->deflaterStrm;
}

/* What a stored name must be. */
enum NameKind { NameAny, NameClass, NameField, NameReferenceSignature };
/* A Java name from the stream, up to its 0 byte: at most 65535 bytes of valid modified
   UTF-8 of the kind, else badName; 43 at the end of the data; interned once. NULL for the
   empty name. */
VMLiteral* ReadStoredName(VMBaseDeserializer* in, VMErrorCatcher& catcher, NameKind kind, VMStatus badName);

}  // namespace vmserial

#endif
