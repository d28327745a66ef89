import java.security.AccessController;
import java.security.PrivilegedAction;
import java.security.PrivilegedActionException;
import java.security.PrivilegedExceptionAction;

/* Privileged actions, both forms: a result, a run inherited from a superclass, an
   unchecked exception that passes as it is, a checked one wrapped. */
public class Privileged {

    static class Greeting implements PrivilegedAction {
        public Object run() {
            return "hello";
        }
    }

    static class Inherited extends Greeting {
    }

    static class Reading implements PrivilegedExceptionAction {
        public Object run() throws Exception {
            throw new java.io.FileNotFoundException("nowhere");
        }
    }

    public static void main(String[] args) {
        System.out.println(AccessController.doPrivileged(new Greeting()));
        System.out.println(AccessController.doPrivileged(new Inherited()));
        try {
            AccessController.doPrivileged(new PrivilegedAction() {
                public Object run() {
                    throw new SecurityException("refused");
                }
            });
        } catch (SecurityException e) {
            System.out.println("SecurityException " + e.getMessage());
        }
        try {
            AccessController.doPrivileged(new Reading());
        } catch (PrivilegedActionException e) {
            System.out.println("PrivilegedActionException " + e.getException().getClass().getName() + " "
                    + e.getException().getMessage());
        }
        try {
            Object v = AccessController.doPrivileged(new PrivilegedExceptionAction() {
                public Object run() {
                    return new Integer(6 * 7);
                }
            });
            System.out.println(v);
        } catch (PrivilegedActionException e) {
            System.out.println("unexpected");
        }
    }
}
