package reflect;

import java.security.AccessController;
import java.security.PrivilegedAction;
import java.security.PrivilegedActionException;
import java.security.PrivilegedExceptionAction;

/** Privileged actions in both forms: results, exceptions, inherited run methods. */
public class PrivilegedCases {

    static class Returns implements PrivilegedAction {
        public Object run() {
            return "returned";
        }
    }

    static class ReturnsNull implements PrivilegedAction {
        public Object run() {
            return null;
        }
    }

    static class Fails implements PrivilegedAction {
        public Object run() {
            throw new IllegalStateException("failed");
        }
    }

    static class Inherits extends Returns {
    }

    static class Overrides extends Returns {
        public Object run() {
            return "overridden";
        }
    }

    static class Checked implements PrivilegedExceptionAction {
        public Object run() throws Exception {
            throw new java.io.IOException("checked");
        }
    }

    static class Unchecked implements PrivilegedExceptionAction {
        public Object run() throws Exception {
            throw new ArithmeticException("unchecked");
        }
    }

    static class Errs implements PrivilegedExceptionAction {
        public Object run() throws Exception {
            throw new NoSuchFieldError("an error");
        }
    }

    static class Good implements PrivilegedExceptionAction {
        public Object run() throws Exception {
            return new Integer(17);
        }
    }

    static abstract class Half implements PrivilegedExceptionAction {
    }

    static class Whole extends Half {
        public Object run() {
            return "from a superclass's interface";
        }
    }

    static String plain(PrivilegedAction a, boolean context) {
        try {
            return Out.show(context ? AccessController.doPrivileged(a, AccessController.getContext())
                    : AccessController.doPrivileged(a));
        } catch (Throwable t) {
            return Out.thrown(t) + ": " + t.getMessage();
        }
    }

    static String checked(PrivilegedExceptionAction a, boolean context) {
        try {
            return Out.show(context ? AccessController.doPrivileged(a, null) : AccessController.doPrivileged(a));
        } catch (PrivilegedActionException e) {
            Exception x = e.getException();
            return "threw PrivilegedActionException <- " + Out.thrown(x).substring(6) + ": " + x.getMessage();
        } catch (Throwable t) {
            return Out.thrown(t) + ": " + t.getMessage();
        }
    }

    public static String report() {
        Out out = new Out();
        PrivilegedAction[] plain = {new Returns(), new ReturnsNull(), new Fails(), new Inherits(), new Overrides()};
        for (int i = 0; i < plain.length; i++) {
            String name = plain[i].getClass().getName();
            name = name.substring(name.indexOf('$') + 1);
            out.line(name + ": " + plain(plain[i], false) + " / " + plain(plain[i], true));
        }
        PrivilegedExceptionAction[] checked = {new Checked(), new Unchecked(), new Errs(), new Good(), new Whole()};
        for (int i = 0; i < checked.length; i++) {
            String name = checked[i].getClass().getName();
            name = name.substring(name.indexOf('$') + 1);
            out.line(name + ": " + checked(checked[i], false) + " / " + checked(checked[i], true));
        }
        out.line("null action: " + plain(null, false));
        out.line("null exception action: " + checked(null, false));
        out.line("context: " + (AccessController.getContext() != null));
        return out.toString();
    }

    public static void main(String[] args) {
        System.out.print(report());
    }
}
