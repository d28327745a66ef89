/* The file-system workers that java.io.File's natives (the receiver is the File) and the
   file-system objects' natives (the File is an argument) share, so that each operation
   behaves the same whichever generation of the class library calls it.

   Every worker passes the file gate first and hands the host only paths it has copied:
   a null File, something that is no File, or a File without a path is a
   NullPointerException with no host call, and a copy that cannot be made is an
   OutOfMemoryError. The delete-on-exit list is the machine's; it keeps files of its own
   holding the path as it was at registration, so a File renamed later (renaming never
   changes the File object either) cannot send another file to the shutdown pass. */
#include <string.h>

#include "javaio.h"
#include "vm.h"
#include "vmarray.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmjniutils.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmupcalls.h"
#include "vmutils.h"

using namespace javaio;

namespace {

/* Canonical paths are made in this many bytes, the NUL included. */
const jint kCanonicalRoom = 260;

/* Whether the object is a java.io.File (or of a subclass), whose path field is then
   readable. False for null and for other objects, and false with the look-up's error
   pending when the class could not be had (an OutOfMemoryError stays what it is). */
bool IsFileObject(JNIEnv* env, jobject file) {
  if (VMJniHandle::UnHandle(env, file) == NULL) return false;
  jclass cls = env->javaVM->nameSpace->GetJNIUtils()->GetClassFile(env);
  if (cls == 0) return false;
  return env->functions->IsInstanceOf(env, file, cls) != 0;
}

/* The path string of a File (a local reference); 0 with NullPointerException pending
   when there is no File or no path, or with the error that kept it from being read. */
jstring PathOf(JNIEnv* env, jobject file) {
  if (!IsFileObject(env, file)) {
    if (!env->functions->ExceptionCheck(env)) VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return 0;
  }
  jfieldID path = FieldFilePath(env);
  if (path == 0) return 0;
  jstring string = (jstring)env->functions->GetObjectField(env, file, path);
  if (StringOf(env, string) == NULL) {
    if (string != 0) env->functions->DeleteLocalRef(env, string);
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return 0;
  }
  return string;
}

/* The gate and the File's path, checked with the host: the table, or NULL with an
   exception pending (the gate's, or the path's). */
JNIHostFileSystem* GatedPath(JNIEnv* env, jobject file, char** name) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return NULL;
  *name = JavaIoFile_PathUTF8(env, file);
  if (*name == NULL) return NULL;
  fs->CheckPath(*name);
  return fs;
}

/* The gate and a path given as a String. */
JNIHostFileSystem* GatedString(JNIEnv* env, jstring path, char** name) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return NULL;
  *name = PathCopy(env, path, NULL);
  if (*name == NULL) return NULL;
  fs->CheckPath(*name);
  return fs;
}

/* A String of host text, or 0: OutOfMemoryError pending when it could not be made, or
   nothing pending (and *invalid set) for text that is not modified UTF-8. */
jstring NewString(JNIEnv* env, const char* text, bool* invalid) {
  *invalid = VMLiteral::UnicodeLength(text, (uint32_t)strlen(text)) == VMInvalidUTF8Length;
  if (*invalid) return 0;
  VMJavaLangString* string = VMJavaLangString::CreateInstance(env, text);
  if (string == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return 0;
  }
  return (jstring)VMJniHandle::NewLocal(env, string);
}

/* A String[] of the given length; 0 with an exception pending. */
jobjectArray NewStringArray(JNIEnv* env, jsize length) {
  jclass string = env->functions->FindClass(env, "java/lang/String");
  if (string == 0) return 0;
  jobjectArray array = env->functions->NewObjectArray(env, length, string, 0);
  env->functions->DeleteLocalRef(env, string);
  return array;
}

/* Copies the first count elements of one String[] into another. */
bool CopyElements(JNIEnv* env, jobjectArray from, jobjectArray to, jsize count) {
  for (jsize i = 0; i < count; i++) {
    jobject element = env->functions->GetObjectArrayElement(env, from, i);
    if (env->functions->ExceptionCheck(env)) return false;
    env->functions->SetObjectArrayElement(env, to, i, element);
    if (element != 0) env->functions->DeleteLocalRef(env, element);
    if (env->functions->ExceptionCheck(env)) return false;
  }
  return true;
}

/* The machine's delete-on-exit list, searched and appended to under the global mutex:
   appending may move the list's slots, which would pull them from under another
   thread's search. */
VMObjectHandleArray* DeleteOnExitList(JNIEnv* env) { return env->javaVM->vm->GetFilesToBeDeleted(); }

}  // namespace

char* JavaIoFile_PathUTF8(JNIEnv* env, jobject file) {
  jstring path = PathOf(env, file);
  if (path == 0) return NULL;
  char* name = StringOf(env, path)->MakeUTF8();
  env->functions->DeleteLocalRef(env, path);
  if (name == NULL) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  return name;
}

jboolean JavaIoFileSystem_Query(JNIEnv* env, jobject file, JavaIoPathQuery JNIHostFileSystem::*slot, bool quietGate) {
  if (quietGate && FileSystem() == NULL) return 0;
  char* name;
  JNIHostFileSystem* fs = GatedPath(env, file, &name);
  if (fs == NULL) return 0;
  jboolean answer = (fs->*slot)(name) & 0xFF ? 1 : 0;
  VMJavaLangString::FreeUTF8(name);
  return answer;
}

jboolean JavaIoFileSystem_CreateDirectory(JNIEnv* env, jobject file) {
  return JavaIoFileSystem_Query(env, file, &JNIHostFileSystem::MakeDirectory, false);
}

jlong JavaIoFileSystem_GetLastModifiedTime(JNIEnv* env, jobject file) {
  char* name;
  JNIHostFileSystem* fs = GatedPath(env, file, &name);
  if (fs == NULL) return 0;
  jlong time = fs->LastModified(name);
  VMJavaLangString::FreeUTF8(name);
  return time;
}

/* 0 for a missing file, and for a length the host cannot tell (never a negative one). */
jlong JavaIoFileSystem_GetLength(JNIEnv* env, jobject file) {
  char* name;
  JNIHostFileSystem* fs = GatedPath(env, file, &name);
  if (fs == NULL) return 0;
  jlong length = (fs->Exists(name) & 0xFF) ? PathLength(fs, name) : 0;
  VMJavaLangString::FreeUTF8(name);
  return length < 0 ? 0 : length;
}

jboolean JavaIoFileSystem_SetLastModifiedTime(JNIEnv* env, jobject file, jlong milliseconds) {
  char* name;
  JNIHostFileSystem* fs = GatedPath(env, file, &name);
  if (fs == NULL) return 0;
  jboolean done = fs->SetLastModified(name, milliseconds / 1000) & 0xFF ? 1 : 0;
  VMJavaLangString::FreeUTF8(name);
  return done;
}

jboolean JavaIoFileSystem_SetReadOnly(JNIEnv* env, jobject file) {
  return JavaIoFileSystem_Query(env, file, &JNIHostFileSystem::SetReadOnly, false);
}

/* No CheckPath here. */
jboolean JavaIoFileSystem_CheckAccess(JNIEnv* env, jobject file, jboolean write) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return 0;
  char* name = JavaIoFile_PathUTF8(env, file);
  if (name == NULL) return 0;
  jboolean answer = ((write & 0xFF) ? fs->CanWrite(name) : fs->CanRead(name)) & 0xFF ? 1 : 0;
  VMJavaLangString::FreeUTF8(name);
  return answer;
}

/* The buffer's last byte is made a NUL whatever the host wrote, so the text read back
   never runs past it. */
jstring JavaIoFileSystem_Canonicalize(JNIEnv* env, jstring path) {
  char* name;
  JNIHostFileSystem* fs = GatedString(env, path, &name);
  if (fs == NULL) return 0;
  char buffer[kCanonicalRoom];
  buffer[0] = 0;
  jint result = fs->Canonicalize(name, buffer, kCanonicalRoom);
  buffer[kCanonicalRoom - 1] = 0;
  VMJavaLangString::FreeUTF8(name);
  if (result < 0) {
    JavaIo_ThrowIOException(env, "java_io_File_canonPath");
    return 0;
  }
  bool invalid;
  jstring canonical = NewString(env, buffer, &invalid);
  if (invalid) JavaIo_ThrowIOException(env, "java_io_File_canonPath");
  return canonical;
}

/* Opened without truncation: a file that appears between the test and the open keeps
   its contents, and the answer is then true only if this call made nothing worse. */
jboolean JavaIoFileSystem_CreateFileExclusively(JNIEnv* env, jstring path) {
  char* name;
  JNIHostFileSystem* fs = GatedString(env, path, &name);
  if (fs == NULL) return 0;
  jboolean created = 0;
  if (!(fs->Exists(name) & 0xFF)) {
    jint handle = fs->OpenWrite(name, 0);
    if (handle >= 0) {
      fs->Close(handle);
      created = 1;
    }
  }
  VMJavaLangString::FreeUTF8(name);
  return created;
}

jboolean JavaIoFileSystem_Delete(JNIEnv* env, jobject file) {
  char* name;
  JNIHostFileSystem* fs = GatedPath(env, file, &name);
  if (fs == NULL) return 0;
  jboolean deleted = 0;
  if (fs->IsFile(name) & 0xFF) {
    deleted = fs->DeleteFile(name) & 0xFF ? 1 : 0;
  } else if (fs->IsDirectory(name) & 0xFF) {
    deleted = fs->RemoveDirectory(name) & 0xFF ? 1 : 0;
  }
  VMJavaLangString::FreeUTF8(name);
  return deleted;
}

/* Registers a File of the machine's own with the path the given File has now. */
jboolean JavaIoFileSystem_DeleteOnExit(JNIEnv* env, jobject file) {
  char* name;
  JNIHostFileSystem* fs = GatedPath(env, file, &name);
  if (fs == NULL) return 0;
  bool exists = (fs->Exists(name) & 0xFF) != 0;
  VMJavaLangString::FreeUTF8(name);
  if (!exists) return 0;
  VMObjectHandleArray* list = DeleteOnExitList(env);
  jclass fileClass = env->javaVM->nameSpace->GetJNIUtils()->GetClassFile(env);
  jfieldID pathId = FieldFilePath(env);
  jstring path = PathOf(env, file);
  if (list == NULL || fileClass == 0 || pathId == 0 || path == 0) {
    if (path != 0) env->functions->DeleteLocalRef(env, path);
    return 0;
  }
  jobject snapshot = env->functions->AllocObject(env, fileClass);
  if (snapshot == 0) {
    env->functions->DeleteLocalRef(env, path);
    return 0;
  }
  env->functions->SetObjectField(env, snapshot, pathId, path);
  VMJavaLangString* text = StringOf(env, path);
  VMObject* entry = VMJniHandle::UnHandle(env, snapshot);
  uint32_t index = 0;
  VMUtils::LockGlobalMutex();
  for (uint32_t i = 1; i < list->GetCount() && index == 0; i++) {
    VMObject* other = list->Get(i);
    VMJavaLangString* otherPath = other != NULL ? (VMJavaLangString*)other->GetWord(0) : NULL;
    if (otherPath != NULL && otherPath->Equals(text)) index = i;
  }
  if (index == 0) index = list->Append(entry);
  VMUtils::UnlockGlobalMutex();
  env->functions->DeleteLocalRef(env, snapshot);
  env->functions->DeleteLocalRef(env, path);
  if (index == 0) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  return index != 0 ? 1 : 0;
}

/* A null File, or a File without a path, is InternalError "null in getbooleanattribs";
   a path that cannot be copied is an OutOfMemoryError, never "absent". */
jint JavaIoFileSystem_GetBooleanAttributes(JNIEnv* env, jobject file) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return 0;
  jstring path = 0;
  if (IsFileObject(env, file)) {
    jfieldID pathId = FieldFilePath(env);
    if (pathId == 0) return 0;
    path = (jstring)env->functions->GetObjectField(env, file, pathId);
    if (path != 0 && StringOf(env, path) == NULL) {
      env->functions->DeleteLocalRef(env, path);
      path = 0;
    }
  } else if (env->functions->ExceptionCheck(env)) {
    return 0;
  }
  if (path == 0) {
    VMJniThrowInternal(env, VMStatus_InternalError, "null in getbooleanattribs");
    return 0;
  }
  char* name = StringOf(env, path)->MakeUTF8();
  env->functions->DeleteLocalRef(env, path);
  if (name == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return 0;
  }
  fs->CheckPath(name);
  jint attributes = 0;
  if (fs->Exists(name) & 0xFF) {
    attributes = 0x01;
    if (fs->IsFile(name) & 0xFF) attributes |= 0x02;
    if (fs->IsDirectory(name) & 0xFF) attributes |= 0x04;
    if (fs->IsHidden(name) & 0xFF) attributes |= 0x08;
  }
  VMJavaLangString::FreeUTF8(name);
  return attributes;
}

/* The working directory of a drive as the host's canonical form has it, without the
   drive letter and colon; null when the host knows none or it is the drive's root. */
jstring JavaIoFileSystem_GetDriveDirectory(JNIEnv* env, jint drive) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return 0;
  char path[3] = {(char)(0x60 + drive), ':', 0};
  char buffer[kCanonicalRoom];
  buffer[0] = 0;
  jint result = fs->Canonicalize(path, buffer, kCanonicalRoom);
  buffer[kCanonicalRoom - 1] = 0;
  if (result < 0) return 0;
  const char* slash = strchr(buffer, '\\');
  if (slash == NULL || slash - buffer < 2 || strlen(buffer) == 3) return 0;
  size_t at = (size_t)(slash - buffer) - 2;
  memmove(buffer + at, slash, strlen(slash) + 1);
  bool invalid;
  return NewString(env, buffer, &invalid);
}

/* Names in a String[] that only local references hold while it fills, so a collection
   the allocations may start keeps it and every String in it. Only "." and ".." are left
   out: a name beginning with a dot is as real as any other. */
jobjectArray JavaIoFileSystem_List(JNIEnv* env, jobject file) {
  char* name;
  JNIHostFileSystem* fs = GatedPath(env, file, &name);
  if (fs == NULL) return 0;
  jlong listing = fs->ListOpen(name);
  VMJavaLangString::FreeUTF8(name);
  if (listing == 0) return 0;
  jsize count = 0, capacity = 4;
  jobjectArray names = NewStringArray(env, capacity);
  bool failed = names == 0;
  while (!failed) {
    const char* entry = fs->ListNext(listing);
    if (entry == NULL) break;
    if (!strcmp(entry, ".") || !strcmp(entry, "..")) continue;
    bool invalid;
    jstring string = NewString(env, entry, &invalid);
    if (invalid) continue;
    if (string == 0) {
      failed = true;
      break;
    }
    if (count == capacity) {
      jobjectArray larger = capacity <= 0x3FFFFFFF ? NewStringArray(env, capacity * 2) : 0;
      if (larger == 0 || !CopyElements(env, names, larger, count)) {
        if (!env->functions->ExceptionCheck(env)) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
        failed = true;
      } else {
        env->functions->DeleteLocalRef(env, names);
        names = larger;
        capacity *= 2;
      }
    }
    if (!failed) {
      env->functions->SetObjectArrayElement(env, names, count++, string);
      failed = env->functions->ExceptionCheck(env) != 0;
    }
    env->functions->DeleteLocalRef(env, string);
  }
  fs->ListClose(listing);
  if (failed) {
    if (names != 0) env->functions->DeleteLocalRef(env, names);
    return 0;
  }
  jobjectArray result = NewStringArray(env, count);
  if (result != 0 && !CopyElements(env, names, result, count)) {
    env->functions->DeleteLocalRef(env, result);
    result = 0;
  }
  env->functions->DeleteLocalRef(env, names);
  return result;
}

/* Bit i for drive 'a' + i whose root exists and is a directory. No CheckPath. */
jint JavaIoFileSystem_ListRoots(JNIEnv* env) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return 0;
  jint roots = 0;
  for (int i = 0; i < 26; i++) {
    char root[4] = {(char)('a' + i), ':', '\\', 0};
    if ((fs->Exists(root) & 0xFF) && (fs->IsDirectory(root) & 0xFF)) roots |= 1 << i;
  }
  return roots;
}

/* Neither File changes: a File names one path for good, and hash tables keyed by it keep
   finding it. */
jboolean JavaIoFileSystem_Rename(JNIEnv* env, jobject from, jobject to) {
  char* source;
  JNIHostFileSystem* fs = GatedPath(env, from, &source);
  if (fs == NULL) return 0;
  char* target = JavaIoFile_PathUTF8(env, to);
  if (target == NULL) {
    VMJavaLangString::FreeUTF8(source);
    return 0;
  }
  fs->CheckPath(target);
  jboolean renamed = fs->Rename(source, target) & 0xFF ? 1 : 0;
  VMJavaLangString::FreeUTF8(source);
  VMJavaLangString::FreeUTF8(target);
  return renamed;
}

/* The shutdown pass over the delete-on-exit list: nothing at all without file access,
   and no exception left on the destroying thread. Entries are read under the lock that
   appends take; the list only grows, so an entry read stays valid. */
void JavaIoFileSystem_DeleteAtExit(JNIEnv* env, VM* vm) {
  VMObjectHandleArray* list = vm->GetFilesToBeDeleted();
  if (env == NULL || list == NULL || FileSystem() == NULL) return;
  /* What was pending before the pass is pending after it. */
  jthrowable before = env->functions->ExceptionOccurred(env);
  env->functions->ExceptionClear(env);
  for (uint32_t i = 1;; i++) {
    VMUtils::LockGlobalMutex();
    VMObject* entry = i < list->GetCount() ? list->Get(i) : NULL;
    bool more = i < list->GetCount();
    VMUtils::UnlockGlobalMutex();
    if (!more) break;
    if (entry == NULL) continue;
    jobject local = VMJniHandle::NewLocal(env, entry);
    if (local == 0) {
      env->functions->ExceptionClear(env);
      continue;
    }
    JavaIoFileSystem_Delete(env, local);
    env->functions->ExceptionClear(env);
    env->functions->DeleteLocalRef(env, local);
  }
  if (before != 0) {
    env->functions->Throw(env, before);
    env->functions->DeleteLocalRef(env, before);
  }
}

void upcall::JavaIoFileSystemDeleteAtExit(JNIEnv* env, VM* vm) { JavaIoFileSystem_DeleteAtExit(env, vm); }
