/* NetTimeLimits: a socket time limit bounds every waiting thread's wait, also when
   several threads wait on one socket and another of them takes what arrived. Each round,
   four threads read one connection, four accept on one listener and four receive on one
   datagram socket, each with a limit of 200 ms; after 100 ms one byte, one connection and
   one datagram come, then nothing. One thread of each four gets it (none, where load
   lets every limit pass first) and the others end with the limit (one after another at
   worst, where the library queues them), well before the round gives up on them after
   2.5 s and closes the sockets.

   Every port is the one the system chose. Each thread keeps its result in its own slot. */
import java.io.IOException;
import java.io.InputStream;
import java.io.InterruptedIOException;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;

public class NetTimeLimits {
    static final int THREADS = 4, LIMIT = 200, ROUNDS = 3;
    static final long GIVE_UP = 2500;
    static final InetAddress LOOPBACK = loopback();

    static InetAddress loopback() {
        try {
            return InetAddress.getByName("127.0.0.1");
        } catch (IOException e) {
            throw new RuntimeException(e.toString());
        }
    }

    /* 1 got it, 2 ended with the limit, 3 another failure; and when it ended. */
    static class Waiter extends Thread {
        final int kind;
        final Object on;
        int outcome;
        long ended;

        Waiter(int kind, Object on) {
            this.kind = kind;
            this.on = on;
        }

        public void run() {
            try {
                if (kind == 0) {
                    outcome = ((InputStream) on).read() == 42 ? 1 : 3;
                } else if (kind == 1) {
                    ((ServerSocket) on).accept().close();
                    outcome = 1;
                } else {
                    ((DatagramSocket) on).receive(new DatagramPacket(new byte[8], 8));
                    outcome = 1;
                }
            } catch (InterruptedIOException e) {
                outcome = 2;
            } catch (IOException e) {
                outcome = 3;
            }
            ended = System.currentTimeMillis();
        }
    }

    static String tally(Waiter[] w, int from, long start) {
        int got = 0, limited = 0, other = 0, late = 0;
        for (int i = from; i < from + THREADS; i++) {
            if (w[i].outcome == 1) got++;
            else if (w[i].outcome == 2) limited++;
            else other++;
            if (w[i].ended - start >= GIVE_UP) late++;
        }
        // Under load the limits may all pass before anything comes: none got it then.
        if (got <= 1 && got + limited == THREADS && late == 0) {
            return "each ended in time";
        }
        return got + " got it, " + limited + " ended with the limit" + (other > 0 ? ", " + other + " failed" : "")
                + (late > 0 ? ", " + late + " still waited after " + GIVE_UP + " ms" : "");
    }

    public static void main(String[] args) throws Exception {
        for (int round = 1; round <= ROUNDS; round++) {
            // The peer of the readers: accepted, sends one byte after 150 ms, then is silent.
            final ServerSocket peerListener = new ServerSocket(0, 5, LOOPBACK);
            final Socket reader = new Socket(LOOPBACK, peerListener.getLocalPort());
            final Socket peer = peerListener.accept();
            reader.setSoTimeout(LIMIT);
            final ServerSocket listener = new ServerSocket(0, 5, LOOPBACK);
            listener.setSoTimeout(LIMIT);
            final DatagramSocket receiver = new DatagramSocket(0, LOOPBACK);
            receiver.setSoTimeout(LIMIT);
            final DatagramSocket sender = new DatagramSocket(0, LOOPBACK);

            Waiter[] w = new Waiter[3 * THREADS];
            Object[] on = {reader.getInputStream(), listener, receiver};
            long start = System.currentTimeMillis();
            for (int i = 0; i < w.length; i++) {
                w[i] = new Waiter(i / THREADS, on[i / THREADS]);
                w[i].start();
            }
            Thread.sleep(100);
            peer.getOutputStream().write(42);
            Socket client = new Socket(LOOPBACK, listener.getLocalPort());
            sender.send(new DatagramPacket(new byte[4], 4, LOOPBACK, receiver.getLocalPort()));

            for (int i = 0; i < w.length; i++) {
                long left = start + GIVE_UP - System.currentTimeMillis();
                if (left > 0) w[i].join(left);
            }
            // What still waits is freed by the closes.
            peer.close();
            reader.close();
            listener.close();
            receiver.close();
            for (int i = 0; i < w.length; i++) w[i].join();
            client.close();
            sender.close();
            peerListener.close();
            System.out.println("round " + round + ": readers " + tally(w, 0, start) + "; acceptors "
                    + tally(w, THREADS, start) + "; receivers " + tally(w, 2 * THREADS, start));
        }
    }
}
