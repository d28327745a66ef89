/* NetResets: a server comes back on the port it had at once, although its last
   connection still lingers (TIME_WAIT); a close with SO_LINGER on and 0 s resets the
   connection, which the peer's next read reports as a SocketException; and a reset that
   arrives right after the last data still ends the stream with that exception once the
   data is read, never with a quiet end of stream that would pass a cut-off message for
   a whole one. */
import java.io.IOException;
import java.io.InputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;

public class NetResets {
    static final InetAddress LOOPBACK = loopback();

    static InetAddress loopback() {
        try {
            return InetAddress.getByName("127.0.0.1");
        } catch (IOException e) {
            throw new RuntimeException(e.toString());
        }
    }

    /* Reads to the end of the stream: the bytes, then how it ended. */
    static String drain(InputStream in) {
        int n = 0, r;
        byte[] b = new byte[16];
        try {
            while ((r = in.read(b, 0, b.length)) > 0) n += r;
            return n + " bytes, then the end of the stream";
        } catch (IOException e) {
            return n + " bytes, then " + e.getClass().getName();
        }
    }

    public static void main(String[] args) throws Exception {
        // The server side closes first, so its port keeps the connection in TIME_WAIT.
        int port = 0;
        for (int round = 1; round <= 2; round++) {
            try {
                ServerSocket ss = new ServerSocket(port, 5, LOOPBACK);
                port = ss.getLocalPort();
                Socket c = new Socket(LOOPBACK, port);
                Socket s = ss.accept();
                s.close();
                c.close();
                ss.close();
                System.out.println("server " + round + ": bound, accepted, closed");
            } catch (IOException e) {
                System.out.println("server " + round + ": " + e.getClass().getName());
            }
        }

        ServerSocket listener = new ServerSocket(0, 5, LOOPBACK);
        for (int data = 0; data <= 3; data += 3) {
            Socket c = new Socket(LOOPBACK, listener.getLocalPort());
            Socket s = listener.accept();
            c.getOutputStream().write('P');
            System.out.println("server read " + (char) s.getInputStream().read());
            if (data > 0) {
                s.getOutputStream().write(new byte[] {'a', 'b', 'c'});
                Thread.sleep(100);
            }
            s.setSoLinger(true, 0);
            System.out.println("linger " + s.getSoLinger());
            s.close();
            // The client reads only once the data and the reset are both there.
            Thread.sleep(300);
            System.out.println("client after a reset: " + drain(c.getInputStream()));
            c.close();
        }
        listener.close();
    }
}
