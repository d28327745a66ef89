package reflect;

import java.lang.reflect.Array;

/** java.lang.reflect.Array: lengths, every getter and setter on every element type, new
    arrays of one and several dimensions. */
public class ArrayCases {

    static Object[] arrays() {
        return new Object[] {new boolean[] {true, false}, new byte[] {-1, 2}, new char[] {'\uffff', 'a'},
                new short[] {-300, 4}, new int[] {-70000, 7}, new long[] {-5000000000L, 8},
                new float[] {1.5f, Float.NaN}, new double[] {-2.25, 1e300}, new String[] {"x", null},
                new Object[] {new Integer(1), null}, new int[][] {new int[] {1}, null}};
    }

    static String get(Object a, int index, int which) {
        try {
            switch (which) {
                case 0: return Out.show(Array.get(a, index));
                case 1: return "boolean " + Array.getBoolean(a, index);
                case 2: return "byte " + Array.getByte(a, index);
                case 3: return "char " + (int) Array.getChar(a, index);
                case 4: return "short " + Array.getShort(a, index);
                case 5: return "int " + Array.getInt(a, index);
                case 6: return "long " + Array.getLong(a, index);
                case 7: return "float " + Array.getFloat(a, index);
                default: return "double " + Array.getDouble(a, index);
            }
        } catch (Throwable t) {
            return Out.thrown(t);
        }
    }

    static void set(Object a, int index, int which) {
        switch (which) {
            case 0: Array.setBoolean(a, index, true); break;
            case 1: Array.setByte(a, index, (byte) -4); break;
            case 2: Array.setChar(a, index, 'A'); break;
            case 3: Array.setShort(a, index, (short) -400); break;
            case 4: Array.setInt(a, index, -80000); break;
            case 5: Array.setLong(a, index, -1L); break;
            case 6: Array.setFloat(a, index, 2.5f); break;
            case 7: Array.setDouble(a, index, -3.75); break;
            case 8: Array.set(a, index, new Byte((byte) -5)); break;
            case 9: Array.set(a, index, new Character('B')); break;
            case 10: Array.set(a, index, new Integer(123)); break;
            case 11: Array.set(a, index, new Long(9)); break;
            case 12: Array.set(a, index, new Double(0.25)); break;
            case 13: Array.set(a, index, "s"); break;
            default: Array.set(a, index, null); break;
        }
    }

    static final String[] GETTERS = FieldCases.GETTERS;
    static final String[] SETTERS = {"setBoolean(true)", "setByte(-4)", "setChar(A)", "setShort(-400)",
            "setInt(-80000)", "setLong(-1)", "setFloat(2.5)", "setDouble(-3.75)", "set(Byte -5)", "set(Character B)",
            "set(Integer 123)", "set(Long 9)", "set(Double 0.25)", "set(String s)", "set(null)"};

    static String dims(Object a) {
        StringBuffer sb = new StringBuffer(a.getClass().getName());
        Object x = a;
        while (x != null && x.getClass().isArray()) {
            int n = Array.getLength(x);
            sb.append(" [").append(n).append(']');
            x = n > 0 ? Array.get(x, 0) : null;
        }
        return sb.toString();
    }

    static String make(Class c, int[] d) {
        try {
            return dims(Array.newInstance(c, d));
        } catch (Throwable t) {
            return Out.thrown(t);
        }
    }

    static String make(Class c, int n) {
        try {
            return dims(Array.newInstance(c, n));
        } catch (Throwable t) {
            return Out.thrown(t);
        }
    }

    public static String report() {
        Out out = new Out();
        Object[] as = arrays();
        for (int k = 0; k < as.length; k++) {
            Object a = as[k];
            out.line(a.getClass().getName() + " length " + Array.getLength(a));
            for (int g = 0; g < GETTERS.length; g++) {
                out.line("  " + GETTERS[g] + "[0] " + get(a, 0, g));
            }
            out.line("  get[-1] " + get(a, -1, 0));
            out.line("  get[length] " + get(a, Array.getLength(a), 0));
            for (int s = 0; s < SETTERS.length; s++) {
                Object b = arrays()[k];
                if (Array.getLength(b) == 0) {
                    continue;
                }
                String result;
                try {
                    set(b, 1, s);
                    result = get(b, 1, 0);
                } catch (Throwable t) {
                    result = Out.thrown(t) + ", still " + get(b, 1, 0);
                }
                out.line("  " + SETTERS[s] + " -> " + result);
            }
        }
        Object[] notArrays = {"string", new Integer(3), null};
        for (int i = 0; i < notArrays.length; i++) {
            try {
                out.line("getLength " + Out.show(notArrays[i]) + ": " + Array.getLength(notArrays[i]));
            } catch (Throwable t) {
                out.line("getLength " + Out.show(notArrays[i]) + ": " + Out.thrown(t));
            }
            out.line("get " + Out.show(notArrays[i]) + ": " + get(notArrays[i], 0, 0));
            try {
                Array.setInt(notArrays[i], 0, 1);
                out.line("setInt " + Out.show(notArrays[i]) + ": stored");
            } catch (Throwable t) {
                out.line("setInt " + Out.show(notArrays[i]) + ": " + Out.thrown(t));
            }
        }
        byte[] big = new byte[2000];
        Array.setByte(big, 1000, (byte) -9);
        out.line("byte[2000][1000]: " + get(big, 1000, 0) + " " + big[1000]);
        long[] longs = new long[200];
        Array.setLong(longs, 150, -2L);
        out.line("long[200][150]: " + get(longs, 150, 6) + " " + longs[150] + " " + longs[149] + " " + longs[151]);
        Object[] objs = new Object[300];
        Array.set(objs, 299, "last");
        out.line("Object[300][299]: " + get(objs, 299, 0));

        out.line("new int[0]: " + make(int.class, 0));
        out.line("new int[-1]: " + make(int.class, -1));
        out.line("new String[3]: " + make(String.class, 3));
        out.line("new int[][2]: " + make(int[].class, 2));
        out.line("new void[1]: " + make(void.class, 1));
        out.line("new String[2][3]: " + make(String.class, new int[] {2, 3}));
        out.line("new int[2][3][4]: " + make(int.class, new int[] {2, 3, 4}));
        out.line("new int[][1][2] of int[]: " + make(int[].class, new int[] {1, 2}));
        out.line("new String[0]: " + make(String.class, new int[] {0}));
        out.line("new String[3][0]: " + make(String.class, new int[] {3, 0}));
        out.line("new String[2][-1]: " + make(String.class, new int[] {2, -1}));
        out.line("new String[]{}: " + make(String.class, new int[0]));
        out.line("new void[2][2]: " + make(void.class, new int[] {2, 2}));
        try {
            Array.newInstance(null, 1);
        } catch (Throwable t) {
            out.line("new null[1]: " + Out.thrown(t));
        }
        try {
            Array.newInstance(String.class, null);
        } catch (Throwable t) {
            out.line("new String[null]: " + Out.thrown(t));
        }
        return out.toString();
    }

    public static void main(String[] args) {
        System.out.print(report());
    }
}
