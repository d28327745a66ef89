/* The lines a trace names for this class's frames: the line that threw (also when it
   ends a block inside a loop), each caller at the line of its call, main once, and no
   more than the newest 1024 frames of a deep recursion. Frames are compared by their
   text after "at ", so that the two machines' layouts of the rest of the trace may
   differ. */
import java.io.PrintWriter;
import java.io.StringWriter;

public class TraceLines {
    static void show(Throwable t, boolean all) {
        StringWriter text = new StringWriter();
        t.printStackTrace(new PrintWriter(text));
        String s = text.toString();
        int frames = 0;
        int start = 0;
        while (start < s.length()) {
            int end = s.indexOf('\n', start);
            if (end < 0) end = s.length();
            String line = s.substring(start, end).trim();
            start = end + 1;
            if (!line.startsWith("at ")) continue;
            frames++;
            if (all && line.indexOf("TraceLines") >= 0) System.out.println("  " + line);
        }
        if (!all) System.out.println("  frames " + frames);
    }

    static void thrower(int[] z) {
        z[0] = 1;
    }

    static void caller() {
        thrower(new int[0]);
    }

    static int deep(int n) {
        if (n == 0) throw new RuntimeException("deep");
        return deep(n - 1) + 1;
    }

    public static void main(String[] a) {
        int k = 0;
        while (k < 10) {
            k++;
            if (k == 5) {
                try { Object[] junk = new Object[0];
                    junk[0] = "x";
                } catch (ArrayIndexOutOfBoundsException e) { System.out.println("in a loop:"); show(e, true); }
            }
        }
        try {
            caller();
        } catch (ArrayIndexOutOfBoundsException e) {
            System.out.println("through calls:");
            show(e, true);
        }
        try {
            deep(3000);
        } catch (RuntimeException e) {
            System.out.println("3000 deep:");
            show(e, false);
        }
    }
}
