/* NetEcho: a TCP echo server on the loopback with one thread per client, and clients on
   threads of their own: small payloads at odd offsets echoed byte for byte, a large
   transfer written by one thread while another reads it back, checked by checksum; the
   end of the stream after the peer closes; reads and writes after close.

   Every port is the one the system chose (port 0). Each thread keeps its result in its own
   slot, so the program does not lean on a monitor keeping threads apart. */
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.net.SocketException;

public class NetEcho {
    static final int CLIENTS = 4;
    static final int LARGE = 1 << 20;

    /* Echoes one connection until its end of stream. */
    static class Echo extends Thread {
        final Socket s;

        Echo(Socket s) {
            this.s = s;
        }

        public void run() {
            try {
                InputStream in = s.getInputStream();
                OutputStream out = s.getOutputStream();
                byte[] buf = new byte[3000];
                int n;
                while ((n = in.read(buf, 7, buf.length - 7)) > 0) {
                    out.write(buf, 7, n);
                }
                s.close();
            } catch (IOException e) {
                System.out.println("echo failed: " + e);
            }
        }
    }

    static class Server extends Thread {
        final ServerSocket listener;
        final Echo[] echoes;

        Server(ServerSocket listener, int count) {
            this.listener = listener;
            this.echoes = new Echo[count];
        }

        public void run() {
            try {
                for (int i = 0; i < echoes.length; i++) {
                    echoes[i] = new Echo(listener.accept());
                    echoes[i].start();
                }
            } catch (IOException e) {
                System.out.println("accept failed: " + e);
            }
        }
    }

    static int checksum(int sum, byte[] b, int off, int len) {
        for (int i = off; i < off + len; i++) {
            sum = sum * 31 + (b[i] & 0xFF);
        }
        return sum;
    }

    static void fill(byte[] b, int seed) {
        int x = seed * 0x9E3779B1 + 1;
        for (int i = 0; i < b.length; i++) {
            x = x * 1103515245 + 12345;
            b[i] = (byte) (x >>> 16);
        }
    }

    static void readFully(InputStream in, byte[] b, int off, int len) throws IOException {
        while (len > 0) {
            int n = in.read(b, off, len);
            if (n < 0) throw new IOException("end of stream with " + len + " bytes to come");
            off += n;
            len -= n;
        }
    }

    /* One client: payloads of awkward sizes at odd offsets, then a large transfer. */
    static class Client extends Thread {
        final InetAddress host;
        final int port, id;
        String report;

        Client(InetAddress host, int port, int id) {
            this.host = host;
            this.port = port;
            this.id = id;
        }

        public void run() {
            try {
                final Socket s = new Socket(host, port);
                InputStream in = s.getInputStream();
                final OutputStream out = s.getOutputStream();
                int[] sizes = {1, 776, 777, 1032, 5000, 0};
                boolean same = true;
                for (int k = 0; k < sizes.length; k++) {
                    byte[] sent = new byte[sizes[k] + 3];
                    fill(sent, id * 10 + k);
                    out.write(sent, 3, sizes[k]);
                    byte[] back = new byte[sizes[k] + 5];
                    readFully(in, back, 5, sizes[k]);
                    for (int i = 0; i < sizes[k]; i++) {
                        if (sent[3 + i] != back[5 + i]) same = false;
                    }
                }
                final byte[] large = new byte[LARGE];
                fill(large, 1000 + id);
                final int[] written = new int[1];
                Thread writer = new Thread() {
                    public void run() {
                        try {
                            for (int at = 0; at < large.length; at += 8192) {
                                out.write(large, at, Math.min(8192, large.length - at));
                            }
                            written[0] = 1;
                        } catch (IOException e) {
                            written[0] = -1;
                        }
                    }
                };
                writer.start();
                byte[] buf = new byte[4096];
                int got = 0, sum = 0, n;
                while (got < LARGE && (n = in.read(buf)) > 0) {
                    sum = checksum(sum, buf, 0, n);
                    got += n;
                }
                writer.join();
                boolean whole = got == LARGE && sum == checksum(0, large, 0, LARGE) && written[0] == 1;
                s.close();
                report = "client " + id + ": small payloads " + (same ? "same" : "DIFFER") + ", " + got
                        + " bytes back, checksum " + (whole ? "matches" : "DIFFERS");
            } catch (Exception e) {
                report = "client " + id + " failed: " + e;
            }
        }
    }

    public static void main(String[] args) throws Exception {
        InetAddress loopback = InetAddress.getByName("127.0.0.1");
        ServerSocket listener = new ServerSocket(0, 50, loopback);
        int port = listener.getLocalPort();
        System.out.println("listening on a chosen port: " + (port > 0 && port < 65536));
        Server server = new Server(listener, CLIENTS + 1);
        server.start();
        Client[] clients = new Client[CLIENTS];
        for (int i = 0; i < CLIENTS; i++) {
            clients[i] = new Client(loopback, port, i);
            clients[i].start();
        }
        for (int i = 0; i < CLIENTS; i++) {
            clients[i].join();
            System.out.println(clients[i].report);
        }

        // The end of the stream after the peer closes; then the closed socket's own failures.
        ServerSocket other = new ServerSocket(0, 5, loopback);
        Socket s = new Socket(loopback, other.getLocalPort());
        Socket a = other.accept();
        System.out.println("peer is the listener: " + (s.getPort() == other.getLocalPort())
                + ", ports agree: " + (a.getPort() == s.getLocalPort()));
        a.getOutputStream().write(7);
        a.close();
        InputStream in = s.getInputStream();
        OutputStream out = s.getOutputStream();
        System.out.println("read " + in.read() + ", then " + in.read() + ", then " + in.read());
        other.close();
        s.close();
        s.close();
        System.out.println("closed twice");
        try {
            in.read();
            System.out.println("read after close: no exception");
        } catch (SocketException e) {
            System.out.println("read after close: SocketException");
        }
        try {
            out.write(new byte[10]);
            System.out.println("write after close: no exception");
        } catch (SocketException e) {
            System.out.println("write after close: SocketException");
        }
        // The last connection the server takes: closed unused, its echo ends at once.
        new Socket(loopback, port).close();
        server.join();
        for (int i = 0; i < server.echoes.length; i++) server.echoes[i].join();
        listener.close();
        System.out.println("done");
    }
}
