/* SocketDescriptors: a socket stream is a file stream, whose public getFD hands out a
   descriptor. A file stream made on it and closed, or dropped and finalized, must not
   close the socket: the socket still sends, and its own close gives its OS descriptor
   back (counted in Linux's /proc/self/fd over 40 rounds, from the second on: the first
   may make what a process keeps for its socket waits). */
import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;

public class SocketDescriptors {
    static int descriptors() {
        String[] names = new File("/proc/self/fd").list();
        return names == null ? -1 : names.length;
    }

    public static void main(String[] args) throws Exception {
        InetAddress loopback = InetAddress.getByName("127.0.0.1");
        ServerSocket listener = new ServerSocket(0, 50, loopback);
        int before = 0;
        String sent = "sent", descriptorValid = "";
        for (int i = 0; i < 41; i++) {
            if (i == 1) before = descriptors();
            Socket s = new Socket(loopback, listener.getLocalPort());
            Socket a = listener.accept();
            FileInputStream in = (FileInputStream) s.getInputStream();
            FileOutputStream out = (FileOutputStream) s.getOutputStream();
            if (i == 0) descriptorValid = in.getFD().valid() + " " + out.getFD().valid();
            if (i % 2 == 0) {
                new FileInputStream(in.getFD()).close();
                new FileOutputStream(out.getFD()).close();
            } else {
                new FileInputStream(in.getFD());
                new FileOutputStream(out.getFD());
                System.gc();
                System.runFinalization();
            }
            try {
                out.write(i);
                InputStream back = a.getInputStream();
                if (back.read() != i) sent = "round " + i + ": another byte came";
            } catch (IOException e) {
                sent = "round " + i + ": " + e;
            }
            s.close();
            a.close();
        }
        int after = descriptors();
        listener.close();
        System.out.println("the descriptors handed out are valid: " + descriptorValid);
        System.out.println("every socket still sends: " + sent);
        System.out.println("descriptors left open: " + (after - before));
    }
}
