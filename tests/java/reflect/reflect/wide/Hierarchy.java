package reflect.wide;

/* A hierarchy whose paths outnumber its interfaces: W has 260 superinterfaces (more than a
   small fixed set of reached interfaces holds), and D10 tops a chain of ten diamonds
   (D_k extends L_k and R_k, which both extend D_{k-1}), so that D0, the one interface with
   a member of each kind, is reached along 1024 paths from T10. Every view of T10 and U10
   lists d0 and FD once. */
interface I0 { } interface I1 { } interface I2 { } interface I3 { } interface I4 { }
interface I5 { } interface I6 { } interface I7 { } interface I8 { } interface I9 { }
interface I10 { } interface I11 { } interface I12 { } interface I13 { } interface I14 { }
interface I15 { } interface I16 { } interface I17 { } interface I18 { } interface I19 { }
interface I20 { } interface I21 { } interface I22 { } interface I23 { } interface I24 { }
interface I25 { } interface I26 { } interface I27 { } interface I28 { } interface I29 { }
interface I30 { } interface I31 { } interface I32 { } interface I33 { } interface I34 { }
interface I35 { } interface I36 { } interface I37 { } interface I38 { } interface I39 { }
interface I40 { } interface I41 { } interface I42 { } interface I43 { } interface I44 { }
interface I45 { } interface I46 { } interface I47 { } interface I48 { } interface I49 { }
interface I50 { } interface I51 { } interface I52 { } interface I53 { } interface I54 { }
interface I55 { } interface I56 { } interface I57 { } interface I58 { } interface I59 { }
interface I60 { } interface I61 { } interface I62 { } interface I63 { } interface I64 { }
interface I65 { } interface I66 { } interface I67 { } interface I68 { } interface I69 { }
interface I70 { } interface I71 { } interface I72 { } interface I73 { } interface I74 { }
interface I75 { } interface I76 { } interface I77 { } interface I78 { } interface I79 { }
interface I80 { } interface I81 { } interface I82 { } interface I83 { } interface I84 { }
interface I85 { } interface I86 { } interface I87 { } interface I88 { } interface I89 { }
interface I90 { } interface I91 { } interface I92 { } interface I93 { } interface I94 { }
interface I95 { } interface I96 { } interface I97 { } interface I98 { } interface I99 { }
interface I100 { } interface I101 { } interface I102 { } interface I103 { } interface I104 { }
interface I105 { } interface I106 { } interface I107 { } interface I108 { } interface I109 { }
interface I110 { } interface I111 { } interface I112 { } interface I113 { } interface I114 { }
interface I115 { } interface I116 { } interface I117 { } interface I118 { } interface I119 { }
interface I120 { } interface I121 { } interface I122 { } interface I123 { } interface I124 { }
interface I125 { } interface I126 { } interface I127 { } interface I128 { } interface I129 { }
interface I130 { } interface I131 { } interface I132 { } interface I133 { } interface I134 { }
interface I135 { } interface I136 { } interface I137 { } interface I138 { } interface I139 { }
interface I140 { } interface I141 { } interface I142 { } interface I143 { } interface I144 { }
interface I145 { } interface I146 { } interface I147 { } interface I148 { } interface I149 { }
interface I150 { } interface I151 { } interface I152 { } interface I153 { } interface I154 { }
interface I155 { } interface I156 { } interface I157 { } interface I158 { } interface I159 { }
interface I160 { } interface I161 { } interface I162 { } interface I163 { } interface I164 { }
interface I165 { } interface I166 { } interface I167 { } interface I168 { } interface I169 { }
interface I170 { } interface I171 { } interface I172 { } interface I173 { } interface I174 { }
interface I175 { } interface I176 { } interface I177 { } interface I178 { } interface I179 { }
interface I180 { } interface I181 { } interface I182 { } interface I183 { } interface I184 { }
interface I185 { } interface I186 { } interface I187 { } interface I188 { } interface I189 { }
interface I190 { } interface I191 { } interface I192 { } interface I193 { } interface I194 { }
interface I195 { } interface I196 { } interface I197 { } interface I198 { } interface I199 { }
interface I200 { } interface I201 { } interface I202 { } interface I203 { } interface I204 { }
interface I205 { } interface I206 { } interface I207 { } interface I208 { } interface I209 { }
interface I210 { } interface I211 { } interface I212 { } interface I213 { } interface I214 { }
interface I215 { } interface I216 { } interface I217 { } interface I218 { } interface I219 { }
interface I220 { } interface I221 { } interface I222 { } interface I223 { } interface I224 { }
interface I225 { } interface I226 { } interface I227 { } interface I228 { } interface I229 { }
interface I230 { } interface I231 { } interface I232 { } interface I233 { } interface I234 { }
interface I235 { } interface I236 { } interface I237 { } interface I238 { } interface I239 { }
interface I240 { } interface I241 { } interface I242 { } interface I243 { } interface I244 { }
interface I245 { } interface I246 { } interface I247 { } interface I248 { } interface I249 { }
interface I250 { } interface I251 { } interface I252 { } interface I253 { } interface I254 { }
interface I255 { } interface I256 { } interface I257 { } interface I258 { } interface I259 { }
interface W extends I0, I1, I2, I3, I4, I5, I6, I7, I8, I9, I10, I11, I12, I13, I14, I15, I16, I17,
    I18, I19, I20, I21, I22, I23, I24, I25, I26, I27, I28, I29, I30, I31, I32, I33, I34, I35, I36,
    I37, I38, I39, I40, I41, I42, I43, I44, I45, I46, I47, I48, I49, I50, I51, I52, I53, I54, I55,
    I56, I57, I58, I59, I60, I61, I62, I63, I64, I65, I66, I67, I68, I69, I70, I71, I72, I73, I74,
    I75, I76, I77, I78, I79, I80, I81, I82, I83, I84, I85, I86, I87, I88, I89, I90, I91, I92, I93,
    I94, I95, I96, I97, I98, I99, I100, I101, I102, I103, I104, I105, I106, I107, I108, I109, I110,
    I111, I112, I113, I114, I115, I116, I117, I118, I119, I120, I121, I122, I123, I124, I125, I126,
    I127, I128, I129, I130, I131, I132, I133, I134, I135, I136, I137, I138, I139, I140, I141, I142,
    I143, I144, I145, I146, I147, I148, I149, I150, I151, I152, I153, I154, I155, I156, I157, I158,
    I159, I160, I161, I162, I163, I164, I165, I166, I167, I168, I169, I170, I171, I172, I173, I174,
    I175, I176, I177, I178, I179, I180, I181, I182, I183, I184, I185, I186, I187, I188, I189, I190,
    I191, I192, I193, I194, I195, I196, I197, I198, I199, I200, I201, I202, I203, I204, I205, I206,
    I207, I208, I209, I210, I211, I212, I213, I214, I215, I216, I217, I218, I219, I220, I221, I222,
    I223, I224, I225, I226, I227, I228, I229, I230, I231, I232, I233, I234, I235, I236, I237, I238,
    I239, I240, I241, I242, I243, I244, I245, I246, I247, I248, I249, I250, I251, I252, I253, I254,
    I255, I256, I257, I258, I259 { }
interface D0 { int FD = 1; void d0(); }
interface L1 extends D0 { } interface R1 extends D0 { } interface D1 extends L1, R1 { }
interface L2 extends D1 { } interface R2 extends D1 { } interface D2 extends L2, R2 { }
interface L3 extends D2 { } interface R3 extends D2 { } interface D3 extends L3, R3 { }
interface L4 extends D3 { } interface R4 extends D3 { } interface D4 extends L4, R4 { }
interface L5 extends D4 { } interface R5 extends D4 { } interface D5 extends L5, R5 { }
interface L6 extends D5 { } interface R6 extends D5 { } interface D6 extends L6, R6 { }
interface L7 extends D6 { } interface R7 extends D6 { } interface D7 extends L7, R7 { }
interface L8 extends D7 { } interface R8 extends D7 { } interface D8 extends L8, R8 { }
interface L9 extends D8 { } interface R9 extends D8 { } interface D9 extends L9, R9 { }
interface L10 extends D9 { } interface R10 extends D9 { } interface D10 extends L10, R10 { }
interface T10 extends W, D10 { }
interface U10 extends D10 { }
abstract class C10 implements T10, U10 { }
