package lines;

// Compiled with line numbers: the lines of the stack traces are part of the test.
public class Traces {

    static Throwable make() {
        return new RuntimeException("made");
    }

    static Throwable deep(int depth) {
        if (depth == 0) {
            return new Error("deep");
        }
        return deep(depth - 1);
    }

    static Throwable wrapped() {
        return new ExceptionInInitializerError(new IllegalStateException("inner"));
    }

    // The throwing instruction ends its line: the trace names that line, not the next.
    static Throwable endOfLine() {
        try {
            int[] none = new int[0];
            none[0] = 1;
            return null;
        } catch (ArrayIndexOutOfBoundsException e) {
            return e;
        }
    }

    static void thrower() {
        throw new IllegalStateException("thrown");
    }

    // The call ends its line: the caller's frame names the line of the call.
    static Throwable callEndsLine() {
        try {
            thrower();
            return null;
        } catch (IllegalStateException e) {
            return e;
        }
    }

    // A stream for printStackTrace: any class with println(char[]) will do.
    public static class Lines {
        final java.util.Vector lines = new java.util.Vector();
        int failures;

        public void println(char[] line) {
            String text = new String(line);
            lines.addElement(text);
            if (failures > 0 && text.startsWith("    at ")) {
                failures--;
                throw new IllegalStateException("println failed");
            }
        }

        public String joined() {
            StringBuffer all = new StringBuffer();
            for (int i = 0; i < lines.size(); i++) {
                all.append(lines.elementAt(i)).append('\n');
            }
            return all.toString();
        }
    }
}
