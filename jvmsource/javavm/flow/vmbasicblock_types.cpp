/* The verifier's type walk: the type of every local and stack word at the entry of every
   block, inferred to a fixed point over the blocks and edges flow analysis built, and the
   checks the interpreter leaves to verification.

   Types. A word is unusable (top), a scalar (int, float, or a half of a long or double,
   not told apart: the interpreter reads them as bits), a return address (flow analysis
   keeps its subroutine), null, a class or array type by its interned name, an object
   made by the new at some pc whose constructor has not run, or the receiver of a
   constructor before it called its superclass's or its own class's. Names are judged
   within the loader of the method's class; a class is loaded only when two different
   names must be compared, and never prepared or initialised here, so the walk waits on no
   class monitor.

   Joins. Equal types stay; null joins a class or array type to that type; two class
   types join to their first common superclass (an interface on either side gives
   java/lang/Object, as interfaces are not checked); arrays of references join
   element-wise, other arrays to java/lang/Object; anything else is unusable, which on
   the stack is a failure. Each block's entry state joins every edge into it: branches,
   the handlers whose ranges cover its instructions (the locals before each one that may
   throw, with the caught class on the stack), and for the return point after a jsr, the
   locals its subroutine writes from each ret of the subroutine and the others from the
   jsr, as flow analysis does.

   Checks. Receivers and arguments of every call, field access and stored value against
   the member's declared types; array element types of the array instructions; returned
   and thrown values; invokespecial only for a constructor, or a method of the class or
   one of its superclasses; constructors only on objects not yet made, of the class new
   named (or the class or its superclass for the receiver of a constructor), which then
   become made everywhere; an unmade object is never stored, passed, returned, thrown or
   cast, is not on the stack at the new that would make another one of the same site,
   and no unmade object lives across a jsr; a constructor returns only after its
   superclass's or own class's constructor ran. */
#include "vmbasicblock_verify.h"

#include "vmbasicblock_code.h"
#include "vmclassloader.h"
#include "vmconstantpool.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmutils.h"

namespace {

enum : uint32_t {
  kTop = 0,
  kScalar = 1,
  kRet = 2,
  kNull = 3,
  kUninitThis = 4,
  kUninit = 0x40000000u,  // | pc of the new
  kRef = 0x80000000u,     // | position in the name table
  kPayload = 0x3FFFFFFFu,
};

inline bool IsRefType(uint32_t t) { return (t & kRef) != 0; }
inline bool IsUninit(uint32_t t) { return t == kUninitThis || (t & 0xC0000000u) == kUninit; }
inline bool IsReference(uint32_t t) { return t == kNull || IsRefType(t) || IsUninit(t); }
inline bool IsInitialized(uint32_t t) { return t == kNull || IsRefType(t); }

/* The first word of a state. */
enum : uint32_t { ThisUninitFlag = 1 };

enum : uint8_t { HasEntry = 1, HasExit = 2, Changed = 4 };

/* What the states of one method may take (a hostile method with many blocks and many
   locals would otherwise ask for gigabytes). */
const uint64_t kMaxStateBytes = 64ull << 20;

struct Name {
  VMLiteral* literal;
  VMLoadableClass* cls;  // once loaded with its superclasses
  uint32_t element;      // of an array type once asked for; 0 unknown
};

/* Names a method usually meets fit in the walk's own tables; more move to the heap. */
enum : uint32_t { kInlineNames = 48, kInlineHash = 128 };

/* The walk of one method. Everything it allocates is raw host memory of the class's
   heap, released by Release on every path. */
struct Walk {
  VMMethod* method;
  VMLoadableClass* cls;
  VMNameSpace* ns;
  VMClassLoader* loader;
  VMConstantPool* pool;
  uint32_t poolCount;
  HHeap* heap;
  VMErrorCatcher* catcher;
  VMBasicBlockInfo* info;
  VMBasicBlockArray* index;
  VMExceptionHandlerArray* handlers;
  uint32_t handlerCount;
  verify::Cursor* cursor;
  uint32_t blocks, L, M, width;
  uint32_t* storage;  // one block holding the seven arrays below
  uint32_t* entries;  // blocks x width
  uint32_t* exits;    // width per jsr or ret block
  uint32_t* exitOf;   // per block: its exit state's position + 1, or 0
  uint32_t* cur;
  uint32_t* pair;
  uint32_t* catchTypes;  // per handler, 0 until known
  uint8_t* marks;        // per block
  uint32_t lowest;
  bool localsChanged;
  Name* names;
  uint32_t nameCount, nameRoom;
  uint32_t* hash;  // name position + 1 per slot
  uint32_t hashRoom;
  char* text;  // names being read or built
  uint32_t textRoom;
  char* sig;   // the signature being walked
  uint32_t sigRoom;
  uint32_t objectType, stringType, returnType;
  uint32_t throwableType;  // 0 until needed
  uint32_t primitiveArrays[12];  // by newarray code
  VMLiteral* objectName;
  VMLiteral* cloneableName;     // NULL until needed
  VMLiteral* serializableName;  // NULL until needed
  VMLiteral* initName;
  bool inInit;  // a constructor of a class other than java/lang/Object
  Name inlineNames[kInlineNames];
  uint32_t inlineHash[kInlineHash];
};

/* ---- memory ---- */

void Fail(Walk& w) { w.catcher->Throw(VMStatus_VerifyError); }
inline void Check(Walk& w, bool ok) {
  if (!ok) Fail(w);
}

void* Allocate(Walk& w, uint64_t bytes) {
  if (bytes > kMaxStateBytes) w.catcher->NoMemory();
  void* block = VMUtils::GetHostFunctions()->HeapAlloc(w.heap, bytes == 0 ? 4 : (uint32_t)bytes, jallocFailFast);
  w.catcher->NotNull(block);
  memset(block, 0, bytes == 0 ? 4 : (size_t)bytes);
  return block;
}

void Free(Walk& w, void* block) {
  if (block != NULL) VMUtils::GetHostFunctions()->HeapFree(w.heap, block);
}

void Release(Walk& w) {
  Free(w, w.storage);
  if (w.names != w.inlineNames) Free(w, w.names);
  if (w.hash != w.inlineHash) Free(w, w.hash);
  Free(w, w.text);
  Free(w, w.sig);
}

/* A scratch buffer of at least n bytes (its old content is not kept). */
char* Room(Walk& w, char** buffer, uint32_t* room, uint32_t n) {
  if (n > *room) {
    uint32_t want = n < 256 ? 256 : n;
    char* grown = (char*)Allocate(w, want);
    Free(w, *buffer);
    *buffer = grown;
    *room = want;
  }
  return *buffer;
}

/* The bytes of a literal: in place when it lies in one piece, else copied. */
const char* Bytes(Walk& w, VMLiteral* l, char** buffer, uint32_t* room) {
  uint32_t n = l->UTF8Length();
  if (l->GetIsContiguous()) return (const char*)l->GetFirstElementPointer();
  char* out = Room(w, buffer, room, n);
  l->ReadBytes(0, n, out);
  return out;
}

VMLiteral* Intern(Walk& w, const char* text, uint32_t length) {
  VMLiteral* l = VMLiteral::CreateInstance(w.ns, text, length);
  w.catcher->NotNull(l);
  return l;
}

/* ---- names ---- */

uint32_t Slot(VMLiteral* l, uint32_t room) { return (uint32_t)(((uintptr_t)l >> 3) * 2654435761u) & (room - 1); }

uint32_t NameType(Walk& w, VMLiteral* literal) {
  Check(w, literal != NULL && literal->UTF8Length() != 0);
  for (uint32_t i = Slot(literal, w.hashRoom);; i = (i + 1) & (w.hashRoom - 1)) {
    uint32_t e = w.hash[i];
    if (e == 0) break;
    if (w.names[e - 1].literal == literal) return kRef | (e - 1);
  }
  Check(w, w.nameCount < kPayload);
  if (w.nameCount == w.nameRoom) {
    uint32_t room = w.nameRoom * 2;
    Name* grown = (Name*)Allocate(w, (uint64_t)room * sizeof(Name));
    memcpy(grown, w.names, w.nameCount * sizeof(Name));
    if (w.names != w.inlineNames) Free(w, w.names);
    w.names = grown;
    w.nameRoom = room;
  }
  if ((w.nameCount + 1) * 2 > w.hashRoom) {
    uint32_t room = w.hashRoom * 2;
    uint32_t* grown = (uint32_t*)Allocate(w, (uint64_t)room * 4);
    for (uint32_t n = 0; n < w.nameCount; n++) {
      uint32_t i = Slot(w.names[n].literal, room);
      while (grown[i] != 0) i = (i + 1) & (room - 1);
      grown[i] = n + 1;
    }
    if (w.hash != w.inlineHash) Free(w, w.hash);
    w.hash = grown;
    w.hashRoom = room;
  }
  uint32_t n = w.nameCount++;
  w.names[n].literal = literal;
  w.names[n].cls = NULL;
  w.names[n].element = 0;
  uint32_t i = Slot(literal, w.hashRoom);
  while (w.hash[i] != 0) i = (i + 1) & (w.hashRoom - 1);
  w.hash[i] = n + 1;
  return kRef | n;
}

inline VMLiteral* LiteralOf(Walk& w, uint32_t t) { return w.names[t & kPayload].literal; }
inline bool IsArrayName(VMLiteral* l) { return l->ByteAt(0) == '['; }

uint32_t NameTypeOf(Walk& w, const char* text, uint32_t length) { return NameType(w, Intern(w, text, length)); }

/* The type of the field type at text[0, length): a class or array name, or a scalar. */
uint32_t FieldType(Walk& w, const char* text, uint32_t length, VMLiteral* whole) {
  Check(w, length != 0);
  if (text[0] == 'L') {
    Check(w, length >= 3 && text[length - 1] == ';');
    return NameTypeOf(w, text + 1, length - 2);
  }
  if (text[0] == '[') return whole != NULL ? NameType(w, whole) : NameTypeOf(w, text, length);
  return kScalar;
}

/* The element type of an array type: a name, or kScalar for a primitive element. */
uint32_t ElementType(Walk& w, uint32_t array) {
  Name& n = w.names[array & kPayload];
  if (n.element != 0) return n.element;
  VMLiteral* l = n.literal;
  uint32_t length = l->UTF8Length();
  Check(w, length >= 2 && l->ByteAt(0) == '[');
  uint32_t element = kScalar;
  uint8_t c = l->ByteAt(1);
  if (c == 'L' || c == '[') {
    const char* text = Bytes(w, l, &w.text, &w.textRoom);
    element = FieldType(w, text + 1, length - 1, NULL);
  }
  // The table may have grown: n is not read again.
  w.names[array & kPayload].element = element;
  return element;
}

/* The array type whose elements have type t (a name). */
uint32_t ArrayOf(Walk& w, uint32_t t) {
  VMLiteral* l = LiteralOf(w, t);
  uint32_t length = l->UTF8Length();
  bool array = IsArrayName(l);
  char* out = Room(w, &w.text, &w.textRoom, length + 3);
  uint32_t n = 0;
  out[n++] = '[';
  if (!array) out[n++] = 'L';
  l->ReadBytes(0, length, out + n);
  n += length;
  if (!array) out[n++] = ';';
  return NameTypeOf(w, out, n);
}

/* Names the walk needs now and then, made on first use. */
uint32_t ThrowableType(Walk& w) {
  if (w.throwableType == 0) w.throwableType = NameTypeOf(w, "java/lang/Throwable", 19);
  return w.throwableType;
}
bool IsArrayInterface(Walk& w, VMLiteral* name) {
  if (w.cloneableName == NULL) {
    w.cloneableName = Intern(w, "java/lang/Cloneable", 19);
    w.serializableName = Intern(w, "java/io/Serializable", 20);
  }
  return name == w.cloneableName || name == w.serializableName;
}

/* The class of a type's name (never an array's), loaded with its superclasses. A class
   that cannot be had fails the method with the status of its loading. */
VMLoadableClass* ClassOf(Walk& w, uint32_t t) {
  Name& n = w.names[t & kPayload];
  if (n.cls != NULL) return n.cls;
  VMLiteral* literal = n.literal;
  VMLoadableClass* found = NULL;
  if (literal == w.cls->GetName()) {
    found = w.cls;
  } else {
    VMClass* c = VMClass::FindByName(w.ns, literal, w.loader);
    if (c == NULL || !c->GetIsLoadable()) w.catcher->Throw(VMStatus_NoClassDefFoundError);
    found = (VMLoadableClass*)c;
    w.catcher->CheckStatus(found->Load());
    w.catcher->CheckStatus(found->CheckSuperChain());
    // The chain is known to end: every class on it is loaded, or the first that cannot be
    // is the answer.
    for (VMLoadableClass* x = found->GetSuper(); x != NULL; x = x->GetSuper()) w.catcher->CheckStatus(x->Load());
  }
  w.names[t & kPayload].cls = found;
  return found;
}

/* ---- assignment and joins ---- */

/* Whether a value of class type from may be stored where class type to is declared. */
bool ClassAssignable(Walk& w, uint32_t from, uint32_t to) {
  VMLiteral* target = LiteralOf(w, to);
  for (VMLoadableClass* x = ClassOf(w, from); x != NULL; x = x->GetSuper()) {
    if (x->GetName() == target) return true;
  }
  // Interfaces are not checked here: an interface call finds its method by name in the
  // receiver's own class.
  return ClassOf(w, to)->GetIsInterface();
}

/* Whether a value of type from may be stored where reference type to is declared. */
bool Assignable(Walk& w, uint32_t from, uint32_t to) {
  for (;;) {
    if (from == to || from == kNull) return true;
    if (!IsRefType(from)) return false;
    VMLiteral* t = LiteralOf(w, to);
    if (t == w.objectName) return true;
    bool fromArray = IsArrayName(LiteralOf(w, from));
    if (IsArrayName(t)) {
      if (!fromArray) return false;
      uint32_t fe = ElementType(w, from), te = ElementType(w, to);
      // Different primitive elements, or a primitive and a reference one.
      if (fe == kScalar || te == kScalar) return false;
      from = fe;
      to = te;
      continue;
    }
    if (fromArray) return IsArrayInterface(w, t) || ClassOf(w, to)->GetIsInterface();
    return ClassAssignable(w, from, to);
  }
}

/* The first common superclass of two class types. */
uint32_t ClassJoin(Walk& w, uint32_t a, uint32_t b) {
  VMLoadableClass* ca = ClassOf(w, a);
  VMLoadableClass* cb = ClassOf(w, b);
  if (ca->GetIsInterface() || cb->GetIsInterface()) return w.objectType;
  VMLiteral* chain[VMLoadableClass::MAX_NESTING + 2];
  uint32_t n = 0;
  for (VMLoadableClass* x = ca; x != NULL && n < VMLoadableClass::MAX_NESTING + 2; x = x->GetSuper())
    chain[n++] = x->GetName();
  for (VMLoadableClass* y = cb; y != NULL; y = y->GetSuper()) {
    for (uint32_t i = 0; i < n; i++) {
      if (chain[i] == y->GetName()) return NameType(w, chain[i]);
    }
  }
  return w.objectType;
}

/* The join of two different reference types (names). */
uint32_t Join(Walk& w, uint32_t a, uint32_t b) {
  uint32_t depth = 0;
  uint32_t result;
  for (;;) {
    if (a == b) {
      result = a;
      break;
    }
    VMLiteral* la = LiteralOf(w, a);
    VMLiteral* lb = LiteralOf(w, b);
    if (la == w.objectName || lb == w.objectName) {
      result = w.objectType;
      break;
    }
    bool aa = IsArrayName(la), ba = IsArrayName(lb);
    if (aa && ba) {
      uint32_t ea = ElementType(w, a), eb = ElementType(w, b);
      if (ea == kScalar || eb == kScalar) {
        result = w.objectType;
        break;
      }
      a = ea;
      b = eb;
      depth++;
      continue;
    }
    result = (aa || ba) ? w.objectType : ClassJoin(w, a, b);
    break;
  }
  while (depth-- > 0) result = ArrayOf(w, result);
  return result;
}

uint32_t MergeWord(Walk& w, uint32_t a, uint32_t b) {
  if (a == b) return a;
  if (IsRefType(a) && IsRefType(b)) return Join(w, a, b);
  if (a == kNull && IsRefType(b)) return b;
  if (b == kNull && IsRefType(a)) return a;
  return kTop;
}

/* ---- states ---- */

inline uint32_t* Entry(Walk& w, uint32_t position) { return w.entries + (uint64_t)position * w.width; }
inline uint32_t* Locals(Walk&, uint32_t* s) { return s + 2; }
inline uint32_t* Stack(Walk& w, uint32_t* s) { return s + 2 + w.L; }

void NoteChanged(Walk& w, uint32_t position) {
  w.marks[position] |= Changed;
  if (position < w.lowest) w.lowest = position;
}

/* Joins a state into the entry of the block at position. */
void MergeInto(Walk& w, uint32_t position, const uint32_t* from) {
  VMBasicBlock* block = w.index->Get(position);
  // Only where flow analysis went: the walks follow the same edges.
  Check(w, block->HasState());
  uint32_t* to = Entry(w, position);
  uint32_t depth = from[1];
  Check(w, depth <= w.M);
  if (!(w.marks[position] & HasEntry)) {
    memcpy(to, from, (2 + w.L + depth) * 4);
    w.marks[position] |= HasEntry;
    NoteChanged(w, position);
    return;
  }
  Check(w, to[1] == depth);
  bool changed = false;
  if ((to[0] | from[0]) != to[0]) {
    to[0] |= from[0];
    changed = true;
  }
  for (uint32_t i = 2; i < 2 + w.L; i++) {
    uint32_t m = MergeWord(w, to[i], from[i]);
    if (m != to[i]) {
      to[i] = m;
      changed = true;
    }
  }
  for (uint32_t i = 2 + w.L; i < 2 + w.L + depth; i++) {
    uint32_t m = MergeWord(w, to[i], from[i]);
    // Words that cannot be joined on the stack cannot be used either.
    Check(w, m != kTop);
    if (m != to[i]) {
      to[i] = m;
      changed = true;
    }
  }
  if (changed) NoteChanged(w, position);
}

/* ---- the working state ---- */

inline uint32_t Depth(Walk& w) { return w.cur[1]; }
void Push(Walk& w, uint32_t t) {
  uint32_t d = w.cur[1];
  Check(w, d < w.M);
  Stack(w, w.cur)[d] = t;
  w.cur[1] = d + 1;
}
uint32_t Pop(Walk& w) {
  uint32_t d = w.cur[1];
  Check(w, d - 1 < w.M);
  w.cur[1] = d - 1;
  return Stack(w, w.cur)[d - 1];
}
void Pop(Walk& w, uint32_t n) {
  uint32_t d = w.cur[1];
  Check(w, d - n <= w.M && n <= d);
  w.cur[1] = d - n;
}
/* The word n below the top (0 the top). */
uint32_t& Peek(Walk& w, uint32_t n) {
  uint32_t d = w.cur[1];
  Check(w, d - 1 - n < w.M);
  return Stack(w, w.cur)[d - 1 - n];
}
uint32_t Local(Walk& w, uint32_t n) {
  Check(w, n < w.L);
  return Locals(w, w.cur)[n];
}
void SetLocal(Walk& w, uint32_t n, uint32_t t) {
  Check(w, n < w.L);
  Locals(w, w.cur)[n] = t;
  w.localsChanged = true;
}
/* Every word of the state equal to from becomes to. */
void Replace(Walk& w, uint32_t from, uint32_t to) {
  uint32_t* s = w.cur + 2;
  for (uint32_t i = 0; i < w.L + Depth(w); i++) {
    uint32_t* word = i < w.L ? s + i : s + w.L + (i - w.L);
    if (*word == from) *word = to;
  }
  w.localsChanged = true;
}

/* ---- constant-pool entries ---- */

/* The type a Class entry names (checked to be one: the kind walk did, this is cheap). */
uint32_t ClassEntryType(Walk& w, uint32_t index) {
  Check(w, index < w.poolCount);
  int16_t t = w.pool->GetConstType(index);
  Check(w, t == VMConstantPool::TYPE_Class || t == VMConstantPool::TYPE_Class_Resolved);
  VMStatus status = 0;
  VMClass* cls = w.pool->GetConstClass(index, &status, false);
  Check(w, cls != NULL);
  return NameType(w, cls->GetName());
}

/* A field or method reference: the type of the class it names, its name and signature. */
uint32_t MemberRef(Walk& w, uint32_t index, VMLiteral** name, VMLiteral** signature) {
  Check(w, index < w.poolCount);
  VMLoadableClass* owner = w.pool->GetMemberRef(index, name, signature);
  Check(w, owner != NULL && *name != NULL && *signature != NULL && (*signature)->UTF8Length() != 0);
  return NameType(w, owner->GetName());
}

/* The end (exclusive) of the field type that starts at text[at]. */
uint32_t FieldTypeEnd(Walk& w, const char* text, uint32_t length, uint32_t at) {
  uint32_t p = at;
  while (p < length && text[p] == '[') p++;
  Check(w, p < length);
  if (text[p] == 'L') {
    while (p < length && text[p] != ';') p++;
    Check(w, p < length);
  }
  return p + 1;
}

/* Whether a value may be stored where the field type at text[0, length) is declared,
   known without making a name: a made object where java/lang/Object is declared, or a
   value of exactly the declared type. */
bool PlainlyAssignable(Walk& w, uint32_t value, const char* text, uint32_t length) {
  if (value == kNull) return true;
  if (!IsRefType(value)) return false;
  VMLiteral* l = LiteralOf(w, value);
  if (text[0] == '[') return l->equalsUTF8(text, length);
  if (length < 3) return false;
  return (length == 18 && memcmp(text, "Ljava/lang/Object;", 18) == 0) || l->equalsUTF8(text + 1, length - 2);
}

/* ---- the instructions ---- */

/* The element letter a primitive array instruction needs, or 'L' for references. */
void CheckArray(Walk& w, uint32_t array, char element) {
  if (array == kNull) return;
  Check(w, IsRefType(array));
  VMLiteral* l = LiteralOf(w, array);
  uint32_t length = l->UTF8Length();
  Check(w, length >= 2 && l->ByteAt(0) == '[');
  uint8_t c = l->ByteAt(1);
  if (element == 'L')
    Check(w, c == 'L' || c == '[');
  else
    Check(w, length == 2 && (c == element || (element == 'B' && c == 'Z')));
}

void ArrayLoad(Walk& w, char element, uint32_t words) {
  Pop(w);  // the index
  uint32_t array = Pop(w);
  CheckArray(w, array, element);
  if (element == 'L') {
    Push(w, array == kNull ? kNull : ElementType(w, array));
  } else {
    for (uint32_t i = 0; i < words; i++) Push(w, kScalar);
  }
}

void ArrayStore(Walk& w, char element, uint32_t words) {
  uint32_t value = Pop(w);
  if (words == 2) Pop(w);
  Pop(w);  // the index
  CheckArray(w, Pop(w), element);
  // The element's class is checked when the instruction runs; only a made object or
  // null may be stored at all.
  if (element == 'L') Check(w, IsInitialized(value));
}

/* The class new named at pc. */
uint32_t NewClassType(Walk& w, uint32_t pc) {
  // A cursor of its own: the walk's may hold the instruction being checked.
  verify::Cursor code(w.method->GetCode());
  Check(w, (uint64_t)pc + 3 <= code.Length());
  uint8_t* at = code.At(pc, 3);
  Check(w, verify::Opcode(w.method, at[0], pc) == OP_new);
  return ClassEntryType(w, verify::U2(at + 1));
}

/* Whether the named class is the method's class or one of its superclasses. */
bool IsOwnOrSuper(Walk& w, VMLiteral* name) {
  uint32_t steps = 0;
  for (VMLoadableClass* x = w.cls; x != NULL && steps <= VMLoadableClass::MAX_NESTING + 1; x = x->GetSuper(), steps++) {
    if (x->GetName() == name) return true;
  }
  return false;
}

void Field(Walk& w, uint32_t index, bool isStatic, bool get) {
  VMLiteral* name = NULL;
  VMLiteral* signature = NULL;
  uint32_t owner = MemberRef(w, index, &name, &signature);
  uint32_t length = signature->UTF8Length();
  const char* text = Bytes(w, signature, &w.sig, &w.sigRoom);
  uint32_t type = FieldType(w, text, length, signature);
  uint32_t words = (text[0] == 'J' || text[0] == 'D') ? 2 : 1;
  if (get) {
    if (!isStatic) Check(w, Assignable(w, Pop(w), owner));
    for (uint32_t i = 0; i < words; i++) Push(w, type);
    return;
  }
  uint32_t value = Pop(w);
  if (words == 2) Pop(w);
  if (type != kScalar) Check(w, Assignable(w, value, type));
  if (isStatic) return;
  uint32_t object = Pop(w);
  // A constructor may set its own class's fields before it calls its superclass's
  // constructor (as inner classes store their outer instance).
  if (object == kUninitThis) {
    Check(w, LiteralOf(w, owner) == w.cls->GetName());
    return;
  }
  Check(w, Assignable(w, object, owner));
}

void Invoke(Walk& w, uint8_t op, uint32_t index) {
  VMLiteral* name = NULL;
  VMLiteral* signature = NULL;
  uint32_t owner = MemberRef(w, index, &name, &signature);
  bool isStatic = op == OP_invokestatic;
  uint32_t length = signature->UTF8Length();
  // The signature's bytes are read below while names are made: the signature has a
  // buffer of its own.
  const char* text = Bytes(w, signature, &w.sig, &w.sigRoom);
  Check(w, length >= 3 && text[0] == '(');
  // Argument words first, then the arguments against the parameters.
  uint32_t words = isStatic ? 0 : 1;
  uint32_t at = 1;
  while (at < length && text[at] != ')') {
    uint32_t end = FieldTypeEnd(w, text, length, at);
    words += (text[at] == 'J' || text[at] == 'D') ? 2 : 1;
    at = end;
  }
  Check(w, at < length && words <= Depth(w));
  uint32_t base = Depth(w) - words;
  uint32_t* stack = Stack(w, w.cur);
  uint32_t word = base + (isStatic ? 0 : 1);
  for (at = 1; text[at] != ')';) {
    uint32_t end = FieldTypeEnd(w, text, length, at);
    if (text[at] == 'L' || text[at] == '[') {
      uint32_t value = stack[word];
      if (!PlainlyAssignable(w, value, text + at, end - at))
        Check(w, Assignable(w, value, FieldType(w, text + at, end - at, NULL)));
      word += 1;
    } else {
      word += (text[at] == 'J' || text[at] == 'D') ? 2 : 1;
    }
    at = end;
  }
  uint32_t returnAt = at + 1;
  Check(w, returnAt < length);

  uint32_t made = kTop, replacement = kTop;
  if (!isStatic) {
    uint32_t receiver = stack[base];
    if (op == OP_invokevirtual) {
      Check(w, Assignable(w, receiver, owner));
    } else if (op == OP_invokeinterface) {
      Check(w, IsInitialized(receiver));
    } else if (name == w.initName) {
      // A constructor makes an object new left unmade, or the receiver of the running
      // constructor through its own class's or its superclass's.
      VMLiteral* ownerName = LiteralOf(w, owner);
      if (receiver == kUninitThis) {
        VMLoadableClass* super = w.cls->GetSuper();
        Check(w, ownerName == w.cls->GetName() || (super != NULL && ownerName == super->GetName()));
        replacement = NameType(w, w.cls->GetName());
      } else {
        Check(w, (receiver & 0xC0000000u) == kUninit);
        replacement = NewClassType(w, receiver & kPayload);
        Check(w, replacement == owner);
      }
      made = receiver;
    } else {
      Check(w, IsOwnOrSuper(w, LiteralOf(w, owner)));
      Check(w, Assignable(w, receiver, NameType(w, w.cls->GetName())));
    }
  }
  Pop(w, words);
  if (made != kTop) {
    Replace(w, made, replacement);
    if (made == kUninitThis) w.cur[0] &= ~ThisUninitFlag;
  }
  char r = text[returnAt];
  if (r == 'V') return;
  uint32_t type = FieldType(w, text + returnAt, length - returnAt, NULL);
  Push(w, type);
  if (r == 'J' || r == 'D') Push(w, kScalar);
}

/* The merge of the state before an instruction into the handlers whose ranges cover it;
   an entry with the handler and catch type of one already merged here adds nothing. */
void MergeHandlers(Walk& w, uint32_t pc) {
  uint32_t lastHandler = 0xFFFFFFFFu, lastType = kTop;
  for (uint32_t e = 0; e < w.handlerCount; e++) {
    VMExceptionHandler* h = w.handlers->Get(e);
    if (pc < h->GetStartPc() || pc >= h->GetEndPc()) continue;
    if (w.catchTypes[e] == 0) {
      uint32_t index = h->GetCatchTypeIndex();
      uint32_t type = index == 0 ? ThrowableType(w) : ClassEntryType(w, index);
      Check(w, Assignable(w, type, ThrowableType(w)));
      w.catchTypes[e] = type;
    }
    if (h->GetHandlerPc() == lastHandler && w.catchTypes[e] == lastType) continue;
    lastHandler = h->GetHandlerPc();
    lastType = w.catchTypes[e];
    VMBasicBlock* handler = flow::FindFast(w.info, lastHandler);
    Check(w, handler != NULL);
    w.pair[0] = w.cur[0];
    w.pair[1] = 1;
    memcpy(Locals(w, w.pair), Locals(w, w.cur), w.L * 4);
    Stack(w, w.pair)[0] = lastType;
    MergeInto(w, handler->GetPosition(), w.pair);
  }
}

/* No object without its constructor may live across a jsr: the subroutine's code is
   shared by every call site, and a return point takes locals from the ret and the jsr. */
void CheckNoUninit(Walk& w) {
  Check(w, (w.cur[0] & ThisUninitFlag) == 0);
  for (uint32_t i = 0; i < w.L + Depth(w); i++) Check(w, !IsUninit(w.cur[2 + i]));
}

/* The effect of one instruction on the working state; returns its length. */
uint32_t Step(Walk& w, uint8_t op, const uint8_t* at, uint32_t pc) {
  const uint8_t* o = at + 1;
  uint32_t length = VMBasicBlock::OpcodeSize(op);
  switch (op) {
    case OP_aconst_null: Push(w, kNull); break;
    case OP_ldc: Push(w, w.pool->GetConstIsRef(o[0]) ? w.stringType : kScalar); break;
    case OP_ldc_w: Push(w, w.pool->GetConstIsRef(verify::U2(o)) ? w.stringType : kScalar); break;
    case OP_ldc2_w: Push(w, kScalar); Push(w, kScalar); break;
    case OP_aload: {
      uint32_t t = Local(w, o[0]);
      Check(w, IsReference(t));
      Push(w, t);
      break;
    }
    case OP_aload_0: case OP_aload_1: case OP_aload_2: case OP_aload_3: {
      uint32_t t = Local(w, op - OP_aload_0);
      Check(w, IsReference(t));
      Push(w, t);
      break;
    }
    case OP_iload: case OP_fload: Push(w, kScalar); break;
    case OP_lload: case OP_dload: Push(w, kScalar); Push(w, kScalar); break;
    case OP_iload_0: case OP_iload_1: case OP_iload_2: case OP_iload_3:
    case OP_fload_0: case OP_fload_1: case OP_fload_2: case OP_fload_3:
      Push(w, kScalar);
      break;
    case OP_lload_0: case OP_lload_1: case OP_lload_2: case OP_lload_3:
    case OP_dload_0: case OP_dload_1: case OP_dload_2: case OP_dload_3:
      Push(w, kScalar);
      Push(w, kScalar);
      break;
    case OP_istore: case OP_fstore: Pop(w); SetLocal(w, o[0], kScalar); break;
    case OP_lstore: case OP_dstore:
      Pop(w, 2);
      SetLocal(w, o[0], kScalar);
      SetLocal(w, o[0] + 1u, kScalar);
      break;
    case OP_astore: {
      uint32_t t = Pop(w);
      Check(w, IsReference(t) || t == kRet);
      SetLocal(w, o[0], t);
      break;
    }
    case OP_istore_0: case OP_istore_1: case OP_istore_2: case OP_istore_3:
      Pop(w);
      SetLocal(w, op - OP_istore_0, kScalar);
      break;
    case OP_fstore_0: case OP_fstore_1: case OP_fstore_2: case OP_fstore_3:
      Pop(w);
      SetLocal(w, op - OP_fstore_0, kScalar);
      break;
    case OP_lstore_0: case OP_lstore_1: case OP_lstore_2: case OP_lstore_3:
      Pop(w, 2);
      SetLocal(w, op - OP_lstore_0, kScalar);
      SetLocal(w, op - OP_lstore_0 + 1u, kScalar);
      break;
    case OP_dstore_0: case OP_dstore_1: case OP_dstore_2: case OP_dstore_3:
      Pop(w, 2);
      SetLocal(w, op - OP_dstore_0, kScalar);
      SetLocal(w, op - OP_dstore_0 + 1u, kScalar);
      break;
    case OP_astore_0: case OP_astore_1: case OP_astore_2: case OP_astore_3: {
      uint32_t t = Pop(w);
      Check(w, IsReference(t) || t == kRet);
      SetLocal(w, op - OP_astore_0, t);
      break;
    }
    case OP_iinc: SetLocal(w, o[0], kScalar); break;
    case OP_iaload: ArrayLoad(w, 'I', 1); break;
    case OP_laload: ArrayLoad(w, 'J', 2); break;
    case OP_faload: ArrayLoad(w, 'F', 1); break;
    case OP_daload: ArrayLoad(w, 'D', 2); break;
    case OP_aaload: ArrayLoad(w, 'L', 1); break;
    case OP_baload: ArrayLoad(w, 'B', 1); break;
    case OP_caload: ArrayLoad(w, 'C', 1); break;
    case OP_saload: ArrayLoad(w, 'S', 1); break;
    case OP_iastore: ArrayStore(w, 'I', 1); break;
    case OP_lastore: ArrayStore(w, 'J', 2); break;
    case OP_fastore: ArrayStore(w, 'F', 1); break;
    case OP_dastore: ArrayStore(w, 'D', 2); break;
    case OP_aastore: ArrayStore(w, 'L', 1); break;
    case OP_bastore: ArrayStore(w, 'B', 1); break;
    case OP_castore: ArrayStore(w, 'C', 1); break;
    case OP_sastore: ArrayStore(w, 'S', 1); break;
    case OP_pop: Pop(w); break;
    case OP_pop2: Pop(w, 2); break;
    case OP_dup: {
      uint32_t a = Peek(w, 0);
      Push(w, a);
      break;
    }
    case OP_dup_x1: {
      uint32_t a = Pop(w), b = Pop(w);
      Push(w, a), Push(w, b), Push(w, a);
      break;
    }
    case OP_dup_x2: {
      uint32_t a = Pop(w), b = Pop(w), c = Pop(w);
      Push(w, a), Push(w, c), Push(w, b), Push(w, a);
      break;
    }
    case OP_dup2: {
      uint32_t a = Pop(w), b = Pop(w);
      Push(w, b), Push(w, a), Push(w, b), Push(w, a);
      break;
    }
    case OP_dup2_x1: {
      uint32_t a = Pop(w), b = Pop(w), c = Pop(w);
      Push(w, b), Push(w, a), Push(w, c), Push(w, b), Push(w, a);
      break;
    }
    case OP_dup2_x2: {
      uint32_t a = Pop(w), b = Pop(w), c = Pop(w), d = Pop(w);
      Push(w, b), Push(w, a), Push(w, d), Push(w, c), Push(w, b), Push(w, a);
      break;
    }
    case OP_swap: {
      uint32_t a = Pop(w), b = Pop(w);
      Push(w, a), Push(w, b);
      break;
    }
    case OP_jsr: case OP_jsr_w:
      CheckNoUninit(w);
      Push(w, kRet);
      break;
    case OP_ret: break;
    case OP_tableswitch: {
      uint32_t pad = verify::SwitchPad(pc);
      int32_t low = verify::S4(o + pad + 4), high = verify::S4(o + pad + 8);
      Check(w, low <= high);
      length = (uint32_t)(1 + pad + 12 + 4 * (uint64_t)((int64_t)high - low + 1));
      Pop(w);
      break;
    }
    case OP_lookupswitch: {
      uint32_t pad = verify::SwitchPad(pc);
      int32_t pairs = verify::S4(o + pad + 4);
      Check(w, pairs >= 0);
      length = (uint32_t)(1 + pad + 8 + 8 * (uint64_t)pairs);
      Pop(w);
      break;
    }
    case OP_ireturn: case OP_freturn: Pop(w); break;
    case OP_lreturn: case OP_dreturn: Pop(w, 2); break;
    case OP_areturn: Check(w, w.returnType != kTop && Assignable(w, Pop(w), w.returnType)); break;
    case OP_return:
      // A constructor returns an object made: its superclass's constructor (or another
      // of its own class) has run on it.
      if (w.inInit) Check(w, (w.cur[0] & ThisUninitFlag) == 0);
      break;
    case OP_getstatic: Field(w, verify::U2(o), true, true); break;
    case OP_putstatic: Field(w, verify::U2(o), true, false); break;
    case OP_getfield: Field(w, verify::U2(o), false, true); break;
    case OP_putfield: Field(w, verify::U2(o), false, false); break;
    case OP_invokevirtual: case OP_invokespecial: case OP_invokestatic: case OP_invokeinterface:
      Invoke(w, op, verify::U2(o));
      break;
    case OP_new: {
      uint32_t type = kUninit | pc;
      ClassEntryType(w, verify::U2(o));
      // One object per new site: an earlier one still on the stack could be made by
      // the other's constructor; one left in a local becomes unusable.
      for (uint32_t i = 0; i < Depth(w); i++) Check(w, Stack(w, w.cur)[i] != type);
      for (uint32_t i = 0; i < w.L; i++) {
        if (Locals(w, w.cur)[i] == type) SetLocal(w, i, kTop);
      }
      Push(w, type);
      break;
    }
    case OP_newarray: {
      uint8_t code = o[0];
      Check(w, code >= VMTypeBoolean && code <= VMTypeLong);
      if (w.primitiveArrays[code] == 0) {
        static const char kLetters[] = "ZCFDBSIJ";
        char name[2] = {'[', kLetters[code - VMTypeBoolean]};
        w.primitiveArrays[code] = NameTypeOf(w, name, 2);
      }
      Pop(w);
      Push(w, w.primitiveArrays[code]);
      break;
    }
    case OP_anewarray: {
      uint32_t element = ClassEntryType(w, verify::U2(o));
      Pop(w);
      Push(w, ArrayOf(w, element));
      break;
    }
    case OP_multianewarray: {
      uint32_t type = ClassEntryType(w, verify::U2(o));
      Pop(w, o[2]);
      Push(w, type);
      break;
    }
    case OP_arraylength: {
      uint32_t array = Pop(w);
      Check(w, array == kNull || (IsRefType(array) && IsArrayName(LiteralOf(w, array))));
      Push(w, kScalar);
      break;
    }
    case OP_athrow: {
      uint32_t thrown = Pop(w);
      Check(w, Assignable(w, thrown, ThrowableType(w)));
      break;
    }
    case OP_checkcast: {
      uint32_t type = ClassEntryType(w, verify::U2(o));
      Check(w, IsInitialized(Pop(w)));
      Push(w, type);
      break;
    }
    case OP_instanceof:
      ClassEntryType(w, verify::U2(o));
      Check(w, IsInitialized(Pop(w)));
      Push(w, kScalar);
      break;
    case OP_wide: {
      uint8_t widened = o[0];
      uint32_t n = verify::U2(o + 1);
      length = widened == OP_iinc ? 6 : 4;
      switch (widened) {
        case OP_iload: case OP_fload: Push(w, kScalar); break;
        case OP_lload: case OP_dload: Push(w, kScalar); Push(w, kScalar); break;
        case OP_aload: {
          uint32_t t = Local(w, n);
          Check(w, IsReference(t));
          Push(w, t);
          break;
        }
        case OP_istore: case OP_fstore: Pop(w); SetLocal(w, n, kScalar); break;
        case OP_lstore: case OP_dstore:
          Pop(w, 2);
          SetLocal(w, n, kScalar);
          SetLocal(w, n + 1, kScalar);
          break;
        case OP_astore: {
          uint32_t t = Pop(w);
          Check(w, IsReference(t) || t == kRet);
          SetLocal(w, n, t);
          break;
        }
        case OP_iinc: SetLocal(w, n, kScalar); break;
        case OP_ret: break;
        default: Fail(w);
      }
      break;
    }
    default: {
      // The rest consume and produce scalars (or, for the compares of references and
      // the monitors, consume references the kind walk checked).
      const char* shape = verify::kShapes[op];
      Check(w, shape != NULL);
      uint32_t in = 0;
      while (shape[in] != '>') in++;
      Pop(w, in);
      for (const char* out = shape + in + 1; *out != 0; out++) {
        Check(w, *out == 'S');
        Push(w, kScalar);
      }
      break;
    }
  }
  return length;
}

/* Flows the block at position from its entry state; handlers get the state before every
   instruction (it changes only where locals do). */
void FlowBlock(Walk& w, uint32_t position) {
  VMBasicBlock* b = w.index->Get(position);
  memcpy(w.cur, Entry(w, position), w.width * 4);
  const uint32_t end = b->GetEndPC();
  bool mergeNow = w.handlerCount != 0;
  for (uint32_t pc = b->GetStartPC(); pc < end;) {
    uint8_t* at = w.cursor->At(pc, 1);
    uint8_t op = verify::Opcode(w.method, at[0], pc);
    Check(w, op < OP_breakpoint && op != OP_unused_ba);
    at = w.cursor->At(pc, VMBasicBlock::OpcodeSize(op));
    if (mergeNow) {
      MergeHandlers(w, pc);
      mergeNow = false;
    }
    w.localsChanged = false;
    uint32_t length = Step(w, op, at, pc);
    if (w.localsChanged && w.handlerCount != 0) mergeNow = true;
    Check(w, length > 0);
    pc += length;
  }
}

uint32_t* ExitOf(Walk& w, uint32_t position) {
  uint32_t slot = w.exitOf[position];
  return slot != 0 ? w.exits + (uint64_t)(slot - 1) * w.width : NULL;
}

/* The return point after the jsr block at jsrPosition, reached from the ret block at
   retPosition: the locals the subroutine writes come from the ret, the others from the
   jsr, the stack from the ret. */
void MergeReturn(Walk& w, uint32_t retPosition, uint32_t jsrPosition) {
  if (!(w.marks[retPosition] & HasExit) || !(w.marks[jsrPosition] & HasExit)) return;
  VMBasicBlock* r = w.index->Get(retPosition);
  VMBasicBlock* j = w.index->Get(jsrPosition);
  VMBasicBlock* point = j->GetNext();
  Check(w, point != NULL);
  VMboolArray* written = VMBasicBlock::GetLocalsDefinedBySubroutine(w.method, r->GetRetOf(), *w.catcher);
  const uint32_t* fromRet = ExitOf(w, retPosition);
  const uint32_t* fromJsr = ExitOf(w, jsrPosition);
  w.pair[0] = fromRet[0] | fromJsr[0];
  w.pair[1] = fromRet[1];
  for (uint32_t i = 0; i < w.L; i++) Locals(w, w.pair)[i] = written->Get(i) ? fromRet[2 + i] : fromJsr[2 + i];
  memcpy(Stack(w, w.pair), fromRet + 2 + w.L, fromRet[1] * 4);
  MergeInto(w, point->GetPosition(), w.pair);
}

/* Where the state after the block at position goes. */
void Successors(Walk& w, uint32_t position) {
  VMBasicBlock* b = w.index->Get(position);
  if (b->GetIsRet() || b->GetIsJsr()) {
    uint32_t* exit = ExitOf(w, position);
    Check(w, exit != NULL);
    memcpy(exit, w.cur, (2 + w.L + Depth(w)) * 4);
    w.marks[position] |= HasExit;
  }
  if (b->GetIsRet()) {
    for (uint32_t t = 0; VMBasicBlock* point = b->GetTarget(t); t++) {
      VMBasicBlock* call = point->GetPrev();
      Check(w, call != NULL && call->GetIsJsr());
      MergeReturn(w, position, call->GetPosition());
    }
    return;
  }
  if (b->GetIsJsr()) {
    VMBasicBlock* entry = b->GetTarget(0);
    Check(w, entry != NULL);
    MergeInto(w, entry->GetPosition(), w.cur);
    uint32_t k = entry->GetEntryOf();
    for (uint32_t i = 0; i < w.blocks; i++) {
      VMBasicBlock* r = w.index->Get(i);
      if (r->GetIsRet() && r->GetRetOf() == k) MergeReturn(w, i, position);
    }
    return;
  }
  for (uint32_t t = 0; VMBasicBlock* target = b->GetTarget(t); t++) MergeInto(w, target->GetPosition(), w.cur);
}

/* The state at the method's entry: the receiver and the parameters, nothing else. */
void EntryState(Walk& w) {
  uint32_t* s = w.cur;
  memset(s, 0, w.width * 4);
  uint32_t n = 0;
  if (!w.method->GetIsStatic()) {
    Check(w, w.L >= 1);
    if (w.inInit) {
      Locals(w, s)[n++] = kUninitThis;
      s[0] |= ThisUninitFlag;
    } else {
      Locals(w, s)[n++] = NameType(w, w.cls->GetName());
    }
  }
  VMLiteral* signature = w.method->GetSignature();
  uint32_t length = signature->UTF8Length();
  const char* text = Bytes(w, signature, &w.sig, &w.sigRoom);
  Check(w, length >= 3 && text[0] == '(');
  uint32_t at = 1;
  while (at < length && text[at] != ')') {
    uint32_t end = FieldTypeEnd(w, text, length, at);
    uint32_t type = FieldType(w, text + at, end - at, NULL);
    Check(w, n < w.L);
    Locals(w, s)[n++] = type;
    if (text[at] == 'J' || text[at] == 'D') {
      Check(w, n < w.L);
      Locals(w, s)[n++] = kScalar;
    }
    at = end;
  }
  Check(w, at + 1 < length);
  w.returnType = text[at + 1] == 'L' || text[at + 1] == '[' ? FieldType(w, text + at + 1, length - at - 1, NULL) : kTop;
}

void Run(Walk& w) {
  VMLiteralTable* literals = w.ns->GetLiterals();
  Check(w, literals != NULL && w.index != NULL && w.blocks != 0);
  w.initName = literals->GetInit();
  w.objectName = literals->GetJava_lang_Object();
  Check(w, w.objectName != NULL && w.initName != NULL);
  w.objectType = NameType(w, w.objectName);
  w.stringType = NameType(w, literals->GetJava_lang_String());
  w.inInit = w.method->GetName() == w.initName && w.cls->GetName() != w.objectName;

  w.width = 2 + w.L + w.M;
  uint32_t exits = 0;
  for (uint32_t i = 0; i < w.blocks; i++) {
    VMBasicBlock* b = w.index->Get(i);
    Check(w, b->GetPosition() == i);
    if (b->GetIsRet() || b->GetIsJsr()) exits++;
  }
  // One block for the states and the per-block words; the marks (bytes) go last.
  uint64_t words = ((uint64_t)w.blocks + exits + 2) * w.width + w.blocks + w.handlerCount;
  w.storage = (uint32_t*)Allocate(w, words * 4 + w.blocks);
  w.entries = w.storage;
  w.exits = w.entries + (uint64_t)w.blocks * w.width;
  w.cur = w.exits + (uint64_t)exits * w.width;
  w.pair = w.cur + w.width;
  w.exitOf = w.pair + w.width;
  w.catchTypes = w.exitOf + w.blocks;
  w.marks = (uint8_t*)(w.catchTypes + w.handlerCount);
  exits = 0;
  for (uint32_t i = 0; i < w.blocks; i++) {
    VMBasicBlock* b = w.index->Get(i);
    if (b->GetIsRet() || b->GetIsJsr()) w.exitOf[i] = ++exits;
  }

  EntryState(w);
  w.lowest = w.blocks;
  MergeInto(w, 0, w.cur);
  for (;;) {
    uint32_t p = w.lowest;
    while (p < w.blocks && !(w.marks[p] & Changed)) p++;
    w.lowest = p;
    if (p >= w.blocks) break;
    w.marks[p] &= (uint8_t)~Changed;
    FlowBlock(w, p);
    Successors(w, p);
  }
}

}  // namespace

VMStatus verify::CheckTypes(VMMethod* method) {
  VMBasicBlockInfo* info = method->GetBlocks();
  if (info == NULL || info->GetBasicBlocks() == NULL) return 0;
  Walk w;
  memset(&w, 0, sizeof w);
  w.method = method;
  w.cls = method->GetDefinedIn();
  w.ns = w.cls->GetNameSpace();
  w.loader = w.cls->GetLoader();
  w.pool = method->GetConstantPool();
  w.poolCount = w.pool != NULL ? w.pool->GetCount() : 0;
  w.heap = w.cls->GetHeap();
  w.info = info;
  w.index = info->GetBlockIndex();
  w.blocks = w.index != NULL ? w.index->GetSize() : 0;
  w.handlers = method->GetExceptionHandlers();
  w.handlerCount = w.handlers != NULL ? w.handlers->GetSize() : 0;
  w.L = method->GetLocalWords() - 2;
  w.M = method->GetStackWords() - 2;
  w.names = w.inlineNames;
  w.nameRoom = kInlineNames;
  w.hash = w.inlineHash;
  w.hashRoom = kInlineHash;
  verify::Cursor cursor(method->GetCode());
  w.cursor = &cursor;
  VMErrorCatcher catcher;
  w.catcher = &catcher;
  // The walk's record is changed in memory only, through this pointer, after arming.
  Walk* volatile walk = &w;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    Release(*walk);
    return status;
  }
  Run(w);
  Release(w);
  return 0;
}
