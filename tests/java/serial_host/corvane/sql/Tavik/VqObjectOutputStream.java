package corvane.sql.Tavik;

import java.io.IOException;
import java.io.NotSerializableException;
import java.io.ObjectOutputStream;
import java.io.OutputStream;

/* A test double of the host's object stream of the trailing section. With share on, every
   object but a String that a hook writes joins the stored graph (the host's AddObject,
   through a native the test binds) and the stream carries a reference to it. */
public class VqObjectOutputStream extends ObjectOutputStream {
    public static boolean share;

    public VqObjectOutputStream(OutputStream out) throws IOException {
        super(out);
    }

    protected Object replaceObject(Object obj) throws IOException {
        if (!share || obj instanceof String || obj instanceof VqStoredRef) {
            return obj;
        }
        int id = addObject0(obj);
        if (id == 0) {
            throw new NotSerializableException("the stored graph refused " + obj.getClass().getName());
        }
        return new VqStoredRef(id);
    }

    private static native int addObject0(Object obj);
}
