/* Random object graphs over the test classes and the library's own storable classes:
   every field type, arrays of every element type and of two dimensions, lengths around
   the inline part of an array body, shared and cyclic references (self included), class
   objects, strings with surrogates and U+0000 and substrings sharing one char array, and
   primitive edge values. */
#include "serial_support.h"

#include <string.h>

namespace serial_test {

namespace {

const char* const kClasses[] = {
    "stored/Prims", "stored/Node", "stored/A", "stored/B", "stored/C", "stored/Derived", "stored/Big",
    "stored/Tagged", "stored/Holder", "java/lang/String", "java/lang/StringBuffer", "java/lang/Integer",
    "java/lang/Long", "java/lang/Double", "java/lang/Float", "java/lang/Character", "java/lang/Boolean",
    "java/lang/Byte", "java/lang/Short", "java/util/Vector",
};

const uint32_t kIntEdges[] = {0, 1, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x7FC00001u, 0xFF800001u, 0x80000000u};
const uint64_t kLongEdges[] = {0, 1, ~0ull, 0x7FFFFFFFFFFFFFFFull, 0x8000000000000000ull,
                               0x7FF0000000000001ull, 0xFFF8000000000001ull, 0x8000000000000000ull};

}  // namespace

GraphMaker::GraphMaker(SerialTest* test, uint32_t seed, uint32_t maxObjects)
    : t(test), rng(seed), limit(maxObjects) {
  // Classes whose static initialisers cannot run on this machine yet are left out.
  for (const char* name : kClasses)
    if (VMLoadableClass* cls = t->TryClass(name)) classes.push_back(cls);
  VMClassList* list = t->ns->GetClassList();
  for (VMClass* element : {(VMClass*)list->GetVMbooleanClass(), (VMClass*)list->GetVMcharClass(),
                           (VMClass*)list->GetVMfloatClass(), (VMClass*)list->GetVMdoubleClass(),
                           (VMClass*)list->GetVMbyteClass(), (VMClass*)list->GetVMshortClass(),
                           (VMClass*)list->GetVMintClass(), (VMClass*)list->GetVMlongClass()})
    arrays.push_back(element->MakeArrayOf());
  VMClass* object = list->GetObjectClass();
  arrays.push_back(object->MakeArrayOf());
  arrays.push_back(object->MakeArrayOf()->MakeArrayOf());
  arrays.push_back(t->Class("stored/A")->MakeArrayOf());
  arrays.push_back(t->Class("stored/Node")->MakeArrayOf());
  arrays.push_back(list->GetVMintClass()->MakeArrayOf()->MakeArrayOf());
  arrays.push_back(list->GetStringClass()->MakeArrayOf());
}

uint32_t GraphMaker::Length(uint32_t width) {
  uint32_t inline_ = 776 / width;
  const uint32_t lengths[] = {0, 1, 2, 5, 63, 64, 65, inline_ - 1, inline_, inline_ + 1, 1000};
  uint32_t n = lengths[Pick(sizeof lengths / sizeof lengths[0])];
  // Long arrays of references are kept rarer: each element may make an object.
  if (width == 4 && n > 65 && Pick(4) != 0) n = Pick(8);
  return n;
}

VMJavaLangString* GraphMaker::RandomString() {
  VMLoadableClass* cls = t->Class("java/lang/String");
  VMObject* s = t->New(cls);
  VMcharArray* value;
  uint32_t offset = 0, count;
  if (shared != nullptr && Pick(3) == 0) {
    // A substring: the same value array, a start past its first character.
    value = shared;
    offset = Pick(value->GetSize() + 1);
    count = Pick(value->GetSize() - offset + 1);
  } else {
    count = Pick(4) == 0 ? 0 : 1 + Pick(40);
    value = (VMcharArray*)t->NewPrimitives(5, count);
    for (uint32_t i = 0; i < count; i++) {
      static const jchar kEdges[] = {0, 'a', 0x7F, 0x80, 0x7FF, 0x800, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFF, 0xFFFE};
      value->Set(i, Pick(3) == 0 ? kEdges[Pick(sizeof kEdges / sizeof kEdges[0])] : (jchar)(0x20 + Pick(0x5F)));
    }
    if (shared == nullptr) shared = value;
  }
  SerialTest::SetRef(s, "value", value);
  SerialTest::SetWord(s, "offset", offset);
  SerialTest::SetWord(s, "count", count);
  made.push_back(s);
  return (VMJavaLangString*)s;
}

void GraphMaker::FillPrimitive(VMObject* o, VMDataMember* field) {
  uint32_t slot = (uint32_t)field->GetIndex();
  uint32_t r = (uint32_t)rng();
  bool edge = Pick(4) == 0;
  switch (field->GetSignature()->GetFirstChar()) {
    case 'Z': o->SetWord(slot, r & 1); break;
    case 'B': o->SetWord(slot, (VMword)(jint)(int8_t)(edge ? 0xFF : r)); break;
    case 'C': o->SetWord(slot, edge ? 0xFFFF : (r & 0xFFFF)); break;
    case 'S': o->SetWord(slot, (VMword)(jint)(int16_t)(edge ? 0x8000 : r)); break;
    case 'I':
    case 'F': o->SetWord(slot, edge ? kIntEdges[Pick(8)] : r); break;
    case 'J':
    case 'D': o->SetLong(slot, (jlong)(edge ? kLongEdges[Pick(8)] : ((uint64_t)rng() << 32 | r))); break;
  }
}

VMObject* GraphMaker::NewArrayOf(VMArrayClass* cls, int depth) {
  VMClass* element = cls->GetElementClass();
  if (element->GetIsPrimitive()) {
    int code = (int)((VMPrimitiveClass*)element)->GetType();
    uint32_t width = vmserial::SizeOfTypeCode(code);
    uint32_t n = Length(width);
    VMArray* a = t->NewPrimitives(code, n);
    uint8_t* bytes = nullptr;
    for (uint32_t i = 0; i < n; i++) {
      bytes = (uint8_t*)a->FindElement(i);
      for (uint32_t b = 0; b < width; b++) bytes[b] = (uint8_t)rng();
      if (code == 4) bytes[0] &= 1;
    }
    made.push_back(a);
    return a;
  }
  VMrefArray* a = t->NewReferences(element, Length(4));
  made.push_back(a);
  for (uint32_t i = 0; i < a->GetSize(); i++) a->Set(i, Value(element, depth + 1));
  return a;
}

VMObject* GraphMaker::NewOf(VMLoadableClass* cls, int depth) {
  std::string name;
  {
    char* text = cls->GetName()->MakeUTF8();
    name = text;
    VMLiteral::FreeUTF8(text);
  }
  if (name == "java/lang/String") return RandomString();
  VMObject* o = t->New(cls);
  made.push_back(o);
  if (name == "java/lang/StringBuffer") {
    // Never the chars of a String: a String read back takes a private copy of chars that
    // anything mutable also holds, so such a graph reads back in another shape
    // (StoredRowsTest covers it).
    VMcharArray* value = (VMcharArray*)t->NewPrimitives(5, Pick(20));
    SerialTest::SetRef(o, "value", value);
    SerialTest::SetWord(o, "count", Pick(value->GetSize() + 1));
    SerialTest::SetWord(o, "shared", Pick(2));
    return o;
  }
  if (name == "java/util/Vector") {
    VMrefArray* data = t->NewReferences(t->ns->GetClassList()->GetObjectClass(), Pick(12));
    made.push_back(data);
    for (uint32_t i = 0; i < data->GetSize(); i++) data->Set(i, Value(t->ns->GetClassList()->GetObjectClass(), depth + 1));
    SerialTest::SetRef(o, "elementData", data);
    SerialTest::SetWord(o, "elementCount", Pick(data->GetSize() + 1));
    return o;
  }
  for (VMLoadableClass* k = cls; k != nullptr; k = k->GetSuper()) {
    VMDataMemberArray* fields = k->GetDataMembers();
    for (uint32_t i = 0; fields != nullptr && i < fields->GetSize(); i++) {
      VMDataMember* f = fields->Get(i);
      if (f->GetIsStatic()) continue;
      if (f->IsRefField())
        o->SetWord((uint32_t)f->GetIndex(), (VMword)Value(f->GetClass(), depth + 1));
      else
        FillPrimitive(o, f);
    }
  }
  return o;
}

VMObject* GraphMaker::Fresh(VMClass* declared, int depth) {
  if (declared->GetIsArray()) return NewArrayOf((VMArrayClass*)declared, depth);
  VMClassList* list = t->ns->GetClassList();
  if (declared == (VMClass*)list->GetClassClass()) return classes[Pick((uint32_t)classes.size())];
  std::vector<VMClass*> candidates;
  for (VMLoadableClass* c : classes)
    if (VMClass::AssignableFrom(c, declared)) candidates.push_back(c);
  for (VMClass* a : arrays)
    if (VMClass::AssignableFrom(a, declared)) candidates.push_back(a);
  if (VMClass::AssignableFrom(list->GetClassClass(), declared)) candidates.push_back(list->GetClassClass());
  if (candidates.empty()) return nullptr;
  VMClass* chosen = candidates[Pick((uint32_t)candidates.size())];
  if (chosen == (VMClass*)list->GetClassClass()) return classes[Pick((uint32_t)classes.size())];
  if (chosen->GetIsArray()) return NewArrayOf((VMArrayClass*)chosen, depth);
  return NewOf((VMLoadableClass*)chosen, depth);
}

VMObject* GraphMaker::Value(VMClass* declared, int depth) {
  uint32_t r = Pick(10);
  if (r < 3 || declared == nullptr) return nullptr;
  if (r < 6 || made.size() >= limit || depth > 40) {
    for (int tries = 0; tries < 8 && !made.empty(); tries++) {
      VMObject* candidate = made[Pick((uint32_t)made.size())];
      if (VMClass::AssignableFrom(candidate->GetClass(), declared)) return candidate;
    }
    if (made.size() >= limit || depth > 40) return nullptr;
  }
  return Fresh(declared, depth);
}

VMObject* GraphMaker::Make() {
  VMLoadableClass* root = classes[Pick((uint32_t)classes.size())];
  if (Pick(3) == 0) root = t->Class("stored/Node");
  return NewOf(root, 0);
}

VMObject* GraphMaker::MakeAtLeast(uint32_t min) {
  for (;;) {
    made.clear();
    shared = nullptr;
    VMObject* root = Make();
    if (made.size() >= min) return root;
  }
}

}  // namespace serial_test
