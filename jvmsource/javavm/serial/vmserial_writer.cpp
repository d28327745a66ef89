/* The stored-object writer: one object graph per call, numbered breadth-first, written as
   a header, an optional class list, one record per object and a closing 0. */
#include "vmserial.h"

#include <string.h>

#include <initializer_list>

#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmserial_internal.h"
#include "vmthread.h"

using namespace vmserial;

namespace {

enum : uint32_t {
  kTableSize = 8192,
  /* A table that grew past this for one big graph is made afresh for the next write, so
     that emptying it does not cost its full size every time. */
  kTableKeepLimit = 4 * 8192,
};

VMword IdentityHash(VMObject* object) { return (VMword)object; }

VMObjectHashTable* NewTable(HHeap* heap) {
  return VMObjectHashTable::CreateInstance(heap, IdentityHash, 4, VMTag_VMObjectHashTable, kTableSize);
}

}  // namespace

/* The state of one write. */
struct SerialWriter {
  VMObjectSerializer* self;
  JNIEnv* env;
  VMErrorCatcher* catcher;
  VMObjectHashTable* objects;
  VMObjectHashTable* classes;  /* NULL for type 0 */
  ClassPolicy policy;
  /* The trailing section: class-specific data written by the Java object stream of the
     host's library into a byte-array stream. Every reference is a local one of the
     calling thread, let go of by ReleaseTrailing on every path. */
  struct Trailing {
    bool ready;
    jint count;
    jclass descClass;
    jmethodID lookup;
    jobject bytes;
    jmethodID toByteArray;
    jclass streamClass;
    jobject stream;
    jmethodID flush, writeInt, writeObject, defaultWriteObject;
    jfieldID currentObject, currentClassDesc;
  } trailing;
  /* A Java call of the write threw: its exception is the caller's to see. */
  bool javaThrew;

  VMErrorCatcher& c() { return *catcher; }

  /* ---- the graph ---- */

  uint32_t Add(VMObject* object) {
    uint32_t index = objects->AddOrFind(object);
    c().TavikSerialization(index != VMHashNotFound);
    return index;
  }

  void AddClass(VMLoadableClass* cls) {
    c().CheckStatus(cls->Load());
    for (VMLoadableClass* k = cls; k != NULL; k = k->GetSuper()) {
      if (classes->Find(k) != VMHashNotFound) break;
      c().TavikSerialization(classes->Add(k) != VMHashNotFound);
    }
  }

  static VMClass* Innermost(VMClass* cls) {
    while (cls != NULL && cls->GetIsArray()) cls = ((VMArrayClass*)cls)->GetElementClass();
    return cls;
  }

  void AddReferencedClass(VMClass* cls) {
    if (classes == NULL || cls == NULL) return;
    if (cls->GetIsArray()) {
      // The element class of an object array goes into the list by its own descriptor:
      // looked up by name in the env's loader it could be another loader's class.
      VMClass* element = Innermost(cls);
      if (element != NULL && element->GetIsLoadable()) AddClass((VMLoadableClass*)element);
      return;
    }
    if (cls->GetIsLoadable()) AddClass((VMLoadableClass*)cls);
  }

  /* The class an ordinary object's record is written for, checked. */
  VMLoadableClass* RecordClass(VMObject* object) {
    VMClass* cls = object->GetClass();
    c().Verify(cls != NULL);
    c().TavikSerialization(cls->GetIsLoadable());
    VMLoadableClass* loadable = (VMLoadableClass*)cls;
    c().CheckStatus(loadable->Load());
    c().CheckStatus(StorableStatus(&policy, loadable));
    return loadable;
  }

  /* The class a class object describes, which must be a loadable class: an array class
     would be written in a form the reader cannot tell from a class id, and a primitive
     class has no stored form. */
  VMLoadableClass* DescribedClass(VMObject* object) {
    VMClass* described = (VMClass*)object;
    c().TavikSerialization(described->GetIsLoadable());
    return (VMLoadableClass*)described;
  }

  bool OwnSerialization(VMLoadableClass* k) {
    return VMClass::AssignableFrom(k, policy.serializable) &&
           (self->GetWriteObjectMethod(k, c()) != NULL || self->GetReadObjectMethod(k, c()) != NULL);
  }

  void AddFieldsOf(VMObject* object, VMLoadableClass* cls) {
    // From java/lang/Object down to the class, as the records are laid out.
    VMLoadableClass* chain[VMLoadableClass::MAX_NESTING + 1];
    uint32_t depth = 0;
    for (VMLoadableClass* k = cls; k != NULL; k = k->GetSuper()) {
      c().Verify(depth <= VMLoadableClass::MAX_NESTING);
      chain[depth++] = k;
    }
    while (depth > 0) {
      VMLoadableClass* k = chain[--depth];
      if (OwnSerialization(k)) {
        // Its data goes with the trailing section, where its hook writes it: nothing
        // it holds is followed here.
        WriteOwnData(object, k);
        continue;
      }
      VMDataMemberArray* fields = k->GetDataMembers();
      uint32_t n = fields != NULL ? fields->GetSize() : 0;
      for (uint32_t i = 0; i < n; i++) {
        VMDataMember* field = fields->Get(i);
        if (IsStaticOrTransient(field) || !field->IsRefField()) continue;
        VMObject* value = (VMObject*)object->GetWord((uint32_t)field->GetIndex());
        if (value != NULL) Add(value);
      }
    }
  }

  void AddObjects(VMObject* root) {
    Add(root);
    VMLoadableClass* classClass = policy.classClass;
    for (uint32_t i = 0;; i++) {
      VMObject* object = objects->Get(i);
      if (object == NULL) break;
      if (object->GetIsScalarArray()) continue;
      VMClass* cls = object->GetClass();
      c().Verify(cls != NULL);
      if (object->GetIsRefArray()) {
        c().TavikSerialization(cls->GetIsArray());
        AddReferencedClass(cls);
        VMrefArray* array = (VMrefArray*)object;
        uint32_t size = array->GetSize();
        for (uint32_t e = 0; e < size;) {
          uint32_t run = 0;
          VMword* elements = (VMword*)array->FindElement(e, &run);
          for (uint32_t k = 0; k < run; k++)
            if (elements[k] != 0) Add((VMObject*)elements[k]);
          e += run;
        }
        continue;
      }
      if (cls == (VMClass*)classClass) {
        AddReferencedClass(classClass);
        AddReferencedClass(DescribedClass(object));
        continue;
      }
      VMLoadableClass* loadable = RecordClass(object);
      AddReferencedClass(loadable);
      if (VMClass::AssignableFrom(loadable, policy.externalizable)) {
        WriteExternalData(object, loadable);
      } else {
        AddFieldsOf(object, loadable);
      }
    }
    CloseTrailing();
  }

  /* ---- the trailing section ---- */

  const JNINativeInterface_* jni() { return env->functions; }

  /* A Java call just returned: an exception it left fails the write and stays pending
     for the caller. */
  void CheckJava() {
    if (jni()->ExceptionCheck(env)) {
      javaThrew = true;
      c().TavikSerialization(false);
    }
  }

  jclass JavaClass(const char* name) {
    jclass cls = jni()->FindClass(env, name);
    c().NotNull(cls);
    return cls;
  }

  /* The Java stream of the section, made on the first record that needs it. */
  void OpenTrailing() {
    Trailing& t = trailing;
    if (t.ready) return;
    // Java code is about to run on this thread: an exception already pending would be
    // taken for its own.
    c().TavikSerialization(!jni()->ExceptionCheck(env));
    const JNINativeInterface_* f = jni();
    t.descClass = JavaClass("java/io/ObjectStreamClass");
    t.lookup = f->GetStaticMethodID(env, t.descClass, "lookup", "(Ljava/lang/Class;)Ljava/io/ObjectStreamClass;");
    c().NotNull(t.lookup);
    jclass bytesClass = JavaClass("java/io/ByteArrayOutputStream");
    jmethodID init = f->GetMethodID(env, bytesClass, "<init>", "()V");
    t.toByteArray = f->GetMethodID(env, bytesClass, "toByteArray", "()[B");
    if (init != NULL && t.toByteArray != NULL) t.bytes = f->NewObject(env, bytesClass, init);
    f->DeleteLocalRef(env, bytesClass);
    c().NotNull(init);
    c().NotNull(t.toByteArray);
    CheckJava();
    c().NotNull(t.bytes);
    VMNameSpace* ns = EnvNameSpace(env);
    t.streamClass = JavaClass(ns != NULL && ns->GetLibraryVersion() >= 2 ? "nimbrel/tavik/jrt/serialization/VqObjectOutputStream"
                                                                         : "corvane/sql/Tavik/VqObjectOutputStream");
    init = f->GetMethodID(env, t.streamClass, "<init>", "(Ljava/io/OutputStream;)V");
    c().Verify(init != NULL);
    t.currentObject = f->GetFieldID(env, t.streamClass, "currentObject", "Ljava/lang/Object;");
    t.currentClassDesc = f->GetFieldID(env, t.streamClass, "currentClassDesc", "Ljava/io/ObjectStreamClass;");
    c().NotNull(t.currentObject);
    c().NotNull(t.currentClassDesc);
    t.stream = f->NewObject(env, t.streamClass, init, t.bytes);
    CheckJava();
    c().NotNull(t.stream);
    t.flush = f->GetMethodID(env, t.streamClass, "flush", "()V");
    jmethodID enableReplace = f->GetMethodID(env, t.streamClass, "enableReplaceObject", "(Z)Z");
    t.writeInt = f->GetMethodID(env, t.streamClass, "writeInt", "(I)V");
    t.writeObject = f->GetMethodID(env, t.streamClass, "writeObject", "(Ljava/lang/Object;)V");
    t.defaultWriteObject = f->GetMethodID(env, t.streamClass, "defaultWriteObject", "()V");
    c().Verify(t.flush != NULL && enableReplace != NULL && t.writeInt != NULL && t.writeObject != NULL &&
               t.defaultWriteObject != NULL);
    (void)f->CallBooleanMethod(env, t.stream, enableReplace, (jboolean)1);
    CheckJava();
    t.count = 0;
    t.ready = true;
  }

  /* Lets go of every reference of the section's state. */
  void ReleaseTrailing() {
    Trailing& t = trailing;
    const JNINativeInterface_* f = jni();
    for (jobject ref : {(jobject)t.descClass, t.bytes, (jobject)t.streamClass, t.stream})
      if (ref != NULL) f->DeleteLocalRef(env, ref);
    memset(&t, 0, sizeof t);
  }

  void WriteJavaInt(jint value) {
    jni()->CallVoidMethod(env, trailing.stream, trailing.writeInt, value);
    CheckJava();
  }

  /* One record's call: with a class, its stream descriptor first and the stream's
     current object and class set, then the hook (exactly the one found, never an
     override) or, without one, the stream's default field writer. */
  void RecordCall(VMObject* object, VMLoadableClass* k, VMMethod* method, VMLoadableClass* methodClass) {
    Trailing& t = trailing;
    const JNINativeInterface_* f = jni();
    jobject target = VMJniHandle::NewLocal(env, object);
    c().NotNull(target);
    jobject desc = NULL;
    if (k != NULL) {
      jobject cls = VMJniHandle::NewLocal(env, (VMObject*)k);
      if (cls != NULL) desc = f->CallStaticObjectMethod(env, t.descClass, t.lookup, cls);
      if (cls != NULL) f->DeleteLocalRef(env, cls);
      bool threw = f->ExceptionCheck(env);
      if (!threw && desc != NULL) {
        f->CallVoidMethod(env, t.stream, t.writeObject, desc);
        threw = f->ExceptionCheck(env);
      }
      if (!threw && desc != NULL) {
        f->SetObjectField(env, t.stream, t.currentObject, target);
        f->SetObjectField(env, t.stream, t.currentClassDesc, desc);
      }
      if (threw || desc == NULL) {
        if (desc != NULL) f->DeleteLocalRef(env, desc);
        f->DeleteLocalRef(env, target);
        CheckJava();
        c().NoMemory();
      }
    }
    if (method == NULL) {
      f->CallVoidMethod(env, t.stream, t.defaultWriteObject);
    } else {
      jmethodID id = (jmethodID)VMJniHandle::NewFieldID(env, method);
      jobject owner = VMJniHandle::NewLocal(env, (VMObject*)methodClass);
      if (id != NULL && owner != NULL) f->CallNonvirtualVoidMethod(env, target, (jclass)owner, id, t.stream);
      if (owner != NULL) f->DeleteLocalRef(env, owner);
      if ((id == NULL || owner == NULL) && !f->ExceptionCheck(env)) {
        if (desc != NULL) f->DeleteLocalRef(env, desc);
        f->DeleteLocalRef(env, target);
        c().NoMemory();
      }
    }
    if (k != NULL) {
      // The stream holds no object of the write beyond its record.
      f->SetObjectField(env, t.stream, t.currentObject, NULL);
      f->SetObjectField(env, t.stream, t.currentClassDesc, NULL);
    }
    if (desc != NULL) f->DeleteLocalRef(env, desc);
    f->DeleteLocalRef(env, target);
    CheckJava();
    t.count++;
  }

  jint IdOfObject(VMObject* object) {
    uint32_t index = objects->Find(object);
    c().Verify(index != VMHashNotFound && index <= 0x7FFFFFFFu - INDEX_BASE);
    return -(jint)INDEX_BASE - (jint)index;
  }

  /* The record of a class that writes its own data: the object's id, the class's
     reference as the records give it, then the class's data. */
  void WriteOwnData(VMObject* object, VMLoadableClass* k) {
    jint id = IdOfObject(object);
    jint ref;
    if (classes != NULL) {
      uint32_t index = classes->Find(k);
      c().Verify(index != VMHashNotFound);
      ref = -(jint)INDEX_BASE - (jint)index;
    } else {
      ref = HostId(k->GetName());
    }
    OpenTrailing();
    WriteJavaInt(id);
    WriteJavaInt(ref);
    RecordCall(object, k, self->GetWriteObjectMethod(k, c()), k);
  }

  VMMethod* WriteExternalMethod(VMLoadableClass* cls, VMLoadableClass** owner) {
    return InheritedHook(EnvNameSpace(env), cls, "writeExternal", "(Ljava/io/ObjectOutput;)V", owner, c());
  }

  void WriteExternalData(VMObject* object, VMLoadableClass* cls) {
    VMLoadableClass* owner = NULL;
    VMMethod* method = WriteExternalMethod(cls, &owner);
    jint id = IdOfObject(object);
    OpenTrailing();
    WriteJavaInt(id);
    RecordCall(object, NULL, method, owner);
  }

  /* The section's bytes, kept by the serializer (where the collector sees them) until
     they are written after the records. */
  void CloseTrailing() {
    Trailing& t = trailing;
    if (!t.ready || t.count == 0) return;
    const JNINativeInterface_* f = jni();
    f->CallVoidMethod(env, t.stream, t.flush);
    CheckJava();
    jobject array = f->CallObjectMethod(env, t.bytes, t.toByteArray);
    CheckJava();
    c().NotNull(array);
    self->SetReference(VMObjectSerializer::TrailingBytesWord, VMJniHandle::UnHandle(env, array));
    self->SetScalar(VMObjectSerializer::TrailingCountWord, (VMword)t.count);
    f->DeleteLocalRef(env, array);
  }

  /* C(records), C(bytes), the bytes. */
  void WriteOtherSerializable() {
    VMArray* bytes = (VMArray*)self->GetReference(VMObjectSerializer::TrailingBytesWord);
    jint count = (jint)self->GetScalar(VMObjectSerializer::TrailingCountWord);
    if (bytes == NULL || count <= 0) return;
    uint32_t size = bytes->GetSize();
    c().TavikSerialization(size <= 0x7FFFFFFFu);
    WriteClassId(count);
    WriteClassId((jint)size);
    for (uint32_t e = 0; e < size;) {
      uint32_t run = 0;
      const uint8_t* data = (const uint8_t*)bytes->FindElement(e, &run);
      c().Verify(data != NULL && run > 0);
      if (run > size - e) run = size - e;
      self->WriteByteArray(data, run);
      e += run;
    }
    self->CheckStream(c());
  }

  /* ---- class references ---- */

  void WriteClassId(jint id) { self->WriteCompactInt(id, c()); }

  jint HostId(VMLiteral* name) {
    VMLiteralToIdCache* cache = self->GetNameCache();
    jint id = cache->FindId(name);
    if (id != 0) return id;
    char* text = name->MakeUTF8();
    c().NotNull(text);
    JNIHostSerializationSupport* support = self->GetSupport();
    id = support != NULL && support->ClassToId != NULL ? support->ClassToId(text, 1) : 0;
    VMLiteral::FreeUTF8(text);
    // Host ids are positive: anything else would be stored as an invalid reference, or
    // read back as a class-list index.
    c().Verify(id > 0);
    cache->AddObject(id, name);
    return id;
  }

  void WriteLoadableClass(VMLoadableClass* cls) {
    if (classes != NULL) {
      uint32_t index = classes->Find(cls);
      c().Verify(index != VMHashNotFound);
      WriteClassId(-(jint)INDEX_BASE - (jint)index);
    } else {
      WriteClassId(HostId(cls->GetName()));
    }
  }

  /* An object array's class: its name up to the first 'L', the element class, a 0 byte;
     a name without 'L' ("[[I") whole and a 0 byte. */
  void WriteArrayClass(VMArrayClass* cls) {
    VMLiteral* name = cls->GetName();
    uint32_t n = name->UTF8Length();
    c().Verify(n > 0);
    uint32_t part = 0;
    bool hasL = false;
    while (part < n) {
      uint8_t b = name->ByteAt(part++);
      if (b == 'L') {
        hasL = true;
        break;
      }
    }
    // The reader takes at most this many bytes (the closing 'L' or 0 counted): a deeper
    // array is refused here rather than stored as a row no reader takes.
    c().Verify(part + (hasL ? 0 : 1) <= MAX_ARRAY_NAME_PART);
    for (uint32_t i = 0; i < part; i++) self->WriteByte(name->ByteAt(i));
    if (hasL) {
      VMClass* element = Innermost(cls);
      c().Verify(element != NULL && element->GetIsLoadable());
      WriteLoadableClass((VMLoadableClass*)element);
    }
    self->WriteByte(0);
    self->CheckStream(c());
  }

  /* ---- records ---- */

  uint32_t IdOf(VMObject* value, bool* found) {
    uint32_t index = objects->Find(value);
    *found = index != VMHashNotFound;
    return index;
  }

  struct FieldContext {
    SerialWriter* writer;
  };

  static bool FieldWriter(VMObject* object, VMDataMember* field, void* context) {
    SerialWriter* w = ((FieldContext*)context)->writer;
    VMObjectSerializer* out = w->self;
    if (IsStaticOrTransient(field)) return true;
    if (object == NULL) return false;
    uint32_t slot = (uint32_t)field->GetIndex();
    bool bound = IsMachineBound(&w->policy, field);
    switch (field->GetSignature()->GetFirstChar()) {
      case 'Z':
      case 'B': out->WriteByte(bound ? 0 : (uint8_t)object->GetWord(slot)); break;
      case 'C':
      case 'S': out->WriteWord(bound ? 0 : (uint16_t)object->GetWord(slot)); break;
      case 'I':
      case 'F': out->WriteDWord(bound ? 0 : object->GetWord(slot)); break;
      case 'J':
      case 'D': out->WriteQWord(bound ? 0 : (uint64_t)object->GetLong(slot)); break;
      case 'L':
      case '[': {
        VMObject* value = (VMObject*)object->GetWord(slot);
        if (value == NULL) {
          out->WriteByte(0);
        } else {
          bool found;
          uint32_t index = w->IdOf(value, &found);
          if (!found) return false;
          out->PutCompactInt(-(jint)INDEX_BASE - (jint)index);
        }
        break;
      }
      default: return false;
    }
    return !out->GetStream()->GetIsError();
  }

  void WriteNormalObject(VMObject* object, VMLoadableClass* cls) {
    FieldContext context = {this};
    for (VMLoadableClass* k = cls; k != NULL; k = k->GetSuper()) {
      WriteLoadableClass(k);
      if (OwnSerialization(k)) continue;
      c().Verify(object->GuidedWalkMembers(k, FieldWriter, &context));
    }
  }

  void WriteObjectArray(VMrefArray* array) {
    WriteArrayClass((VMArrayClass*)array->GetClass());
    uint32_t size = array->GetSize();
    WriteClassId((jint)size);
    for (uint32_t e = 0; e < size;) {
      uint32_t run = 0;
      VMword* elements = (VMword*)array->FindElement(e, &run);
      for (uint32_t k = 0; k < run; k++) {
        if (elements[k] == 0) {
          self->WriteByte(0);
        } else {
          bool found;
          uint32_t index = IdOf((VMObject*)elements[k], &found);
          c().Verify(found);
          self->PutCompactInt(-(jint)INDEX_BASE - (jint)index);
        }
      }
      e += run;
    }
    self->CheckStream(c());
  }

  void WritePrimitiveArray(VMArray* array, int code) {
    uint32_t size = array->GetSize();
    WriteClassId((jint)size);
    uint32_t width = SizeOfTypeCode(code);
    c().TavikSerialization(width == (1u << array->GetElementShift()));
    uint8_t buffer[256];
    for (uint32_t e = 0; e < size;) {
      uint32_t run = 0;
      const uint8_t* data = (const uint8_t*)array->FindElement(e, &run);
      if (data == NULL || run == 0) break;
      if (width == 1) {
        self->WriteByteArray(data, run);
      } else {
        // Big-endian in pieces of the local buffer.
        uint32_t done = 0;
        while (done < run) {
          uint32_t take = run - done;
          if (take > sizeof buffer / width) take = sizeof buffer / width;
          for (uint32_t k = 0; k < take; k++) {
            const uint8_t* from = data + (done + k) * width;
            uint8_t* to = buffer + k * width;
            for (uint32_t b = 0; b < width; b++) to[b] = from[width - 1 - b];
          }
          self->WriteByteArray(buffer, take * width);
          done += take;
        }
      }
      e += run;
    }
    self->CheckStream(c());
  }

  void WriteSingleObject(VMObject* object) {
    VMClass* cls = object->GetClass();
    c().Verify(cls != NULL);
    if (cls->GetIsArray()) {
      VMClass* element = ((VMArrayClass*)cls)->GetElementClass();
      c().Verify(element != NULL);
      if (element->GetIsPrimitive()) {
        int code = (int)((VMPrimitiveClass*)element)->GetType();
        c().TavikSerialization(code >= 4 && code <= 11 && object->GetIsScalarArray());
        WriteClassId(-(jint)OPENING_OBJECT_ARRAY - code);
        WritePrimitiveArray((VMArray*)object, code);
      } else {
        c().TavikSerialization(object->GetIsRefArray());
        WriteClassId(-(jint)OPENING_OBJECT_ARRAY);
        WriteObjectArray((VMrefArray*)object);
      }
      return;
    }
    c().TavikSerialization(cls->GetIsLoadable());
    if (cls == (VMClass*)policy.classClass) {
      WriteLoadableClass(policy.classClass);
      WriteLoadableClass(DescribedClass(object));
      return;
    }
    VMLoadableClass* loadable = RecordClass(object);
    // An Externalizable object is its class alone: its contents are the trailing
    // section's.
    if (VMClass::AssignableFrom(loadable, policy.externalizable)) {
      WriteLoadableClass(loadable);
      return;
    }
    WriteNormalObject(object, loadable);
  }

  void WriteHeader(jint type) {
    self->WriteByte((uint8_t)((type << VERSION_BITS) | CURRENT_SERIAL_VERSION));
    self->CheckStream(c());
    if (type == SerializationTypeIdList) {
      for (uint32_t i = 0;; i++) {
        VMLoadableClass* cls = (VMLoadableClass*)classes->Get(i);
        if (cls == NULL) break;
        WriteClassId(HostId(cls->GetName()));
      }
      WriteClassId(0);
    } else if (type == SerializationTypeDescriptorList) {
      for (uint32_t i = 0;; i++) {
        VMLoadableClass* cls = (VMLoadableClass*)classes->Get(i);
        if (cls == NULL) break;
        self->WriteClassDescRecord(cls, c());
      }
      self->WriteByte(SERIAL_TYPE_CLASSDESC);
      self->WriteByte(0);
      self->CheckStream(c());
    }
  }
};

/* ---------------------------------------------------------------------------------- */

VMObjectSerializer* VMObjectSerializer::CreateInstance(HHeap* heap, JNIHostSerializationSupport* support,
                                                       VMOutputByteStream* stream) {
  if (stream == NULL) return NULL;
  VMObjectSerializer* self = (VMObjectSerializer*)CreateInternalNotToBeCalledDirectly(
      heap, Words, RefMask, VMTag_VMObjectSerializer, jallocFailFast);
  if (self != NULL) self->InitBase(stream, support);
  return self;
}

void VMObjectSerializer::Destroy(HHeap* heap) {
  if (VMOutputByteStream* stream = GetStream()) stream->Destroy(heap);
  if (VMObjectHashTable* t = GetObjectTable()) t->Destroy(heap);
  if (VMObjectHashTable* t = GetClassTable()) t->Destroy(heap);
  if (VMLiteralToIdCache* cache = GetNameCache()) cache->Destroy(heap);
  VMObject::Destroy(heap);
}

VMStatus VMObjectSerializer::AddObject(VMObject* object, jint* id) {
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) return catcher.Caught();
  // Only a write in progress has a graph to add to: an id handed out between writes
  // would push the next write's root away from number 0.
  VMObjectHashTable* table = GetObjectTable();
  if (!GetIsBusy() || GetEnv() == NULL || table == NULL) catcher.NoMemory();
  catcher.TavikSerialization(object != NULL);
  uint32_t index = table->AddOrFind(object);
  catcher.TavikSerialization(index != VMHashNotFound && index <= 0x7FFFFFFFu - INDEX_BASE);
  if (id != NULL) *id = -(jint)INDEX_BASE - (jint)index;
  return 0;
}

VMStatus VMObjectSerializer::InnerWrite(VMObject* object, jint type) {
  HHeap* heap = EnvHeap(GetEnv());
  SerialWriter w;
  w.self = this;
  w.env = GetEnv();
  VMErrorCatcher catcher;
  w.catcher = &catcher;
  memset(&w.trailing, 0, sizeof w.trailing);
  w.javaThrew = false;
  if (VM_CATCHER_ARM(catcher)) {
    w.ReleaseTrailing();
    SetReference(TrailingBytesWord, NULL);
    SetScalar(TrailingCountWord, 0);
    SetFlag(JavaThrewFlag, w.javaThrew);
    if (VMObjectHashTable* t = GetObjectTable()) t->Clear();
    if (VMObjectHashTable* t = GetClassTable()) t->Clear();
    return catcher.Caught();
  }
  if (GetObjectTable() == NULL) {
    VMObjectHashTable* t = NewTable(heap);
    catcher.NotNull(t);
    SetReference(ObjectTableWord, t);
  }
  w.objects = GetObjectTable();
  w.objects->Clear();
  w.classes = NULL;
  if (GetFlag(ClassListFlag)) {
    if (GetClassTable() == NULL) {
      VMObjectHashTable* t = NewTable(heap);
      catcher.NotNull(t);
      SetReference(ClassTableWord, t);
    }
    w.classes = GetClassTable();
    w.classes->Clear();
  }
  InitClassPolicy(w.env, &w.policy, GetSerializableClass(catcher), GetExternalizableClass(catcher));
  w.AddObjects(object);
  // No Java runs past this point: the section's stream is done with.
  w.ReleaseTrailing();
  w.WriteHeader(type);
  for (uint32_t i = 0;; i++) {
    VMObject* entry = w.objects->Get(i);
    if (entry == NULL) break;
    w.WriteSingleObject(entry);
  }
  w.WriteClassId(0);
  w.WriteOtherSerializable();
  SetReference(TrailingBytesWord, NULL);
  SetScalar(TrailingCountWord, 0);
  GetStream()->Flush();
  CheckStream(catcher);
  w.objects->Clear();
  if (w.classes != NULL) w.classes->Clear();
  return 0;
}

bool VMObjectSerializer::WriteVMObject(JNIEnv* env, VMObject* object, jint type) {
  if (GetIsBusy()) return false;
  if (env == NULL && object == NULL) return true;
  EntryState entry;
  SaveEntryException(env, &entry);
  SetFlag(BusyFlag, true);
  SetEnv(env);
  // A row starts from an empty buffer and a clear error bit, whatever the last one left.
  GetStream()->Reset();
  VMStatus status = 0;
  if (env == NULL || object == NULL) {
    status = VMStatus_Error;
  } else if (type == SerializationTypeIds || type == SerializationTypeIdList ||
             type == SerializationTypeDescriptorList) {
    HHeap* heap = EnvHeap(env);
    // Host ids may depend on the env's loader: ids cached under another loader go.
    if (GetNameCache() != NULL && (VMword)GetScalar(CacheLoaderWord) != env->userWord) GetNameCache()->Clear();
    if (GetNameCache() == NULL) SetReference(NameCacheWord, VMLiteralToIdCache::CreateInstance(heap, 4));
    SetScalar(CacheLoaderWord, env->userWord);
    if (GetNameCache() == NULL) {
      status = VMStatus_OutOfMemoryError;
    } else {
      SetFlag(ClassListFlag, type != SerializationTypeIds);
      status = InnerWrite(object, type);
    }
    // One big graph must not make every later write empty a table of its size.
    for (uint32_t word : {(uint32_t)ObjectTableWord, (uint32_t)ClassTableWord}) {
      VMObjectHashTable* t = (VMObjectHashTable*)GetReference(word);
      if (t != NULL && t->GetHashSize() > kTableKeepLimit) {
        t->Destroy(heap);
        SetReference(word, NULL);
      }
    }
  } else if (type == SerializationTypeStandard) {
    bool threw = false;
    status = WriteStandardStream(env, GetStream()->GetHostStream(), object, &threw);
    SetFlag(JavaThrewFlag, threw);
  } else {
    status = VMStatus_Error;
  }
  SetScalar(LastStatusWord, (VMword)status);
  // A Java hook or stream that threw leaves its exception for the caller to see; any
  // other failure leaves the thread as it was.
  if (status != 0 && !GetFlag(JavaThrewFlag)) DropOwnExceptions(env, &entry);
  SetEnv(NULL);
  SetFlag(BusyFlag | ClassListFlag | JavaThrewFlag, false);
  return status == 0;
}
