/* Overload resolution.

   The search walks from the class up its superclasses (an interface: through its
   superinterfaces, each once, and last java/lang/Object), offering each public or
   package method of the right name whose parameters accept the arguments. The record
   keeps every candidate that no other one is more specific than; the answer is the only
   one left, and a second one left makes the answer ambiguous whatever order the methods
   came in. The search stops early only at a candidate that matched the arguments exactly
   and stands alone. */
#include "vmoverload.h"

#include "vm.h"
#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmliteral.h"
#include "vmnamespace.h"

using namespace classmodel;

namespace {

const VMword kQueueTag = 0x6B3CFECAu;
const uint32_t kQueueSize = 10, kQueueIncrement = 10;

/* The rank of a numeric primitive in widening order (byte, char, short, int, long, float,
   double), -1 for boolean, void and anything else. */
int Rank(VMClass* cls) {
  if (cls == NULL || !cls->GetIsPrimitive()) return -1;
  switch (cls->GetPrimitiveClass()->GetType()) {
    case VMTypeByte: return 0;
    case VMTypeChar: return 1;
    case VMTypeShort: return 2;
    case VMTypeInt: return 3;
    case VMTypeLong: return 4;
    case VMTypeFloat: return 5;
    case VMTypeDouble: return 6;
    default: return -1;
  }
}

/* Steps the iterator past the '(' that opens a parameter list. */
bool OpenList(VMLiteralIterator& it) { return it.HasMoreChars() && it.NextChar() == '('; }

bool ListEnded(VMLiteralIterator& it) { return !it.HasMoreChars() || it.PeekChar() == ')'; }

}  // namespace

VMOverload::VMOverload(JNIEnv* env)
    : flags(ExactFlag),
      ambigMethod(NULL),
      best(NULL),
      loader(NULL),
      env(env),
      ns(NULL),
      heap(NULL),
      failure(0),
      searchQueue(NULL),
      interfaceQueue(NULL),
      candidateCount(0) {}

VMOverload::~VMOverload() { DestroyQueues(); }

/* The queue lives on the machine's heap but only this record names it, across class
   loads that may collect: it is held for machine code until DestroyQueues frees it. */
VMHandleArray* VMOverload::MakeQueue() {
  VMHandleArray* queue = VMHandleArray::CreateInstance(heap, kQueueTag, kQueueSize, kQueueIncrement);
  catcher.NotNull(queue);
  queue->SetIsReachableByCPlusPlusCode();
  return queue;
}

void VMOverload::DestroyQueues() {
  if (searchQueue != NULL) searchQueue->Destroy(searchQueue->GetHeap());
  if (interfaceQueue != NULL) interfaceQueue->Destroy(interfaceQueue->GetHeap());
  searchQueue = interfaceQueue = NULL;
}

VMMethod* VMOverload::FindMethod(JNIEnv* callerEnv, VMLoadableClass* cls, VMLiteral* name,
                                 VMLiteral* arguments, bool allowInstance) {
  env = callerEnv;
  flags = ExactFlag;
  ambigMethod = best = NULL;
  candidateCount = 0;
  failure = 0;
  DestroyQueues();
  searched.Clear();
  if (cls == NULL || name == NULL || arguments == NULL) return NULL;
  ns = cls->GetNameSpace();
  VM* vm = VM::Current();
  heap = vm != NULL && vm->GetHeap() != NULL ? vm->GetHeap() : ns->GetHeap();
  VMLoadableClass* object = ns->GetClassList() != NULL ? ns->GetClassList()->GetObjectClass() : NULL;
  if (VM_CATCHER_ARM(catcher)) {
    failure = catcher.Caught();
    ThrowOnEnv(env, failure, NULL);
    DestroyQueues();
    best = ambigMethod = NULL;
    return NULL;
  }
  searchQueue = MakeQueue();
  // Only a loaded class knows whether it is an interface.
  catcher.CheckStatus(cls->Load());
  bool isInterface = ((VMClass*)cls)->GetIsInterface();
  searched.Add(cls);
  for (VMLoadableClass* c = cls; c != NULL;) {
    loader = c->GetLoader();
    catcher.CheckStatus(c->Load());
    ScanMethods(c, name, arguments);
    if ((flags & BestExactFlag) != 0 && best != NULL) break;
    if (c == object) break;
    if (!isInterface) {
      c = c->GetSuper();
      continue;
    }
    // Each superinterface once, however many paths lead to it.
    VMClassArray* supers = c->GetInterfaces();
    for (uint32_t i = 0; supers != NULL && i < supers->GetSize(); i++) {
      VMClass* s = supers->Get(i);
      if (s == NULL || !s->GetIsLoadable() || !searched.Add(s)) continue;
      if (searchQueue->Add((VMObject*)s) == 0) catcher.NoMemory();
    }
    c = NULL;
    for (uint32_t i = 1; i < searchQueue->GetCount() && c == NULL; i++) {
      c = (VMLoadableClass*)searchQueue->Get(i);
      if (c != NULL) searchQueue->Delete(i);
    }
    // Every interface type has java/lang/Object's methods.
    if (c == NULL && (object == NULL || !searched.Add(object))) break;
    if (c == NULL) c = object;
  }
  ApplyStaticRule(allowInstance);
  DestroyQueues();
  return best;
}

void VMOverload::ScanMethods(VMLoadableClass* cls, VMLiteral* name, VMLiteral* arguments) {
  VMMethodArray* methods = cls->GetMethods();
  for (uint32_t i = 0; methods != NULL && i < methods->GetSize(); i++) {
    VMMethod* method = methods->Get(i);
    if (method == NULL || method->GetIsPrivate() || method->GetIsProtected() || method->GetName() != name)
      continue;
    flags |= ExactFlag;
    if (!SignatureAccepts(method->GetSignature(), arguments)) continue;
    // Whether this candidate met only equal types, before any comparison clears it.
    ConsiderMethod(method, (flags & ExactFlag) != 0);
    if ((flags & BestExactFlag) != 0 && best != NULL) return;
  }
}

void VMOverload::ConsiderMethod(VMMethod* method, bool exact) {
  // A candidate some other one is at least as specific as adds nothing.
  for (uint32_t i = 0; i < candidateCount; i++)
    if (CompareMethods(method, candidates[i]) == 2) return;
  // Those it is more specific than go.
  uint32_t kept = 0;
  for (uint32_t i = 0; i < candidateCount; i++)
    if (CompareMethods(method, candidates[i]) != 1) candidates[kept++] = candidates[i];
  candidateCount = kept;
  if (candidateCount < MAX_CANDIDATES)
    candidates[candidateCount++] = method;
  else
    flags |= TooManyFlag;
  if (candidateCount == 1 && (flags & TooManyFlag) == 0) {
    best = candidates[0];
    ambigMethod = NULL;
    if (exact) flags |= BestExactFlag;
  } else {
    best = NULL;
    ambigMethod = candidateCount > 1 ? candidates[candidateCount - 1] : method;
    flags &= ~(uint32_t)BestExactFlag;
  }
}

/* 2 when m2 is at least as specific as m1, 1 when m1 is more specific, 0 for neither. */
int VMOverload::CompareMethods(VMMethod* m1, VMMethod* m2) {
  VMClass* c1 = (VMClass*)m1->GetDefinedIn();
  VMClass* c2 = (VMClass*)m2->GetDefinedIn();
  if (SignatureAccepts(m1->GetSignature(), m2->GetSignature())) return ArgumentConvertible(c1, c2) ? 2 : 0;
  if (SignatureAccepts(m2->GetSignature(), m1->GetSignature())) return ArgumentConvertible(c2, c1) ? 1 : 0;
  return 0;
}

bool VMOverload::SignatureAccepts(VMLiteral* parameters, VMLiteral* arguments) {
  VMLiteralIterator p(parameters);
  VMLiteralIterator a(arguments);
  if (!OpenList(p) || !OpenList(a)) return false;
  for (;;) {
    bool pEnded = ListEnded(p), aEnded = ListEnded(a);
    if (pEnded || aEnded) return pEnded && aEnded;
    VMClass* parameter = VMClass::FindBySignature(ns, p, loader);
    VMClass* argument = VMClass::FindBySignature(ns, a, loader);
    // A type that cannot be had accepts nothing and is accepted nowhere.
    if (parameter == NULL || argument == NULL) return false;
    if (parameter == argument) continue;
    flags &= ~(uint32_t)ExactFlag;
    if (!ArgumentConvertible(parameter, argument)) return false;
  }
}

bool VMOverload::ArgumentConvertible(VMClass* parameter, VMClass* argument) {
  if (parameter == argument) return true;
  bool pPrimitive = parameter->GetIsPrimitive(), aPrimitive = argument->GetIsPrimitive();
  if (pPrimitive && aPrimitive) return PrimitiveWidens(parameter, argument);
  if (pPrimitive) return ObjectToPrimitive(parameter, argument);
  if (aPrimitive) return PrimitiveToObject(parameter, argument);
  if (parameter->GetIsArray()) return argument->GetIsArray() && ArrayAssignable(parameter, argument);
  if (argument->GetIsArray()) return parameter == (VMClass*)ListClass(ns, CL_OBJECT);
  return ClassAssignable(parameter, argument);
}

/* The Java widening primitive conversion, identity included except for char. */
bool VMOverload::PrimitiveWidens(VMClass* to, VMClass* from) {
  int t = Rank(to), f = Rank(from);
  if (t < 0 || f < 0 || t == 1) return false;
  if (f == 1) return t >= 3;
  return t >= f;
}

bool VMOverload::ObjectToPrimitive(VMClass* parameter, VMClass* argument) {
  VMClass* bigDecimal = ListClass(ns, VMClassList::BigDecimalClassWord);
  return bigDecimal != NULL && argument == bigDecimal && PrimitiveWidens(ListClass(ns, CL_DOUBLE), parameter);
}

bool VMOverload::PrimitiveToObject(VMClass* parameter, VMClass* argument) {
  if (argument == ListClass(ns, CL_VOID)) return true;  // a null argument
  VMClass* bigDecimal = ListClass(ns, VMClassList::BigDecimalClassWord);
  return bigDecimal != NULL && parameter == bigDecimal && PrimitiveWidens(argument, ListClass(ns, CL_DOUBLE));
}

/* Array types of the same depth whose element types are the same primitive, or
   reference types that are assignable. The conversions of single arguments (widening,
   BigDecimal) do not apply to elements: the method would get an array of another
   element type than it declares. */
bool VMOverload::ArrayAssignable(VMClass* parameter, VMClass* argument) {
  VMClass* pe = parameter->GetArrayClass()->GetElementClass();
  VMClass* ae = argument->GetArrayClass()->GetElementClass();
  while (pe != NULL && ae != NULL && pe->GetIsArray() && ae->GetIsArray()) {
    pe = pe->GetArrayClass()->GetElementClass();
    ae = ae->GetArrayClass()->GetElementClass();
  }
  if (pe == NULL || ae == NULL || pe->GetIsArray() || ae->GetIsArray()) return false;
  if (pe == ae) return true;
  if (pe->GetIsPrimitive() || ae->GetIsPrimitive()) return false;
  return pe == (VMClass*)ListClass(ns, CL_OBJECT) || ClassAssignable(pe, ae);
}

bool VMOverload::ClassAssignable(VMClass* target, VMClass* argument) {
  VM_ASSERT(argument->GetIsLoadable());
  if (!argument->GetIsLoadable() || !target->GetIsLoadable()) return false;
  VMLoadableClass* a = argument->GetLoadableClass();
  bool interfaces = false;
  for (VMLoadableClass* k = a; k != NULL; k = k->GetSuper()) {
    catcher.CheckStatus(k->Load());
    if ((VMClass*)k == target) return true;
    VMClassArray* direct = k->GetInterfaces();
    for (uint32_t i = 0; direct != NULL && i < direct->GetSize(); i++) {
      if (direct->Get(i) == target) return true;
      interfaces = true;
    }
  }
  // Only an interface can be found among the interfaces.
  if (!interfaces || !target->GetIsInterface()) return false;
  if (interfaceQueue == NULL) interfaceQueue = MakeQueue();
  for (VMLoadableClass* k = a; k != NULL; k = k->GetSuper()) {
    VMClassArray* direct = k->GetInterfaces();
    for (uint32_t i = 0; direct != NULL && i < direct->GetSize(); i++) {
      VMClass* iface = direct->Get(i);
      if (iface != NULL && iface->GetIsLoadable() && CollectInterfaces(iface->GetLoadableClass(), target))
        return true;
    }
    // The queue grows while it is walked.
    for (uint32_t i = 1; i < interfaceQueue->GetCount(); i++) {
      VMClass* iface = (VMClass*)interfaceQueue->Get(i);
      if (iface != NULL && CollectInterfaces(iface->GetLoadableClass(), target)) return true;
    }
    interfaceQueue->Clear(1);
    gathered.Clear();
  }
  return false;
}

bool VMOverload::CollectInterfaces(VMLoadableClass* cls, VMClass* target) {
  catcher.CheckStatus(cls->Load());
  VMClassArray* supers = cls->GetInterfaces();
  for (uint32_t i = 0; supers != NULL && i < supers->GetSize(); i++) {
    VMClass* s = supers->Get(i);
    if (s == target) return true;
    if (s == NULL || !s->GetIsLoadable() || !gathered.Add(s)) continue;
    if (interfaceQueue->Append((VMObject*)s) == 0) catcher.NoMemory();
  }
  return false;
}

void VMOverload::ApplyStaticRule(bool allowInstance) {
  if (best != NULL && !allowInstance && !best->GetIsStatic()) best = NULL;
}
