/* The class-file parser: version 45.3 class files into the members of an unloaded class
   shell. Everything runs under one error catcher; whatever is made is attached to the
   class (or the pool) before the next check can throw, so a failure leaks nothing: the
   class releases what is attached when it is destroyed. */
#include "vmclassloader.h"

#include <string.h>

#include "vmclass.h"
#include "vmconstantpool.h"
#include "vmframe.h"
#include "vmjavalangstring.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmutils.h"

namespace {

const uint16_t ACC_PUBLIC = 0x0001, ACC_PRIVATE = 0x0002, ACC_PROTECTED = 0x0004,
               ACC_STATIC = 0x0008, ACC_FINAL = 0x0010, ACC_SUPER = 0x0020,
               ACC_VOLATILE = 0x0040, ACC_NATIVE = 0x0100, ACC_INTERFACE = 0x0200,
               ACC_ABSTRACT = 0x0400;

void Fail(VMErrorCatcher& catcher, bool ok) { catcher.ClassFormat(ok); }

/* Modified UTF-8: no zero byte, no four-byte forms, no character cut by the end, and
   every character in its shortest form (U+0000 as C0 80 alone excepted). Every name and
   signature decoder downstream may then trust the text's framing, and equal names are
   equal bytes: a longer spelling of "java/" would otherwise be another literal that
   decodes to the same characters. */
bool ValidModifiedUTF8(VMbyteArray* bytes) {
  uint32_t n = bytes->GetSize();
  uint32_t i = 0;
  while (i < n) {
    uint8_t b = (uint8_t)bytes->Get(i++);
    uint32_t more;
    if (b == 0) return false;
    if (b < 0x80) more = 0;
    else if ((b & 0xE0) == 0xC0) more = 1;
    else if ((b & 0xF0) == 0xE0) more = 2;
    else return false;
    if (n - i < more) return false;
    uint8_t second = more > 0 ? (uint8_t)bytes->Get(i) : 0;
    if (b == 0xC1 || (b == 0xC0 && second != 0x80) || (b == 0xE0 && second < 0xA0)) return false;
    for (; more > 0; more--)
      if (((uint8_t)bytes->Get(i++) & 0xC0) != 0x80) return false;
  }
  return true;
}

/* Fills a byte array from the source along its storage runs: the same bytes as one read
   per byte. */
void ReadInto(VMClassLoader::classReader& reader, VMbyteArray* bytes, uint32_t length,
              VMErrorCatcher& catcher) {
  uint32_t done = 0;
  while (done < length) {
    uint32_t run = 0;
    void* place = bytes->FindElement(done, &run);
    VMClassLoader::GetBytes(reader, place, run, catcher);
    done += run;
  }
}

}  // namespace

/* ---- checked pool accessors ---- */

VMLiteral* VMClassLoader::GetConstUtf8(VMLoadableClass* cls, VMConstantPool* pool, uint32_t index,
                                       VMErrorCatcher& catcher) {
  Fail(catcher, index != 0 && index < pool->GetCount());
  int16_t t = pool->GetConstType(index);
  Fail(catcher, t == VMConstantPool::TYPE_Utf8 || t == VMConstantPool::TYPE_Utf8_Resolved);
  VMLiteral* literal = pool->GetConstUtf8(cls->GetNameSpace(), index);
  catcher.NotNull(literal);
  return literal;
}

VMJavaLangString* VMClassLoader::GetConstString(VMLoadableClass* cls, VMConstantPool* pool,
                                                uint32_t index, VMErrorCatcher& catcher) {
  Fail(catcher, index != 0 && index < pool->GetCount());
  int16_t t = pool->GetConstType(index);
  Fail(catcher, t == VMConstantPool::TYPE_String || t == VMConstantPool::TYPE_String_Resolved);
  if (t == VMConstantPool::TYPE_String) {
    // Its Utf8 entry must be one: the resolution pass checked the index.
    int16_t u = pool->GetConstType(pool->GetConstWord(index));
    Fail(catcher, u == VMConstantPool::TYPE_Utf8 || u == VMConstantPool::TYPE_Utf8_Resolved);
  }
  VMJavaLangString* string = pool->GetConstString(cls->GetNameSpace(), index);
  catcher.NotNull(string);
  return string;
}

VMLoadableClass* VMClassLoader::GetConstClass(VMConstantPool* pool, uint32_t index, bool initialize,
                                              VMErrorCatcher& catcher) {
  Fail(catcher, index != 0 && index < pool->GetCount());
  int16_t t = pool->GetConstType(index);
  // A resolved entry is as good: a class may name an interface it implements again, in
  // its InnerClasses attribute for one.
  Fail(catcher, t == VMConstantPool::TYPE_Class || t == VMConstantPool::TYPE_Class_Resolved);
  VMStatus status = 0;
  VMLoadableClass* cls = pool->GetConstClass(index, &status, false);
  catcher.CheckStatus(status);
  catcher.NotNull(cls);
  Fail(catcher, ((VMClass*)cls)->GetIsLoadable());
  // Loaded only: the class is initialised later, with the class that names it.
  if (initialize) catcher.CheckStatus(cls->Load());
  return cls;
}

/* The class of a Class entry that the parse itself needs (superclass, interfaces,
   exception classes, inner classes): each is a class or interface, never an array, and
   only these get their descriptors before the parse has succeeded. */
VMLoadableClass* VMClassLoader::ParsedClass(Parse& p, uint32_t index) {
  VMErrorCatcher& catcher = *p.catcher;
  Fail(catcher, index != 0 && index < p.pool->GetCount());
  int16_t t = p.pool->GetConstType(index);
  Fail(catcher, t == VMConstantPool::TYPE_Class || t == VMConstantPool::TYPE_Class_Resolved);
  VMObject* word = (VMObject*)p.pool->GetConstWord(index);
  if (word->GetTag() != VMClass::Tag) {
    VMLiteral* name = (VMLiteral*)word;
    Fail(catcher, name->ByteAt(0) != '[');
    word = (VMObject*)VMClass::FindByName(p.ns, name, p.loader);
    catcher.NotNull(word);
    p.pool->SetConstWord(index, (VMword)word);
  }
  Fail(catcher, ((VMClass*)word)->GetIsLoadable());
  return (VMLoadableClass*)word;
}

VMClassLoader::AttributeClass VMClassLoader::ClassifyAttribute(VMLoadableClass* cls,
                                                               VMConstantPool* pool,
                                                               classReader& reader,
                                                               VMErrorCatcher& catcher) {
  // Every attribute of every member is named: the names are compared by length first.
  static const struct {
    const char* text;
    uint32_t length;
  } kNames[] = {{"SourceFile", 10},   {"ConstantValue", 13},   {"Code", 4},
                {"Exceptions", 10},   {"InnerClasses", 12},    {"LineNumberTable", 15},
                {"LocalVariableTable", 18}};
  static_assert(sizeof kNames / sizeof kNames[0] == ATTR_Other, "one name per attribute class");
  VMLiteral* name = GetConstUtf8(cls, pool, Get2(reader, catcher), catcher);
  for (int i = 0; i < ATTR_Other; i++)
    if (name->equalsUTF8(kNames[i].text, kNames[i].length)) return (AttributeClass)i;
  return ATTR_Other;
}

/* ---- the steps ---- */

void VMClassLoader::LoadConstantPool(Parse& p) {
  VMErrorCatcher& catcher = *p.catcher;
  classReader& reader = *p.reader;
  uint32_t count = Get2(reader, catcher);
  Fail(catcher, count != 0);
  VMConstantPool* pool = VMConstantPool::CreateInstance(p.heap, count);
  catcher.NotNull(pool);
  p.cls->SetConstantPool(pool);
  p.pool = pool;
  for (uint32_t i = 1; i < count; i++) {
    uint8_t tag = Get1(reader, catcher);
    uint32_t at = 0;
    switch (tag) {
      case 1: {
        uint32_t length = Get2(reader, catcher);
        VMbyteArray* bytes =
            VMbyteArray::CreateInstance(p.heap, length, jallocFailFast, VMTag_VMbyteArray);
        catcher.NotNull(bytes);
        // In the pool before it is filled, so that a short read leaks nothing.
        at = pool->SetConstUtf8(bytes);
        if (at == 0) bytes->Destroy(p.heap);
        Fail(catcher, at != 0);
        ReadInto(reader, bytes, length, catcher);
        Fail(catcher, ValidModifiedUTF8(bytes));
        break;
      }
      case 3: at = pool->SetConstInt((jint)Get4(reader, catcher)); break;
      // Floats travel as bits: a float returned by value passes the x87 stack here,
      // which quiets a signalling NaN.
      case 4: at = pool->SetConstFloatBits(Get4(reader, catcher)); break;
      case 5: at = pool->SetConstLong((jlong)Get8(reader, catcher)); i++; break;
      case 6: at = pool->SetConstDoubleBits(Get8(reader, catcher)); i++; break;
      case 7: at = pool->SetConstClass(Get2(reader, catcher)); break;
      case 8: at = pool->SetConstString(Get2(reader, catcher)); break;
      case 9: case 10: case 11: case 12: {
        uint16_t first = Get2(reader, catcher);
        uint16_t second = Get2(reader, catcher);
        if (tag == 9) at = pool->SetConstField(first, second);
        else if (tag == 10) at = pool->SetConstMethod(first, second);
        else if (tag == 11) at = pool->SetConstInterfaceMethod(first, second);
        else at = pool->SetConstNameAndType(first, second);
        break;
      }
      default:
        catcher.Throw(VMStatus_ClassFormatError);
    }
    // A Long or Double in the last entry has no room for its second half.
    Fail(catcher, at != 0);
  }
}

void VMClassLoader::LoadAccess(Parse& p) {
  uint16_t flags = Get2(*p.reader, *p.catcher);
  VMLoadableClass* cls = p.cls;
  if (flags & ACC_INTERFACE) Fail(*p.catcher, (flags & ACC_FINAL) == 0);
  if (flags & ACC_ABSTRACT) Fail(*p.catcher, (flags & ACC_FINAL) == 0);
  if (flags & ACC_PUBLIC) cls->SetIsPublic();
  if (flags & ACC_FINAL) cls->SetIsFinal();
  if (flags & ACC_SUPER) cls->SetIsSuper();
  if (flags & ACC_INTERFACE) ((VMClass*)cls)->SetIsInterface();
  if (flags & ACC_ABSTRACT) cls->SetIsAbstract();
}

void VMClassLoader::ResolveConstantPool(Parse& p) {
  VMErrorCatcher& catcher = *p.catcher;
  VMConstantPool* pool = p.pool;
  uint32_t count = pool->GetCount();
  for (uint32_t i = 1; i < count; i++) {
    int16_t t = pool->GetConstType(i);
    switch (t) {
      case VMConstantPool::TYPE_Class: {
        // The name for now; the descriptor once the whole file has been read (see
        // ResolveClassEntries), so that a file that fails leaves no classes behind.
        VMLiteral* name = GetConstUtf8(p.cls, pool, pool->GetConstWord(i), catcher);
        catcher.Verify(VMClass::ValidName(name));
        pool->SetConstWord(i, (VMword)name);
        break;
      }
      case VMConstantPool::TYPE_String: {
        uint32_t u = pool->GetConstWord(i);
        Fail(catcher, u != 0 && u < count);
        int16_t ut = pool->GetConstType(u);
        Fail(catcher, ut == VMConstantPool::TYPE_Utf8 || ut == VMConstantPool::TYPE_Utf8_Resolved);
        break;
      }
      case VMConstantPool::TYPE_FieldRef:
      case VMConstantPool::TYPE_MethodRef:
      case VMConstantPool::TYPE_InterfaceMethodRef:
      case VMConstantPool::TYPE_NameAndType: {
        uint16_t a, b;
        pool->GetConstTwoShort(i, &a, &b);
        Fail(catcher, a != 0 && a < count && b != 0 && b < count);
        int16_t at = pool->GetConstType(a), bt = pool->GetConstType(b);
        if (t == VMConstantPool::TYPE_NameAndType) {
          Fail(catcher, at == VMConstantPool::TYPE_Utf8 || at == VMConstantPool::TYPE_Utf8_Resolved);
          Fail(catcher, bt == VMConstantPool::TYPE_Utf8 || bt == VMConstantPool::TYPE_Utf8_Resolved);
        } else {
          // Class entries before this one already hold their class: either is fine here.
          Fail(catcher, at == VMConstantPool::TYPE_Class);
          Fail(catcher, bt == VMConstantPool::TYPE_NameAndType);
        }
        break;
      }
      default:
        break;
    }
  }
  pool->SetClassesResolved(true);
}

void VMClassLoader::ResolveClassEntries(Parse& p) {
  VMConstantPool* pool = p.pool;
  for (uint32_t i = 1; i < pool->GetCount(); i++) {
    if (pool->GetConstType(i) != VMConstantPool::TYPE_Class) continue;
    VMObject* word = (VMObject*)pool->GetConstWord(i);
    if (word->GetTag() == VMClass::Tag) continue;
    VMClass* cls = VMClass::FindByName(p.ns, (VMLiteral*)word, p.loader);
    p.catcher->NotNull(cls);
    pool->SetConstWord(i, (VMword)cls);
  }
}

void VMClassLoader::ResolveReturnClasses(Parse& p) {
  VMMethodArray* methods = p.cls->GetMethods();
  for (uint32_t i = 0; i < methods->GetSize(); i++) p.catcher->CheckStatus(methods->Get(i)->FindReturnClass());
}

void VMClassLoader::LoadInterfaces(Parse& p) {
  VMErrorCatcher& catcher = *p.catcher;
  uint32_t count = Get2(*p.reader, catcher);
  VMClassArray* interfaces = VMClassArray::CreateInstance(p.heap, count, (VMClass*)p.cls,
                                                          jallocFailFast, VMTag_VMInterfaceArray);
  catcher.NotNull(interfaces);
  p.cls->SetInterfaces(interfaces);
  // Loaded (and checked to be interfaces) once this parse is over: a parse never waits
  // for another class.
  for (uint32_t i = 0; i < count; i++) interfaces->Set(i, (VMClass*)ParsedClass(p, Get2(*p.reader, catcher)));
}

void VMClassLoader::LoadOneDataMember(Parse& p, uint32_t position) {
  VMErrorCatcher& catcher = *p.catcher;
  classReader& reader = *p.reader;
  uint16_t flags = Get2(reader, catcher);
  CheckFlags(1, flags, ACC_PUBLIC | ACC_PRIVATE | ACC_PROTECTED, catcher);
  CheckFlags(1, flags, ACC_FINAL | ACC_VOLATILE, catcher);
  if (((VMClass*)p.cls)->GetIsInterface())
    Fail(catcher, (flags & (ACC_STATIC | ACC_FINAL | ACC_PUBLIC)) == (ACC_STATIC | ACC_FINAL | ACC_PUBLIC));
  VMLiteral* name = GetConstUtf8(p.cls, p.pool, Get2(reader, catcher), catcher);
  VMLiteral* descriptor = GetConstUtf8(p.cls, p.pool, Get2(reader, catcher), catcher);
  // A field whose type cannot be parsed would fail much later, in layout.
  Fail(catcher, VMMember::ValidSignature(descriptor));
  uint32_t attributes = Get2(reader, catcher);
  uint32_t constantIndex = 0;
  bool haveConstant = false;
  for (uint32_t a = 0; a < attributes; a++) {
    if (ClassifyAttribute(p.cls, p.pool, reader, catcher) != ATTR_ConstantValue) {
      SkipOneAttribute(reader, catcher);
      continue;
    }
    Fail(catcher, !haveConstant);
    haveConstant = true;
    Fail(catcher, Get4(reader, catcher) == 2);
    constantIndex = Get2(reader, catcher);
  }
  Fail(catcher, constantIndex < p.pool->GetCount());
  if (haveConstant) {
    Fail(catcher, constantIndex != 0);
    int16_t t = p.pool->GetConstType(constantIndex);
    if (descriptor->UTF8Length() == 1) {
      switch (descriptor->ByteAt(0)) {
        case 'B': case 'C': case 'I': case 'S': case 'Z':
          Fail(catcher, t == VMConstantPool::TYPE_Integer);
          break;
        case 'D': Fail(catcher, t == VMConstantPool::TYPE_Double); break;
        case 'F': Fail(catcher, t == VMConstantPool::TYPE_Float); break;
        case 'J': Fail(catcher, t == VMConstantPool::TYPE_Long); break;
        default: catcher.Throw(VMStatus_ClassFormatError);
      }
    } else {
      Fail(catcher, descriptor->EqualsAscii("Ljava/lang/String;"));
      GetConstString(p.cls, p.pool, constantIndex, catcher);
    }
  }
  VMStatus status = 0;
  VMDataMember* field = VMDataMember::CreateInstance(p.heap, name, descriptor, flags, constantIndex,
                                                     p.cls, &status);
  catcher.CheckStatus(status);
  catcher.NotNull(field);
  p.cls->GetDataMembers()->Set(position, field);
}

void VMClassLoader::LoadDataMembers(Parse& p) {
  uint32_t count = Get2(*p.reader, *p.catcher);
  VMDataMemberArray* fields =
      VMDataMemberArray::CreateInstance(p.heap, count, jallocFailFast, VMTag_VMDataMemberArray);
  p.catcher->NotNull(fields);
  p.cls->SetDataMembers(fields);
  for (uint32_t i = 0; i < count; i++) LoadOneDataMember(p, i);
}

void VMClassLoader::LoadCode(Parse& p, VMMethod* method, uint32_t position) {
  VMErrorCatcher& catcher = *p.catcher;
  classReader& reader = *p.reader;
  Get4(reader, catcher);  // attribute_length
  uint32_t maxStack = Get2(reader, catcher);
  // The sizes are kept as 16-bit byte counts (n * 4 + 8): anything larger would leave
  // frames too small for the code.
  catcher.Verify(maxStack <= MAX_STACK_OR_LOCALS);
  uint32_t maxLocals = Get2(reader, catcher);
  catcher.Verify(maxLocals <= MAX_STACK_OR_LOCALS);
  Fail(catcher, method->GetParameterWords() <= maxLocals);
  method->SetLocalAndStackWords(maxLocals, maxStack);
  uint32_t length = Get4(reader, catcher);
  Fail(catcher, length > 0 && length <= 65535);
  VMbyteArray* code = VMbyteArray::CreateInstance(p.heap, length, jallocFailFast, VMTag_VMCodeArray);
  catcher.NotNull(code);
  method->SetCode(code);
  if (length <= VMArray::FIRST_PART_BYTES) method->SetIsContiguousCode();
  ReadInto(reader, code, length, catcher);
  Fail(catcher, VMByteCodeFrame::CountOpcodesAndFlip(code, catcher) != 0);

  uint32_t handlers = Get2(reader, catcher);
  if (handlers != 0) {
    VMExceptionHandlerArray* table = VMExceptionHandlerArray::CreateInstance(
        p.heap, handlers, jallocFailFast, VMTag_VMExceptionHandlerArray);
    catcher.NotNull(table);
    method->SetExceptionHandlers(table);
    for (uint32_t i = 0; i < handlers; i++) {
      VMExceptionHandler* h = VMExceptionHandler::CreateInstance(p.heap);
      catcher.NotNull(h);
      table->Set(i, h);
      uint32_t start = Get2(reader, catcher);
      uint32_t end = Get2(reader, catcher);
      uint32_t handler = Get2(reader, catcher);
      uint32_t type = Get2(reader, catcher);
      Fail(catcher, start < length && end <= length && end > start && handler < length);
      h->SetStartPc(start);
      h->SetEndPc(end);
      h->SetHandlerPc(handler);
      h->SetCatchTypeIndex(type);
      if (type != 0) h->SetCatchClass(ParsedClass(p, type));
    }
  }

  uint32_t attributes = Get2(reader, catcher);
  bool haveLocals = false;
  for (uint32_t a = 0; a < attributes; a++) {
    AttributeClass kind = ClassifyAttribute(p.cls, p.pool, reader, catcher);
    if (kind == ATTR_LineNumberTable || kind == ATTR_LocalVariableTable) {
      if (kind == ATTR_LocalVariableTable) {
        Fail(catcher, !haveLocals);
        haveLocals = true;
      }
      jint here = reader.Position();
      if (p.recordPositions && here > 0) {
        VMuintArray* positions = kind == ATTR_LineNumberTable ? p.cls->GetMethodLineNumberOffsets()
                                                              : p.cls->GetMethodLocalInfoOffsets();
        positions->Set(position, (uint32_t)here);
      }
    }
    SkipOneAttribute(reader, catcher);
  }
}

void VMClassLoader::LoadExceptions(Parse& p, VMMethod* method) {
  VMErrorCatcher& catcher = *p.catcher;
  Get4(*p.reader, catcher);  // attribute_length
  uint32_t count = Get2(*p.reader, catcher);
  if (count == 0) return;
  VMcharArray* thrown = VMcharArray::CreateInstance(p.heap, count, jallocFailFast, VMTag_VMcharArray);
  catcher.NotNull(thrown);
  method->SetThrows(thrown);
  for (uint32_t i = 0; i < count; i++) {
    uint16_t index = Get2(*p.reader, catcher);
    ParsedClass(p, index);
    thrown->Set(i, index);
  }
}

void VMClassLoader::LoadOneMethod(Parse& p, uint32_t position) {
  VMErrorCatcher& catcher = *p.catcher;
  classReader& reader = *p.reader;
  uint16_t flags = Get2(reader, catcher);
  CheckFlags(1, flags, ACC_PUBLIC | ACC_PRIVATE | ACC_PROTECTED, catcher);
  CheckFlags(1, flags, ACC_PRIVATE | ACC_ABSTRACT, catcher);
  if (flags & ACC_ABSTRACT) CheckFlags(0, flags, ACC_STATIC | ACC_NATIVE, catcher);
  VMLiteral* name = GetConstUtf8(p.cls, p.pool, Get2(reader, catcher), catcher);
  VMLiteral* descriptor = GetConstUtf8(p.cls, p.pool, Get2(reader, catcher), catcher);
  uint32_t attributes = Get2(reader, catcher);
  VMStatus status = 0;
  // Without a declaring class yet: the return type's class is found once the file has
  // been read whole (ResolveReturnClasses).
  VMMethod* method = VMMethod::CreateInstance(p.heap, name, descriptor, flags, NULL, &status);
  catcher.CheckStatus(status);
  catcher.NotNull(method);
  method->SetDefinedIn(p.cls);
  p.cls->GetMethods()->Set(position, method);
  bool haveCode = false, haveExceptions = false;
  for (uint32_t a = 0; a < attributes; a++) {
    AttributeClass kind = ClassifyAttribute(p.cls, p.pool, reader, catcher);
    if (kind == ATTR_Code) {
      Fail(catcher, !haveCode);
      haveCode = true;
      LoadCode(p, method, position);
    } else if (kind == ATTR_Exceptions) {
      Fail(catcher, !haveExceptions);
      haveExceptions = true;
      LoadExceptions(p, method);
    } else {
      SkipOneAttribute(reader, catcher);
    }
  }
  if ((flags & (ACC_NATIVE | ACC_ABSTRACT)) == 0) Fail(catcher, haveCode);
  if (haveCode) method->FindShape();
  VMLiteralTable* literals = p.ns->GetLiterals();
  if (literals != NULL && name == literals->GetInit())
    Fail(catcher, method->GetReturnWords() == 0 && (flags & ACC_STATIC) == 0 &&
                      descriptor->ByteAt(descriptor->UTF8Length() - 1) == 'V');
}

void VMClassLoader::LoadMethods(Parse& p) {
  VMErrorCatcher& catcher = *p.catcher;
  uint32_t count = Get2(*p.reader, catcher);
  VMMethodArray* methods = VMMethodArray::CreateInstance(p.heap, count, jallocFailFast, VMTag_VMMethodArray);
  catcher.NotNull(methods);
  p.cls->SetMethods(methods);
  // One entry more than the methods: the line-number one holds the size of the file the
  // positions were noted in (see LoadDebugInfo).
  VMuintArray* lines = VMuintArray::CreateInstance(p.heap, count + 1, jallocFailFast, VMTag_VMuintArray);
  catcher.NotNull(lines);
  p.cls->SetMethodLineNumberOffsets(lines);
  if (p.recordPositions) lines->Set(count, (uint32_t)p.reader->Size(p.reader->handle));
  VMuintArray* locals = VMuintArray::CreateInstance(p.heap, count + 1, jallocFailFast, VMTag_VMuintArray);
  catcher.NotNull(locals);
  p.cls->SetMethodLocalInfoOffsets(locals);
  for (uint32_t i = 0; i < count; i++) LoadOneMethod(p, i);
}

void VMClassLoader::LoadInnerClasses(Parse& p) {
  VMErrorCatcher& catcher = *p.catcher;
  classReader& reader = *p.reader;
  Get4(reader, catcher);  // attribute_length
  uint32_t count = Get2(reader, catcher);
  // The scratch list hangs on the class while it fills, so a failure leaks nothing; a
  // list from an earlier InnerClasses attribute goes first.
  VMuintArray* old = p.cls->GetDeclaredClasses();
  p.cls->SetDeclaredClasses(NULL);
  if (old != NULL) old->Destroy(p.heap);
  VMuintArray* scratch = VMuintArray::CreateInstance(p.heap, count, jallocFailFast, VMTag_VMuintArray);
  catcher.NotNull(scratch);
  p.cls->SetDeclaredClasses(scratch);
  uint32_t appended = 0;
  for (uint32_t i = 0; i < count; i++) {
    uint16_t innerIndex = Get2(reader, catcher);
    VMLoadableClass* inner = innerIndex != 0 ? ParsedClass(p, innerIndex) : NULL;
    uint16_t outerIndex = Get2(reader, catcher);
    if (outerIndex != 0) {
      VMLoadableClass* outer = ParsedClass(p, outerIndex);
      if (inner == p.cls)
        p.cls->SetDeclaringClass(outerIndex);
      else if (outer == p.cls)
        scratch->Set(appended++, innerIndex);
    }
    Get2(reader, catcher);  // inner_name_index
    uint16_t innerFlags = Get2(reader, catcher);
    if (inner == p.cls && outerIndex != 0) p.cls->SetInnerFlags(innerFlags);
  }
  VMuintArray* list = VMuintArray::CreateInstance(p.heap, appended, jallocFailFast, VMTag_VMuintArray);
  catcher.NotNull(list);
  for (uint32_t i = 0; i < appended; i++) list->Set(i, scratch->Get(i));
  p.cls->SetDeclaredClasses(list);
  scratch->Destroy(p.heap);
}

void VMClassLoader::LoadClassAttributes(Parse& p) {
  VMErrorCatcher& catcher = *p.catcher;
  classReader& reader = *p.reader;
  uint32_t count = Get2(reader, catcher);
  bool haveSource = false;
  for (uint32_t a = 0; a < count; a++) {
    AttributeClass kind = ClassifyAttribute(p.cls, p.pool, reader, catcher);
    if (kind == ATTR_SourceFile) {
      Fail(catcher, !haveSource);
      haveSource = true;
      Fail(catcher, Get4(reader, catcher) == 2);
      p.cls->SetSourceFile(GetConstUtf8(p.cls, p.pool, Get2(reader, catcher), catcher));
    } else if (kind == ATTR_InnerClasses) {
      LoadInnerClasses(p);
    } else {
      SkipOneAttribute(reader, catcher);
    }
  }
}

/* ---- entry points ---- */

namespace {

void DestroyMemberRecord(VMObject* object, HHeap* heap) {
  if (object != NULL) object->Destroy(heap);
}

}  // namespace

/* A failed parse leaves the shell as it was before: a failed class is read again on the
   next try, which would otherwise add its members on top of the last try's (a leak) and
   inherit its flags (an interface bit on what is now a plain class). */
void VMClassLoader::ForgetParse(VMLoadableClass* cls, HHeap* heap) {
  VMConstantPool* pool = cls->GetConstantPool();
  cls->SetConstantPool(NULL);
  if (pool != NULL) pool->Destroy(heap);
  DestroyMemberRecord((VMObject*)cls->GetInterfaces(), heap);
  cls->SetInterfaces(NULL);
  if (VMDataMemberArray* fields = cls->GetDataMembers()) {
    cls->SetDataMembers(NULL);
    for (uint32_t i = 0; i < fields->GetSize(); i++)
      if (VMDataMember* f = fields->Get(i)) f->Destroy(heap);
    fields->VMObject::Destroy(heap);
  }
  if (VMMethodArray* methods = cls->GetMethods()) {
    cls->SetMethods(NULL);
    for (uint32_t i = 0; i < methods->GetSize(); i++)
      if (VMMethod* m = methods->Get(i)) m->Destroy(heap);
    methods->VMObject::Destroy(heap);
  }
  DestroyMemberRecord((VMObject*)cls->GetMethodLineNumberOffsets(), heap);
  cls->SetMethodLineNumberOffsets(NULL);
  DestroyMemberRecord((VMObject*)cls->GetMethodLocalInfoOffsets(), heap);
  cls->SetMethodLocalInfoOffsets(NULL);
  DestroyMemberRecord((VMObject*)cls->GetDeclaredClasses(), heap);
  cls->SetDeclaredClasses(NULL);
  cls->SetDeclaringClass(0);
  cls->SetSourceFile(NULL);
  cls->SetSuper(NULL);
  ((VMClass*)cls)->ClearIsInterface();
  cls->ClearIsPublic();
  cls->ClearIsFinal();
  cls->ClearIsSuper();
  cls->ClearIsAbstract();
}

/* ---- taking turns ----

   One thread at a time reads a class and loads its interfaces; others wait for it to
   finish. No monitor is held meanwhile, so a thread that loads interfaces never blocks
   another that loads the same ones in the other order; instead, the turns of all threads
   are kept in one process-wide list, and a thread that would wait for a class whose
   loader waits, directly or through others, for a class of its own gives up with
   ClassCircularityError: interfaces that extend each other. */

namespace {

struct LoadThread {
  VMLoadableClass* waitingFor;  /* under gTurnsLock */
  uint32_t depth;               /* turns this thread holds */
};

struct LoadTurn {
  VMLoadableClass* cls;
  LoadThread* owner;
  LoadTurn* next;
};

thread_local LoadThread tLoad = {NULL, 0};
LoadTurn* gTurns = NULL;
int gTurnsLock = 0;

/* The list is only ever held for a few steps: a spin, yielding when it lasts. */
void LockTurns() {
  for (uint32_t spins = 0; __atomic_exchange_n(&gTurnsLock, 1, __ATOMIC_ACQUIRE) != 0; spins++) {
    if (spins >= 64) VMUtils::GetHostFunctions()->Sleep(0);
  }
}

void UnlockTurns() { __atomic_store_n(&gTurnsLock, 0, __ATOMIC_RELEASE); }

LoadTurn* TurnOf(VMLoadableClass* cls) {
  for (LoadTurn* t = gTurns; t != NULL; t = t->next)
    if (t->cls == cls) return t;
  return NULL;
}

/* Whether a thread waits, directly or through others, for a class this thread loads. */
bool WaitsForThisThread(LoadThread* owner) {
  for (uint32_t steps = 0; owner != NULL && steps < 0x10000u; steps++) {
    if (owner == &tLoad) return true;
    LoadTurn* turn = owner->waitingFor != NULL ? TurnOf(owner->waitingFor) : NULL;
    owner = turn != NULL ? turn->owner : NULL;
  }
  return false;
}

const VMStatus kWait = -1;

/* 0 with *mine in the list when this thread takes the class; 0 with *taken false when
   the class is loaded meanwhile; a status when this thread must not take it. A define
   takes only a class that nobody has loaded or is loading. */
VMStatus TakeTurn(VMLoadableClass* cls, LoadTurn* mine, bool define, bool* taken) {
  *taken = false;
  for (uint32_t round = 0;; round++) {
    LockTurns();
    LoadTurn* holder = TurnOf(cls);
    VMStatus status = kWait;
    if (define && (cls->GetIsLoaded() || holder != NULL)) {
      status = VMStatus_LinkageError;
    } else if (cls->GetIsLoaded()) {
      status = 0;
    } else if (holder == NULL) {
      if (tLoad.depth >= VMLoadableClass::MAX_NESTING) {
        status = VMStatus_LinkageError;
      } else {
        mine->next = gTurns;
        gTurns = mine;
        tLoad.depth++;
        *taken = true;
        status = 0;
      }
    } else if (WaitsForThisThread(holder->owner)) {
      status = VMStatus_ClassCircularityError;
    }
    tLoad.waitingFor = status == kWait ? cls : NULL;
    UnlockTurns();
    if (status != kWait) return status;
    VMUtils::GetHostFunctions()->Sleep(round < 32 ? 0 : 1);
  }
}

void EndTurn(LoadTurn* mine) {
  LockTurns();
  for (LoadTurn** t = &gTurns; *t != NULL; t = &(*t)->next) {
    if (*t == mine) {
      *t = mine->next;
      break;
    }
  }
  tLoad.depth--;
  UnlockTurns();
}

}  // namespace

/* The interfaces a parsed class lists: each is loaded, and must be an interface. */
static VMStatus LoadInterfacesOf(VMLoadableClass* cls) {
  VMClassArray* interfaces = cls->GetInterfaces();
  for (uint32_t i = 0; interfaces != NULL && i < interfaces->GetSize(); i++) {
    VMLoadableClass* iface = interfaces->Get(i)->GetLoadableClass();
    VMStatus status = iface->Load();
    if (status != 0) return status;
    // A class listed as an interface must be one; it is not made one here.
    if (!((VMClass*)iface)->GetIsInterface()) return VMStatus_IncompatibleClassChangeError;
  }
  return 0;
}

VMStatus VMClassLoader::LoadInTurn(VMLoadableClass* cls, MemorySource* source) {
  if (cls == NULL) return VMStatus_NoClassDefFoundError;
  LoadTurn mine = {cls, &tLoad, NULL};
  bool taken = false;
  VMStatus status = TakeTurn(cls, &mine, source != NULL, &taken);
  if (status != 0 || !taken) return status;
  if (source != NULL) {
    classReader reader(source);
    status = Load(cls, reader, false);
  } else {
    classReader reader(cls, GetLoaderID(), status);
    if (status == 0) status = Load(cls, reader, false);
  }
  if (status == 0) {
    status = LoadInterfacesOf(cls);
    if (status != 0) ForgetParse(cls, GetNameSpace()->GetHeap());
  }
  if (status == 0) cls->SetIsLoaded();
  EndTurn(&mine);
  return status;
}

VMStatus VMClassLoader::Load(VMLoadableClass* cls, bool poolOnly) {
  if (!poolOnly) return LoadInTurn(cls, NULL);
  VMStatus status = 0;
  classReader reader(cls, GetLoaderID(), status);
  if (status != 0) return status;
  return Load(cls, reader, true);
}

VMStatus VMClassLoader::Load(VMLoadableClass* cls, const uint8_t* bytes, uint32_t size) {
  if (bytes == NULL && size != 0) return VMStatus_ClassFormatError;
  MemorySource source = {bytes, size, 0};
  return LoadInTurn(cls, &source);
}

VMStatus VMClassLoader::Load(VMLoadableClass* cls, classReader& reader, bool poolOnly) {
  if (cls == NULL || !reader.IsOpen()) return VMStatus_NoClassDefFoundError;
  // A pool that is still there may be in use: a pool-only parse has nothing to replace.
  if (poolOnly && cls->GetConstantPool() != NULL) {
    reader.CloseIfOpen();
    return 0;
  }
  VMErrorCatcher catcher;
  Parse p;
  p.loader = this;
  p.cls = cls;
  p.ns = cls->GetNameSpace();
  p.heap = p.ns->GetHeap();
  p.reader = &reader;
  p.catcher = &catcher;
  p.pool = NULL;
  p.recordPositions = reader.Read != classReader::MemoryRead;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    if (poolOnly || cls->GetIsLoaded()) {
      VMConstantPool* pool = cls->GetConstantPool();
      cls->SetConstantPool(NULL);
      if (pool != NULL) pool->Destroy(p.heap);
    } else {
      ForgetParse(cls, p.heap);
    }
    reader.CloseIfOpen();
    return status;
  }
  if (Get4(reader, catcher) != 0xCAFEBABEu) catcher.Throw(VMStatus_ClassFormatError);
  uint16_t minor = Get2(reader, catcher);
  uint16_t major = Get2(reader, catcher);
  Fail(catcher, minor == 3 && major == 45);
  LoadConstantPool(p);
  LoadAccess(p);

  uint32_t thisIndex = Get2(reader, catcher);
  Fail(catcher, thisIndex != 0 && thisIndex < p.pool->GetCount());
  Fail(catcher, p.pool->GetConstType(thisIndex) == VMConstantPool::TYPE_Class);
  VMLiteral* ownName = GetConstUtf8(cls, p.pool, p.pool->GetConstWord(thisIndex), catcher);
  // The file must be the class that was asked for: another file of that name (a wrong
  // path, a case-blind file system) would give this descriptor another class's content.
  if (cls->GetName() != NULL && ownName != cls->GetName())
    catcher.Throw(VMStatus_NoClassDefFoundError);
  ResolveConstantPool(p);
  if (poolOnly) {
    ResolveClassEntries(p);
    reader.CloseIfOpen();
    return 0;
  }

  uint32_t superIndex = Get2(reader, catcher);
  if (superIndex == 0) {
    VMLiteralTable* literals = p.ns->GetLiterals();
    Fail(catcher, literals != NULL && ownName == literals->GetJava_lang_Object());
  } else {
    VMLoadableClass* super = ParsedClass(p, superIndex);
    if (super == cls || super->GetName() == ownName) catcher.Throw(VMStatus_ClassCircularityError);
    // An interface as superclass is known only once it is loaded; preparation checks the
    // rest of the chain.
    if (super->GetIsLoaded() && ((VMClass*)super)->GetIsInterface())
      catcher.Throw(VMStatus_IncompatibleClassChangeError);
    cls->SetSuper(super);
  }
  LoadInterfaces(p);
  LoadDataMembers(p);
  LoadMethods(p);
  LoadClassAttributes(p);
  uint8_t extra;
  Fail(catcher, reader.Read(reader.handle, &extra, 1) <= 0);
  // The file is good: only now do the classes it names get their descriptors.
  ResolveClassEntries(p);
  ResolveReturnClasses(p);
  reader.CloseIfOpen();
  return 0;
}
