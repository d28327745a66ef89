/* The opcode space of the interpreter: the JVM instructions 0x00-0xC9, the breakpoint
   0xCA and the machine's own quick forms 0xCB-0xD7, with the length of each instruction.

   After the load-time pass every multi-byte operand of a method's code is in host order,
   so handlers read 16- and 32-bit operands with a plain load. */
#ifndef PUX_VMOPDEFINITION_H
#define PUX_VMOPDEFINITION_H

#include <stdint.h>

enum VMOpcode : uint8_t {
  OP_nop = 0x00, OP_aconst_null = 0x01, OP_iconst_m1 = 0x02, OP_iconst_0 = 0x03,
  OP_iconst_1 = 0x04, OP_iconst_2 = 0x05, OP_iconst_3 = 0x06, OP_iconst_4 = 0x07,
  OP_iconst_5 = 0x08, OP_lconst_0 = 0x09, OP_lconst_1 = 0x0A, OP_fconst_0 = 0x0B,
  OP_fconst_1 = 0x0C, OP_fconst_2 = 0x0D, OP_dconst_0 = 0x0E, OP_dconst_1 = 0x0F,
  OP_bipush = 0x10, OP_sipush = 0x11, OP_ldc = 0x12, OP_ldc_w = 0x13, OP_ldc2_w = 0x14,
  OP_iload = 0x15, OP_lload = 0x16, OP_fload = 0x17, OP_dload = 0x18, OP_aload = 0x19,
  OP_iload_0 = 0x1A, OP_iload_1 = 0x1B, OP_iload_2 = 0x1C, OP_iload_3 = 0x1D,
  OP_lload_0 = 0x1E, OP_lload_1 = 0x1F, OP_lload_2 = 0x20, OP_lload_3 = 0x21,
  OP_fload_0 = 0x22, OP_fload_1 = 0x23, OP_fload_2 = 0x24, OP_fload_3 = 0x25,
  OP_dload_0 = 0x26, OP_dload_1 = 0x27, OP_dload_2 = 0x28, OP_dload_3 = 0x29,
  OP_aload_0 = 0x2A, OP_aload_1 = 0x2B, OP_aload_2 = 0x2C, OP_aload_3 = 0x2D,
  OP_iaload = 0x2E, OP_laload = 0x2F, OP_faload = 0x30, OP_daload = 0x31, OP_aaload = 0x32,
  OP_baload = 0x33, OP_caload = 0x34, OP_saload = 0x35,
  OP_istore = 0x36, OP_lstore = 0x37, OP_fstore = 0x38, OP_dstore = 0x39, OP_astore = 0x3A,
  OP_istore_0 = 0x3B, OP_istore_1 = 0x3C, OP_istore_2 = 0x3D, OP_istore_3 = 0x3E,
  OP_lstore_0 = 0x3F, OP_lstore_1 = 0x40, OP_lstore_2 = 0x41, OP_lstore_3 = 0x42,
  OP_fstore_0 = 0x43, OP_fstore_1 = 0x44, OP_fstore_2 = 0x45, OP_fstore_3 = 0x46,
  OP_dstore_0 = 0x47, OP_dstore_1 = 0x48, OP_dstore_2 = 0x49, OP_dstore_3 = 0x4A,
  OP_astore_0 = 0x4B, OP_astore_1 = 0x4C, OP_astore_2 = 0x4D, OP_astore_3 = 0x4E,
  OP_iastore = 0x4F, OP_lastore = 0x50, OP_fastore = 0x51, OP_dastore = 0x52,
  OP_aastore = 0x53, OP_bastore = 0x54, OP_castore = 0x55, OP_sastore = 0x56,
  OP_pop = 0x57, OP_pop2 = 0x58, OP_dup = 0x59, OP_dup_x1 = 0x5A, OP_dup_x2 = 0x5B,
  OP_dup2 = 0x5C, OP_dup2_x1 = 0x5D, OP_dup2_x2 = 0x5E, OP_swap = 0x5F,
  OP_iadd = 0x60, OP_ladd = 0x61, OP_fadd = 0x62, OP_dadd = 0x63,
  OP_isub = 0x64, OP_lsub = 0x65, OP_fsub = 0x66, OP_dsub = 0x67,
  OP_imul = 0x68, OP_lmul = 0x69, OP_fmul = 0x6A, OP_dmul = 0x6B,
  OP_idiv = 0x6C, OP_ldiv = 0x6D, OP_fdiv = 0x6E, OP_ddiv = 0x6F,
  OP_irem = 0x70, OP_lrem = 0x71, OP_frem = 0x72, OP_drem = 0x73,
  OP_ineg = 0x74, OP_lneg = 0x75, OP_fneg = 0x76, OP_dneg = 0x77,
  OP_ishl = 0x78, OP_lshl = 0x79, OP_ishr = 0x7A, OP_lshr = 0x7B, OP_iushr = 0x7C,
  OP_lushr = 0x7D, OP_iand = 0x7E, OP_land = 0x7F, OP_ior = 0x80, OP_lor = 0x81,
  OP_ixor = 0x82, OP_lxor = 0x83, OP_iinc = 0x84,
  OP_i2l = 0x85, OP_i2f = 0x86, OP_i2d = 0x87, OP_l2i = 0x88, OP_l2f = 0x89, OP_l2d = 0x8A,
  OP_f2i = 0x8B, OP_f2l = 0x8C, OP_f2d = 0x8D, OP_d2i = 0x8E, OP_d2l = 0x8F, OP_d2f = 0x90,
  OP_i2b = 0x91, OP_i2c = 0x92, OP_i2s = 0x93,
  OP_lcmp = 0x94, OP_fcmpl = 0x95, OP_fcmpg = 0x96, OP_dcmpl = 0x97, OP_dcmpg = 0x98,
  OP_ifeq = 0x99, OP_ifne = 0x9A, OP_iflt = 0x9B, OP_ifge = 0x9C, OP_ifgt = 0x9D,
  OP_ifle = 0x9E, OP_if_icmpeq = 0x9F, OP_if_icmpne = 0xA0, OP_if_icmplt = 0xA1,
  OP_if_icmpge = 0xA2, OP_if_icmpgt = 0xA3, OP_if_icmple = 0xA4, OP_if_acmpeq = 0xA5,
  OP_if_acmpne = 0xA6, OP_goto = 0xA7, OP_jsr = 0xA8, OP_ret = 0xA9,
  OP_tableswitch = 0xAA, OP_lookupswitch = 0xAB,
  OP_ireturn = 0xAC, OP_lreturn = 0xAD, OP_freturn = 0xAE, OP_dreturn = 0xAF,
  OP_areturn = 0xB0, OP_return = 0xB1,
  OP_getstatic = 0xB2, OP_putstatic = 0xB3, OP_getfield = 0xB4, OP_putfield = 0xB5,
  OP_invokevirtual = 0xB6, OP_invokespecial = 0xB7, OP_invokestatic = 0xB8,
  OP_invokeinterface = 0xB9, OP_unused_ba = 0xBA, OP_new = 0xBB, OP_newarray = 0xBC,
  OP_anewarray = 0xBD, OP_arraylength = 0xBE, OP_athrow = 0xBF, OP_checkcast = 0xC0,
  OP_instanceof = 0xC1, OP_monitorenter = 0xC2, OP_monitorexit = 0xC3, OP_wide = 0xC4,
  OP_multianewarray = 0xC5, OP_ifnull = 0xC6, OP_ifnonnull = 0xC7, OP_goto_w = 0xC8,
  OP_jsr_w = 0xC9,
  OP_breakpoint = 0xCA,
  OP_invokevirtual_quick = 0xCB, OP_getfield_quick = 0xCC, OP_putfield_quick = 0xCD,
  OP_getfield2_quick = 0xCE, OP_putfield2_quick = 0xCF, OP_agetfield_quick = 0xD0,
  OP_aputfield_quick = 0xD1, OP_getstatic_quick = 0xD2, OP_putstatic_quick = 0xD3,
  OP_getstatic2_quick = 0xD4, OP_putstatic2_quick = 0xD5, OP_agetstatic_quick = 0xD6,
  OP_aputstatic_quick = 0xD7,
};

enum : uint32_t { VMOpcodeCount = 216, VMLastOpcode = 0xD7 };

/* Bytes an instruction occupies. The variable-length ones count their fixed part with the
   largest padding (tableswitch 16, lookupswitch 12) and wide its longest form (wide iinc,
   6), so that an instruction split over two pieces of a code array can be gathered into
   a buffer of this size before its true length is known. */
inline constexpr uint8_t VMOpcodeLength[VMOpcodeCount] = {
    /* 0x00 */ 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    /* 0x10 */ 2, 3, 2, 3, 3, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1,
    /* 0x20 */ 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    /* 0x30 */ 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1,
    /* 0x40 */ 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    /* 0x50 */ 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    /* 0x60 */ 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    /* 0x70 */ 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    /* 0x80 */ 1, 1, 1, 1, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    /* 0x90 */ 1, 1, 1, 1, 1, 1, 1, 1, 1, 3, 3, 3, 3, 3, 3, 3,
    /* 0xA0 */ 3, 3, 3, 3, 3, 3, 3, 3, 3, 2, 16, 12, 1, 1, 1, 1,
    /* 0xB0 */ 1, 1, 3, 3, 3, 3, 3, 3, 3, 5, 1, 3, 2, 3, 1, 1,
    /* 0xC0 */ 3, 3, 1, 1, 6, 4, 3, 3, 5, 5, 1, 3, 3, 3, 3, 3,
    /* 0xD0 */ 3, 3, 3, 3, 3, 3, 3, 3,
};

static_assert(sizeof(VMOpcodeLength) == 216, "one length per opcode");

#endif
