/* Monitors against plain pthreads: an uncontended enter and exit (ns per pair, outermost
   and nested) against a pthread mutex lock and unlock, and a two-thread wait/notify round
   trip (one handoff each way) against a pthread mutex with a condition variable. */
#include <pthread.h>
#include <stdio.h>
#include <string.h>

#include <thread>

#include "bench_util.h"
#include "refhost.h"
#include "vm.h"
#include "vmjni.h"
#include "vmmonitor.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

using bench::Best;
using bench::Clock;
using bench::Seconds;

const int kPairs = 2000000;
const int kRounds = 50000;

JavaVM* jvm;
VMMonitor* monitor;
VMObject* object;

void Attach() {
  JNIEnv* env = VMJniCreateEnv(jvm);
  VMJniAttachEnv(jvm, env);
}

double MonitorRoundTrips() {
  int turn = 0;
  Clock::time_point start = Clock::now();
  std::thread other([&] {
    Attach();
    VMThread* self = VMThread::Current();
    monitor->DoMonitorEnter();
    for (int i = 0; i < kRounds; i++) {
      while (turn != 1) monitor->DoWait(0, self);
      turn = 0;
      monitor->DoNotify();
    }
    monitor->DoMonitorExit();
    VMJniDetachEnv(jvm);
    VMJniClearHostEnv();
  });
  VMThread* self = VMThread::Current();
  monitor->DoMonitorEnter();
  for (int i = 0; i < kRounds; i++) {
    turn = 1;
    monitor->DoNotify();
    while (turn != 0) monitor->DoWait(0, self);
  }
  monitor->DoMonitorExit();
  other.join();
  return Seconds(start);
}

double PthreadRoundTrips() {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
  int turn = 0;
  Clock::time_point start = Clock::now();
  std::thread other([&] {
    pthread_mutex_lock(&mutex);
    for (int i = 0; i < kRounds; i++) {
      while (turn != 1) pthread_cond_wait(&cond, &mutex);
      turn = 0;
      pthread_cond_signal(&cond);
    }
    pthread_mutex_unlock(&mutex);
  });
  pthread_mutex_lock(&mutex);
  for (int i = 0; i < kRounds; i++) {
    turn = 1;
    pthread_cond_signal(&cond);
    while (turn != 0) pthread_cond_wait(&cond, &mutex);
  }
  pthread_mutex_unlock(&mutex);
  other.join();
  return Seconds(start);
}

}  // namespace

int main() {
  JNIHostFunctions* host = refhost::Functions();
  VMUtils::Init(host);
  VMUtils::SetHostFunctions(host);
  jvm = (JavaVM*)host->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
  memset(jvm, 0, sizeof(JavaVM));
  jvm->nameSpace = VMNameSpace::CreateInstance();
  jvm->vm = VM::CreateInstance(1024, jvm);
  if (jvm->nameSpace == nullptr || jvm->vm == nullptr) {
    fprintf(stderr, "no machine\n");
    return 1;
  }
  Attach();
  object = VMObject::Instantiate(jvm->vm->GetHeap(), 1, 0);
  monitor = VMMonitor::GetMonitorFor(jvm->nameSpace, object);

  double outer = Best([] {
    for (int i = 0; i < kPairs; i++) {
      monitor->DoMonitorEnter();
      monitor->DoMonitorExit();
    }
  });
  monitor->DoMonitorEnter();
  double nested = Best([] {
    for (int i = 0; i < kPairs; i++) {
      monitor->DoMonitorEnter();
      monitor->DoMonitorExit();
    }
  });
  monitor->DoMonitorExit();
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  double plain = Best([&] {
    for (int i = 0; i < kPairs; i++) {
      pthread_mutex_lock(&mutex);
      pthread_mutex_unlock(&mutex);
    }
  });
  double monitorTrip = Best(MonitorRoundTrips, 3);
  double pthreadTrip = Best(PthreadRoundTrips, 3);

  printf("uncontended enter+exit: monitor %.1f ns/pair, nested %.1f ns/pair, pthread mutex %.1f ns/pair (%.2fx)\n",
         outer * 1e9 / kPairs, nested * 1e9 / kPairs, plain * 1e9 / kPairs, outer / plain);
  printf("wait/notify round trip: monitor %.2f us, pthread mutex+cond %.2f us (%.2fx)\n",
         monitorTrip * 1e6 / kRounds, pthreadTrip * 1e6 / kRounds, monitorTrip / pthreadTrip);

  object->Destroy(jvm->vm->GetHeap());
  VMJniDetachEnv(jvm);
  VMJniClearHostEnv();
  VMNameSpace* ns = jvm->nameSpace;
  if (jvm->vm->Destroy() == 0) ns->Destroy();
  host->HeapFree(nullptr, jvm);
  return 0;
}
