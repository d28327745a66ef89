package java.net;

/**
 * An IPv4 address, with the host name it was found by when there is one.
 *
 * The natives read and write address (the four bytes of the address, the
 * first in the top eight bits) and family (always 2) through field IDs, and
 * make instances through the constructor declared here, which does no look-up.
 * Dotted addresses are parsed here and never reach the host; names go to the
 * host's look-up each time (the machine keeps no cache of names).
 */
public final class InetAddress implements java.io.Serializable {
    String hostName;
    int address;
    int family;

    static final InetAddressImpl impl;
    /** The wildcard address, 0.0.0.0, that sockets bind to by default. */
    static final InetAddress anyLocalAddress;

    static {
        init();
        impl = new InetAddressImpl();
        anyLocalAddress = new InetAddress();
        impl.makeAnyLocalAddress(anyLocalAddress);
        anyLocalAddress.hostName = "0.0.0.0";
    }

    private static native void init();

    /** An address still to be filled in by a native: family 2, no look-up. */
    InetAddress() {
        family = 2;
    }

    InetAddress(String hostName, int address) {
        this.hostName = hostName;
        this.address = address;
        this.family = 2;
    }

    InetAddress(String hostName, byte[] addr) {
        this(hostName, ((addr[0] & 0xFF) << 24) | ((addr[1] & 0xFF) << 16) | ((addr[2] & 0xFF) << 8)
                | (addr[3] & 0xFF));
    }

    /** True for the class D addresses, 224.0.0.0 to 239.255.255.255. */
    public boolean isMulticastAddress() {
        return (address & 0xF0000000) == 0xE0000000;
    }

    /** The host name, looked up from the address when it is not known. */
    public String getHostName() {
        String name = hostName;
        if (name == null) {
            try {
                name = impl.getHostByAddr(address);
            } catch (UnknownHostException e) {
                name = null;
            }
            if (name == null) {
                name = getHostAddress();
            }
            hostName = name;
        }
        return name;
    }

    /** The four bytes of the address in network order. */
    public byte[] getAddress() {
        int a = address;
        byte[] b = new byte[4];
        b[0] = (byte) (a >>> 24);
        b[1] = (byte) (a >>> 16);
        b[2] = (byte) (a >>> 8);
        b[3] = (byte) a;
        return b;
    }

    /** The address as "a.b.c.d". */
    public String getHostAddress() {
        int a = address;
        return ((a >>> 24) & 0xFF) + "." + ((a >>> 16) & 0xFF) + "." + ((a >>> 8) & 0xFF) + "." + (a & 0xFF);
    }

    public int hashCode() {
        return address;
    }

    public boolean equals(Object obj) {
        return obj instanceof InetAddress && ((InetAddress) obj).address == address;
    }

    public String toString() {
        String name = hostName;
        return (name != null ? name : "") + "/" + getHostAddress();
    }

    /**
     * The address of a host name or of a dotted address. An empty or null name
     * is the loopback address.
     */
    public static InetAddress getByName(String host) throws UnknownHostException {
        return getAllByName(host)[0];
    }

    /** Every address of a host name, in the order the host gives them. */
    public static InetAddress[] getAllByName(String host) throws UnknownHostException {
        if (host == null || host.length() == 0) {
            InetAddress[] one = new InetAddress[1];
            one[0] = new InetAddress("localhost", 0x7F000001);
            return one;
        }
        long dotted = parseDotted(host);
        if (dotted >= 0) {
            InetAddress[] one = new InetAddress[1];
            one[0] = new InetAddress(null, (int) dotted);
            return one;
        }
        SecurityManager security = System.getSecurityManager();
        if (security != null) {
            security.checkConnect(host, -1);
        }
        byte[][] found;
        try {
            found = impl.lookupAllHostAddr(host);
        } catch (UnknownHostException e) {
            throw new UnknownHostException(host);
        }
        if (found == null || found.length == 0) {
            throw new UnknownHostException(host);
        }
        InetAddress[] all = new InetAddress[found.length];
        for (int i = 0; i < found.length; i++) {
            byte[] a = found[i];
            if (a == null || a.length != 4) {
                throw new UnknownHostException(host);
            }
            all[i] = new InetAddress(host, a);
        }
        return all;
    }

    /** The local host, by the name the host gives it. */
    public static InetAddress getLocalHost() throws UnknownHostException {
        String local = impl.getLocalHostName();
        if (local == null || local.equals("localhost")) {
            return new InetAddress("localhost", 0x7F000001);
        }
        InetAddress found = getByName(local);
        return new InetAddress(local, found.address);
    }

    /**
     * The value of "a.b.c.d" with every part a decimal from 0 to 255 (at most
     * three digits), or -1 for anything else.
     */
    static long parseDotted(String s) {
        int n = s.length();
        long value = 0;
        int parts = 0;
        int i = 0;
        while (i < n) {
            int part = 0;
            int digits = 0;
            while (i < n) {
                char c = s.charAt(i);
                if (c < '0' || c > '9') {
                    break;
                }
                part = part * 10 + (c - '0');
                digits++;
                i++;
                if (digits > 3 || part > 255) {
                    return -1;
                }
            }
            if (digits == 0) {
                return -1;
            }
            value = (value << 8) | part;
            parts++;
            if (i < n) {
                if (s.charAt(i) != '.' || parts == 4) {
                    return -1;
                }
                i++;
                if (i == n) {
                    return -1;
                }
            }
        }
        return parts == 4 ? value : -1;
    }
}
