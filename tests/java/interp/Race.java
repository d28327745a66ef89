package interp;

/* A class whose initialiser takes a while and then sets its statics: two threads that
   ask for it at once must both see it set, and its initialiser must run once. */
public class Race {
    public static int runs;

    public static int read() { return RaceSlow.ready * 1000 + RaceSlow.runs; }
}

class RaceSlow {
    static int ready;
    static int runs;

    static {
        runs = Race.runs + 1;
        Race.runs = runs;
        long spin = 0;
        for (int i = 0; i < 3000000; i++) spin += i;
        ready = spin > 0 ? 1 : 2;
    }
}
