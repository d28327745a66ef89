/* try, catch and finally: the order they run in, what a finally does to a return or an
   exception, and the exceptions the machine itself raises. */
public class Exceptions {
    static class MyException extends Exception {
        int code;

        MyException(String m, int code) {
            super(m);
            this.code = code;
        }
    }

    static StringBuffer log = new StringBuffer();

    static int finallyRuns() {
        try {
            return 1;
        } finally {
            log.append("f1 ");
        }
    }

    static int finallyOverrides() {
        try {
            throw new RuntimeException("lost");
        } finally {
            return 2;
        }
    }

    static void thrower(int k) throws MyException {
        try {
            if (k == 1) {
                throw new MyException("one", 1);
            }
            if (k == 2) {
                throw new IllegalStateException("two");
            }
            log.append("ok" + k + " ");
        } finally {
            log.append("fin" + k + " ");
        }
    }

    public static void main(String[] args) {
        System.out.println(finallyRuns() + " " + finallyOverrides() + " " + log + "|");
        log.setLength(0);
        for (int k = 0; k < 3; k++) {
            try {
                thrower(k);
            } catch (MyException e) {
                log.append("my:" + e.getMessage() + ":" + e.code + " ");
            } catch (RuntimeException e) {
                log.append("rt:" + e.getMessage() + " ");
            }
        }
        System.out.println(log);
        try {
            try {
                Object o = "s";
                Integer i = (Integer) o;
                System.out.println(i);
            } catch (ClassCastException e) {
                System.out.println("caught ClassCastException");
                throw new RuntimeException("wrapped");
            } finally {
                System.out.println("inner finally");
            }
        } catch (RuntimeException e) {
            System.out.println("outer " + e.getMessage());
        }
        int[] arr = new int[2];
        try {
            arr[2] = 1;
        } catch (ArrayIndexOutOfBoundsException e) {
            System.out.println("ArrayIndexOutOfBoundsException");
        }
        try {
            Object o = null;
            o.hashCode();
        } catch (NullPointerException e) {
            System.out.println("NullPointerException");
        }
        try {
            int[] n = new int[arr.length - 3];
            System.out.println(n.length);
        } catch (NegativeArraySizeException e) {
            System.out.println("NegativeArraySizeException");
        }
        try {
            Object[] os = new String[1];
            os[0] = new Integer(1);
        } catch (ArrayStoreException e) {
            System.out.println("ArrayStoreException");
        }
        try {
            throw new Error("custom error");
        } catch (Throwable t) {
            System.out.println(t);
        }
        System.out.println(new MyException(null, 0));
        System.out.println(new RuntimeException("x").getMessage() + " " + new Exception().getMessage());
        try {
            try {
                throw new RuntimeException("first");
            } finally {
                if (arr.length == 2) {
                    throw new RuntimeException("second");
                }
            }
        } catch (RuntimeException e) {
            System.out.println("got " + e.getMessage());
        }
        int n = 0;
        for (int i = 0; i < 5; i++) {
            try {
                if (i == 3) {
                    break;
                }
                if (i == 1) {
                    continue;
                }
                n += 10;
            } finally {
                n++;
            }
        }
        System.out.println("loop " + n);
        int caught = 0;
        for (int i = 0; i < 1000; i++) {
            try {
                if (i % 3 == 0) {
                    throw new IllegalArgumentException();
                }
            } catch (IllegalArgumentException e) {
                caught++;
            }
        }
        System.out.println("caught " + caught);
        Object lock = new Object();
        try {
            synchronized (lock) {
                throw new RuntimeException("thrown while synchronized");
            }
        } catch (RuntimeException e) {
            System.out.println(e.getMessage());
        }
        try {
            deep(0);
        } catch (RuntimeException e) {
            System.out.println("unwound " + e.getMessage());
        }
    }

    static void deep(int depth) {
        if (depth == 200) {
            throw new RuntimeException("from depth " + depth);
        }
        try {
            deep(depth + 1);
        } finally {
            log.setLength(0);
        }
    }
}
