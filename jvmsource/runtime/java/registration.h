/* The registration of the class library's native tables.

   Every class of the library whose natives the machine implements has one static table
   of {name, descriptor, function} rows and one Register_<class> function that hands it
   to JNI_RegisterNative; start-up walks the list below and calls them in its order.
   JNI_RegisterNative keeps the table and the class name by address, so both are static
   data that lives as long as the library.

   A row of the list without a function is a class whose natives are not part of the
   machine yet: start-up passes over it. A table row whose method the class library
   does not declare is harmless: binding skips it. */
#ifndef PUX_REGISTRATION_H
#define PUX_REGISTRATION_H

#include <stdint.h>

#include "jnitypes.h"

/* A row of a native table; the casts keep the table constant data. */
#define PUX_NATIVE(name, descriptor, function) \
  { (char*)(name), (char*)(descriptor), (void*)(function) }
#define PUX_ROWS(table) ((jint)(sizeof(table) / sizeof((table)[0])))

extern "C" {
void Register_java_lang_Class(void);
void Register_java_lang_ClassLoader(void);
void Register_java_lang_ClassLoader_NativeLibrary(void);
void Register_java_lang_Package(void);
void Register_java_lang_Double(void);
void Register_java_lang_Float(void);
void Register_java_lang_Math(void);
void Register_java_lang_Object(void);
void Register_java_lang_Runtime(void);
void Register_java_lang_SecurityManager(void);
void Register_java_lang_String(void);
void Register_java_lang_System(void);
void Register_java_lang_Throwable(void);
void Register_java_lang_Thread(void);
void Register_java_lang_ThreadGroup(void);
void Register_java_lang_reflect_Array(void);
void Register_java_lang_reflect_Constructor(void);
void Register_java_lang_reflect_Field(void);
void Register_java_lang_reflect_Method(void);
void Register_java_util_ResourceBundle(void);
void Register_corvane_sql_VMUtil(void);
void Register_java_security_AccessController(void);
void Register_java_sql_DriverManager(void);
void Register_corvane_vm_internal_jnitest(void);
void Register_java_io_File(void);
void Register_java_io_FileDescriptor(void);
void Register_java_io_FileOutputStream(void);
void Register_java_io_FileInputStream(void);
void Register_java_io_RandomAccessFile(void);
void Register_java_io_FileSystem(void);
void Register_java_io_Win32FileSystem(void);
void Register_java_io_UnixFileSystem(void);
void Register_java_io_PrintStream(void);
void Register_java_io_ObjectStreamClass(void);
void Register_java_io_ObjectInputStream(void);
void Register_java_io_ObjectOutputStream(void);
void Register_java_math_BigInteger(void);
void Register_java_net_InetAddress(void);
void Register_java_net_InetAddressImpl(void);
void Register_java_net_PlainDatagramSocketImpl(void);
void Register_java_net_PlainSocketImpl(void);
void Register_java_net_SocketInputStream(void);
void Register_java_net_SocketOutputStream(void);
void Register_java_net_DatagramPacket(void);
void Register_java_util_zip_Adler32(void);
void Register_java_util_zip_CRC32(void);
void Register_java_util_zip_Inflater(void);
void Register_java_util_zip_Deflater(void);
void Register_java_util_zip_ZipEntry(void);
void Register_java_util_zip_ZipFile(void);
}

/* One row of the start-up list: the Java class (slash form) and its registration
   function, NULL while the machine has none for it. */
struct VMNativeRegistration {
  const char* className;
  void (*registerNatives)(void);
};

/* Every row, in the order start-up registers them. */
extern const VMNativeRegistration VMNativeRegistrations[];
extern const uint32_t VMNativeRegistrationCount;

/* Calls every registration function of the list in order. */
void VMRegisterClassLibraryNatives();

#endif
