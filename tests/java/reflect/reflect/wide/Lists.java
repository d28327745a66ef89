package reflect.wide;

import java.lang.reflect.Member;

/* The public lists of the wide hierarchy, from one thread and from several at once. */
public class Lists {

    /* The names, a run of one name as the name and the run's length ("d0 x1024"). */
    static String names(Member[] members) {
        StringBuffer sb = new StringBuffer();
        for (int i = 0; i < members.length;) {
            int run = 1;
            while (i + run < members.length && members[i + run].getName().equals(members[i].getName())) {
                run++;
            }
            sb.append(i > 0 ? " " : "").append(members[i].getName()).append(run > 1 ? " x" + run : "");
            i += run;
        }
        return sb.toString();
    }

    /* One line per type: its public methods and fields, or what listing them threw. */
    public static String of(String names) {
        StringBuffer out = new StringBuffer();
        int start = 0;
        while (start < names.length()) {
            int end = names.indexOf(' ', start);
            if (end < 0) {
                end = names.length();
            }
            String name = names.substring(start, end);
            start = end + 1;
            out.append(name).append(": ");
            try {
                Class c = Class.forName("reflect.wide." + name);
                String methods = c.isInterface() ? names(c.getMethods()) : c.getMethods().length + " methods";
                out.append(methods).append(" / ").append(names(c.getFields()));
            } catch (Throwable t) {
                out.append(t.getClass().getName());
            }
            out.append('\n');
        }
        return out.toString();
    }

    static int wrong;

    static synchronized void count(boolean bad) {
        if (bad) {
            wrong++;
        }
    }

    /* Threads listing the same interfaces at once: the lists that were not d0 and FD alone. */
    public static int race(int threads, final int rounds) throws InterruptedException {
        wrong = 0;
        Thread[] all = new Thread[threads];
        for (int t = 0; t < threads; t++) {
            final Class c = t % 2 == 0 ? T10.class : C10.class;
            all[t] = new Thread() {
                public void run() {
                    for (int i = 0; i < rounds; i++) {
                        boolean bad;
                        try {
                            bad = c.getFields().length != 1 || (c == T10.class && c.getMethods().length != 1);
                        } catch (Throwable e) {
                            bad = true;
                        }
                        count(bad);
                    }
                }
            };
            all[t].start();
        }
        for (int t = 0; t < threads; t++) {
            all[t].join();
        }
        return wrong;
    }

    public static void main(String[] args) throws Exception {
        System.out.print(of("T10 U10 W D0 C10"));
        System.out.println("wrong lists: " + race(4, 50));
    }
}
