package interp;

/* More classes with statics than a machine's static-data array keeps in its block:
   class numbers run past 194, where the array's elements lie in pieces. Each class
   computes its value in its initialiser (no constant attribute). */
public class ManyStatics {
    static int one() { return 1; }

    public static int cases() { return 320; }

    /* The static of class k, read through getstatic. */
    public static int i(int k) {
        switch (k) {
            case 0: return Many0.v;
            case 1: return Many1.v;
            case 2: return Many2.v;
            case 3: return Many3.v;
            case 4: return Many4.v;
            case 5: return Many5.v;
            case 6: return Many6.v;
            case 7: return Many7.v;
            case 8: return Many8.v;
            case 9: return Many9.v;
            case 10: return Many10.v;
            case 11: return Many11.v;
            case 12: return Many12.v;
            case 13: return Many13.v;
            case 14: return Many14.v;
            case 15: return Many15.v;
            case 16: return Many16.v;
            case 17: return Many17.v;
            case 18: return Many18.v;
            case 19: return Many19.v;
            case 20: return Many20.v;
            case 21: return Many21.v;
            case 22: return Many22.v;
            case 23: return Many23.v;
            case 24: return Many24.v;
            case 25: return Many25.v;
            case 26: return Many26.v;
            case 27: return Many27.v;
            case 28: return Many28.v;
            case 29: return Many29.v;
            case 30: return Many30.v;
            case 31: return Many31.v;
            case 32: return Many32.v;
            case 33: return Many33.v;
            case 34: return Many34.v;
            case 35: return Many35.v;
            case 36: return Many36.v;
            case 37: return Many37.v;
            case 38: return Many38.v;
            case 39: return Many39.v;
            case 40: return Many40.v;
            case 41: return Many41.v;
            case 42: return Many42.v;
            case 43: return Many43.v;
            case 44: return Many44.v;
            case 45: return Many45.v;
            case 46: return Many46.v;
            case 47: return Many47.v;
            case 48: return Many48.v;
            case 49: return Many49.v;
            case 50: return Many50.v;
            case 51: return Many51.v;
            case 52: return Many52.v;
            case 53: return Many53.v;
            case 54: return Many54.v;
            case 55: return Many55.v;
            case 56: return Many56.v;
            case 57: return Many57.v;
            case 58: return Many58.v;
            case 59: return Many59.v;
            case 60: return Many60.v;
            case 61: return Many61.v;
            case 62: return Many62.v;
            case 63: return Many63.v;
            case 64: return Many64.v;
            case 65: return Many65.v;
            case 66: return Many66.v;
            case 67: return Many67.v;
            case 68: return Many68.v;
            case 69: return Many69.v;
            case 70: return Many70.v;
            case 71: return Many71.v;
            case 72: return Many72.v;
            case 73: return Many73.v;
            case 74: return Many74.v;
            case 75: return Many75.v;
            case 76: return Many76.v;
            case 77: return Many77.v;
            case 78: return Many78.v;
            case 79: return Many79.v;
            case 80: return Many80.v;
            case 81: return Many81.v;
            case 82: return Many82.v;
            case 83: return Many83.v;
            case 84: return Many84.v;
            case 85: return Many85.v;
            case 86: return Many86.v;
            case 87: return Many87.v;
            case 88: return Many88.v;
            case 89: return Many89.v;
            case 90: return Many90.v;
            case 91: return Many91.v;
            case 92: return Many92.v;
            case 93: return Many93.v;
            case 94: return Many94.v;
            case 95: return Many95.v;
            case 96: return Many96.v;
            case 97: return Many97.v;
            case 98: return Many98.v;
            case 99: return Many99.v;
            case 100: return Many100.v;
            case 101: return Many101.v;
            case 102: return Many102.v;
            case 103: return Many103.v;
            case 104: return Many104.v;
            case 105: return Many105.v;
            case 106: return Many106.v;
            case 107: return Many107.v;
            case 108: return Many108.v;
            case 109: return Many109.v;
            case 110: return Many110.v;
            case 111: return Many111.v;
            case 112: return Many112.v;
            case 113: return Many113.v;
            case 114: return Many114.v;
            case 115: return Many115.v;
            case 116: return Many116.v;
            case 117: return Many117.v;
            case 118: return Many118.v;
            case 119: return Many119.v;
            case 120: return Many120.v;
            case 121: return Many121.v;
            case 122: return Many122.v;
            case 123: return Many123.v;
            case 124: return Many124.v;
            case 125: return Many125.v;
            case 126: return Many126.v;
            case 127: return Many127.v;
            case 128: return Many128.v;
            case 129: return Many129.v;
            case 130: return Many130.v;
            case 131: return Many131.v;
            case 132: return Many132.v;
            case 133: return Many133.v;
            case 134: return Many134.v;
            case 135: return Many135.v;
            case 136: return Many136.v;
            case 137: return Many137.v;
            case 138: return Many138.v;
            case 139: return Many139.v;
            case 140: return Many140.v;
            case 141: return Many141.v;
            case 142: return Many142.v;
            case 143: return Many143.v;
            case 144: return Many144.v;
            case 145: return Many145.v;
            case 146: return Many146.v;
            case 147: return Many147.v;
            case 148: return Many148.v;
            case 149: return Many149.v;
            case 150: return Many150.v;
            case 151: return Many151.v;
            case 152: return Many152.v;
            case 153: return Many153.v;
            case 154: return Many154.v;
            case 155: return Many155.v;
            case 156: return Many156.v;
            case 157: return Many157.v;
            case 158: return Many158.v;
            case 159: return Many159.v;
            case 160: return Many160.v;
            case 161: return Many161.v;
            case 162: return Many162.v;
            case 163: return Many163.v;
            case 164: return Many164.v;
            case 165: return Many165.v;
            case 166: return Many166.v;
            case 167: return Many167.v;
            case 168: return Many168.v;
            case 169: return Many169.v;
            case 170: return Many170.v;
            case 171: return Many171.v;
            case 172: return Many172.v;
            case 173: return Many173.v;
            case 174: return Many174.v;
            case 175: return Many175.v;
            case 176: return Many176.v;
            case 177: return Many177.v;
            case 178: return Many178.v;
            case 179: return Many179.v;
            case 180: return Many180.v;
            case 181: return Many181.v;
            case 182: return Many182.v;
            case 183: return Many183.v;
            case 184: return Many184.v;
            case 185: return Many185.v;
            case 186: return Many186.v;
            case 187: return Many187.v;
            case 188: return Many188.v;
            case 189: return Many189.v;
            case 190: return Many190.v;
            case 191: return Many191.v;
            case 192: return Many192.v;
            case 193: return Many193.v;
            case 194: return Many194.v;
            case 195: return Many195.v;
            case 196: return Many196.v;
            case 197: return Many197.v;
            case 198: return Many198.v;
            case 199: return Many199.v;
            case 200: return Many200.v;
            case 201: return Many201.v;
            case 202: return Many202.v;
            case 203: return Many203.v;
            case 204: return Many204.v;
            case 205: return Many205.v;
            case 206: return Many206.v;
            case 207: return Many207.v;
            case 208: return Many208.v;
            case 209: return Many209.v;
            case 210: return Many210.v;
            case 211: return Many211.v;
            case 212: return Many212.v;
            case 213: return Many213.v;
            case 214: return Many214.v;
            case 215: return Many215.v;
            case 216: return Many216.v;
            case 217: return Many217.v;
            case 218: return Many218.v;
            case 219: return Many219.v;
            case 220: return Many220.v;
            case 221: return Many221.v;
            case 222: return Many222.v;
            case 223: return Many223.v;
            case 224: return Many224.v;
            case 225: return Many225.v;
            case 226: return Many226.v;
            case 227: return Many227.v;
            case 228: return Many228.v;
            case 229: return Many229.v;
            case 230: return Many230.v;
            case 231: return Many231.v;
            case 232: return Many232.v;
            case 233: return Many233.v;
            case 234: return Many234.v;
            case 235: return Many235.v;
            case 236: return Many236.v;
            case 237: return Many237.v;
            case 238: return Many238.v;
            case 239: return Many239.v;
            case 240: return Many240.v;
            case 241: return Many241.v;
            case 242: return Many242.v;
            case 243: return Many243.v;
            case 244: return Many244.v;
            case 245: return Many245.v;
            case 246: return Many246.v;
            case 247: return Many247.v;
            case 248: return Many248.v;
            case 249: return Many249.v;
            case 250: return Many250.v;
            case 251: return Many251.v;
            case 252: return Many252.v;
            case 253: return Many253.v;
            case 254: return Many254.v;
            case 255: return Many255.v;
            case 256: return Many256.v;
            case 257: return Many257.v;
            case 258: return Many258.v;
            case 259: return Many259.v;
            case 260: return Many260.v;
            case 261: return Many261.v;
            case 262: return Many262.v;
            case 263: return Many263.v;
            case 264: return Many264.v;
            case 265: return Many265.v;
            case 266: return Many266.v;
            case 267: return Many267.v;
            case 268: return Many268.v;
            case 269: return Many269.v;
            case 270: return Many270.v;
            case 271: return Many271.v;
            case 272: return Many272.v;
            case 273: return Many273.v;
            case 274: return Many274.v;
            case 275: return Many275.v;
            case 276: return Many276.v;
            case 277: return Many277.v;
            case 278: return Many278.v;
            case 279: return Many279.v;
            case 280: return Many280.v;
            case 281: return Many281.v;
            case 282: return Many282.v;
            case 283: return Many283.v;
            case 284: return Many284.v;
            case 285: return Many285.v;
            case 286: return Many286.v;
            case 287: return Many287.v;
            case 288: return Many288.v;
            case 289: return Many289.v;
            case 290: return Many290.v;
            case 291: return Many291.v;
            case 292: return Many292.v;
            case 293: return Many293.v;
            case 294: return Many294.v;
            case 295: return Many295.v;
            case 296: return Many296.v;
            case 297: return Many297.v;
            case 298: return Many298.v;
            case 299: return Many299.v;
            case 300: return Many300.v;
            case 301: return Many301.v;
            case 302: return Many302.v;
            case 303: return Many303.v;
            case 304: return Many304.v;
            case 305: return Many305.v;
            case 306: return Many306.v;
            case 307: return Many307.v;
            case 308: return Many308.v;
            case 309: return Many309.v;
            case 310: return Many310.v;
            case 311: return Many311.v;
            case 312: return Many312.v;
            case 313: return Many313.v;
            case 314: return Many314.v;
            case 315: return Many315.v;
            case 316: return Many316.v;
            case 317: return Many317.v;
            case 318: return Many318.v;
            case 319: return Many319.v;
        }
        return -777;
    }

    /* How many classes hold a wrong value, every class read twice. */
    public static int wrong() {
        int bad = 0;
        for (int round = 0; round < 2; round++) {
            for (int k = 0; k < 320; k++) {
                if (i(k) != 7 * k + 1) bad++;
            }
        }
        return bad;
    }
}

class Many0 { static int v = ManyStatics.one() * 1; }
class Many1 { static int v = ManyStatics.one() * 8; }
class Many2 { static int v = ManyStatics.one() * 15; }
class Many3 { static int v = ManyStatics.one() * 22; }
class Many4 { static int v = ManyStatics.one() * 29; }
class Many5 { static int v = ManyStatics.one() * 36; }
class Many6 { static int v = ManyStatics.one() * 43; }
class Many7 { static int v = ManyStatics.one() * 50; }
class Many8 { static int v = ManyStatics.one() * 57; }
class Many9 { static int v = ManyStatics.one() * 64; }
class Many10 { static int v = ManyStatics.one() * 71; }
class Many11 { static int v = ManyStatics.one() * 78; }
class Many12 { static int v = ManyStatics.one() * 85; }
class Many13 { static int v = ManyStatics.one() * 92; }
class Many14 { static int v = ManyStatics.one() * 99; }
class Many15 { static int v = ManyStatics.one() * 106; }
class Many16 { static int v = ManyStatics.one() * 113; }
class Many17 { static int v = ManyStatics.one() * 120; }
class Many18 { static int v = ManyStatics.one() * 127; }
class Many19 { static int v = ManyStatics.one() * 134; }
class Many20 { static int v = ManyStatics.one() * 141; }
class Many21 { static int v = ManyStatics.one() * 148; }
class Many22 { static int v = ManyStatics.one() * 155; }
class Many23 { static int v = ManyStatics.one() * 162; }
class Many24 { static int v = ManyStatics.one() * 169; }
class Many25 { static int v = ManyStatics.one() * 176; }
class Many26 { static int v = ManyStatics.one() * 183; }
class Many27 { static int v = ManyStatics.one() * 190; }
class Many28 { static int v = ManyStatics.one() * 197; }
class Many29 { static int v = ManyStatics.one() * 204; }
class Many30 { static int v = ManyStatics.one() * 211; }
class Many31 { static int v = ManyStatics.one() * 218; }
class Many32 { static int v = ManyStatics.one() * 225; }
class Many33 { static int v = ManyStatics.one() * 232; }
class Many34 { static int v = ManyStatics.one() * 239; }
class Many35 { static int v = ManyStatics.one() * 246; }
class Many36 { static int v = ManyStatics.one() * 253; }
class Many37 { static int v = ManyStatics.one() * 260; }
class Many38 { static int v = ManyStatics.one() * 267; }
class Many39 { static int v = ManyStatics.one() * 274; }
class Many40 { static int v = ManyStatics.one() * 281; }
class Many41 { static int v = ManyStatics.one() * 288; }
class Many42 { static int v = ManyStatics.one() * 295; }
class Many43 { static int v = ManyStatics.one() * 302; }
class Many44 { static int v = ManyStatics.one() * 309; }
class Many45 { static int v = ManyStatics.one() * 316; }
class Many46 { static int v = ManyStatics.one() * 323; }
class Many47 { static int v = ManyStatics.one() * 330; }
class Many48 { static int v = ManyStatics.one() * 337; }
class Many49 { static int v = ManyStatics.one() * 344; }
class Many50 { static int v = ManyStatics.one() * 351; }
class Many51 { static int v = ManyStatics.one() * 358; }
class Many52 { static int v = ManyStatics.one() * 365; }
class Many53 { static int v = ManyStatics.one() * 372; }
class Many54 { static int v = ManyStatics.one() * 379; }
class Many55 { static int v = ManyStatics.one() * 386; }
class Many56 { static int v = ManyStatics.one() * 393; }
class Many57 { static int v = ManyStatics.one() * 400; }
class Many58 { static int v = ManyStatics.one() * 407; }
class Many59 { static int v = ManyStatics.one() * 414; }
class Many60 { static int v = ManyStatics.one() * 421; }
class Many61 { static int v = ManyStatics.one() * 428; }
class Many62 { static int v = ManyStatics.one() * 435; }
class Many63 { static int v = ManyStatics.one() * 442; }
class Many64 { static int v = ManyStatics.one() * 449; }
class Many65 { static int v = ManyStatics.one() * 456; }
class Many66 { static int v = ManyStatics.one() * 463; }
class Many67 { static int v = ManyStatics.one() * 470; }
class Many68 { static int v = ManyStatics.one() * 477; }
class Many69 { static int v = ManyStatics.one() * 484; }
class Many70 { static int v = ManyStatics.one() * 491; }
class Many71 { static int v = ManyStatics.one() * 498; }
class Many72 { static int v = ManyStatics.one() * 505; }
class Many73 { static int v = ManyStatics.one() * 512; }
class Many74 { static int v = ManyStatics.one() * 519; }
class Many75 { static int v = ManyStatics.one() * 526; }
class Many76 { static int v = ManyStatics.one() * 533; }
class Many77 { static int v = ManyStatics.one() * 540; }
class Many78 { static int v = ManyStatics.one() * 547; }
class Many79 { static int v = ManyStatics.one() * 554; }
class Many80 { static int v = ManyStatics.one() * 561; }
class Many81 { static int v = ManyStatics.one() * 568; }
class Many82 { static int v = ManyStatics.one() * 575; }
class Many83 { static int v = ManyStatics.one() * 582; }
class Many84 { static int v = ManyStatics.one() * 589; }
class Many85 { static int v = ManyStatics.one() * 596; }
class Many86 { static int v = ManyStatics.one() * 603; }
class Many87 { static int v = ManyStatics.one() * 610; }
class Many88 { static int v = ManyStatics.one() * 617; }
class Many89 { static int v = ManyStatics.one() * 624; }
class Many90 { static int v = ManyStatics.one() * 631; }
class Many91 { static int v = ManyStatics.one() * 638; }
class Many92 { static int v = ManyStatics.one() * 645; }
class Many93 { static int v = ManyStatics.one() * 652; }
class Many94 { static int v = ManyStatics.one() * 659; }
class Many95 { static int v = ManyStatics.one() * 666; }
class Many96 { static int v = ManyStatics.one() * 673; }
class Many97 { static int v = ManyStatics.one() * 680; }
class Many98 { static int v = ManyStatics.one() * 687; }
class Many99 { static int v = ManyStatics.one() * 694; }
class Many100 { static int v = ManyStatics.one() * 701; }
class Many101 { static int v = ManyStatics.one() * 708; }
class Many102 { static int v = ManyStatics.one() * 715; }
class Many103 { static int v = ManyStatics.one() * 722; }
class Many104 { static int v = ManyStatics.one() * 729; }
class Many105 { static int v = ManyStatics.one() * 736; }
class Many106 { static int v = ManyStatics.one() * 743; }
class Many107 { static int v = ManyStatics.one() * 750; }
class Many108 { static int v = ManyStatics.one() * 757; }
class Many109 { static int v = ManyStatics.one() * 764; }
class Many110 { static int v = ManyStatics.one() * 771; }
class Many111 { static int v = ManyStatics.one() * 778; }
class Many112 { static int v = ManyStatics.one() * 785; }
class Many113 { static int v = ManyStatics.one() * 792; }
class Many114 { static int v = ManyStatics.one() * 799; }
class Many115 { static int v = ManyStatics.one() * 806; }
class Many116 { static int v = ManyStatics.one() * 813; }
class Many117 { static int v = ManyStatics.one() * 820; }
class Many118 { static int v = ManyStatics.one() * 827; }
class Many119 { static int v = ManyStatics.one() * 834; }
class Many120 { static int v = ManyStatics.one() * 841; }
class Many121 { static int v = ManyStatics.one() * 848; }
class Many122 { static int v = ManyStatics.one() * 855; }
class Many123 { static int v = ManyStatics.one() * 862; }
class Many124 { static int v = ManyStatics.one() * 869; }
class Many125 { static int v = ManyStatics.one() * 876; }
class Many126 { static int v = ManyStatics.one() * 883; }
class Many127 { static int v = ManyStatics.one() * 890; }
class Many128 { static int v = ManyStatics.one() * 897; }
class Many129 { static int v = ManyStatics.one() * 904; }
class Many130 { static int v = ManyStatics.one() * 911; }
class Many131 { static int v = ManyStatics.one() * 918; }
class Many132 { static int v = ManyStatics.one() * 925; }
class Many133 { static int v = ManyStatics.one() * 932; }
class Many134 { static int v = ManyStatics.one() * 939; }
class Many135 { static int v = ManyStatics.one() * 946; }
class Many136 { static int v = ManyStatics.one() * 953; }
class Many137 { static int v = ManyStatics.one() * 960; }
class Many138 { static int v = ManyStatics.one() * 967; }
class Many139 { static int v = ManyStatics.one() * 974; }
class Many140 { static int v = ManyStatics.one() * 981; }
class Many141 { static int v = ManyStatics.one() * 988; }
class Many142 { static int v = ManyStatics.one() * 995; }
class Many143 { static int v = ManyStatics.one() * 1002; }
class Many144 { static int v = ManyStatics.one() * 1009; }
class Many145 { static int v = ManyStatics.one() * 1016; }
class Many146 { static int v = ManyStatics.one() * 1023; }
class Many147 { static int v = ManyStatics.one() * 1030; }
class Many148 { static int v = ManyStatics.one() * 1037; }
class Many149 { static int v = ManyStatics.one() * 1044; }
class Many150 { static int v = ManyStatics.one() * 1051; }
class Many151 { static int v = ManyStatics.one() * 1058; }
class Many152 { static int v = ManyStatics.one() * 1065; }
class Many153 { static int v = ManyStatics.one() * 1072; }
class Many154 { static int v = ManyStatics.one() * 1079; }
class Many155 { static int v = ManyStatics.one() * 1086; }
class Many156 { static int v = ManyStatics.one() * 1093; }
class Many157 { static int v = ManyStatics.one() * 1100; }
class Many158 { static int v = ManyStatics.one() * 1107; }
class Many159 { static int v = ManyStatics.one() * 1114; }
class Many160 { static int v = ManyStatics.one() * 1121; }
class Many161 { static int v = ManyStatics.one() * 1128; }
class Many162 { static int v = ManyStatics.one() * 1135; }
class Many163 { static int v = ManyStatics.one() * 1142; }
class Many164 { static int v = ManyStatics.one() * 1149; }
class Many165 { static int v = ManyStatics.one() * 1156; }
class Many166 { static int v = ManyStatics.one() * 1163; }
class Many167 { static int v = ManyStatics.one() * 1170; }
class Many168 { static int v = ManyStatics.one() * 1177; }
class Many169 { static int v = ManyStatics.one() * 1184; }
class Many170 { static int v = ManyStatics.one() * 1191; }
class Many171 { static int v = ManyStatics.one() * 1198; }
class Many172 { static int v = ManyStatics.one() * 1205; }
class Many173 { static int v = ManyStatics.one() * 1212; }
class Many174 { static int v = ManyStatics.one() * 1219; }
class Many175 { static int v = ManyStatics.one() * 1226; }
class Many176 { static int v = ManyStatics.one() * 1233; }
class Many177 { static int v = ManyStatics.one() * 1240; }
class Many178 { static int v = ManyStatics.one() * 1247; }
class Many179 { static int v = ManyStatics.one() * 1254; }
class Many180 { static int v = ManyStatics.one() * 1261; }
class Many181 { static int v = ManyStatics.one() * 1268; }
class Many182 { static int v = ManyStatics.one() * 1275; }
class Many183 { static int v = ManyStatics.one() * 1282; }
class Many184 { static int v = ManyStatics.one() * 1289; }
class Many185 { static int v = ManyStatics.one() * 1296; }
class Many186 { static int v = ManyStatics.one() * 1303; }
class Many187 { static int v = ManyStatics.one() * 1310; }
class Many188 { static int v = ManyStatics.one() * 1317; }
class Many189 { static int v = ManyStatics.one() * 1324; }
class Many190 { static int v = ManyStatics.one() * 1331; }
class Many191 { static int v = ManyStatics.one() * 1338; }
class Many192 { static int v = ManyStatics.one() * 1345; }
class Many193 { static int v = ManyStatics.one() * 1352; }
class Many194 { static int v = ManyStatics.one() * 1359; }
class Many195 { static int v = ManyStatics.one() * 1366; }
class Many196 { static int v = ManyStatics.one() * 1373; }
class Many197 { static int v = ManyStatics.one() * 1380; }
class Many198 { static int v = ManyStatics.one() * 1387; }
class Many199 { static int v = ManyStatics.one() * 1394; }
class Many200 { static int v = ManyStatics.one() * 1401; }
class Many201 { static int v = ManyStatics.one() * 1408; }
class Many202 { static int v = ManyStatics.one() * 1415; }
class Many203 { static int v = ManyStatics.one() * 1422; }
class Many204 { static int v = ManyStatics.one() * 1429; }
class Many205 { static int v = ManyStatics.one() * 1436; }
class Many206 { static int v = ManyStatics.one() * 1443; }
class Many207 { static int v = ManyStatics.one() * 1450; }
class Many208 { static int v = ManyStatics.one() * 1457; }
class Many209 { static int v = ManyStatics.one() * 1464; }
class Many210 { static int v = ManyStatics.one() * 1471; }
class Many211 { static int v = ManyStatics.one() * 1478; }
class Many212 { static int v = ManyStatics.one() * 1485; }
class Many213 { static int v = ManyStatics.one() * 1492; }
class Many214 { static int v = ManyStatics.one() * 1499; }
class Many215 { static int v = ManyStatics.one() * 1506; }
class Many216 { static int v = ManyStatics.one() * 1513; }
class Many217 { static int v = ManyStatics.one() * 1520; }
class Many218 { static int v = ManyStatics.one() * 1527; }
class Many219 { static int v = ManyStatics.one() * 1534; }
class Many220 { static int v = ManyStatics.one() * 1541; }
class Many221 { static int v = ManyStatics.one() * 1548; }
class Many222 { static int v = ManyStatics.one() * 1555; }
class Many223 { static int v = ManyStatics.one() * 1562; }
class Many224 { static int v = ManyStatics.one() * 1569; }
class Many225 { static int v = ManyStatics.one() * 1576; }
class Many226 { static int v = ManyStatics.one() * 1583; }
class Many227 { static int v = ManyStatics.one() * 1590; }
class Many228 { static int v = ManyStatics.one() * 1597; }
class Many229 { static int v = ManyStatics.one() * 1604; }
class Many230 { static int v = ManyStatics.one() * 1611; }
class Many231 { static int v = ManyStatics.one() * 1618; }
class Many232 { static int v = ManyStatics.one() * 1625; }
class Many233 { static int v = ManyStatics.one() * 1632; }
class Many234 { static int v = ManyStatics.one() * 1639; }
class Many235 { static int v = ManyStatics.one() * 1646; }
class Many236 { static int v = ManyStatics.one() * 1653; }
class Many237 { static int v = ManyStatics.one() * 1660; }
class Many238 { static int v = ManyStatics.one() * 1667; }
class Many239 { static int v = ManyStatics.one() * 1674; }
class Many240 { static int v = ManyStatics.one() * 1681; }
class Many241 { static int v = ManyStatics.one() * 1688; }
class Many242 { static int v = ManyStatics.one() * 1695; }
class Many243 { static int v = ManyStatics.one() * 1702; }
class Many244 { static int v = ManyStatics.one() * 1709; }
class Many245 { static int v = ManyStatics.one() * 1716; }
class Many246 { static int v = ManyStatics.one() * 1723; }
class Many247 { static int v = ManyStatics.one() * 1730; }
class Many248 { static int v = ManyStatics.one() * 1737; }
class Many249 { static int v = ManyStatics.one() * 1744; }
class Many250 { static int v = ManyStatics.one() * 1751; }
class Many251 { static int v = ManyStatics.one() * 1758; }
class Many252 { static int v = ManyStatics.one() * 1765; }
class Many253 { static int v = ManyStatics.one() * 1772; }
class Many254 { static int v = ManyStatics.one() * 1779; }
class Many255 { static int v = ManyStatics.one() * 1786; }
class Many256 { static int v = ManyStatics.one() * 1793; }
class Many257 { static int v = ManyStatics.one() * 1800; }
class Many258 { static int v = ManyStatics.one() * 1807; }
class Many259 { static int v = ManyStatics.one() * 1814; }
class Many260 { static int v = ManyStatics.one() * 1821; }
class Many261 { static int v = ManyStatics.one() * 1828; }
class Many262 { static int v = ManyStatics.one() * 1835; }
class Many263 { static int v = ManyStatics.one() * 1842; }
class Many264 { static int v = ManyStatics.one() * 1849; }
class Many265 { static int v = ManyStatics.one() * 1856; }
class Many266 { static int v = ManyStatics.one() * 1863; }
class Many267 { static int v = ManyStatics.one() * 1870; }
class Many268 { static int v = ManyStatics.one() * 1877; }
class Many269 { static int v = ManyStatics.one() * 1884; }
class Many270 { static int v = ManyStatics.one() * 1891; }
class Many271 { static int v = ManyStatics.one() * 1898; }
class Many272 { static int v = ManyStatics.one() * 1905; }
class Many273 { static int v = ManyStatics.one() * 1912; }
class Many274 { static int v = ManyStatics.one() * 1919; }
class Many275 { static int v = ManyStatics.one() * 1926; }
class Many276 { static int v = ManyStatics.one() * 1933; }
class Many277 { static int v = ManyStatics.one() * 1940; }
class Many278 { static int v = ManyStatics.one() * 1947; }
class Many279 { static int v = ManyStatics.one() * 1954; }
class Many280 { static int v = ManyStatics.one() * 1961; }
class Many281 { static int v = ManyStatics.one() * 1968; }
class Many282 { static int v = ManyStatics.one() * 1975; }
class Many283 { static int v = ManyStatics.one() * 1982; }
class Many284 { static int v = ManyStatics.one() * 1989; }
class Many285 { static int v = ManyStatics.one() * 1996; }
class Many286 { static int v = ManyStatics.one() * 2003; }
class Many287 { static int v = ManyStatics.one() * 2010; }
class Many288 { static int v = ManyStatics.one() * 2017; }
class Many289 { static int v = ManyStatics.one() * 2024; }
class Many290 { static int v = ManyStatics.one() * 2031; }
class Many291 { static int v = ManyStatics.one() * 2038; }
class Many292 { static int v = ManyStatics.one() * 2045; }
class Many293 { static int v = ManyStatics.one() * 2052; }
class Many294 { static int v = ManyStatics.one() * 2059; }
class Many295 { static int v = ManyStatics.one() * 2066; }
class Many296 { static int v = ManyStatics.one() * 2073; }
class Many297 { static int v = ManyStatics.one() * 2080; }
class Many298 { static int v = ManyStatics.one() * 2087; }
class Many299 { static int v = ManyStatics.one() * 2094; }
class Many300 { static int v = ManyStatics.one() * 2101; }
class Many301 { static int v = ManyStatics.one() * 2108; }
class Many302 { static int v = ManyStatics.one() * 2115; }
class Many303 { static int v = ManyStatics.one() * 2122; }
class Many304 { static int v = ManyStatics.one() * 2129; }
class Many305 { static int v = ManyStatics.one() * 2136; }
class Many306 { static int v = ManyStatics.one() * 2143; }
class Many307 { static int v = ManyStatics.one() * 2150; }
class Many308 { static int v = ManyStatics.one() * 2157; }
class Many309 { static int v = ManyStatics.one() * 2164; }
class Many310 { static int v = ManyStatics.one() * 2171; }
class Many311 { static int v = ManyStatics.one() * 2178; }
class Many312 { static int v = ManyStatics.one() * 2185; }
class Many313 { static int v = ManyStatics.one() * 2192; }
class Many314 { static int v = ManyStatics.one() * 2199; }
class Many315 { static int v = ManyStatics.one() * 2206; }
class Many316 { static int v = ManyStatics.one() * 2213; }
class Many317 { static int v = ManyStatics.one() * 2220; }
class Many318 { static int v = ManyStatics.one() * 2227; }
class Many319 { static int v = ManyStatics.one() * 2234; }
