/* The runtime tests' machines and attached threads serve these tests too: every chunk of
   the engines comes from the pool of the calling thread's machine. */
#include "unit/runtime_support.cpp"
