/* The delete worker the machine's shutdown pass runs for each file registered with
   deleteOnExit. The rest of the file and file-system natives come later. */
#include "javaio.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmseams.h"

namespace {

/* A java.io.File or a subclass: only then is body word 0 the path (a reference). */
bool IsFile(JNIEnv* env, VMObject* object) {
  if (object == NULL || !object->GetHasClass() || object->GetNumberOfElements() == 0) return false;
  VMLiteral* fileName = VMLiteral::CreateInstance(env->javaVM->nameSpace, "java/io/File", 0xFFFFFFFFu);
  for (VMClass* cls = object->GetClass(); cls != NULL; cls = cls->GetSuper())
    if (cls->GetName() == fileName) return fileName != NULL;
  return false;
}

}  // namespace

/* The path is the File's first instance field (body word 0), read without an id.
   Without a file table nothing is deleted and nothing is raised: the shutdown pass runs
   on a destroying thread that must not be left with an exception. */
jboolean JavaIoFileSystem_Delete(JNIEnv* env, jobject file) {
  JNIHostFileSystem* fs = javaio::FileSystem();
  VMObject* object = VMJniHandle::UnHandle(env, file);
  if (fs == NULL || !IsFile(env, object)) return 0;
  jobject path = VMJniHandle::NewLocal(env, (VMObject*)object->GetWord(0));
  VMJavaLangString* string = javaio::StringOf(env, path);
  char* name = string != NULL ? string->MakeUTF8() : NULL;
  if (path != 0) env->functions->DeleteLocalRef(env, path);
  if (name == NULL) return 0;
  fs->CheckPath(name);
  jboolean deleted = 0;
  if (fs->IsFile(name)) {
    deleted = fs->DeleteFile(name) ? 1 : 0;
  } else if (fs->IsDirectory(name)) {
    deleted = fs->RemoveDirectory(name) ? 1 : 0;
  }
  VMJavaLangString::FreeUTF8(name);
  return deleted;
}

jboolean seam::JavaIoFileSystemDelete(JNIEnv* env, jobject file) { return JavaIoFileSystem_Delete(env, file); }
