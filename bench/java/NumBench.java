import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.math.BigInteger;
import java.util.Random;
import java.util.zip.CRC32;
import java.util.zip.GZIPInputStream;
import java.util.zip.GZIPOutputStream;

/* Numeric and array kernels, run whole on each machine (this one through puxjava, the
   reference through java -Xint) by bench/interp.cpp. Each kernel checks its own result and
   answers a checksum that must come out the same on both machines; main prints, per
   kernel, "name ms checksum" with the best of three timed runs (setup not timed), or
   "name FAILED" and exits 1. Arguments: the kernels to run (all when none). */
public class NumBench {
    static final String[] NAMES = {"fft", "sor", "lu", "sparse", "fourier", "idea", "heapsort", "gametree",
                                   "modpow", "primes", "gzip", "alloc"};

    public static void main(String[] args) throws Exception {
        for (int k = 0; k < NAMES.length; k++) {
            if (args.length > 0 && !wanted(args, NAMES[k])) continue;
            long best = Long.MAX_VALUE;
            long sum = 0;
            for (int r = 0; r < 3; r++) {
                prepare(k);
                long t0 = System.currentTimeMillis();
                long s = run(k);
                long t = System.currentTimeMillis() - t0;
                if (r > 0 && s != sum) throw new RuntimeException(NAMES[k] + " differs between runs");
                sum = s;
                if (t < best) best = t;
            }
            System.out.println(NAMES[k] + " " + best + " " + sum);
        }
    }

    static boolean wanted(String[] args, String name) {
        for (int i = 0; i < args.length; i++)
            if (args[i].equals(name)) return true;
        return false;
    }

    static void check(boolean ok, String what) {
        if (!ok) {
            System.out.println(what + " FAILED");
            System.exit(1);
        }
    }

    static byte[] gz;
    static long gzCrc;

    static void prepare(int k) throws IOException {
        if (k == 10 && gz == null) {
            byte[] data = text(4 << 20);
            CRC32 crc = new CRC32();
            crc.update(data, 0, data.length);
            gzCrc = crc.getValue();
            ByteArrayOutputStream bytes = new ByteArrayOutputStream();
            GZIPOutputStream out = new GZIPOutputStream(bytes);
            out.write(data, 0, data.length);
            out.close();
            gz = bytes.toByteArray();
        }
    }

    static long run(int k) throws IOException {
        switch (k) {
            case 0: return fft(1 << 16, 6);
            case 1: return sor(200, 200);
            case 2: return lu(100, 80);
            case 3: return sparse(20000, 100000, 120);
            case 4: return fourier(12000);
            case 5: return idea(1 << 17, 4);
            case 6: return heapsort(300000);
            case 7: return gametree(10);
            case 8: return modpow(4);
            case 9: return primes(1);
            case 10: return gzip(40);
            default: return alloc(600000);
        }
    }

    static long bits(double d) {
        return Double.doubleToLongBits(d);
    }

    /* ---- FFT: forward and inverse over n complex numbers, back to the input ---- */
    static long fft(int n, int rounds) {
        double[] data = new double[2 * n];
        Random r = new Random(7);
        for (int i = 0; i < data.length; i++) data[i] = r.nextDouble();
        double[] copy = new double[data.length];
        System.arraycopy(data, 0, copy, 0, data.length);
        long sum = 0;
        for (int round = 0; round < rounds; round++) {
            transform(data, -1);
            sum += bits(data[2]) ^ bits(data[data.length - 1]);
            transform(data, 1);
            double norm = 1.0 / n;
            for (int i = 0; i < data.length; i++) data[i] *= norm;
        }
        double diff = 0;
        for (int i = 0; i < data.length; i++) diff = Math.max(diff, Math.abs(data[i] - copy[i]));
        check(diff < 1e-9, "fft");
        return sum;
    }

    static void transform(double[] data, int direction) {
        int n = data.length / 2;
        int logn = 0;
        while ((1 << logn) < n) logn++;
        bitreverse(data);
        for (int bit = 0, dual = 1; bit < logn; bit++, dual *= 2) {
            double wReal = 1.0, wImag = 0.0;
            double theta = 2.0 * direction * Math.PI / (2.0 * dual);
            double s = Math.sin(theta);
            double t = Math.sin(theta / 2.0);
            double s2 = 2.0 * t * t;
            for (int b = 0; b < n; b += 2 * dual) {
                int i = 2 * b, j = 2 * (b + dual);
                double wdReal = data[j], wdImag = data[j + 1];
                data[j] = data[i] - wdReal;
                data[j + 1] = data[i + 1] - wdImag;
                data[i] += wdReal;
                data[i + 1] += wdImag;
            }
            for (int a = 1; a < dual; a++) {
                double tmpReal = wReal - s * wImag - s2 * wReal;
                double tmpImag = wImag + s * wReal - s2 * wImag;
                wReal = tmpReal;
                wImag = tmpImag;
                for (int b = 0; b < n; b += 2 * dual) {
                    int i = 2 * (b + a), j = 2 * (b + a + dual);
                    double zReal = data[j], zImag = data[j + 1];
                    double wdReal = wReal * zReal - wImag * zImag;
                    double wdImag = wReal * zImag + wImag * zReal;
                    data[j] = data[i] - wdReal;
                    data[j + 1] = data[i + 1] - wdImag;
                    data[i] += wdReal;
                    data[i + 1] += wdImag;
                }
            }
        }
    }

    static void bitreverse(double[] data) {
        int n = data.length / 2;
        for (int i = 0, j = 0; i < n - 1; i++) {
            int ii = i << 1, jj = j << 1, k = n >> 1;
            if (i < j) {
                double tr = data[ii], ti = data[ii + 1];
                data[ii] = data[jj];
                data[ii + 1] = data[jj + 1];
                data[jj] = tr;
                data[jj + 1] = ti;
            }
            while (k <= j) {
                j -= k;
                k >>= 1;
            }
            j += k;
        }
    }

    /* ---- SOR relaxation over a double[][] grid ---- */
    static long sor(int size, int cycles) {
        double[][] g = new double[size][size];
        Random r = new Random(11);
        for (int i = 0; i < size; i++)
            for (int j = 0; j < size; j++) g[i][j] = r.nextDouble();
        double omega = 1.25, quarter = omega * 0.25, rest = 1.0 - omega;
        double first = 0;
        for (int p = 0; p < cycles; p++) {
            double change = 0;
            for (int i = 1; i < size - 1; i++) {
                double[] gi = g[i], up = g[i - 1], down = g[i + 1];
                for (int j = 1; j < size - 1; j++) {
                    double v = quarter * (up[j] + down[j] + gi[j - 1] + gi[j + 1]) + rest * gi[j];
                    change += Math.abs(v - gi[j]);
                    gi[j] = v;
                }
            }
            if (p == 0) first = change;
            if (p == cycles - 1) check(change < first, "sor");
        }
        double sum = 0;
        for (int i = 0; i < size; i++)
            for (int j = 0; j < size; j++) sum += g[i][j];
        return bits(sum);
    }

    /* ---- LU factorisation with partial pivoting, then a solve checked by its residual ---- */
    static long lu(int n, int rounds) {
        Random r = new Random(13);
        double[][] a = new double[n][n];
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) a[i][j] = r.nextDouble();
        double[] x0 = new double[n];
        for (int i = 0; i < n; i++) x0[i] = r.nextDouble();
        double[] b = new double[n];
        for (int i = 0; i < n; i++) {
            double s = 0;
            for (int j = 0; j < n; j++) s += a[i][j] * x0[j];
            b[i] = s;
        }
        double[][] lu = new double[n][n];
        int[] pivot = new int[n];
        long sum = 0;
        for (int round = 0; round < rounds; round++) {
            for (int i = 0; i < n; i++) System.arraycopy(a[i], 0, lu[i], 0, n);
            factor(lu, pivot);
            double[] x = new double[n];
            System.arraycopy(b, 0, x, 0, n);
            solve(lu, pivot, x);
            double err = 0;
            for (int i = 0; i < n; i++) err = Math.max(err, Math.abs(x[i] - x0[i]));
            check(err < 1e-8, "lu");
            sum += bits(lu[n - 1][n - 1]);
        }
        return sum;
    }

    static void factor(double[][] a, int[] pivot) {
        int n = a.length;
        for (int j = 0; j < n; j++) {
            int jp = j;
            double t = Math.abs(a[j][j]);
            for (int i = j + 1; i < n; i++) {
                double ab = Math.abs(a[i][j]);
                if (ab > t) {
                    jp = i;
                    t = ab;
                }
            }
            pivot[j] = jp;
            if (jp != j) {
                double[] row = a[j];
                a[j] = a[jp];
                a[jp] = row;
            }
            if (j < n - 1) {
                double recp = 1.0 / a[j][j];
                for (int k = j + 1; k < n; k++) a[k][j] *= recp;
                for (int ii = j + 1; ii < n; ii++) {
                    double[] aii = a[ii], aj = a[j];
                    double aiij = aii[j];
                    for (int jj = j + 1; jj < n; jj++) aii[jj] -= aiij * aj[jj];
                }
            }
        }
    }

    static void solve(double[][] lu, int[] pivot, double[] b) {
        int n = lu.length, ii = 0;
        for (int i = 0; i < n; i++) {
            int ip = pivot[i];
            double sum = b[ip];
            b[ip] = b[i];
            if (ii == 0) {
                for (int j = ii; j < i; j++) sum -= lu[i][j] * b[j];
            } else if (sum == 0.0) {
                ii = i;
            }
            b[i] = sum;
        }
        for (int i = n - 1; i >= 0; i--) {
            double sum = b[i];
            for (int j = i + 1; j < n; j++) sum -= lu[i][j] * b[j];
            b[i] = sum / lu[i][i];
        }
    }

    /* ---- sparse (row-compressed) matrix times vector; small whole numbers keep every sum
       exact, so a long-integer product checks it ---- */
    static long sparse(int n, int nz, int cycles) {
        int perRow = nz / n;
        double[] val = new double[n * perRow];
        int[] col = new int[n * perRow];
        int[] row = new int[n + 1];
        Random r = new Random(17);
        for (int i = 0, k = 0; i < n; i++) {
            row[i] = k;
            for (int c = 0; c < perRow; c++, k++) {
                col[k] = r.nextInt() >>> 1;
                col[k] %= n;
                val[k] = (r.nextInt() & 63) - 32;
            }
        }
        row[n] = n * perRow;
        double[] x = new double[n];
        for (int i = 0; i < n; i++) x[i] = (i * 7) % 101 - 50;
        double[] y = new double[n];
        for (int p = 0; p < cycles; p++) {
            for (int i = 0; i < n; i++) {
                double s = 0;
                int end = row[i + 1];
                for (int k = row[i]; k < end; k++) s += x[col[k]] * val[k];
                y[i] = s;
            }
        }
        long sum = 0;
        for (int i = 0; i < n; i++) {
            long s = 0;
            for (int k = row[i]; k < row[i + 1]; k++) s += (long)x[col[k]] * (long)val[k];
            check(s == (long)y[i], "sparse");
            sum = sum * 31 + s;
        }
        return sum;
    }

    /* ---- Fourier coefficients of (x+1)^x on [0, 2] by the trapezoid rule ---- */
    static long fourier(int count) {
        double[] a = new double[count], b = new double[count];
        a[0] = trapezoid(0.0, 2.0, 200, 0.0, 0) / 2.0;
        for (int i = 1; i < count; i++) {
            a[i] = trapezoid(0.0, 2.0, 200, i * Math.PI, 1);
            b[i] = trapezoid(0.0, 2.0, 200, i * Math.PI, 2);
        }
        check(Math.abs(a[0] - 2.88198433500547) < 1e-9, "fourier");
        long sum = 0;
        // The machines' sin, cos and pow may differ in the last place: the checksum is taken
        // of the coefficients to nine places.
        for (int i = 0; i < count; i++) sum = sum * 31 + Math.round(a[i] * 1e9) + 7 * Math.round(b[i] * 1e9);
        return sum;
    }

    static double trapezoid(double x0, double x1, int steps, double omega, int select) {
        double x = x0, dx = (x1 - x0) / steps;
        double v = f(x0, omega, select) / 2.0;
        for (int i = 1; i < steps; i++) {
            x += dx;
            v += f(x, omega, select);
        }
        return (v + f(x1, omega, select) / 2.0) * dx;
    }

    static double f(double x, double omega, int select) {
        switch (select) {
            case 0: return Math.pow(x + 1.0, x);
            case 1: return Math.pow(x + 1.0, x) * Math.cos(omega * x);
            default: return Math.pow(x + 1.0, x) * Math.sin(omega * x);
        }
    }

    /* ---- IDEA: a byte[] enciphered and deciphered with int[] subkeys ---- */
    static long idea(int bytes, int rounds) {
        int[] key = new int[52];
        long hi = 0x0123456789ABCDEFL, lo = 0x0FEDCBA987654321L;
        for (int g = 0; g < 52; g += 8) {
            for (int w = 0; w < 8 && g + w < 52; w++)
                key[g + w] = (int)((w < 4 ? hi >>> (48 - 16 * w) : lo >>> (48 - 16 * (w - 4))) & 0xFFFF);
            long h = (hi << 25) | (lo >>> 39);
            lo = (lo << 25) | (hi >>> 39);
            hi = h;
        }
        int[] dk = new int[52];
        dk[0] = inverse(key[48]);
        dk[1] = -key[49] & 0xFFFF;
        dk[2] = -key[50] & 0xFFFF;
        dk[3] = inverse(key[51]);
        dk[4] = key[46];
        dk[5] = key[47];
        for (int r = 1; r < 8; r++) {
            int k = 48 - 6 * r;
            dk[6 * r] = inverse(key[k]);
            dk[6 * r + 1] = -key[k + 2] & 0xFFFF;
            dk[6 * r + 2] = -key[k + 1] & 0xFFFF;
            dk[6 * r + 3] = inverse(key[k + 3]);
            dk[6 * r + 4] = key[k - 2];
            dk[6 * r + 5] = key[k - 1];
        }
        dk[48] = inverse(key[0]);
        dk[49] = -key[1] & 0xFFFF;
        dk[50] = -key[2] & 0xFFFF;
        dk[51] = inverse(key[3]);
        byte[] plain = new byte[bytes], crypt = new byte[bytes], back = new byte[bytes];
        Random rnd = new Random(19);
        rnd.nextBytes(plain);
        long sum = 0;
        for (int round = 0; round < rounds; round++) {
            cipher(plain, crypt, key);
            cipher(crypt, back, dk);
            for (int i = 0; i < bytes; i++) check(plain[i] == back[i], "idea");
            sum = sum * 31 + crypt[round * 1000] + (crypt[bytes - 1 - round] << 8);
        }
        return sum;
    }

    static int mul(int a, int b) {
        if (a == 0) return (0x10001 - b) & 0xFFFF;
        if (b == 0) return (0x10001 - a) & 0xFFFF;
        int p = a * b;
        int lo = p & 0xFFFF, hi = p >>> 16;
        return (lo - hi + (lo < hi ? 1 : 0)) & 0xFFFF;
    }

    static int inverse(int x) {
        int r = 1;
        for (int e = 65535, b = x; e != 0; e >>>= 1, b = mul(b, b))
            if ((e & 1) != 0) r = mul(r, b);
        return r;
    }

    static void cipher(byte[] in, byte[] out, int[] key) {
        for (int at = 0; at < in.length; at += 8) {
            int x1 = (in[at] & 0xFF) << 8 | (in[at + 1] & 0xFF);
            int x2 = (in[at + 2] & 0xFF) << 8 | (in[at + 3] & 0xFF);
            int x3 = (in[at + 4] & 0xFF) << 8 | (in[at + 5] & 0xFF);
            int x4 = (in[at + 6] & 0xFF) << 8 | (in[at + 7] & 0xFF);
            int k = 0;
            for (int r = 0; r < 8; r++) {
                x1 = mul(x1, key[k++]);
                x2 = (x2 + key[k++]) & 0xFFFF;
                x3 = (x3 + key[k++]) & 0xFFFF;
                x4 = mul(x4, key[k++]);
                int t2 = mul(x1 ^ x3, key[k++]);
                int t1 = mul((t2 + (x2 ^ x4)) & 0xFFFF, key[k++]);
                t2 = (t1 + t2) & 0xFFFF;
                x1 ^= t1;
                x4 ^= t2;
                t2 ^= x2;
                x2 = x3 ^ t1;
                x3 = t2;
            }
            int y1 = mul(x1, key[k++]);
            int y2 = (x3 + key[k++]) & 0xFFFF;
            int y3 = (x2 + key[k++]) & 0xFFFF;
            int y4 = mul(x4, key[k]);
            out[at] = (byte)(y1 >>> 8);
            out[at + 1] = (byte)y1;
            out[at + 2] = (byte)(y2 >>> 8);
            out[at + 3] = (byte)y2;
            out[at + 4] = (byte)(y3 >>> 8);
            out[at + 5] = (byte)y3;
            out[at + 6] = (byte)(y4 >>> 8);
            out[at + 7] = (byte)y4;
        }
    }

    /* ---- heap sort of an int[] ---- */
    static long heapsort(int n) {
        int[] a = new int[n];
        Random r = new Random(23);
        long total = 0;
        for (int i = 0; i < n; i++) {
            a[i] = r.nextInt();
            total += a[i];
        }
        for (int i = n / 2 - 1; i >= 0; i--) sift(a, i, n);
        for (int end = n - 1; end > 0; end--) {
            int t = a[0];
            a[0] = a[end];
            a[end] = t;
            sift(a, 0, end);
        }
        long after = a[0];
        for (int i = 1; i < n; i++) {
            check(a[i - 1] <= a[i], "heapsort");
            after += a[i];
        }
        check(after == total, "heapsort");
        return a[n / 2] ^ ((long)a[n / 3] << 32);
    }

    static void sift(int[] a, int i, int n) {
        int v = a[i];
        for (;;) {
            int c = 2 * i + 1;
            if (c >= n) break;
            if (c + 1 < n && a[c + 1] > a[c]) c++;
            if (a[c] <= v) break;
            a[i] = a[c];
            i = c;
        }
        a[i] = v;
    }

    /* ---- alpha-beta search of a four-in-a-row game on a 7 x 6 board ---- */
    static int[] board = new int[42];
    static int[] height = new int[7];
    static long nodes;
    static final int[] ORDER = {3, 2, 4, 1, 5, 0, 6};

    static long gametree(int depth) {
        for (int i = 0; i < 42; i++) board[i] = 0;
        for (int i = 0; i < 7; i++) height[i] = 0;
        nodes = 0;
        int best = search(depth, -1000000, 1000000, 1);
        long searched = nodes;
        // Pruning must not change the value: a search of every move agrees.
        check(search(5, -1000000, 1000000, 1) == minimax(5, 1), "gametree");
        nodes = searched;
        return nodes * 1000003L + best;
    }

    static int search(int depth, int alpha, int beta, int side) {
        nodes++;
        if (depth == 0) return side * evaluate();
        boolean any = false;
        for (int m = 0; m < 7; m++) {
            int c = ORDER[m];
            int h = height[c];
            if (h == 6) continue;
            any = true;
            int at = h * 7 + c;
            board[at] = side;
            height[c] = h + 1;
            int score = wins(at, side) ? 100000 + depth : -search(depth - 1, -beta, -alpha, -side);
            board[at] = 0;
            height[c] = h;
            if (score > alpha) alpha = score;
            if (alpha >= beta) break;
        }
        return any ? alpha : 0;
    }

    static int minimax(int depth, int side) {
        if (depth == 0) return side * evaluate();
        int best = -1000000;
        boolean any = false;
        for (int c = 0; c < 7; c++) {
            int h = height[c];
            if (h == 6) continue;
            any = true;
            int at = h * 7 + c;
            board[at] = side;
            height[c] = h + 1;
            int score = wins(at, side) ? 100000 + depth : -minimax(depth - 1, -side);
            board[at] = 0;
            height[c] = h;
            if (score > best) best = score;
        }
        return any ? best : 0;
    }

    static final int[] DIRS = {1, 0, 0, 1, 1, 1, 1, -1};

    static boolean wins(int at, int side) {
        int row = at / 7, col = at % 7;
        for (int d = 0; d < 8; d += 2) {
            int dc = DIRS[d], dr = DIRS[d + 1], run = 1;
            for (int s = -1; s <= 1; s += 2) {
                int r = row + s * dr, c = col + s * dc;
                while (r >= 0 && r < 6 && c >= 0 && c < 7 && board[r * 7 + c] == side) {
                    run++;
                    r += s * dr;
                    c += s * dc;
                }
            }
            if (run >= 4) return true;
        }
        return false;
    }

    static int evaluate() {
        int v = 0;
        for (int i = 0; i < 42; i++) v += board[i] * (3 - Math.abs(i % 7 - 3));
        return v;
    }

    /* ---- BigInteger: 1,024-bit modular powers checked by a^(e+f) = a^e a^f ---- */
    static BigInteger number(Random r, int bits) {
        byte[] b = new byte[bits / 8];
        r.nextBytes(b);
        b[0] |= (byte)0x80;
        b[b.length - 1] |= 1;
        return new BigInteger(1, b);
    }

    static long modpow(int rounds) {
        Random r = new Random(29);
        long sum = 0;
        for (int i = 0; i < rounds; i++) {
            BigInteger m = number(r, 1024), a = number(r, 1000), e = number(r, 1024), f = number(r, 512);
            BigInteger x = a.modPow(e, m), y = a.modPow(f, m), z = a.modPow(e.add(f), m);
            check(x.multiply(y).mod(m).equals(z), "modpow");
            sum = sum * 31 + z.intValue();
        }
        return sum;
    }

    /* ---- BigInteger: the first primes after a 512-bit odd number, the candidates sieved by
       the odd primes below 2000 (int residues stepped along), the survivors tested by
       isProbablePrime and each prime found checked by Fermat's test to bases 2 and 3 ---- */
    static long primes(int count) {
        Random r = new Random(31);
        BigInteger c = number(r, 512), two = BigInteger.valueOf(2);
        int[] small = new int[400];
        int smalls = 0;
        for (int d = 3; d < 2000 && smalls < small.length; d += 2) {
            boolean prime = true;
            for (int q = 3; q * q <= d; q += 2)
                if (d % q == 0) prime = false;
            if (prime) small[smalls++] = d;
        }
        int[] residue = new int[smalls];
        for (int i = 0; i < smalls; i++) residue[i] = c.mod(BigInteger.valueOf(small[i])).intValue();
        long sum = 0;
        for (int found = 0; found < count; c = c.add(two)) {
            boolean sieved = false;
            for (int i = 0; i < smalls; i++) {
                if (residue[i] == 0) sieved = true;
                residue[i] += 2;
                if (residue[i] >= small[i]) residue[i] -= small[i];
            }
            if (sieved || !c.isProbablePrime(10)) continue;
            BigInteger less = c.subtract(BigInteger.valueOf(1));
            check(two.modPow(less, c).intValue() == 1 && BigInteger.valueOf(3).modPow(less, c).intValue() == 1
                      && BigInteger.valueOf(3).modPow(less, c).bitLength() == 1, "primes");
            sum = sum * 31 + c.intValue();
            found++;
        }
        return sum;
    }

    /* ---- GZIP: four megabytes of text read back through GZIPInputStream ---- */
    static byte[] text(int bytes) {
        String[] words = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "lazy ", "dog ", "and ", "then ",
                          "some ", "more ", "words ", "follow\n", "numbers 12345 ", "interpreter ", "x "};
        byte[] out = new byte[bytes];
        Random r = new Random(37);
        int at = 0;
        while (at < bytes) {
            String w = words[(r.nextInt() >>> 1) % words.length];
            for (int i = 0; i < w.length() && at < bytes; i++) out[at++] = (byte)w.charAt(i);
        }
        return out;
    }

    static long gzip(int rounds) throws IOException {
        long total = 0;
        byte[] buf = new byte[4096];
        for (int i = 0; i < rounds; i++) {
            GZIPInputStream in = new GZIPInputStream(new ByteArrayInputStream(gz));
            CRC32 crc = new CRC32();
            for (int n; (n = in.read(buf, 0, buf.length)) > 0;) {
                crc.update(buf, 0, n);
                total += n;
            }
            in.close();
            check(crc.getValue() == gzCrc, "gzip");
        }
        check(total == rounds * (4L << 20), "gzip");
        return gzCrc;
    }

    /* ---- many short-lived arrays of a few hundred to a few thousand elements ---- */
    static long alloc(int count) {
        long sum = 0;
        int[] keep = null;
        for (int i = 0; i < count; i++) {
            int n = 200 + (i * 397) % 3800;
            switch (i % 3) {
                case 0: {
                    int[] a = new int[n];
                    for (int j = 0; j < n; j += 16) a[j] = i + j;
                    sum += a[n - 1] + a[n / 2 & ~15];
                    if ((i & 255) == 0) keep = a;
                    break;
                }
                case 1: {
                    double[] a = new double[n];
                    a[n - 1] = i;
                    a[0] = a[n - 1] * 2;
                    sum += (long)a[0];
                    break;
                }
                default: {
                    byte[] a = new byte[n];
                    a[n - 1] = (byte)i;
                    sum += a[n - 1];
                    break;
                }
            }
        }
        check(keep != null && keep[0] % 768 == 0 && keep[0] >= count - 768, "alloc");
        return sum;
    }
}
