/** The machine's internal JNI test class: its natives print their arguments and sum them. */
public class corvane_vm_internal_jnitest {

    public static native int f10i(int a, int b, int c, int d, int e, int f, int g, int h, int i, int j);

    public static native float f10f(float a, float b, float c, float d, float e, float f, float g, float h,
            float i, float j);

    public static native double f1d(double a);

    public static native double f2d(double a, double b);

    public static native double f3d(double a, double b, double c);

    public static native double f10d(double a, double b, double c, double d, double e, double f, double g,
            double h, double i, double j);

    public static native long f1l(long a);

    public static native long f2l(long a, long b);

    public static native long f3l(long a, long b, long c);

    public static native double fdii(double a, int b, int c);

    public static native double fidi(int a, double b, int c);

    public static native double fiid(int a, int b, double c);

    public static native long f10l(long a, long b, long c, long d, long e, long f, long g, long h, long i, long j);

    public static native double f10m(int a, float b, double c, int d, float e, double f, int g, float h, double i,
            int j);
}
