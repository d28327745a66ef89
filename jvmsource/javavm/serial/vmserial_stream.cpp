/* The byte streams of stored objects and the big-endian values and compact integers
   written and read on them. */
#include "vmserial.h"

#include <string.h>

#include "vmutils.h"

/* ---------------------------------------------------------------------------------- */
/* Byte streams                                                                        */

VMByteStream* VMByteStream::Create(HHeap* heap, JNIHostSerializationSupport* support, VMword tag) {
  VMByteStream* self = (VMByteStream*)CreateInternalNotToBeCalledDirectly(heap, Words, RefMask, tag,
                                                                         jallocFailFast);
  if (self == NULL) return NULL;
  uint8_t* buffer = (uint8_t*)VMUtils::GetHostFunctions()->HeapAlloc(NULL, vmserial::BUFFER_CAPACITY,
                                                                     jallocFailFast);
  if (buffer == NULL) {
    self->VMObject::Destroy(heap);
    return NULL;
  }
  self->InitByteArray(buffer, vmserial::BUFFER_CAPACITY);
  self->SetScalar(SupportWord, (VMword)support);
  return self;
}

void VMByteStream::InitByteArray(uint8_t* buffer, uint32_t size) {
  SetScalar(StartWord, (VMword)buffer);
  SetScalar(CapacityWord, size);
  SetCursor(buffer);
  SetLimit(buffer + size - 1);
  ClearIsError();
}

void VMByteStream::Destroy(HHeap* heap) {
  uint8_t* buffer = GetStart();
  if (buffer != NULL) VMUtils::GetHostFunctions()->HeapFree(NULL, buffer);
  SetScalar(StartWord, 0);
  VMObject::Destroy(heap);
}

/* ---------------------------------------------------------------------------------- */
/* Output                                                                              */

VMOutputByteStream* VMOutputByteStream::CreateInstance(HHeap* heap, JNIHostSerializationSupport* support) {
  return (VMOutputByteStream*)Create(heap, support, VMTag_VMOutputByteStream);
}

void VMOutputByteStream::WriteNoChk(const uint8_t* bytes, uint32_t n) {
  uint8_t* cursor = GetCursor();
  memcpy(cursor, bytes, n);
  SetCursor(cursor + n);
}

void VMOutputByteStream::WriteOverflow(uint8_t byte) {
  if (EOS()) {
    Flush();
    if (GetIsError()) return;
  }
  WriteNoChk(byte);
}

void VMOutputByteStream::WriteOverflow(const uint8_t* bytes, uint32_t n) {
  if (EOS()) {
    Flush();
    if (GetIsError()) return;
  }
  while (EOS(n)) {
    uint32_t room = (uint32_t)Left();
    WriteNoChk(bytes, room);
    bytes += room;
    n -= room;
    Flush();
    if (GetIsError()) return;
  }
  WriteNoChk(bytes, n);
}

void VMOutputByteStream::Flush() {
  JNIHostSerializationSupport* support = GetSupport();
  jint count = (jint)Length();
  if (support == NULL || support->Write == NULL ||
      support->Write(GetHostStream(), GetStart(), count) == 0) {
    SetIsError();
    return;
  }
  SetCursor(GetStart());
}

void VMOutputByteStream::Reset() {
  SetCursor(GetStart());
  SetLimit(GetStart() + GetCapacity() - 1);
  ClearIsError();
}

/* ---------------------------------------------------------------------------------- */
/* Input                                                                               */

VMInputByteStream* VMInputByteStream::CreateInstance(HHeap* heap, JNIHostSerializationSupport* support) {
  VMInputByteStream* self = (VMInputByteStream*)Create(heap, support, VMTag_VMInputByteStream);
  // Nothing is buffered before the first fill: a read that comes first asks the host,
  // instead of taking the new buffer's leftover memory for data.
  if (self != NULL) self->Reset();
  return self;
}

void VMInputByteStream::Reset() {
  SetCursor(GetStart());
  SetLimit(GetStart() - 1);
  ClearIsError();
}

void VMInputByteStream::Prefetch() {
  JNIHostSerializationSupport* support = GetSupport();
  jint n = -1;
  if (support == NULL || support->Read == NULL ||
      support->Read(GetHostStream(), GetStart(), (jint)GetCapacity(), &n) == 0 ||
      (uint32_t)n > GetCapacity()) {
    // A count the buffer cannot hold (negative ones included) is a host fault: nothing
    // of it is taken, so no byte outside the buffer ever reads as data.
    SetIsError();
    return;
  }
  SetCursor(GetStart());
  SetLimit(GetStart() + n - 1);
}

void VMInputByteStream::ReadNoChk(uint8_t* buffer, uint32_t n) {
  uint8_t* cursor = GetCursor();
  memcpy(buffer, cursor, n);
  SetCursor(cursor + n);
}

int VMInputByteStream::ReadEOS() {
  if (EOS()) Prefetch();
  if (GetIsError() || EOS()) {
    SetIsError();
    return -1;
  }
  return ReadNoChk();
}

int VMInputByteStream::ReadEOS(uint8_t* buffer, uint32_t n) {
  VM_ASSERT(n <= MAX_PIECE);
  if (n > MAX_PIECE) {
    SetIsError();
    return -1;
  }
  uint32_t total = n;
  if (EOS()) Prefetch();
  if (GetIsError() || EOS()) {
    SetIsError();
    return -1;
  }
  while (EOS(n)) {
    uint32_t have = (uint32_t)Left();
    ReadNoChk(buffer, have);
    buffer += have;
    n -= have;
    Prefetch();
    if (GetIsError() || EOS()) {
      SetIsError();
      return -1;
    }
  }
  ReadNoChk(buffer, n);
  return (int)total;
}

int VMInputByteStream::Skip(uint32_t n) {
  uint32_t have = Buffered();
  uint32_t skipped = n < have ? n : have;
  SetCursor(GetCursor() + skipped);
  return (int)skipped;
}

void VMInputByteStream::Seek(jint offset, jint origin) {
  JNIHostSerializationSupport* support = GetSupport();
  if (support != NULL && support->Seek != NULL) (void)support->Seek(GetHostStream(), offset, origin);
}

/* ---------------------------------------------------------------------------------- */
/* Typed values                                                                        */

void VMDataOutputStream::WriteFloat(jfloat f) {
  uint32_t bits;
  memcpy(&bits, &f, 4);
  WriteDWord(bits);
}

void VMDataOutputStream::WriteDouble(jdouble d) {
  uint64_t bits;
  memcpy(&bits, &d, 8);
  WriteQWord(bits);
}

void VMDataOutputStream::WriteCompactInt(jint value, VMErrorCatcher& catcher) {
  catcher.TavikSerialization(PutCompactInt(value));
  CheckStream(catcher);
}

bool VMDataOutputStream::PutLongCompactInt(jint value) {
  if (value == (jint)0x80000000) return false;
  uint32_t m = value < 0 ? (uint32_t)-value : (uint32_t)value;
  uint8_t sign = value < 0 ? 0x80 : 0;
  uint8_t bytes[5];
  uint32_t n;
  if (m < 64) {
    bytes[0] = (uint8_t)(m | sign);
    n = 1;
  } else if (m < 8192) {
    bytes[0] = (uint8_t)((m >> 8) | 0x40 | sign);
    bytes[1] = (uint8_t)m;
    n = 2;
  } else if (m < 1048576) {
    bytes[0] = (uint8_t)((m >> 16) | 0x60 | sign);
    bytes[1] = (uint8_t)(m >> 8);
    bytes[2] = (uint8_t)m;
    n = 3;
  } else if (m < 134217728) {
    bytes[0] = (uint8_t)((m >> 24) | 0x70 | sign);
    bytes[1] = (uint8_t)(m >> 16);
    bytes[2] = (uint8_t)(m >> 8);
    bytes[3] = (uint8_t)m;
    n = 4;
  } else {
    bytes[0] = (uint8_t)(0x78 | sign);
    bytes[1] = (uint8_t)(m >> 24);
    bytes[2] = (uint8_t)(m >> 16);
    bytes[3] = (uint8_t)(m >> 8);
    bytes[4] = (uint8_t)m;
    n = 5;
  }
  GetStream()->Write(bytes, n);
  return true;
}

uint16_t VMDataInputStream::ReadWord() {
  uint8_t b[2] = {0, 0};
  GetStream()->Read(b, 2);
  return (uint16_t)((b[0] << 8) | b[1]);
}

uint32_t VMDataInputStream::ReadDWord() {
  uint8_t b[4] = {0, 0, 0, 0};
  GetStream()->Read(b, 4);
  return ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
}

uint64_t VMDataInputStream::ReadQWord() {
  uint8_t b[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  GetStream()->Read(b, 8);
  uint64_t q = 0;
  for (int i = 0; i < 8; i++) q = (q << 8) | b[i];
  return q;
}

jfloat VMDataInputStream::ReadFloat() {
  uint32_t bits = ReadDWord();
  jfloat f;
  memcpy(&f, &bits, 4);
  return f;
}

jdouble VMDataInputStream::ReadDouble() {
  uint64_t bits = ReadQWord();
  jdouble d;
  memcpy(&d, &bits, 8);
  return d;
}

bool VMDataInputStream::GetLongCompactInt(jint* value) {
  VMInputByteStream* s = GetStream();
  *value = 0;
  int first = s->Read();
  if (first < 0) return false;
  uint32_t b = (uint32_t)first;
  uint32_t m;
  if ((b & 0x40) == 0) {
    m = b & 0x3F;
  } else if ((b & 0x20) == 0) {
    m = ((b & 0x1F) << 8) | (uint32_t)(s->Read() & 0xFF);
  } else if ((b & 0x10) == 0) {
    m = (b & 0x0F) << 16;
    m |= (uint32_t)(s->Read() & 0xFF) << 8;
    m |= (uint32_t)(s->Read() & 0xFF);
  } else if ((b & 0x08) == 0) {
    m = (b & 0x07) << 24;
    m |= (uint32_t)(s->Read() & 0xFF) << 16;
    m |= (uint32_t)(s->Read() & 0xFF) << 8;
    m |= (uint32_t)(s->Read() & 0xFF);
  } else {
    m = 0;
    for (int i = 0; i < 4; i++) m = (m << 8) | (uint32_t)(s->Read() & 0xFF);
  }
  // A magnitude with the top bit set has no 32-bit signed value of that sign.
  if (s->GetIsError() || m > 0x7FFFFFFFu) return false;
  *value = (b & 0x80) != 0 ? -(jint)m : (jint)m;
  return true;
}
