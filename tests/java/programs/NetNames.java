/* NetNames: addresses of "localhost" and of literals, their bytes, text and equality; and
   arguments the socket classes refuse. Nothing here needs a name server. */
import java.io.InputStream;
import java.io.OutputStream;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;

public class NetNames {
    static String bytes(InetAddress a) {
        byte[] b = a.getAddress();
        StringBuffer s = new StringBuffer();
        for (int i = 0; i < b.length; i++) {
            s.append(i == 0 ? "" : " ").append(b[i] & 0xFF);
        }
        return s.toString();
    }

    interface Action {
        void run() throws Exception;
    }

    static void expect(String what, Action a) {
        try {
            a.run();
            System.out.println(what + ": no exception");
        } catch (Exception e) {
            String kind = e instanceof IllegalArgumentException ? "IllegalArgumentException"
                    : e instanceof NullPointerException ? "NullPointerException"
                    : e instanceof IndexOutOfBoundsException ? "IndexOutOfBoundsException"
                    : e instanceof java.net.UnknownHostException ? "UnknownHostException"
                    : e.getClass().getName();
            System.out.println(what + ": " + kind);
        }
    }

    public static void main(String[] args) throws Exception {
        InetAddress local = InetAddress.getByName("localhost");
        System.out.println("localhost is a loopback address: " + (local.getAddress()[0] == 127));
        InetAddress lit = InetAddress.getByName("10.1.2.3");
        System.out.println("literal: " + lit.getHostAddress() + " bytes " + bytes(lit));
        InetAddress high = InetAddress.getByName("255.254.128.1");
        System.out.println("high bytes: " + high.getHostAddress() + " bytes " + bytes(high));
        InetAddress[] all = InetAddress.getAllByName("127.0.0.1");
        System.out.println("all of a literal: " + all.length + " " + all[0].getHostAddress());
        System.out.println("equal by address: " + lit.equals(InetAddress.getByName("10.1.2.3")) + " "
                + lit.equals(high) + " hash " + (lit.hashCode() == InetAddress.getByName("10.1.2.3").hashCode()));
        System.out.println("multicast: " + InetAddress.getByName("224.0.0.1").isMulticastAddress() + " "
                + lit.isMulticastAddress());

        final InetAddress loopback = InetAddress.getByName("127.0.0.1");
        expect("port 70000", new Action() {
            public void run() throws Exception {
                new Socket(loopback, 70000);
            }
        });
        expect("listen on port -1", new Action() {
            public void run() throws Exception {
                new ServerSocket(-1);
            }
        });
        expect("null address", new Action() {
            public void run() throws Exception {
                new Socket((InetAddress) null, 80);
            }
        });
        expect("packet of negative length", new Action() {
            public void run() throws Exception {
                new DatagramPacket(new byte[4], -1);
            }
        });
        expect("packet longer than its array", new Action() {
            public void run() throws Exception {
                new DatagramPacket(new byte[4], 2, 3);
            }
        });
        expect("packet without an array", new Action() {
            public void run() throws Exception {
                new DatagramPacket(null, 0);
            }
        });

        ServerSocket listener = new ServerSocket(0, 5, loopback);
        Socket s = new Socket(loopback, listener.getLocalPort());
        final Socket a = listener.accept();
        final InputStream in = s.getInputStream();
        final OutputStream out = s.getOutputStream();
        expect("read at a negative offset", new Action() {
            public void run() throws Exception {
                in.read(new byte[4], -1, 2);
            }
        });
        expect("read past the array", new Action() {
            public void run() throws Exception {
                in.read(new byte[4], 3, 2);
            }
        });
        expect("read into null", new Action() {
            public void run() throws Exception {
                in.read(null, 0, 1);
            }
        });
        expect("write past the array", new Action() {
            public void run() throws Exception {
                out.write(new byte[4], 2, 3);
            }
        });
        expect("write of a negative length", new Action() {
            public void run() throws Exception {
                out.write(new byte[4], 0, -1);
            }
        });
        expect("linger of -2", new Action() {
            public void run() throws Exception {
                a.setSoLinger(true, -2);
            }
        });
        out.write(new byte[] {1, 2, 3}, 1, 2);
        InputStream ain = a.getInputStream();
        System.out.println("the refused calls sent nothing: " + ain.read() + " " + ain.read());
        a.setTcpNoDelay(true);
        System.out.println("no delay " + a.getTcpNoDelay());
        a.close();
        s.close();
        listener.close();

        final DatagramSocket d = new DatagramSocket(0, loopback);
        expect("datagram without a destination", new Action() {
            public void run() throws Exception {
                d.send(new DatagramPacket(new byte[1], 1));
            }
        });
        d.close();
        System.out.println("done");
    }
}
