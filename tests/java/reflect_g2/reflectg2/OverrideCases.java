package reflectg2;

import java.lang.reflect.Constructor;
import java.lang.reflect.Field;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;

import reflect.Fixture;

/**
 * The 1.2-style library: override opens private and protected members, and still opens
 * neither the machine's own words nor a reflection object whose words were rewritten.
 */
public class OverrideCases {

    static String thrown(Throwable t) {
        String name = t.getClass().getName();
        name = name.substring(name.lastIndexOf('.') + 1);
        if (t instanceof InvocationTargetException) {
            Throwable target = ((InvocationTargetException) t).getTargetException();
            return name + " <- " + target.getClass().getName();
        }
        return name;
    }

    static String getInt(Field f, Object o) {
        try {
            return String.valueOf(f.getInt(o));
        } catch (Throwable t) {
            return thrown(t);
        }
    }

    static String get(Field f, Object o) {
        try {
            Object v = f.get(o);
            return v == null ? "null" : v.toString();
        } catch (Throwable t) {
            return thrown(t);
        }
    }

    static String invoke(Method m, Object o, Object[] args) {
        try {
            Object v = m.invoke(o, args);
            if (v instanceof Character) {
                return "char " + (int) ((Character) v).charValue();
            }
            return v == null ? "null" : v.toString();
        } catch (Throwable t) {
            return thrown(t);
        }
    }

    static String make(Constructor c, Object[] args) {
        try {
            return "made " + c.newInstance(args).getClass().getName();
        } catch (Throwable t) {
            return thrown(t);
        }
    }

    static Field declared(Class c, String name) throws Exception {
        Field f = c.getDeclaredField(name);
        f.setAccessible(true);
        return f;
    }

    public static String report() throws Exception {
        StringBuffer out = new StringBuffer();
        Fixture o = new Fixture();
        Field secret = Fixture.class.getDeclaredField("secret");
        out.append("private field: ").append(getInt(secret, o));
        secret.setAccessible(true);
        out.append(" / with override ").append(getInt(secret, o));
        secret.setInt(o, 70);
        out.append(" / set ").append(getInt(secret, o)).append('\n');

        Method secretMethod = Fixture.class.getDeclaredMethod("secret", null);
        out.append("private method: ").append(invoke(secretMethod, o, null));
        secretMethod.setAccessible(true);
        out.append(" / with override ").append(invoke(secretMethod, o, null)).append('\n');

        Method prot = Fixture.class.getDeclaredMethod("prot", new Class[] {long.class});
        Object[] eight = {new Long(8)};
        out.append("protected method: ").append(invoke(prot, null, eight));
        prot.setAccessible(true);
        out.append(" / with override ").append(invoke(prot, null, eight)).append('\n');

        Constructor protCtor = Fixture.class.getDeclaredConstructor(new Class[] {char.class});
        Object[] c = {new Character('q')};
        out.append("protected constructor: ").append(make(protCtor, c));
        protCtor.setAccessible(true);
        out.append(" / with override ").append(make(protCtor, c)).append('\n');

        Field fin = Fixture.class.getField("fin");
        try {
            fin.setInt(o, 11);
            out.append("final field set: ").append(getInt(fin, o));
        } catch (IllegalAccessException e) {
            out.append("final field set: IllegalAccessException");
        }
        fin.setAccessible(true);
        fin.setInt(o, 11);
        out.append(" / with override ").append(getInt(fin, o));
        out.append(" modifiers ").append(fin.getModifiers());
        out.append(" word ").append(getInt(declared(Field.class, "modifiers"), fin)).append('\n');

        Field eetop = declared(Thread.class, "eetop");
        Field privateInfo = declared(Thread.class, "PrivateInfo");
        Field backtrace = declared(Throwable.class, "backtrace");
        Throwable t = new Throwable();
        out.append("machine words: eetop ").append(getInt(eetop, Thread.currentThread()));
        try {
            eetop.getLong(Thread.currentThread());
        } catch (Throwable x) {
            out.append(" getLong ").append(thrown(x));
        }
        try {
            privateInfo.setInt(Thread.currentThread(), 1);
        } catch (Throwable x) {
            out.append(" PrivateInfo set ").append(thrown(x));
        }
        out.append(" backtrace ").append(get(backtrace, t));
        try {
            backtrace.set(t, "x");
        } catch (Throwable x) {
            out.append(" set ").append(thrown(x));
        }
        out.append('\n');

        // A Field whose slot or class word was rewritten names nothing.
        Field slot = declared(Field.class, "slot");
        Field clazz = declared(Field.class, "clazz");
        Field type = declared(Field.class, "type");
        Field i = Fixture.class.getField("i");
        o.i = 5;
        slot.setInt(i, 9999);
        out.append("forged slot 9999: ").append(getInt(i, o));
        slot.setInt(i, -1);
        out.append(" -1: ").append(getInt(i, o));
        slot.setInt(i, Integer.MIN_VALUE);
        out.append(" min: ").append(getInt(i, o));
        try {
            i.getModifiers();
            out.append(" modifiers answered");
        } catch (Throwable x) {
            out.append(" modifiers ").append(thrown(x));
        }
        Field i2 = Fixture.class.getField("i");
        clazz.set(i2, int.class);
        out.append(" / class int: ").append(getInt(i2, o));
        clazz.set(i2, null);
        out.append(" null: ").append(getInt(i2, o));
        clazz.set(i2, Object.class);
        out.append(" Object: ").append(getInt(i2, o)).append('\n');

        // A rewritten type changes nothing: the field's own record says what it holds.
        Field str = Fixture.class.getField("str");
        o.str = "text";
        type.set(str, int.class);
        out.append("forged type: get ").append(get(str, o));
        try {
            str.setInt(o, 5);
            out.append(" setInt stored");
        } catch (Throwable x) {
            out.append(" setInt ").append(thrown(x));
        }
        out.append(" still ").append(get(str, o)).append('\n');

        // A rewritten parameter list changes nothing either.
        Method add = Fixture.class.getMethod("add", new Class[] {int.class, long.class});
        declared(Method.class, "parameterTypes").set(add, new Class[] {String.class, String.class});
        out.append("forged parameter types: ").append(invoke(add, null, new Object[] {new Integer(1), new Long(2)}));
        out.append(" strings ").append(invoke(add, null, new Object[] {"a", "b"}));
        out.append('\n');
        // Every declared-method slot and some past the end: a slot that names a
        // constructor, the initialiser or nothing is refused; another method runs as itself.
        Method describe = Fixture.class.getMethod("describe", null);
        Field methodSlot = declared(Method.class, "slot");
        out.append("method slots:");
        for (int s = 0; s < 36; s++) {
            methodSlot.setInt(describe, s);
            out.append(' ').append(invoke(describe, o, null));
        }
        out.append('\n');

        Constructor classConstructor = Class.class.getDeclaredConstructor(new Class[0]);
        classConstructor.setAccessible(true);
        out.append("new Class(): ").append(make(classConstructor, null));
        Constructor fieldConstructor = Field.class.getDeclaredConstructor(new Class[0]);
        fieldConstructor.setAccessible(true);
        out.append(" new Field(): ").append(make(fieldConstructor, null)).append('\n');
        return out.toString();
    }
}
