/* NetTimeouts: time limits on accept and read (the socket still works afterwards), a
   negative limit refused, a connection to a closed port refused, and threads blocked
   without a limit in accept and in read freed by another thread's close. */
import java.io.IOException;
import java.io.InputStream;
import java.io.InterruptedIOException;
import java.net.ConnectException;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;

public class NetTimeouts {
    static String inTime(long start, long least, long most) {
        long took = System.currentTimeMillis() - start;
        return took >= least && took < most ? "in time" : "OUT OF TIME (" + took + " ms)";
    }

    /* Runs a blocking call on a thread of its own and says how it ended. */
    static abstract class Blocked extends Thread {
        volatile String outcome = "still blocked";

        abstract void block() throws IOException;

        public void run() {
            try {
                block();
                outcome = "returned";
            } catch (IOException e) {
                outcome = e instanceof InterruptedIOException ? "InterruptedIOException"
                        : e instanceof java.net.SocketException ? "SocketException" : "IOException";
            }
        }
    }

    public static void main(String[] args) throws Exception {
        InetAddress loopback = InetAddress.getByName("127.0.0.1");
        final ServerSocket listener = new ServerSocket(0, 50, loopback);
        int port = listener.getLocalPort();

        listener.setSoTimeout(300);
        System.out.println("accept timeout reads back " + listener.getSoTimeout());
        long start = System.currentTimeMillis();
        try {
            listener.accept();
            System.out.println("accept: no time-out");
        } catch (InterruptedIOException e) {
            System.out.println("accept timed out " + inTime(start, 250, 3000));
        }
        Socket client = new Socket(loopback, port);
        Socket served = listener.accept();
        System.out.println("the listener still accepts: " + (served.getPort() == client.getLocalPort()));

        served.setSoTimeout(300);
        InputStream in = served.getInputStream();
        start = System.currentTimeMillis();
        try {
            in.read();
            System.out.println("read: no time-out");
        } catch (InterruptedIOException e) {
            System.out.println("read timed out " + inTime(start, 250, 3000));
        }
        client.getOutputStream().write(new byte[] {5, 6});
        System.out.println("read after the time-out: " + in.read() + " " + in.read());

        try {
            served.setSoTimeout(-1);
            System.out.println("negative timeout accepted");
        } catch (IllegalArgumentException e) {
            System.out.println("negative timeout: IllegalArgumentException");
        }

        // A port nobody listens on any more.
        ServerSocket gone = new ServerSocket(0, 1, loopback);
        int closedPort = gone.getLocalPort();
        gone.close();
        try {
            new Socket(loopback, closedPort);
            System.out.println("connected to a closed port");
        } catch (ConnectException e) {
            System.out.println("closed port: ConnectException");
        }

        // Waits without a limit, ended by a close from another thread.
        listener.setSoTimeout(0);
        served.setSoTimeout(0);
        final InputStream servedIn = in;
        Blocked acceptor = new Blocked() {
            void block() throws IOException {
                listener.accept();
            }
        };
        Blocked reader = new Blocked() {
            void block() throws IOException {
                servedIn.read(new byte[5000]);
            }
        };
        acceptor.start();
        reader.start();
        Thread.sleep(300);
        System.out.println("before close: accept " + acceptor.outcome + ", read " + reader.outcome);
        start = System.currentTimeMillis();
        listener.close();
        served.close();
        acceptor.join(5000);
        reader.join(5000);
        System.out.println("after close: accept " + acceptor.outcome + ", read " + reader.outcome + ", "
                + inTime(start, 0, 2000));
        // A read on a socket closed before its end of stream was seen.
        InputStream clientIn = client.getInputStream();
        client.close();
        try {
            clientIn.read();
            System.out.println("read after close: returned");
        } catch (java.net.SocketException e) {
            System.out.println("read after close: SocketException");
        }
        System.out.println("done");
    }
}
