#include "vmerrorcatcher.h"

const char* const VMStatusClassNames[44] = {
    "java/lang/VMOkay",
    "java/lang/VMAlreadyThrown",
    "java/lang/Throwable",
    "java/lang/Error",
    "java/lang/LinkageError",
    "java/lang/ClassCircularityError",
    "java/lang/ClassFormatError",
    "java/lang/ExceptionInInitializerError",
    "java/lang/IncompatibleClassChangeError",
    "java/lang/AbstractMethodError",
    "java/lang/IllegalAccessError",
    "java/lang/InstantiationError",
    "java/lang/NoSuchFieldError",
    "java/lang/NoSuchMethodError",
    "java/lang/NoClassDefFoundError",
    "java/lang/UnsatisfiedLinkError",
    "java/lang/VerifyError",
    "java/lang/VirtualMachineError",
    "java/lang/InternalError",
    "java/lang/OutOfMemoryError",
    "java/lang/StackOverflowError",
    "java/lang/UnknownError",
    "java/lang/ThreadDeath",
    "java/lang/Exception",
    "java/lang/ClassNotFoundException",
    "java/lang/CloneNotSupportedException",
    "java/lang/IllegalAccessException",
    "java/lang/InstantiationException",
    "java/lang/NoSuchFieldException",
    "java/lang/NoSuchMethodException",
    "java/lang/InterruptedException",
    "java/lang/RuntimeException",
    "java/lang/ArithmeticException",
    "java/lang/ArrayStoreException",
    "java/lang/ClassCastException",
    "java/lang/IllegalArgumentException",
    "java/lang/IllegalThreadStateException",
    "java/lang/NumberFormatException",
    "java/lang/IllegalMonitorStateException",
    "java/lang/ArrayIndexOutOfBoundsException",
    "java/lang/NegativeArraySizeException",
    "java/lang/NullPointerException",
    "java/lang/SecurityException",
    "java/lang/TavikSerializationError",
};

const char* VMStatusClassName(VMStatus status) {
  return (uint32_t)status < (uint32_t)VMStatusCount ? VMStatusClassNames[status] : nullptr;
}

void VMErrorCatcher::Throw(VMStatus s) {
  /* A jump always reports a failure, however the landing path reads it (GetErrorCode,
     ReThrow or Caught): a stored 0 would pass abandoned work on as success. */
  status = s != 0 ? s : VMStatus_InternalError;
  longjmp(jumpBuffer, 1);
}

void VMNativeExceptionHandler::JumpTo() { longjmp(jumpBuffer, 1); }
