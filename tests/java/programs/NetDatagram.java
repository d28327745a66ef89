/* NetDatagram: datagrams between two sockets on the loopback, of 0 to 65,507 bytes (the
   most an IPv4 datagram carries) at odd offsets; the sender's address and port; a packet
   shorter than its array; a datagram longer than the packet truncated to it; a receive that
   times out and leaves the packet as it was; the socket after close. */
import java.io.InterruptedIOException;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetAddress;

public class NetDatagram {
    static void fill(byte[] b, int seed) {
        int x = seed;
        for (int i = 0; i < b.length; i++) {
            x = x * 1103515245 + 12345;
            b[i] = (byte) (x >>> 16);
        }
    }

    public static void main(String[] args) throws Exception {
        InetAddress loopback = InetAddress.getByName("127.0.0.1");
        DatagramSocket a = new DatagramSocket(0, loopback);
        DatagramSocket b = new DatagramSocket(0, loopback);
        b.setSoTimeout(5000);
        System.out.println("ports chosen and distinct: "
                + (a.getLocalPort() > 0 && b.getLocalPort() > 0 && a.getLocalPort() != b.getLocalPort()));

        int[] sizes = {0, 1, 776, 777, 1500, 8192, 65507};
        for (int k = 0; k < sizes.length; k++) {
            int n = sizes[k];
            byte[] data = new byte[n + 11];
            fill(data, n + 1);
            a.send(new DatagramPacket(data, 11, n, loopback, b.getLocalPort()));
            byte[] in = new byte[n + 20];
            DatagramPacket p = new DatagramPacket(in, 13, n + 7);
            b.receive(p);
            boolean same = p.getLength() == n && p.getOffset() == 13;
            for (int i = 0; i < n && same; i++) {
                same = in[13 + i] == data[11 + i];
            }
            boolean untouched = true;
            for (int i = 0; i < 13; i++) {
                untouched &= in[i] == 0;
            }
            for (int i = 13 + n; i < in.length; i++) {
                untouched &= in[i] == 0;
            }
            System.out.println(n + " bytes: " + (same ? "same" : "DIFFER") + ", outside untouched " + untouched
                    + ", from " + p.getAddress().getHostAddress() + " sender's port " + (p.getPort() == a.getLocalPort()));
        }

        // A datagram longer than the packet: truncated to the packet's length.
        byte[] big = new byte[1500];
        fill(big, 99);
        a.send(new DatagramPacket(big, big.length, loopback, b.getLocalPort()));
        byte[] small = new byte[100];
        DatagramPacket p = new DatagramPacket(small, 40);
        b.receive(p);
        boolean prefix = true;
        for (int i = 0; i < 40; i++) {
            prefix &= small[i] == big[i];
        }
        System.out.println("1500 into 40: length " + p.getLength() + ", prefix " + prefix + ", beyond untouched "
                + (small[40] == 0));

        // A receive that times out keeps the packet's address and length.
        b.setSoTimeout(300);
        DatagramPacket q = new DatagramPacket(new byte[10], 10, loopback, 9);
        long start = System.currentTimeMillis();
        try {
            b.receive(q);
            System.out.println("receive: no time-out");
        } catch (InterruptedIOException e) {
            long took = System.currentTimeMillis() - start;
            System.out.println("receive timed out in time: " + (took >= 250 && took < 3000) + ", packet kept: "
                    + (q.getLength() == 10 && q.getPort() == 9 && q.getAddress().getHostAddress().equals("127.0.0.1")));
        }
        System.out.println("timeout reads back " + b.getSoTimeout());

        a.close();
        b.close();
        a.close();
        try {
            a.send(new DatagramPacket(new byte[1], 1, loopback, 9));
            System.out.println("send after close: no exception");
        } catch (java.io.IOException e) {
            System.out.println("send after close: " + (e instanceof java.net.SocketException ? "SocketException" : "IOException"));
        }
        System.out.println("done");
    }
}
