#include "flow_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "vmconstantpool.h"
#include "vmliteral.h"

namespace flow_test {

classfile_test::ClassWorld* FlowTest::world = nullptr;

void FlowTest::SetUpTestSuite() {
  world = new classfile_test::ClassWorld();
  ASSERT_TRUE(world->Create(std::string(PUX_BUILD_DIR) + "/classlib.zip"));
}

void FlowTest::TearDownTestSuite() {
  world->Destroy();
  delete world;
  world = nullptr;
  VMBasicBlock::SetPreBreakpointOpcodeFinder(nullptr);
}

void FlowTest::SetUp() { refhost::ResetHooks(); }

void FlowTest::TearDown() {
  refhost::ResetHooks();
  for (VMLoadableClass* c : loose) world->DropLoose(c);
  loose.clear();
}

VMMethod* FlowTest::Make(const MethodSpec& spec, VMStatus* status, classfile_test::ClassBuilder* given) {
  classfile_test::ClassBuilder local;
  classfile_test::ClassBuilder& b = given != nullptr ? *given : local;
  std::string name = "flowtest/T" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  b.thisClass = b.Class(name);
  b.superClass = b.Class("java/lang/Object");
  std::vector<uint16_t> handlers;
  for (const Handler& h : spec.handlers) handlers.insert(handlers.end(), {h.start, h.end, h.handler, h.type});
  b.AddMethod(spec.access, spec.name, spec.descriptor,
              {classfile_test::Attribute{b.Utf8("Code"), b.Code(spec.maxStack, spec.maxLocals, spec.code, handlers)}});
  Bytes bytes = b.Build();
  VMLoadableClass* shell = world->LooseShell(name.c_str());
  if (shell == nullptr) return nullptr;
  VMStatus s = world->loader->Load(shell, bytes.data(), (uint32_t)bytes.size());
  if (status != nullptr) *status = s;
  loose.push_back(shell);
  if (s != 0) return nullptr;
  return shell->FindMethod(Lit(spec.name.c_str()), Lit(spec.descriptor.c_str()), false);
}

VMMethod* FlowTest::Method(const Bytes& code, uint16_t stack, uint16_t locals, std::vector<Handler> handlers,
                           const char* descriptor, VMStatus* load) {
  MethodSpec spec;
  spec.code = code;
  spec.maxStack = stack;
  spec.maxLocals = locals;
  spec.handlers = handlers;
  spec.descriptor = descriptor;
  VMStatus s = 0;
  VMMethod* m = Make(spec, &s);
  if (load != nullptr) *load = s;
  EXPECT_TRUE(m != nullptr || load != nullptr) << "load status " << s;
  return m;
}

VMLoadableClass* FlowTest::LoadClass(const std::string& name) {
  VMLoadableClass* shell = world->Shell(name.c_str());
  if (shell == nullptr || shell->Load() != 0) return nullptr;
  return shell;
}

VMBasicBlock* FlowTest::At(VMMethod* m, uint32_t pc, VMStatus* status) {
  VMBasicBlock* b = nullptr;
  VMStatus s = VMBasicBlock::GetBlockAtPC(m, pc, b);
  if (status != nullptr) *status = s;
  return b;
}

std::string FlowTest::Kinds(VMMethod* m, VMBasicBlock* b) {
  std::string out;
  for (uint32_t i = 0; i < m->GetLocalWords() - 2; i++) {
    bool r = b->GetLocalIsRefArray()->Get(i), s = b->GetLocalIsScalarArray()->Get(i),
         t = b->GetLocalIsRetAddressArray()->Get(i);
    if (r && s && t)
      out += "C";
    else if (b->GetLocalIsRetAddress(i))
      out += "A" + std::to_string(b->GetLocalRetSubroutine(i));
    else if (b->GetLocalIsIndeterminite(i))
      out += "I";
    else if (b->GetLocalIsRef(i))
      out += "R";
    else if (b->GetLocalIsScalar(i))
      out += "S";
    else
      out += "-";
  }
  out += "|";
  for (uint32_t i = 0; i < b->GetStackDepth(); i++) {
    if (b->GetStackIsRef(i))
      out += "R";
    else if (b->GetStackIsRetAddress(i))
      out += "A" + std::to_string(b->GetStackRetSubroutine(i));
    else
      out += "S";
  }
  return out;
}

std::string FlowTest::KindsAt(VMMethod* m, uint32_t pc) {
  VMStatus s = 0;
  VMBasicBlock* b = At(m, pc, &s);
  if (b == nullptr) return "status " + std::to_string(s);
  std::string k = Kinds(m, b);
  b->Destroy(Heap(m));
  return k;
}

std::string FlowTest::Frame(VMMethod* m, uint32_t pc, std::vector<VMword> locals, std::vector<VMword> stack,
                            bool past) {
  uint32_t depth = (uint32_t)stack.size();
  locals.resize(m->GetLocalWords());
  stack.resize(m->GetStackWords() + 1);
  VMBasicBlock* b = nullptr;
  VMStatus s = VMBasicBlock::GetBlockForFrame(m, pc, past, locals.data(), stack.data(), depth, b);
  if (s != 0) return "status " + std::to_string(s);
  std::string k = Kinds(m, b);
  b->Destroy(Heap(m));
  return k;
}

namespace {
std::string gCompiled;
void RemoveCompiled() {
  std::error_code ignored;
  if (!gCompiled.empty()) std::filesystem::remove_all(gCompiled, ignored);
}
}  // namespace

std::string CompiledTestClasses() {
  if (!gCompiled.empty()) return gCompiled;
  std::string out = std::string(PUX_BUILD_DIR) + "/tmp/flow-" + std::to_string(getpid());
  std::string cmd = "rm -rf '" + out + "' && mkdir -p '" + out + "' && ecj -source 1.3 -target 1.1 -nowarn -g " +
                    "-bootclasspath '" + PUX_BUILD_DIR + "/classlib.zip' -d '" + out + "' '" + PUX_SOURCE_DIR +
                    "/tests/java/flow/fl/'*.java";
  if (system(cmd.c_str()) != 0) return "";
  gCompiled = out;
  atexit(RemoveCompiled);
  return gCompiled;
}

/* ---------------------------------------------------------------------------------- */
/* Instruction walk                                                                    */

namespace {

struct Code {
  VMbyteArray* bytes;
  uint32_t length;
  explicit Code(VMMethod* m) : bytes(m->GetCode()), length(m->GetCode()->GetSize()) {}
  uint8_t At(uint32_t i) const { return *(const uint8_t*)bytes->FindElement(i, 0u); }
  uint16_t U2(uint32_t i) const { return (uint16_t)(At(i) | At(i + 1) << 8); }
  int16_t S2(uint32_t i) const { return (int16_t)U2(i); }
  int32_t S4(uint32_t i) const {
    return (int32_t)((uint32_t)At(i) | (uint32_t)At(i + 1) << 8 | (uint32_t)At(i + 2) << 16 |
                     (uint32_t)At(i + 3) << 24);
  }
  uint32_t Length(uint32_t pc) const {
    uint8_t op = At(pc);
    if (op == OP_tableswitch) {
      uint32_t p = (pc + 4) & ~3u;
      return p + 12 + 4 * (uint32_t)(S4(p + 8) - S4(p + 4) + 1) - pc;
    }
    if (op == OP_lookupswitch) {
      uint32_t p = (pc + 4) & ~3u;
      return p + 8 + 8 * (uint32_t)S4(p + 4) - pc;
    }
    if (op == OP_wide) return At(pc + 1) == OP_iinc ? 6 : 4;
    return VMOpcodeLength[op];
  }
};

}  // namespace

std::vector<uint32_t> InstructionStarts(VMMethod* method) {
  std::vector<uint32_t> starts;
  Code code(method);
  for (uint32_t pc = 0; pc < code.length; pc += code.Length(pc)) starts.push_back(pc);
  return starts;
}

/* ---------------------------------------------------------------------------------- */
/* Random executions                                                                   */

namespace {

enum : uint8_t { INT = 0, REF = 1, RA = 2 };
struct Val {
  uint8_t k;
  uint32_t v;  // object id (0 null) or return pc
};

class Walker {
 public:
  Walker(VMMethod* m, uint32_t seed) : m(m), code(m), rng(seed) {
    pool = m->GetConstantPool();
    cls = m->GetDefinedIn();
    maxLocals = m->GetLocalWords() - 2;
    dead.push_back(false);  // object 0 is null
    escaped.push_back(true);
  }

  std::string Run(uint32_t paths, uint32_t* stepsOut) {
    for (uint32_t p = 0; p < paths && error.empty(); p++) Path();
    if (stepsOut != nullptr) *stepsOut = steps;
    return error;
  }

 private:
  VMMethod* m;
  Code code;
  std::mt19937 rng;
  VMConstantPool* pool;
  VMLoadableClass* cls;
  uint32_t maxLocals;
  std::vector<Val> locals, stack;
  std::vector<bool> dead, escaped;
  std::string error;
  uint32_t steps = 0;

  bool Chance(uint32_t percent) { return rng() % 100 < percent; }
  Val Fresh(bool root) {
    dead.push_back(false);
    escaped.push_back(root);
    return Val{REF, (uint32_t)dead.size() - 1};
  }
  void Fail(uint32_t pc, const std::string& what) {
    if (error.empty()) error = "pc " + std::to_string(pc) + ": " + what;
  }
  /* A reference an instruction dereferences or hands on must not have been freed. */
  void Use(uint32_t pc, const Val& v) {
    if (v.k == REF && v.v != 0 && dead[v.v]) Fail(pc, "uses object " + std::to_string(v.v) + " that the maps left untraced");
  }
  void Escape(uint32_t pc, const Val& v) {
    Use(pc, v);
    if (v.k == REF && v.v != 0) escaped[v.v] = true;
  }
  Val Pop(uint32_t pc) {
    if (stack.empty()) {
      Fail(pc, "stack underflow in the walk");
      return Val{INT, 0};
    }
    Val v = stack.back();
    stack.pop_back();
    return v;
  }
  Val PopUse(uint32_t pc) {
    Val v = Pop(pc);
    Use(pc, v);
    return v;
  }
  void PopN(uint32_t pc, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) PopUse(pc);
  }
  void PushInt(uint32_t n) {
    for (uint32_t i = 0; i < n; i++) stack.push_back(Val{INT, 0});
  }

  /* What a collection at pc would see, checked against the frame. past: the frame is in
     the middle of the instruction before pc (a call or a throw), with the stack it has
     meanwhile, which the state before that instruction may exceed. */
  void Check(uint32_t pc, bool past = false) {
    std::vector<VMword> lw(maxLocals + 2), sw(stack.size() + 1);
    for (uint32_t i = 0; i < maxLocals; i++) lw[i] = locals[i].k == RA ? locals[i].v : 0xDEAD0000u + i;
    for (uint32_t i = 0; i < stack.size(); i++) sw[i] = stack[i].k == RA ? stack[i].v : 0xBEEF0000u + i;
    VMBasicBlock* b = nullptr;
    VMStatus s = VMBasicBlock::GetBlockForFrame(m, pc, past, lw.data(), sw.data(), (uint32_t)stack.size(), b);
    if (s != 0) return Fail(pc, std::string(past ? "saved pc: " : "") + "GetBlockForFrame gave status " + std::to_string(s));
    std::vector<bool> live(escaped);
    if (past ? b->GetStackDepth() < stack.size() : b->GetStackDepth() != stack.size()) {
      Fail(pc, "depth " + std::to_string(b->GetStackDepth()) + " for a stack of " + std::to_string(stack.size()));
    } else {
      for (uint32_t i = 0; i < stack.size(); i++) {
        if ((stack[i].k == REF) != b->GetStackIsRef(i)) Fail(pc, "stack word " + std::to_string(i) + " kind");
        if ((stack[i].k == RA) != b->GetStackIsRetAddress(i)) Fail(pc, "stack word " + std::to_string(i) + " return address");
        if (stack[i].k == REF && stack[i].v != 0) live[stack[i].v] = true;
      }
    }
    for (uint32_t i = 0; i < maxLocals; i++) {
      if (!b->GetLocalIsRef(i)) continue;
      if (locals[i].k != REF) Fail(pc, "local " + std::to_string(i) + " traced as a reference but holds a " + (locals[i].k == RA ? "return address" : "scalar"));
      else if (locals[i].v != 0) live[locals[i].v] = true;
    }
    for (uint32_t i = 1; i < dead.size(); i++) {
      if (live[i] && dead[i]) Fail(pc, "object " + std::to_string(i) + " traced after it was freed");
      if (!live[i]) dead[i] = true;
    }
    b->Destroy(m->GetDefinedIn()->GetHeap());
  }

  jchar FirstChar(uint32_t index) {
    VMLiteral* sig = pool->GetConstSignature(cls, index);
    return sig != nullptr ? sig->GetFirstChar() : 'I';
  }
  void PushTyped(jchar c, bool root) {
    if (c == 'L' || c == '[')
      stack.push_back(Fresh(root));
    else if (c == 'J' || c == 'D')
      PushInt(2);
    else if (c != 'V')
      PushInt(1);
  }

  /* Throws at pc: the first handler covering pc is taken at random among those that do;
     false when none covers it (the path ends). */
  bool Throw(uint32_t& pc) {
    VMExceptionHandlerArray* table = m->GetExceptionHandlers();
    std::vector<uint32_t> covering;
    for (uint32_t e = 0; table != nullptr && e < table->GetSize(); e++) {
      VMExceptionHandler* h = table->Get(e);
      if (h->GetStartPc() <= pc && pc < h->GetEndPc()) covering.push_back(h->GetHandlerPc());
    }
    if (covering.empty()) return false;
    stack.clear();
    stack.push_back(Fresh(false));
    pc = covering[rng() % covering.size()];
    return true;
  }

  static bool IsBranch(uint8_t op) {
    return (op >= OP_ifeq && op <= OP_goto) || op == OP_ifnull || op == OP_ifnonnull || op == OP_goto_w;
  }

  static bool MayThrow(uint8_t op) {
    return (op >= OP_iaload && op <= OP_saload) || (op >= OP_iastore && op <= OP_sastore) ||
           op == OP_idiv || op == OP_ldiv || op == OP_irem || op == OP_lrem ||
           (op >= OP_getstatic && op <= OP_invokeinterface) || (op >= OP_new && op <= OP_monitorexit) ||
           op == OP_multianewarray || op == OP_ldc || op == OP_ldc_w;
  }

  void Path() {
    locals.assign(maxLocals, Val{INT, 0});
    stack.clear();
    VMMethod::SignatureInfo info = {};
    VMMethod::ClassifySignature(m->GetSignature(), m->GetIsStatic(), &info);
    VMboolArray* refs = m->GetObjectBitArray();
    for (uint32_t i = 0; i < info.parameterWords && i < maxLocals; i++)
      if (refs != nullptr && refs->Get(i)) locals[i] = Chance(10) ? Val{REF, 0} : Fresh(false);
    if (refs != nullptr) refs->Destroy(m->GetDefinedIn()->GetHeap());
    uint32_t pc = 0;
    for (uint32_t n = 0; n < 400 && error.empty(); n++) {
      if (pc >= code.length) return Fail(pc, "ran off the code");
      steps++;
      Check(pc);
      if (!error.empty()) return;
      uint8_t op = code.At(pc);
      bool poll = IsBranch(op) && Chance(3);
      if (op == OP_athrow || poll || (MayThrow(op) && Chance(8))) {
        if (op == OP_athrow) PopUse(pc);
        // A throwing frame keeps its pc past the instruction (inside a branch whose poll
        // threw), its stack discarded, while the throwable is made.
        stack.clear();
        Check(poll ? pc + 1 : pc + code.Length(pc), true);
        if (!error.empty() || !Throw(pc)) return;
        continue;
      }
      if (!Execute(pc, op)) return;
    }
  }

  uint32_t LocalIndex(uint8_t op, uint8_t base, uint32_t pc) {
    return op >= base ? (uint32_t)(op - base) % 4 : code.At(pc + 1);
  }

  /* One instruction; false when the path ends. */
  bool Execute(uint32_t& pc, uint8_t op) {
    uint32_t next = pc + code.Length(pc);
    bool wide = op == OP_wide;
    uint32_t length = next - pc;
    uint32_t n = wide ? code.U2(pc + 2) : length > 1 ? code.At(pc + 1) : 0;
    if (wide) op = code.At(pc + 1);
    auto local = [&](uint32_t i) -> Val& {
      static Val junk;
      if (i >= maxLocals) {
        Fail(pc, "local index out of range");
        return junk;
      }
      return locals[i];
    };
    switch (op) {
      case OP_nop: break;
      case OP_aconst_null: stack.push_back(Val{REF, 0}); break;
      case OP_iconst_m1: case OP_iconst_0: case OP_iconst_1: case OP_iconst_2: case OP_iconst_3:
      case OP_iconst_4: case OP_iconst_5: case OP_fconst_0: case OP_fconst_1: case OP_fconst_2:
      case OP_bipush: case OP_sipush:
        PushInt(1);
        break;
      case OP_lconst_0: case OP_lconst_1: case OP_dconst_0: case OP_dconst_1: case OP_ldc2_w:
        PushInt(2);
        break;
      case OP_ldc: case OP_ldc_w: {
        uint32_t index = op == OP_ldc ? code.At(pc + 1) : code.U2(pc + 1);
        if (pool->GetConstIsRef(index))
          stack.push_back(Fresh(true));
        else
          PushInt(1);
        break;
      }
      case OP_iload: case OP_fload: stack.push_back(local(n)); break;
      case OP_lload: case OP_dload: stack.push_back(local(n)); stack.push_back(local(n + 1)); break;
      case OP_aload: Use(pc, local(n)); stack.push_back(local(n)); break;
      case OP_iload_0: case OP_iload_1: case OP_iload_2: case OP_iload_3:
        stack.push_back(local(op - OP_iload_0));
        break;
      case OP_fload_0: case OP_fload_1: case OP_fload_2: case OP_fload_3:
        stack.push_back(local(op - OP_fload_0));
        break;
      case OP_lload_0: case OP_lload_1: case OP_lload_2: case OP_lload_3:
        stack.push_back(local(op - OP_lload_0));
        stack.push_back(local(op - OP_lload_0 + 1));
        break;
      case OP_dload_0: case OP_dload_1: case OP_dload_2: case OP_dload_3:
        stack.push_back(local(op - OP_dload_0));
        stack.push_back(local(op - OP_dload_0 + 1));
        break;
      case OP_aload_0: case OP_aload_1: case OP_aload_2: case OP_aload_3:
        Use(pc, local(op - OP_aload_0));
        stack.push_back(local(op - OP_aload_0));
        break;
      case OP_iaload: case OP_faload: case OP_baload: case OP_caload: case OP_saload:
        PopN(pc, 2); PushInt(1); break;
      case OP_laload: case OP_daload: PopN(pc, 2); PushInt(2); break;
      case OP_aaload: PopN(pc, 2); stack.push_back(Fresh(true)); break;
      case OP_istore: case OP_fstore: case OP_astore: local(n) = Pop(pc); break;
      case OP_lstore: case OP_dstore: local(n + 1) = Pop(pc); local(n) = Pop(pc); break;
      case OP_istore_0: case OP_istore_1: case OP_istore_2: case OP_istore_3:
        local(op - OP_istore_0) = Pop(pc); break;
      case OP_fstore_0: case OP_fstore_1: case OP_fstore_2: case OP_fstore_3:
        local(op - OP_fstore_0) = Pop(pc); break;
      case OP_astore_0: case OP_astore_1: case OP_astore_2: case OP_astore_3:
        local(op - OP_astore_0) = Pop(pc); break;
      case OP_lstore_0: case OP_lstore_1: case OP_lstore_2: case OP_lstore_3:
        local(op - OP_lstore_0 + 1) = Pop(pc); local(op - OP_lstore_0) = Pop(pc); break;
      case OP_dstore_0: case OP_dstore_1: case OP_dstore_2: case OP_dstore_3:
        local(op - OP_dstore_0 + 1) = Pop(pc); local(op - OP_dstore_0) = Pop(pc); break;
      case OP_iastore: case OP_fastore: case OP_bastore: case OP_castore: case OP_sastore:
        PopN(pc, 3); break;
      case OP_lastore: case OP_dastore: PopN(pc, 4); break;
      case OP_aastore: Escape(pc, Pop(pc)); PopN(pc, 2); break;
      case OP_pop: Pop(pc); break;
      case OP_pop2: Pop(pc); Pop(pc); break;
      case OP_dup: { Val a = Pop(pc); stack.push_back(a); stack.push_back(a); break; }
      case OP_dup_x1: { Val a = Pop(pc), b = Pop(pc); stack.insert(stack.end(), {a, b, a}); break; }
      case OP_dup_x2: { Val a = Pop(pc), b = Pop(pc), c = Pop(pc); stack.insert(stack.end(), {a, c, b, a}); break; }
      case OP_dup2: { Val a = Pop(pc), b = Pop(pc); stack.insert(stack.end(), {b, a, b, a}); break; }
      case OP_dup2_x1: { Val a = Pop(pc), b = Pop(pc), c = Pop(pc); stack.insert(stack.end(), {b, a, c, b, a}); break; }
      case OP_dup2_x2: {
        Val a = Pop(pc), b = Pop(pc), c = Pop(pc), d = Pop(pc);
        stack.insert(stack.end(), {b, a, d, c, b, a});
        break;
      }
      case OP_swap: { Val a = Pop(pc), b = Pop(pc); stack.insert(stack.end(), {a, b}); break; }
      case OP_iadd: case OP_fadd: case OP_isub: case OP_fsub: case OP_imul: case OP_fmul:
      case OP_idiv: case OP_fdiv: case OP_irem: case OP_frem: case OP_ishl: case OP_ishr:
      case OP_iushr: case OP_iand: case OP_ior: case OP_ixor: case OP_fcmpl: case OP_fcmpg:
      case OP_l2i: case OP_l2f: case OP_d2i: case OP_d2f:
        PopN(pc, 2); PushInt(1); break;
      case OP_ladd: case OP_dadd: case OP_lsub: case OP_dsub: case OP_lmul: case OP_dmul:
      case OP_ldiv: case OP_ddiv: case OP_lrem: case OP_drem: case OP_land: case OP_lor: case OP_lxor:
        PopN(pc, 4); PushInt(2); break;
      case OP_lshl: case OP_lshr: case OP_lushr: PopN(pc, 3); PushInt(2); break;
      case OP_lcmp: case OP_dcmpl: case OP_dcmpg: PopN(pc, 4); PushInt(1); break;
      case OP_ineg: case OP_fneg: case OP_i2f: case OP_f2i: case OP_i2b: case OP_i2c: case OP_i2s:
        PopN(pc, 1); PushInt(1); break;
      case OP_lneg: case OP_dneg: case OP_l2d: case OP_d2l: PopN(pc, 2); PushInt(2); break;
      case OP_i2l: case OP_i2d: case OP_f2l: case OP_f2d: PopN(pc, 1); PushInt(2); break;
      case OP_iinc: local(n) = Val{INT, 0}; break;
      case OP_ifeq: case OP_ifne: case OP_iflt: case OP_ifge: case OP_ifgt: case OP_ifle:
      case OP_ifnull: case OP_ifnonnull:
        PopUse(pc);
        if (Chance(50)) next = pc + code.S2(pc + 1);
        break;
      case OP_if_icmpeq: case OP_if_icmpne: case OP_if_icmplt: case OP_if_icmpge: case OP_if_icmpgt:
      case OP_if_icmple: case OP_if_acmpeq: case OP_if_acmpne:
        PopN(pc, 2);
        if (Chance(50)) next = pc + code.S2(pc + 1);
        break;
      case OP_goto: next = pc + code.S2(pc + 1); break;
      case OP_goto_w: next = pc + code.S4(pc + 1); break;
      case OP_jsr: stack.push_back(Val{RA, next}); next = pc + code.S2(pc + 1); break;
      case OP_jsr_w: stack.push_back(Val{RA, next}); next = pc + code.S4(pc + 1); break;
      case OP_ret:
        if (local(n).k != RA) {
          Fail(pc, "ret of a local without a return address");
          return false;
        }
        next = local(n).v;
        break;
      case OP_tableswitch: case OP_lookupswitch: {
        PopUse(pc);
        uint32_t p = (pc + 4) & ~3u;
        uint32_t cases = op == OP_tableswitch ? (uint32_t)(code.S4(p + 8) - code.S4(p + 4) + 1) : (uint32_t)code.S4(p + 4);
        uint32_t pick = rng() % (cases + 1);
        if (pick == cases)
          next = pc + code.S4(p);
        else
          next = pc + code.S4(op == OP_tableswitch ? p + 12 + 4 * pick : p + 8 + 8 * pick + 4);
        break;
      }
      case OP_ireturn: case OP_freturn: case OP_areturn: PopUse(pc); return false;
      case OP_lreturn: case OP_dreturn: PopN(pc, 2); return false;
      case OP_return: return false;
      case OP_getstatic: PushTyped(FirstChar(code.U2(pc + 1)), true); break;
      case OP_putstatic: {
        jchar c = FirstChar(code.U2(pc + 1));
        if (c == 'J' || c == 'D') PopN(pc, 2); else Escape(pc, Pop(pc));
        break;
      }
      case OP_getfield: PopUse(pc); PushTyped(FirstChar(code.U2(pc + 1)), true); break;
      case OP_putfield: {
        jchar c = FirstChar(code.U2(pc + 1));
        if (c == 'J' || c == 'D') PopN(pc, 2); else Escape(pc, Pop(pc));
        PopUse(pc);
        break;
      }
      case OP_invokevirtual: case OP_invokespecial: case OP_invokestatic: case OP_invokeinterface: {
        VMMethod::SignatureInfo call = {};
        VMMethod::ClassifySignature(pool->GetConstSignature(cls, code.U2(pc + 1)), op == OP_invokestatic, &call);
        for (uint32_t i = 0; i < call.parameterWords; i++) Escape(pc, Pop(pc));
        // The frame as the callee's collections see it: past the call, arguments gone.
        Check(next, true);
        if (!error.empty()) return false;
        PushTyped(call.returnChar, false);
        break;
      }
      case OP_new: stack.push_back(Fresh(false)); break;
      case OP_newarray: case OP_anewarray: PopN(pc, 1); stack.push_back(Fresh(false)); break;
      case OP_arraylength: PopN(pc, 1); PushInt(1); break;
      case OP_checkcast: Use(pc, stack.empty() ? Val{INT, 0} : stack.back()); break;
      case OP_instanceof: PopN(pc, 1); PushInt(1); break;
      case OP_monitorenter: case OP_monitorexit: PopN(pc, 1); break;
      case OP_multianewarray: PopN(pc, code.At(pc + 3)); stack.push_back(Fresh(false)); break;
      default:
        Fail(pc, "opcode " + std::to_string(op) + " not walked");
        return false;
    }
    pc = next;
    return error.empty();
  }
};

}  // namespace

std::string WalkMethod(VMMethod* method, uint32_t paths, uint32_t seed, uint32_t* steps) {
  Walker w(method, seed);
  return w.Run(paths, steps);
}

}  // namespace flow_test
