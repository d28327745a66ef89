#include "reusing_memory.h"

#include <map>
#include <mutex>
#include <vector>

#include "refhost.h"

namespace zip_test {

namespace {

struct State {
  std::mutex lock;
  void*(HOSTCALL* alloc)(HHeap*, uint32_t, jint) = nullptr;
  void(HOSTCALL* free)(HHeap*, void*) = nullptr;
  std::map<void*, uint32_t> sizes;                 // blocks handed out, by their size
  std::map<uint32_t, std::vector<void*>> freed;    // blocks given back, newest last
  uint32_t reused = 0;
};

State gState;

void* HOSTCALL Alloc(HHeap* heap, uint32_t size, jint allocType) {
  if (heap != nullptr) return gState.alloc(heap, size, allocType);
  std::lock_guard<std::mutex> hold(gState.lock);
  std::vector<void*>& same = gState.freed[size];
  void* block;
  if (!same.empty()) {
    block = same.back();
    same.pop_back();
    gState.reused++;
  } else {
    block = gState.alloc(nullptr, size, allocType);
    if (block == nullptr) return nullptr;
  }
  gState.sizes[block] = size;
  return block;
}

void HOSTCALL Free(HHeap* heap, void* block) {
  if (heap == nullptr && block != nullptr) {
    std::lock_guard<std::mutex> hold(gState.lock);
    auto at = gState.sizes.find(block);
    if (at != gState.sizes.end()) {
      gState.freed[at->second].push_back(block);
      gState.sizes.erase(at);
      return;
    }
  }
  gState.free(heap, block);
}

}  // namespace

ReusingProcessMemory::ReusingProcessMemory() {
  JNIHostFunctions* host = refhost::Functions();
  std::lock_guard<std::mutex> hold(gState.lock);
  gState.alloc = host->HeapAlloc;
  gState.free = host->HeapFree;
  gState.reused = 0;
  host->HeapAlloc = Alloc;
  host->HeapFree = Free;
}

/* Blocks still out were had from the host itself: they go back to it when freed. */
ReusingProcessMemory::~ReusingProcessMemory() {
  JNIHostFunctions* host = refhost::Functions();
  std::lock_guard<std::mutex> hold(gState.lock);
  host->HeapAlloc = gState.alloc;
  host->HeapFree = gState.free;
  for (auto& kv : gState.freed) {
    for (void* block : kv.second) gState.free(nullptr, block);
  }
  gState.freed.clear();
  gState.sizes.clear();
}

uint32_t ReusingProcessMemory::Reused() const {
  std::lock_guard<std::mutex> hold(gState.lock);
  return gState.reused;
}

}  // namespace zip_test
