/* Handlers that touch the heap and the class model: arrays, fields, object creation,
   type tests, monitors, the quick forms, and the five call instructions. */
#include "vm.h"
#include "vmclass.h"
#include "vmconstantpool.h"
#include "vmdebugger.h"
#include "vmframe_handlers.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmupcalls.h"
#include "vmutils.h"

using namespace interp;

namespace {

const char kGetPut[] = "namespace spinlock - Get putInsByte";
const char kReleasePut[] = "namespace spinlock - Release putInsByte";

inline VMArray* ArrayAt(VMword* slot) { return (VMArray*)*slot; }

/* Rewrites the instruction's opcode into its quick form, through the code array (the
   handler's pc may be a copy in the slow loop), and only while the byte still holds the
   slow opcode: a breakpoint planted there stays. */
void Quicken(VMByteCodeFrame* frame, uint8_t slow, uint8_t quick) {
  VMNameSpace* ns = frame->thread->GetVM()->GetNameSpace();
  uint8_t* byte = (uint8_t*)frame->method->GetCode()->FindElement(frame->GetPC(false), 0u);
  if (*byte != slow) return;
  if (!VMUtils::P_SpinLock(ns->GetSpinLock(), kGetPut)) return;
  if (*byte == slow) *byte = quick;
  VMUtils::V_SpinLock(ns->GetSpinLock(), kReleasePut);
}

/* Rewrites the three bytes of a slow field instruction (its opcode and pool index) into
   a quick form and the field's word slot, only while the slow bytes still stand there (a
   planted breakpoint stays). A thread that runs the instruction meanwhile meets either
   form whole: the quick opcode is seen only with its slot, and the slow handlers read
   their opcode again after their index (SlowIndex). Where the three bytes lie in one
   aligned word, one locked exchange of that word rewrites them; elsewhere the opcode is
   first exchanged for OP_field_rewriting, which holds other threads off while the slot
   and then the quick opcode are stored. An instruction read from a gathered copy, or
   spread over two pieces of code, stays slow. */
void QuickenField(VMByteCodeFrame* frame, uint8_t* pc, uint8_t slow, uint32_t index, uint8_t quick, uint32_t slot) {
  if (slot > 0xFFFFu) return;
  uint32_t count = 0;
  uint8_t* at = (uint8_t*)frame->method->GetCode()->FindElement(frame->OffsetOf(pc), &count);
  if (at != pc || count < 3) return;
  uintptr_t address = (uintptr_t)at;
  unsigned shift = (unsigned)(address & 3) * 8;
  if (shift <= 8) {
    uint32_t* word = (uint32_t*)(address & ~(uintptr_t)3);
    uint32_t mask = 0xFFFFFFu << shift;
    uint32_t before = (slow | index << 8) << shift, after = (quick | slot << 8) << shift;
    uint32_t old = __atomic_load_n(word, __ATOMIC_RELAXED);
    while ((old & mask) == before) {
      if (__atomic_compare_exchange_n(word, &old, (old & ~mask) | after, false, __ATOMIC_SEQ_CST, __ATOMIC_RELAXED))
        return;
    }
    return;
  }
  uint8_t expected = slow;
  if (!__atomic_compare_exchange_n(at, &expected, (uint8_t)OP_field_rewriting, false, __ATOMIC_SEQ_CST,
                                   __ATOMIC_RELAXED))
    return;
  // The index cannot have changed: only the owner of the opcode byte writes the operand.
  uint16_t operand = (uint16_t)slot;
  memcpy(at + 1, &operand, 2);
  __atomic_store_n(at, quick, __ATOMIC_RELEASE);
}

/* The pool index of a slow field instruction, read before its opcode is read again: when
   another thread has meanwhile quickened the instruction, the index may be gone and the
   answer is the quick opcode (else 0). Loads are not reordered with loads on this
   processor, so an opcode still slow after the index vouches for the index. */
inline uint8_t SlowIndex(uint8_t* pc, uint32_t* index) {
  *index = U16(pc + 1);
  __asm__ __volatile__("" ::: "memory");
  uint8_t now = *(volatile uint8_t*)pc;
  return (now >= OP_getfield_quick && now <= OP_aputfield_quick) || now == OP_field_rewriting ? now : 0;
}

/* The field of a field instruction, resolved (NULL with the status). */
VMDataMember* ResolveField(VMByteCodeFrame* frame, uint32_t index, VMStatus* status) {
  VMConstantPool* pool = frame->method->GetConstantPool();
  *status = 0;
  if (pool == NULL || index == 0 || index >= pool->GetCount()) {
    *status = VMStatus_VerifyError;
    return NULL;
  }
  if (pool->GetConstType(index) == VMConstantPool::TYPE_FieldRef_Resolved)
    return (VMDataMember*)pool->GetConstWord(index);
  return pool->GetConstUnresolvedField(frame->method->GetDefinedIn(), index, status);
}

/* A class initialisation a handler ran (its frame and code pointer stored) returned after
   the host moved the machine: the handler's frame, stack, code pointer and thread name
   old copies. Done, the instruction is run again from the moved frame (its class is
   initialised now, so that costs a look); failed, the frame and pc to raise the status
   at are the moved ones. */
inline void AfterMovedInitialization(VMByteCodeFrame*& frame, uint8_t*& pc, VMStatus status) {
  if (status == 0) ResumeAfterRelocation();
  frame = (VMByteCodeFrame*)VMThread::Current()->GetFrame();
  pc = frame->codePointer;
}

/* The static data of an initialised class in this machine, initialising it first.
   NULL when that failed: the status is then to be raised (1: the pending exception) at
   frame and pc, which a move during the initialisation changed. */
inline VMObject* StaticDataFor(VMByteCodeFrame*& frame, uint8_t*& pc, VMLoadableClass* cls, VMStatus* status) {
  VMThread* thread = frame->thread;
  VMObject* data = cls->GetInitializedStaticData(thread->GetVM());
  if (data != NULL) return data;
  const uint32_t moves = VMFrame::GetRelocations();
  *status = cls->Initialize(thread->GetEnv());
  if (VMFrame::GetRelocations() != moves) {
    AfterMovedInitialization(frame, pc, *status);
    return NULL;
  }
  if (*status != 0) return NULL;
  data = cls->GetStaticData(thread);
  if (data == NULL) *status = VMStatus_NoClassDefFoundError;
  return data;
}

/* Resolves a class operand. Only new initialises it: a type test, or making an array of
   it, must not run its static initialiser. */
VMLoadableOrArrayClass* ResolveClass(VMByteCodeFrame* frame, uint32_t index, bool initialize, VMStatus* status) {
  VMConstantPool* pool = frame->method->GetConstantPool();
  *status = 0;
  // The entry's type is read once: each read finds the type array's element again.
  const int16_t type = pool != NULL && index != 0 && index < pool->GetCount() ? pool->GetConstType(index) : 0;
  if (type != VMConstantPool::TYPE_Class && type != VMConstantPool::TYPE_Class_Resolved) {
    *status = VMStatus_VerifyError;
    return NULL;
  }
  // Only an entry's first resolution initialises its class (new's): the initialiser may
  // let the host move the machine, and a class initialised then is taken up again from the
  // moved frame (a failure is raised there by ResolveClassToCreate).
  const bool initializing = initialize && type == VMConstantPool::TYPE_Class;
  const uint32_t moves = initializing ? VMFrame::GetRelocations() : 0;
  VMLoadableClass* cls = pool->GetConstClass(index, status, initialize);
  if (initializing && cls != NULL && VMFrame::GetRelocations() != moves) ResumeAfterRelocation();
  if (cls == NULL) {
    if (*status == 0) *status = VMStatus_NoClassDefFoundError;
    return NULL;
  }
  if (!initialize && cls->GetIsLoadable()) {
    *status = cls->Prepare(NULL);
    if (*status != 0) return NULL;
  }
  return (VMLoadableOrArrayClass*)cls;
}

/* new's class operand, resolved and its class initialised. A failed initialisation may
   have let the host move the machine: the failure is then raised at the moved frame. */
inline VMLoadableOrArrayClass* ResolveClassToCreate(VMByteCodeFrame*& frame, uint8_t*& pc, VMStatus* status) {
  VMLoadableOrArrayClass* c = ResolveClass(frame, U16(pc + 1), true, status);
  if (c == NULL) {
    VMByteCodeFrame* now = (VMByteCodeFrame*)VMThread::Current()->GetFrame();
    if (now != frame) {
      frame = now;
      pc = now->codePointer;
    }
  }
  return c;
}

}  // namespace

/* ------------------------------------------------------------------------------------ */
/* Arrays: null first, then the index (unsigned, so negatives fail too)                  */

#define ARRAY_CHECK(arraySlot, indexSlot)                                                  \
  VMArray* array = ArrayAt(arraySlot);                                                     \
  if (array == NULL) return Fail(frame, pc, 1, VMStatus_NullPointerException);             \
  uint32_t index = *(indexSlot);                                                           \
  if (index >= array->GetSize()) return Fail(frame, pc, 1, VMStatus_ArrayIndexOutOfBoundsException);

VM_OPDEF(Op_iaload) {
  (void)locals;
  ARRAY_CHECK(sp - 2, sp - 1)
  sp[-2] = index < VMArray::FIRST_PART_BYTES / 4 ? ((VMword*)array->GetFirstElementPointer())[index]
                                                 : *(VMword*)array->FindElement(index, 2u);
  return VM_OP(1, -4);
}

VM_OPDEF(Op_laload) {
  (void)locals;
  ARRAY_CHECK(sp - 2, sp - 1)
  memcpy(sp - 2, array->FindElement(index, 3u), 8);
  return VM_OP(1, 0);
}

VM_OPDEF(Op_baload) {
  (void)locals;
  ARRAY_CHECK(sp - 2, sp - 1)
  sp[-2] = (VMword)(int32_t) * (int8_t*)array->FindElement(index, 0u);
  return VM_OP(1, -4);
}

VM_OPDEF(Op_caload) {
  (void)locals;
  ARRAY_CHECK(sp - 2, sp - 1)
  sp[-2] = (VMword) * (uint16_t*)array->FindElement(index, 1u);
  return VM_OP(1, -4);
}

VM_OPDEF(Op_saload) {
  (void)locals;
  ARRAY_CHECK(sp - 2, sp - 1)
  sp[-2] = (VMword)(int32_t) * (int16_t*)array->FindElement(index, 1u);
  return VM_OP(1, -4);
}

VM_OPDEF(Op_iastore) {
  (void)locals;
  ARRAY_CHECK(sp - 3, sp - 2)
  if (index < VMArray::FIRST_PART_BYTES / 4)
    ((VMword*)array->GetFirstElementPointer())[index] = sp[-1];
  else
    *(VMword*)array->FindElement(index, 2u) = sp[-1];
  return VM_OP(1, -12);
}

VM_OPDEF(Op_lastore) {
  (void)locals;
  ARRAY_CHECK(sp - 4, sp - 3)
  memcpy(array->FindElement(index, 3u), sp - 2, 8);
  return VM_OP(1, -16);
}

VM_OPDEF(Op_aastore) {
  (void)locals;
  ARRAY_CHECK(sp - 3, sp - 2)
  VMObject* value = (VMObject*)sp[-1];
  if (value != NULL) {
    VMArrayClass* cls = array->GetArrayClass();
    VMClass* element = cls != NULL ? cls->GetElementClass() : NULL;
    if (element == NULL || !VMClass::InstanceOf(value, element))
      return Fail(frame, pc, 1, VMStatus_ArrayStoreException);
  }
  *(VMword*)array->FindElement(index, 2u) = (VMword)value;
  return VM_OP(1, -12);
}

VM_OPDEF(Op_bastore) {
  (void)locals;
  ARRAY_CHECK(sp - 3, sp - 2)
  *(uint8_t*)array->FindElement(index, 0u) = (uint8_t)sp[-1];
  return VM_OP(1, -12);
}

VM_OPDEF(Op_castore) {
  (void)locals;
  ARRAY_CHECK(sp - 3, sp - 2)
  *(uint16_t*)array->FindElement(index, 1u) = (uint16_t)sp[-1];
  return VM_OP(1, -12);
}
#undef ARRAY_CHECK

VM_OPDEF(Op_arraylength) {
  (void)locals;
  VMArray* array = ArrayAt(sp - 1);
  if (array == NULL) return Fail(frame, pc, 1, VMStatus_NullPointerException);
  sp[-1] = array->GetSize();
  return VM_OP(1, 0);
}

/* ------------------------------------------------------------------------------------ */
/* Fields                                                                                */

/* The field of a field instruction, resolved and its static-ness checked; NULL when the
   handler has thrown (its result is then in *failed). */
static VMDataMember* FieldOperand(VMword* sp, uint8_t* pc, VMByteCodeFrame* frame, bool wantStatic,
                                  VMOpResult* failed, uint32_t index) {
  frame->stack = sp;
  frame->codePointer = pc;
  VMStatus status;
  VMDataMember* field = ResolveField(frame, index, &status);
  if (field == NULL) {
    *failed = FailResolve(frame, pc, 3, status);
  } else if (field->GetIsStatic() != wantStatic) {
    *failed = Fail(frame, pc, 3, VMStatus_IncompatibleClassChangeError);
    field = NULL;
  }
  return field;
}

/* getfield and putfield rewrite themselves into the quick form of their field's kind
   (two words, a reference, one other word) once the field is resolved. */
VM_OPDEF(Op_getfield) {
  uint32_t index;
  if (uint8_t quick = SlowIndex(pc, &index)) return VMOpcodeTable[quick](sp, pc, locals, frame);
  VMOpResult failed = 0;
  VMDataMember* field = FieldOperand(sp, pc, frame, false, &failed, index);
  if (field == NULL) return failed;
  VMObject* object = (VMObject*)sp[-1];
  if (object == NULL) return Fail(frame, pc, 3, VMStatus_NullPointerException);
  uint32_t slot = (uint32_t)field->GetIndex();
  VMClass* type = field->GetClass();
  sp[-1] = object->GetWord(slot);
  if (type->GetIsTwoEntries()) {
    sp[0] = object->GetWord(slot + 1);
    QuickenField(frame, pc, OP_getfield, index, OP_getfield2_quick, slot);
    return VM_OP(3, 4);
  }
  QuickenField(frame, pc, OP_getfield, index, type->GetIsPrimitive() ? OP_getfield_quick : OP_agetfield_quick, slot);
  return VM_OP(3, 0);
}

VM_OPDEF(Op_putfield) {
  uint32_t index;
  if (uint8_t quick = SlowIndex(pc, &index)) return VMOpcodeTable[quick](sp, pc, locals, frame);
  VMOpResult failed = 0;
  VMDataMember* field = FieldOperand(sp, pc, frame, false, &failed, index);
  if (field == NULL) return failed;
  uint32_t slot = (uint32_t)field->GetIndex();
  VMClass* type = field->GetClass();
  bool two = type->GetIsTwoEntries();
  VMObject* object = (VMObject*)sp[two ? -3 : -2];
  if (object == NULL) return Fail(frame, pc, 3, VMStatus_NullPointerException);
  if (two) {
    object->SetWord(slot, sp[-2]);
    object->SetWord(slot + 1, sp[-1]);
    QuickenField(frame, pc, OP_putfield, index, OP_putfield2_quick, slot);
    return VM_OP(3, -12);
  }
  object->SetWord(slot, sp[-1]);
  QuickenField(frame, pc, OP_putfield, index, type->GetIsPrimitive() ? OP_putfield_quick : OP_aputfield_quick, slot);
  return VM_OP(3, -8);
}

static VMOpResult GetStatic(VMword* sp, uint8_t* pc, VMByteCodeFrame* frame, VMDataMember* field) {
  VMStatus status = 0;
  VMObject* data = StaticDataFor(frame, pc, field->GetDefinedIn(), &status);
  if (data == NULL) return FailResolve(frame, pc, 3, status);
  uint32_t slot = (uint32_t)field->GetIndex();
  sp[0] = data->GetWord(slot);
  if (field->GetClass()->GetIsTwoEntries()) {
    sp[1] = data->GetWord(slot + 1);
    return VM_OP(3, 8);
  }
  return VM_OP(3, 4);
}

static VMOpResult PutStatic(VMword* sp, uint8_t* pc, VMByteCodeFrame* frame, VMDataMember* field) {
  VMStatus status = 0;
  VMObject* data = StaticDataFor(frame, pc, field->GetDefinedIn(), &status);
  if (data == NULL) return FailResolve(frame, pc, 3, status);
  uint32_t slot = (uint32_t)field->GetIndex();
  if (field->GetClass()->GetIsTwoEntries()) {
    data->SetWord(slot, sp[-2]);
    data->SetWord(slot + 1, sp[-1]);
    return VM_OP(3, -8);
  }
  data->SetWord(slot, sp[-1]);
  return VM_OP(3, -4);
}

VM_OPDEF(Op_getstatic) {
  (void)locals;
  VMOpResult failed = 0;
  VMDataMember* field = FieldOperand(sp, pc, frame, true, &failed, U16(pc + 1));
  if (field == NULL) return failed;
  VMOpResult r = GetStatic(sp, pc, frame, field);
  if (r != 0) Quicken(frame, OP_getstatic, field->GetClass()->GetIsTwoEntries() ? OP_getstatic2_quick : OP_getstatic_quick);
  return r;
}

VM_OPDEF(Op_putstatic) {
  (void)locals;
  VMOpResult failed = 0;
  VMDataMember* field = FieldOperand(sp, pc, frame, true, &failed, U16(pc + 1));
  if (field == NULL) return failed;
  VMOpResult r = PutStatic(sp, pc, frame, field);
  if (r != 0) Quicken(frame, OP_putstatic, field->GetClass()->GetIsTwoEntries() ? OP_putstatic2_quick : OP_putstatic_quick);
  return r;
}

/* The quick static forms: the entry was resolved by the slow form that wrote them. */
static VMDataMember* QuickField(VMByteCodeFrame* frame, uint8_t* pc) {
  VMConstantPool* pool = frame->method->GetConstantPool();
  VMDataMember* field = pool != NULL ? pool->ResolvedFieldAt(U16(pc + 1)) : NULL;
  return field != NULL && field->GetIsStatic() ? field : NULL;
}

VM_OPDEF(Op_getstatic_quick) {
  frame->stack = sp;
  frame->codePointer = pc;
  VMDataMember* field = QuickField(frame, pc);
  if (field == NULL) return Op_getstatic(sp, pc, locals, frame);
  return GetStatic(sp, pc, frame, field);
}

VM_OPDEF(Op_getstatic2_quick) { return Op_getstatic_quick(sp, pc, locals, frame); }

VM_OPDEF(Op_putstatic_quick) {
  frame->stack = sp;
  frame->codePointer = pc;
  VMDataMember* field = QuickField(frame, pc);
  if (field == NULL) return Op_putstatic(sp, pc, locals, frame);
  return PutStatic(sp, pc, frame, field);
}

VM_OPDEF(Op_putstatic2_quick) { return Op_putstatic_quick(sp, pc, locals, frame); }

/* Another thread is rewriting this instruction: it takes a few stores, never a poll, so
   waiting for it ends. */
VM_OPDEF(Op_field_rewriting) {
  // Only ever met in place (a gathered copy is never rewritten), but a copy holding this
  // byte must not be waited on for ever.
  if ((uint8_t*)frame->method->GetCode()->FindElement(frame->OffsetOf(pc), 0u) != pc)
    return Fail(frame, pc, 1, VMStatus_VerifyError);
  uint8_t now;
  for (int spins = 0; (now = __atomic_load_n(pc, __ATOMIC_ACQUIRE)) == OP_field_rewriting; spins++) {
    if (spins >= 64) VMUtils::GetHostFunctions()->Sleep(0);
  }
  return VMOpcodeTable[now](sp, pc, locals, frame);
}

/* The quick instance-field forms: only the slow forms write them (the load-time pass
   refuses them in class files), with the slot of the field the slow form resolved. */
#define QUICK_FIELD(name, depth, body)                                               \
  VM_OPDEF(name) {                                                                   \
    (void)locals;                                                                    \
    frame->stack = sp;                                                               \
    frame->codePointer = pc;                                                         \
    VMObject* object = (VMObject*)sp[-(depth)];                                      \
    if (object == NULL) return Fail(frame, pc, 3, VMStatus_NullPointerException);    \
    uint32_t slot = U16(pc + 1);                                                     \
    body                                                                             \
  }
QUICK_FIELD(Op_getfield_quick, 1, sp[-1] = object->GetWord(slot); return VM_OP(3, 0);)
QUICK_FIELD(Op_agetfield_quick, 1, sp[-1] = object->GetWord(slot); return VM_OP(3, 0);)
QUICK_FIELD(Op_putfield_quick, 2, object->SetWord(slot, sp[-1]); return VM_OP(3, -8);)
QUICK_FIELD(Op_aputfield_quick, 2, object->SetWord(slot, sp[-1]); return VM_OP(3, -8);)
QUICK_FIELD(Op_getfield2_quick, 1, sp[-1] = object->GetWord(slot); sp[0] = object->GetWord(slot + 1);
            return VM_OP(3, 4);)
QUICK_FIELD(Op_putfield2_quick, 3, object->SetWord(slot, sp[-2]); object->SetWord(slot + 1, sp[-1]);
            return VM_OP(3, -12);)
#undef QUICK_FIELD

/* ------------------------------------------------------------------------------------ */
/* Objects and arrays                                                                    */

VM_OPDEF(Op_new) {
  (void)locals;
  frame->stack = sp;
  frame->codePointer = pc;
  VMStatus status;
  VMLoadableOrArrayClass* c = ResolveClassToCreate(frame, pc, &status);
  if (c == NULL) return FailResolve(frame, pc, 3, status);
  if (!c->GetIsLoadable()) return Fail(frame, pc, 3, VMStatus_InstantiationError);
  VMLoadableClass* cls = (VMLoadableClass*)c;
  if (cls->GetIsInterface() || cls->GetIsAbstract()) return Fail(frame, pc, 3, VMStatus_InstantiationError);
  // Resolution initialised the class; that this machine has its data is checked too.
  if (StaticDataFor(frame, pc, cls, &status) == NULL) return FailResolve(frame, pc, 3, status);
  VMObject* object = VMObject::CreateInstance(frame->thread->GetVM()->GetHeap(), cls, jallocCollectAndRetry);
  if (object == NULL) return Fail(frame, pc, 3, VMStatus_OutOfMemoryError);
  sp[0] = (VMword)object;
  return VM_OP(3, 4);
}

VM_OPDEF(Op_newarray) {
  (void)locals;
  frame->stack = sp;
  frame->codePointer = pc;
  int32_t count = (int32_t)sp[-1];
  if (count < 0) return Fail(frame, pc, 2, VMStatus_NegativeArraySizeException);
  VMArrayClassList* list = frame->thread->GetVM()->GetNameSpace()->GetArrayClassList();
  VMArrayClass* cls;
  uint32_t bytes;
  // Type codes run boolean, char, float, double, byte, short, int, long; the list keeps
  // boolean, byte, short, char, int, long, float, double.
  switch (pc[1]) {
    case 4: cls = list->GetVMbooleanArrayClass(); bytes = 1; break;
    case 5: cls = list->GetVMcharArrayClass(); bytes = 2; break;
    case 6: cls = list->GetVMfloatArrayClass(); bytes = 4; break;
    case 7: cls = list->GetVMdoubleArrayClass(); bytes = 8; break;
    case 8: cls = list->GetVMbyteArrayClass(); bytes = 1; break;
    case 9: cls = list->GetVMshortArrayClass(); bytes = 2; break;
    case 10: cls = list->GetVMintArrayClass(); bytes = 4; break;
    case 11: cls = list->GetVMlongArrayClass(); bytes = 8; break;
    default: return Fail(frame, pc, 2, VMStatus_VerifyError);
  }
  if (cls == NULL) return Fail(frame, pc, 2, VMStatus_NoClassDefFoundError);
  VMArray* array = VMArray::CreateInstance(frame->thread->GetVM()->GetHeap(), (uint32_t)count, bytes,
                                           jallocCollectAndRetry, VMTag_VMUserArrayInstance);
  if (array == NULL) return Fail(frame, pc, 2, VMStatus_OutOfMemoryError);
  array->SetIsScalarArray();
  array->SetClass(cls);
  sp[-1] = (VMword)array;
  return VM_OP(2, 0);
}

VM_OPDEF(Op_anewarray) {
  (void)locals;
  frame->stack = sp;
  frame->codePointer = pc;
  int32_t count = (int32_t)sp[-1];
  VMStatus status;
  VMLoadableOrArrayClass* element = ResolveClass(frame, U16(pc + 1), false, &status);
  if (element == NULL) return FailResolve(frame, pc, 3, status);
  if (count < 0) return Fail(frame, pc, 3, VMStatus_NegativeArraySizeException);
  // The array class first: making it may allocate, and the new array must be pushed
  // with no allocation in between.
  VMArrayClass* cls = element->MakeArrayOf();
  if (cls == NULL) return Fail(frame, pc, 3, VMStatus_OutOfMemoryError);
  VMObjectArray* array = VMObjectArray::CreateInstance(frame->thread->GetVM()->GetHeap(), (uint32_t)count,
                                                       jallocCollectAndRetry, VMTag_VMUserArrayInstance);
  if (array == NULL) return Fail(frame, pc, 3, VMStatus_OutOfMemoryError);
  array->SetClass(cls);
  sp[-1] = (VMword)array;
  return VM_OP(3, 0);
}

VM_OPDEF(Op_multianewarray) {
  (void)locals;
  frame->stack = sp;
  frame->codePointer = pc;
  uint32_t dimensions = pc[3];
  VMStatus status;
  VMLoadableOrArrayClass* cls = ResolveClass(frame, U16(pc + 1), false, &status);
  if (cls == NULL) return FailResolve(frame, pc, 4, status);
  // Zero dimensions, or more than the class has, would build from garbage.
  uint32_t depth = 0;
  for (VMClass* c = cls; c != NULL && c->GetIsArray(); c = ((VMArrayClass*)c)->GetElementClass()) depth++;
  if (dimensions == 0 || dimensions > depth) return Fail(frame, pc, 4, VMStatus_VerifyError);
  VMword* counts = sp - dimensions;
  for (uint32_t i = 0; i < dimensions; i++) {
    if ((int32_t)counts[i] < 0) return Fail(frame, pc, 4, VMStatus_NegativeArraySizeException);
  }
  VMObject* array = VMByteCodeFrame::MultiCreateArray(frame->thread, (VMArrayClass*)cls, counts, (int)dimensions,
                                                      jallocCollectAndRetry);
  if (array == NULL) return Fail(frame, pc, 4, VMStatus_OutOfMemoryError);
  counts[0] = (VMword)array;
  return VM_OP(4, -4 * (int32_t)(dimensions - 1));
}

VM_OPDEF(Op_checkcast) {
  (void)locals;
  VMObject* object = (VMObject*)sp[-1];
  if (object == NULL) return VM_OP(3, 0);
  frame->stack = sp;
  frame->codePointer = pc;
  VMStatus status;
  VMLoadableOrArrayClass* cls = ResolveClass(frame, U16(pc + 1), false, &status);
  if (cls == NULL) return FailResolve(frame, pc, 3, status);
  if (!VMClass::InstanceOf(object, cls)) return Fail(frame, pc, 3, VMStatus_ClassCastException);
  return VM_OP(3, 0);
}

VM_OPDEF(Op_instanceof) {
  (void)locals;
  VMObject* object = (VMObject*)sp[-1];
  if (object == NULL) return VM_OP(3, 0);  // the null stays: 0
  frame->stack = sp;
  frame->codePointer = pc;
  VMStatus status;
  VMLoadableOrArrayClass* cls = ResolveClass(frame, U16(pc + 1), false, &status);
  if (cls == NULL) return FailResolve(frame, pc, 3, status);
  sp[-1] = VMClass::InstanceOf(object, cls) ? 1 : 0;
  return VM_OP(3, 0);
}

/* Interpreted monitors take no lock: synchronized code gives no mutual exclusion between
   Java threads. They count like every other monitor hold: the thread's MutexLockCount
   goes up on enter and down on exit. */
VM_OPDEF(Op_monitorenter) {
  (void)locals;
  if (sp[-1] == 0) return Fail(frame, pc, 1, VMStatus_NullPointerException);
  VMThread* thread = frame->thread;
  thread->SetProcessingMonitorEnter();
  thread->SetMutexLockCount(thread->GetMutexLockCount() + 1);
  thread->ClearProcessingMonitorEnter();
  return VM_OP(1, -4);
}

VM_OPDEF(Op_monitorexit) {
  (void)locals;
  if (sp[-1] == 0) return Fail(frame, pc, 1, VMStatus_NullPointerException);
  VMThread* thread = frame->thread;
  thread->SetMutexLockCount(thread->GetMutexLockCount() - 1);
  return VM_OP(1, -4);
}

/* ------------------------------------------------------------------------------------ */
/* Calls                                                                                 */

static VMOpResult Dispatch(VMword* sp, uint8_t* pc, VMByteCodeFrame* frame, uint32_t length, VMMethod* target,
                           VMObject* synch, uint32_t paramBytes) {
  VMword flags = target->GetMemberFlags();
  if (flags & VMMember::IsAbstractFlag) return Fail(frame, pc, length, VMStatus_AbstractMethodError);
  VMword* args = (VMword*)((uint8_t*)sp - paramBytes);
  if (flags & VMMember::IsByteCodeFlag) {
    VMThread* thread = frame->thread;
    if (!PushFrameInGroup(frame, pc + length, length, target, flags, synch, args)) {
      SetCallerResume(frame, pc + length, length, target, args);
      if (VMByteCodeFrame::NewFrameGroup(synch, args, (VMword*)frame->limitOrHandler, frame, target, frame) == NULL)
        return 0;
    }
    if (PollDue(thread)) {
      uint32_t relocations = VMFrame::GetRelocations();
      if (PollNow(thread) != 0) {
        // A move during the poll left frame naming the caller's old copy; the callee's
        // caller word was rewritten.
        if (VMFrame::GetRelocations() != relocations) frame = (VMByteCodeFrame*)VMThread::Current()->GetFrame()->GetCaller();
        VMFrame::ThrowInternalException(frame, VMStatus_ThreadDeath, "");
      }
    }
    return 0;
  }
  if (flags & VMMember::IsCompiledFlag)
    return VMByteCodeFrame::CallCompiledMethod(frame, pc + length, sp, target, synch, paramBytes, length);
  if (flags & VMMember::IsNativeFlag) {
    // A mathematical native computes in place: no native frame, and the loop goes on.
    if (synch == NULL && (flags & VMMember::IsStaticFlag) && target->ResolveNativeAddress() &&
        upcall::MathLeafCall(target->GetNativeAddress(), args, args))
      return VM_OP(length, 8 - (int32_t)paramBytes);
    return VMByteCodeFrame::CallNativeMethod(frame, pc + length, sp, target, synch, paramBytes, length);
  }
  // A method with no kind left (never a callable one): it must not run, nor hang.
  return Fail(frame, pc, length, VMStatus_AbstractMethodError);
}

/* invokevirtual and its quick form: the slow one rewrites the call site (unless the
   target is synchronized) before it is carried out. */
static VMOpResult InvokeVirtual(VMword* sp, uint8_t* pc, VMByteCodeFrame* frame, bool quicken) {
  frame->stack = sp;
  frame->codePointer = pc;
  VMStatus status = 0;
  VMConstantPool* pool = frame->method->GetConstantPool();
  uint32_t index = U16(pc + 1);
  VMMethod* callee = pool->ResolvedMethodAt(index);
  if (callee == NULL) {
    callee = pool->GetConstMethod(frame->method->GetDefinedIn(), index, &status, false);
    if (callee == NULL) return FailResolve(frame, pc, 3, status);
  }
  if (callee->GetIsStatic()) return Fail(frame, pc, 3, VMStatus_IncompatibleClassChangeError);
  uint32_t paramBytes = callee->GetParameterBytes();
  VMObject* receiver = *(VMObject**)((uint8_t*)sp - paramBytes);
  if (receiver == NULL) return Fail(frame, pc, 3, VMStatus_NullPointerException);
  VMMethod* target = MethodTableEntry(receiver, callee->GetIndex());
  if (target == NULL) return Fail(frame, pc, 3, VMStatus_IncompatibleClassChangeError);
  // The quick form meets other receivers too: a synchronized target's monitor object
  // is recorded there as well.
  bool synchronized = target->GetIsSynchronized();
  if (quicken && !synchronized) Quicken(frame, OP_invokevirtual, OP_invokevirtual_quick);
  return Dispatch(sp, pc, frame, 3, target, synchronized ? receiver : NULL, paramBytes);
}

VM_OPDEF(Op_invokevirtual) {
  (void)locals;
  return InvokeVirtual(sp, pc, frame, true);
}

VM_OPDEF(Op_invokevirtual_quick) {
  (void)locals;
  return InvokeVirtual(sp, pc, frame, false);
}

/* A super call of a class with the super flag runs the method its superclass has now,
   which a class between the two may have gained since the caller was compiled against
   the farther one. Constructors and the class's own methods are called as resolved. */
static VMMethod* SuperCallTarget(VMLoadableClass* current, VMMethod* callee) {
  VMLoadableClass* declaring = callee->GetDefinedIn();
  VMLoadableClass* super = current->GetSuper();
  if (declaring == current || declaring == super || super == NULL || !current->GetIsSuper()) return callee;
  VMLiteralTable* literals = current->GetNameSpace()->GetLiterals();
  if (literals == NULL || callee->GetName() == literals->GetInit()) return callee;
  // Only when the method lies farther up the superclasses than the direct one.
  bool farther = false;
  for (VMLoadableClass* c = super->GetSuper(); c != NULL && !farther; c = c->GetSuper()) farther = c == declaring;
  if (!farther) return callee;
  VMMethod* m = super->FindMethod(callee->GetName(), callee->GetSignature(), true);
  return m != NULL && !m->GetIsStatic() ? m : callee;
}

VM_OPDEF(Op_invokespecial) {
  (void)locals;
  frame->stack = sp;
  frame->codePointer = pc;
  VMStatus status = 0;
  VMConstantPool* pool = frame->method->GetConstantPool();
  VMLoadableClass* current = frame->method->GetDefinedIn();
  VMMethod* callee = pool->GetConstMethod(current, U16(pc + 1), &status, true);
  if (callee == NULL) return FailResolve(frame, pc, 3, status);
  if (callee->GetIsStatic()) return Fail(frame, pc, 3, VMStatus_IncompatibleClassChangeError);
  callee = SuperCallTarget(current, callee);
  uint32_t paramBytes = callee->GetParameterBytes();
  VMObject* receiver = *(VMObject**)((uint8_t*)sp - paramBytes);
  if (receiver == NULL) return Fail(frame, pc, 3, VMStatus_NullPointerException);
  return Dispatch(sp, pc, frame, 3, callee, callee->GetIsSynchronized() ? receiver : NULL, paramBytes);
}

VM_OPDEF(Op_invokestatic) {
  (void)locals;
  frame->stack = sp;
  frame->codePointer = pc;
  VMStatus status = 0;
  VMConstantPool* pool = frame->method->GetConstantPool();
  uint32_t index = U16(pc + 1);
  VMMethod* callee = pool->ResolvedMethodAt(index);
  if (callee == NULL) {
    callee = pool->GetConstMethod(frame->method->GetDefinedIn(), index, &status, false);
    if (callee == NULL) return FailResolve(frame, pc, 3, status);
  }
  VMword flags = callee->GetMemberFlags();
  if (!(flags & VMMember::IsStaticFlag)) return Fail(frame, pc, 3, VMStatus_IncompatibleClassChangeError);
  // A class whose initialisation failed is not run: its initialiser's exception, or the
  // failure's, is thrown here. A static method runs only on a thread for which its class
  // is initialised in this machine, or is being initialised by that thread itself (every
  // way in initialises first), and either state lasts while the method runs: its calls of
  // its own class's unsynchronized static methods need no look. An instance method has
  // no such warrant (its object may stem from an initialiser that failed since).
  VMObject* data = NULL;
  VMMethod* caller = frame->method;
  if (callee->GetDefinedIn() != caller->GetDefinedIn() || !caller->GetIsStatic() ||
      (flags & VMMember::IsSynchronizedFlag)) {
    data = StaticDataFor(frame, pc, callee->GetDefinedIn(), &status);
    if (data == NULL) return FailResolve(frame, pc, 3, status);
  }
  uint32_t paramBytes = callee->GetParameterBytes();
  // A mathematical native straight from here, as Dispatch would call it (a plain native:
  // neither synchronized nor of another kind too).
  const VMword kinds = VMMember::IsAbstractFlag | VMMember::IsByteCodeFlag | VMMember::IsCompiledFlag |
                       VMMember::IsNativeFlag | VMMember::IsSynchronizedFlag;
  if ((flags & kinds) == VMMember::IsNativeFlag) {
    void* address = callee->GetNativeAddress();
    VMword* args = (VMword*)((uint8_t*)sp - paramBytes);
    if (address != NULL && upcall::MathLeafCall(address, args, args)) return VM_OP(3, 8 - (int32_t)paramBytes);
  }
  return Dispatch(sp, pc, frame, 3, callee, (flags & VMMember::IsSynchronizedFlag) ? data : NULL, paramBytes);
}

VM_OPDEF(Op_invokeinterface) {
  (void)locals;
  frame->stack = sp;
  frame->codePointer = pc;
  VMStatus status = 0;
  VMConstantPool* pool = frame->method->GetConstantPool();
  VMMethod* iface = pool->ResolvedInterfaceMethodAt(U16(pc + 1));
  if (iface == NULL) {
    iface = pool->GetConstInterfaceMethod(U16(pc + 1), &status);
    if (iface == NULL) return FailResolve(frame, pc, 5, status);
  }
  // The method's own argument size finds the receiver: the count byte is not trusted.
  uint32_t paramBytes = iface->GetParameterBytes();
  if (paramBytes == 0) return Fail(frame, pc, 5, VMStatus_IncompatibleClassChangeError);
  VMObject* receiver = *(VMObject**)((uint8_t*)sp - paramBytes);
  if (receiver == NULL) return Fail(frame, pc, 5, VMStatus_NullPointerException);
  VMClass* cls = receiver->GetClass();
  VMMethodArray* table = cls != NULL ? ((VMLoadableOrArrayClass*)cls)->GetMethodTable() : NULL;
  if (table == NULL) return Fail(frame, pc, 5, VMStatus_IncompatibleClassChangeError);
  uint32_t size = table->GetSize();
  VMLiteral* name = iface->GetName();
  VMLiteral* signature = iface->GetSignature();
  VMMethod* target = NULL;
  // The call site remembers the slot of its last receiver's method. Only a public method
  // implements an interface method: a receiver whose table holds, at that slot, a
  // package-private method of the same name (a superclass's, from another package) is
  // searched as well.
  uint32_t cached = pc[4];
  if (cached < size) {
    VMMethod* m = table->Get(cached);
    if (m != NULL && m->GetName() == name && m->GetSignature() == signature && m->GetIsPublic()) target = m;
  }
  bool hidden = false;
  if (target == NULL) {
    for (uint32_t s = size; s-- > 0;) {
      VMMethod* m = table->Get(s);
      if (m == NULL || m->GetName() != name || m->GetSignature() != signature) continue;
      if (!m->GetIsPublic()) {
        hidden = true;
        continue;
      }
      target = m;
      // Written through the code array: the handler's pc may be a copy. No lock: a
      // racing reader at worst finds a stale slot and searches.
      uint8_t* cache = (uint8_t*)frame->method->GetCode()->FindElement(frame->GetPC(false) + 4, 0u);
      *cache = (uint8_t)s;
      break;
    }
  }
  if (target == NULL) {
    if (hidden) return Fail(frame, pc, 5, VMStatus_IllegalAccessError);
    // A class that implements the interface but not this method of it was compiled
    // against an older interface; any other receiver is of the wrong class.
    VMLoadableClass* declaring = iface->GetDefinedIn();
    bool implements = cls->GetIsLoadable() && declaring != NULL && ((VMLoadableClass*)cls)->Implements(declaring);
    return Fail(frame, pc, 5, implements ? VMStatus_AbstractMethodError : VMStatus_IncompatibleClassChangeError);
  }
  if (target->GetIsStatic()) return Fail(frame, pc, 5, VMStatus_IncompatibleClassChangeError);
  return Dispatch(sp, pc, frame, 5, target, target->GetIsSynchronized() ? receiver : NULL, paramBytes);
}

/* ------------------------------------------------------------------------------------ */
/* Native and compiled calls from a handler                                              */

VMOpResult VMByteCodeFrame::CallNativeMethod(VMByteCodeFrame* frame, uint8_t* nextPC, VMword* sp, VMMethod* method,
                                             VMObject* synch, uint32_t paramBytes, uint32_t length) {
  VMThread* thread = frame->thread;
  JNIEnv* env = thread->GetEnv();
  uint8_t* pc = nextPC - length;
  if (!method->ResolveNativeAddress()) {
    frame->MarkThrow(pc, length);
    VMLiteral* name = method->GetFullName();
    ThrowInternalException(frame, VMStatus_UnsatisfiedLinkError, name != NULL ? name->MakeVMJavaLangString(env) : NULL);
    return 0;
  }
  frame->codePointer = nextPC;
  frame->slowLoopPC += length;
  uint32_t extra = method->GetIsStatic() ? 1 : 0;
  uint32_t words = paramBytes / 4;
  uint32_t resultBytes = method->GetReturnBytes();
  VMword* args = (VMword*)((uint8_t*)sp - paramBytes);
  VMword area[260];
  VMObjectHandleArray* handles = thread->GetJNIHandleArray();
  uint32_t level = handles->GetCount();
  // A method with more argument words than the masks hold has its words classified one
  // by one from its descriptor.
  uint8_t map[256];
  if (method->GetIsMoreParmsThanBits()) method->GetObjectWords(map);
  bool ok = true;
  // References become local references before the stack pointer moves to the result:
  // until then the argument words are what a walk of this frame expects.
  if (extra != 0) {
    area[0] = (VMword)VMJniHandle::NewLocal(env, (VMObject*)method->GetDefinedIn());
    ok = area[0] != 0;
  }
  for (uint32_t i = 0; ok && i < words; i++) {
    VMword w = args[i];
    if (method->IsObjectWord(i, map) && w != 0) {
      w = (VMword)VMJniHandle::NewLocal(env, (VMObject*)w);
      if (w == 0) ok = false;
    }
    area[extra + i] = w;
  }
  area[extra + words] = 0;
  area[extra + words + 1] = 0;
  if (!ok) {
    handles->Clear(level);
    ThrowInternalException(frame, VMStatus_OutOfMemoryError, (const char*)NULL);
    return 0;
  }
  frame->stack = (VMword*)((uint8_t*)args + resultBytes);
  VMJNIFrame* jni = VMJNIFrame::CreateInstanceNF(method, thread, frame, synch);
  if (jni == NULL) {
    handles->Clear(level);
    ThrowInternalException(frame, VMStatus_OutOfMemoryError, (const char*)NULL);
    return 0;
  }
  thread->SetFrame(jni);
  const uint32_t moves = GetRelocations();
  VMCallNativeFunction(method->GetNativeAddress(), env, area, method->GetTwoWordBits() << extra,
                       method->GetFloatBits() << extra, words + extra, method->GetReturnType());
  if (GetRelocations() != moves) {
    // The machine may have moved while the native ran (a Java call of its stopped at a
    // poll): the thread, this frame's group, the list frame and the handle array with it.
    // The env follows the thread, whose current frame is the list frame again. A native
    // that attached the thread again put a new env in the record's place, and the move
    // rewrote only that one's word: the record is read through it, and the env of this
    // call, which the frames below run on, names the record again.
    JNIEnv* current = env->javaVM->vm->AttachedEnvOfCurrentThread();
    if (current != NULL && current != env) env->thread = current->thread;
    thread = env->thread;
    jni = (VMJNIFrame*)thread->GetFrame();
    frame = (VMByteCodeFrame*)jni->caller;
    args = (VMword*)((uint8_t*)frame->stack - resultBytes);
    handles = thread->GetJNIHandleArray();
  }
  // The caller's code trusts the declared return type as it trusts its own parameters:
  // checked while the native's frame still stands (finding the class may run Java code).
  if (method->GetReturnsObject() && thread->GetException() == NULL &&
      !method->ReferenceResultFits(env, (jobject)area[0])) {
    area[0] = 0;
    (void)VMJniThrowInternal(env, VMStatus_IllegalArgumentException, NULL);
  }
  thread->SetFrame(frame);
  if (method->GetReturnsObject())
    args[0] = (VMword)VMJniHandle::UnHandle(env, (jobject)area[0]);
  else
    memcpy(args, area, resultBytes);
  handles->Clear(level);
  VMJavaLangThrowable* pending = thread->GetException();
  jni->DestroyNF(thread);
  // Continue after the call: the loop takes this frame up again from its stored state.
  if (pending != NULL) ThrowException(frame, pending);
  if ((env->debug & 0xFF) != 0) VMDebugger::TakeOverAfterNative(thread);
  return 0;
}

VMOpResult VMByteCodeFrame::CallCompiledMethod(VMByteCodeFrame* frame, uint8_t* nextPC, VMword* sp,
                                               VMMethod* method, VMObject* synch, uint32_t paramBytes,
                                               uint32_t length) {
  VMThread* thread = frame->thread;
  frame->codePointer = nextPC;
  frame->slowLoopPC += length;
  VMword* args = (VMword*)((uint8_t*)sp - paramBytes);
  const uint32_t resultBytes = method->GetReturnBytes();
  frame->stack = (VMword*)((uint8_t*)args + resultBytes);
  // The compiled code works on a copy of its words on the machine stack: this frame's
  // group moves with the machine, which may happen while the compiled code calls Java
  // (stopped at a poll), and the code would then leave its result in the old copy.
  VMword area[256 + 2];
  memcpy(area, args, paramBytes);
  VMCompiledFrame compiled(thread, frame, synch);
  compiled.method = method;
  // Current while its code runs, so that the collector walks its reference table.
  thread->SetFrame(&compiled);
  ((VMCompiledEntry)method->GetCompiledAddress())(&compiled, area);
  // After a move, the compiled frame's words name this frame and the thread anew.
  thread = compiled.thread;
  frame = (VMByteCodeFrame*)compiled.caller;
  thread->SetFrame(frame);
  if (thread->GetException() != NULL) ThrowException(frame, thread->GetException());
  memcpy((uint8_t*)frame->stack - resultBytes, area, resultBytes);
  return 0;
}
