#include "classfile.h"

#include <stdio.h>
#include <string.h>
#include <zlib.h>

namespace classlib {

namespace {

struct Reader {
  const std::vector<uint8_t>& b;
  size_t pos = 0;
  bool ok = true;

  explicit Reader(const std::vector<uint8_t>& bytes) : b(bytes) {}

  bool Have(size_t n) {
    if (!ok || b.size() - pos < n) ok = false;
    return ok;
  }
  uint8_t U1() {
    if (!Have(1)) return 0;
    return b[pos++];
  }
  uint16_t U2() {
    if (!Have(2)) return 0;
    uint16_t v = static_cast<uint16_t>(b[pos] << 8 | b[pos + 1]);
    pos += 2;
    return v;
  }
  uint32_t U4() {
    if (!Have(4)) return 0;
    uint32_t v = static_cast<uint32_t>(b[pos]) << 24 | static_cast<uint32_t>(b[pos + 1]) << 16 |
                 static_cast<uint32_t>(b[pos + 2]) << 8 | b[pos + 3];
    pos += 4;
    return v;
  }
  std::vector<uint8_t> Bytes(size_t n) {
    if (!Have(n)) return {};
    std::vector<uint8_t> v(b.begin() + static_cast<long>(pos), b.begin() + static_cast<long>(pos + n));
    pos += n;
    return v;
  }
};

struct Writer {
  std::vector<uint8_t> b;
  void U1(uint8_t v) { b.push_back(v); }
  void U2(uint16_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
  }
  void U4(uint32_t v) {
    U2(static_cast<uint16_t>(v >> 16));
    U2(static_cast<uint16_t>(v));
  }
  void Bytes(const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
};

const std::string kEmpty;

bool ReadAttributes(Reader& r, const ClassFile& cls, std::vector<Attribute>& out) {
  uint16_t n = r.U2();
  for (uint16_t i = 0; i < n && r.ok; i++) {
    Attribute a;
    a.nameIndex = r.U2();
    a.name = cls.Utf8(a.nameIndex);
    uint32_t len = r.U4();
    a.data = r.Bytes(len);
    out.push_back(a);
  }
  return r.ok;
}

void WriteAttributes(Writer& w, const std::vector<Attribute>& attrs) {
  w.U2(static_cast<uint16_t>(attrs.size()));
  for (const Attribute& a : attrs) {
    w.U2(a.nameIndex);
    w.U4(static_cast<uint32_t>(a.data.size()));
    w.Bytes(a.data);
  }
}

bool ReadMembers(Reader& r, const ClassFile& cls, std::vector<Member>& out) {
  uint16_t n = r.U2();
  for (uint16_t i = 0; i < n && r.ok; i++) {
    Member m;
    m.access = r.U2();
    m.nameIndex = r.U2();
    m.descIndex = r.U2();
    m.name = cls.Utf8(m.nameIndex);
    m.desc = cls.Utf8(m.descIndex);
    if (!ReadAttributes(r, cls, m.attributes)) return false;
    out.push_back(m);
  }
  return r.ok;
}

void WriteMembers(Writer& w, const std::vector<Member>& members) {
  w.U2(static_cast<uint16_t>(members.size()));
  for (const Member& m : members) {
    w.U2(m.access);
    w.U2(m.nameIndex);
    w.U2(m.descIndex);
    WriteAttributes(w, m.attributes);
  }
}

uint16_t LE2(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t LE4(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool Inflate(const uint8_t* in, size_t inLength, size_t outLength, std::vector<uint8_t>& out) {
  out.assign(outLength, 0);
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in);
  z.avail_in = static_cast<uInt>(inLength);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(outLength);
  int rc = inflate(&z, Z_FINISH);
  bool done = rc == Z_STREAM_END && z.total_out == outLength;
  inflateEnd(&z);
  return done;
}

}  // namespace

const Attribute* Member::Find(const std::string& attrName) const {
  for (const Attribute& a : attributes) {
    if (a.name == attrName) return &a;
  }
  return nullptr;
}

const std::string& ClassFile::Utf8(uint16_t index) const {
  if (index == 0 || index >= pool.size() || pool[index].tag != kCpUtf8) return kEmpty;
  return pool[index].utf8;
}

std::string ClassFile::ClassName(uint16_t index) const {
  if (index == 0 || index >= pool.size() || pool[index].tag != kCpClass) return std::string();
  return Utf8(pool[index].Index1());
}

void ClassFile::Resolve() {
  name = ClassName(thisIndex);
  superName = superIndex == 0 ? std::string() : ClassName(superIndex);
  interfaces.clear();
  for (uint16_t i : interfaceIndexes) interfaces.push_back(ClassName(i));
  for (Member& m : fields) {
    m.name = Utf8(m.nameIndex);
    m.desc = Utf8(m.descIndex);
  }
  for (Member& m : methods) {
    m.name = Utf8(m.nameIndex);
    m.desc = Utf8(m.descIndex);
  }
}

const Member* ClassFile::FindField(const std::string& n, const std::string& d) const {
  for (const Member& m : fields) {
    if (m.name == n && m.desc == d) return &m;
  }
  return nullptr;
}

Member* ClassFile::FindField(const std::string& n, const std::string& d) {
  for (Member& m : fields) {
    if (m.name == n && m.desc == d) return &m;
  }
  return nullptr;
}

const Member* ClassFile::FindMethod(const std::string& n, const std::string& d) const {
  for (const Member& m : methods) {
    if (m.name == n && m.desc == d) return &m;
  }
  return nullptr;
}

Member* ClassFile::FindMethod(const std::string& n, const std::string& d) {
  for (Member& m : methods) {
    if (m.name == n && m.desc == d) return &m;
  }
  return nullptr;
}

bool ParseClass(const std::vector<uint8_t>& bytes, ClassFile& out, std::string& error) {
  out = ClassFile();
  Reader r(bytes);
  if (r.U4() != 0xCAFEBABEu) {
    error = "bad magic";
    return false;
  }
  out.minor = r.U2();
  out.major = r.U2();
  uint16_t count = r.U2();
  out.pool.resize(count);
  for (uint16_t i = 1; i < count && r.ok; i++) {
    CpEntry& e = out.pool[i];
    e.tag = r.U1();
    switch (e.tag) {
      case kCpUtf8: {
        uint16_t len = r.U2();
        std::vector<uint8_t> s = r.Bytes(len);
        e.utf8.assign(s.begin(), s.end());
        break;
      }
      case kCpInteger:
      case kCpFloat:
      case kCpFieldref:
      case kCpMethodref:
      case kCpInterfaceMethodref:
      case kCpNameAndType:
        e.payload = r.Bytes(4);
        break;
      case kCpLong:
      case kCpDouble:
        e.payload = r.Bytes(8);
        i++;  // the following slot is unusable
        break;
      case kCpClass:
      case kCpString:
        e.payload = r.Bytes(2);
        break;
      default:
        error = "unknown constant pool tag " + std::to_string(e.tag) + " at " + std::to_string(i);
        return false;
    }
  }
  out.access = r.U2();
  out.thisIndex = r.U2();
  out.superIndex = r.U2();
  uint16_t ninterfaces = r.U2();
  for (uint16_t i = 0; i < ninterfaces && r.ok; i++) out.interfaceIndexes.push_back(r.U2());
  if (!ReadMembers(r, out, out.fields) || !ReadMembers(r, out, out.methods) ||
      !ReadAttributes(r, out, out.attributes)) {
    error = "truncated class file";
    return false;
  }
  if (!r.ok) {
    error = "truncated class file";
    return false;
  }
  if (r.pos != bytes.size()) {
    error = "bytes after the last class attribute";
    return false;
  }
  out.Resolve();
  if (out.name.empty()) {
    error = "this_class is not a Class entry";
    return false;
  }
  return true;
}

std::vector<uint8_t> WriteClass(const ClassFile& cls) {
  Writer w;
  w.U4(0xCAFEBABEu);
  w.U2(cls.minor);
  w.U2(cls.major);
  w.U2(static_cast<uint16_t>(cls.pool.size()));
  for (size_t i = 1; i < cls.pool.size(); i++) {
    const CpEntry& e = cls.pool[i];
    if (e.tag == 0) continue;
    w.U1(e.tag);
    if (e.tag == kCpUtf8) {
      w.U2(static_cast<uint16_t>(e.utf8.size()));
      w.b.insert(w.b.end(), e.utf8.begin(), e.utf8.end());
    } else {
      w.Bytes(e.payload);
    }
  }
  w.U2(cls.access);
  w.U2(cls.thisIndex);
  w.U2(cls.superIndex);
  w.U2(static_cast<uint16_t>(cls.interfaceIndexes.size()));
  for (uint16_t i : cls.interfaceIndexes) w.U2(i);
  WriteMembers(w, cls.fields);
  WriteMembers(w, cls.methods);
  WriteAttributes(w, cls.attributes);
  return w.b;
}

bool ReadArchive(const std::string& path, std::vector<ArchiveEntry>& entries, std::string& error) {
  entries.clear();
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) {
    error = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> all;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) all.insert(all.end(), buf, buf + n);
  fclose(f);

  size_t pos = 0;
  while (all.size() - pos >= 4 && LE4(&all[pos]) == 0x04034B50u) {
    if (all.size() - pos < 30) {
      error = "short local header";
      return false;
    }
    const uint8_t* h = &all[pos];
    ArchiveEntry e;
    e.flags = LE2(h + 6);
    e.method = LE2(h + 8);
    uint32_t compressed = LE4(h + 18);
    uint32_t size = LE4(h + 22);
    uint16_t nameLength = LE2(h + 26);
    e.extraLength = LE2(h + 28);
    if (e.method == 0) compressed = size;
    size_t dataStart = pos + 30 + nameLength + e.extraLength;
    if (dataStart > all.size() || all.size() - dataStart < compressed) {
      error = "entry runs past the end of the archive";
      return false;
    }
    e.name.assign(reinterpret_cast<const char*>(h + 30), nameLength);
    if (e.method == 0) {
      e.data.assign(all.begin() + static_cast<long>(dataStart),
                    all.begin() + static_cast<long>(dataStart + size));
    } else if (e.method == 8) {
      if (!Inflate(&all[dataStart], compressed, size, e.data)) {
        error = "cannot inflate " + e.name;
        return false;
      }
    } else {
      error = e.name + ": compression method " + std::to_string(e.method);
      return false;
    }
    entries.push_back(e);
    pos = dataStart + compressed;
  }
  if (entries.empty()) {
    error = "no local headers in " + path;
    return false;
  }
  return true;
}

bool CreatedClasses(const ClassFile& cls, const Member& method, std::vector<std::string>& names,
                    std::string& error) {
  const Attribute* code = method.Find("Code");
  if (code == nullptr) return true;
  const std::vector<uint8_t>& d = code->data;
  if (d.size() < 8) {
    error = "short Code attribute";
    return false;
  }
  uint32_t length = static_cast<uint32_t>(d[4]) << 24 | static_cast<uint32_t>(d[5]) << 16 |
                    static_cast<uint32_t>(d[6]) << 8 | d[7];
  if (d.size() - 8 < length) {
    error = "code runs past its attribute";
    return false;
  }
  const uint8_t* c = &d[8];
  auto u2 = [&](uint32_t at) { return static_cast<uint16_t>(c[at] << 8 | c[at + 1]); };
  auto s4 = [&](uint32_t at) {
    return static_cast<int32_t>(static_cast<uint32_t>(c[at]) << 24 | static_cast<uint32_t>(c[at + 1]) << 16 |
                                static_cast<uint32_t>(c[at + 2]) << 8 | c[at + 3]);
  };
  // Lengths of the fixed-size instructions (0 marks the variable ones and unused codes).
  static const uint8_t kLength[256] = {
      1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x00
      2, 3, 2, 3, 3, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1,  // 0x10
      1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x20
      1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1,  // 0x30
      1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x40
      1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x50
      1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x60
      1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x70
      1, 1, 1, 1, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x80
      1, 1, 1, 1, 1, 1, 1, 1, 1, 3, 3, 3, 3, 3, 3, 3,  // 0x90
      3, 3, 3, 3, 3, 3, 3, 3, 3, 2, 0, 0, 1, 1, 1, 1,  // 0xa0
      1, 1, 3, 3, 3, 3, 3, 3, 3, 5, 0, 3, 2, 3, 1, 1,  // 0xb0
      3, 3, 1, 1, 0, 4, 3, 3, 5, 5, 0, 0, 0, 0, 0, 0,  // 0xc0
  };
  uint32_t pc = 0;
  while (pc < length) {
    uint8_t op = c[pc];
    uint32_t size = op < 0xd0 ? kLength[op] : 0;
    if (op == 0xaa) {  // tableswitch
      uint32_t at = (pc + 4) & ~3u;
      if (at + 12 > length) break;
      int32_t low = s4(at + 4);
      int32_t high = s4(at + 8);
      if (high < low) break;
      size = at + 12 + 4 * static_cast<uint32_t>(high - low + 1) - pc;
    } else if (op == 0xab) {  // lookupswitch
      uint32_t at = (pc + 4) & ~3u;
      if (at + 8 > length) break;
      int32_t pairs = s4(at + 4);
      if (pairs < 0) break;
      size = at + 8 + 8 * static_cast<uint32_t>(pairs) - pc;
    } else if (op == 0xc4) {  // wide
      if (pc + 1 >= length) break;
      size = c[pc + 1] == 0x84 ? 6 : 4;
    }
    if (size == 0 || pc + size > length) {
      error = cls.name + "." + method.name + ": cannot walk the code at " + std::to_string(pc);
      return false;
    }
    if (op == 0xbb || op == 0xbd || op == 0xc5) {
      std::string n = cls.ClassName(u2(pc + 1));
      if (n.empty()) {
        error = cls.name + "." + method.name + ": creation names no class";
        return false;
      }
      if (op != 0xbb) {
        // The element type of an array class, or the class itself for anewarray.
        size_t dims = 0;
        while (dims < n.size() && n[dims] == '[') dims++;
        if (dims > 0) {
          if (n[dims] != 'L') n.clear();
          else n = n.substr(dims + 1, n.size() - dims - 2);
        }
      }
      if (!n.empty()) names.push_back(n);
    }
    pc += size;
  }
  if (pc != length) {
    error = cls.name + "." + method.name + ": malformed code";
    return false;
  }
  return true;
}

int FieldWords(const std::string& desc) { return (desc == "J" || desc == "D") ? 2 : 1; }

int ArgumentWords(const std::string& desc) {
  int words = 0;
  size_t i = 1;
  while (i < desc.size() && desc[i] != ')') {
    char c = desc[i];
    if (c == 'J' || c == 'D') {
      words += 2;
      i++;
    } else if (c == 'L') {
      words++;
      i = desc.find(';', i) + 1;
    } else if (c == '[') {
      while (desc[i] == '[') i++;
      if (desc[i] == 'L') i = desc.find(';', i) + 1;
      else i++;
      words++;
    } else {
      words++;
      i++;
    }
  }
  return words;
}

}  // namespace classlib
