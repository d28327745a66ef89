package interp;

/* Classes initialised in several machines on one name space: each machine has its own
   statics, its own run of every initialiser and its own failures. */
public class Machines {
    public static int readCrossA() { return CrossA.a; }
    public static int readCrossB() { return CrossB.b; }

    public static int armPoison() { PoisonSwitch.fail = 1; return 0; }
    public static int readPoison() { return Poison.value; }
    public static int callPoison() { return Poison.get(); }

    public static int readCaptured() { return Captured.value; }
    public static int readSlowFailing() { return SlowFailing.value; }

    /* Work that keeps an initialiser running for a while. */
    static int spin(int n) {
        int s = 0;
        for (int i = 0; i < n; i++) s += i ^ (s >>> 3);
        return s;
    }
}

/* Each needs the other: entered from opposite ends in two machines, each machine's
   thread must finish (in one machine this would be Java's own deadlock). */
class CrossA {
    static int a;
    static {
        Machines.spin(1000000);
        a = 1 + CrossB.b;
    }
}

class CrossB {
    static int b;
    static {
        Machines.spin(1000000);
        b = 10 + CrossA.a;
    }
}

/* Fails only in a machine whose switch was set. */
class Poison {
    static int value;
    static {
        if (PoisonSwitch.fail != 0) throw new IllegalStateException("this machine's switch");
        value = 7;
    }

    static int get() { return value + 1; }
}

class PoisonSwitch {
    static int fail;
}

/* Its initialiser hands its own static data to native code, then fails. */
class Captured {
    static int value;
    static native int capture();
    static {
        capture();
        if (value == 0) throw new IllegalStateException("after the capture");
    }
}

/* Fails after a while, so that other threads of its machine meet it running. */
class SlowFailing {
    static int value;
    static {
        value = Machines.spin(300000);
        if (value != 0) throw new IllegalStateException("slow");
    }
}
