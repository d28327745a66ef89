#include "classfile_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace classfile_test {

void Put1(Bytes& b, uint32_t v) { b.push_back((uint8_t)v); }
void Put2(Bytes& b, uint32_t v) {
  b.push_back((uint8_t)(v >> 8));
  b.push_back((uint8_t)v);
}
void Put4(Bytes& b, uint32_t v) {
  Put2(b, v >> 16);
  Put2(b, v);
}
void Put2le(Bytes& b, uint32_t v) {
  b.push_back((uint8_t)v);
  b.push_back((uint8_t)(v >> 8));
}
void Put4le(Bytes& b, uint32_t v) {
  Put2le(b, v);
  Put2le(b, v >> 16);
}
void PutBytes(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
void PutText(Bytes& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }

Bytes ReadFileBytes(const std::string& path) {
  Bytes out;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return out;
  uint8_t buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  fclose(f);
  return out;
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

uint16_t ClassBuilder::Raw(uint8_t tag, const Bytes& payload, int slots) {
  Bytes e;
  Put1(e, tag);
  PutBytes(e, payload);
  uint16_t index = (uint16_t)pool.size();
  pool.push_back(e);
  for (int i = 1; i < slots; i++) pool.push_back(Bytes());
  return index;
}

uint16_t ClassBuilder::RawUtf8(const Bytes& bytes) {
  Bytes p;
  Put2(p, (uint32_t)bytes.size());
  PutBytes(p, bytes);
  return Raw(1, p);
}

uint16_t ClassBuilder::Utf8(const std::string& text) {
  for (size_t i = 1; i < pool.size(); i++) {
    const Bytes& e = pool[i];
    if (!e.empty() && e[0] == 1 && e.size() == text.size() + 3 &&
        std::string(e.begin() + 3, e.end()) == text)
      return (uint16_t)i;
  }
  return RawUtf8(Bytes(text.begin(), text.end()));
}

uint16_t ClassBuilder::ClassAt(uint16_t nameIndex) {
  Bytes p;
  Put2(p, nameIndex);
  return Raw(7, p);
}

uint16_t ClassBuilder::Class(const std::string& name) {
  uint16_t n = Utf8(name);
  for (size_t i = 1; i < pool.size(); i++) {
    const Bytes& e = pool[i];
    if (e.size() == 3 && e[0] == 7 && (uint16_t)(e[1] << 8 | e[2]) == n) return (uint16_t)i;
  }
  return ClassAt(n);
}

uint16_t ClassBuilder::String(const std::string& text) {
  Bytes p;
  Put2(p, Utf8(text));
  return Raw(8, p);
}

uint16_t ClassBuilder::Integer(uint32_t v) {
  Bytes p;
  Put4(p, v);
  return Raw(3, p);
}

uint16_t ClassBuilder::Float(uint32_t bits) {
  Bytes p;
  Put4(p, bits);
  return Raw(4, p);
}

uint16_t ClassBuilder::Long(uint64_t v) {
  Bytes p;
  Put4(p, (uint32_t)(v >> 32));
  Put4(p, (uint32_t)v);
  return Raw(5, p, 2);
}

uint16_t ClassBuilder::Double(uint64_t bits) {
  Bytes p;
  Put4(p, (uint32_t)(bits >> 32));
  Put4(p, (uint32_t)bits);
  return Raw(6, p, 2);
}

uint16_t ClassBuilder::NameAndType(const std::string& name, const std::string& descriptor) {
  Bytes p;
  Put2(p, Utf8(name));
  Put2(p, Utf8(descriptor));
  return Raw(12, p);
}

uint16_t ClassBuilder::Ref(uint8_t tag, const std::string& cls, const std::string& name,
                           const std::string& descriptor) {
  Bytes p;
  Put2(p, Class(cls));
  Put2(p, NameAndType(name, descriptor));
  return Raw(tag, p);
}

Bytes ClassBuilder::Code(uint16_t maxStack, uint16_t maxLocals, const Bytes& code,
                         const std::vector<uint16_t>& handlers, const std::vector<Attribute>& attrs) {
  Bytes b;
  Put2(b, maxStack);
  Put2(b, maxLocals);
  Put4(b, (uint32_t)code.size());
  PutBytes(b, code);
  Put2(b, (uint32_t)(handlers.size() / 4));
  for (uint16_t h : handlers) Put2(b, h);
  Put2(b, (uint32_t)attrs.size());
  for (const Attribute& a : attrs) {
    Put2(b, a.name);
    Put4(b, (uint32_t)a.data.size());
    PutBytes(b, a.data);
  }
  return b;
}

Attribute ClassBuilder::CodeAttribute(uint16_t maxStack, uint16_t maxLocals, const Bytes& code) {
  return Attribute{Utf8("Code"), Code(maxStack, maxLocals, code)};
}

void ClassBuilder::AddField(uint16_t acc, const std::string& name, const std::string& descriptor,
                            std::vector<Attribute> attrs) {
  fields.push_back(Member{acc, Utf8(name), Utf8(descriptor), attrs});
}

void ClassBuilder::AddMethod(uint16_t acc, const std::string& name, const std::string& descriptor,
                             std::vector<Attribute> attrs) {
  methods.push_back(Member{acc, Utf8(name), Utf8(descriptor), attrs});
}

void ClassBuilder::AddDefaultConstructor(const std::string& superName) {
  uint16_t init = Ref(10, superName, "<init>", "()V");
  Bytes code = {0x2A, 0xB7, (uint8_t)(init >> 8), (uint8_t)init, 0xB1};
  AddMethod(0x0001, "<init>", "()V", {CodeAttribute(1, 1, code)});
}

static void PutMembers(Bytes& b, const std::vector<Member>& members) {
  Put2(b, (uint32_t)members.size());
  for (const Member& m : members) {
    Put2(b, m.access);
    Put2(b, m.name);
    Put2(b, m.descriptor);
    Put2(b, (uint32_t)m.attributes.size());
    for (const Attribute& a : m.attributes) {
      Put2(b, a.name);
      Put4(b, (uint32_t)a.data.size());
      PutBytes(b, a.data);
    }
  }
}

Bytes ClassBuilder::Build() const {
  Bytes b;
  Put4(b, 0xCAFEBABEu);
  Put2(b, minor);
  Put2(b, major);
  Put2(b, (uint32_t)pool.size());
  for (size_t i = 1; i < pool.size(); i++) PutBytes(b, pool[i]);
  Put2(b, access);
  Put2(b, thisClass);
  Put2(b, superClass);
  Put2(b, (uint32_t)interfaces.size());
  for (uint16_t i : interfaces) Put2(b, i);
  PutMembers(b, fields);
  PutMembers(b, methods);
  Put2(b, (uint32_t)attributes.size());
  for (const Attribute& a : attributes) {
    Put2(b, a.name);
    Put4(b, (uint32_t)a.data.size());
    PutBytes(b, a.data);
  }
  return b;
}

ClassBuilder SmallClass(const std::string& name, const std::string& superName) {
  ClassBuilder c;
  c.thisClass = c.Class(name);
  c.superClass = c.Class(superName);
  c.AddDefaultConstructor(superName);
  return c;
}

Bytes MakeZip(const std::vector<ZipMember>& entries, const std::string& comment,
              bool centralDirectory) {
  Bytes out, central;
  for (const ZipMember& e : entries) {
    Bytes data = e.data;
    if (e.method == 8) {
      z_stream z = {};
      deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
      Bytes packed(deflateBound(&z, (uLong)data.size()) + 16);
      z.next_in = const_cast<Bytef*>(data.data());
      z.avail_in = (uInt)data.size();
      z.next_out = packed.data();
      z.avail_out = (uInt)packed.size();
      deflate(&z, Z_FINISH);
      packed.resize(z.total_out);
      deflateEnd(&z);
      data = packed;
    }
    uint32_t crc = (uint32_t)crc32(0, e.data.data(), (uInt)e.data.size());
    uint32_t offset = (uint32_t)out.size();
    uint16_t flags = e.sizesAfterData ? 8 : 0;
    Put4le(out, 0x04034B50u);
    Put2le(out, 20);
    Put2le(out, flags);
    Put2le(out, e.method);
    Put4le(out, 0);
    Put4le(out, e.sizesAfterData ? 0 : crc);
    Put4le(out, e.sizesAfterData ? 0 : (uint32_t)data.size());
    Put4le(out, e.sizesAfterData ? 0 : (uint32_t)e.data.size());
    Put2le(out, (uint32_t)e.name.size());
    Put2le(out, (uint32_t)e.extra.size());
    PutText(out, e.name);
    PutBytes(out, e.extra);
    PutBytes(out, data);
    if (e.sizesAfterData) {
      Put4le(out, 0x08074B50u);
      Put4le(out, crc);
      Put4le(out, (uint32_t)data.size());
      Put4le(out, (uint32_t)e.data.size());
    }
    Put4le(central, 0x02014B50u);
    Put2le(central, 20);
    Put2le(central, 20);
    Put2le(central, flags);
    Put2le(central, e.method);
    Put4le(central, 0);
    Put4le(central, crc);
    Put4le(central, (uint32_t)data.size());
    Put4le(central, (uint32_t)e.data.size());
    Put2le(central, (uint32_t)e.name.size());
    Put2le(central, 0);
    Put2le(central, 0);
    Put2le(central, 0);
    Put2le(central, 0);
    Put4le(central, 0);
    Put4le(central, offset);
    PutText(central, e.name);
  }
  if (!centralDirectory) return out;
  uint32_t cdOffset = (uint32_t)out.size();
  PutBytes(out, central);
  Put4le(out, 0x06054B50u);
  Put2le(out, 0);
  Put2le(out, 0);
  Put2le(out, (uint32_t)entries.size());
  Put2le(out, (uint32_t)entries.size());
  Put4le(out, (uint32_t)central.size());
  Put4le(out, cdOffset);
  Put2le(out, (uint32_t)comment.size());
  PutText(out, comment);
  return out;
}

std::string TempDir(const std::string& tag) {
  std::string base = std::string(PUX_BUILD_DIR) + "/tmp";
  mkdir(base.c_str(), 0777);
  std::string dir = base + "/" + tag + "." + std::to_string(getpid());
  mkdir(dir.c_str(), 0777);
  return dir;
}

void RemoveTree(const std::string& path) {
  if (path.empty()) return;
  nftw(path.c_str(),
       [](const char* p, const struct stat*, int, struct FTW*) -> int {
         (void)remove(p);  // what cannot go stays; the walk goes on
         return 0;
       },
       16,
       FTW_DEPTH | FTW_PHYS);
}

}  // namespace classfile_test
