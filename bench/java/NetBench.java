import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;

/**
 * TCP over the loopback, timed in Java on whichever machine runs it: one line
 * "name ms-per-unit checksum" each. "tcp-8k-writes-per-MB": a client writes 8 KB
 * blocks that a server thread reads and counts (milliseconds per megabyte). "tcp-round-trip":
 * a 64-byte request answered by a 64-byte reply (milliseconds per exchange). The checksum
 * is what the server saw, the same on both machines for the same amount of work.
 */
public class NetBench {
    static long now() {
        return System.currentTimeMillis();
    }

    static final int MB = 1 << 20;

    /** Reads and counts until the end of the stream; sums the bytes. */
    static class Sink extends Thread {
        final Socket s;
        long bytes;
        int sum;

        Sink(Socket s) {
            this.s = s;
        }

        public void run() {
            try {
                InputStream in = s.getInputStream();
                byte[] buf = new byte[8192];
                int n;
                while ((n = in.read(buf)) > 0) {
                    bytes += n;
                    for (int i = 0; i < n; i += 1024) {
                        sum += buf[i];
                    }
                }
                s.close();
            } catch (IOException e) {
                bytes = -1;
            }
        }
    }

    /** Answers each 64-byte request with its bytes, each plus one. */
    static class Responder extends Thread {
        final Socket s;
        int sum;

        Responder(Socket s) {
            this.s = s;
        }

        public void run() {
            try {
                InputStream in = s.getInputStream();
                OutputStream out = s.getOutputStream();
                byte[] buf = new byte[64];
                while (readFully(in, buf)) {
                    for (int i = 0; i < 64; i++) {
                        buf[i]++;
                    }
                    sum += buf[0];
                    out.write(buf);
                }
                s.close();
            } catch (IOException e) {
                sum = -1;
            }
        }
    }

    static boolean readFully(InputStream in, byte[] b) throws IOException {
        int got = 0;
        while (got < b.length) {
            int n = in.read(b, got, b.length - got);
            if (n < 0) return false;
            got += n;
        }
        return true;
    }

    public static String run(int minMs) throws Exception {
        StringBuffer out = new StringBuffer();
        InetAddress loopback = InetAddress.getByName("127.0.0.1");
        ServerSocket listener = new ServerSocket(0, 5, loopback);

        Socket c = new Socket(loopback, listener.getLocalPort());
        Sink sink = new Sink(listener.accept());
        sink.start();
        OutputStream o = c.getOutputStream();
        byte[] block = new byte[8192];
        for (int i = 0; i < block.length; i++) {
            block[i] = (byte) i;
        }
        long start = now();
        int mbs = 0;
        do {
            for (int i = 0; i < MB / block.length; i++) {
                o.write(block);
            }
            mbs++;
        } while (now() - start < minMs);
        c.close();
        sink.join();
        long took = now() - start;
        out.append("tcp-8k-writes-per-MB ").append((double) took / mbs).append(' ')
                .append(sink.bytes == (long) mbs * MB ? "whole" : "SHORT").append('\n');

        c = new Socket(loopback, listener.getLocalPort());
        Responder r = new Responder(listener.accept());
        r.start();
        InputStream in = c.getInputStream();
        o = c.getOutputStream();
        byte[] req = new byte[64];
        byte[] rep = new byte[64];
        boolean right = true;
        start = now();
        int n = 0;
        do {
            for (int k = 0; k < 100; k++) {
                req[0] = (byte) n;
                o.write(req);
                readFully(in, rep);
                right &= rep[0] == (byte) (n + 1);
                n++;
            }
        } while (now() - start < minMs);
        c.close();
        r.join();
        took = now() - start;
        out.append("tcp-round-trip ").append((double) took / n).append(' ').append(right ? "right" : "WRONG")
                .append('\n');
        listener.close();
        return out.toString();
    }

    public static void main(String[] args) throws Exception {
        System.out.print(run(args.length > 0 ? Integer.parseInt(args[0]) : 1000));
    }
}
