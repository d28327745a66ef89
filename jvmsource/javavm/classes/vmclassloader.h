/* Class loaders and the sources of class bytes, and the class-file parser.

   The machine never opens files: a class's bytes come from a host class stream opened by
   class name for one host loader, or from a buffer handed to the define-class path. Both
   are read through a classReader, a handle with five operations. A VMClassLoader stands
   for one host loader inside one name space and holds that loader's class table. */
#ifndef PUX_VMCLASSLOADER_H
#define PUX_VMCLASSLOADER_H

#include "jnihost.h"
#include "jnitypes.h"
#include "vmarray.h"
#include "vmerrorcatcher.h"
#include "vmforward.h"
#include "vmobject.h"
#include "vmstatus.h"

class VMClassLoader : public VMInternalObject {
 public:
  /* Word 3 is the host's reference count (signed, never traced, never read here); word 4
     is set while a destroy of the loader is under way. */
  enum { Words = 5, RefMask = 0x5 };
  enum { ClassTableWord = 0, LoaderIDWord = 1, NameSpaceWord = 2, RefCountWord = 3, DestroyingWord = 4 };
  enum : uint32_t {
    CLASS_TABLE_SIZE = 0x2000,
    /* Zip entry names (with their terminating zero) longer than this are never found. */
    ZIP_NAME_BUFFER = 1024,
    /* max_stack and max_locals above this do not fit the 16-bit byte counts n * 4 + 8. */
    MAX_STACK_OR_LOCALS = 16381,
  };

  /* What ClassifyAttribute makes of an attribute's name. */
  enum AttributeClass {
    ATTR_SourceFile = 0,
    ATTR_ConstantValue = 1,
    ATTR_Code = 2,
    ATTR_Exceptions = 3,
    ATTR_InnerClasses = 4,
    ATTR_LineNumberTable = 5,
    ATTR_LocalVariableTable = 6,
    ATTR_Other = 7,
  };

  /* The in-memory source: bytes kept by the caller, read from position on. */
  struct MemorySource {
    const uint8_t* data;
    uint32_t size;
    uint32_t position;
  };

  /* A byte source: an opaque handle and the five operations on it, either the host's
     stream slots or the in-memory ones. A plain record that lives in the frame of whoever
     parses, so a long jump may skip it; a null handle means nothing is open. */
  class classReader {
   public:
    typedef jint (HOSTCALL* ReadFn)(void* handle, void* buffer, jint count);
    typedef jint (HOSTCALL* SkipFn)(void* handle, jint count);
    typedef jint (HOSTCALL* SeekFn)(void* handle, jint position);
    typedef jint (HOSTCALL* SizeFn)(void* handle);
    typedef void (HOSTCALL* CloseFn)(void* handle);

    void* handle;
    ReadFn Read;
    SkipFn Skip;
    SeekFn Seek;
    SizeFn Size;
    CloseFn Close;

    classReader() : handle(NULL), Read(NULL), Skip(NULL), Seek(NULL), Size(NULL), Close(NULL) {}
    /* Opens the class's stream from the host for a host loader. Status 19 when the name
       cannot be converted; 14 when the host has no stream for it, after throwing
       NoClassDefFoundError (the class name as message) on the calling thread's env when
       throwWhenMissing is set and the thread has an env. */
    classReader(VMClass* cls, void* loaderId, VMStatus& status, bool throwWhenMissing = true);
    /* Wraps a stream the host opened. */
    explicit classReader(void* hostHandle);
    /* Reads from bytes in memory. */
    explicit classReader(MemorySource* source);

    bool IsOpen() const { return handle != NULL; }
    /* Closes the source once; a reader with nothing open is left alone. */
    void CloseIfOpen() {
      if (handle != NULL) {
        void* h = handle;
        handle = NULL;
        Close(h);
      }
    }
    /* The current position, or -1 when the source cannot tell (at its very end). */
    jint Position() { return Skip(handle, 0); }

    /* The in-memory operations, the contract every source meets. */
    static jint HOSTCALL MemoryRead(void* handle, void* buffer, jint count);
    static jint HOSTCALL MemorySkip(void* handle, jint count);
    static jint HOSTCALL MemorySeek(void* handle, jint position);
    static jint HOSTCALL MemorySize(void* handle);
    static void HOSTCALL MemoryClose(void* handle);
  };

  /* ---- the loader object ---- */

  /* A loader with an empty class table, added to the name space's loader table; NULL
     when any part cannot be made. */
  static VMClassLoader* CreateInstance(VMNameSpace* ns, void* loaderId);
  static VMClassLoader* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  /* Releases the shared static data of its classes, leaves the name space's loader
     table, destroys every class of its table, the table and itself. */
  void Destroy(HHeap* heap);

  VMClassHashTable* GetClassTable() const { return (VMClassHashTable*)GetReference(ClassTableWord); }
  void SetClassTable(VMClassHashTable* t) { SetReference(ClassTableWord, (VMObject*)t); }
  void* GetLoaderID() const { return (void*)GetScalar(LoaderIDWord); }
  int32_t GetRefCount() const { return (int32_t)GetScalar(RefCountWord); }
  void SetRefCount(int32_t n) { SetScalar(RefCountWord, (VMword)n); }
  void SetLoaderID(void* id) { SetScalar(LoaderIDWord, (VMword)id); }
  /* Marks the loader as being destroyed; false when a destroy of it is under way. */
  bool BeginDestroying() {
    VMword idle = 0;
    return __atomic_compare_exchange_n(&Body()[DestroyingWord], &idle, (VMword)1, false, __ATOMIC_ACQ_REL,
                                       __ATOMIC_ACQUIRE);
  }
  void EndDestroying() { __atomic_store_n(&Body()[DestroyingWord], (VMword)0, __ATOMIC_RELEASE); }
  VMNameSpace* GetNameSpace() const { return (VMNameSpace*)GetReference(NameSpaceWord); }
  void SetNameSpace(VMNameSpace* ns) { SetReference(NameSpaceWord, (VMObject*)ns); }

  /* ---- services around class bytes ---- */

  /* Walks the zip local headers of an archive stream for the entry name; returns its
     uncompressed size (the compressed one in *compressedSize) with the stream at the
     entry's first data byte, or 0 when not found. Archives must carry the sizes in their
     local headers: an entry whose sizes follow its data (flag bit 3) ends the walk. */
  static uint32_t HOSTCALL FindInZipFile(void* handle, const char* name, uint32_t* compressedSize);
  /* The dotted class name and the access flags of the class file on a stream, without
     loading it; 0, or 6 when they cannot be read or the name does not fit the buffer. */
  static VMStatus GetClassInfo(void* handle, char* buffer, uint32_t size, uint16_t* access);
  static bool ScanForName(void* handle, uint16_t& classIndex, uint16_t& nameIndex, char* buffer,
                          uint32_t size, uint16_t* access);
  /* ClassFormatError when more than maxBits bits of flags & mask are set. */
  static void CheckFlags(uint32_t maxBits, uint32_t flags, uint32_t mask, VMErrorCatcher& catcher);

  /* ---- the class-file parser ---- */

  /* Loads the class: opens its stream by its name, parses it into the shell, loads the
     interfaces it lists and marks it loaded, all while other threads asking for the class
     wait (14 missing, 6 malformed, 5 interfaces that come back to it, 4 interfaces nested
     deeper than MAX_NESTING). With poolOnly only a new constant pool is read. */
  VMStatus Load(VMLoadableClass* cls, bool poolOnly);
  /* Defines the class from bytes in memory: loads it as above, but refuses (4) a class
     that is loaded or being loaded. */
  VMStatus Load(VMLoadableClass* cls, const uint8_t* bytes, uint32_t size);
  /* The parser proper; closes the reader on every path. The caller must be the one
     thread loading the class. */
  VMStatus Load(VMLoadableClass* cls, classReader& reader, bool poolOnly);
  /* Takes back what a failed full parse attached to the shell, its pool included. */
  static void ForgetParse(VMLoadableClass* cls, HHeap* heap);
  /* Reads the line-number and local-variable tables of every method of a loaded class. */
  VMStatus LoadDebugInfo(VMLoadableClass* cls);

  /* Readers: each raises ClassFormatError when the source gives fewer bytes than asked.
     Class files are big-endian; Get2s and Get4s read the little-endian zip headers. */
  static uint8_t Get1(classReader& reader, VMErrorCatcher& catcher);
  static uint16_t Get2(classReader& reader, VMErrorCatcher& catcher);
  static uint32_t Get4(classReader& reader, VMErrorCatcher& catcher);
  static uint64_t Get8(classReader& reader, VMErrorCatcher& catcher);
  static uint16_t Get2s(classReader& reader, VMErrorCatcher& catcher);
  static uint32_t Get4s(classReader& reader, VMErrorCatcher& catcher);
  static void GetBytes(classReader& reader, void* buffer, uint32_t count, VMErrorCatcher& catcher);
  /* Moves forward; where the source refuses (a skip to its very end) the bytes are read
     and dropped instead, so only a source that really ends early fails. */
  static void Skip(classReader& reader, uint32_t count, VMErrorCatcher& catcher);
  static void SkipOneAttribute(classReader& reader, VMErrorCatcher& catcher);

  /* Checked pool accessors of the parser: ClassFormatError for an index outside the pool
     or an entry of the wrong type. */
  static VMLiteral* GetConstUtf8(VMLoadableClass* cls, VMConstantPool* pool, uint32_t index,
                                 VMErrorCatcher& catcher);
  static VMJavaLangString* GetConstString(VMLoadableClass* cls, VMConstantPool* pool,
                                          uint32_t index, VMErrorCatcher& catcher);
  /* A Class entry of a parsed pool, resolved or not; with initialize the class is loaded
     (never initialised here: that waits for the class's own initialisation). */
  static VMLoadableClass* GetConstClass(VMConstantPool* pool, uint32_t index, bool initialize,
                                        VMErrorCatcher& catcher);
  static AttributeClass ClassifyAttribute(VMLoadableClass* cls, VMConstantPool* pool,
                                          classReader& reader, VMErrorCatcher& catcher);

 /* The state of one parse, kept by the function that arms the catcher. */
  struct Parse {
    VMClassLoader* loader;
    VMLoadableClass* cls;
    VMNameSpace* ns;
    HHeap* heap;
    classReader* reader;
    VMErrorCatcher* catcher;
    VMConstantPool* pool;
    /* Positions of debug attributes mean something only for a stream that can be opened
       again by the class's name. */
    bool recordPositions;
  };

 private:
  /* Loading in turn with other threads: from the source, or by name when it is NULL. */
  VMStatus LoadInTurn(VMLoadableClass* cls, MemorySource* source);
  static VMLoadableClass* ParsedClass(Parse& p, uint32_t index);
  static void ResolveClassEntries(Parse& p);
  static void ResolveReturnClasses(Parse& p);
  static void LoadConstantPool(Parse& p);
  static void LoadAccess(Parse& p);
  static void ResolveConstantPool(Parse& p);
  static void LoadInterfaces(Parse& p);
  static void LoadDataMembers(Parse& p);
  static void LoadOneDataMember(Parse& p, uint32_t position);
  static void LoadMethods(Parse& p);
  static void LoadOneMethod(Parse& p, uint32_t position);
  static void LoadCode(Parse& p, VMMethod* method, uint32_t position);
  static void LoadExceptions(Parse& p, VMMethod* method);
  static void LoadClassAttributes(Parse& p);
  static void LoadInnerClasses(Parse& p);
  static void LoadLineNumbers(Parse& p, uint32_t method);
  static void LoadLocalVariables(Parse& p, uint32_t method);
};

static_assert(sizeof(VMClassLoader) == 20, "no fields beyond the header");
static_assert(sizeof(VMClassLoader::classReader) == 24, "a handle and five operations");

#endif
