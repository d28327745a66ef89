/* The stored-object reader. A row is read in two passes: every record makes an object
   whose reference slots hold the stored ids (the object carries flag 0x1000 meanwhile,
   so that the collector keeps it without following them), then every object is completed
   by turning the ids into references, each checked against the declared type of its
   field or element.

   The row comes from a database and is trusted in nothing. A row that fails is undone
   whole: the objects it made are released before the failure returns (no Java code has
   seen them: only the host's class look-ups run during a read, and FindObject refuses
   objects that are not complete), and every table and cache of the read is emptied. */
#include "vmserial.h"

#include <string.h>

#include <initializer_list>

#include "vm.h"
#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmserial_internal.h"
#include "vmthread.h"
#include "vmutils.h"

using namespace vmserial;

namespace {

enum : uint32_t {
  kTableSize = 8192,
  kTableKeepLimit = 4 * 8192,
  kDescriptorTableSize = 64,
  /* Arrays whose elements would take more than this are made in growing steps as their
     elements arrive, so that a stored length never asks for more than the data carries. */
  kStageBytes = 1u << 20,
  /* Bytes an object takes beyond its body, for the allocation budget. */
  kObjectOverhead = 20,
};

VMword IdentityHash(VMObject* object) { return (VMword)object; }
VMword DescriptorIdHash(VMObject* object) { return (VMword)((VMClassDescriptor*)object)->GetHostId(); }

VMObjectHashTable* NewTable(HHeap* heap, VMHashFunction hash, uint32_t size) {
  return VMObjectHashTable::CreateInstance(heap, hash, 4, VMTag_VMObjectHashTable, size);
}

}  // namespace

/* The state of one read. */
struct SerialReader {
  VMObjectDeserializer* self;
  JNIEnv* env;
  VMNameSpace* ns;
  HHeap* heap;
  VMErrorCatcher* catcher;
  VMObjectHashTable* objects;
  VMObjectHashTable* classes;  /* NULL for type 0 */
  uint32_t version;
  uint64_t budget;
  uint64_t spent;
  bool exceptionCheckFailed;
  ClassPolicy policy;
  /* Java code has run for this read (a constructor or the trailing section): from then
     on any object of the read may be referred to from where Java can reach, and a
     failure leaves the objects to the collector instead of releasing them. */
  bool javaRan;
  /* The trailing records the row owes, in the order it must give them: pairs of an
     object number and the class whose data it is (0 for an Externalizable object's
     whole data). Process memory, let go of by Finish. */
  VMword* pending;
  uint32_t pendingCount;
  uint32_t pendingCapacity;
  /* The trailing section's Java state: local references of the calling thread, let go
     of by Finish on every path. */
  struct Trailing {
    jclass descClass;
    jmethodID forClass;
    jobject bytes;
    jobject input;
    jobject stream;
    jmethodID readInt, readObject, defaultReadObject;
    jfieldID currentObject, currentClassDesc;
    jobject target;
    jobject desc;
    jobject made;
  } trailing;

  VMErrorCatcher& c() { return *catcher; }

  /* What Finish relies on, set before anything can fail. */
  void Prepare() {
    env = NULL;
    policy.classClass = NULL;
    javaRan = false;
    exceptionCheckFailed = false;
    pending = NULL;
    pendingCount = 0;
    pendingCapacity = 0;
    memset(&trailing, 0, sizeof trailing);
  }

  void AddPending(uint32_t index, VMLoadableClass* k) {
    if (pendingCount == pendingCapacity) {
      uint32_t capacity = pendingCapacity == 0 ? 32 : 2 * pendingCapacity;
      c().Verify(capacity < 0x10000000u);
      Spend((uint64_t)(capacity - pendingCapacity) * 2 * sizeof(VMword));
      JNIHostFunctions* host = VMUtils::GetHostFunctions();
      VMword* grown = (VMword*)host->HeapAlloc(NULL, capacity * 2 * sizeof(VMword), jallocFailFast);
      c().NotNull(grown);
      if (pending != NULL) {
        memcpy(grown, pending, pendingCount * 2 * sizeof(VMword));
        host->HeapFree(NULL, pending);
      }
      pending = grown;
      pendingCapacity = capacity;
    }
    pending[2 * pendingCount] = index;
    pending[2 * pendingCount + 1] = (VMword)k;
    pendingCount++;
    self->SetFlag(VMObjectDeserializer::HasOtherSerializationsFlag, true);
  }

  void Spend(uint64_t bytes) {
    spent += bytes;
    if (spent > budget) c().NoMemory();
  }

  void Refund(uint64_t bytes) { spent = bytes < spent ? spent - bytes : 0; }

  /* Enters the object of the next record: it must take the next number. */
  void Enter(VMObject* object) {
    uint32_t expected = objects->GetFilled();
    uint32_t index = objects->AddOrFind(object);
    c().TavikSerialization(index != VMHashNotFound && index == expected &&
                           expected < 0x7FFFFFFFu - INDEX_BASE);
  }

  /* A fresh object of this read: flagged before anything else can allocate, entered, and
     released at once when the table refuses it. */
  void EnterFresh(VMObject* object) {
    object->SetIsDeserializing();
    uint32_t expected = objects->GetFilled();
    uint32_t index = objects->AddOrFind(object);
    if (index == VMHashNotFound || index != expected || expected >= 0x7FFFFFFFu - INDEX_BASE) {
      object->Destroy(heap);
      c().TavikSerialization(false);
    }
  }

  void CheckPendingException() {
    VMThread* thread = env->thread;
    if (thread != NULL && thread->GetException() != NULL) {
      exceptionCheckFailed = true;
      c().TavikSerialization(false);
    }
  }

  /* ---- classes ---- */

  VMLoadableClass* ClassFromHost(jint id) {
    JNIHostSerializationSupport* support = self->GetSupport();
    jclass ref = support != NULL && support->IdToClass != NULL ? support->IdToClass(id) : NULL;
    if (ref == NULL) return NULL;
    VMClass* cls = VMJniUnHandleClass(env, ref);
    env->functions->DeleteLocalRef(env, ref);
    if (cls == NULL || !cls->GetIsLoadable()) c().NoMemory();
    return (VMLoadableClass*)cls;
  }

  VMClassDescriptor* FindDescriptor(jint id) {
    VMObjectHashTable* table = self->GetDescriptorTable();
    VMObjectHashTableIterator it(table, (VMword)id, 0);
    for (VMObject* e = it.Next(); e != NULL; e = it.Next())
      if (((VMClassDescriptor*)e)->GetHostId() == id) return (VMClassDescriptor*)e;
    return NULL;
  }

  /* The descriptor the host keeps for an id it no longer names as a live class: read
     once per read from the host's class data, and kept until the read ends. */
  VMClassDescriptor* DescriptorFromHost(jint id) {
    if (VMClassDescriptor* known = FindDescriptor(id)) return known;
    JNIHostSerializationSupport* support = self->GetSupport();
    c().Verify(support != NULL && support->GetClassData != NULL);
    VMInputByteStream* stream = VMInputByteStream::CreateInstance(heap, support);
    c().NotNull(stream);
    VMClassDescDeserializer* reader = VMClassDescDeserializer::CreateInstance(heap, support, stream);
    if (reader == NULL) {
      stream->Destroy(heap);
      c().NoMemory();
    }
    void* handle = NULL;
    support->GetClassData(id, &handle);
    if (handle == NULL) {
      reader->Destroy(heap);
      c().Verify(false);
    }
    stream->SetHostStream(handle);
    // Held while the record is read: finding its class can run static initialisers.
    reader->SetIsReachableByCPlusPlusCode();
    VMClassDescriptor* desc = NULL;
    bool ok = reader->ReadClassDesc(env, &desc, self->GetLoader());
    reader->ClearIsReachableByCPlusPlusCode();
    reader->Destroy(heap);
    if (support->ReleaseClassData != NULL) support->ReleaseClassData(handle);
    c().Verify(ok && desc != NULL);
    desc->SetHostId(id);
    if (self->GetDescriptorTable()->Add(desc) == VMHashNotFound) {
      desc->Destroy(heap);
      c().NoMemory();
    }
    return desc;
  }

  /* A stored class reference: the class, and its descriptor when the row has one. */
  VMLoadableClass* ClassIdToLoadableClass(jint id, VMClassDescriptor** desc) {
    *desc = NULL;
    if (id == 0) return NULL;
    if (id < 0) {
      uint32_t index = 0;
      c().TavikSerialization(classes != NULL && IndexFromId(id, classes->GetFilled(), &index));
      VMObject* entry = classes->Get(index);
      c().TavikSerialization(entry != NULL);
      if (entry->GetTag() == VMTag_VMClassDescriptor) {
        *desc = (VMClassDescriptor*)entry;
        return (*desc)->GetClass();
      }
      return (VMLoadableClass*)entry;
    }
    VMIdToObjectCache* cache = self->GetClassCache();
    if (VMObject* cached = cache->FindObject(id)) return (VMLoadableClass*)cached;
    if (VMClassDescriptor* known = FindDescriptor(id)) {
      *desc = known;
      return known->GetClass();
    }
    if (VMLoadableClass* cls = ClassFromHost(id)) {
      cache->AddObject(id, cls);
      return cls;
    }
    c().TavikSerialization(version != 0);
    *desc = DescriptorFromHost(id);
    return (*desc)->GetClass();
  }

  VMLoadableClass* ReadClassReference(VMClassDescriptor** desc) {
    return ClassIdToLoadableClass(self->ReadCompactInt(c()), desc);
  }

  /* ---- header ---- */

  void AddListEntry(VMObject* entry) {
    uint32_t expected = classes->GetFilled();
    uint32_t index = classes->AddOrFind(entry);
    // The writer lists each class once: a repeated entry would shift every later index.
    c().TavikSerialization(index != VMHashNotFound && index == expected);
  }

  void ReadSerialHeader(uint32_t type) {
    if (type == SerializationTypeIdList) {
      for (;;) {
        jint id = self->ReadCompactInt(c());
        if (id == 0) break;
        c().TavikSerialization(id > 0);
        VMClassDescriptor* desc;
        VMLoadableClass* cls = ClassIdToLoadableClass(id, &desc);
        AddListEntry(desc != NULL ? (VMObject*)desc : (VMObject*)cls);
      }
    } else if (type == SerializationTypeNameList) {
      for (;;) {
        VMLiteral* name = ReadStoredName(self, c(), NameClass, VMStatus_OutOfMemoryError);
        if (name == NULL) break;
        AddListEntry(FindClassByName(env, name, self->GetLoader(), c()));
      }
    } else if (type == SerializationTypeDescriptorList) {
      for (;;) {
        VMClassDescriptor* desc = NULL;
        {
          VMErrorCatcher record;
          if (VM_CATCHER_ARM(record)) c().Verify(false);
          desc = self->ReadClassDescRecord(record);
        }
        if (desc == NULL) break;
        uint32_t expected = classes->GetFilled();
        if (classes->AddOrFind(desc) != expected) {
          desc->Destroy(heap);
          c().TavikSerialization(false);
        }
      }
    }
  }

  /* ---- records ---- */

  struct FieldContext {
    SerialReader* reader;
    VMStatus status;
  };

  static bool Fail(FieldContext* context, VMStatus status) {
    context->status = status;
    return false;
  }

  /* Reads one stored field value into the object's slot (the value is dropped when the
     object is NULL). Narrow values widen as Java's do: byte and short with their sign,
     char and boolean without. */
  static bool FieldReader(VMObject* object, VMDataMember* field, void* raw) {
    FieldContext* context = (FieldContext*)raw;
    SerialReader* r = context->reader;
    VMObjectDeserializer* in = r->self;
    if (IsStaticOrTransient(field)) return true;
    uint32_t slot = (uint32_t)field->GetIndex();
    bool bound = object != NULL && IsMachineBound(&r->policy, field);
    VMword word;
    switch (field->GetSignature()->GetFirstChar()) {
      case 'Z': {
        int b = in->ReadByteAsInt();
        if (b < 0 || b > 1) return Fail(context, VMStatus_TavikSerializationError);
        word = (VMword)b;
        break;
      }
      case 'B': word = (VMword)(jint)in->ReadByte(); break;
      case 'C': word = (VMword)in->ReadChar(); break;
      case 'S': word = (VMword)(jint)in->ReadShort(); break;
      case 'I':
      case 'F': word = in->ReadDWord(); break;
      case 'J':
      case 'D': {
        uint64_t q = in->ReadQWord();
        if (in->GetStream()->GetIsError()) return Fail(context, VMStatus_TavikSerializationError);
        if (object != NULL) object->SetLong(slot, bound ? 0 : (jlong)q);
        return true;
      }
      case 'L':
      case '[': {
        jint id;
        if (!in->GetCompactInt(&id) || (id != 0 && id > -(jint)INDEX_BASE))
          return Fail(context, VMStatus_TavikSerializationError);
        // The raw id waits in the slot for the completion pass; the flag on the object
        // keeps the collector from following it.
        if (object != NULL) object->SetWord(slot, (VMword)id);
        return true;
      }
      default: return Fail(context, VMStatus_TavikSerializationError);
    }
    if (in->GetStream()->GetIsError()) return Fail(context, VMStatus_TavikSerializationError);
    if (object != NULL) {
      if (bound) word = field == r->policy.fileDescriptorFd ? (VMword)r->policy.fdClosed : 0;
      object->SetWord(slot, word);
    }
    return true;
  }

  VMObject* ReadNormalObject(VMLoadableClass* cls, VMClassDescriptor* desc) {
    c().TavikSerialization(version != 0);
    // Only classes that chose to be stored, that can have instances, and whose objects
    // the machine does not trust for its own state.
    c().CheckStatus(StorableStatus(&policy, cls));
    c().TavikSerialization(cls->Initialize(env) == 0);
    Spend((uint64_t)cls->GetCreateSize() * 4 + kObjectOverhead);
    VMObject* object = VMObject::CreateInstance(heap, cls, jallocCollectAndRetry);
    c().NotNull(object);
    uint32_t index = objects->GetFilled();
    EnterFresh(object);
    if (policy.fileDescriptorFd != NULL &&
        VMClass::AssignableFrom(cls, policy.fileDescriptorFd->GetDefinedIn()))
      object->SetWord((uint32_t)policy.fileDescriptorFd->GetIndex(), (VMword)policy.fdClosed);
    FieldContext context = {this, VMStatus_TavikSerializationError};
    VMLoadableClass* k = cls;
    VMClassDescriptor* d = desc;
    /* The classes of the chain whose data the trailing section carries, bottom up. */
    VMLoadableClass* own[VMLoadableClass::MAX_NESTING + 1];
    uint32_t owns = 0;
    for (;;) {
      bool declares = self->GetReadObjectMethod(k, c()) != NULL || self->GetWriteObjectMethod(k, c()) != NULL;
      bool storedHooks = d != NULL && (d->GetHasReadObjectMethod() || d->GetHasWriteObjectMethod());
      // A row that says a class wrote its own data, for a class with no hook to read
      // it, would have its fields parsed from bytes the writer never wrote.
      c().TavikSerialization(!storedHooks || declares);
      if (declares && VMClass::AssignableFrom(k, policy.serializable) && (d == NULL || storedHooks)) {
        c().Verify(owns <= VMLoadableClass::MAX_NESTING);
        own[owns++] = k;
      } else {
        bool ok = d != NULL ? object->GuidedWalkMembersWithClassDesc(k, d, FieldReader, &context)
                            : object->GuidedWalkMembers(k, FieldReader, &context);
        if (!ok) c().Throw(context.status);
      }
      VMLoadableClass* super = k->GetSuper();
      if (super == NULL) break;
      VMClassDescriptor* next;
      // The chain is the object's own: a row naming another class (or none) here would
      // read fields that this object does not have.
      c().TavikSerialization(ReadClassReference(&next) == super);
      k = super;
      d = next;
    }
    // The section gives one object's classes from the top of its chain down.
    while (owns > 0) AddPending(index, own[--owns]);
    return object;
  }

  /* An Externalizable object is made by its no-argument constructor (the class's own
     or the nearest superclass's), which runs now; its data comes with the trailing
     section. */
  VMObject* ReadExternalizedObject(VMLoadableClass* cls) {
    c().CheckStatus(StorableStatus(&policy, cls));
    VMLiteral* name = VMLiteral::CreateInstance(ns, "<init>", 0xFFFFFFFFu);
    VMLiteral* sig = VMLiteral::CreateInstance(ns, "()V", 0xFFFFFFFFu);
    c().NotNull(name);
    c().NotNull(sig);
    VMMethod* ctor = NULL;
    for (VMLoadableClass* k = cls; k != NULL && ctor == NULL; k = k->GetSuper()) {
      VMMethod* m = k->FindMethod(name, sig, false);
      if (m != NULL && !m->GetIsStatic()) ctor = m;
    }
    c().TavikSerialization(ctor != NULL);
    Spend((uint64_t)cls->GetCreateSize() * 4 + kObjectOverhead);
    jmethodID id = (jmethodID)VMJniHandle::NewFieldID(env, ctor);
    c().NotNull(id);
    jobject clsRef = VMJniHandle::NewLocal(env, (VMObject*)cls);
    c().NotNull(clsRef);
    CheckPendingException();
    javaRan = true;
    trailing.made = env->functions->NewObject(env, (jclass)clsRef, id);
    env->functions->DeleteLocalRef(env, clsRef);
    if (trailing.made == NULL) {
      CheckPendingException();
      c().NoMemory();
    }
    VMObject* object = VMJniHandle::UnHandle(env, trailing.made);
    c().NotNull(object);
    uint32_t index = objects->GetFilled();
    Enter(object);
    // The list of owed records marks it as made by its constructor (no stored ids in it,
    // nothing to complete) and owed its data.
    AddPending(index, NULL);
    env->functions->DeleteLocalRef(env, trailing.made);
    trailing.made = NULL;
    return object;
  }

  VMClass* PrimitiveClass(int code) {
    VMClassList* list = ns->GetClassList();
    switch (code) {
      case 4: return list->GetVMbooleanClass();
      case 5: return list->GetVMcharClass();
      case 6: return list->GetVMfloatClass();
      case 7: return list->GetVMdoubleClass();
      case 8: return list->GetVMbyteClass();
      case 9: return list->GetVMshortClass();
      case 10: return list->GetVMintClass();
      case 11: return list->GetVMlongClass();
      default: return NULL;
    }
  }

  static uint64_t StepCost(uint32_t count, uint32_t width) { return (uint64_t)count * width + kObjectOverhead + 8; }

  /* An array of count elements of width bytes, flagged as being read. */
  VMArray* NewArray(uint32_t count, uint32_t width, bool references) {
    Spend(StepCost(count, width));
    VMArray* array = references
                         ? (VMArray*)VMrefArray::CreateInstance(heap, count, jallocCollectAndRetry, VMTag_VMUserArrayInstance)
                         : VMArray::CreateInstance(heap, count, width, jallocCollectAndRetry, VMTag_VMUserArrayInstance);
    c().NotNull(array);
    array->SetIsDeserializing();
    if (!references) array->SetIsScalarArray();
    return array;
  }

  /* The elements of an array of length elements, read by fill (which fills elements
     [from, to) of the array it is given). A length whose elements would take more than
     kStageBytes is reached in steps that double as the data arrives, each step copied
     into the next: what is allocated follows the bytes read, not the length claimed. */
  static uint32_t FirstStage(uint32_t length, uint32_t width) {
    return (uint64_t)length * width > kStageBytes ? kStageBytes / width : length;
  }

  template <typename Fill>
  VMArray* ReadElements(uint32_t length, uint32_t width, bool references, Fill fill) {
    VMArray* volatile array = NewArray(FirstStage(length, width), width, references);
    VMErrorCatcher* outer = catcher;
    VMErrorCatcher inner;
    if (VM_CATCHER_ARM(inner)) {
      catcher = outer;
      array->Destroy(heap);
      inner.ReThrow(*outer);
    }
    catcher = &inner;
    FillStages(&array, length, width, references, fill);
    catcher = outer;
    return (VMArray*)array;
  }

  /* The loop of ReadElements, in a frame of its own that a failure simply leaves:
     *array is always the one live step. */
  template <typename Fill>
  void FillStages(VMArray* volatile* array, uint32_t length, uint32_t width, bool references, Fill& fill) {
    uint32_t stage = FirstStage(length, width);
    uint32_t done = 0;
    for (;;) {
      fill((VMArray*)*array, done, stage);
      done = stage;
      if (done == length) return;
      uint32_t next = length - stage > stage ? 2 * stage : length;
      VMArray* grown = NewArray(next, width, references);
      grown->Copy((VMArray*)*array, 0, 0, done);
      ((VMArray*)*array)->Destroy(heap);
      // The budget follows the bytes live at once: the step just released is given back.
      Refund(StepCost(stage, width));
      *array = grown;
      stage = next;
    }
  }

  VMObject* ReadObjectArray() {
    // The name part: '['s, then 'L' and the element class, or (from two '['s on) one
    // primitive letter; then a 0 byte. Nothing else makes an array class.
    uint32_t dims = 0;
    uint32_t used = 0;
    int b;
    for (;;) {
      b = self->ReadByteAsInt();
      if (b < 0) c().TavikSerialization(false);
      used++;
      c().Verify(used <= MAX_ARRAY_NAME_PART);
      if (b != '[') break;
      dims++;
    }
    c().Verify(dims > 0);
    VMClass* element;
    if (b == 'L') {
      VMClassDescriptor* unused;
      element = ReadClassReference(&unused);
      if (element == NULL) c().NoMemory();
    } else {
      c().Verify(dims >= 2 && SignatureOfTypeCode(TypeCodeOfSignature((jchar)b)) != 0);
      element = PrimitiveClass(TypeCodeOfSignature((jchar)b));
      c().Verify(element != NULL);
      dims--;
      element = element->MakeArrayOf();
      c().Verify(element != NULL);
      c().Verify(used + 1 <= MAX_ARRAY_NAME_PART);
    }
    int end = self->ReadByteAsInt();
    if (end < 0) c().TavikSerialization(false);
    c().TavikSerialization(end == 0);
    // The array class is made from the element class itself, never from a stored name:
    // its element class is the one the row named, in whatever loader that class is.
    VMClass* cls = element;
    for (uint32_t i = 0; i < dims; i++) {
      cls = cls->MakeArrayOf();
      c().Verify(cls != NULL);
    }
    jint length = self->ReadCompactInt(c());
    c().TavikSerialization(length >= 0);
    uint32_t version0 = version == 0;
    VMArray* array = ReadElements((uint32_t)length, 4, true, [this, version0](VMArray* a, uint32_t from, uint32_t to) {
      VMrefArray* refs = (VMrefArray*)a;
      if (!version0) {
        for (uint32_t i = from; i < to; i++) {
          jint id;
          if (!self->GetCompactInt(&id) || (id != 0 && id > -(jint)INDEX_BASE)) c().TavikSerialization(false);
          refs->Set(i, (VMObject*)(VMword)id);
        }
        return;
      }
      // Version 0: a presence bitmap, least significant bit first, then the ids of the
      // present elements. Both halves arrive per step of the array.
      for (uint32_t i = from; i < to; i += 8) {
        int bits = self->ReadByteAsInt();
        if (bits < 0) c().TavikSerialization(false);
        for (uint32_t k = 0; k < 8 && i + k < to; k++) refs->Set(i + k, (VMObject*)(VMword)((bits >> k) & 1));
      }
      for (uint32_t i = from; i < to; i++) {
        if (refs->Get(i) == NULL) continue;
        jint id;
        if (!self->GetCompactInt(&id) || id > -(jint)INDEX_BASE) c().TavikSerialization(false);
        refs->Set(i, (VMObject*)(VMword)id);
      }
    });
    array->SetClass(cls);
    EnterFresh(array);
    return array;
  }

  VMObject* ReadPrimitiveArray(int code) {
    jint length = self->ReadCompactInt(c());
    c().TavikSerialization(length >= 0);
    VMArray* array = ReadPrimitiveElements(code, (uint32_t)length);
    EnterFresh(array);
    return array;
  }

  /* A primitive array of its stored elements, of its class and still flagged (so that
     the collector keeps it while it is held nowhere else). */
  VMArray* ReadPrimitiveElements(int code, uint32_t length) {
    VMClass* element = PrimitiveClass(code);
    c().TavikSerialization(element != NULL);
    VMClass* cls = element->MakeArrayOf();
    c().NotNull(cls);
    uint32_t width = SizeOfTypeCode(code);
    bool boolean = code == 4;
    VMArray* array = ReadElements(length, width, false, [this, width, boolean](VMArray* a, uint32_t from, uint32_t to) {
      uint8_t buffer[256];
      for (uint32_t i = from; i < to;) {
        uint32_t run = 0;
        uint8_t* data = (uint8_t*)a->FindElement(i, &run);
        if (run > to - i) run = to - i;
        uint32_t done = 0;
        while (done < run) {
          uint32_t take = run - done;
          if (take > sizeof buffer / width) take = sizeof buffer / width;
          if (self->ReadByteArray(buffer, take * width) < 0) c().TavikSerialization(false);
          uint8_t* to8 = data + done * width;
          if (width == 1) {
            if (boolean) {
              for (uint32_t k = 0; k < take; k++) c().TavikSerialization(buffer[k] <= 1);
            }
            memcpy(to8, buffer, take);
          } else {
            for (uint32_t k = 0; k < take; k++)
              for (uint32_t x = 0; x < width; x++) to8[k * width + x] = buffer[k * width + width - 1 - x];
          }
          done += take;
        }
        i += run;
      }
    });
    array->SetClass(cls);
    return array;
  }

  /* One record: its object, or NULL for the 0 that ends the records. */
  VMObject* ReadSingleObject() {
    jint v = self->ReadCompactInt(c());
    if (v == 0) return NULL;
    if (v < 0 && v > -(jint)INDEX_BASE) {
      jint t = -v - (jint)OPENING_OBJECT_ARRAY;
      if (t == 0) return ReadObjectArray();
      c().TavikSerialization(t >= 4 && t <= 11);
      return ReadPrimitiveArray(t);
    }
    VMClassDescriptor* desc;
    VMLoadableClass* cls = ClassIdToLoadableClass(v, &desc);
    c().TavikSerialization(cls != NULL);
    if (cls == policy.classClass) {
      // A class object is the class itself: one number, no fields.
      VMClassDescriptor* unused;
      VMLoadableClass* described = ReadClassReference(&unused);
      c().TavikSerialization(described != NULL);
      Enter(described);
      return described;
    }
    if (VMClass::AssignableFrom(cls, policy.externalizable)) {
      c().TavikSerialization(desc == NULL || desc->GetIsExternalizable());
      return ReadExternalizedObject(cls);
    }
    c().TavikSerialization(desc == NULL || !desc->GetIsExternalizable());
    return ReadNormalObject(cls, desc);
  }

  /* ---- completion ---- */

  struct ResolveContext {
    SerialReader* reader;
    uint32_t used;
  };

  /* The object a stored id names, or NULL when it names none. */
  VMObject* Target(jint id, uint32_t used) {
    uint32_t index = 0;
    if (!IndexFromId(id, used, &index)) return NULL;
    return objects->Get(index);
  }

  static bool Resolver(VMObject* object, VMDataMember* field, void* raw) {
    ResolveContext* context = (ResolveContext*)raw;
    if (object == NULL || IsStaticOrTransient(field) || !field->IsRefField()) return true;
    uint32_t slot = (uint32_t)field->GetIndex();
    jint id = (jint)object->GetWord(slot);
    if (id == 0) return true;
    VMObject* target = context->reader->Target(id, context->used);
    // A reference goes only where the field's declared type admits it.
    if (target == NULL || !VMClass::AssignableFrom(target->GetClass(), field->GetClass())) return false;
    object->SetWord(slot, (VMword)target);
    return true;
  }

  void CompleteObject(VMObject* object, uint32_t used) {
    VMClass* cls = object->GetClass();
    c().NotNull(cls);
    if (cls->GetIsArray()) {
      if (object->GetIsRefArray()) {
        VMClass* element = ((VMArrayClass*)cls)->GetElementClass();
        VMrefArray* array = (VMrefArray*)object;
        uint32_t size = array->GetSize();
        for (uint32_t e = 0; e < size;) {
          uint32_t run = 0;
          VMword* elements = (VMword*)array->FindElement(e, &run);
          for (uint32_t k = 0; k < run; k++) {
            if (elements[k] == 0) continue;
            VMObject* target = Target((jint)elements[k], used);
            // The store rule of an object array.
            c().TavikSerialization(target != NULL && VMClass::AssignableFrom(target->GetClass(), element));
            elements[k] = (VMword)target;
          }
          e += run;
        }
      }
    } else {
      c().TavikSerialization(cls->GetIsLoadable());
      ResolveContext context = {this, used};
      for (VMLoadableClass* k = (VMLoadableClass*)cls; k != NULL; k = k->GetSuper())
        c().Verify(object->GuidedWalkMembers(k, Resolver, &context));
    }
    object->ClearIsDeserializing();
  }

  /* Strings and StringBuffers are read through natives that trust their bounds. */
  void ValidateObject(VMObject* object) {
    VMClass* cls = object->GetClass();
    if (cls == NULL) return;
    if (cls == (VMClass*)policy.stringClass && policy.stringValue != NULL && policy.stringOffset != NULL &&
        policy.stringCount != NULL) {
      VMArray* value = (VMArray*)object->GetWord((uint32_t)policy.stringValue->GetIndex());
      uint32_t offset = object->GetWord((uint32_t)policy.stringOffset->GetIndex());
      uint32_t count = object->GetWord((uint32_t)policy.stringCount->GetIndex());
      c().TavikSerialization(value != NULL && (int32_t)offset >= 0 && (int32_t)count >= 0 &&
                             (uint64_t)offset + count <= value->GetSize());
    } else if (cls == (VMClass*)policy.bufferClass && policy.bufferValue != NULL && policy.bufferCount != NULL) {
      VMArray* value = (VMArray*)object->GetWord((uint32_t)policy.bufferValue->GetIndex());
      uint32_t count = object->GetWord((uint32_t)policy.bufferCount->GetIndex());
      c().TavikSerialization((int32_t)count >= 0 && count <= (value != NULL ? value->GetSize() : 0));
    }
  }

  /* A String's chars must be its own: a row can name a String's char[] from a
     StringBuffer, from any char[] field or element, or (through the trailing section's
     references to the row's objects) hand it to hook code, which could then change the
     String after the read. Each String whose char[] is reachable otherwise than as a
     String's value gets a private copy of its range; char[]s that only Strings use stay
     shared, as the writer found them. While this runs, the exposed char[]s carry the
     being-read flag again: they hold no references, so the collector only keeps them. */
  void OwnStringChars(uint32_t used) {
    if (policy.stringClass == NULL || policy.stringValue == NULL || policy.stringOffset == NULL ||
        policy.stringCount == NULL)
      return;
    VMClass* chars = PrimitiveClass(5)->MakeArrayOf();
    c().NotNull(chars);
    bool hooks = self->GetFlag(VMObjectDeserializer::HasOtherSerializationsFlag);
    bool strings = false;
    bool exposed = false;
    for (uint32_t i = 0; i < used; i++) {
      VMObject* object = objects->Get(i);
      // A class object of the row is the class itself: no fields of its own to look at.
      if (object->GetTag() == VMClass::Tag) continue;
      VMClass* cls = object->GetClass();
      if (cls == chars) {
        if (hooks) {
          object->SetIsDeserializing();
          exposed = true;
        }
      } else if (object->GetIsRefArray()) {
        VMrefArray* array = (VMrefArray*)object;
        for (uint32_t e = 0, size = array->GetSize(); e < size;) {
          uint32_t run = 0;
          VMObject** elements = (VMObject**)array->FindElement(e, &run);
          if (elements == NULL || run == 0) break;
          for (uint32_t k = 0; k < run; k++) {
            if (elements[k] != NULL && elements[k]->GetClass() == chars) {
              elements[k]->SetIsDeserializing();
              exposed = true;
            }
          }
          e += run;
        }
      } else if (cls == (VMClass*)policy.stringClass) {
        strings = true;
      } else if (!object->GetIsScalarArray() && cls != NULL && cls->GetIsLoadable()) {
        for (VMLoadableClass* k = (VMLoadableClass*)cls; k != NULL; k = k->GetSuper()) {
          VMDataMemberArray* fields = k->GetDataMembers();
          for (uint32_t f = 0, n = fields != NULL ? fields->GetSize() : 0; f < n; f++) {
            VMDataMember* field = fields->Get(f);
            if (field->GetIsStatic() || !field->IsRefField()) continue;
            VMObject* target = (VMObject*)object->GetWord((uint32_t)field->GetIndex());
            if (target != NULL && target->GetClass() == chars) {
              target->SetIsDeserializing();
              exposed = true;
            }
          }
        }
      }
    }
    if (!exposed) return;
    if (strings) {
      uint32_t valueSlot = (uint32_t)policy.stringValue->GetIndex();
      uint32_t offsetSlot = (uint32_t)policy.stringOffset->GetIndex();
      uint32_t countSlot = (uint32_t)policy.stringCount->GetIndex();
      for (uint32_t i = 0; i < used; i++) {
        VMObject* text = objects->Get(i);
        if (text->GetClass() != (VMClass*)policy.stringClass) continue;
        VMArray* value = (VMArray*)text->GetWord(valueSlot);
        if (!value->GetIsDeserializing()) continue;
        uint32_t count = text->GetWord(countSlot);
        VMArray* own = NewArray(count, 2, false);
        own->SetClass(chars);
        own->Copy(value, text->GetWord(offsetSlot), 0, count);
        own->ClearIsDeserializing();
        text->SetWord(valueSlot, (VMword)own);
        text->SetWord(offsetSlot, 0);
      }
    }
    for (uint32_t i = 0; i < used; i++) {
      VMObject* object = objects->Get(i);
      if (object->GetClass() == chars) object->ClearIsDeserializing();
    }
  }

  VMObject* ReadGraph(uint32_t type) {
    ReadSerialHeader(type);
    VMObject* root = ReadSingleObject();
    c().TavikSerialization(root != NULL);
    for (;;) {
      VMObject* object = ReadSingleObject();
      if (object == NULL) break;
      CheckPendingException();
    }
    uint32_t used = objects->GetFilled();
    for (uint32_t i = 0; i < used; i++) {
      VMObject* object = objects->Get(i);
      if (object->GetIsDeserializing()) {
        CompleteObject(object, used);
        CheckPendingException();
      }
    }
    // Java code sees the objects next: whatever natives trust is checked first.
    for (uint32_t i = 0; i < used; i++) ValidateObject(objects->Get(i));
    OwnStringChars(used);
    if (self->GetFlag(VMObjectDeserializer::HasOtherSerializationsFlag)) ReadTrailingSection(used);
    return root;
  }

  /* ---- the trailing section ---- */

  jclass JavaClass(const char* name) {
    jclass cls = env->functions->FindClass(env, name);
    c().NotNull(cls);
    return cls;
  }

  /* The Java stream over the section's bytes, of the host library's reading class. */
  void OpenTrailing() {
    Trailing& t = trailing;
    const JNINativeInterface_* f = env->functions;
    t.descClass = JavaClass("java/io/ObjectStreamClass");
    t.forClass = f->GetMethodID(env, t.descClass, "forClass", "()Ljava/lang/Class;");
    c().NotNull(t.forClass);
    jclass bytesClass = JavaClass("java/io/ByteArrayInputStream");
    jmethodID init = f->GetMethodID(env, bytesClass, "<init>", "([B)V");
    if (init != NULL) t.input = f->NewObject(env, bytesClass, init, t.bytes);
    f->DeleteLocalRef(env, bytesClass);
    c().NotNull(init);
    CheckPendingException();
    c().NotNull(t.input);
    f->DeleteLocalRef(env, t.bytes);
    t.bytes = NULL;
    jclass streamClass = JavaClass(ns->GetLibraryVersion() >= 2 ? "nimbrel/tavik/jrt/serialization/VqObjectInputStream"
                                                                : "corvane/sql/Tavik/VqObjectInputStream");
    init = f->GetMethodID(env, streamClass, "<init>", "(Ljava/io/InputStream;)V");
    t.currentObject = f->GetFieldID(env, streamClass, "currentObject", "Ljava/lang/Object;");
    t.currentClassDesc = f->GetFieldID(env, streamClass, "currentClassDesc", "Ljava/io/ObjectStreamClass;");
    jmethodID enableResolve = f->GetMethodID(env, streamClass, "enableResolveObject", "(Z)Z");
    t.readInt = f->GetMethodID(env, streamClass, "readInt", "()I");
    t.readObject = f->GetMethodID(env, streamClass, "readObject", "()Ljava/lang/Object;");
    t.defaultReadObject = f->GetMethodID(env, streamClass, "defaultReadObject", "()V");
    bool methods = init != NULL && enableResolve != NULL && t.readInt != NULL && t.readObject != NULL &&
                   t.defaultReadObject != NULL;
    bool fields = t.currentObject != NULL && t.currentClassDesc != NULL;
    if (methods && fields) t.stream = f->NewObject(env, streamClass, init, t.input);
    f->DeleteLocalRef(env, streamClass);
    c().Verify(methods);
    c().NotNull(fields ? (void*)1 : NULL);
    CheckPendingException();
    c().NotNull(t.stream);
    (void)f->CallBooleanMethod(env, t.stream, enableResolve, (jboolean)1);
    CheckPendingException();
  }

  VMMethod* ReadExternalMethod(VMLoadableClass* cls, VMLoadableClass** owner) {
    return InheritedHook(ns, cls, "readExternal", "(Ljava/io/ObjectInput;)V", owner, c());
  }

  void Drop(jobject* ref) {
    if (*ref != NULL) env->functions->DeleteLocalRef(env, *ref);
    *ref = NULL;
  }

  /* One record's call: with a class, the stream descriptor the record carries, which
     must describe exactly that class, becomes the stream's current one with the object;
     then the hook (exactly the one found, never an override) or, without one, the
     stream's default field reader. */
  void RecordCall(VMObject* object, VMLoadableClass* k, VMMethod* method, VMLoadableClass* methodClass) {
    Trailing& t = trailing;
    const JNINativeInterface_* f = env->functions;
    t.target = VMJniHandle::NewLocal(env, object);
    c().NotNull(t.target);
    if (k != NULL) {
      t.desc = f->CallObjectMethod(env, t.stream, t.readObject);
      CheckPendingException();
      c().TavikSerialization(t.desc != NULL && f->IsInstanceOf(env, t.desc, t.descClass));
      jobject described = f->CallObjectMethod(env, t.desc, t.forClass);
      bool same = described != NULL && VMJniHandle::UnHandle(env, described) == (VMObject*)k;
      if (described != NULL) f->DeleteLocalRef(env, described);
      CheckPendingException();
      // Another class's descriptor would have the default reader store that class's
      // fields into this object.
      c().TavikSerialization(same);
      f->SetObjectField(env, t.stream, t.currentObject, t.target);
      f->SetObjectField(env, t.stream, t.currentClassDesc, t.desc);
    }
    if (method == NULL) {
      f->CallVoidMethod(env, t.stream, t.defaultReadObject);
    } else {
      jmethodID id = (jmethodID)VMJniHandle::NewFieldID(env, method);
      c().NotNull(id);
      jobject owner = VMJniHandle::NewLocal(env, (VMObject*)methodClass);
      c().NotNull(owner);
      f->CallNonvirtualVoidMethod(env, t.target, (jclass)owner, id, t.stream);
      f->DeleteLocalRef(env, owner);
    }
    CheckPendingException();
    if (k != NULL) {
      f->SetObjectField(env, t.stream, t.currentObject, NULL);
      f->SetObjectField(env, t.stream, t.currentClassDesc, NULL);
    }
    Drop(&t.desc);
    Drop(&t.target);
  }

  jint ReadJavaInt() {
    jint value = env->functions->CallIntMethod(env, trailing.stream, trailing.readInt);
    CheckPendingException();
    return value;
  }

  /* C(records), C(bytes), the bytes; then every record, which must be the one the
     records owe next: the same object, the same class. */
  void ReadTrailingSection(uint32_t used) {
    jint count = self->ReadCompactInt(c());
    c().TavikSerialization(count >= 0 && (uint32_t)count == pendingCount);
    jint length = self->ReadCompactInt(c());
    c().TavikSerialization(length >= 0);
    // The bytes arrive before the array of their length is made whole.
    VMArray* bytes = ReadPrimitiveElements(8, (uint32_t)length);
    trailing.bytes = VMJniHandle::NewLocal(env, bytes);
    bytes->ClearIsDeserializing();
    c().NotNull(trailing.bytes);
    // Java code runs from here: nothing it did not throw may be pending.
    CheckPendingException();
    javaRan = true;
    OpenTrailing();
    for (uint32_t r = 0; r < pendingCount; r++) {
      uint32_t expected = (uint32_t)pending[2 * r];
      VMLoadableClass* k = (VMLoadableClass*)pending[2 * r + 1];
      jint id = ReadJavaInt();
      uint32_t index = 0;
      c().TavikSerialization(IndexFromId(id, used, &index) && index == expected);
      VMObject* object = objects->Get(index);
      c().TavikSerialization(object != NULL);
      if (k == NULL) {
        VMLoadableClass* owner = NULL;
        VMMethod* method = ReadExternalMethod((VMLoadableClass*)object->GetClass(), &owner);
        RecordCall(object, NULL, method, owner);
      } else {
        VMClassDescriptor* unused;
        c().TavikSerialization(ClassIdToLoadableClass(ReadJavaInt(), &unused) == k);
        RecordCall(object, k, self->GetReadObjectMethod(k, c()), k);
      }
    }
  }

  /* Lets go of the section's references and the list of owed records. */
  void ReleaseTrailing() {
    Trailing& t = trailing;
    for (jobject* ref : {&t.bytes, &t.input, &t.stream, &t.target, &t.desc, &t.made}) Drop(ref);
    jobject descClass = t.descClass;
    Drop(&descClass);
    memset(&t, 0, sizeof t);
    if (pending != NULL) VMUtils::GetHostFunctions()->HeapFree(NULL, pending);
    pending = NULL;
    pendingCount = pendingCapacity = 0;
  }

  /* ---- start and end of a read ---- */

  void Initialize(JNIEnv* e, VMClassLoader* loader, VMErrorCatcher& caught) {
    catcher = &caught;
    env = e;
    ns = EnvNameSpace(env);
    heap = EnvHeap(env);
    exceptionCheckFailed = false;
    spent = 0;
    self->SetEnv(env);
    self->SetLoader(loader);
    self->SetFlag(VMObjectDeserializer::HasOtherSerializationsFlag, false);
    budget = self->GetScalar(VMObjectDeserializer::BudgetWord);
    if (budget == 0) budget = VMUtils::GetHostFunctions()->HeapTotalBytes(heap);
    if (self->GetClassCache() == NULL) {
      self->SetReference(VMObjectDeserializer::ClassCacheWord, VMIdToObjectCache::CreateInstance(heap, 4));
      c().NotNull(self->GetClassCache());
    } else {
      // Classes cached by an earlier read may belong to a loader destroyed since: the
      // cache serves one read.
      self->GetClassCache()->Clear();
    }
    if (self->GetObjectTable() == NULL) {
      self->SetReference(VMObjectDeserializer::ObjectTableWord, NewTable(heap, IdentityHash, kTableSize));
      c().NotNull(self->GetObjectTable());
    }
    if (self->GetDescriptorTable() == NULL) {
      self->SetReference(VMObjectDeserializer::DescriptorTableWord,
                         NewTable(heap, DescriptorIdHash, kDescriptorTableSize));
      c().NotNull(self->GetDescriptorTable());
    }
    objects = self->GetObjectTable();
    classes = NULL;
    InitClassPolicy(env, &policy, self->GetSerializableClass(c()), self->GetExternalizableClass(c()));
    // Every row is read from its own first byte, whatever an earlier read left.
    VMInputByteStream* stream = self->GetStream();
    stream->Reset();
    stream->Prefetch();
    self->CheckStream(c());
    int header = self->ReadByteAsInt();
    c().TavikSerialization(header >= 0);
    version = (uint32_t)header & ((1u << VERSION_BITS) - 1);
    self->SetScalar(VMObjectDeserializer::VersionWord, version);
    self->SetScalar(VMObjectDeserializer::TypeWord, (uint32_t)header >> VERSION_BITS);
  }

  void UseClassList() {
    if (self->GetClassTable() == NULL) {
      self->SetReference(VMObjectDeserializer::ClassTableWord, NewTable(heap, IdentityHash, kTableSize));
      c().NotNull(self->GetClassTable());
    }
    classes = self->GetClassTable();
  }

  /* An object still being read: its stored ids go, then its flag. */
  static void Clean(VMObject* object) {
    VMClass* cls = object->GetClass();
    if (object->GetIsRefArray()) {
      VMrefArray* array = (VMrefArray*)object;
      for (uint32_t e = 0, size = array->GetSize(); e < size;) {
        uint32_t run = 0;
        VMword* elements = (VMword*)array->FindElement(e, &run);
        if (elements == NULL || run == 0) break;
        for (uint32_t k = 0; k < run; k++) elements[k] = 0;
        e += run;
      }
    } else if (!object->GetIsScalarArray() && cls != NULL && cls->GetIsLoadable()) {
      for (VMLoadableClass* k = (VMLoadableClass*)cls; k != NULL; k = k->GetSuper()) {
        VMDataMemberArray* fields = k->GetDataMembers();
        for (uint32_t i = 0, n = fields != NULL ? fields->GetSize() : 0; i < n; i++) {
          VMDataMember* field = fields->Get(i);
          if (!field->GetIsStatic() && field->IsRefField()) object->SetWord((uint32_t)field->GetIndex(), 0);
        }
      }
    }
    object->ClearIsDeserializing();
  }

  /* Empties every table of the read. After a failure the objects the read made are
     released when no Java code has run for the read (none has seen them), each taken out
     of the table before it goes, so that nothing ever reaches a released block through
     it; once Java code has run they are cleaned and left to the collector. */
  void Finish(bool failed) {
    if (env != NULL) ReleaseTrailing();
    VMObjectHashTable* table = self->GetObjectTable();
    if (table != NULL) {
      if (failed && javaRan) {
        // Java code may have kept any of them: each is made safe to reach and left to
        // the collector.
        VMObjectArray* entries = table->GetObjectArray();
        uint32_t used = table->GetFilled();
        for (uint32_t i = 0; i < used; i++) {
          VMObject* object = entries->Get(i);
          entries->Set(i, NULL);
          if (object != NULL && object->GetIsDeserializing()) Clean(object);
        }
      } else if (failed) {
        VMObjectArray* entries = table->GetObjectArray();
        uint32_t used = table->GetFilled();
        for (uint32_t i = 0; i < used; i++) {
          VMObject* object = entries->Get(i);
          entries->Set(i, NULL);
          if (object == NULL || object->GetClass() == (VMClass*)policy.classClass) continue;
          object->Destroy(heap);
        }
      }
      table->Clear();
    }
    if (VMObjectHashTable* external = self->GetExtProxyMgr()) external->Clear();
    // Descriptors live for one read; classes are the loaders'. A descriptor of a class
    // list's record is in the class table only, one of the host's class data in the
    // descriptor table (and perhaps the class table too): each goes once.
    for (uint32_t word : {(uint32_t)VMObjectDeserializer::ClassTableWord, (uint32_t)VMObjectDeserializer::DescriptorTableWord}) {
      VMObjectHashTable* t = (VMObjectHashTable*)self->GetReference(word);
      if (t == NULL) continue;
      bool hostData = word == (uint32_t)VMObjectDeserializer::DescriptorTableWord;
      VMObjectArray* entries = t->GetObjectArray();
      uint32_t used = t->GetFilled();
      for (uint32_t i = 0; i < used; i++) {
        VMObject* entry = entries->Get(i);
        entries->Set(i, NULL);
        if (entry == NULL || entry->GetTag() != VMTag_VMClassDescriptor) continue;
        VMClassDescriptor* desc = (VMClassDescriptor*)entry;
        if (hostData || desc->GetHostId() == 0) desc->Destroy(heap);
      }
      t->Clear();
    }
    for (uint32_t word : {(uint32_t)VMObjectDeserializer::ObjectTableWord, (uint32_t)VMObjectDeserializer::ClassTableWord}) {
      VMObjectHashTable* t = (VMObjectHashTable*)self->GetReference(word);
      if (t != NULL && t->GetHashSize() > kTableKeepLimit) {
        t->Destroy(heap);
        self->SetReference(word, NULL);
      }
    }
    if (VMIdToObjectCache* cache = self->GetClassCache()) cache->Clear();
    self->SetEnv(NULL);
    self->SetLoader(NULL);
  }
};

/* ---------------------------------------------------------------------------------- */

VMObjectDeserializer* VMObjectDeserializer::CreateInstance(HHeap* heap, JNIHostSerializationSupport* support,
                                                           VMInputByteStream* stream) {
  if (stream == NULL) return NULL;
  VMObjectDeserializer* self = (VMObjectDeserializer*)CreateInternalNotToBeCalledDirectly(
      heap, Words, RefMask, VMTag_VMObjectDeserializer, jallocFailFast);
  if (self != NULL) self->InitBase(stream, support);
  return self;
}

void VMObjectDeserializer::Destroy(HHeap* heap) {
  if (VMInputByteStream* stream = GetStream()) stream->Destroy(heap);
  for (uint32_t word : {(uint32_t)ExtTableWord, (uint32_t)ObjectTableWord, (uint32_t)ClassTableWord,
                        (uint32_t)DescriptorTableWord}) {
    if (VMObjectHashTable* t = (VMObjectHashTable*)GetReference(word)) t->Destroy(heap);
  }
  if (VMIdToObjectCache* cache = GetClassCache()) cache->Destroy(heap);
  VMObject::Destroy(heap);
}

bool VMObjectDeserializer::ReadVMObject(JNIEnv* env, jobject* out, VMClassLoader* loader) {
  VM_ASSERT(out != NULL && env != NULL);
  if (out == NULL || env == NULL) return false;
  *out = NULL;
  // A read started from Java code that this read runs would take over its buffer and
  // tables: refused, and nothing of the outer read is touched.
  if (GetIsBusy()) return false;
  SetFlag(BusyFlag, true);
  EntryState entry;
  SaveEntryException(env, &entry);
  SerialReader r;
  r.self = this;
  r.Prepare();
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    SetScalar(LastStatusWord, (VMword)status);
    r.catcher = &catcher;
    r.Finish(true);
    if (!r.exceptionCheckFailed) DropOwnExceptions(env, &entry);
    SetFlag(BusyFlag, false);
    return false;
  }
  r.Initialize(env, loader, catcher);
  uint32_t type = GetType();
  jobject root = NULL;
  switch (type) {
    case SerializationTypeIds:
    case SerializationTypeIdList:
    case SerializationTypeNameList:
    case SerializationTypeDescriptorList:
      catcher.Verify(r.version <= CURRENT_SERIAL_VERSION);
      if (type != SerializationTypeIds) r.UseClassList();
      // The root is held before the tables let go of the graph.
      root = VMJniHandle::NewLocal(env, r.ReadGraph(type));
      catcher.NotNull(root);
      break;
    case SerializationTypeStandard:
      catcher.Verify(r.version == STANDARD_VERSION);
      catcher.TavikSerialization(GetSupport() == NULL || GetSupport()->RefuseStandardRows == NULL);
      {
        VMStatus status = 0;
        root = ReadStandardStream(env, GetSupport(), GetStream()->GetHostStream(), &status);
        if (status != 0) catcher.Throw(status);
      }
      break;
    default:
      catcher.TavikSerialization(false);
  }
  r.Finish(false);
  SetScalar(LastStatusWord, 0);
  SetFlag(BusyFlag, false);
  *out = root;
  return true;
}

bool VMObjectDeserializer::ReadVMObjectClasses(JNIEnv* env, VMClassLoader* loader) {
  if (env == NULL || GetIsBusy()) return false;
  SetFlag(BusyFlag, true);
  EntryState entry;
  SaveEntryException(env, &entry);
  SerialReader r;
  r.self = this;
  r.Prepare();
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    SetScalar(LastStatusWord, (VMword)catcher.Caught());
    r.catcher = &catcher;
    r.Finish(true);
    DropOwnExceptions(env, &entry);
    SetFlag(BusyFlag, false);
    return false;
  }
  r.Initialize(env, loader, catcher);
  uint32_t type = GetType();
  if (type == SerializationTypeIdList || type == SerializationTypeNameList ||
      type == SerializationTypeDescriptorList) {
    catcher.Verify(r.version <= CURRENT_SERIAL_VERSION);
    r.UseClassList();
    r.ReadSerialHeader(type);
  } else {
    catcher.TavikSerialization(false);
  }
  // The class list served this call only: the next read builds its own.
  r.Finish(false);
  SetScalar(LastStatusWord, 0);
  SetFlag(BusyFlag, false);
  return true;
}

VMStatus VMObjectDeserializer::FindObject(jint id, VMObject** out) {
  if (out != NULL) *out = NULL;
  VMObjectHashTable* table = GetObjectTable();
  if (table == NULL) return VMStatus_OutOfMemoryError;
  uint32_t index;
  if (!IndexFromId(id, table->GetFilled(), &index)) return VMStatus_TavikSerializationError;
  VMObject* object = table->Get(index);
  // An object still being read holds stored ids where its references go.
  if (object == NULL || object->GetIsDeserializing()) return VMStatus_TavikSerializationError;
  if (out != NULL) *out = object;
  return 0;
}
