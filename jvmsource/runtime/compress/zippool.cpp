#include "zippool.h"

#include <string.h>

#include "vm.h"
#include "vmjni.h"
#include "vmutils.h"

namespace {

/* The calling thread's machine, or null for a thread without an env. */
bool CurrentMachine(JavaVM** javaVM) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (host == NULL) return false;
  JNIEnv* env = host->GetCurrentEnv();
  if (env == NULL || env->javaVM == NULL || env->javaVM->vm == NULL) return false;
  *javaVM = env->javaVM;
  return true;
}

/* The monitor of the calling thread's machine; false when there is none to enter. */
bool EnterMachine(JavaVM** javaVM) {
  if (!CurrentMachine(javaVM)) return false;
  return (*javaVM)->vm->MonitorEnter((*javaVM)->nameSpace) == VMStatus_OK;
}

void LeaveMachine(JavaVM* javaVM) { javaVM->vm->MonitorExit(javaVM->nameSpace); }

ZipPoolCookie* CheckedCookie(void* cookie) {
  if (cookie == NULL) {
    JNI_Assert("cookie", __FILE__, __LINE__);
    return NULL;
  }
  ZipPoolCookie* c = static_cast<ZipPoolCookie*>(cookie);
  if (!c->IsValid()) {
    JNI_Assert("NULL", __FILE__, __LINE__);
    return NULL;
  }
  return c;
}

/* Releases a chain of blocks already taken off a list. */
void ReleaseChain(ZipPoolBlock* block) {
  while (block != NULL) {
    ZipPoolBlock* next = block->next;
    ZipPoolRawFree(block);
    block = next;
  }
}

/* Frees the cookie itself; the tag goes first so that a stale pointer is refused. */
void ReleaseCookieRecord(ZipPoolCookie* cookie) {
  cookie->tag = 0;
  ZipPoolRawFree(cookie);
}

/* The bytes a request of n bytes occupies, header included; 0 for a request the pool
   refuses. */
uint32_t BlockBytes(uint32_t n) {
  if (n < 1 || n > ZipPoolCookie::MaxRequest) return 0;
  uint32_t total = n + ZipPoolCookie::HeaderBytes;
  return total < ZipPoolCookie::MinimumBlock ? ZipPoolCookie::MinimumBlock : total;
}

/* A block enters the pool's list and count, or leaves both. The caller holds the
   machine's monitor. */
void Enlist(ZipPoolCookie* cookie, ZipPoolBlock* block) {
  cookie->bytesInUse += block->size;
  cookie->Link(block);
}

void Delist(ZipPoolCookie* cookie, ZipPoolBlock* block) {
  cookie->Unlink(block);
  cookie->bytesInUse -= block->size;
}

/* The machine's pool, made and listed when there is none and make is set; null when
   there is none or it cannot be made. The caller holds the machine's monitor. */
ZipPoolCookie* ListedCookie(JavaVM* javaVM, bool make) {
  for (VMJniKeyValueNode* n = static_cast<VMJniKeyValueNode*>(javaVM->destroyCallbacks); n != NULL;
       n = n->next) {
    if (n->key == ZipPoolCookieDestroy) {
      ZipPoolCookie* cookie = static_cast<ZipPoolCookie*>(n->value);
      VM_ASSERT(cookie->IsValid());
      return cookie;
    }
  }
  if (!make) return NULL;
  ZipPoolCookie* cookie = static_cast<ZipPoolCookie*>(ZipPoolRawAlloc(sizeof(ZipPoolCookie)));
  if (cookie == NULL) return NULL;
  memset(cookie, 0, sizeof(ZipPoolCookie));
  cookie->tag = ZipPoolCookie::Tag;
  // An unlisted pool would be found by nobody: the next call would make a second one,
  // and blocks of this one would be freed into that one.
  if (VMJniAddKeyValue(javaVM, ZipPoolCookieDestroy, cookie) != 0) {
    ReleaseCookieRecord(cookie);
    return NULL;
  }
  return cookie;
}

/* Drops one reference of a listed pool; on the last the pool leaves the machine's list
   and its chain of blocks is handed back in *chain, for the caller to release outside
   the monitor with the cookie. The caller holds the machine's monitor. */
bool DropReference(JavaVM* javaVM, ZipPoolCookie* cookie, ZipPoolBlock** chain) {
  if (--cookie->references != 0) return false;
  VMJniRemoveKeyValue(javaVM, ZipPoolCookieDestroy, cookie);
  *chain = cookie->first;
  cookie->first = cookie->last = NULL;
  cookie->bytesInUse = 0;
  cookie->tag = 0;
  return true;
}

/* Gives back, outside the monitor, a pool that has left every list. */
void ReleasePool(ZipPoolCookie* cookie, ZipPoolBlock* chain) {
  ReleaseChain(chain);
  ReleaseCookieRecord(cookie);
}

}  // namespace

void* ZipPoolRawAlloc(uint32_t bytes) {
  return VMUtils::GetHostFunctions()->HeapAlloc(NULL, bytes, jallocFailFast);
}

void ZipPoolRawFree(void* block) {
  if (block != NULL) VMUtils::GetHostFunctions()->HeapFree(NULL, block);
}

void ZipPoolCookie::Link(ZipPoolBlock* block) {
  block->next = NULL;
  block->prev = last;
  if (last == NULL) {
    first = block;
  } else {
    last->next = block;
  }
  last = block;
}

void ZipPoolCookie::Unlink(ZipPoolBlock* block) {
  if (block->prev == NULL) {
    first = block->next;
  } else {
    block->prev->next = block->next;
  }
  if (block->next == NULL) {
    last = block->prev;
  } else {
    block->next->prev = block->prev;
  }
  block->next = block->prev = NULL;
}

void* ZipPoolCookie::Alloc(uint32_t n) {
  uint32_t total = BlockBytes(n);
  if (total == 0) return NULL;
  ZipPoolBlock* block = static_cast<ZipPoolBlock*>(ZipPoolRawAlloc(total));
  if (block == NULL) return NULL;
  memset(block, 0, total);
  block->size = total;
  JavaVM* javaVM;
  if (!EnterMachine(&javaVM)) {
    ZipPoolRawFree(block);
    return NULL;
  }
  Enlist(this, block);
  LeaveMachine(javaVM);
  return reinterpret_cast<uint8_t*>(block) + HeaderBytes;
}

void ZipPoolCookie::Free(void* address) {
  ZipPoolBlock* block = reinterpret_cast<ZipPoolBlock*>(static_cast<uint8_t*>(address) - HeaderBytes);
  JavaVM* javaVM;
  if (!EnterMachine(&javaVM)) return;
  Delist(this, block);
  LeaveMachine(javaVM);
  ZipPoolRawFree(block);
}

void ZipPoolCookie::FreeAll() {
  ZipPoolBlock* chain = first;
  first = last = NULL;
  bytesInUse = 0;
  ReleaseChain(chain);
}

ZipPoolCookie* ZipPoolGetCookie() {
  JavaVM* javaVM;
  if (!EnterMachine(&javaVM)) return NULL;
  ZipPoolCookie* cookie = ListedCookie(javaVM, true);
  if (cookie != NULL) cookie->references++;
  LeaveMachine(javaVM);
  return cookie;
}

void ZipPoolReleaseCookie(ZipPoolCookie* cookie) {
  JavaVM* javaVM;
  if (!EnterMachine(&javaVM)) return;
  if (CheckedCookie(cookie) == NULL) {
    LeaveMachine(javaVM);
    return;
  }
  ZipPoolBlock* chain = NULL;
  bool release = DropReference(javaVM, cookie, &chain);
  LeaveMachine(javaVM);
  if (release) ReleasePool(cookie, chain);
}

void* ZipPoolAlloc(void* cookie, uint32_t items, uint32_t size) {
  ZipPoolCookie* c = CheckedCookie(cookie);
  if (c == NULL) return NULL;
  uint64_t bytes = (uint64_t)items * size;
  if (bytes == 0 || bytes > ZipPoolCookie::MaxRequest) return NULL;
  return c->Alloc((uint32_t)bytes);
}

void ZipPoolFree(void* cookie, void* block) {
  ZipPoolCookie* c = CheckedCookie(cookie);
  if (c == NULL || block == NULL) return;
  c->Free(block);
}

uint32_t ZipPoolBytesInUse(ZipPoolCookie* cookie) {
  ZipPoolCookie* c = CheckedCookie(cookie);
  return c == NULL ? 0xFFFFFFFFu : c->bytesInUse;
}

/* A stream's set-up and end take and give some nine hundred chunks: each request and
   each release does its work under one entry of the machine's monitor, with the same
   effects in the same order as taking a reference and then allocating (or freeing and
   then dropping the reference). The host's allocation is made under the monitor so that
   a pool made by this request is made before its block, as a separate reference would. */
void* ZipPoolChunkAlloc(uint32_t bytes) {
  JavaVM* javaVM;
  if (!EnterMachine(&javaVM)) return NULL;
  ZipPoolCookie* cookie = ListedCookie(javaVM, true);
  ZipPoolBlock* block = NULL;
  uint32_t total = BlockBytes(bytes);
  if (cookie != NULL) {
    cookie->references++;
    if (total != 0) block = static_cast<ZipPoolBlock*>(ZipPoolRawAlloc(total));
    if (block != NULL) {
      block->size = total;
      Enlist(cookie, block);
    }
  }
  LeaveMachine(javaVM);
  if (block == NULL) return NULL;
  // The reference this block holds keeps the pool, and so the block, alive.
  uint8_t* data = reinterpret_cast<uint8_t*>(block) + ZipPoolCookie::HeaderBytes;
  memset(data, 0, total - ZipPoolCookie::HeaderBytes);
  return data;
}

void ZipPoolChunkFree(void* address) {
  if (address == NULL) return;
  JavaVM* javaVM;
  if (!EnterMachine(&javaVM)) return;
  // Without a pool the block cannot be one of its chunks: nothing to unlink.
  ZipPoolCookie* cookie = ListedCookie(javaVM, false);
  if (cookie == NULL) {
    LeaveMachine(javaVM);
    return;
  }
  ZipPoolBlock* block = reinterpret_cast<ZipPoolBlock*>(static_cast<uint8_t*>(address) - ZipPoolCookie::HeaderBytes);
  Delist(cookie, block);
  ZipPoolBlock* chain = NULL;
  bool release = DropReference(javaVM, cookie, &chain);
  LeaveMachine(javaVM);
  ZipPoolRawFree(block);
  if (release) ReleasePool(cookie, chain);
}

void (*ZipPoolForgetHook)(ZipPoolCookie* cookie) = NULL;

void HOSTCALL ZipPoolCookieDestroy(void* cookie) {
  ZipPoolCookie* c = static_cast<ZipPoolCookie*>(cookie);
  if (c == NULL || !c->IsValid()) return;
  if (ZipPoolForgetHook != NULL) ZipPoolForgetHook(c);
  c->FreeAll();
  ReleaseCookieRecord(c);
}
