/* Control flow, arrays, classes and interfaces, casts and conversions. */
public class LangBasics {
    interface Counter {
        int next();
    }

    static class Up implements Counter {
        int n;

        public int next() {
            return ++n;
        }
    }

    static class Step extends Up {
        int by;

        Step(int by) {
            this.by = by;
        }

        public int next() {
            n += by;
            return n;
        }
    }

    static int fib(int n) {
        return n < 2 ? n : fib(n - 1) + fib(n - 2);
    }

    static String kind(Object o) {
        if (o instanceof Step) {
            return "Step";
        }
        if (o instanceof Up) {
            return "Up";
        }
        if (o instanceof Counter) {
            return "Counter";
        }
        return "Object";
    }

    static String day(int d) {
        switch (d) {
            case 0:
                return "sun";
            case 6:
                return "sat";
            case 1:
            case 2:
            case 3:
            case 4:
            case 5:
                return "week";
            default:
                return "?";
        }
    }

    static int sparse(int k) {
        switch (k) {
            case -1000:
                return 1;
            case 7:
                return 2;
            case 100000:
                return 3;
            default:
                return 0;
        }
    }

    static boolean bump(int[] calls) {
        calls[0]++;
        return true;
    }

    public static void main(String[] args) {
        int sum = 0;
        for (int i = 1; i <= 100; i++) {
            sum += i;
        }
        System.out.println("sum " + sum);
        int w = 0;
        int count = 0;
        while (w < 50) {
            w += 7;
            count++;
        }
        System.out.println("while " + w + " " + count);
        int d = 10;
        do {
            d--;
        } while (d > 3);
        System.out.println("do " + d);
        int found = -1;
        outer:
        for (int i = 0; i < 10; i++) {
            for (int j = 0; j < 10; j++) {
                if (j > i) {
                    continue outer;
                }
                if (i * j == 42) {
                    found = i * 10 + j;
                    break outer;
                }
            }
        }
        System.out.println("found " + found);
        System.out.println("fib " + fib(20));

        int[] a = new int[5];
        for (int i = 0; i < a.length; i++) {
            a[i] = i * i;
        }
        int[][] grid = new int[3][4];
        grid[2][3] = 9;
        int[][] ragged = {{1}, {2, 3}, {}};
        System.out.println("arrays " + a[4] + " " + grid.length + "x" + grid[0].length + " " + grid[2][3] + " "
                + ragged[1][1] + " " + ragged[2].length);
        int[] copy = (int[]) a.clone();
        copy[0] = 99;
        System.out.println("clone " + a[0] + " " + copy[0] + " " + (copy != a));
        char[] cs = {'d', 'a', 'c', 'b'};
        for (int i = 0; i < cs.length; i++) {
            for (int j = i + 1; j < cs.length; j++) {
                if (cs[j] < cs[i]) {
                    char t = cs[i];
                    cs[i] = cs[j];
                    cs[j] = t;
                }
            }
        }
        System.out.println(new String(cs));

        Counter u = new Up();
        Counter s = new Step(5);
        u.next();
        u.next();
        s.next();
        s.next();
        System.out.println("counters " + u.next() + " " + s.next() + " " + kind(u) + " " + kind(s) + " " + kind("x"));
        System.out.println(day(0) + " " + day(3) + " " + day(6) + " " + day(9));
        System.out.println("sparse " + sparse(-1000) + sparse(7) + sparse(100000) + sparse(8));

        char c = 'A';
        c += 2;
        int ci = c + 1;
        System.out.println("chars " + c + " " + ci + " " + (char) ci + " " + (int) 'a');
        byte b = (byte) 200;
        short sh = (short) 70000;
        System.out.println("narrow " + b + " " + sh + " " + (b & 0xFF));
        long big = 1L << 40;
        System.out.println("long " + big + " " + (int) big + " " + (big >>> 38));

        int[] calls = new int[1];
        boolean r1 = false && bump(calls);
        boolean r2 = true || bump(calls);
        boolean r3 = true & bump(calls);
        boolean r4 = false | bump(calls);
        System.out.println("logic " + r1 + r2 + r3 + r4 + " " + calls[0]);

        final int base = 40;
        Counter anon = new Counter() {
            int k = base;

            public int next() {
                return ++k;
            }
        };
        anon.next();
        System.out.println("anon " + anon.next());
        Object o = new Object[] {"s", new Integer(3), null};
        Object[] arr = (Object[]) o;
        System.out.println("objs " + arr[0] + " " + arr[1] + " " + arr[2] + " " + arr.length);
        System.out.println("max " + Integer.MAX_VALUE + " " + Long.MIN_VALUE);
        System.out.println('a' + 1 + "b" + 'c' + 1);
        String ab = "a";
        ab = ab + "b";
        System.out.println("eq " + "ab".equals(ab) + " " + ("ab".hashCode() == ab.hashCode()) + " " + ("ab" == ab));
    }
}
