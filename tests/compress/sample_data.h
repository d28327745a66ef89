/* Deterministic inputs for the compression tests and the deflate benchmark: text from a
   fixed vocabulary, the class files of the class library's archive, random bytes, runs,
   and blocks repeated at the edge of the window. Header-only so that the benchmark can
   take it too. Nothing is downloaded; the archive is the one the build makes. */
#ifndef PUX_TESTS_COMPRESS_SAMPLE_DATA_H
#define PUX_TESTS_COMPRESS_SAMPLE_DATA_H

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace sample_data {

typedef std::vector<uint8_t> Bytes;

/* A fixed-seed xorshift generator. */
struct Random {
  uint32_t x;
  explicit Random(uint32_t seed) : x(seed ? seed : 1) {}
  uint32_t Next() {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  }
};

inline Bytes RandomBytes(size_t n, uint32_t seed) {
  Random r(seed);
  Bytes b(n);
  for (size_t i = 0; i < n; i++) b[i] = (uint8_t)(r.Next() >> 7);
  return b;
}

inline Bytes Run(size_t n, uint8_t value) { return Bytes(n, value); }

/* The 2,000-word vocabulary: pronounceable words of 1 to 4 syllables. */
inline std::vector<std::string> Vocabulary() {
  static const char* const onsets[] = {"b", "c", "d", "f", "g", "h", "k", "l", "m", "n", "p", "r",
                                       "s", "t", "v", "w", "st", "tr", "pl", "gr", "sh", "ch", ""};
  static const char* const vowels[] = {"a", "e", "i", "o", "u", "ea", "ou", "ai"};
  static const char* const codas[] = {"", "", "n", "r", "s", "t", "l", "nd", "st", "ck"};
  Random r(2000);
  std::vector<std::string> words;
  while (words.size() < 2000) {
    std::string w;
    uint32_t syllables = 1 + r.Next() % 4;
    for (uint32_t i = 0; i < syllables; i++) {
      w += onsets[r.Next() % 23];
      w += vowels[r.Next() % 8];
      w += codas[r.Next() % 10];
    }
    words.push_back(w);
  }
  return words;
}

/* Text of n bytes: words drawn with a Zipf-like weight (rank r about 1/r), sentences
   and line breaks. */
inline Bytes Text(size_t n, uint32_t seed) {
  static const std::vector<std::string> words = Vocabulary();
  Random r(seed);
  Bytes b;
  b.reserve(n + 64);
  size_t inSentence = 0;
  while (b.size() < n) {
    // The square of a uniform number leans toward low ranks.
    uint32_t u = r.Next() % 2000;
    uint32_t rank = (uint32_t)((uint64_t)u * u / 2000);
    const std::string& w = words[rank];
    if (inSentence == 0 && !w.empty()) {
      b.push_back((uint8_t)(w[0] - 'a' + 'A'));
      b.insert(b.end(), w.begin() + 1, w.end());
    } else {
      b.insert(b.end(), w.begin(), w.end());
    }
    if (++inSentence > 6 + r.Next() % 12) {
      b.push_back('.');
      b.push_back(r.Next() % 5 == 0 ? '\n' : ' ');
      inSentence = 0;
    } else {
      b.push_back(r.Next() % 9 == 0 ? ',' : ' ');
      if (b.back() == ',') b.push_back(' ');
    }
  }
  b.resize(n);
  return b;
}

/* Random 16 KB blocks, each followed by a repeat of itself at a distance from 32,000 to
   32,768 bytes (filler between), about the greatest distance a 32 KB window allows. */
inline Bytes FarRepeats(size_t n, uint32_t seed) {
  Random r(seed);
  Bytes b;
  while (b.size() < n) {
    Bytes block = RandomBytes(16384, r.Next());
    uint32_t distance = 32000 + r.Next() % 769;
    b.insert(b.end(), block.begin(), block.end());
    Bytes filler = RandomBytes(distance - 16384, r.Next());
    b.insert(b.end(), filler.begin(), filler.end());
    b.insert(b.end(), block.begin(), block.end());
  }
  b.resize(n);
  return b;
}

inline uint32_t Le16(const uint8_t* p) { return p[0] | (uint32_t)p[1] << 8; }
inline uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

inline bool ReadFile(const std::string& path, Bytes* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == NULL) return false;
  uint8_t buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out->insert(out->end(), buffer, buffer + n);
  fclose(f);
  return true;
}

/* The uncompressed members of a zip archive, concatenated in directory order (the
   system zlib inflates them); false when the archive cannot be read. */
inline bool ZipMembers(const std::string& path, Bytes* out) {
  Bytes zip;
  if (!ReadFile(path, &zip) || zip.size() < 22) return false;
  size_t eocd = zip.size() - 22;
  while (eocd > 0 && Le32(&zip[eocd]) != 0x06054b50u) eocd--;
  if (Le32(&zip[eocd]) != 0x06054b50u) return false;
  uint32_t entries = Le16(&zip[eocd + 10]);
  size_t at = Le32(&zip[eocd + 16]);
  for (uint32_t e = 0; e < entries; e++) {
    if (at + 46 > zip.size() || Le32(&zip[at]) != 0x02014b50u) return false;
    uint32_t method = Le16(&zip[at + 10]);
    uint32_t csize = Le32(&zip[at + 20]), usize = Le32(&zip[at + 24]);
    uint32_t nameLen = Le16(&zip[at + 28]), extraLen = Le16(&zip[at + 30]), commentLen = Le16(&zip[at + 32]);
    size_t local = Le32(&zip[at + 42]);
    at += 46 + nameLen + extraLen + commentLen;
    if (local + 30 > zip.size()) return false;
    size_t data = local + 30 + Le16(&zip[local + 26]) + Le16(&zip[local + 28]);
    if (data + csize > zip.size()) return false;
    size_t base = out->size();
    out->resize(base + usize);
    if (method == 0) {
      if (csize != usize) return false;
      memcpy(out->data() + base, &zip[data], usize);
      continue;
    }
    if (method != 8) return false;
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = &zip[data];
    z.avail_in = csize;
    z.next_out = out->data() + base;
    z.avail_out = usize;
    int rc = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    if (rc != Z_STREAM_END || z.avail_out != 0) return false;
  }
  return true;
}

}  // namespace sample_data

#endif
