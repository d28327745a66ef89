/* Integer overflow, division and shifts, conversions, and IEEE 754 special values. */
public class Arithmetic {
    static int zero = 0;

    public static void main(String[] args) {
        int max = Integer.MAX_VALUE;
        int min = Integer.MIN_VALUE;
        int minusOne = -1;
        System.out.println(max + 1);
        System.out.println(min - 1);
        System.out.println(min / minusOne);
        System.out.println(min % minusOne);
        int seven = 7;
        System.out.println(-seven / 2);
        System.out.println(-seven % 2);
        System.out.println(seven % -2);
        System.out.println(-seven >> 1);
        System.out.println(-seven >>> 28);
        int one = 1;
        long oneL = 1;
        System.out.println(one << 33);
        System.out.println(oneL << 65);
        System.out.println(minusOne >>> 32);
        long lmin = Long.MIN_VALUE;
        long lmax = Long.MAX_VALUE;
        System.out.println(lmin / minusOne);
        System.out.println(lmax * 2);
        long m = 0x7fffffffL;
        System.out.println(m * m);
        int x80 = 0x80;
        int x8000 = 0x8000;
        System.out.println((byte) x80 + " " + (short) x8000 + " " + (char) (x80 - 63) + " " + (int) (char) minusOne);
        try {
            System.out.println(5 / zero);
        } catch (ArithmeticException e) {
            System.out.println("int / 0: " + e.getClass().getName());
        }
        try {
            System.out.println(5L % zero);
        } catch (ArithmeticException e) {
            System.out.println("long % 0: " + e.getClass().getName());
        }

        double dz = 0.0;
        System.out.println(1.0 / dz);
        System.out.println(-1.0 / dz);
        System.out.println(dz / dz);
        double nan = dz / dz;
        System.out.println((nan == nan) + " " + (nan != nan) + " " + (nan < 1) + " " + (nan > 1) + " " + Double.isNaN(nan));
        double negZero = -dz;
        System.out.println((dz == negZero) + " " + (1 / dz == 1 / negZero));
        System.out.println(negZero);
        double tenth = 0.1;
        System.out.println(tenth + 0.2);
        float third = 1.0f;
        System.out.println(third / 3);
        double hundred = 100.0;
        System.out.println(hundred / 3);
        double d399 = 3.99;
        double e20 = 1e20;
        double e30 = -1e30;
        float ninf = Float.NEGATIVE_INFINITY;
        System.out.println((int) d399 + " " + (int) -d399 + " " + (int) nan + " " + (int) e20 + " " + (long) e30 + " " + (int) ninf);
        double e40 = 1e40;
        double em50 = 1e-50;
        System.out.println((float) e40 + " " + (float) em50);
        System.out.println(Math.round(2.5) + " " + Math.round(-2.5) + " " + Math.round(1.5) + " " + Math.round(-0.5f));
        System.out.println(Math.abs(min) + " " + Math.max(negZero, dz) + " " + Math.min(negZero, dz));
        System.out.println(Math.sqrt(-1) + " " + Math.sqrt(16) + " " + Math.pow(2, 10) + " " + Math.floor(-1.5) + " "
                + Math.ceil(-1.5));
        double three = 3.0;
        System.out.println(Math.IEEEremainder(3, 2) + " " + (three % 2) + " " + (-three % 2) + " " + (5.5 % -2));
        System.out.println(Double.doubleToLongBits(1.0) + " " + Long.toHexString(Double.doubleToLongBits(negZero)) + " "
                + Integer.toHexString(Float.floatToIntBits(Float.NaN)) + " " + Long.toHexString(Double.doubleToLongBits(nan)));
        System.out.println(Integer.parseInt("-123") + Integer.parseInt("77") + " " + Long.parseLong("9223372036854775807") + " "
                + Integer.toBinaryString(10) + " " + Integer.toHexString(-1) + " " + Integer.toOctalString(8));
        try {
            Integer.parseInt("2147483648");
        } catch (NumberFormatException e) {
            System.out.println("NumberFormatException");
        }
        System.out.println(Double.valueOf("1e3").doubleValue() + " " + Float.valueOf("2.5").floatValue() + " " + new Double(1e7)
                + " " + new Double(1e-3) + " " + new Double(9999999.0) + " " + 1e-4);
        float f1 = 0.1f;
        double point1 = 0.1;
        float unit = 16777217f;
        System.out.println((f1 + 0.2f) + " " + (float) point1 + " " + unit + " " + Float.MAX_VALUE + " " + Double.MIN_VALUE);
        long l = 0x123456789L;
        System.out.println((int) l + " " + (short) l + " " + (l >> 4));
        char ch = 65535;
        ch++;
        System.out.println((int) ch);
        int i = 10;
        i += 3.7;
        System.out.println(i);
        i = 5;
        i = i++ + ++i;
        System.out.println(i);
    }
}
