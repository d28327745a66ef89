package interp;

/* Arrays, stores, casts and type tests, arrays against interfaces included, and arrays
   too large to make. Case n answers or throws as on the JDK. */
public class Types {
    public static int cases() { return 52; }

    static int ZERO = 0, M1 = -1, MIN = Integer.MIN_VALUE;
    static Object OBJ = new Object();

    static int bits(boolean[] b) {
        int r = 0;
        for (int k = 0; k < b.length; k++) if (b[k]) r |= 1 << k;
        return r;
    }

    public static int i(int n) {
        switch (n) {
            case 0: return new int[M1].length;
            case 1: return new int[2][M1].length;
            case 2: return new int[M1][2].length;
            case 3: return new int[ZERO][M1].length;
            case 4: { int[] a = new int[3]; return a[M1]; }
            case 5: { int[] a = new int[3]; return a[3 + ZERO]; }
            case 6: { int[] a = new int[3]; return a[MIN]; }
            case 7: { Object[] o = new String[1]; o[0] = OBJ; return 1; }
            case 8: { Object[] o = new String[1]; o[0] = null; return 2; }
            case 9: { Object[] o = new Object[1][]; o[0] = new int[1]; return 3; }
            case 10: { Object[] o = new Cloneable[1]; o[0] = new int[1]; return 4; }
            case 11: { Object[] o = new java.io.Serializable[1]; o[0] = new String[0]; return 5; }
            case 12: { Object[] o = new Runnable[1]; o[0] = new int[0]; return 6; }
            case 13: { Object[] o = new Object[2][2]; o[0] = new String[3]; return 7; }
            case 14: { Object[][] oo = new String[1][]; oo[0] = new Object[1]; return 8; }
            case 15: { Object[] o = new java.io.Serializable[1]; o[0] = "x"; return 9; }
            case 16: { Object[] o = new Object[1][]; o[0] = new Object[0][0]; return 10; }
            case 17: { Object[] o = new int[1][]; o[0] = new long[1]; return 11; }
            case 18: return ((Object[]) (Object) new int[1]).length;
            case 19: return ((Cloneable) (Object) new int[1]) != null ? 12 : 0;
            case 20: return ((java.io.Serializable) (Object) new Object[0]) != null ? 13 : 0;
            case 21: return ((String[]) (Object) new Object[0]).length;
            case 22: return ((Object[][]) (Object) new String[1][1]).length;
            case 23: return ((int[][]) (Object) new int[1][1]).length;
            case 24: return ((long[]) (Object) new int[1]).length;
            case 25: return ((Runnable) (Object) "x") != null ? 14 : 0;
            case 26: return ((Object[]) (Object) new int[1][1]).length;
            case 27: return ((java.io.Serializable[]) (Object) new String[2]).length;
            case 28: {
                Object ia = new int[0], sa = new String[0], ssa = new String[0][], iaa = new int[0][];
                boolean[] b = {ia instanceof Cloneable, ia instanceof java.io.Serializable, sa instanceof Object[],
                    ssa instanceof Object[], iaa instanceof Object[], ia instanceof Object[],
                    new Object[0] instanceof String[], ssa instanceof Object[][], ssa instanceof java.io.Serializable[][],
                    sa instanceof java.io.Serializable[], sa instanceof Runnable[], OBJ instanceof Object,
                    null instanceof Object, ia instanceof int[], ia instanceof long[], iaa instanceof Cloneable[]};
                return bits(b);
            }
            case 29: { int[] a = null; return a.length; }
            case 30: { int[][][] a = new int[2][3][]; return a.length * 100 + a[1].length * 10 + (a[1][2] == null ? 1 : 0); }
            case 31: { long[] a = new long[200]; a[150] = 0x8000000180000001L; a[199] = -2; return (int) (a[150] >>> 32) + (int) a[199]; }
            case 32: { double[] a = new double[300]; a[290] = -0.0; return 1.0 / a[290] < 0 ? 1 : 0; }
            case 33: { char[] a = new char[600]; a[500] = (char) M1; return a[500]; }
            case 34: { byte[] a = new byte[1000]; a[800] = (byte) 0xF0; return a[800]; }
            case 35: { short[] a = new short[500]; a[499] = (short) 0x8001; return a[499]; }
            case 36: { boolean[] a = new boolean[900]; a[899] = true; return a[899] ? 1 : 0; }
            case 37: { Object[] a = new Object[400]; a[399] = "s"; return a[399] == "s" ? 1 : 0; }
            case 38: { int[][] a = new int[3][300]; a[2][299] = 5; return a[2][299] + a[2].length; }
            case 39: { float[] a = new float[250]; a[249] = 1.5f; return (int) (a[249] * 2); }
            case 40: { Object o = new int[0]; return o.equals(o) ? 1 : 0; }
            case 41: { Object[] a = new Types[1]; a[0] = new Types(); return a[0] instanceof Types ? 3 : 0; }
            case 42: { String s = (String) (Object) null; return s == null ? 1 : 0; }
            case 43: { int[] a = new int[0]; return a.length; }
            case 44: { Object[][] m = new Object[2][]; m[1] = new String[2]; m[1][0] = new Object(); return 0; }
            case 45: { long[][] a = new long[ZERO][]; return a.length; }
            case 46: { int[] a = new int[5]; a[4] = 7; Object o = a; return ((int[]) o)[4]; }
            case 47: { byte[][][] a = new byte[1][2][MIN]; return 0; }
            case 48: return new Object[0x7FFFFFFF + ZERO].length;
            case 49: return new Object[0x7FFFFFFF + ZERO][].length;
            case 50: return new int[2][0x7FFFFFFF + ZERO].length;
            case 51: return new String[3][0x40000000 + ZERO].length;
        }
        return -777;
    }
}
