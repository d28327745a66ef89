import java.math.BigDecimal;
import java.math.BigInteger;

/* Edges of BigInteger and BigDecimal: isProbablePrime at the largest certainty, shifts and
   point moves by Integer.MIN_VALUE (whose negation is itself), a number with a trailing
   point. */
public class NumberEdges {
    interface Case {
        Object run();
    }

    static void t(String label, Case c) {
        String s;
        try {
            s = String.valueOf(c.run());
        } catch (Throwable e) {
            s = e.getClass().getName();
        }
        System.out.println(label + " = " + s);
    }

    public static void main(String[] args) {
        // 1000000007 * 1000000009: composite, no factor below 100.
        final BigInteger composite = new BigInteger("1000000016000000063");
        t("composite.isProbablePrime(Integer.MAX_VALUE)", new Case() {
            public Object run() {
                return new Boolean(composite.isProbablePrime(Integer.MAX_VALUE));
            }
        });
        t("composite.isProbablePrime(100)", new Case() {
            public Object run() {
                return new Boolean(composite.isProbablePrime(100));
            }
        });
        t("6.shiftRight(Integer.MIN_VALUE) is an ArithmeticException or 0", new Case() {
            public Object run() {
                Object r;
                try {
                    r = BigInteger.valueOf(6).shiftRight(Integer.MIN_VALUE);
                } catch (ArithmeticException e) {
                    r = "0";
                }
                return r;
            }
        });
        t("0.shiftLeft(Integer.MIN_VALUE)", new Case() {
            public Object run() {
                return BigInteger.valueOf(0).shiftLeft(Integer.MIN_VALUE);
            }
        });
        t("1.5.movePointRight(Integer.MIN_VALUE) raises no StackOverflowError", new Case() {
            public Object run() {
                try {
                    new BigDecimal("1.5").movePointRight(Integer.MIN_VALUE);
                } catch (StackOverflowError e) {
                    return "false";
                } catch (RuntimeException e) {
                    // any ordinary refusal will do
                }
                return "true";
            }
        });
        t("-6.shiftLeft(Integer.MIN_VALUE)", new Case() {
            public Object run() {
                return BigInteger.valueOf(-6).shiftLeft(Integer.MIN_VALUE);
            }
        });
        t("0.shiftRight(Integer.MIN_VALUE)", new Case() {
            public Object run() {
                return BigInteger.valueOf(0).shiftRight(Integer.MIN_VALUE);
            }
        });
        t("new BigDecimal(\"-12.\")", new Case() {
            public Object run() {
                return new BigDecimal("-12.");
            }
        });
        t("new BigDecimal(\".\")", new Case() {
            public Object run() {
                return new BigDecimal(".");
            }
        });
        t("new BigDecimal(\"12.\")", new Case() {
            public Object run() {
                return new BigDecimal("12.");
            }
        });
    }
}
