/* Line-number and local-variable tables, read on first demand: the parse only noted where
   they stand in the class file, and one forward pass over the file reads them all. */
#include "vmclassloader.h"

#include "vmclass.h"
#include "vmconstantpool.h"
#include "vmliteral.h"
#include "vmnamespace.h"

void VMClassLoader::LoadLineNumbers(Parse& p, uint32_t index) {
  VMErrorCatcher& catcher = *p.catcher;
  classReader& reader = *p.reader;
  VMMethod* method = p.cls->GetMethods()->Get(index);
  VMbyteArray* code = method->GetCode();
  uint32_t codeLength = code != NULL ? code->GetSize() : 0;
  Get4(reader, catcher);  // attribute_length
  uint32_t count = Get2(reader, catcher);
  VMshortArrayArray* tables = p.cls->GetLineNumberArray();
  VMshortArray* old = tables->Get(index);
  uint32_t kept = old != NULL ? old->GetSize() : 0;
  VMshortArray* table =
      VMshortArray::CreateInstance(p.heap, kept + 2 * count, jallocFailFast, VMTag_VMLineNumberArray);
  catcher.NotNull(table);
  for (uint32_t i = 0; i < kept; i++) table->Set(i, old->Get(i));
  tables->Set(index, table);
  if (old != NULL) old->Destroy(p.heap);
  for (uint32_t i = 0; i < count; i++) {
    uint16_t start = Get2(reader, catcher);
    catcher.ClassFormat(start < codeLength);
    table->Set(kept + 2 * i, (jshort)start);
    table->Set(kept + 2 * i + 1, (jshort)Get2(reader, catcher));
  }
}

void VMClassLoader::LoadLocalVariables(Parse& p, uint32_t index) {
  VMErrorCatcher& catcher = *p.catcher;
  classReader& reader = *p.reader;
  VMMethod* method = p.cls->GetMethods()->Get(index);
  Get4(reader, catcher);  // attribute_length
  VMbyteArray* code = method->GetCode();
  catcher.ClassFormat(code != NULL);
  uint32_t codeLength = code->GetSize();
  uint32_t count = Get2(reader, catcher);
  VMLocalDataMemberArrayArray* tables = p.cls->GetLocalVariableArray();
  VMLocalDataMemberArray* table = VMLocalDataMemberArray::CreateInstance(
      p.heap, count, jallocFailFast, VMTag_VMLocalDataMemberArray);
  catcher.NotNull(table);
  tables->Set(index, table);
  uint32_t slots = method->GetLocalWords();
  for (uint32_t i = 0; i < count; i++) {
    uint32_t start = Get2(reader, catcher);
    catcher.ClassFormat(start < codeLength);
    uint32_t length = Get2(reader, catcher);
    catcher.ClassFormat(start + length <= codeLength);
    uint16_t nameIndex = Get2(reader, catcher);
    if (nameIndex == 0) {
      // Ends the table; the entries after it stay empty (consumers accept NULL).
      Get2(reader, catcher);
      Get2(reader, catcher);
      break;
    }
    VMLiteral* name = GetConstUtf8(p.cls, p.pool, nameIndex, catcher);
    VMLiteral* descriptor = GetConstUtf8(p.cls, p.pool, Get2(reader, catcher), catcher);
    uint16_t slot = Get2(reader, catcher);
    VMLocalDataMember* local = VMLocalDataMember::CreateInstance(
        p.heap, name, descriptor, (uint16_t)start, (uint16_t)length, slot);
    catcher.NotNull(local);
    table->Set(i, local);
    uint32_t last = slot;
    if (descriptor->UTF8Length() == 1 && (descriptor->ByteAt(0) == 'D' || descriptor->ByteAt(0) == 'J'))
      last++;
    catcher.ClassFormat(last < slots);
  }
}

namespace {

/* The next method from first on with a recorded position, or the method count. */
uint32_t NextRecorded(VMuintArray* positions, uint32_t first, uint32_t count) {
  if (positions == NULL) return count;
  while (first < count && positions->Get(first) == 0) first++;
  return first;
}

/* Whether the attribute whose length follows is named `name` in the class's pool. The
   reader stands at its name index: a file changed since the class was loaded has other
   bytes there. */
bool AttributeNamed(VMClassLoader::Parse& p, const char* name) {
  uint32_t index = VMClassLoader::Get2(*p.reader, *p.catcher);
  if (index == 0 || index >= p.pool->GetCount()) return false;
  int16_t t = p.pool->GetConstType(index);
  if (t != VMConstantPool::TYPE_Utf8 && t != VMConstantPool::TYPE_Utf8_Resolved) return false;
  VMLiteral* text = p.pool->GetConstUtf8(p.ns, index);
  return text != NULL && text->EqualsAscii(name);
}

/* Forgets every table read so far; the per-method arrays stay, empty. */
void EmptyTables(VMLoadableClass* cls, HHeap* heap) {
  VMshortArrayArray* lines = cls->GetLineNumberArray();
  for (uint32_t i = 0; lines != NULL && i < lines->GetSize(); i++) {
    if (lines->Get(i) != NULL) lines->Get(i)->Destroy(heap);
    lines->Set(i, NULL);
  }
  VMLocalDataMemberArrayArray* locals = cls->GetLocalVariableArray();
  for (uint32_t i = 0; locals != NULL && i < locals->GetSize(); i++) {
    VMLocalDataMemberArray* table = locals->Get(i);
    if (table == NULL) continue;
    for (uint32_t k = 0; k < table->GetSize(); k++)
      if (table->Get(k) != NULL) table->Get(k)->Destroy(heap);
    table->Destroy(heap);
    locals->Set(i, NULL);
  }
}

void DropTables(VMLoadableClass* cls, HHeap* heap) {
  if (VMshortArrayArray* lines = cls->GetLineNumberArray()) {
    for (uint32_t i = 0; i < lines->GetSize(); i++)
      if (lines->Get(i) != NULL) lines->Get(i)->Destroy(heap);
    cls->SetLineNumberArray(NULL);
    lines->Destroy(heap);
  }
  if (VMLocalDataMemberArrayArray* locals = cls->GetLocalVariableArray()) {
    for (uint32_t i = 0; i < locals->GetSize(); i++) {
      VMLocalDataMemberArray* table = locals->Get(i);
      if (table == NULL) continue;
      for (uint32_t k = 0; k < table->GetSize(); k++)
        if (table->Get(k) != NULL) table->Get(k)->Destroy(heap);
      table->Destroy(heap);
    }
    cls->SetLocalVariableArray(NULL);
    locals->Destroy(heap);
  }
}

}  // namespace

VMStatus VMClassLoader::LoadDebugInfo(VMLoadableClass* cls) {
  VMNameSpace* ns = cls->GetNameSpace();
  HHeap* heap = ns->GetHeap();
  VMStatus status = cls->MonitorEnter(ns);
  if (status != 0) return status;
  VMMethodArray* methods = cls->GetMethods();
  if (cls->GetHaveDebugInfo() || methods == NULL) {
    cls->MonitorExit(ns);
    return 0;
  }
  VMuintArray* linePositions = cls->GetMethodLineNumberOffsets();
  VMuintArray* localPositions = cls->GetMethodLocalInfoOffsets();
  uint32_t count = methods->GetSize();
  bool recorded =
      NextRecorded(linePositions, 0, count) < count || NextRecorded(localPositions, 0, count) < count;
  // A class defined from bytes has no positions: there is nothing to re-read, and its name
  // may well open some other file.
  classReader reader;
  if (recorded) {
    classReader opened(cls, GetLoaderID(), status, false);
    if (status != 0) {
      cls->MonitorExit(ns);
      return status;
    }
    reader = opened;
  }

  VMErrorCatcher catcher;
  Parse p;
  p.loader = this;
  p.cls = cls;
  p.ns = ns;
  p.heap = heap;
  p.reader = &reader;
  p.catcher = &catcher;
  p.pool = cls->GetConstantPool();
  p.recordPositions = false;
  if (VM_CATCHER_ARM(catcher)) {
    status = catcher.Caught();
    DropTables(cls, heap);
    reader.CloseIfOpen();
    cls->MonitorExit(ns);
    return status;
  }
  VMshortArrayArray* lines =
      VMshortArrayArray::CreateInstance(heap, count, jallocFailFast, VMTag_VMshortArrayArray);
  catcher.NotNull(lines);
  cls->SetLineNumberArray(lines);
  VMLocalDataMemberArrayArray* locals = VMLocalDataMemberArrayArray::CreateInstance(
      heap, count, jallocFailFast, VMTag_VMLocalDataMemberArrayArray);
  catcher.NotNull(locals);
  cls->SetLocalVariableArray(locals);
  // Tables name their texts through the pool; a class whose pool was dropped cannot read them.
  if (recorded) catcher.ClassFormat(p.pool != NULL);

  // The file is read again by the class's name: when it is no longer the file that was
  // loaded (another size, or not the attribute expected at a noted position), the class
  // has no debug information rather than a wrong one.
  bool stale = recorded && (uint32_t)reader.Size(reader.handle) != linePositions->Get(count);
  uint32_t current = 0;
  uint32_t nextLine = NextRecorded(linePositions, 0, count);
  uint32_t nextLocal = NextRecorded(localPositions, 0, count);
  while (recorded && !stale && (nextLine < count || nextLocal < count)) {
    uint32_t lineDistance = nextLine < count ? linePositions->Get(nextLine) - current : 0xFFFFFFFFu;
    uint32_t localDistance = nextLocal < count ? localPositions->Get(nextLocal) - current : 0xFFFFFFFFu;
    bool local = localDistance <= lineDistance;
    uint32_t distance = local ? localDistance : lineDistance;
    // Positions only grow along the file, and each follows its attribute's name index.
    catcher.ClassFormat(distance >= 2 && distance < 0x80000000u);
    Skip(reader, distance - 2, catcher);
    if (!AttributeNamed(p, local ? "LocalVariableTable" : "LineNumberTable")) {
      stale = true;
    } else if (local) {
      LoadLocalVariables(p, nextLocal);
      nextLocal = NextRecorded(localPositions, nextLocal + 1, count);
    } else {
      LoadLineNumbers(p, nextLine);
      nextLine = NextRecorded(linePositions, nextLine + 1, count);
    }
    jint here = reader.Position();
    catcher.ClassFormat(here > 0);
    current = (uint32_t)here;
  }
  if (stale) EmptyTables(cls, heap);
  cls->SetHaveDebugInfo();
  cls->SetMethodLineNumberOffsets(NULL);
  cls->SetMethodLocalInfoOffsets(NULL);
  if (linePositions != NULL) linePositions->Destroy(heap);
  if (localPositions != NULL) localPositions->Destroy(heap);
  reader.CloseIfOpen();
  cls->MonitorExit(ns);
  return 0;
}
