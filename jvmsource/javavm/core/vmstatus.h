/* The machine's failure codes: 0 is success; the codes and their exception classes are
   listed with the error carrier. */
#ifndef PUX_VMSTATUS_H
#define PUX_VMSTATUS_H

typedef int VMStatus;

/* The statuses by name; each names the Java class at its index of VMStatusClassNames
   (vmerrorcatcher.h). 0 and 1 name no real class. */
enum : int {
  VMStatus_OK = 0,
  VMStatus_AlreadyThrown = 1,
  VMStatus_Throwable = 2,
  VMStatus_Error = 3,
  VMStatus_LinkageError = 4,
  VMStatus_ClassCircularityError = 5,
  VMStatus_ClassFormatError = 6,
  VMStatus_ExceptionInInitializerError = 7,
  VMStatus_IncompatibleClassChangeError = 8,
  VMStatus_AbstractMethodError = 9,
  VMStatus_IllegalAccessError = 10,
  VMStatus_InstantiationError = 11,
  VMStatus_NoSuchFieldError = 12,
  VMStatus_NoSuchMethodError = 13,
  VMStatus_NoClassDefFoundError = 14,
  VMStatus_UnsatisfiedLinkError = 15,
  VMStatus_VerifyError = 16,
  VMStatus_VirtualMachineError = 17,
  VMStatus_InternalError = 18,
  VMStatus_OutOfMemoryError = 19,
  VMStatus_StackOverflowError = 20,
  VMStatus_UnknownError = 21,
  VMStatus_ThreadDeath = 22,
  VMStatus_Exception = 23,
  VMStatus_ClassNotFoundException = 24,
  VMStatus_CloneNotSupportedException = 25,
  VMStatus_IllegalAccessException = 26,
  VMStatus_InstantiationException = 27,
  VMStatus_NoSuchFieldException = 28,
  VMStatus_NoSuchMethodException = 29,
  VMStatus_InterruptedException = 30,
  VMStatus_RuntimeException = 31,
  VMStatus_ArithmeticException = 32,
  VMStatus_ArrayStoreException = 33,
  VMStatus_ClassCastException = 34,
  VMStatus_IllegalArgumentException = 35,
  VMStatus_IllegalThreadStateException = 36,
  VMStatus_NumberFormatException = 37,
  VMStatus_IllegalMonitorStateException = 38,
  VMStatus_ArrayIndexOutOfBoundsException = 39,
  VMStatus_NegativeArraySizeException = 40,
  VMStatus_NullPointerException = 41,
  VMStatus_SecurityException = 42,
  VMStatus_TavikSerializationError = 43,
};

#endif
