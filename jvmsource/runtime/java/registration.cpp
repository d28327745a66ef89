#include "registration.h"

#include "vmupcalls.h"

/* In the order start-up registers them. */
const VMNativeRegistration VMNativeRegistrations[] = {
    {"java/lang/Class", Register_java_lang_Class},
    {"java/lang/ClassLoader", Register_java_lang_ClassLoader},
    {"java/lang/ClassLoader$NativeLibrary", Register_java_lang_ClassLoader_NativeLibrary},
    {"java/lang/Package", Register_java_lang_Package},
    {"java/lang/Double", Register_java_lang_Double},
    {"java/lang/Float", Register_java_lang_Float},
    {"java/lang/Math", Register_java_lang_Math},
    {"java/lang/Object", Register_java_lang_Object},
    {"java/lang/Runtime", Register_java_lang_Runtime},
    {"java/lang/SecurityManager", Register_java_lang_SecurityManager},
    {"java/lang/String", Register_java_lang_String},
    {"java/lang/System", Register_java_lang_System},
    {"java/lang/Throwable", Register_java_lang_Throwable},
    {"java/lang/Thread", Register_java_lang_Thread},
    {"java/lang/ThreadGroup", Register_java_lang_ThreadGroup},
    {"java/lang/reflect/Array", Register_java_lang_reflect_Array},
    {"java/lang/reflect/Constructor", Register_java_lang_reflect_Constructor},
    {"java/lang/reflect/Field", Register_java_lang_reflect_Field},
    {"java/lang/reflect/Method", Register_java_lang_reflect_Method},
    {"java/util/ResourceBundle", Register_java_util_ResourceBundle},
    {"java/util/zip/Adler32", Register_java_util_zip_Adler32},
    {"java/util/zip/CRC32", Register_java_util_zip_CRC32},
    {"java/util/zip/Inflater", Register_java_util_zip_Inflater},
    {"java/util/zip/Deflater", Register_java_util_zip_Deflater},
    {"java/util/zip/ZipEntry", Register_java_util_zip_ZipEntry},
    {"java/util/zip/ZipFile", Register_java_util_zip_ZipFile},
    {"java/math/BigInteger", Register_java_math_BigInteger},
    {"corvane/sql/VMUtil", Register_corvane_sql_VMUtil},
    {"java/io/File", Register_java_io_File},
    {"java/io/FileDescriptor", Register_java_io_FileDescriptor},
    {"java/io/FileOutputStream", Register_java_io_FileOutputStream},
    {"java/io/FileInputStream", Register_java_io_FileInputStream},
    {"java/io/RandomAccessFile", Register_java_io_RandomAccessFile},
    {"java/io/PrintStream", Register_java_io_PrintStream},
    {"java/io/ObjectInputStream", Register_java_io_ObjectInputStream},
    {"java/io/ObjectOutputStream", Register_java_io_ObjectOutputStream},
    {"java/io/ObjectStreamClass", Register_java_io_ObjectStreamClass},
    {"java/io/FileSystem", Register_java_io_FileSystem},
    {"java/io/Win32FileSystem", Register_java_io_Win32FileSystem},
    {"java/io/UnixFileSystem", Register_java_io_UnixFileSystem},
    {"java/net/InetAddress", Register_java_net_InetAddress},
    {"java/net/InetAddressImpl", Register_java_net_InetAddressImpl},
    {"java/net/PlainDatagramSocketImpl", Register_java_net_PlainDatagramSocketImpl},
    {"java/net/PlainSocketImpl", Register_java_net_PlainSocketImpl},
    {"java/net/SocketInputStream", Register_java_net_SocketInputStream},
    {"java/net/SocketOutputStream", Register_java_net_SocketOutputStream},
    {"java/net/DatagramPacket", Register_java_net_DatagramPacket},
    {"java/security/AccessController", Register_java_security_AccessController},
    {"java/sql/DriverManager", Register_java_sql_DriverManager},
    {"corvane_vm_internal_jnitest", Register_corvane_vm_internal_jnitest},
};

const uint32_t VMNativeRegistrationCount = sizeof VMNativeRegistrations / sizeof VMNativeRegistrations[0];

static_assert(sizeof VMNativeRegistrations / sizeof VMNativeRegistrations[0] == 50,
              "one row per class of the library with natives");

void VMRegisterClassLibraryNatives() {
  for (uint32_t i = 0; i < VMNativeRegistrationCount; i++) {
    if (VMNativeRegistrations[i].registerNatives != NULL) VMNativeRegistrations[i].registerNatives();
  }
}

void upcall::RegisterClassLibraryNatives() { VMRegisterClassLibraryNatives(); }
