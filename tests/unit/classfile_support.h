/* Class files and zip archives made byte by byte for the class-loader and parser tests:
   a small class-file builder, patching helpers, and a zip writer that can put the sizes
   after the data or add an archive comment. */
#ifndef PUX_TESTS_CLASSFILE_SUPPORT_H
#define PUX_TESTS_CLASSFILE_SUPPORT_H

#include <stdint.h>

#include <string>
#include <vector>

namespace classfile_test {

typedef std::vector<uint8_t> Bytes;

void Put1(Bytes& b, uint32_t v);
void Put2(Bytes& b, uint32_t v);
void Put4(Bytes& b, uint32_t v);
void Put2le(Bytes& b, uint32_t v);
void Put4le(Bytes& b, uint32_t v);
void PutBytes(Bytes& b, const Bytes& more);
void PutText(Bytes& b, const std::string& text);

/* Reads a whole file; empty when it cannot be read. */
Bytes ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);

struct Attribute {
  uint16_t name;
  Bytes data;
};

struct Member {
  uint16_t access;
  uint16_t name;
  uint16_t descriptor;
  std::vector<Attribute> attributes;
};

/* A class file assembled from its parts; pool entries are added in call order and
   indices are handed back, so a test can place any entry anywhere. */
class ClassBuilder {
 public:
  ClassBuilder() { pool.push_back(Bytes()); }

  uint16_t Utf8(const std::string& text);
  uint16_t RawUtf8(const Bytes& bytes);
  uint16_t Class(const std::string& name);
  uint16_t ClassAt(uint16_t nameIndex);
  uint16_t String(const std::string& text);
  uint16_t Integer(uint32_t v);
  uint16_t Float(uint32_t bits);
  uint16_t Long(uint64_t v);
  uint16_t Double(uint64_t bits);
  uint16_t NameAndType(const std::string& name, const std::string& descriptor);
  uint16_t Ref(uint8_t tag, const std::string& cls, const std::string& name,
               const std::string& descriptor);
  uint16_t Raw(uint8_t tag, const Bytes& payload, int slots = 1);
  uint16_t PoolCount() const { return (uint16_t)pool.size(); }

  /* A Code attribute body. */
  Bytes Code(uint16_t maxStack, uint16_t maxLocals, const Bytes& code,
             const std::vector<uint16_t>& handlers = {}, const std::vector<Attribute>& attrs = {});
  Attribute CodeAttribute(uint16_t maxStack, uint16_t maxLocals, const Bytes& code);

  void AddField(uint16_t access, const std::string& name, const std::string& descriptor,
                std::vector<Attribute> attributes = {});
  void AddMethod(uint16_t access, const std::string& name, const std::string& descriptor,
                 std::vector<Attribute> attributes = {});
  /* The constructor that calls java/lang/Object's. */
  void AddDefaultConstructor(const std::string& superName = "java/lang/Object");

  Bytes Build() const;

  uint16_t minor = 3, major = 45;
  uint16_t access = 0x21;
  uint16_t thisClass = 0, superClass = 0;
  std::vector<uint16_t> interfaces;
  std::vector<Member> fields, methods;
  std::vector<Attribute> attributes;
  std::vector<Bytes> pool;  /* entry i: tag and payload; empty for index 0 and wide halves */
};

/* "name" extends superName with a default constructor and nothing else. */
ClassBuilder SmallClass(const std::string& name, const std::string& superName = "java/lang/Object");

/* Zip archives as the host reads them. */
struct ZipMember {
  std::string name;
  Bytes data;
  uint16_t method = 0;          /* 0 stored, 8 deflated, anything else written as stored */
  bool sizesAfterData = false;  /* flag bit 3: zero sizes here, a data descriptor after */
  Bytes extra;
};
Bytes MakeZip(const std::vector<ZipMember>& entries, const std::string& comment = "",
              bool centralDirectory = true);

/* A fresh directory under the build tree's tmp folder, and its removal. */
std::string TempDir(const std::string& tag);
void RemoveTree(const std::string& path);

}  // namespace classfile_test

#endif
