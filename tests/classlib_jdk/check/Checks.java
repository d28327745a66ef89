package check;

import java.util.Random;

/**
 * Counts the checks of one program and reports them. A failure prints what was compared;
 * the first few of each program are shown in full, the rest only counted.
 */
public class Checks {
    private int passed;
    private int failed;
    private final String program;

    public Checks(String program) {
        this.program = program;
    }

    public boolean ok(boolean cond, String what) {
        if (cond) {
            passed++;
        } else {
            if (failed < 40) {
                System.out.println("FAIL " + what);
            }
            failed++;
        }
        return cond;
    }

    public boolean eq(Object expected, Object actual, String what) {
        boolean same = expected == null ? actual == null : expected.equals(actual);
        return ok(same, what + ": expected " + show(expected) + ", got " + show(actual));
    }

    /** For loops over many values: the description is built only for a failure. */
    public boolean same(int expected, int actual, String what, int at) {
        if (expected == actual) {
            passed++;
            return true;
        }
        return ok(false, String.format("U+%04X %s: expected %d (%x), got %d (%x)", at, what, expected, expected,
                actual, actual));
    }

    public boolean same(boolean expected, boolean actual, String what, int at) {
        return same(expected ? 1 : 0, actual ? 1 : 0, what, at);
    }

    public int failures() {
        return failed;
    }

    /** Prints the totals and ends the program, with status 1 when anything failed. */
    public void finish() {
        System.out.println(program + ": " + passed + " passed, " + failed + " failed");
        System.exit(failed == 0 && passed > 0 ? 0 : 1);
    }

    private static final String HEX = "0123456789abcdef";

    /** Text with everything outside printable ASCII escaped. */
    public static String show(Object o) {
        if (!(o instanceof String)) {
            return String.valueOf(o);
        }
        String s = (String) o;
        StringBuilder b = new StringBuilder("\"");
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c < 0x20 || c > 0x7e) {
                b.append("\\u").append(HEX.charAt(c >> 12)).append(HEX.charAt((c >> 8) & 15))
                        .append(HEX.charAt((c >> 4) & 15)).append(HEX.charAt(c & 15));
            } else {
                b.append(c);
            }
        }
        return b.append('"').toString();
    }

    public static String hex(byte[] b) {
        StringBuilder s = new StringBuilder();
        for (int i = 0; i < b.length; i++) {
            s.append(HEX.charAt((b[i] >> 4) & 15)).append(HEX.charAt(b[i] & 15));
        }
        return s.toString();
    }

    /** What a call gives: its value as text, or the class of what it threw. */
    public interface Call {
        Object run() throws Throwable;
    }

    public static String outcome(Call c) {
        try {
            Object o = c.run();
            return "=" + (o instanceof String ? show(o) : String.valueOf(o));
        } catch (Throwable e) {
            return "!" + e.getClass().getSimpleName();
        }
    }

    /** The calls of a random script, made on the library's object or the JDK's. */
    public interface Steps {
        String name(int op, int n);

        Object run(boolean ours, int op, int n) throws Throwable;

        /** Appended after each call, as the line number of a reader. */
        String state(boolean ours);
    }

    /**
     * Makes up to count random calls (op below ops, argument n below 8) on both objects,
     * stopping at the first difference; returns the two logs, the library's first.
     */
    public static String[] script(Random r, int count, int ops, final Steps s) {
        StringBuilder ours = new StringBuilder();
        StringBuilder jdk = new StringBuilder();
        for (int step = 0; step < count && ours.toString().equals(jdk.toString()); step++) {
            final int op = r.nextInt(ops);
            final int n = r.nextInt(8);
            String name = s.name(op, n);
            ours.append(name).append(outcome(() -> s.run(true, op, n))).append(s.state(true)).append(' ');
            jdk.append(name).append(outcome(() -> s.run(false, op, n))).append(s.state(false)).append(' ');
        }
        return new String[] {ours.toString(), jdk.toString()};
    }
}
