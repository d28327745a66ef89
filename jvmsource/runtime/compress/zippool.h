/* The compression memory pool of a machine: small zero-filled blocks of process memory,
   each with a 12-byte header linking it into the pool's list, counted so that the zip
   natives can hold a machine's compression memory to a budget and so that whatever is
   left is freed with the machine.

   The pool is found from the calling thread's env (its machine's JavaVM record keeps it
   in the key/value list under the key ZipPoolCookieDestroy); list, count and references
   change under the monitor of the machine's VM object. A thread that is not attached to
   a machine gets no pool: null from every entry that would need one. */
#ifndef PUX_COMPRESS_ZIPPOOL_H
#define PUX_COMPRESS_ZIPPOOL_H

#include <stdint.h>

#include "jnitypes.h"

struct ZipPoolBlock {
  ZipPoolBlock* next;
  ZipPoolBlock* prev;
  uint32_t size; /* the whole block, header included */
};

/* 20 bytes of process memory. */
struct ZipPoolCookie {
  enum : uint32_t { Tag = 0x584D5451u }; /* the bytes "QTMX" in memory */
  enum : uint32_t { HeaderBytes = 12, MinimumBlock = 16 };
  /* The largest request: its header must still fit in 32 bits. */
  enum : uint32_t { MaxRequest = 0xFFFFFFFFu - HeaderBytes };

  uint32_t tag;
  ZipPoolBlock* first;
  ZipPoolBlock* last;
  uint32_t bytesInUse;
  int32_t references;

  /* A zero-filled block of n bytes (1 to MaxRequest), counted and linked; null when the
     host refuses or the calling thread's machine monitor cannot be had. */
  void* Alloc(uint32_t n);
  /* Unlinks and releases a block of this pool. When the monitor cannot be had the block
     stays linked and counted, for FreeAll to release. */
  void Free(void* block);
  /* Releases every block; the list is empty and the count 0 afterwards. */
  void FreeAll();
  void Link(ZipPoolBlock* block);
  void Unlink(ZipPoolBlock* block);
  bool IsValid() const { return tag == Tag; }
};

static_assert(sizeof(void*) != 4 || sizeof(ZipPoolCookie) == 20, "the cookie is 20 bytes");
static_assert(sizeof(void*) != 4 || sizeof(ZipPoolBlock) == 12, "a block header is 12 bytes");

/* The calling thread's machine's pool with one more reference (made on first use), or
   null. */
ZipPoolCookie* ZipPoolGetCookie();
/* Drops one reference; the last one releases the pool and every block in it. */
void ZipPoolReleaseCookie(ZipPoolCookie* cookie);
/* items x size zero-filled bytes from the pool (a stream's zalloc with the cookie as its
   opaque); null for a product of 0 or one too large, a null or foreign cookie, or no
   memory. */
void* ZipPoolAlloc(void* cookie, uint32_t items, uint32_t size);
/* A stream's zfree. */
void ZipPoolFree(void* cookie, void* block);
/* Bytes of the pool's blocks, headers included; 0xFFFFFFFF for a null or foreign cookie. */
uint32_t ZipPoolBytesInUse(ZipPoolCookie* cookie);
/* A block from the calling thread's machine's pool; every block handed out holds one
   reference on the pool (taken even when the request is refused). */
void* ZipPoolChunkAlloc(uint32_t bytes);
/* Gives back a block of ZipPoolChunkAlloc and the reference it held. */
void ZipPoolChunkFree(void* block);
/* The key of the pool's pair: releases every block and the cookie. Called by the
   machine's destruction once no thread uses the pool any more; takes no lock. */
void HOSTCALL ZipPoolCookieDestroy(void* cookie);
/* Called by ZipPoolCookieDestroy with the pool before its blocks go, when set: a user of
   the pool that keeps its blocks on a list of its own drops them there. */
extern void (*ZipPoolForgetHook)(ZipPoolCookie* cookie);
/* Process memory of the host (kind 1); ZipPoolRawFree ignores null. */
void* ZipPoolRawAlloc(uint32_t bytes);
void ZipPoolRawFree(void* block);

#endif
