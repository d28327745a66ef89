/* The class-file builder of the class-model tests and the interpreter tests' world,
   linked into this program too. */
#include "../interp/interp_support.cpp"
#include "../unit/classfile_support.cpp"
