/* A small zip archive writer for tests, able to write what tools refuse to: any field
   of the end record, a central or a local header can be set to a lie. */
#ifndef PUX_TESTS_COMPRESS_ZIP_WRITER_H
#define PUX_TESTS_COMPRESS_ZIP_WRITER_H

#include <stdint.h>
#include <zlib.h>

#include <string>
#include <utility>
#include <vector>

namespace compress_test {

typedef std::vector<uint8_t> ZipBytes;

struct ZipMember {
  ZipMember(std::string n, ZipBytes d, bool compress = true) : name(std::move(n)), data(std::move(d)), deflate(compress) {}
  std::string name;
  ZipBytes data;     /* uncompressed */
  bool deflate = true;
  ZipBytes localExtra;
  ZipBytes centralExtra;
  std::string comment;
  uint32_t localSignature = 0x04034B50u;
  /* When set, written in place of the true values. */
  int64_t centralCompressedSize = -1;
  int64_t centralSize = -1;
  int64_t localOffset = -1;
};

struct ZipArchive {
  std::vector<ZipMember> members;
  ZipBytes prefix;  /* bytes before the first local header (offsets do not count them) */
  std::string comment;
  int64_t totalEntries = -1;
  int64_t entriesOnDisk = -1;
  int64_t cdOffset = -1;
  int64_t cdSize = -1;

  ZipBytes Write() const {
    ZipBytes out = prefix;
    std::vector<uint32_t> offsets;
    std::vector<ZipBytes> packed;
    for (const ZipMember& m : members) {
      ZipBytes body = m.data;
      if (m.deflate) {
        z_stream z = {};
        deflateInit2(&z, 6, Z_DEFLATED, -15, 8, 0);
        body.resize(deflateBound(&z, (uLong)m.data.size()) + 16);
        z.next_in = const_cast<uint8_t*>(m.data.data());
        z.avail_in = (uInt)m.data.size();
        z.next_out = body.data();
        z.avail_out = (uInt)body.size();
        deflate(&z, Z_FINISH);
        body.resize(z.total_out);
        deflateEnd(&z);
      }
      packed.push_back(body);
      offsets.push_back((uint32_t)(out.size() - prefix.size()));
      U32(out, m.localSignature);
      U16(out, 20);
      U16(out, 0);
      U16(out, m.deflate ? 8 : 0);
      U32(out, 0);
      U32(out, (uint32_t)crc32(0, m.data.data(), (uInt)m.data.size()));
      U32(out, (uint32_t)body.size());
      U32(out, (uint32_t)m.data.size());
      U16(out, (uint32_t)m.name.size());
      U16(out, (uint32_t)m.localExtra.size());
      out.insert(out.end(), m.name.begin(), m.name.end());
      out.insert(out.end(), m.localExtra.begin(), m.localExtra.end());
      out.insert(out.end(), body.begin(), body.end());
    }
    uint32_t cdStart = (uint32_t)(out.size() - prefix.size());
    for (size_t i = 0; i < members.size(); i++) {
      const ZipMember& m = members[i];
      U32(out, 0x02014B50u);
      U16(out, 20);
      U16(out, 20);
      U16(out, 0);
      U16(out, m.deflate ? 8 : 0);
      U32(out, 0);
      U32(out, (uint32_t)crc32(0, m.data.data(), (uInt)m.data.size()));
      U32(out, m.centralCompressedSize >= 0 ? (uint32_t)m.centralCompressedSize : (uint32_t)packed[i].size());
      U32(out, m.centralSize >= 0 ? (uint32_t)m.centralSize : (uint32_t)m.data.size());
      U16(out, (uint32_t)m.name.size());
      U16(out, (uint32_t)m.centralExtra.size());
      U16(out, (uint32_t)m.comment.size());
      U16(out, 0);
      U16(out, 0);
      U32(out, 0);
      U32(out, m.localOffset >= 0 ? (uint32_t)m.localOffset : offsets[i]);
      out.insert(out.end(), m.name.begin(), m.name.end());
      out.insert(out.end(), m.centralExtra.begin(), m.centralExtra.end());
      out.insert(out.end(), m.comment.begin(), m.comment.end());
    }
    uint32_t cdLength = (uint32_t)(out.size() - prefix.size()) - cdStart;
    U32(out, 0x06054B50u);
    U16(out, 0);
    U16(out, 0);
    U16(out, entriesOnDisk >= 0 ? (uint32_t)entriesOnDisk : (uint32_t)members.size());
    U16(out, totalEntries >= 0 ? (uint32_t)totalEntries : (uint32_t)members.size());
    U32(out, cdSize >= 0 ? (uint32_t)cdSize : cdLength);
    U32(out, cdOffset >= 0 ? (uint32_t)cdOffset : cdStart);
    U16(out, (uint32_t)comment.size());
    out.insert(out.end(), comment.begin(), comment.end());
    return out;
  }

  static void U16(ZipBytes& b, uint32_t v) {
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
  }
  static void U32(ZipBytes& b, uint32_t v) {
    U16(b, v & 0xFFFF);
    U16(b, v >> 16);
  }
};

}  // namespace compress_test

#endif
