/* Names of every heap class of the machine and their type tags, in one place, so that a
   source can name a class or test a tag without including that class's header.

   A tag in memory reads CA FE <kind> <subkind>: as a little-endian word that is
   0xFECA + (kind << 16) + (subkind << 24). Destroyed blocks read DE AD BE EF. */
#ifndef PUX_VMFORWARD_H
#define PUX_VMFORWARD_H

#include "jnitypes.h"

#define VM_TAG(kind, subkind) \
  ((VMword)0xFECAu | ((VMword)(uint8_t)(kind) << 16) | ((VMword)(uint8_t)(subkind) << 24))

/* The tag of a destroyed block or piece (bytes DE AD BE EF). */
#define VM_DESTROYED_TAG ((VMword)0xEFBEADDEu)

/* Every named tag: X(class name, kind character, subkind character). The diagnostics
   print these names, so the list is also the name table. */
#define PUX_VM_TAG_LIST(X) \
  X(VMJavaLangString, '"', ' ') X(VMLiteral, '\'', ' ') X(VMHandleArray, '<', ' ') \
  X(VMArray, '[', ' ') X(VMTraceback, '^', ' ') X(VMLocalDataMember, 'a', ' ') \
  X(VMLoadableClass, 'c', ' ') X(VMDataMember, 'd', ' ') X(VMOverload, 'e', ' ') \
  X(VMFrame, 'f', ' ') X(VMNameSpace, 'g', ' ') X(VMClass, 'k', ' ') \
  X(VMClassLoader, 'l', ' ') X(VMMethod, 'm', ' ') X(VMMonitor, 'n', ' ') \
  X(VMObject, 'o', ' ') X(VMConstantPool, 'p', ' ') X(VMFiloQueue, 'q', ' ') \
  X(VMStaticData, 's', ' ') X(VMThread, 't', ' ') X(VM, 'v', ' ') \
  X(VMDebugger, 'w', ' ') X(VMExceptionHandler, 'x', ' ') X(VMJavaLangThrowable, 'y', ' ') \
  X(VMBasicBlock, '{', ' ') \
  X(VMJavaLangStringArray, '[', '"') X(VMLiteralArray, '[', '\'') X(VMbyteArray, '[', 'B') \
  X(VMcharArray, '[', 'C') X(VMdoubleArray, '[', 'D') X(VMfloatArray, '[', 'F') \
  X(VMintArray, '[', 'I') X(VMlongArray, '[', 'J') X(VMshortArray, '[', 'S') \
  X(VMuintArray, '[', 'U') X(VMiwordArray, '[', 'W') X(VMboolArray, '[', 'Z') \
  X(VMTracebackArray, '[', '^') X(VMLocalDataMemberArray, '[', 'a') \
  X(VMLoadableClassArray, '[', 'c') X(VMDataMemberArray, '[', 'd') X(VMFrameGroup, '[', 'f') \
  X(VMClassArray, '[', 'k') X(VMMethodArray, '[', 'm') X(VMObjectArray, '[', 'o') \
  X(VMThreadArray, '[', 't') X(VMExceptionHandlerArray, '[', 'x') \
  X(VMBasicBlockArray, '[', '{') \
  X(VMLoadableOrArrayClass, '&', 'A') X(VMCompiledClassInfo, '&', 'B') \
  X(VMCompiledClassInfoHashTable, '&', 'C') X(VMNativeClassInfo, '&', 'D') \
  X(VMNativeClassInfoHashTable, '&', 'E') X(VMExceptionClasses, '&', 'a') \
  X(VMIsRefBits, '&', 'b') X(VMVTable, '&', 'c') X(VMJavaLangStringCharacters, '&', 'd') \
  X(VMCodeArray, '&', 'e') X(VMInterfaceArray, '&', 'f') X(VMLineNumberArray, '&', 'g') \
  X(VMConstantPoolTypes, '&', 'h') X(VMDebuggerClassesLoadedArray, '&', 'i') \
  X(VMFiloQueueArray, '&', 'j') X(VMHashTableArray, '&', 'k') \
  X(VMJniVMGlobalHandleArray, '&', 'l') X(VMStackRefBits, '&', 'm') \
  X(VMLocalRefBits, '&', 'n') X(VMLocalScalarBits, '&', 'o') \
  X(VMJniLocalHandleArray, '&', 'r') X(VMJavaLangException, '&', 's') \
  X(VMJavaLangInvocationTargetException, '&', 't') X(VMJavaLangError, '&', 'u') \
  X(VMJavaLangLinkageError, '&', 'v') X(VMJavaLangExceptionInInitializerError, '&', 'w') \
  X(VMJavaLangVirtualMachineError, '&', 'x') X(VMJavaLangOutOfMemoryError, '&', 'y') \
  X(VMLiteralHashTable, '#', 'S') X(VMClassHashTable, '#', 'k') X(VMMethodHashTable, '#', 'm') \
  X(VMObjectHashTable, '#', 'o') X(VMJavaLangStringHashTable, '#', 's') \
  X(VMClassHandleArray, '<', 'k') X(VMClassLoaderHandleArray, '<', 'l') \
  X(VMMethodHandleArray, '<', 'm') X(VMObjectHandleArray, '<', 'o') \
  X(VMThreadHandleArray, '<', 't') \
  X(VMJniNamespaceGlobalHandleArray, '=', 'a') X(VMJniFieldIDArray, '=', 'b') \
  X(VMUtf8Chars, '=', 'c') X(VMbyteArrayHashTable, '=', 'd') \
  X(VMLocalDataMemberArrayArray, '=', 'e') X(VMshortArrayArray, '=', 'f') \
  X(VMMember, '=', 'g') X(VMZipEntryHashTable, '=', 'h') X(VMJavaLangThread, '=', 'i') \
  X(framelist, '=', 'j') \
  X(VMJavaLangReflectConstructorArray, '(', 'c') X(VMJavaLangReflectMethodArray, '(', 'm') \
  X(VMJavaLangReflectFieldArray, '(', 'r') \
  X(VMArrayClassList, ',', '[') X(VMClassList, ',', 'k') \
  X(VMObjectBase, '?', 'b') X(VMInternalObject, '?', 'i') \
  X(VMHeapObject, '0', 'h') X(VMTaggedObject, '0', 't') \
  X(VMPrimitiveClass, 'k', '1') X(VMArrayClass, 'k', '[') \
  X(VMConstantValue, 'c', 'v') X(VMClassLoader_NativeLibrary, 'l', 'i') \
  X(VMUserArrayInstance, 'u', 'a') X(VMUserClassInstance, 'u', 'c') \
  X(VMJavaLangReflectConstructor, 'r', 'C') X(VMJavaLangReflectField, 'r', 'F') \
  X(VMJavaLangReflectMethod, 'r', 'M') X(VMJavaLangReflectConstructor116, 'r', 'c') \
  X(VMJavaLangReflectField116, 'r', 'f') X(VMMethodReflectInfo, 'r', 'i') \
  X(VMClassReflectInfo, 'r', 'k') X(VMJavaLangReflectMethod116, 'r', 'm') \
  X(VMJavaLangReflectField122, 'r', 'x') X(VMJavaLangReflectConstructor122, 'r', 'y') \
  X(VMJavaLangReflectMethod122, 'r', 'z') \
  X(VMByteStream, 'e', 'b') X(VMClassDescriptor, 'e', 'c') X(VMDataInputStream, 'e', 'd') \
  X(VMDataOutputStream, 'e', 'e') X(VMClassDescSerializer, 'e', 'f') \
  X(VMClassDescDeserializer, 'e', 'g') X(VMBaseSerializer, 'e', 'h') \
  X(VMInputByteStream, 'e', 'i') X(VMBaseDeserializer, 'e', 'j') X(VMObjectCache, 'e', 'k') \
  X(VMLiteralToIdCache, 'e', 'l') X(VMIdToObjectCache, 'e', 'm') \
  X(VMOutputByteStream, 'e', 'o') X(VMObjectDeserializer, 'e', 's') \
  X(VMObjectSerializer, 'e', 't') \
  X(VMByteCodeFrame, 'f', 'b') X(VMCompiledFrame, 'f', 'c') X(VMJNIFrame, 'f', 'j') \
  X(VMMonitorFiloQueue, 'q', 'm') X(VMNativeExceptionHandler, 'x', 'n') \
  X(VMDebuggerCodeBreakpoint, 'w', 'b') X(VMDebugEvent, 'w', 'e') \
  X(VMDebuggerClassLoad, 'w', 'k') X(VMDebuggerDataBreakpoint, 'w', 'w') \
  X(VMDebuggerBreakOpcode, 'w', 'z') \
  X(VMJniUtils, 'z', '1') X(VMJniUtilsInetAddress, 'z', '2') \
  X(VMJniUtilsPlainSocketImpl, 'z', '3') X(VMJniUtilsUnknownHostException, 'z', '4') \
  X(VMJniUtilsSocketException, 'z', '5') X(VMJniUtilsSocketInputStream, 'z', '6') \
  X(VMJniUtilsProperties, 'z', '7') X(VMJniUtilsJSystem, 'z', '8') \
  X(VMJniUtilsThread, 'z', '9') X(VMJniUtilsInterruptedIOException, 'z', 'a') \
  X(VMJniUtilsFile, 'z', 'b') X(VMJniUtilsFileDescriptor, 'z', 'c') \
  X(VMJniUtilsFileInputStream, 'z', 'd') X(VMJniUtilsFileOutputStream, 'z', 'e') \
  X(VMJniUtilsObjectInputStream, 'z', 'f') X(VMJniUtilsObjectOutputStream, 'z', 'g') \
  X(VMJniUtilsObjectStreamClass, 'z', 'h') X(VMJniUtilsPrintStream, 'z', 'i') \
  X(VMJniUtilsRandomAccessFile, 'z', 'j') X(VMJniUtilsThreadGroup, 'z', 'k') \
  X(VMboolArrayArray, 'z', 'l') X(VMBasicBlockInfo, 'z', 'm') \
  X(VMJniUtilsIOException, 'z', 'n') X(VMClassLoaderHashTable, 'z', 'o') \
  X(VMJniUtilsPlainDatagramSocketImpl, 'z', 'p') X(VMJniUtilsDatagramPacket, 'z', 'q') \
  X(VMLiteralTable, 'z', 'r') X(VMJniUtilsClassLoader_NativeLibrary, 'z', 's') \
  X(VMJniUtilsRef_Reference, 'z', 't') X(VMJniUtilsAccessibleObject, 'z', 'u') \
  X(VMZipEntry, 'z', 'z')

#define PUX_VM_FORWARD_CLASS(name, kind, subkind) class name;
PUX_VM_TAG_LIST(PUX_VM_FORWARD_CLASS)
#undef PUX_VM_FORWARD_CLASS

/* Heap classes that have no tag of their own. */
class VMrefArray;
class VMCommonObjectBase;
class VMRelocateInfo;
class VMUtils;

#define PUX_VM_TAG_CONSTANT(name, kind, subkind) \
  constexpr VMword VMTag_##name = VM_TAG(kind, subkind);
PUX_VM_TAG_LIST(PUX_VM_TAG_CONSTANT)
#undef PUX_VM_TAG_CONSTANT

#define PUX_VM_COUNT_TAG(name, kind, subkind) +1
constexpr int VMTagCount = 0 PUX_VM_TAG_LIST(PUX_VM_COUNT_TAG);
#undef PUX_VM_COUNT_TAG
static_assert(VMTagCount == 178, "the tag table names 178 classes");

static_assert(VMTag_VMObject == 0x206FFECAu, "tag layout");
static_assert(VMTag_VM == 0x2076FECAu, "tag layout");
static_assert(VMTag_VMbyteArray == 0x425BFECAu, "tag layout");
static_assert(VMTag_VMUserClassInstance == 0x6375FECAu, "tag layout");

#endif
