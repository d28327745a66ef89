/* Classes whose static initialisers sleep (a declared wait, during which the host may
   move the machine), each first reached by another instruction of SlowInitUser: new, a
   static field's read, a static field's write and a static call. SlowInit's sleep is its
   initialiser's last act; the others write a static after it, and SlowInitFails throws. */
public class SlowInit {
    static int value = 5;

    static {
        try {
            Thread.sleep(SlowInitUser.pause);
        } catch (InterruptedException e) {
            value = -1;
        }
    }

    int own = 2;
}

class SlowInitRead {
    static int value = 1;
    static long wide = 1;

    static {
        SlowInitUser.nap();
        value = 11;
        wide = 0x100000002L;
    }
}

class SlowInitWrite {
    static int value = 1;
    static int[] seen = new int[2];

    static {
        SlowInitUser.nap();
        seen[0] = value;
        value = 12;
    }
}

class SlowInitCall {
    static int base = 1;

    static {
        SlowInitUser.nap();
        base = 13;
    }

    static int plus(int a, int b) {
        return base + a + b;
    }
}

class SlowInitFails {
    static int value = 1;

    static {
        SlowInitUser.nap();
        if (value == 1) throw new IllegalStateException("late");
    }
}
