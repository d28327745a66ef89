/* The class-file builder of the class-model tests, linked into this program too. */
#include "../unit/classfile_support.cpp"
