package java.net;

/** Makes the socket implementations of Socket and ServerSocket. */
public interface SocketImplFactory {
    SocketImpl createSocketImpl();
}
