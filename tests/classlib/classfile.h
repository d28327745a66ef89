/* A small reader (and writer) of class files and of the library archive, for checking the
   class library the build produces. Just enough structure to check layouts, natives and the
   classes the code creates; attributes other than Code are kept as raw bytes. */
#ifndef PUX_TESTS_CLASSLIB_CLASSFILE_H
#define PUX_TESTS_CLASSLIB_CLASSFILE_H

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

namespace classlib {

enum : uint16_t {
  kAccPublic = 0x0001,
  kAccPrivate = 0x0002,
  kAccProtected = 0x0004,
  kAccStatic = 0x0008,
  kAccFinal = 0x0010,
  kAccNative = 0x0100,
  kAccInterface = 0x0200,
  kAccAbstract = 0x0400,
};

enum : uint8_t {
  kCpUtf8 = 1,
  kCpInteger = 3,
  kCpFloat = 4,
  kCpLong = 5,
  kCpDouble = 6,
  kCpClass = 7,
  kCpString = 8,
  kCpFieldref = 9,
  kCpMethodref = 10,
  kCpInterfaceMethodref = 11,
  kCpNameAndType = 12,
};

struct CpEntry {
  uint8_t tag = 0;                // 0 for the unusable slot after a long or double
  std::string utf8;               // kCpUtf8
  std::vector<uint8_t> payload;   // every other tag: the bytes after the tag
  uint16_t Index1() const { return static_cast<uint16_t>(payload[0] << 8 | payload[1]); }
  uint16_t Index2() const { return static_cast<uint16_t>(payload[2] << 8 | payload[3]); }
};

struct Attribute {
  uint16_t nameIndex = 0;
  std::string name;
  std::vector<uint8_t> data;
};

struct Member {
  uint16_t access = 0;
  uint16_t nameIndex = 0;
  uint16_t descIndex = 0;
  std::string name;
  std::string desc;
  std::vector<Attribute> attributes;

  bool IsStatic() const { return (access & kAccStatic) != 0; }
  bool IsNative() const { return (access & kAccNative) != 0; }
  const Attribute* Find(const std::string& attrName) const;
};

struct ClassFile {
  uint16_t minor = 0;
  uint16_t major = 0;
  std::vector<CpEntry> pool;      // index 0 unused
  uint16_t access = 0;
  uint16_t thisIndex = 0;
  uint16_t superIndex = 0;
  std::vector<uint16_t> interfaceIndexes;
  std::vector<Member> fields;
  std::vector<Member> methods;
  std::vector<Attribute> attributes;

  // Resolved names, refreshed by Resolve().
  std::string name;
  std::string superName;          // empty for a class without superclass
  std::vector<std::string> interfaces;

  bool IsInterface() const { return (access & kAccInterface) != 0; }
  const std::string& Utf8(uint16_t index) const;   // empty string when not a Utf8 entry
  std::string ClassName(uint16_t index) const;     // name of a Class entry, empty otherwise
  void Resolve();                                  // recompute the names from the indexes

  const Member* FindField(const std::string& n, const std::string& d) const;
  const Member* FindMethod(const std::string& n, const std::string& d) const;
  Member* FindMethod(const std::string& n, const std::string& d);
  Member* FindField(const std::string& n, const std::string& d);
};

// Parses a class file; false (with a reason) when the bytes are not a well-formed class file.
bool ParseClass(const std::vector<uint8_t>& bytes, ClassFile& out, std::string& error);

// Writes the class back out; ParseClass of the result gives the same structure.
std::vector<uint8_t> WriteClass(const ClassFile& cls);

struct ArchiveEntry {
  std::string name;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t extraLength = 0;
  std::vector<uint8_t> data;      // uncompressed
};

// Walks the archive by its local headers, as the machine's class loader does, and inflates
// every entry. False (with a reason) when the walk or an entry cannot be read.
bool ReadArchive(const std::string& path, std::vector<ArchiveEntry>& entries, std::string& error);

// Classes named by new, anewarray and multianewarray in one method's code (for the array
// forms, the element class; primitive element types give nothing). False when the code
// cannot be walked.
bool CreatedClasses(const ClassFile& cls, const Member& method, std::vector<std::string>& names,
                    std::string& error);

// Number of argument words of a method descriptor (without the receiver).
int ArgumentWords(const std::string& desc);

// Word count of one field descriptor (2 for J and D).
int FieldWords(const std::string& desc);

}  // namespace classlib

#endif
