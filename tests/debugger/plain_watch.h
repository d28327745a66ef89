/* A thread brought under the debugger runs its plain loop until its next poll, where it
   goes over to the debugging loop. The tests hold that stretch open: the thread's debug
   byte is set as the agent sets it, without the jump the agent asks for, so that the
   thread meets what a plain loop does for a watched thread (a breakpoint hands it over,
   a one-liner is called rather than computed in place) wherever the test wants. */
#ifndef PUX_TESTS_DEBUGGER_PLAIN_WATCH_H
#define PUX_TESTS_DEBUGGER_PLAIN_WATCH_H

#include "vmjni.h"
#include "vmthread.h"

inline void WatchInPlainLoop(VMThread* thread) {
  JNIEnv* env = thread->GetEnv();
  env->debug = (env->debug & ~0xFFu) | 1u;
}

#endif
