/** Calls every native of the internal JNI test class from Java, through the interpreter's
    native calls, and reports the results bit for bit. */
public class JniTestDriver {

    static String hex(long v) {
        return Long.toHexString(v);
    }

    static String bits(double d) {
        return hex(Double.doubleToLongBits(d));
    }

    public static String report() {
        StringBuffer out = new StringBuffer();
        int max = Integer.MAX_VALUE;
        out.append(corvane_vm_internal_jnitest.f10i(1, 2, 3, 4, 5, 6, 7, 8, 9, 10)).append('\n');
        out.append(corvane_vm_internal_jnitest.f10i(max, max, max, max, max, max, max, max, max, max)).append('\n');
        out.append(Integer.toHexString(Float.floatToIntBits(corvane_vm_internal_jnitest.f10f(0.1f, 0.2f, 0.3f, 0.4f,
                0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 16777216f)))).append('\n');
        out.append(bits(corvane_vm_internal_jnitest.f1d(1.5))).append('\n');
        out.append(bits(corvane_vm_internal_jnitest.f2d(0.1, 0.2))).append('\n');
        out.append(bits(corvane_vm_internal_jnitest.f3d(1e16, 1.0, 1.0))).append('\n');
        out.append(bits(corvane_vm_internal_jnitest.f10d(1, 2, 3, 4, 5, 6, 7, 8, 9, 0.5))).append('\n');
        out.append(hex(corvane_vm_internal_jnitest.f1l(0x100000002L))).append('\n');
        out.append(hex(corvane_vm_internal_jnitest.f1l(-1L))).append('\n');
        out.append(hex(corvane_vm_internal_jnitest.f2l(0xFFFFFFFFL, 1L))).append('\n');
        out.append(corvane_vm_internal_jnitest.f3l(1, 2, 3)).append('\n');
        out.append(bits(corvane_vm_internal_jnitest.fdii(1.5, 2, 3))).append('\n');
        out.append(bits(corvane_vm_internal_jnitest.fidi(-7, 0.25, 9))).append('\n');
        out.append(corvane_vm_internal_jnitest.fiid(max, 1, 0.5)).append('\n');
        out.append(hex(corvane_vm_internal_jnitest.f10l(1L << 62, 1L << 62, 1L << 62, 1L << 62, 1, 2, 3, 4, 5, -1L)))
                .append('\n');
        out.append(bits(corvane_vm_internal_jnitest.f10m(1, 2.5f, 3.25, 4, 0.1f, 6.5, 7, 8.75f, 9.125, 10)))
                .append('\n');
        return out.toString();
    }

    /** Lines far longer than any small buffer. */
    public static double huge() {
        double h = 1e300;
        return corvane_vm_internal_jnitest.f10d(h, h, h, h, h, h, h, h, h, -h);
    }
}
