/* Stored objects: the machine's own compact form of a Java object graph, written to and
   read from the host's byte streams (JNIHostSerializationSupport).

   - VMOutputByteStream / VMInputByteStream: 64-byte buffers over the host's Write and Read.
   - VMDataOutputStream / VMDataInputStream: big-endian values and compact integers on them.
   - VMBaseSerializer / VMBaseDeserializer: what the object writer and reader share with the
     class-descriptor streams (class-descriptor records, Java names, the look-ups of
     Serializable, Externalizable and the writeObject/readObject hooks).
   - VMObjectSerializer / VMObjectDeserializer: one object graph per call.
   - VMClassDescSerializer / VMClassDescDeserializer: one class-descriptor record per call.
   - VMClassDescriptor: a descriptor record as read; VMLiteralToIdCache and
     VMIdToObjectCache: small direct-mapped caches of host class ids.

   Every byte a reader takes in comes from a database row: nothing in it is trusted. Ids are
   bounded by the objects read so far, class references by the class list, references are
   stored only into fields and elements whose declared type admits them, sizes are bounded
   by the bytes that actually arrive, and a failed read leaves no half-read object behind.

   Class-specific data (a class's own writeObject/readObject, Externalizable) travels in
   a trailing section written and read by the Java object streams of the host's library
   (its VqObjectOutputStream/VqObjectInputStream); whole graphs in standard Java
   serialization are stream type 5. */
#ifndef PUX_VMSERIAL_H
#define PUX_VMSERIAL_H

#include "jnihost.h"
#include "vmarray.h"
#include "vmerrorcatcher.h"
#include "vmobject.h"

/* Stream types: the high three bits of a stream's first byte. */
enum SerializationType {
  SerializationTypeIds = 0,          /* class references are host class ids */
  SerializationTypeIdList = 1,       /* a class list of host class ids first */
  SerializationTypeNameList = 2,     /* a class list of Java names first (read only) */
  SerializationTypeDescriptorList = 3, /* a class list of class-descriptor records first */
  SerializationTypeClassDesc = 4,    /* the lead byte 0x81 of a descriptor record */
  SerializationTypeStandard = 5,     /* standard Java serialization (0xAC ED ...) */
};

namespace vmserial {

enum : uint32_t {
  TYPE_BITS = 3,
  VERSION_BITS = 5,
  CURRENT_SERIAL_VERSION = 1,
  SERIAL_TYPE_CLASSDESC = 0x81,
  STANDARD_VERSION = 12,     /* 0xAC read as a header byte */
  BUFFER_CAPACITY = 64,
  /* The name part of an array-class name ("[[L", "[[I" with its 0) holds at most this. */
  MAX_ARRAY_NAME_PART = 20,
  /* A Java name (class, field or signature) is at most a class file's 16-bit length. */
  MAX_JAVA_NAME = 65535,
  /* A class descriptor lists at most a class file's 16-bit count of fields. */
  MAX_DESCRIPTOR_FIELDS = 65535,
  /* Object records open with -64 - t: -64 for object arrays, -68..-75 for primitive ones. */
  OPENING_OBJECT_ARRAY = 64,
  /* Ids and class-list references are -128 - index. */
  INDEX_BASE = 128,
  /* Descriptor flags. */
  DESC_SERIALIZABLE = 0x1,
  DESC_EXTERNALIZABLE = 0x2,
  DESC_READ_OBJECT = 0x4,
  DESC_WRITE_OBJECT = 0x8,
};

/* The list index that a stored class reference or object id v names: v must be -128 or
   below and its index below `used`. Computed without overflow for every 32-bit v. */
inline bool IndexFromId(int32_t v, uint32_t used, uint32_t* index) {
  int64_t i = -(int64_t)INDEX_BASE - (int64_t)v;
  if (i < 0 || i >= (int64_t)used) return false;
  *index = (uint32_t)i;
  return true;
}

/* The stored type code of a field signature's first character (4..11), 0 for a
   reference, -1 for anything else. */
int TypeCodeOfSignature(jchar first);
/* The one-letter signature of a type code 4..11, 0 for any other code. */
char SignatureOfTypeCode(int code);
/* Stored bytes of a type code 4..11. */
uint32_t SizeOfTypeCode(int code);

/* A class name in internal form as stored data may carry it: non-empty '/'-separated
   segments without '.', ';' or '[' (an array name is never a stored class name). */
bool IsValidStoredClassName(const uint8_t* bytes, uint32_t length);
/* A field name: non-empty, without '.', ';', '[' or '/'. */
bool IsValidStoredFieldName(const uint8_t* bytes, uint32_t length);

}  // namespace vmserial

/* ------------------------------------------------------------------------------------ */
/* Byte streams                                                                          */

class VMByteStream : public VMInternalObject {
 public:
  enum { Words = 7, RefMask = 0 };
  enum { StartWord = 0, CapacityWord = 1, CursorWord = 2, LimitWord = 3, FlagsWord = 4,
         SupportWord = 5, HostStreamWord = 6 };
  enum : VMword { ErrorFlag = 1 };

  uint8_t* GetStart() const { return (uint8_t*)GetScalar(StartWord); }
  uint32_t GetCapacity() const { return GetScalar(CapacityWord); }
  uint8_t* GetCursor() const { return (uint8_t*)GetScalar(CursorWord); }
  void SetCursor(uint8_t* p) { SetScalar(CursorWord, (VMword)p); }
  /* The last usable byte (inclusive); one before the start when nothing is buffered. */
  uint8_t* GetLimit() const { return (uint8_t*)GetScalar(LimitWord); }
  void SetLimit(uint8_t* p) { SetScalar(LimitWord, (VMword)p); }
  JNIHostSerializationSupport* GetSupport() const { return (JNIHostSerializationSupport*)GetScalar(SupportWord); }
  void* GetHostStream() const { return (void*)GetScalar(HostStreamWord); }
  void SetHostStream(void* stream) { SetScalar(HostStreamWord, (VMword)stream); }

  bool GetIsError() const { return (GetScalar(FlagsWord) & ErrorFlag) != 0; }
  void SetIsError() { SetScalar(FlagsWord, GetScalar(FlagsWord) | ErrorFlag); }
  void ClearIsError() { SetScalar(FlagsWord, GetScalar(FlagsWord) & ~ErrorFlag); }

  /* Nothing left before the limit; fewer than n bytes left. */
  bool EOS() const { return Left() <= 0; }
  bool EOS(uint32_t n) const { return Left() < (int32_t)n; }
  uint32_t Length() const { return (uint32_t)(GetCursor() - GetStart()); }
  void InitByteArray(uint8_t* buffer, uint32_t size);
  /* Releases the buffer and the stream. */
  void Destroy(HHeap* heap);

 protected:
  /* Bytes between the cursor and the limit (inclusive), as a signed count. */
  int32_t Left() const { return (int32_t)(GetScalar(LimitWord) - GetScalar(CursorWord)) + 1; }
  static VMByteStream* Create(HHeap* heap, JNIHostSerializationSupport* support, VMword tag);
};

class VMOutputByteStream : public VMByteStream {
 public:
  static VMOutputByteStream* CreateInstance(HHeap* heap, JNIHostSerializationSupport* support);

  void Write(uint8_t byte) {
    uint8_t* cursor = GetCursor();
    if (cursor <= GetLimit()) {
      *cursor = byte;
      SetCursor(cursor + 1);
    } else {
      WriteOverflow(byte);
    }
  }
  void Write(const uint8_t* bytes, uint32_t n) {
    if (!EOS(n)) {
      WriteNoChk(bytes, n);
    } else {
      WriteOverflow(bytes, n);
    }
  }
  void WriteNoChk(uint8_t byte) {
    uint8_t* cursor = GetCursor();
    *cursor = byte;
    SetCursor(cursor + 1);
  }
  void WriteNoChk(const uint8_t* bytes, uint32_t n);
  void WriteOverflow(uint8_t byte);
  void WriteOverflow(const uint8_t* bytes, uint32_t n);
  /* Hands the buffered bytes to the host; the error bit on refusal (bytes kept). */
  void Flush();
  /* Drops whatever an earlier operation left buffered and clears the error bit: the
     bytes of a failed write belong to no later row. */
  void Reset();
};

class VMInputByteStream : public VMByteStream {
 public:
  /* The largest piece one Read(buffer, n) moves: callers move fixed pieces, never a
     length taken from stored data. */
  enum : uint32_t { MAX_PIECE = 4096 };

  static VMInputByteStream* CreateInstance(HHeap* heap, JNIHostSerializationSupport* support);

  /* Refills the buffer from the host (whatever was still buffered is dropped). A count
     outside 0..capacity, or a refusal, sets the error bit and changes nothing else. */
  void Prefetch();
  /* 0..255, or -1 at the end (error bit set). */
  int Read() {
    uint8_t* cursor = GetCursor();
    if (cursor <= GetLimit()) {
      SetCursor(cursor + 1);
      return *cursor;
    }
    return ReadEOS();
  }
  /* n bytes, or -1 when fewer arrive (error bit set). */
  int Read(uint8_t* buffer, uint32_t n) {
    if (!EOS(n)) {
      ReadNoChk(buffer, n);
      return (int)n;
    }
    return ReadEOS(buffer, n);
  }
  int ReadNoChk() {
    uint8_t* cursor = GetCursor();
    SetCursor(cursor + 1);
    return *cursor;
  }
  void ReadNoChk(uint8_t* buffer, uint32_t n);
  int ReadEOS();
  int ReadEOS(uint8_t* buffer, uint32_t n);
  /* Skips within the buffer only; the bytes skipped. */
  int Skip(uint32_t n);
  /* Positions the host stream; the buffer is left as it is. */
  void Seek(jint offset, jint origin);
  /* Empties the buffer and clears the error bit, so that the next read fills afresh. */
  void Reset();
  /* The bytes buffered and not yet read. */
  uint32_t Buffered() const {
    int32_t left = Left();
    return left > 0 ? (uint32_t)left : 0;
  }
};

/* The writer and reader bases: word 0 is the byte stream. */
class VMDataOutputStream : public VMInternalObject {
 public:
  enum { StreamWord = 0 };
  VMOutputByteStream* GetStream() const { return (VMOutputByteStream*)GetReference(StreamWord); }
  void SetStream(VMOutputByteStream* s) { SetReference(StreamWord, (VMObject*)s); }

  void WriteByte(uint8_t b) { GetStream()->Write(b); }
  void WriteBoolean(bool b) { WriteByte(b ? 1 : 0); }
  void WriteWord(uint16_t w) {
    uint8_t bytes[2] = {(uint8_t)(w >> 8), (uint8_t)w};
    GetStream()->Write(bytes, 2);
  }
  void WriteChar(jchar c) { WriteWord(c); }
  void WriteShort(jshort s) { WriteWord((uint16_t)s); }
  void WriteDWord(uint32_t d) {
    uint8_t bytes[4] = {(uint8_t)(d >> 24), (uint8_t)(d >> 16), (uint8_t)(d >> 8), (uint8_t)d};
    GetStream()->Write(bytes, 4);
  }
  void WriteInt(jint i) { WriteDWord((uint32_t)i); }
  void WriteFloat(jfloat f);
  void WriteQWord(uint64_t q) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; i++) bytes[i] = (uint8_t)(q >> (56 - 8 * i));
    GetStream()->Write(bytes, 8);
  }
  void WriteLong(jlong l) { WriteQWord((uint64_t)l); }
  void WriteDouble(jdouble d);
  void WriteByteArray(const uint8_t* bytes, uint32_t n) { GetStream()->Write(bytes, n); }
  /* The 1-5 byte form; 43 when the stream's error bit is set afterwards. The minimum
     32-bit value has no magnitude in the format and is refused (43). */
  void WriteCompactInt(jint value, VMErrorCatcher& catcher);
  /* The same without the checks: false only for the minimum value (nothing written). */
  bool PutCompactInt(jint value) {
    if (value >= 0 && value < 64) {
      GetStream()->Write((uint8_t)value);
      return true;
    }
    return PutLongCompactInt(value);
  }
  bool PutLongCompactInt(jint value);
  /* 43 unless the stream's error bit is clear. */
  void CheckStream(VMErrorCatcher& catcher) { catcher.TavikSerialization(!GetStream()->GetIsError()); }
};

class VMDataInputStream : public VMInternalObject {
 public:
  enum { StreamWord = 0 };
  VMInputByteStream* GetStream() const { return (VMInputByteStream*)GetReference(StreamWord); }
  void SetStream(VMInputByteStream* s) { SetReference(StreamWord, (VMObject*)s); }

  /* Each reads its bytes; at the end the stream's error bit is set and the value is
     whatever arrived (callers check). */
  jint ReadByteAsInt() { return GetStream()->Read(); }
  jbyte ReadByte() { return (jbyte)GetStream()->Read(); }
  bool ReadBoolean() { return (GetStream()->Read() & 0xFF) != 0; }
  uint16_t ReadWord();
  jchar ReadChar() { return ReadWord(); }
  jshort ReadShort() { return (jshort)ReadWord(); }
  uint32_t ReadDWord();
  jint ReadInt() { return (jint)ReadDWord(); }
  jfloat ReadFloat();
  uint64_t ReadQWord();
  jlong ReadLong() { return (jlong)ReadQWord(); }
  jdouble ReadDouble();
  int ReadByteArray(uint8_t* buffer, uint32_t n) { return GetStream()->Read(buffer, n); }
  /* The 1-5 byte form. 43 at the end of the data, and for a magnitude above
     2147483647, which no writer makes. */
  jint ReadCompactInt(VMErrorCatcher& catcher) {
    jint value;
    if (!GetCompactInt(&value)) catcher.TavikSerialization(false);
    return value;
  }
  /* The same without the throw: false at the end of the data or for such a magnitude. */
  bool GetCompactInt(jint* value) {
    VMInputByteStream* s = GetStream();
    uint8_t* cursor = s->GetCursor();
    if (cursor <= s->GetLimit() && (*cursor & 0x40) == 0) {
      s->SetCursor(cursor + 1);
      uint8_t b = *cursor;
      *value = (b & 0x80) != 0 ? -(jint)(b & 0x3F) : (jint)b;
      return true;
    }
    return GetLongCompactInt(value);
  }
  bool GetLongCompactInt(jint* value);
  void CheckStream(VMErrorCatcher& catcher) { catcher.TavikSerialization(!GetStream()->GetIsError()); }
};

/* ------------------------------------------------------------------------------------ */
/* Caches and class descriptors                                                          */

class VMObjectCache : public VMInternalObject {
 public:
  enum { Words = 5, RefMask = 0x7 };
  enum { KeysWord = 0, StampsWord = 1, ValuesWord = 2, CounterWord = 3, SizeWord = 4 };

  /* 1 << (bits & 31) slots, all empty; NULL (with nothing left) on any failure. */
  static VMObjectCache* CreateInstance(HHeap* heap, uint32_t bits, VMword tag);
  void Destroy(HHeap* heap);
  /* Empties every slot. */
  void Clear();

  VMintArray* GetKeys() const { return (VMintArray*)GetReference(KeysWord); }
  VMintArray* GetStamps() const { return (VMintArray*)GetReference(StampsWord); }
  VMrefArray* GetValues() const { return (VMrefArray*)GetReference(ValuesWord); }
  uint32_t GetCounter() const { return GetScalar(CounterWord); }
  void SetCounter(uint32_t c) { SetScalar(CounterWord, c); }
  uint32_t GetSize() const { return GetScalar(SizeWord); }

 protected:
  /* A hit on slot: the counter grows and the slot takes it as its stamp. */
  void Touch(uint32_t slot);
  /* Stores (key, value) in slot unless the present pair is young enough to stay. */
  void Insert(uint32_t slot, jint key, VMObject* value);
};

class VMLiteralToIdCache : public VMObjectCache {
 public:
  static VMLiteralToIdCache* CreateInstance(HHeap* heap, uint32_t bits);
  void AddObject(jint id, VMLiteral* literal);
  /* The id cached for the literal, or 0. */
  jint FindId(VMLiteral* literal);
};

class VMIdToObjectCache : public VMObjectCache {
 public:
  static VMIdToObjectCache* CreateInstance(HHeap* heap, uint32_t bits);
  void AddObject(jint id, VMObject* object);
  /* The object cached for the id, or NULL (id 0 is never cached). */
  VMObject* FindObject(jint id);
};

class VMClassDescriptor : public VMInternalObject {
 public:
  enum { Words = 5, RefMask = 0x7 };
  enum { NameWord = 0, ClassWord = 1, MembersWord = 2, FlagsWord = 3, HostIdWord = 4 };

  /* The descriptor of `count` fields (all empty), or NULL. */
  static VMClassDescriptor* CreateInstance(HHeap* heap, VMLiteral* name, uint32_t count);
  /* Releases the members, their array and the descriptor. */
  void Destroy(HHeap* heap);

  VMLiteral* GetName() const { return (VMLiteral*)GetReference(NameWord); }
  VMLoadableClass* GetClass() const { return (VMLoadableClass*)GetReference(ClassWord); }
  void SetClass(VMLoadableClass* c) { SetReference(ClassWord, (VMObject*)c); }
  VMDataMemberArray* GetMembers() const { return (VMDataMemberArray*)GetReference(MembersWord); }
  /* The host class id it was read for (0 for one of a class list). */
  jint GetHostId() const { return (jint)GetScalar(HostIdWord); }
  void SetHostId(jint id) { SetScalar(HostIdWord, (VMword)id); }

#define PUX_DESC_FLAG(Name, bit)                                                   \
  bool Get##Name() const { return (GetScalar(FlagsWord) & (bit)) != 0; }           \
  void Set##Name() { SetScalar(FlagsWord, GetScalar(FlagsWord) | (bit)); }         \
  void Clear##Name() { SetScalar(FlagsWord, GetScalar(FlagsWord) & ~(VMword)(bit)); }
  PUX_DESC_FLAG(IsSerializable, vmserial::DESC_SERIALIZABLE)
  PUX_DESC_FLAG(IsExternalizable, vmserial::DESC_EXTERNALIZABLE)
  PUX_DESC_FLAG(HasReadObjectMethod, vmserial::DESC_READ_OBJECT)
  PUX_DESC_FLAG(HasWriteObjectMethod, vmserial::DESC_WRITE_OBJECT)
#undef PUX_DESC_FLAG
  VMword GetFlags() const { return GetScalar(FlagsWord); }
};

/* ------------------------------------------------------------------------------------ */
/* The bases                                                                             */

class VMBaseSerializer : public VMDataOutputStream {
 public:
  enum {
    ExternalizableWord = 1, SerializableWord = 2, WriteObjectNameWord = 3, WriteObjectSigWord = 4,
    ReadObjectNameWord = 5, ReadObjectSigWord = 6, SupportWord = 7, EnvWord = 8, BaseWords = 9
  };
  enum : VMword { BaseRefMask = 0x7F };

  JNIHostSerializationSupport* GetSupport() const { return (JNIHostSerializationSupport*)GetScalar(SupportWord); }
  JNIEnv* GetEnv() const { return (JNIEnv*)GetScalar(EnvWord); }
  void SetEnv(JNIEnv* env) { SetScalar(EnvWord, (VMword)env); }

  /* One class-descriptor record (none: the end record) and a flush; false on failure.
     The record names the class's own storable fields. */
  bool WriteClassDesc(JNIEnv* env, VMLoadableClass* cls);

  /* java/io/Serializable and java/io/Externalizable, found and initialised on first use. */
  VMLoadableClass* GetSerializableClass(VMErrorCatcher& catcher);
  VMLoadableClass* GetExternalizableClass(VMErrorCatcher& catcher);
  /* The non-static writeObject(ObjectOutputStream) / readObject(ObjectInputStream) that
     the class itself declares, whatever its access; NULL when there is none. */
  VMMethod* GetWriteObjectMethod(VMLoadableClass* cls, VMErrorCatcher& catcher);
  VMMethod* GetReadObjectMethod(VMLoadableClass* cls, VMErrorCatcher& catcher);
  /* The descriptor flags byte of a class: 0, 3, or 1 + 4 + 8 by its hooks. */
  uint8_t DescriptorFlags(VMLoadableClass* cls, VMErrorCatcher& catcher);

 protected:
  void InitBase(VMOutputByteStream* stream, JNIHostSerializationSupport* support);
  /* The record itself, without the flush. */
  void WriteClassDescRecord(VMLoadableClass* cls, VMErrorCatcher& catcher);
  /* The literal's bytes and a 0 byte. */
  void WriteJavaName(VMLiteral* name, VMErrorCatcher& catcher);
  VMLiteral* Literal(uint32_t word, const char* text, VMErrorCatcher& catcher);
  VMLoadableClass* WellKnownClass(uint32_t word, const char* name, VMErrorCatcher& catcher);
};

class VMBaseDeserializer : public VMDataInputStream {
 public:
  enum {
    ExternalizableWord = 1, SerializableWord = 2, WriteObjectNameWord = 3, WriteObjectSigWord = 4,
    ReadObjectNameWord = 5, ReadObjectSigWord = 6, SupportWord = 7, EnvWord = 8, LoaderWord = 9,
    BaseWords = 10
  };
  enum : VMword { BaseRefMask = 0x27F };

  JNIHostSerializationSupport* GetSupport() const { return (JNIHostSerializationSupport*)GetScalar(SupportWord); }
  JNIEnv* GetEnv() const { return (JNIEnv*)GetScalar(EnvWord); }
  void SetEnv(JNIEnv* env) { SetScalar(EnvWord, (VMword)env); }
  VMClassLoader* GetLoader() const { return (VMClassLoader*)GetReference(LoaderWord); }
  void SetLoader(VMClassLoader* loader) { SetReference(LoaderWord, (VMObject*)loader); }

  /* One class-descriptor record under its own catcher: the descriptor, or NULL for the
     end record; false on failure (nothing left behind). */
  bool ReadClassDesc(VMClassDescriptor** out);

  VMLoadableClass* GetSerializableClass(VMErrorCatcher& catcher);
  VMLoadableClass* GetExternalizableClass(VMErrorCatcher& catcher);
  VMMethod* GetWriteObjectMethod(VMLoadableClass* cls, VMErrorCatcher& catcher);
  VMMethod* GetReadObjectMethod(VMLoadableClass* cls, VMErrorCatcher& catcher);

 protected:
  void InitBase(VMInputByteStream* stream, JNIHostSerializationSupport* support);
  /* The record; the descriptor, or NULL for the end record. */
  VMClassDescriptor* ReadClassDescRecord(VMErrorCatcher& catcher);
  /* A name of at most 65535 bytes up to its 0 byte, checked as modified UTF-8 and interned
     once; NULL for the empty name. tooLong is the status of an over-long name. */
  VMLiteral* ReadJavaName(VMErrorCatcher& catcher, VMStatus tooLong);
  /* The class of a stored name, found in the read's loader, prepared and initialised;
     NULL when it cannot be had. */
  VMLoadableClass* FindStoredClass(VMLiteral* name);
  VMLiteral* Literal(uint32_t word, const char* text, VMErrorCatcher& catcher);
  VMLoadableClass* WellKnownClass(uint32_t word, const char* name, VMErrorCatcher& catcher);
};

/* ------------------------------------------------------------------------------------ */
/* The object writer                                                                     */

class VMObjectSerializer : public VMBaseSerializer {
 public:
  enum {
    ObjectTableWord = 9, ClassTableWord = 10, NameCacheWord = 11, TrailingBytesWord = 12,
    TrailingCountWord = 13, FlagsWord = 14, LastStatusWord = 15, CacheLoaderWord = 16, MachineWord = 17,
    Words = 18
  };
  enum : VMword { RefMask = BaseRefMask | 0x1E00 };
  enum : VMword { BusyFlag = 1, ClassListFlag = 2, JavaThrewFlag = 4 };

  static VMObjectSerializer* CreateInstance(HHeap* heap, JNIHostSerializationSupport* support,
                                            VMOutputByteStream* stream);
  /* Releases the byte stream, the tables, the cache and the serializer. */
  void Destroy(HHeap* heap);

  /* Stores the graph of object as one row of type 0, 1 or 3. False on any failure, with
     the status kept (GetLastStatus); refused at once, changing nothing, while a write of
     this serializer is in progress. */
  bool WriteVMObject(JNIEnv* env, VMObject* object, jint type);
  /* Enters an object into the graph of the write in progress: its id through id. 19 when
     no write is in progress, 43 when the table refuses it. */
  VMStatus AddObject(VMObject* object, jint* id);

  VMStatus GetLastStatus() const { return (VMStatus)GetScalar(LastStatusWord); }
  bool GetIsBusy() const { return (GetScalar(FlagsWord) & BusyFlag) != 0; }
  /* The machine whose serialization interface made it (the interface refuses others). */
  VM* GetMachine() const { return (VM*)GetScalar(MachineWord); }
  void SetMachine(VM* vm) { SetScalar(MachineWord, (VMword)vm); }
  VMObjectHashTable* GetObjectTable() const { return (VMObjectHashTable*)GetReference(ObjectTableWord); }
  VMObjectHashTable* GetClassTable() const { return (VMObjectHashTable*)GetReference(ClassTableWord); }
  VMLiteralToIdCache* GetNameCache() const { return (VMLiteralToIdCache*)GetReference(NameCacheWord); }

 private:
  friend struct SerialWriter;
  void SetFlag(VMword f, bool on) {
    SetScalar(FlagsWord, on ? (GetScalar(FlagsWord) | f) : (GetScalar(FlagsWord) & ~f));
  }
  bool GetFlag(VMword f) const { return (GetScalar(FlagsWord) & f) != 0; }
  VMStatus InnerWrite(VMObject* object, jint type);
};

class VMClassDescSerializer : public VMBaseSerializer {
 public:
  enum { Words = BaseWords };
  static VMClassDescSerializer* CreateInstance(HHeap* heap, JNIHostSerializationSupport* support,
                                               VMOutputByteStream* stream);
  /* Releases its byte stream and itself. */
  void Destroy(HHeap* heap);
};

/* ------------------------------------------------------------------------------------ */
/* The object reader                                                                     */

class VMObjectDeserializer : public VMBaseDeserializer {
 public:
  enum {
    ObjectTableWord = 10, ClassTableWord = 11, ExtTableWord = 12, ClassCacheWord = 13,
    VersionWord = 14, TypeWord = 15, FlagsWord = 16, DescriptorTableWord = 17,
    LastStatusWord = 18, BudgetWord = 19, MachineWord = 20, Words = 21
  };
  enum : VMword { RefMask = BaseRefMask | 0x3C00 | 0x20000 };
  enum : VMword { HasOtherSerializationsFlag = 1, BusyFlag = 2, ClassListFlag = 4 };

  static VMObjectDeserializer* CreateInstance(HHeap* heap, JNIHostSerializationSupport* support,
                                              VMInputByteStream* stream);
  /* Releases the byte stream, the tables, the caches and the deserializer. */
  void Destroy(HHeap* heap);

  /* Reads one row in the loader: the root object through out, as a local reference of
     the calling thread that the caller takes over (NULL for a type-5 row whose Java read
     threw, the exception pending). False on any failure (the status kept); the objects
     of a failed row are released when no Java code ran for it, and otherwise cleaned (no
     stored id left in them) and left to the collector. Refused at once, changing
     nothing, while a read of this deserializer is in progress. */
  bool ReadVMObject(JNIEnv* env, jobject* out, VMClassLoader* loader);
  /* Reads only the header and the class list of a row of type 1, 2 or 3, so that every
     class it names is found in the loader. */
  bool ReadVMObjectClasses(JNIEnv* env, VMClassLoader* loader);
  /* The object of an id of the read in progress: 19 without a table, 43 for an id that
     names no object read so far or an object not yet complete. */
  VMStatus FindObject(jint id, VMObject** out);

  /* Bytes that the objects of one read may take; 0 (the default) means the capacity of
     the machine's heap. */
  void SetAllocationBudget(uint32_t bytes) { SetScalar(BudgetWord, bytes); }
  VMStatus GetLastStatus() const { return (VMStatus)GetScalar(LastStatusWord); }
  bool GetIsBusy() const { return (GetScalar(FlagsWord) & BusyFlag) != 0; }
  VM* GetMachine() const { return (VM*)GetScalar(MachineWord); }
  void SetMachine(VM* vm) { SetScalar(MachineWord, (VMword)vm); }
  VMObjectHashTable* GetObjectTable() const { return (VMObjectHashTable*)GetReference(ObjectTableWord); }
  VMObjectHashTable* GetClassTable() const { return (VMObjectHashTable*)GetReference(ClassTableWord); }
  VMObjectHashTable* GetExtProxyMgr() const { return (VMObjectHashTable*)GetReference(ExtTableWord); }
  VMObjectHashTable* GetDescriptorTable() const { return (VMObjectHashTable*)GetReference(DescriptorTableWord); }
  VMIdToObjectCache* GetClassCache() const { return (VMIdToObjectCache*)GetReference(ClassCacheWord); }
  uint32_t GetVersion() const { return GetScalar(VersionWord); }
  uint32_t GetType() const { return GetScalar(TypeWord); }

 private:
  friend struct SerialReader;
  void SetFlag(VMword f, bool on) {
    SetScalar(FlagsWord, on ? (GetScalar(FlagsWord) | f) : (GetScalar(FlagsWord) & ~f));
  }
  bool GetFlag(VMword f) const { return (GetScalar(FlagsWord) & f) != 0; }
};

class VMClassDescDeserializer : public VMBaseDeserializer {
 public:
  enum { Words = BaseWords };
  static VMClassDescDeserializer* CreateInstance(HHeap* heap, JNIHostSerializationSupport* support,
                                                 VMInputByteStream* stream);
  void Destroy(HHeap* heap);
  /* One record from the start of the host stream in the loader: false on failure. */
  bool ReadClassDesc(JNIEnv* env, VMClassDescriptor** out, VMClassLoader* loader);
};

#endif
