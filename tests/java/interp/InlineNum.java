package interp;

/* The instructions the dispatch loops carry out on long, float and double values, on
   two-word locals and pool constants, the divisions, the switches and the elements of
   two-word and reference arrays, with their edges: NaN, infinities, -0.0,
   Long.MIN_VALUE, MIN_VALUE / -1, a zero divisor, elements on both sides of 776 bytes
   and of later piece boundaries, one array read at two places in turn. checkE to checkK
   answer 0 when every check holds, else the number of the first that failed;
   InlineNumLong holds their bodies in methods padded past 776 bytes (the slow loop).
   Every operand is made at run time (from the seed, 7), so that the compiler folds only
   the expected values. */
public class InlineNum {
    long fl;

    static class Sub extends InlineNum {
    }

    public static int checkE(int seed) {
        int m = seed;
        long z = m - 7;
        double dz = z;
        float fz = (float) dz;
        double nan = dz / dz, inf = 1.0 / dz, ninf = -1.0 / dz, nz = -dz;
        float fnan = fz / fz, finf = 1.0f / fz, fnz = -fz;
        long min = Long.MIN_VALUE + z, max = Long.MAX_VALUE + z;
        // long arithmetic wraps; shifts take their counts modulo 64
        if (min - 1 != max || max + 1 != min || min * -1 != min || -min != min || -max != min + 1) return 1;
        if ((0x100000001L + z) * 0x100000001L != 0x200000001L || (max / m) * m + max % m != max) return 2;
        if ((-7L + z) / 2 != -3 || (-7L + z) % 2 != -1 || (7L + z) % -2 != 1 || min / -1 != min || min % -1 != 0) return 3;
        if ((1L + z) << 63 != min || (1L + z) << 64 != 1 || (1L + z) << -1 != min || min >> 63 != -1 || min >>> 63 != 1
            || (-1L + z) >>> 1 != max || (min >> (m + 55)) != -2) return 4;
        long f0 = 0xF0F0F0F0F0F0F0F0L + z;
        if ((f0 & 0xFF00FF00FF00FF00L) != 0xF000F000F000F000L || (f0 | 0x0F0FL) != 0xF0F0F0F0F0F0FFFFL
            || (f0 ^ -1L) != 0x0F0F0F0F0F0F0F0FL) return 5;
        if (!(min < max) || min > z || !(max > z) || min == max || !(z == 0) || z != 0L) return 6;
        // int division: MIN_VALUE / -1, and a zero divisor throws
        int imin = Integer.MIN_VALUE + (int) z;
        if (imin / -1 != imin || imin % -1 != 0 || -7 / (m - 5) != -3 || -7 % (m - 5) != -1 || 7 % (5 - m) != 1) return 7;
        int thrown = 0;
        try { m = m / (int) z; } catch (ArithmeticException e) { thrown++; }
        try { m = m % (int) z; } catch (ArithmeticException e) { thrown++; }
        try { z = z / z; } catch (ArithmeticException e) { thrown++; }
        try { z = z % z; } catch (ArithmeticException e) { thrown++; }
        if (thrown != 4 || m != 7 || z != 0) return 8;
        return 0;
    }

    public static int checkG(int seed) {
        int m = seed;
        long z = m - 7;
        double dz = z;
        float fz = (float) dz;
        double nan = dz / dz, inf = 1.0 / dz, ninf = -1.0 / dz, nz = -dz;
        float fnan = fz / fz, finf = 1.0f / fz, fnz = -fz;
        long min = Long.MIN_VALUE + z, max = Long.MAX_VALUE + z;
        // NaN compares false both ways (dcmpl and dcmpg, fcmpl and fcmpg)
        if (nan == nan || !(nan != nan) || nan < 1.0 || nan > 1.0 || nan <= inf || nan >= ninf) return 9;
        if (fnan == fnan || fnan < 1f || fnan > 1f || fnan <= finf || fnan >= -finf) return 10;
        if (!(inf > 1e308) || !(ninf < -1e308) || inf - inf == inf - inf || !(nz == 0.0) || 1.0 / nz != ninf) return 11;
        if (!(fnz == 0f) || 1f / fnz != -finf || finf - finf == finf - finf) return 12;
        // each operation rounded once, as Java has it
        double tenth = 0.1 + dz, third = 1.0 / (3 + dz);
        if (tenth + 0.2 != 0.1 + 0.2 || tenth * 3 != 0.1 * 3 || third * 3 != 1.0 / 3 * 3 || tenth - 0.3 != 0.1 - 0.3
            || 1e308 * (10 + dz) != inf || 4.9e-324 / (2 + dz) != 0.0 || -4.9e-324 / (2 + dz) != -0.0
            || 1.0 / (-4.9e-324 / (2 + dz)) != ninf) return 13;
        float ften = 0.1f + fz;
        if (ften + 0.2f != 0.1f + 0.2f || ften * 3 != 0.1f * 3 || ften / 3 != 0.1f / 3 || ften - 0.3f != 0.1f - 0.3f
            || 3e38f * (10 + fz) != finf) return 14;
        return 0;
    }

    public static int checkH(int seed) {
        int m = seed;
        long z = m - 7;
        double dz = z;
        float fz = (float) dz;
        double nan = dz / dz, inf = 1.0 / dz, ninf = -1.0 / dz, nz = -dz;
        float fnan = fz / fz, finf = 1.0f / fz, fnz = -fz;
        long min = Long.MIN_VALUE + z, max = Long.MAX_VALUE + z;
        // conversions by the Java rules: NaN gives 0, out of range saturates
        if ((int) nan != 0 || (int) inf != Integer.MAX_VALUE || (int) ninf != Integer.MIN_VALUE || (int) (-2.9 + dz) != -2
            || (int) (2147483648.5 + dz) != Integer.MAX_VALUE || (int) (-2147483649.0 + dz) != Integer.MIN_VALUE) return 15;
        if ((long) nan != 0 || (long) inf != Long.MAX_VALUE || (long) ninf != Long.MIN_VALUE || (long) (-1e19 + dz) != Long.MIN_VALUE
            || (long) (1e18 + dz) != 1000000000000000000L || (long) (-2.9 + dz) != -2) return 16;
        if ((int) fnan != 0 || (int) finf != Integer.MAX_VALUE || (int) -finf != Integer.MIN_VALUE || (long) fnan != 0
            || (long) finf != Long.MAX_VALUE || (long) (-3e18f + fz) != -3e18f || (int) (2.5f + fz) != 2) return 17;
        long odd = (1L << 60) + (1L << 36) + 1 + z;
        if ((float) odd != (float) ((1L << 60) + (1L << 37)) || (double) max != 9.223372036854775807E18
            || (double) (min + 1) != -9.223372036854775807E18 || (float) (m + 16777210) != 16777216f) return 18;
        if ((float) (1e40 + dz) != finf || (double) (float) (0.1 + dz) == 0.1 + dz || (double) (0.1f + fz) != (double) 0.1f
            || (float) nan == (float) nan || (double) fnan == (double) fnan || (double) (m - 8) != -1.0
            || (int) (long) (m - 8) != -1 || (long) (int) (max + z) != -1L) return 19;
        return 0;
    }

    public static int checkI(int seed) {
        int m = seed;
        long z = m - 7;
        double dz = z;
        float fz = (float) dz;
        double nan = dz / dz, inf = 1.0 / dz, ninf = -1.0 / dz, nz = -dz;
        float fnan = fz / fz, finf = 1.0f / fz, fnz = -fz;
        long min = Long.MIN_VALUE + z, max = Long.MAX_VALUE + z;
        // two-word locals in the first four slots, both kinds
        if (sub0(5 + z, 3 + z) != 2 || sub1(m, 10 + z) != 17 || times0(4 + z) != 12 || add2(m, 1, 5 + z) != 12) return 20;
        if (dsub0(5 + dz, 3 + dz) != 2.0 || dsub1(m, 10 + dz) != 17.0 || dtimes0(4 + dz) != 12.0 || dadd2(m, 1, 0.5 + dz) != 7.5) return 21;
        if (dmix3(1, 2, 3, 4.5 + dz) != 10.5 || lmix3(1, 2, 3, 4 + z) != 10) return 22;
        // pool constants
        if (100000 + (int) z != 99999 + 1 || 2.5f + fz != 5f / 2 || 123456789012345L + z != 123456789012345L
            || 6.02214076e23 + dz != 6.02214076e23 || -0.0 + nz != -0.0 || 1.0 / (-0.0 + nz) != ninf) return 23;
        // switches: below, inside and above a table, a sparse key set, the extremes
        int sum = 0;
        for (int k = -3; k < 9; k++) sum = sum * 3 + table(k) + 7 * lookup(k * 1000);
        if (sum != expectedSwitches() || table(Integer.MIN_VALUE) != -1 || table(Integer.MAX_VALUE) != -1
            || lookup(Integer.MIN_VALUE) != 9 || lookup(Integer.MAX_VALUE) != 10 || lookup(m) != 0) return 24;
        return 0;
    }

    public static int checkF(int seed) {
        int m = seed;
        long z = m - 7;
        double dz = z;
        double nan = dz / dz;
        // elements on both sides of 776 bytes and of later piece boundaries
        long[] la = new long[700];
        double[] da = new double[700];
        for (int k = 0; k < la.length; k++) {
            la[k] = k * 0x100000001L + z;
            da[k] = k * 0.5 + dz;
        }
        if (la[96] != 96 * 0x100000001L || la[97] != 97 * 0x100000001L || la[128] != 128 * 0x100000001L
            || la[129] != 129 * 0x100000001L || la[699] != 699 * 0x100000001L) return 31;
        if (da[96] != 48.0 || da[97] != 48.5 || da[128] != 64.0 || da[129] != 64.5 || da[161] != 80.5 || da[699] != 349.5) return 32;
        // two places of one array in turn, and two arrays in turn
        long acc = 0;
        double dacc = 0;
        for (int k = 0; k < la.length; k++) {
            la[k] += la[la.length - 1 - k] - k;
            acc += la[k] ^ la[(k * 37) % la.length];
            da[k] = da[k] * 2 + da[la.length - 1 - k];
            dacc += da[k];
        }
        long check = 0;
        double dcheck = 0;
        long[] lb = new long[700];
        double[] db = new double[700];
        for (int k = 0; k < lb.length; k++) {
            lb[k] = k * 0x100000001L;
            db[k] = k * 0.5;
        }
        for (int k = 0; k < lb.length; k++) {
            touch();
            lb[k] += lb[lb.length - 1 - k] - k;
            check += lb[k] ^ lb[(k * 37) % lb.length];
            db[k] = db[k] * 2 + db[lb.length - 1 - k];
            dcheck += db[k];
        }
        if (acc != check || dacc != dcheck) return 33;
        for (int k = 0; k < la.length; k++) {
            if (la[k] != lb[k] || da[k] != db[k]) return 34;
        }
        return 0;
    }

    public static int checkJ(int seed) {
        int m = seed;
        long z = m - 7;
        double dz = z;
        double nan = dz / dz;
        long[] la = new long[700];
        double[] da = new double[700];
        // NaN, infinities and -0.0 stored and read back whole
        da[97] = nan;
        da[96] = -dz;
        da[129] = 1 / dz;
        la[97] = Long.MIN_VALUE + z;
        if (da[97] == da[97] || 1 / da[96] != -1 / dz + dz || da[129] != 1 / dz || la[97] != Long.MIN_VALUE) return 35;
        // a store between two reads of one element, and one that allocates (a handler runs)
        int[] ia = new int[600];
        byte[] ba = new byte[2000];
        for (int k = 0; k < ba.length; k++) ba[k] = (byte) k;
        for (int k = 0; k < ia.length; k++) {
            ia[k] = k;
            if (k % 100 == 99) {
                int[] fresh = new int[600];
                fresh[k] = ia[k];
                if (fresh[k] != k) return 36;
            }
        }
        if (ia[193] != 193 || ia[194] != 194 || ia[257] != 257 || ia[258] != 258 || ba[775] != (byte) 775 || ba[776] != (byte) 776
            || ba[1031] != (byte) 1031 || ba[1032] != (byte) 1032) return 37;
        return 0;
    }

    public static int checkK(int seed) {
        int m = seed;
        long z = m - 7;
        double dz = z;
        double nan = dz / dz;
        // reference arrays: the element class itself, a subclass, Object, and a refused store
        InlineNum[] na = new InlineNum[400];
        Object[] oa = new Object[400];
        InlineNum one = new InlineNum();
        Sub two = new Sub();
        for (int k = 0; k < na.length; k++) {
            na[k] = (k & 1) == 0 ? one : two;
            oa[k] = na[k];
        }
        na[194] = null;
        if (na[193] != two || na[194] != null || na[399] != two || oa[398] != one || oa[194] != one) return 38;
        Object[] narrow = na;
        int refused = 0;
        try {
            narrow[300] = new Object();
        } catch (ArrayStoreException e) {
            refused++;
        }
        try {
            narrow[3] = "x";
        } catch (ArrayStoreException e) {
            refused++;
        }
        if (refused != 2 || na[300] != one) return 39;
        // stores whose value is used again (dup_x2, dup2_x1, dup2_x2)
        int[] ia = new int[600];
        long[] la = new long[700];
        double[] da = new double[700];
        la[600] = 600 * 0x100000001L + z;
        InlineNum h = new InlineNum();
        int r1 = ia[300] = m;
        long r2 = h.fl = max(z);
        long r3 = la[500] = r2 - 1;
        double r4 = da[200] = -dz;
        if (r1 != 7 || ia[300] != 7 || r2 != Long.MAX_VALUE || h.fl != r2 || r3 != la[500] || 1 / r4 != -1 / dz + dz
            || 1 / da[200] != 1 / r4) return 40;
        long v = la[600]++;
        if (v != 600 * 0x100000001L || la[600] != v + 1) return 41;
        return 0;
    }

    /* A row read whole (the loop remembers its pieces), dropped, and a new one made, which
       may well lie where the dropped one lay (every piece array's first block is of one
       size) on pieces of its own: written and read in the loop, and read again in the
       slow loop, which starts with nothing remembered. Then more rows than the loop
       remembers pieces of, read again after thousands of calls. */
    public static int checkL(int seed) {
        int m = seed;
        double[] row = new double[300];
        for (int round = 0; round < 300; round++) {
            double sum = 0;
            for (int k = 0; k < row.length; k++) sum += row[k];
            if (sum != (round == 0 ? 0 : (row.length - 1) * row.length / 2 + row.length * (round - 1))) return 42;
            row = null;
            row = new double[300 + round % 7 * 37];
            for (int k = 0; k < row.length; k++) row[k] = k + round;
            for (int k = row.length - 1; k >= 0; k -= 5)
                if (row[k] != k + round || InlineNumLong.readBack(row, k) != k + round) return 43;
        }
        double[][] rows = new double[40][];
        for (int r = 0; r < rows.length; r++) {
            rows[r] = new double[300 + r];
            for (int k = 0; k < rows[r].length; k++) rows[r][k] = r * 1000 + k;
        }
        for (int round = 0; round < 3; round++) {
            for (int r = 0; r < rows.length; r++) {
                double[] a = rows[r];
                for (int k = 0; k < a.length; k++) {
                    if (a[k] != r * 1000 + k) return 44;
                    if (k % 50 == 49) touch();
                }
            }
            if (InlineNumLong.checkE0(m) != 0) return 45;
        }
        return 0;
    }

    /* Static calls within the class and their returns of every kind, deep enough to need
       more frame groups, a callee that throws, and calls the loop leaves to the handler
       (another class, a synchronized method, a slow-loop method) between them. */
    public static int checkM(int seed) {
        int m = seed;
        long z = m - 7;
        double dz = z;
        if (twice(m) != 14 || wide(Long.MIN_VALUE + z) != Long.MIN_VALUE + 1 || 1 / half(-dz) != 1 / -0.0
            || halfF(3f + z) != 1.5f || pass("x") != "x" || nothing(m) != 0) return 46;
        if (depth(3000) != 3000 || sumTo(2500, 0L) != 2500L * 2501 / 2) return 47;
        int caught = 0;
        for (int k = 0; k < 50; k++) {
            try {
                thrower(k);
            } catch (IllegalStateException e) {
                caught += e.getMessage().length();
            }
        }
        if (caught != 50 * 4) return 48;
        if (locked(m) != 8 || InlineNumLong.readBack(new double[] {dz + 2.5}, 0) != 2.5) return 49;
        return 0;
    }

    /* Static calls of other classes, which the fast loop makes itself once their class
       is initialised: java.lang.Math's branching one-liners, which it computes in place, at their edges (MIN_VALUE, -0.0, NaN, infinities, ties); a
       class of this package whose one-liners have the same code, and whose initialiser
       still runs before the first of them. Each is called a few times in a row, so that
       the loop meets the class initialised. */
    public static int checkN(int seed) {
        int m = seed;
        long z = m - 7;
        double dz = z;
        float fz = z;
        if (shapesReady > 1) return 50;
        for (int k = 0; k < 3; k++) {
            if (Shapes.abs(m - 14) != 7 || Shapes.max(m, -m) != 7 || Shapes.min(m, -m) != -7) return 51;
            if (shapesReady != 1) return 52;
        }
        for (int k = 0; k < 3; k++) {
            if (Math.abs(Integer.MIN_VALUE + (int)z) != Integer.MIN_VALUE || Math.abs(-m) != 7 || Math.abs(m) != 7
                || Math.abs((int)z) != 0) return 53;
            if (Math.abs(Long.MIN_VALUE + z) != Long.MIN_VALUE || Math.abs(z - 9) != 9 || Math.abs(z + 9) != 9) return 54;
            if (1 / Math.abs(-dz) != Double.POSITIVE_INFINITY || 1 / Math.abs(dz) != Double.POSITIVE_INFINITY
                || Math.abs(dz - 2.5) != 2.5 || Math.abs(Double.NEGATIVE_INFINITY + dz) != Double.POSITIVE_INFINITY
                || Math.abs(dz / dz) == Math.abs(dz / dz) || Math.abs(-Double.MIN_VALUE + dz) != Double.MIN_VALUE) return 55;
            if (1 / Math.abs(-fz) != Float.POSITIVE_INFINITY || 1 / Math.abs(fz) != Float.POSITIVE_INFINITY
                || Math.abs(fz - 2.5f) != 2.5f || Math.abs(Float.NEGATIVE_INFINITY + fz) != Float.POSITIVE_INFINITY
                || Math.abs(fz / fz) == Math.abs(fz / fz) || Math.abs(-Float.MAX_VALUE + fz) != Float.MAX_VALUE) return 56;
            if (Math.max(Integer.MIN_VALUE + (int)z, m) != 7 || Math.max(m, m) != 7 || Math.max(-m, Integer.MAX_VALUE) != Integer.MAX_VALUE
                || Math.min(Integer.MIN_VALUE + (int)z, m) != Integer.MIN_VALUE || Math.min(-m, -m) != -7) return 57;
        }
        // Signs that change every time, as a loop over data meets them.
        double sum = 0;
        long lsum = 0;
        for (int i = -500; i < 500; i++) {
            sum += Math.abs(i * 0.5 + dz) + Math.abs((float)(i + fz));
            lsum += Math.abs(i) + Math.abs((long)i * 3 + z) + Math.max(i, -i) - Math.min(i, 3 - i);
        }
        if (sum != 375000.0 || lsum != 1498504L) return 59;
        return 0;
    }
    static int shapesReady;

    /* Virtual calls the loop makes itself once their sites are quickened: receivers of
       several classes at one site, a synchronized override among them (left to the
       handler), a null receiver, recursion deep enough for more frame groups; the quick
       static field forms of every kind, in a class whose statics run past its block
       into pieces (a long across that edge among them); string constants. */
    public static int checkO(int seed) {
        int m = seed;
        long z = m - 7;
        Figure[] figures = {new Figure(), new Square(), new LockedSquare(), null};
        LockedSquare.entered = 0;
        int sum = 0, thrown = 0;
        for (int k = 0; k < 40; k++) {
            try {
                sum += figures[k & 3].area(k + m);
            } catch (NullPointerException e) {
                thrown++;
            }
        }
        // Figure: k + 7; Square: (k + 7)^2; LockedSquare: (k + 7)^2 + 1; for k = 0..39 by fours.
        int expected = 0;
        for (int k = 0; k < 40; k += 4) expected += (k + 7) + (k + 8) * (k + 8) + (k + 9) * (k + 9) + 1;
        if (sum != expected || thrown != 10) return 60;
        if (new Square().depth(2500) != 2500 || LockedSquare.entered != 10) return 61;
        // Interface calls: the site's remembered slot differs between the receivers' classes.
        Sized[] sized = {new Small(), new Large(), new Inherited(), null};
        int total = 0;
        thrown = 0;
        for (int k = 0; k < 40; k++) {
            try {
                total += sized[k & 3].size(k + m) + new Figure().viaPrivate(k);
            } catch (NullPointerException e) {
                thrown++;
            }
        }
        // Small and Inherited: k + 7; Large: (k + 8)^2 * 2; and 3k + 1 for every receiver met.
        expected = 0;
        for (int k = 0; k < 40; k += 4) expected += (k + 7) + 2 * (k + 8) * (k + 8) + (k + 9) + 3 * (3 * k + 3) + 3;
        if (total != expected || thrown != 10) return 64;
        // Every run stores other high words: a word left unwritten shows.
        long hi = (long)++oRuns << 33;
        Statics.pad = m;
        Statics.p0 = Long.MIN_VALUE + hi + z;
        Statics.p95 = 95 + hi;
        Statics.p96 = 96 + hi;
        Statics.p97 = hi - 97;
        Statics.p98 = Long.MAX_VALUE - hi;
        Statics.p119 = 119 + hi;
        Statics.d = oRuns * 1.0e10 + z;
        Statics.f = Float.NaN;
        Statics.o = figures[1];
        Statics.last = m;
        for (int k = 0; k < 100; k++) {
            Statics.pad += k;
            Statics.p96 += k;
            Statics.p97 -= k;
            Statics.p119 += Statics.p0 == Long.MIN_VALUE + hi ? 1 : 2;
            Statics.d -= 0.5;
            Statics.last ^= k;
        }
        if (Statics.pad != 7 + 4950 || Statics.p95 != 95 + hi || Statics.p96 != 96 + hi + 4950
            || Statics.p97 != hi - 97 - 4950 || Statics.p98 != Long.MAX_VALUE - hi || Statics.p119 != 219 + hi
            || Statics.d != oRuns * 1.0e10 - 50.0 || Statics.f == Statics.f
            || Statics.o != figures[1] || Statics.last != (7 ^ xorTo(100))) return 62;
        String a = "constant", b = pass("constant") == null ? null : "constant";
        if (a != b || a.length() != 8 || pass(a) != "constant") return 63;
        return 0;
    }

    /* Synchronized targets of the calls the loop makes itself, monitors, and the type
       tests it answers for an object of exactly the named class. */
    public static int checkP(int seed) {
        int m = seed;
        int total;
        // A site whose first target was synchronized stays slow; a synchronized static
        // method of another class; a synchronized block, and one on null.
        LockedSquare locked = new LockedSquare();
        LockedSquare.entered = 0;
        total = 0;
        for (int k = 0; k < 10; k++) {
            total += locked.area(k) + LockedSquare.count(k);
            synchronized (locked) {
                total++;
            }
        }
        if (total != 295 + 45 + 10 || LockedSquare.entered != 20) return 65;
        Object none = m > 7 ? locked : null;
        try {
            synchronized (none) {
                return 66;
            }
        } catch (NullPointerException e) {
        }
        // Type tests: of exactly the class named, of a subclass, an interface, an array
        // and null, passing and failing.
        Object[] things = {new Square(), new LockedSquare(), new Small(), new int[2], null, "s"};
        int tests = 0, casts = 0;
        for (int k = 0; k < 60; k++) {
            Object o = things[k % 6];
            if (o instanceof Square) tests += 1;
            if (o instanceof Sized) tests += 10;
            if (o instanceof int[]) tests += 100;
            if (o instanceof String) tests += 1000;
            try {
                Square q = (Square)o;
                casts += q == null ? 1 : 10;
                int[] a = (int[])o;
                casts += a == null ? 100 : 1000;
            } catch (ClassCastException e) {
                casts += 10000;
            }
        }
        if (tests != 10 * (1 + 1 + 10 + 100 + 1000) || casts != 10 * (10 + 10 + 10000 + 10000 + 1 + 100 + 10000 + 10000 + 10000)) return 67;
        return 0;
    }

    /* Finally blocks, which this compiler makes subroutines of: left normally, by a
       return, by a thrown exception and by a continue, in a loop, nested two deep. */
    public static int checkQ(int seed) {
        int done = seed - 7, caught = 0;
        finallyHits = 0;
        for (int k = 0; k < 30; k++) {
            try {
                try {
                    if (k % 3 == 0) throw new IllegalStateException();
                    done += finallyReturns(k) ? 1 : 0;
                } finally {
                    done += 100;
                    try {
                        if (k % 5 == 0) continue;
                    } finally {
                        done += 10000;
                    }
                }
            } catch (IllegalStateException e) {
                caught++;
            }
        }
        // A continue in a finally block drops the exception thrown before it (k = 0, 15).
        if (done != 303010 || caught != 8 || finallyHits != 50) return 70;
        return 0;
    }

    static int finallyHits;

    static boolean finallyReturns(int k) {
        try {
            if ((k & 1) == 0) return true;
            finallyHits++;
        } finally {
            finallyHits += 2;
        }
        return false;
    }

    static int oRuns;

    static int xorTo(int n) {
        int x = 0;
        for (int k = 0; k < n; k++) x ^= k;
        return x;
    }

    static int twice(int v) { return v + v; }
    static long wide(long v) { return v + 1; }
    static double half(double v) { return v / 2; }
    static float halfF(float v) { return v / 2; }
    static Object pass(Object o) { return o; }
    static int sink;
    static void store(int v) { sink = v; }
    static int nothing(int v) { store(v); return sink - v; }
    static int depth(int n) { return n == 0 ? 0 : 1 + depth(n - 1); }
    static long sumTo(int n, long acc) { return n == 0 ? acc : sumTo(n - 1, acc + n); }
    static void thrower(int k) { if (k >= 0) throw new IllegalStateException("k<10"); }
    static synchronized int locked(int v) { return twice(v) - 6; }

    /* A call between accesses: the loop forgets the pieces it remembered. */
    static void touch() {
    }

    static long max(long z) { return Long.MAX_VALUE + z; }

    static long sub0(long a, long b) { long c = a - b; return c; }
    static long sub1(int x, long a) { a += x; long b = a; return b; }
    static long times0(long a) { a = a * 3; return a; }
    static long add2(int x, int y, long a) { a += x; return a; }
    static long lmix3(int x, int y, int w, long a) { long b = a + x + y + w; return b; }
    static double dsub0(double a, double b) { double c = a - b; return c; }
    static double dsub1(int x, double a) { a += x; double b = a; return b; }
    static double dtimes0(double a) { a = a * 3; return a; }
    static double dadd2(int x, int y, double a) { a += x; return a; }
    static double dmix3(int x, int y, int w, double a) { double b = a + x + y + w; return b; }

    static int table(int k) {
        switch (k) {
            case -1: return 1;
            case 0: return 2;
            case 1: return 3;
            case 2: return 4;
            case 4: return 5;
            case 5: return 6;
            default: return -1;
        }
    }

    static int lookup(int k) {
        switch (k) {
            case -3000: return 1;
            case 0: return 2;
            case 2000: return 3;
            case 5000: return 4;
            case 8000: return 5;
            case Integer.MIN_VALUE: return 9;
            case Integer.MAX_VALUE: return 10;
            default: return 0;
        }
    }

    static int expectedSwitches() {
        int[] t = {-1, -1, 1, 2, 3, 4, -1, 5, 6, -1, -1, -1};
        int[] l = {1, 0, 0, 2, 0, 3, 0, 0, 4, 0, 0, 5};
        int sum = 0;
        for (int i = 0; i < t.length; i++) sum = sum * 3 + t[i] + 7 * l[i];
        return sum;
    }
}

/* One-liners with the code of java.lang.Math's; its initialiser must run before any. */
class Shapes {
    static {
        InlineNum.shapesReady++;
    }

    static int abs(int a) { return a < 0 ? -a : a; }
    static int max(int a, int b) { return a >= b ? a : b; }
    static int min(int a, int b) { return a <= b ? a : b; }
}

class Figure {
    int area(int k) { return k; }

    int viaPrivate(int k) { return thrice(k) + 1; }

    private int thrice(int k) { return 3 * k; }

    int depth(int n) { return n == 0 ? 0 : 1 + depth(n - 1); }
}

class Square extends Figure {
    int area(int k) { return k * k; }
}

class LockedSquare extends Square {
    static int entered;

    static synchronized int count(int k) {
        entered++;
        return k;
    }

    synchronized int area(int k) {
        entered++;
        return super.area(k) + 1;
    }
}

/* Statics past the first words of their block: the longs from about p97 on lie in pieces. */
class Statics {
    static int pad;
    static long p0, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10, p11, p12, p13, p14, p15, p16, p17, p18, p19, p20, p21, p22, p23, p24, p25, p26, p27, p28, p29, p30, p31, p32, p33, p34, p35, p36, p37, p38, p39, p40, p41, p42, p43, p44, p45, p46, p47, p48, p49, p50, p51, p52, p53, p54, p55, p56, p57, p58, p59, p60, p61, p62, p63, p64, p65, p66, p67, p68, p69, p70, p71, p72, p73, p74, p75, p76, p77, p78, p79, p80, p81, p82, p83, p84, p85, p86, p87, p88, p89, p90, p91, p92, p93, p94, p95, p96, p97, p98, p99, p100, p101, p102, p103, p104, p105, p106, p107, p108, p109, p110, p111, p112, p113, p114, p115, p116, p117, p118, p119;
    static double d;
    static float f;
    static Object o;
    static int last;
}

interface Sized {
    int size(int k);
}

class Small implements Sized {
    public int size(int k) { return k; }
}

class Large extends Square implements Sized {
    public int size(int k) { return area(k) * 2; }
}

class Inherited extends Small {
}
