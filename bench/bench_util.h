/* Timing shared by the benchmarks. Header-only: every bench .cpp is a program of its own. */
#ifndef PUX_BENCH_UTIL_H
#define PUX_BENCH_UTIL_H

#include <time.h>

#include <chrono>

namespace bench {

typedef std::chrono::steady_clock Clock;

inline double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

/* Best of several runs, to keep one-off stalls out of the figures. */
template <typename F>
double Best(F run, int repeats = 5) {
  double best = 1e30;
  for (int i = 0; i < repeats; i++) {
    Clock::time_point start = Clock::now();
    run();
    double t = Seconds(start);
    if (t < best) best = t;
  }
  return best;
}

/* The calling thread's processor time in seconds: unlike the wall clock, it leaves out
   the time the thread waited for a processor, which on a shared machine can be most of it. */
inline double ThreadSeconds() {
  struct timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

/* The best processor times of two runs taken in turn, so that a burst of load on a shared
   machine falls on both sides alike rather than on whichever happened to run then. */
template <typename A, typename B>
void BestOfBoth(A runA, B runB, int repeats, double* bestA, double* bestB) {
  *bestA = *bestB = 1e30;
  for (int i = 0; i < repeats; i++) {
    double start = ThreadSeconds();
    runA();
    double t = ThreadSeconds() - start;
    if (t < *bestA) *bestA = t;
    start = ThreadSeconds();
    runB();
    t = ThreadSeconds() - start;
    if (t < *bestB) *bestB = t;
  }
}

}  // namespace bench

#endif
