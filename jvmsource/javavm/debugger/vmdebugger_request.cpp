/* The debugger's request protocol: one request per call, read field by field through
   the client's read callback, answered through its write callback after an announcement
   of the reply's length (a zero-length write whose buffer holds the count in the
   machine's own order). Fields travel big-endian. A request that fails a check is
   dropped whole: nothing is written, the rest of its bytes stay unread, and one line
   goes to the host's log. Every reply writes exactly the bytes it announced. */
#include <string.h>

#include "vm.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmdebugger_support.h"
#include "vmframe.h"
#include "vmjavalangstring.h"
#include "vmliteral.h"
#include "vmthread.h"

using namespace dbg;

/* ---- wire helpers ---- */

void DebugPut1(uint8_t* buffer, const void* value) { buffer[0] = *(const uint8_t*)value; }
void DebugGet1(void* value, const uint8_t* buffer) { *(uint8_t*)value = buffer[0]; }
void DebugPut2(uint8_t* buffer, const void* value) {
  uint16_t v;
  memcpy(&v, value, 2);
  buffer[0] = (uint8_t)(v >> 8);
  buffer[1] = (uint8_t)v;
}
void DebugGet2(void* value, const uint8_t* buffer) {
  uint16_t v = (uint16_t)(buffer[0] * 256u + buffer[1]);
  memcpy(value, &v, 2);
}
void DebugPut4(uint8_t* buffer, const void* value) {
  uint32_t v;
  memcpy(&v, value, 4);
  for (int i = 3; i >= 0; i--, v >>= 8) buffer[i] = (uint8_t)v;
}
void DebugGet4(void* value, const uint8_t* buffer) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v = (v << 8) | buffer[i];
  memcpy(value, &v, 4);
}
void DebugPut8(uint8_t* buffer, const void* value) {
  uint64_t v;
  memcpy(&v, value, 8);
  for (int i = 7; i >= 0; i--, v >>= 8) buffer[i] = (uint8_t)v;
}
void DebugGet8(void* value, const uint8_t* buffer) {
  uint64_t v = 0;
  for (int i = 0; i < 8; i++) v = (v << 8) | buffer[i];
  memcpy(value, &v, 8);
}

namespace {

const char kShortHandle[] = "Debug assertion: _read_len == sizeof( jdebugObject )\n";
const char kShortInt[] = "Debug assertion: _read_len == sizeof( jint )\n";
const char kShortAddress[] = "Debug assertion: _read_len == sizeof( jdebugAddress )\n";
const char kShortByte[] = "Debug assertion: _read_len == sizeof( jbyte )\n";
const char kShortShort[] = "Debug assertion: _read_len == sizeof( jshort )\n";
const char kShortChar[] = "Debug assertion: _read_len == sizeof( jchar )\n";
const char kShortFloat[] = "Debug assertion: _read_len == sizeof( jfloat )\n";
const char kShortLong[] = "Debug assertion: _read_len == sizeof( jlong )\n";
const char kShortDouble[] = "Debug assertion: _read_len == sizeof( jdouble )\n";
const char kShortText[] = "Debug assertion: _read_len == _len\n";
const char kLongText[] = "Debug assertion: _len < 512\n";
const char kBreakPC[] = "Debug assertion: method != NULL && pc < method->GetCode()->GetSize()\n";
const char kWatchSize[] = "Debug assertion: size <= 8\n";
const char kWait[] = "Debug assertion: wait == 0 || wait == 1\n";
const char kOn[] = "Debug assertion: on == 0 || on == 1\n";
const char kField[] = "Debug assertion: field != NULL\n";
const char kData[] = "Debug assertion: data != NULL\n";
const char kDataFrame[] = "Debug assertion: data != NULL && frame != NULL\n";
const char kMethod[] = "Debug assertion: method != NULL\n";
const char kFrame[] = "Debug assertion: frame != NULL\n";
const char kThread[] = "Debug assertion: thread != NULL\n";
const char kCodePC[] = "Debug assertion: pc < size\n";
const char kCodeRange[] = "Debug assertion: pc + len < size\n";

/* Texts of a request are at most 511 bytes. */
const uint32_t kTextRoom = 512;
/* A reply's length field holds 16 bits. */
const uint32_t kMaxReplyCount = 0xFFFFu;

/* One request's transport. */
class Wire {
 public:
  Wire(VMDebugger* agent, void* in, VMDebugIOCallback read, void* out, VMDebugIOCallback write)
      : agent_(agent), in_(in), read_(read), out_(out), write_(write) {}

  bool Read(void* buffer, uint32_t n, const char* shortText) {
    if (n == 0) return true;
    jint got = read_(in_, buffer, (jint)n);
    if (got == (jint)n) return true;
    Log(shortText);
    return false;
  }
  bool Byte(uint8_t* value, const char* shortText = kShortByte) { return Read(value, 1, shortText); }
  bool Short(uint16_t* value, const char* shortText) {
    uint8_t b[2];
    if (!Read(b, 2, shortText)) return false;
    DebugGet2(value, b);
    return true;
  }
  bool Int(int32_t* value, const char* shortText = kShortInt) {
    uint8_t b[4];
    if (!Read(b, 4, shortText)) return false;
    DebugGet4(value, b);
    return true;
  }
  bool Long(int64_t* value, const char* shortText) {
    uint8_t b[8];
    if (!Read(b, 8, shortText)) return false;
    DebugGet8(value, b);
    return true;
  }
  bool Address(jlong* value) { return Long(value, kShortAddress); }
  /* A handle of the kind tag, turned into its object as it is read. */
  bool Object(uint32_t tag, VMObject** object) {
    int32_t handle;
    if (!Int(&handle, kShortHandle)) return false;
    *object = agent_->UnHandle(tag, handle);
    return true;
  }
  bool Frame(VMFrame** frame) {
    int32_t handle;
    if (!Int(&handle)) return false;
    *frame = agent_->UnHandleFrame((uint32_t)handle);
    return true;
  }
  /* A request text: its length (refused from 512 on, before any byte of it is read),
     then its bytes, zero-terminated into text. */
  bool Text(char* text) {
    uint16_t length;
    if (!Short(&length, kShortShort)) return false;
    if (length >= kTextRoom) {
      Log(kLongText);
      return false;
    }
    if (!Read(text, length, kShortText)) return false;
    text[length] = 0;
    return true;
  }

  void Announce(uint32_t count) {
    uint32_t announced = count;
    write_(out_, &announced, 0);
  }
  void Put(const void* bytes, uint32_t n) { write_(out_, const_cast<void*>(bytes), (jint)n); }
  void PutByte(uint8_t v) { Put(&v, 1); }
  void PutShort(uint16_t v) {
    uint8_t b[2];
    DebugPut2(b, &v);
    Put(b, 2);
  }
  void PutInt(int32_t v) {
    uint8_t b[4];
    DebugPut4(b, &v);
    Put(b, 4);
  }
  void PutLong(int64_t v) {
    uint8_t b[8];
    DebugPut8(b, &v);
    Put(b, 8);
  }
  /* One fixed-width field, announced. */
  void ReplyInt(int32_t v) {
    Announce(4);
    PutInt(v);
  }
  void ReplyLong(int64_t v) {
    Announce(8);
    PutLong(v);
  }
  void ReplyEmpty() { Announce(0); }

  /* A text reply: its byte count and its bytes, cut at a character boundary to what the
     count field holds, so that the field and the announcement always agree. */
  void ReplyText(const char* bytes, uint32_t n) {
    if (n > kMaxReplyCount) {
      n = kMaxReplyCount;
      while (n > 0 && ((uint8_t)bytes[n] & 0xC0) == 0x80) n--;
    }
    Announce(n + 2);
    PutShort((uint16_t)n);
    if (n != 0) Put(bytes, n);
  }
  void ReplyString(VMJavaLangString* s) {
    if (s == NULL) return ReplyText("", 0);
    char* copy = s->MakeUTF8();
    if (copy != NULL) {
      ReplyText(copy, (uint32_t)strlen(copy));
      VMJavaLangString::FreeUTF8(copy);
      return;
    }
    // Too long for one host block: the leading whole characters that fit the buffer.
    char piece[128];
    uint32_t written = 0;
    (void)s->GetUTF8Piece(piece, sizeof piece, written, 0);
    ReplyText(piece, written);
  }
  void ReplyLiteral(VMLiteral* l) {
    if (l == NULL) return ReplyText("", 0);
    char* copy = l->MakeUTF8();
    if (copy != NULL) {
      ReplyText(copy, (uint32_t)strlen(copy));
      VMLiteral::FreeUTF8(copy);
      return;
    }
    char piece[128];
    uint32_t written = 0;
    (void)l->GetUTF8Piece(piece, sizeof piece, written, 0);
    ReplyText(piece, written);
  }
  /* A list of global handles of the elements, made for the kind tag. */
  void ReplyHandles(VMrefArray* list, uint32_t tag) {
    uint32_t n = list != NULL ? list->GetSize() : 0;
    if (n > kMaxReplyCount) n = kMaxReplyCount;
    Announce(2 + 4 * n);
    PutShort((uint16_t)n);
    for (uint32_t i = 0; i < n; i++) PutInt(agent_->EnGlobal(tag, list->Get(i)));
  }
  /* Pairs stay whole when a table is longer than the count field holds. */
  void ReplyShorts(VMshortArray* list) {
    uint32_t n = list != NULL ? list->GetSize() : 0;
    if (n > kMaxReplyCount - 1) n = kMaxReplyCount - 1;
    Announce(2 + 2 * n);
    PutShort((uint16_t)n);
    for (uint32_t i = 0; i < n; i++) PutShort((uint16_t)list->Get(i));
  }
  void ReplyClass(VMClass* cls) { ReplyInt(agent_->EnGlobal(VMDebugger::HandleClass, (VMObject*)cls)); }

 private:
  VMDebugger* agent_;
  void* in_;
  VMDebugIOCallback read_;
  void* out_;
  VMDebugIOCallback write_;
};

bool Drop(const char* text) {
  Log(text);
  return false;
}

/* The method's code array and its length as the wire knows it (16 bits). */
VMbyteArray* CodeOf(VMMethod* method, uint32_t* size) {
  VMbyteArray* code = method != NULL ? method->GetCode() : NULL;
  *size = code != NULL ? (code->GetSize() & 0xFFFFu) : 0;
  return code;
}

}  // namespace

uint32_t VMDebugger::DispatchRequest(void* in, VMDebugIOCallback read, void* out, VMDebugIOCallback write) {
  return DispatchRequest(NULL, in, read, out, write);
}

uint32_t VMDebugger::DispatchRequest(VMDebuggerCall* call, void* in, VMDebugIOCallback read, void* out,
                                     VMDebugIOCallback write) {
  if (read == NULL || write == NULL) return 0;
  uint8_t codeByte;
  if (read(in, &codeByte, 1) != 1) return 0;
  int32_t code = (int8_t)codeByte;
  if (code < 0 || code > 83 || (code >= 16 && code <= 18)) return 0;
  Wire w(this, in, read, out, write);
  VMObject* o = NULL;
  VMFrame* frame = NULL;
  jlong address = 0;
  int32_t i = 0;
  uint8_t b = 0;
  char text[kTextRoom];

  switch (code) {
    case 0:
    case 1: {
      int32_t pc;
      if (!w.Object(HandleMethod, &o) || !w.Int(&pc)) return 0;
      uint32_t size;
      VMbyteArray* codeArray = CodeOf((VMMethod*)o, &size);
      // A method without code (native, abstract) has no place for a breakpoint.
      if (codeArray == NULL || (uint32_t)pc >= size) return Drop(kBreakPC), 0;
      if (code == 1) {
        // Inside an instruction's operands there is no place for one either. A place
        // refused for want of memory is answered all the same, with nothing set: the
        // client's request was sound.
        bool noMemory = false;
        if (!BreakSet((VMMethod*)o, (uint32_t)pc, &noMemory) && !noMemory) return Drop(kBreakPC), 0;
      } else {
        BreakClear((VMMethod*)o, (uint32_t)pc);
      }
      w.ReplyEmpty();
      return 0;
    }
    case 2:
      if (!w.Address(&address)) return 0;
      ClearDataBreaks();
      w.ReplyEmpty();
      return 0;
    case 3:
      if (!w.Address(&address) || !w.Int(&i)) return 0;
      if ((uint32_t)i > 8) return Drop(kWatchSize), 0;
      if (!BreakSetWrite(address, (uint32_t)i)) return 0;
      w.ReplyEmpty();
      return 0;
    case 4:
    case 11:
    case 12:
    case 13: {
      if (!w.Object(HandleClass, &o)) return 0;
      VMClass* cls = (VMClass*)o;
      if (code == 4) w.ReplyInt(ClassClassify(cls));
      if (code == 11) w.ReplyClass(ClassSuper(cls));
      if (code == 12) w.ReplyInt((int32_t)ClassId(cls));
      if (code == 13) w.ReplyInt(ClassSize(cls));
      return 0;
    }
    case 5:
      if (!w.Object(HandleClass, &o)) return 0;
      w.ReplyHandles(ClassFields((VMClass*)o), HandleField);
      return 0;
    case 6:
      if (!w.Object(HandleClass, &o)) return 0;
      w.ReplyString(ClassFile((VMClass*)o));
      return 0;
    case 7: {
      if (!w.Text(text)) return 0;
      w.Announce(4);
      w.PutInt(EnGlobal(HandleClass, (VMObject*)ClassLoad(text)));
      return 0;
    }
    case 8:
      if (!w.Object(HandleClass, &o)) return 0;
      w.ReplyHandles(ClassMethods((VMClass*)o), HandleMethod);
      return 0;
    case 9: {
      if (!w.Object(HandleClass, &o)) return 0;
      VMMethodArray* methods = ClassMethods((VMClass*)o);
      w.ReplyInt(methods != NULL ? (int32_t)methods->GetSize() : 0);
      return 0;
    }
    case 10:
      if (!w.Object(HandleClass, &o)) return 0;
      w.ReplyString(ClassName((VMClass*)o));
      return 0;
    case 14: {
      const bool connected = Connect();
      w.Announce(1);
      w.PutByte(connected ? 1 : 0);
      return 0;
    }
    case 15:
      w.ReplyEmpty();
      return 0;
    case 19:
      w.Announce(4);
      w.PutInt(EnGlobal(HandleClass, EventGet()));
      return 0;
    case 20: {
      if (!w.Byte(&b)) return 0;
      if (b > 1) return Drop(kWait), 0;
      w.Announce(4);
      // The client may wait long: its other requests (and its detach) go on meanwhile.
      if (b != 0 && call != NULL) call->Release();
      int32_t kind = EventPending(b != 0);
      if (b != 0 && call != NULL) call->Retake();
      w.PutInt(kind);
      return 0;
    }
    case 21:
      EventRemove();
      w.ReplyEmpty();
      return 0;
    case 22:
      if (!w.Byte(&b)) return 0;
      if (b > 1) return Drop(kOn), 0;
      if (b != 0)
        SetReportCatch();
      else
        ClearReportCatch();
      w.ReplyEmpty();
      return 0;
    case 23:
    case 24:
    case 26:
    case 28: {
      if (!w.Object(HandleField, &o)) return 0;
      if (o == NULL) return Drop(kField), 0;
      VMMember* member = (VMMember*)o;
      if (code == 23) w.ReplyInt(FieldAttributes((VMDataMember*)member));
      if (code == 24) w.ReplyClass(FieldClass((VMDataMember*)member));
      if (code == 26) w.ReplyLiteral(member->GetName());
      if (code == 28) {
        // Only a local variable has a scope; a method or field answers none.
        VMLocalDataMember* local = (VMLocalDataMember*)member;
        uint32_t scope = member->GetIsLocal() && member->GetTag() == VMLocalDataMember::Tag
                             ? ((local->GetScopeStart() & 0xFFFFu) << 16) | (local->GetScopeLength() & 0xFFFFu)
                             : 0;
        w.ReplyInt((int32_t)scope);
      }
      return 0;
    }
    case 25:
      if (!w.Object(HandleField, &o) || !w.Address(&address)) return 0;
      if (o == NULL) return Drop(kData), 0;
      w.ReplyLong(FieldAddress((VMDataMember*)o, address));
      return 0;
    case 27: {
      if (!w.Object(HandleMethod, &o)) return 0;
      if (o == NULL) return Drop(kMethod), 0;
      w.ReplyLiteral(((VMMethod*)o)->GetQualifiedName());
      return 0;
    }
    case 29:
    case 30:
    case 31:
    case 32:
    case 33:
    case 34:
    case 83: {
      if (!w.Frame(&frame)) return 0;
      if (frame == NULL) return Drop(kFrame), 0;
      VMMethod* method = frame->method;
      if (code == 29) w.ReplyInt((int32_t)EnHandleFrame(FrameCaller(frame)));
      if (code == 30) w.ReplyInt(FrameCallerCount(frame));
      // A frame that runs no method (a thread's first frame) has no class or method.
      if (code == 31) w.ReplyClass(method != NULL ? (VMClass*)method->GetDefinedIn() : NULL);
      if (code == 32) w.ReplyInt(EnGlobal(HandleMethod, (VMObject*)method));
      if (code == 33) w.ReplyInt((int32_t)FrameMethodIndex(frame));
      if (code == 34) w.ReplyInt(FramePC(frame));
      if (code == 83) w.ReplyInt(FrameFlags(frame));
      return 0;
    }
    case 35:
    case 36:
      if (!w.Address(&address)) return 0;
      w.Announce(1);
      w.PutByte(code == 35 ? (uint8_t)GetBoolean(address) : (uint8_t)GetByte(address));
      return 0;
    case 37:
    case 42:
      if (!w.Address(&address)) return 0;
      w.Announce(2);
      w.PutShort(code == 37 ? (uint16_t)GetChar(address) : (uint16_t)GetShort(address));
      return 0;
    case 38: {
      if (!w.Address(&address)) return 0;
      w.Announce(8);
      jdouble d = GetDouble(address);
      int64_t bits;
      memcpy(&bits, &d, 8);
      w.PutLong(bits);
      return 0;
    }
    case 39: {
      if (!w.Address(&address)) return 0;
      w.Announce(4);
      jfloat f = GetFloat(address);
      int32_t bits;
      memcpy(&bits, &f, 4);
      w.PutInt(bits);
      return 0;
    }
    case 40:
    case 44:
    case 45:
    case 48:
      if (!w.Address(&address)) return 0;
      w.Announce(4);
      w.PutInt(code == 40   ? GetInt(address)
               : code == 44 ? GetStringLength(address)
               : code == 45 ? GetArraySize(address)
                            : GetIdentityHashCode(address));
      return 0;
    case 41:
      if (!w.Address(&address)) return 0;
      w.ReplyLong(GetLong(address));
      return 0;
    case 43:
      if (!w.Address(&address)) return 0;
      w.ReplyString(GetString(address));
      return 0;
    case 46:
      if (!w.Address(&address) || !w.Int(&i)) return 0;
      w.ReplyLong(GetArrayElement(address, i));
      return 0;
    case 47:
      if (!w.Address(&address)) return 0;
      w.ReplyClass(GetElementClass(address));
      return 0;
    case 49:
      if (!w.Byte(&b)) return 0;
      Interrupt(b != 0);
      w.ReplyEmpty();
      return 0;
    case 50: {
      if (!w.Object(HandleField, &o) || !w.Frame(&frame)) return 0;
      if (o == NULL || frame == NULL) return Drop(kDataFrame), 0;
      VMMember* member = (VMMember*)o;
      VMLocalDataMember* local = member->GetTag() == VMLocalDataMember::Tag ? (VMLocalDataMember*)member : NULL;
      w.ReplyLong(LocalAddress(local, frame));
      return 0;
    }
    case 51: {
      if (!w.Object(HandleMethod, &o)) return 0;
      if (o == NULL) return Drop(kMethod), 0;
      int32_t pc, len;
      if (!w.Int(&pc) || !w.Int(&len)) return 0;
      uint32_t size;
      VMbyteArray* codeArray = CodeOf((VMMethod*)o, &size);
      if ((uint32_t)pc >= size) return Drop(kCodePC), 0;
      // A range may end at the code's end; the sum is never taken, so it cannot wrap.
      if ((uint32_t)len > size - (uint32_t)pc) return Drop(kCodeRange), 0;
      w.Announce(size + 2);
      w.PutShort((uint16_t)size);
      for (uint32_t at = 0; at < size;) {
        uint32_t run = 0;
        uint8_t* bytes = (uint8_t*)codeArray->FindElement(at, &run);
        if (bytes == NULL || run == 0) break;
        if (run > size - at) run = size - at;
        w.Put(bytes, run);
        at += run;
      }
      return 0;
    }
    case 52:
    case 53:
    case 54:
    case 55: {
      if (!w.Object(HandleMethod, &o)) return 0;
      if (o == NULL) return Drop(kMethod), 0;
      VMMethod* method = (VMMethod*)o;
      if (code == 52) w.ReplyInt((int32_t)MethodCodeSize(method));
      if (code == 53) w.ReplyInt((int32_t)FindLineNumber(method, 0));
      if (code == 54) w.ReplyShorts(MethodLines(method));
      if (code == 55) w.ReplyHandles(MethodLocals(method), HandleLocal);
      return 0;
    }
    case 56:
      if (!w.Int(&i)) return 0;
      RefGlobalFree(i);
      w.ReplyEmpty();
      return 0;
    case 57:
      if (!w.Int(&i)) return 0;
      w.ReplyInt(RefNewGlobal(i));
      return 0;
    case 58:
    case 59:
      if (!w.Address(&address) || !w.Byte(&b)) return 0;
      if (code == 58)
        SetBoolean(address, (jboolean)b);
      else
        SetByte(address, (jbyte)b);
      w.ReplyEmpty();
      return 0;
    case 60:
    case 65: {
      uint16_t v;
      if (!w.Address(&address) || !w.Short(&v, code == 60 ? kShortChar : kShortShort)) return 0;
      if (code == 60)
        SetChar(address, (jchar)v);
      else
        SetShort(address, (jshort)v);
      w.ReplyEmpty();
      return 0;
    }
    case 61:
    case 64: {
      int64_t v;
      if (!w.Address(&address) || !w.Long(&v, code == 61 ? kShortDouble : kShortLong)) return 0;
      if (code == 61) {
        jdouble d;
        memcpy(&d, &v, 8);
        SetDouble(address, d);
      } else {
        SetLong(address, v);
      }
      w.ReplyEmpty();
      return 0;
    }
    case 62:
    case 63: {
      if (!w.Address(&address) || !w.Int(&i, code == 62 ? kShortFloat : kShortInt)) return 0;
      if (code == 62) {
        jfloat f;
        memcpy(&f, &i, 4);
        SetFloat(address, f);
      } else {
        SetInt(address, i);
      }
      w.ReplyEmpty();
      return 0;
    }
    case 66:
      if (!w.Address(&address) || !w.Text(text)) return 0;
      (void)SetString(address, text);
      w.ReplyEmpty();
      return 0;
    case 67: {
      w.Announce(4);
      // Counting may take seconds of sleeps: the client's other calls go on meanwhile.
      if (call != NULL) call->Release();
      int32_t count = ThreadCount();
      if (call != NULL) call->Retake();
      w.PutInt(count);
      return 0;
    }
    case 68:
      w.ReplyInt(EnGlobal(HandleThread, (VMObject*)ThreadCurrent()));
      return 0;
    case 69:
    case 70:
    case 72:
    case 73:
    case 74:
    case 75:
    case 76:
    case 77: {
      if (!w.Object(HandleThread, &o)) return 0;
      if (o == NULL) return Drop(kThread), 0;
      VMThread* thread = (VMThread*)o;
      switch (code) {
        case 69:
          // The frame handle is 0 unless the thread stands still.
          w.ReplyInt((int32_t)EnHandleFrame(IsStopped(thread) ? thread->GetFrame() : NULL));
          break;
        case 70:
          w.ReplyString(ThreadName(thread));
          break;
        case 72:
          ThreadResume(thread);
          w.ReplyEmpty();
          break;
        case 73:
          ThreadSet(thread);
          w.ReplyEmpty();
          break;
        case 74:
          ThreadStop(thread);
          w.ReplyEmpty();
          break;
        case 75:
          ThreadSuspend(thread);
          w.ReplyEmpty();
          break;
        case 76:
          w.Announce(1);
          w.PutByte(ThreadSuspended(thread));
          break;
        case 77: {
          uint8_t byLine, mode;
          if (!w.Byte(&byLine) || !w.Byte(&mode)) return 0;
          // Only a thread that stands still has frames to step from.
          if (!IsStopped(thread)) return Drop(kThread), 0;
          ThreadTrace(thread, byLine, mode);
          w.ReplyEmpty();
          break;
        }
      }
      return 0;
    }
    case 71: {
      int32_t handle;
      if (!w.Int(&handle, kShortHandle)) return 0;
      VMThread* previous = (VMThread*)UnHandle(HandleThread, handle);
      // A lapsed handle ends the walk: starting over would loop the client for ever.
      VMThread* next = handle != 0 && previous == NULL ? NULL : ThreadNext(previous);
      w.ReplyInt(EnGlobal(HandleThread, (VMObject*)next));
      return 0;
    }
    case 78:
      if (!w.Address(&address)) return 0;
      w.ReplyLong(AddrNewGlobal(address));
      return 0;
    case 79:
      if (!w.Address(&address)) return 0;
      AddrFreeGlobal(address);
      w.ReplyEmpty();
      return 0;
    case 80:
      if (!w.Address(&address) || !w.Object(HandleField, &o)) return 0;
      if (o == NULL) return Drop(kField), 0;
      w.ReplyClass(FieldDynamicClass(address, (VMDataMember*)o));
      return 0;
    case 81:
    case 82: {
      if (!w.Int(&i)) return 0;
      VMObject* object = JNItoObj((uint32_t)i);
      if (code == 81) {
        w.ReplyClass(object != NULL ? object->GetClass() : NULL);
      } else {
        int32_t handle = EnHandle(HandleObject, object);
        w.ReplyLong((jlong)(((uint64_t)(uint32_t)handle << 32) | 8u));
      }
      return 0;
    }
    default:
      return 0;
  }
}
