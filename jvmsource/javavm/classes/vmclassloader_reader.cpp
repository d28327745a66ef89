/* Byte sources of class files and the readers over them, the zip entry finder the host
   calls on its archives, and the class-name scan behind GetClassInfo. */
#include "vmclassloader.h"

#include <string.h>

#include "vmclass.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmutils.h"

/* ---- sources ---- */

VMClassLoader::classReader::classReader(VMClass* cls, void* loaderId, VMStatus& status,
                                        bool throwWhenMissing)
    : classReader() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  char* name = cls->GetName() != NULL ? cls->GetName()->MakeUTF8() : NULL;
  if (name == NULL) {
    status = VMStatus_OutOfMemoryError;
    return;
  }
  void* h = host->OpenClassStream(name, &VMClassLoader::FindInZipFile, loaderId);
  if (h == NULL) {
    // With no env (a thread the machine does not know) there is nobody to throw on: the
    // status alone reports the missing class.
    JNIEnv* env = throwWhenMissing ? host->GetCurrentEnv() : NULL;
    if (env != NULL) VMJniThrowInternal(env, VMStatus_NoClassDefFoundError, name);
    status = VMStatus_NoClassDefFoundError;
  } else {
    *this = classReader(h);
    status = 0;
  }
  VMLiteral::FreeUTF8(name);
}

VMClassLoader::classReader::classReader(void* hostHandle) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  handle = hostHandle;
  Read = host->StreamRead;
  Skip = host->StreamSkip;
  Seek = host->StreamSeek;
  Size = host->StreamSize;
  Close = host->StreamClose;
}

VMClassLoader::classReader::classReader(MemorySource* source)
    : handle(source), Read(MemoryRead), Skip(MemorySkip), Seek(MemorySeek), Size(MemorySize),
      Close(MemoryClose) {}

jint HOSTCALL VMClassLoader::classReader::MemoryRead(void* handle, void* buffer, jint count) {
  MemorySource* s = static_cast<MemorySource*>(handle);
  if (count <= 0 || s->position >= s->size) return 0;
  uint32_t n = (uint32_t)count;
  if (n > s->size - s->position) n = s->size - s->position;
  memcpy(buffer, s->data + s->position, n);
  s->position += n;
  return (jint)n;
}

jint HOSTCALL VMClassLoader::classReader::MemorySkip(void* handle, jint count) {
  MemorySource* s = static_cast<MemorySource*>(handle);
  uint32_t target = s->position + (uint32_t)count;
  // Unsigned: a skip back past the start wraps above the size and is refused too.
  if (target < s->size) {
    s->position = target;
    return (jint)target;
  }
  return -1;
}

jint HOSTCALL VMClassLoader::classReader::MemorySeek(void* handle, jint position) {
  MemorySource* s = static_cast<MemorySource*>(handle);
  // A negative position would let the next read copy from before the buffer.
  if (position < 0 || (uint32_t)position >= s->size) return -1;
  s->position = (uint32_t)position;
  return position;
}

jint HOSTCALL VMClassLoader::classReader::MemorySize(void* handle) {
  return (jint) static_cast<MemorySource*>(handle)->size;
}

void HOSTCALL VMClassLoader::classReader::MemoryClose(void*) {}

/* ---- readers ---- */

void VMClassLoader::GetBytes(classReader& reader, void* buffer, uint32_t count,
                             VMErrorCatcher& catcher) {
  if (count == 0) return;
  if (count > 0x7FFFFFFFu) catcher.Throw(VMStatus_ClassFormatError);
  jint got = reader.Read(reader.handle, buffer, (jint)count);
  if (got != (jint)count) catcher.Throw(VMStatus_ClassFormatError);
}

uint8_t VMClassLoader::Get1(classReader& reader, VMErrorCatcher& catcher) {
  uint8_t b;
  GetBytes(reader, &b, 1, catcher);
  return b;
}

uint16_t VMClassLoader::Get2(classReader& reader, VMErrorCatcher& catcher) {
  uint8_t b[2];
  GetBytes(reader, b, 2, catcher);
  return (uint16_t)(b[0] << 8 | b[1]);
}

uint32_t VMClassLoader::Get4(classReader& reader, VMErrorCatcher& catcher) {
  uint8_t b[4];
  GetBytes(reader, b, 4, catcher);
  return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
}

uint64_t VMClassLoader::Get8(classReader& reader, VMErrorCatcher& catcher) {
  uint64_t high = Get4(reader, catcher);
  return high << 32 | Get4(reader, catcher);
}

uint16_t VMClassLoader::Get2s(classReader& reader, VMErrorCatcher& catcher) {
  uint8_t b[2];
  GetBytes(reader, b, 2, catcher);
  return (uint16_t)(b[0] | b[1] << 8);
}

uint32_t VMClassLoader::Get4s(classReader& reader, VMErrorCatcher& catcher) {
  uint8_t b[4];
  GetBytes(reader, b, 4, catcher);
  return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

void VMClassLoader::Skip(classReader& reader, uint32_t count, VMErrorCatcher& catcher) {
  if (count == 0) return;
  if (count <= 0x7FFFFFFFu && reader.Skip(reader.handle, (jint)count) != -1) return;
  // Sources refuse a skip that lands exactly on their end: read what is skipped instead.
  uint8_t sink[512];
  while (count > 0) {
    uint32_t n = count < sizeof sink ? count : (uint32_t)sizeof sink;
    GetBytes(reader, sink, n, catcher);
    count -= n;
  }
}

void VMClassLoader::SkipOneAttribute(classReader& reader, VMErrorCatcher& catcher) {
  uint32_t length = Get4(reader, catcher);
  Skip(reader, length, catcher);
}

void VMClassLoader::CheckFlags(uint32_t maxBits, uint32_t flags, uint32_t mask,
                               VMErrorCatcher& catcher) {
  if ((uint32_t)__builtin_popcount(flags & mask) > maxBits) catcher.Throw(VMStatus_ClassFormatError);
}

/* ---- zip entries ---- */

namespace {

const uint32_t kZipLocalSignature = 0x04034B50u;
const uint16_t kZipSizesFollowData = 0x0008;

}  // namespace

uint32_t HOSTCALL VMClassLoader::FindInZipFile(void* handle, const char* name,
                                               uint32_t* compressedSize) {
  if (handle == NULL || name == NULL) return 0;
  size_t nameLength = strlen(name);
  if (nameLength + 1 > ZIP_NAME_BUFFER) return 0;
  classReader reader(handle);
  char entryName[ZIP_NAME_BUFFER];
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) return 0;
  while (Get4s(reader, catcher) == kZipLocalSignature) {
    Get2s(reader, catcher);  // version needed
    uint16_t flags = Get2s(reader, catcher);
    uint16_t method = Get2s(reader, catcher);
    Get4s(reader, catcher);  // time and date
    Get4s(reader, catcher);  // CRC-32
    uint32_t csize = Get4s(reader, catcher);
    uint32_t usize = Get4s(reader, catcher);
    uint16_t n = Get2s(reader, catcher);
    uint16_t m = Get2s(reader, catcher);
    if (method == 0) csize = usize;
    bool match = false;
    if (n < ZIP_NAME_BUFFER) {
      GetBytes(reader, entryName, n, catcher);
      match = n == nameLength && memcmp(entryName, name, n) == 0;
    } else {
      Skip(reader, n, catcher);
    }
    // An entry whose sizes follow its data has no sizes here: its size would be wrong
    // and the next header cannot be found.
    if ((flags & kZipSizesFollowData) != 0) return 0;
    Skip(reader, m, catcher);
    if (match) {
      if (method != 0 && method != 8) return 0;
      if (compressedSize != NULL) *compressedSize = csize;
      return usize;
    }
    Skip(reader, csize, catcher);
  }
  return 0;
}

/* ---- class name and flags without loading ---- */

bool VMClassLoader::ScanForName(void* handle, uint16_t& classIndex, uint16_t& nameIndex,
                                char* buffer, uint32_t size, uint16_t* access) {
  classReader reader(handle);
  // Volatile: read on the landing path after the long jump.
  volatile bool copied = false;
  // Where the stream stood, so that a file cut short leaves it there too for whoever reads
  // next (and for the next pass, which must not start from the middle of the pool).
  volatile jint start = reader.Position();
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    if (start >= 0) reader.Seek(reader.handle, start);
    return false;
  }
  Skip(reader, 8, catcher);
  uint32_t count = Get2(reader, catcher);
  for (uint32_t i = 1; i < count; i++) {
    uint8_t tag = Get1(reader, catcher);
    switch (tag) {
      case 1: {
        uint16_t length = Get2(reader, catcher);
        if (i == nameIndex && nameIndex != 0 && length < size) {
          GetBytes(reader, buffer, length, catcher);
          for (uint32_t k = 0; k < length; k++)
            if (buffer[k] == '/') buffer[k] = '.';
          buffer[length] = 0;
          copied = true;
        } else {
          Skip(reader, length, catcher);
        }
        break;
      }
      case 3: case 4: case 9: case 10: case 11: case 12:
        Skip(reader, 4, catcher);
        break;
      case 5: case 6:
        Skip(reader, 8, catcher);
        i++;
        break;
      case 7:
        if (i == classIndex && classIndex != 0)
          nameIndex = Get2(reader, catcher);
        else
          Skip(reader, 2, catcher);
        break;
      case 8:
        Skip(reader, 2, catcher);
        break;
      default:
        catcher.Throw(VMStatus_ClassFormatError);
    }
  }
  uint16_t flags = Get2(reader, catcher);
  if (access != NULL) *access = flags;
  classIndex = Get2(reader, catcher);
  jint now = reader.Position();
  if (start >= 0 && now > start) reader.Skip(reader.handle, start - now);
  return copied;
}

VMStatus VMClassLoader::GetClassInfo(void* handle, char* buffer, uint32_t size, uint16_t* access) {
  if (handle == NULL || buffer == NULL) return VMStatus_ClassFormatError;
  uint16_t classIndex = 0, nameIndex = 0;
  for (int pass = 0; pass < 3; pass++)
    if (ScanForName(handle, classIndex, nameIndex, buffer, size, access)) return 0;
  return VMStatus_ClassFormatError;
}
