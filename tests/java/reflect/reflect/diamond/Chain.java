package reflect.diamond;

/* Ten diamonds in a chain: D_k extends R_k and L_k, which both extend D_(k-1); each L_k
   redeclares m and each R_k redeclares n, D0 declaring both. Walked from T, the right
   side of every diamond comes first and reaches D0 along 1024 paths before any L_k:
   only L10.m and R10.n are T's methods, whatever the walk met before them. */
interface D0 { void m(); void n(); }
interface L1 extends D0 { void m(); }
interface R1 extends D0 { void n(); }
interface D1 extends R1, L1 { }
interface L2 extends D1 { void m(); }
interface R2 extends D1 { void n(); }
interface D2 extends R2, L2 { }
interface L3 extends D2 { void m(); }
interface R3 extends D2 { void n(); }
interface D3 extends R3, L3 { }
interface L4 extends D3 { void m(); }
interface R4 extends D3 { void n(); }
interface D4 extends R4, L4 { }
interface L5 extends D4 { void m(); }
interface R5 extends D4 { void n(); }
interface D5 extends R5, L5 { }
interface L6 extends D5 { void m(); }
interface R6 extends D5 { void n(); }
interface D6 extends R6, L6 { }
interface L7 extends D6 { void m(); }
interface R7 extends D6 { void n(); }
interface D7 extends R7, L7 { }
interface L8 extends D7 { void m(); }
interface R8 extends D7 { void n(); }
interface D8 extends R8, L8 { }
interface L9 extends D8 { void m(); }
interface R9 extends D8 { void n(); }
interface D9 extends R9, L9 { }
interface L10 extends D9 { void m(); }
interface R10 extends D9 { void n(); }
interface D10 extends R10, L10 { }
interface T extends D10 { }
