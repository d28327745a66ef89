package natives;

// The Math, Double and Float natives as Java code calls them: argument words and results
// crossing the native-call path. Each method answers 0, or the number of the first check
// that failed.
public class MathCases {

    static int values() {
        if (Math.IEEEremainder(3.0, 2.0) != -1.0) return 1;
        if (Math.IEEEremainder(-3.0, 2.0) != 1.0) return 2;
        if (Math.IEEEremainder(5.0, 3.0) != -1.0) return 3;
        if (Math.atan2(1.0, 0.0) != Math.PI / 2) return 4;
        if (Math.pow(2.0, -1.0) != 0.5) return 5;
        if (Math.pow(-2.0, 3.0) != -8.0) return 6;
        if (Math.sqrt(16.0) != 4.0) return 7;
        if (Math.rint(2.5) != 2.0 || Math.rint(3.5) != 4.0 || Math.rint(-2.7) != -3.0) return 8;
        if (Math.floor(-0.5) != -1.0 || Math.ceil(-0.5) != 0.0) return 9;
        double nan = Math.sqrt(-1.0);
        if (nan == nan) return 10;
        if (Math.log(1.0) != 0.0 || Math.exp(0.0) != 1.0) return 11;
        return 0;
    }

    static int bits() {
        if (Double.doubleToLongBits(0.0 / 0.0) != 0x7ff8000000000000L) return 1;
        if (Double.doubleToLongBits(Double.longBitsToDouble(0xfff8000000000123L)) != 0x7ff8000000000000L) return 2;
        if (Double.doubleToLongBits(-0.0) != 0x8000000000000000L) return 3;
        if (Double.longBitsToDouble(0x3ff8000000000000L) != 1.5) return 4;
        if (Float.floatToIntBits(0.0f / 0.0f) != 0x7fc00000) return 5;
        if (Float.floatToIntBits(-1.5f) != 0xbfc00000) return 6;
        if (Float.intBitsToFloat(0x3fc00000) != 1.5f) return 7;
        double d = Double.longBitsToDouble(0x7ff80000deadbeefL);
        if (d == d) return 8;
        if (Double.doubleToLongBits(Double.longBitsToDouble(0x7ff0000000000000L)) != 0x7ff0000000000000L) return 9;
        return 0;
    }

    static int parsing() {
        if (Double.valueOf("1.5").doubleValue() != 1.5) return 1;
        if (Double.valueOf("-2.5e3").doubleValue() != -2500.0) return 2;
        try {
            Double.valueOf("1.5x");
            return 3;
        } catch (NumberFormatException e) {
        }
        return 0;
    }

    static int powThrows() {
        double[][] refused = {{0.0, -1.0}, {0.0, 0.0}, {-0.0, -1.0}, {-8.0, 1.0 / 3.0}, {-2.0, 0.5}};
        for (int i = 0; i < refused.length; i++) {
            try {
                Math.pow(refused[i][0], refused[i][1]);
                return i + 1;
            } catch (ArithmeticException e) {
                if (!"illegal arguments to pow()".equals(e.getMessage())) return 100 + i;
            }
        }
        return 0;
    }
}
