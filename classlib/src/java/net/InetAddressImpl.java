package java.net;

/**
 * The host's name services, reached through InetAddress.impl. Addresses come
 * back as arrays of four bytes in network order, first byte first.
 */
class InetAddressImpl {
    native String getLocalHostName();

    native void makeAnyLocalAddress(InetAddress address);

    native byte[][] lookupAllHostAddr(String host) throws UnknownHostException;

    native String getHostByAddr(int address) throws UnknownHostException;

    native int getInetFamily();
}
