/* The natives of java.io.File (the receiver is the File) and of the file-system objects of
   a 1.2-style library (java.io.FileSystem hands out a Win32FileSystem; the File is an
   argument and the receiver carries nothing). All of them are thin entries over the
   workers of javaiofilesystem.cpp. This library's File uses the first set only; the
   tables of classes it does not have bind nothing. */
#include "javaio.h"
#include "registration.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjni.h"

namespace {

/* A new object of a class by name through its "()V" constructor; null when the class or
   constructor is missing (the look-up's error pending). */
jobject NewObjectByName(JNIEnv* env, const char* className) {
  jclass cls = env->functions->FindClass(env, className);
  if (cls == 0) return 0;
  jobject object = 0;
  jmethodID init = env->functions->GetMethodID(env, cls, "<init>", "()V");
  if (init != 0) object = env->functions->NewObject(env, cls, init);
  env->functions->DeleteLocalRef(env, cls);
  return object;
}

}  // namespace

jobject JavaIo_NewObjectByName(JNIEnv* env, const char* className) { return NewObjectByName(env, className); }

extern "C" {

/* ---- java.io.File ---- */

static jboolean JNICALL File_exists0(JNIEnv* env, jobject self) {
  return JavaIoFileSystem_Query(env, self, &JNIHostFileSystem::Exists, true);
}
static jboolean JNICALL File_canWrite0(JNIEnv* env, jobject self) {
  return JavaIoFileSystem_Query(env, self, &JNIHostFileSystem::CanWrite, false);
}
static jboolean JNICALL File_canRead0(JNIEnv* env, jobject self) {
  return JavaIoFileSystem_Query(env, self, &JNIHostFileSystem::CanRead, false);
}
static jboolean JNICALL File_isFile0(JNIEnv* env, jobject self) {
  return JavaIoFileSystem_Query(env, self, &JNIHostFileSystem::IsFile, false);
}
static jboolean JNICALL File_isDirectory0(JNIEnv* env, jobject self) {
  return JavaIoFileSystem_Query(env, self, &JNIHostFileSystem::IsDirectory, false);
}
static jlong JNICALL File_lastModified0(JNIEnv* env, jobject self) { return JavaIoFileSystem_GetLastModifiedTime(env, self); }
static jlong JNICALL File_length0(JNIEnv* env, jobject self) { return JavaIoFileSystem_GetLength(env, self); }
static jboolean JNICALL File_mkdir0(JNIEnv* env, jobject self) { return JavaIoFileSystem_CreateDirectory(env, self); }
static jboolean JNICALL File_renameTo0(JNIEnv* env, jobject self, jobject dest) {
  return JavaIoFileSystem_Rename(env, self, dest);
}
static jboolean JNICALL File_delete0(JNIEnv* env, jobject self) { return JavaIoFileSystem_Delete(env, self); }
static jboolean JNICALL File_rmdir0(JNIEnv* env, jobject self) {
  return JavaIoFileSystem_Query(env, self, &JNIHostFileSystem::RemoveDirectory, false);
}
static jobjectArray JNICALL File_list0(JNIEnv* env, jobject self) { return JavaIoFileSystem_List(env, self); }
static jstring JNICALL File_canonPath(JNIEnv* env, jobject, jstring path) {
  return JavaIoFileSystem_Canonicalize(env, path);
}

/* IsAbsolute alone, without CheckPath. */
static jboolean JNICALL File_isAbsolute(JNIEnv* env, jobject self) {
  JNIHostFileSystem* fs = javaio::Gate(env);
  if (fs == NULL) return 0;
  char* name = JavaIoFile_PathUTF8(env, self);
  if (name == NULL) return 0;
  jboolean answer = fs->IsAbsolute(name) & 0xFF ? 1 : 0;
  VMJavaLangString::FreeUTF8(name);
  return answer;
}

/* ---- java.io.FileSystem ---- */

static jobject JNICALL FileSystem_getFileSystem(JNIEnv* env, jclass) {
  return NewObjectByName(env, "java/io/Win32FileSystem");
}

/* ---- java.io.Win32FileSystem and java.io.UnixFileSystem: the receiver is ignored ---- */

static jstring JNICALL FS_canonicalize(JNIEnv* env, jobject, jstring path) {
  return JavaIoFileSystem_Canonicalize(env, path);
}
static jboolean JNICALL FS_checkAccess(JNIEnv* env, jobject, jobject file, jboolean write) {
  return JavaIoFileSystem_CheckAccess(env, file, write);
}
static jboolean JNICALL FS_createDirectory(JNIEnv* env, jobject, jobject file) {
  return JavaIoFileSystem_CreateDirectory(env, file);
}
static jboolean JNICALL FS_createFileExclusively(JNIEnv* env, jobject, jstring path) {
  return JavaIoFileSystem_CreateFileExclusively(env, path);
}
static jboolean JNICALL FS_delete(JNIEnv* env, jobject, jobject file) { return JavaIoFileSystem_Delete(env, file); }
static jboolean JNICALL FS_deleteOnExit(JNIEnv* env, jobject, jobject file) {
  return JavaIoFileSystem_DeleteOnExit(env, file);
}
static jint JNICALL FS_getBooleanAttributes(JNIEnv* env, jobject, jobject file) {
  return JavaIoFileSystem_GetBooleanAttributes(env, file);
}
static jstring JNICALL FS_getDriveDirectory(JNIEnv* env, jobject, jint drive) {
  return JavaIoFileSystem_GetDriveDirectory(env, drive);
}
static jlong JNICALL FS_getLastModifiedTime(JNIEnv* env, jobject, jobject file) {
  return JavaIoFileSystem_GetLastModifiedTime(env, file);
}
static jlong JNICALL FS_getLength(JNIEnv* env, jobject, jobject file) { return JavaIoFileSystem_GetLength(env, file); }
static void JNICALL FS_initIDs(JNIEnv*, jclass) {}
static jobjectArray JNICALL FS_list(JNIEnv* env, jobject, jobject file) { return JavaIoFileSystem_List(env, file); }
static jint JNICALL FS_listRoots0(JNIEnv* env, jobject) { return JavaIoFileSystem_ListRoots(env); }
static jboolean JNICALL FS_rename(JNIEnv* env, jobject, jobject from, jobject to) {
  return JavaIoFileSystem_Rename(env, from, to);
}
static jboolean JNICALL FS_setLastModifiedTime(JNIEnv* env, jobject, jobject file, jlong time) {
  return JavaIoFileSystem_SetLastModifiedTime(env, file, time);
}
static jboolean JNICALL FS_setReadOnly(JNIEnv* env, jobject, jobject file) {
  return JavaIoFileSystem_SetReadOnly(env, file);
}

}  // extern "C"

namespace {

const JNINativeMethod kFileNatives[] = {
    PUX_NATIVE("exists0", "()Z", File_exists0),
    PUX_NATIVE("canWrite0", "()Z", File_canWrite0),
    PUX_NATIVE("canRead0", "()Z", File_canRead0),
    PUX_NATIVE("isFile0", "()Z", File_isFile0),
    PUX_NATIVE("isDirectory0", "()Z", File_isDirectory0),
    PUX_NATIVE("lastModified0", "()J", File_lastModified0),
    PUX_NATIVE("length0", "()J", File_length0),
    PUX_NATIVE("mkdir0", "()Z", File_mkdir0),
    PUX_NATIVE("renameTo0", "(Ljava/io/File;)Z", File_renameTo0),
    PUX_NATIVE("delete0", "()Z", File_delete0),
    PUX_NATIVE("rmdir0", "()Z", File_rmdir0),
    PUX_NATIVE("list0", "()[Ljava/lang/String;", File_list0),
    PUX_NATIVE("canonPath", "(Ljava/lang/String;)Ljava/lang/String;", File_canonPath),
    PUX_NATIVE("isAbsolute", "()Z", File_isAbsolute),
};

const JNINativeMethod kFileSystemNatives[] = {
    PUX_NATIVE("getFileSystem", "()Ljava/io/FileSystem;", FileSystem_getFileSystem),
};

const JNINativeMethod kWin32FileSystemNatives[] = {
    PUX_NATIVE("canonicalize", "(Ljava/lang/String;)Ljava/lang/String;", FS_canonicalize),
    PUX_NATIVE("checkAccess", "(Ljava/io/File;Z)Z", FS_checkAccess),
    PUX_NATIVE("createDirectory", "(Ljava/io/File;)Z", FS_createDirectory),
    PUX_NATIVE("createFileExclusively", "(Ljava/lang/String;)Z", FS_createFileExclusively),
    PUX_NATIVE("delete", "(Ljava/io/File;)Z", FS_delete),
    PUX_NATIVE("deleteOnExit", "(Ljava/io/File;)Z", FS_deleteOnExit),
    PUX_NATIVE("getBooleanAttributes", "(Ljava/io/File;)I", FS_getBooleanAttributes),
    PUX_NATIVE("getDriveDirectory", "(I)Ljava/lang/String;", FS_getDriveDirectory),
    PUX_NATIVE("getLastModifiedTime", "(Ljava/io/File;)J", FS_getLastModifiedTime),
    PUX_NATIVE("getLength", "(Ljava/io/File;)J", FS_getLength),
    PUX_NATIVE("initIDs", "()V", FS_initIDs),
    PUX_NATIVE("list", "(Ljava/io/File;)[Ljava/lang/String;", FS_list),
    PUX_NATIVE("listRoots0", "()I", FS_listRoots0),
    PUX_NATIVE("rename", "(Ljava/io/File;Ljava/io/File;)Z", FS_rename),
    PUX_NATIVE("setLastModifiedTime", "(Ljava/io/File;J)Z", FS_setLastModifiedTime),
    PUX_NATIVE("setReadOnly", "(Ljava/io/File;)Z", FS_setReadOnly),
};

const JNINativeMethod kUnixFileSystemNatives[] = {
    PUX_NATIVE("canonicalize", "(Ljava/lang/String;)Ljava/lang/String;", FS_canonicalize),
    PUX_NATIVE("checkAccess", "(Ljava/io/File;Z)Z", FS_checkAccess),
    PUX_NATIVE("createDirectory", "(Ljava/io/File;)Z", FS_createDirectory),
    PUX_NATIVE("createFileExclusively", "(Ljava/lang/String;)Z", FS_createFileExclusively),
    PUX_NATIVE("delete", "(Ljava/io/File;)Z", FS_delete),
    PUX_NATIVE("deleteOnExit", "(Ljava/io/File;)Z", FS_deleteOnExit),
    PUX_NATIVE("getBooleanAttributes0", "(Ljava/io/File;)I", FS_getBooleanAttributes),
    PUX_NATIVE("getLastModifiedTime", "(Ljava/io/File;)J", FS_getLastModifiedTime),
    PUX_NATIVE("getLength", "(Ljava/io/File;)J", FS_getLength),
    PUX_NATIVE("initIDs", "()V", FS_initIDs),
    PUX_NATIVE("list", "(Ljava/io/File;)[Ljava/lang/String;", FS_list),
    PUX_NATIVE("rename", "(Ljava/io/File;Ljava/io/File;)Z", FS_rename),
    PUX_NATIVE("setLastModifiedTime", "(Ljava/io/File;J)Z", FS_setLastModifiedTime),
    PUX_NATIVE("setReadOnly", "(Ljava/io/File;)Z", FS_setReadOnly),
};

}  // namespace

extern "C" void Register_java_io_File(void) {
  JNI_RegisterNative("java/io/File", kFileNatives, PUX_ROWS(kFileNatives));
}

extern "C" void Register_java_io_FileSystem(void) {
  JNI_RegisterNative("java/io/FileSystem", kFileSystemNatives, PUX_ROWS(kFileSystemNatives));
}

extern "C" void Register_java_io_Win32FileSystem(void) {
  JNI_RegisterNative("java/io/Win32FileSystem", kWin32FileSystemNatives, PUX_ROWS(kWin32FileSystemNatives));
}

extern "C" void Register_java_io_UnixFileSystem(void) {
  JNI_RegisterNative("java/io/UnixFileSystem", kUnixFileSystemNatives, PUX_ROWS(kUnixFileSystemNatives));
}
