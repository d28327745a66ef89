/* The host's service tables: everything the machine needs of the operating system
   comes through these. Slot numbers are part of the contract with the host. */
#ifndef PUX_JNIHOST_H
#define PUX_JNIHOST_H

#include "jnitypes.h"

typedef struct JNIHostJitSupport JNIHostJitSupport;
typedef struct JNIHostFileSystem JNIHostFileSystem;
typedef struct { uint16_t family, portNet; uint32_t addrNet; uint8_t zero[8]; } SockAddr16;
typedef struct { uint32_t groupNet, ifaceNet; } Mreq8;
typedef struct { char* name; char** aliases; int16_t type, length; char** addrList; } HostEnt16; /* 16 bytes */
typedef jboolean (HOSTCALL *JNIHostHeapWalkFn)(void* block, void* ctx);
typedef uint32_t (HOSTCALL *JNIHostFindInZipFileFn)(void* stream, const char* name, uint32_t* compressedSize);
typedef jint     (HOSTCALL *JNIHostThreadFn)(void* ctx);
typedef jint     (HOSTCALL *JNIHostModuleEntryFn)(jint arg);
typedef jint     (HOSTCALL *JNIHostPollFn)(void);

typedef struct JNIHostFunctions {
  void* Reserved0; void* Reserved1; void* Reserved2;                                   /* 0-2 */
  HHeap*   (HOSTCALL *HeapCreate)(void* owner, jint kind);                              /* 3 */
  void     (HOSTCALL *HeapDestroy)(HHeap*);                                             /* 4 */
  void* Reserved5; void* Reserved6;                                                     /* 5-6 */
  void     (HOSTCALL *HeapWalk)(HHeap*, JNIHostHeapWalkFn, void* ctx);                  /* 7 */
  uint32_t (HOSTCALL *GetMaxAllocSize)(void);                                           /* 8 */
  uint64_t (HOSTCALL *HeapBytesInUse)(HHeap*);                                          /* 9 */
  uint64_t (HOSTCALL *HeapTotalBytes)(HHeap*);                                          /* 10 */
  void*    (HOSTCALL *HeapAlloc)(HHeap*, uint32_t size, jint allocType);                /* 11 */
  void     (HOSTCALL *HeapFree)(HHeap*, void* block);                                   /* 12 */
  jint     (HOSTCALL *ObjectHashCode)(HHeap*, void* object);                            /* 13 */
  void     (HOSTCALL *HeapCollected)(HHeap*);                                           /* 14 */
  jint     (HOSTCALL *IsSharedHeap)(HHeap*);                                            /* 15 */
  void     (HOSTCALL *AllocGlobalCells)(jint count);                                    /* 16 */
  void     (HOSTCALL *FreeGlobalCells)(void);                                           /* 17 */
  uint32_t*(HOSTCALL *GetGlobalCell)(jint index);                                       /* 18 */
  jlong    (HOSTCALL *CurrentTimeMillis)(void);                                         /* 19 */
  const char* (HOSTCALL *GetJavaHome)(void);                                            /* 20 */
  const char* (HOSTCALL *GetFileEncodingPkg)(void);                                     /* 21 */
  const char* (HOSTCALL *GetUserTimezone)(void);                                        /* 22 */
  jboolean (HOSTCALL *IsSystemClassName)(const char* name);                             /* 23 */
  void*    (HOSTCALL *OpenClassStream)(const char* name, JNIHostFindInZipFileFn, void* loaderId); /* 24 */
  jint     (HOSTCALL *StreamRead)(void* s, void* buf, jint count);                      /* 25 */
  jint     (HOSTCALL *StreamSkip)(void* s, jint count);                                 /* 26 */
  jint     (HOSTCALL *StreamSeek)(void* s, jint position);                              /* 27 */
  jint     (HOSTCALL *StreamSize)(void* s);                                             /* 28 */
  void     (HOSTCALL *StreamClose)(void* s);                                            /* 29 */
  JNIHostModuleEntryFn (HOSTCALL *LoadCodeModule)(const char* name);                    /* 30 */
  void*    (HOSTCALL *OpenCodeResource)(const char* name);                              /* 31 */
  void*    (HOSTCALL *FindCodeSymbol)(void* module, const char* symbol, jint argWords); /* 32 */
  void* Reserved33;                                                                     /* 33 */
  jboolean (HOSTCALL *StartThread)(JNIHostThreadFn, void* ctx, jint flag);              /* 34 */
  void     (HOSTCALL *StopThread)(void* thread, jint flag);                             /* 35 */
  void* Reserved36;                                                                     /* 36 */
  void*    (HOSTCALL *CurrentThreadId)(void);                                           /* 37 */
  void*    (HOSTCALL *CurrentThreadHandle)(void);                                       /* 38 */
  JNIHostPollFn YieldCheck;                                                             /* 39 */
  void     (HOSTCALL *Sleep)(jlong ms);                                                 /* 40 */
  void     (HOSTCALL *SuspendThread)(void* thread);                                     /* 41 */
  void     (HOSTCALL *ResumeThread)(void* thread);                                      /* 42 */
  void     (HOSTCALL *AttachThreadEnv)(JavaVM* javaVM, JNIEnv* env);                    /* 43 */
  void     (HOSTCALL *SetCurrentEnv)(JNIEnv* env);                                      /* 44 */
  JNIEnv*  (HOSTCALL *GetCurrentEnv)(void);                                             /* 45 */
  void*    (HOSTCALL *EventSemaphoreCreate)(jboolean ownerOnSharedHeap);                /* 46 */
  void     (HOSTCALL *EventPost)(void* ev);                                             /* 47 */
  jint     (HOSTCALL *EventWait)(void* ev, jlong ms);    /* 0 posted, 1 failed, 2 timeout; 48 */
  void     (HOSTCALL *EventSemaphoreDestroy)(void* ev);                                 /* 49 */
  void*    (HOSTCALL *GetGlobalMutex)(void);                                            /* 50 */
  void*    (HOSTCALL *MutexCreate)(jboolean ownerOnSharedHeap);                         /* 51 */
  jboolean (HOSTCALL *MutexLock)(void* m);                                              /* 52 */
  jboolean (HOSTCALL *MutexUnlock)(void* m);                                            /* 53 */
  void     (HOSTCALL *MutexDestroy)(void* m);                                           /* 54 */
  void     (HOSTCALL *ConsoleWrite)(jboolean toStderr, jint length, const char* bytes); /* 55 */
  void     (HOSTCALL *LogMessage)(jint length, const char* text);                       /* 56 */
  void     (HOSTCALL *FatalExit)(jint code, const char* text);                          /* 57 */
  jobject  (HOSTCALL *GetSystemResourceStream)(JNIEnv* env, const char* name, jint zero); /* 58 */
  void     (HOSTCALL *TestHook)(void);                                                  /* 59 */
  jint     (HOSTCALL *NetStartup)(void);                                                /* 60 */
  jint     (HOSTCALL *GetHostName)(char* buf, jint size);                               /* 61 */
  HostEnt16* (HOSTCALL *LookupHostByName)(const char* name, jint family);               /* 62 */
  HostEnt16* (HOSTCALL *LookupHostByAddr)(const void* addr, jint len, jint family);     /* 63 */
  uint32_t (HOSTCALL *HostToNetLong)(uint32_t);                                         /* 64 */
  uint32_t (HOSTCALL *NetToHostLong)(uint32_t);                                         /* 65 */
  uint16_t (HOSTCALL *HostToNetShort)(uint16_t);                                        /* 66 */
  uint16_t (HOSTCALL *NetToHostShort)(uint16_t);                                        /* 67 */
  jint (HOSTCALL *SocketCreate)(jint family, jint stream, jint proto);                  /* 68 */
  jint (HOSTCALL *SocketBind)(jint h, const SockAddr16*, jint len);                     /* 69 */
  jint (HOSTCALL *SocketConnect)(jint h, const SockAddr16*, jint len);                  /* 70 */
  jint (HOSTCALL *SocketGetName)(jint h, SockAddr16*, jint* len);                       /* 71 */
  jint (HOSTCALL *SocketAccept)(jint h, SockAddr16*, jint* len);                        /* 72 */
  jint (HOSTCALL *SocketListen)(jint h, jint backlog);                                  /* 73 */
  jint (HOSTCALL *SocketShutdown)(jint h, jint how);                                    /* 74 */
  jint (HOSTCALL *SocketClose)(jint h);                                                 /* 75 */
  jint (HOSTCALL *SocketWait)(jint h, jint ms);                                         /* 76 */
  jint (HOSTCALL *SocketHasInput)(jint h);                                              /* 77 */
  jint (HOSTCALL *SocketRecv)(jint h, void* buf, jint n);                               /* 78 */
  jint (HOSTCALL *SocketSend)(jint h, const void* buf, jint n);                         /* 79 */
  jint (HOSTCALL *SocketRecvFrom)(jint h, void* buf, jint n, SockAddr16* from);         /* 80 */
  jint (HOSTCALL *SocketPeekFrom)(jint h, void* buf, jint n, SockAddr16* from);         /* 81 */
  jint (HOSTCALL *SocketSendTo)(jint h, const void* buf, jint n, const SockAddr16* to); /* 82 */
  jint (HOSTCALL *MulticastJoin)(jint h, const Mreq8*);                                 /* 83 */
  jint (HOSTCALL *MulticastLeave)(jint h, const Mreq8*);                                /* 84 */
  jint (HOSTCALL *DatagramCreateOption)(jint h, jint v);                                /* 85 */
  jint (HOSTCALL *SocketSetTTL)(jint h, jint ttl);                                      /* 86 */
  jint (HOSTCALL *DatagramSetReuse)(jint h, jint v);                                    /* 87 */
  jint (HOSTCALL *StreamSetNoDelay)(jint h, jint on);                                   /* 88 */
  jint (HOSTCALL *DatagramSetOption)(jint h, const uint32_t* addrNet);                  /* 89 */
  jint (HOSTCALL *SocketAvailable)(jint h, jint* count);                                /* 90 */
  jint (HOSTCALL *SocketGetTTL)(jint h, jint* v);                                       /* 91 */
  jint (HOSTCALL *DatagramGetOption)(jint h, jint* vNet);                               /* 92 */
  jint (HOSTCALL *StreamGetNoDelay)(jint h, jint* v);                                   /* 93 */
  jint (HOSTCALL *StreamSetLinger)(jint h, jint on, jint seconds);                      /* 94 */
  jint (HOSTCALL *StreamGetLinger)(jint h, jint* on, jint* seconds);                    /* 95 */
  const char* (HOSTCALL *SocketErrorText)(void);                                        /* 96 */
  JNIHostFileSystem* (HOSTCALL *GetFileSystem)(void);                                   /* 97 */
  JNIHostJitSupport* (HOSTCALL *GetJitSupport)(void);                                   /* 98 */
  void*    (HOSTCALL *SpinLockCreate)(jint mode, const char* tag);                      /* 99 */
  jboolean (HOSTCALL *SpinLockAcquire)(void* lock, const char* tag);                    /* 100 */
  jboolean (HOSTCALL *SpinLockRelease)(void* lock, const char* tag);                    /* 101 */
  void     (HOSTCALL *CloseHandle)(void* handle, const char* reason);                   /* 102 */
  jboolean (HOSTCALL *SpinLockPromote)(void* lock, const char* tag);                    /* 103 */
  jint     (HOSTCALL *IsValidAddress)(jlong value);                                     /* 104 */
  jint     (HOSTCALL *QueryDiagnosticFlag)(jint a, jint b);                             /* 105 */
  void     (HOSTCALL *ReportError)(jint code, const char* text);                        /* 106 */
  /* 107-110: the forms of slots 78, 72, 80 and 81 that never wait: where their blocking
     form would wait again (what a SocketWait saw is gone: another thread took it, or the
     connection went before it was accepted), each answers -2 at once, with no failure
     text. Otherwise each answers as its blocking form. A host may leave them NULL; the
     machine then calls the blocking forms, and a time limit on a socket that two threads
     wait on may then be overrun. */
  jint (HOSTCALL *SocketRecvNow)(jint h, void* buf, jint n);                            /* 107 */
  jint (HOSTCALL *SocketAcceptNow)(jint h, SockAddr16*, jint* len);                     /* 108 */
  jint (HOSTCALL *SocketRecvFromNow)(jint h, void* buf, jint n, SockAddr16* from);      /* 109 */
  jint (HOSTCALL *SocketPeekFromNow)(jint h, void* buf, jint n, SockAddr16* from);      /* 110 */
} JNIHostFunctions;
static_assert(sizeof(JNIHostFunctions) == 111 * 4, "111 slots");

typedef struct JNIHostFileSystem {                 /* 36 slots, 0-35 */
  jint (HOSTCALL *CheckPath)(const char*);                              /* 0 */
  jint (HOSTCALL *Canonicalize)(const char*, char* buf, jint size);     /* 1 */
  jboolean (HOSTCALL *Exists)(const char*);    jboolean (HOSTCALL *CanWrite)(const char*);     /* 2, 3 */
  jboolean (HOSTCALL *CanRead)(const char*);   jboolean (HOSTCALL *IsFile)(const char*);       /* 4, 5 */
  jboolean (HOSTCALL *IsDirectory)(const char*); jboolean (HOSTCALL *IsHidden)(const char*);   /* 6, 7 */
  jlong (HOSTCALL *LastModified)(const char*);                          /* 8: ms */
  jboolean (HOSTCALL *SetLastModified)(const char*, jlong seconds);     /* 9: seconds */
  jboolean (HOSTCALL *SetReadOnly)(const char*);                        /* 10 */
  jint (HOSTCALL *PathLength)(const char*);                             /* 11 */
  jboolean (HOSTCALL *MakeDirectory)(const char*);                      /* 12 */
  jboolean (HOSTCALL *RemoveDirectory)(const char*);                    /* 13 */
  jboolean (HOSTCALL *Rename)(const char* from, const char* to);        /* 14 */
  jboolean (HOSTCALL *DeleteFile)(const char*);                         /* 15 */
  jlong (HOSTCALL *ListOpen)(const char*);                              /* 16 */
  const char* (HOSTCALL *ListNext)(jlong listing);                      /* 17 */
  jint (HOSTCALL *ListClose)(jlong listing);                            /* 18 */
  jboolean (HOSTCALL *IsAbsolute)(const char*);                         /* 19 */
  jint (HOSTCALL *Close)(jint h);                                       /* 20 */
  jint (HOSTCALL *OpenRead)(const char*);                               /* 21 */
  jint (HOSTCALL *Read)(jint h, void* buf, jint count);                 /* 22 */
  jint (HOSTCALL *Skip)(jint h, jint count);                            /* 23 */
  jint (HOSTCALL *Available)(jint h);                                   /* 24 */
  jint (HOSTCALL *OpenWrite)(const char*, jboolean truncate);           /* 25 */
  jint (HOSTCALL *Write)(jint h, const void* bytes, jint count);        /* 26 */
  jint (HOSTCALL *GetFilePointer)(jint h);                              /* 27 */
  jint (HOSTCALL *Seek)(jint h, jint position);                         /* 28 */
  jint (HOSTCALL *Length)(jint h);                                      /* 29 */
  jboolean (HOSTCALL *Sync)(jint h);                                    /* 30 */
  /* 31-35: the 64-bit forms of the slots that carry sizes and positions, so that files
     beyond 2 GiB keep exact lengths and places. A host may leave them NULL; the machine
     then uses slots 11, 23, 27, 28 and 29, within their 32-bit range. Each answers -1 on
     failure; Skip64 never moves back and answers the bytes skipped; Seek64 answers the
     new position. */
  jlong (HOSTCALL *PathLength64)(const char*);                          /* 31 */
  jlong (HOSTCALL *Skip64)(jint h, jlong count);                        /* 32 */
  jlong (HOSTCALL *GetFilePointer64)(jint h);                           /* 33 */
  jlong (HOSTCALL *Seek64)(jint h, jlong position);                     /* 34 */
  jlong (HOSTCALL *Length64)(jint h);                                   /* 35 */
} JNIHostFileSystem;

typedef struct JNIHostSerializationSupport {   /* slots the machine never calls are reserved */
  void* Reserved0; void* Reserved1; void* Reserved2;                            /* 0-2 */
  jint (HOSTCALL *ClassToId)(const char* className, jint one);                  /* 3 */
  void* Unused4;                                                                /* 4 */
  jclass (HOSTCALL *IdToClass)(jint id);                        /* 5: local reference or NULL */
  jint (HOSTCALL *Read)(void* stream, void* buf, jint capacity, jint* count);   /* 6 */
  void (HOSTCALL *ReleaseClassData)(void* handle);                              /* 7 */
  jint (HOSTCALL *Write)(void* stream, const void* bytes, jint count);          /* 8 */
  /* 9: non-NULL when the host refuses rows of type 5, whose reading runs the readObject
     hooks of any Serializable class the loader finds on the row's data: such a row then
     fails with 43 before any of it is read. NULL (what older hosts leave) reads them. */
  const void* RefuseStandardRows;                                               /* 9 */
  void* Unused10;                                                               /* 10 */
  void (HOSTCALL *GetClassData)(jint id, void** handle);                        /* 11 */
  jint (HOSTCALL *Seek)(void* stream, jint offset, jint origin);                /* 12 */
} JNIHostSerializationSupport;
static_assert(sizeof(JNIHostSerializationSupport) == 13 * 4, "13 slots");

/* The machine's serialization functions, handed to the host inside the serialization
   object that JNIEnv slot 283 makes. Every function takes the calling thread's env
   first. A serializer or deserializer is a global reference of the machine that made
   it, used by one thread at a time. Stream types: 0 host class ids, 1 a list of host
   class ids, 3 a list of class descriptors (2: a list of class names, read only). */
typedef struct JNISerializationInterface {
  void* Reserved0; void* Reserved1; void* Reserved2;                                            /* 0-2 */
  jobject (HOSTCALL *CreateSerializer)(JNIEnv* env, JNIHostSerializationSupport* support);      /* 3 */
  jobject (HOSTCALL *CreateDeserializer)(JNIEnv* env, JNIHostSerializationSupport* support);    /* 4 */
  void (HOSTCALL *DestroySerializer)(JNIEnv* env, jobject serializer);                          /* 5 */
  void (HOSTCALL *DestroyDeserializer)(JNIEnv* env, jobject deserializer);                      /* 6 */
  /* 0, or -1 (the host must then discard what reached its stream). */
  jint (HOSTCALL *WriteObject)(JNIEnv* env, jobject serializer, jint type, jobject object, void* stream); /* 7 */
  jobject (HOSTCALL *ReadObject)(JNIEnv* env, jobject deserializer, void* stream, void* loaderId); /* 8 */
  jint (HOSTCALL *WriteClassDescriptor)(JNIEnv* env, const char* className, void* loaderId,
                                        JNIHostSerializationSupport* support, void* stream);    /* 9 */
  jobject (HOSTCALL *FindObject)(JNIEnv* env, jobject deserializer, jint id);                   /* 10 */
  jint (HOSTCALL *AddObject)(JNIEnv* env, jobject serializer, jobject object);                  /* 11 */
  jboolean (HOSTCALL *ReadObjectClasses)(JNIEnv* env, jobject deserializer, void* stream, void* loaderId); /* 12 */
} JNISerializationInterface;
static_assert(sizeof(JNISerializationInterface) == 13 * 4, "13 slots");

/* The serialization object: 16 bytes of process memory. */
typedef struct JNISerialization {
  const JNISerializationInterface* functions;  /* 0 */
  JNIHostSerializationSupport* support;        /* 1 */
  jobject serializer;                          /* 2: 0 when none could be made */
  jobject deserializer;                        /* 3: 0 when none could be made */
} JNISerialization;
static_assert(sizeof(JNISerialization) == 16, "four words");
static_assert(sizeof(JNIHostFileSystem) == 36 * 4, "36 slots");
static_assert(sizeof(HostEnt16) == 16, "host entries are 16 bytes");
static_assert(sizeof(SockAddr16) == 16, "socket addresses are 16 bytes");

#endif
