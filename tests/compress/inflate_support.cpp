#include "inflate_support.h"

#include <stdlib.h>
#include <string.h>
#include <zlib.h>

namespace compress_test {

void* TestAllocator::Alloc(void* opaque, uint32_t items, uint32_t size) {
  TestAllocator* a = static_cast<TestAllocator*>(opaque);
  uint64_t bytes = (uint64_t)items * size;
  int index = a->requests++;
  if (bytes > 256) a->oversized++;
  if (a->failAt >= 0 && (index == a->failAt || (a->failFromThere && index > a->failAt))) return nullptr;
  // The size rides in front of the block so that Free can count bytes.
  uint32_t* block = static_cast<uint32_t*>(malloc((size_t)bytes + 8));
  if (block == nullptr) return nullptr;
  block[0] = (uint32_t)bytes;
  if (a->scribble) memset(block + 2, 0xA5, (size_t)bytes);
  a->live++;
  a->liveBytes += (uint32_t)bytes;
  if (a->liveBytes > a->peakBytes) a->peakBytes = a->liveBytes;
  return block + 2;
}

void TestAllocator::Free(void* opaque, void* block) {
  TestAllocator* a = static_cast<TestAllocator*>(opaque);
  if (block == nullptr) return;
  uint32_t* b = static_cast<uint32_t*>(block) - 2;
  a->live--;
  a->liveBytes -= b[0];
  free(b);
}

void TestAllocator::Install(puxz::z_stream* z) {
  z->zalloc = Alloc;
  z->zfree = Free;
  z->opaque = this;
}

InflateResult OurInflate(const Bytes& in, int windowBits, const InflatePattern& pattern, TestAllocator* alloc,
                         size_t outLimit) {
  return OurInflate(in, windowBits, InflateCycle{{pattern.inPiece}, {pattern.outRoom}}, alloc, outLimit);
}

InflateResult OurInflate(const Bytes& in, int windowBits, const InflateCycle& cycle, TestAllocator* alloc,
                         size_t outLimit) {
  InflateResult result;
  puxz::z_stream z;
  memset(&z, 0, sizeof z);
  alloc->Install(&z);
  result.code = puxz::inflateInit2_(&z, windowBits, PUXZ_VERSION, (int)sizeof z);
  if (result.code != 0) return result;
  size_t pos = 0;
  uint8_t* piece = nullptr;
  uint8_t dummy = 0;
  int idle = 0;
  size_t call = 0, pieceCount = 0;
  for (;; call++) {
    uint32_t room = cycle.rooms[call % cycle.rooms.size()];
    if (room == 0) room = 1u << 20;
    if (z.avail_in == 0) {
      free(piece);
      piece = nullptr;
      size_t n = in.size() - pos;
      uint32_t limit = cycle.pieces[pieceCount++ % cycle.pieces.size()];
      if (limit != 0 && n > limit) n = limit;
      if (n != 0) {
        piece = static_cast<uint8_t*>(malloc(n));
        memcpy(piece, in.data() + pos, n);
        pos += n;
        z.next_in = piece;
      } else {
        z.next_in = &dummy;  // inflate wants a buffer even with nothing in it
      }
      z.avail_in = (uint32_t)n;
    }
    const uint8_t* pieceStart = z.next_in;
    const uint8_t* pieceEnd = z.next_in + z.avail_in;
    size_t base = result.out.size();
    result.out.resize(base + room);
    z.next_out = result.out.data() + base;
    z.avail_out = room;
    int rc = puxz::inflate(&z, 0);
    result.out.resize(base + (room - z.avail_out));
    if (z.next_in + z.avail_in != pieceEnd || z.next_in < pieceStart || z.next_in > pieceEnd) {
      result.invariantsHeld = false;
    }
    if (z.total_out != result.out.size()) result.invariantsHeld = false;
    if (rc == 1 || (rc != 0 && rc != -5)) {
      result.code = rc;
      break;
    }
    bool progress = z.avail_out != room || z.next_in != pieceStart;
    if (!progress && pos == in.size() && z.avail_in == 0) {
      if (++idle > 2) {
        result.code = rc;
        break;
      }
    } else {
      idle = 0;
    }
    if (result.out.size() > outLimit) {
      result.code = 99;
      break;
    }
  }
  result.msg = z.msg != nullptr ? z.msg : "";
  result.totalIn = z.total_in;
  result.totalOut = z.total_out;
  free(piece);
  if (puxz::inflateEnd(&z) != 0) ADD_FAILURE() << "inflateEnd refused its stream";
  return result;
}

InflateResult ZlibInflateAll(const Bytes& in, int windowBits, size_t outLimit) {
  InflateResult result;
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, windowBits) != Z_OK) {
    result.code = -2;
    return result;
  }
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = (uInt)in.size();
  uint8_t buffer[65536];
  for (;;) {
    z.next_out = buffer;
    z.avail_out = sizeof buffer;
    int rc = inflate(&z, Z_NO_FLUSH);
    result.out.insert(result.out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
    if (rc == Z_STREAM_END || (rc != Z_OK && rc != Z_BUF_ERROR)) {
      result.code = rc;
      break;
    }
    if (rc == Z_BUF_ERROR || result.out.size() > outLimit) {
      result.code = rc == Z_BUF_ERROR ? -5 : 99;
      break;
    }
  }
  result.msg = z.msg != nullptr ? z.msg : "";
  result.totalIn = (uint32_t)z.total_in;
  result.totalOut = (uint32_t)z.total_out;
  inflateEnd(&z);
  return result;
}

Bytes ZlibCompress(const Bytes& in, int level, int windowBits, int memLevel, int strategy) {
  z_stream z;
  memset(&z, 0, sizeof z);
  Bytes out;
  if (deflateInit2(&z, level, Z_DEFLATED, windowBits, memLevel, strategy) != Z_OK) return out;
  out.resize(deflateBound(&z, (uLong)in.size()) + 64);
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = (uInt)in.size();
  z.next_out = out.data();
  z.avail_out = (uInt)out.size();
  int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) out.clear();
  return out;
}

void BitWriter::Bits(uint32_t value, int n) {
  for (int i = 0; i < n; i++) {
    acc |= ((value >> i) & 1u) << count;
    if (++count == 8) {
      bytes.push_back((uint8_t)acc);
      acc = 0;
      count = 0;
    }
  }
}

void BitWriter::Code(uint32_t code, int n) {
  for (int i = n - 1; i >= 0; i--) Bits((code >> i) & 1u, 1);
}

void BitWriter::FixedSymbol(uint32_t s) {
  if (s < 144) {
    Code(0x30 + s, 8);
  } else if (s < 256) {
    Code(0x190 + (s - 144), 9);
  } else if (s < 280) {
    Code(s - 256, 7);
  } else {
    Code(0xC0 + (s - 280), 8);
  }
}

void BitWriter::Align() {
  if (count != 0) Bits(0, 8 - count);
}

Bytes BitWriter::Finish() {
  Align();
  return bytes;
}

}  // namespace compress_test
