#include "registration.h"

#include "vmseams.h"

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
    {"java/lang/reflect/Array", NULL},
    {"java/lang/reflect/Constructor", NULL},
    {"java/lang/reflect/Field", NULL},
    {"java/lang/reflect/Method", NULL},
    {"java/util/ResourceBundle", NULL},
    {"java/util/zip/Adler32", Register_java_util_zip_Adler32},
    {"java/util/zip/CRC32", Register_java_util_zip_CRC32},
    {"java/util/zip/Inflater", Register_java_util_zip_Inflater},
    {"java/util/zip/Deflater", Register_java_util_zip_Deflater},
    {"java/util/zip/ZipEntry", Register_java_util_zip_ZipEntry},
    {"java/util/zip/ZipFile", Register_java_util_zip_ZipFile},
    {"java/math/BigInteger", Register_java_math_BigInteger},
    {"corvane/sql/VMUtil", NULL},
    {"java/io/File", Register_java_io_File},
    {"java/io/FileDescriptor", Register_java_io_FileDescriptor},
    {"java/io/FileOutputStream", Register_java_io_FileOutputStream},
    {"java/io/FileInputStream", Register_java_io_FileInputStream},
    {"java/io/RandomAccessFile", Register_java_io_RandomAccessFile},
    {"java/io/PrintStream", Register_java_io_PrintStream},
    {"java/io/ObjectInputStream", NULL},
    {"java/io/ObjectOutputStream", NULL},
    {"java/io/ObjectStreamClass", NULL},
    {"java/io/FileSystem", Register_java_io_FileSystem},
    {"java/io/Win32FileSystem", Register_java_io_Win32FileSystem},
    {"java/io/UnixFileSystem", Register_java_io_UnixFileSystem},
    {"java/net/InetAddress", NULL},
    {"java/net/InetAddressImpl", NULL},
    {"java/net/PlainDatagramSocketImpl", NULL},
    {"java/net/PlainSocketImpl", NULL},
    {"java/net/SocketInputStream", NULL},
    {"java/net/SocketOutputStream", NULL},
    {"java/net/DatagramPacket", NULL},
    {"java/security/AccessController", NULL},
    {"java/sql/DriverManager", NULL},
    {"corvane_vm_internal_jnitest", NULL},
};

const uint32_t VMNativeRegistrationCount = sizeof VMNativeRegistrations / sizeof VMNativeRegistrations[0];

static_assert(sizeof VMNativeRegistrations / sizeof VMNativeRegistrations[0] == 49,
              "one row per class of the library with natives");

void VMRegisterClassLibraryNatives() {
  for (uint32_t i = 0; i < VMNativeRegistrationCount; i++) {
    if (VMNativeRegistrations[i].registerNatives != NULL) VMNativeRegistrations[i].registerNatives();
  }
}

void seam::RegisterClassLibraryNatives() { VMRegisterClassLibraryNatives(); }
