package corvane.sql.Tavik;

import java.io.IOException;
import java.io.InputStream;
import java.io.InvalidObjectException;
import java.io.ObjectInputStream;

/* The reading twin of VqObjectOutputStream: a reference to an object of the stored graph
   becomes that object (the host's FindObject, through a native the test binds). */
public class VqObjectInputStream extends ObjectInputStream {
    public VqObjectInputStream(InputStream in) throws IOException {
        super(in);
    }

    protected Object resolveObject(Object obj) throws IOException {
        if (!(obj instanceof VqStoredRef)) {
            return obj;
        }
        Object found = findObject0(((VqStoredRef) obj).id);
        if (found == null) {
            throw new InvalidObjectException("no stored object " + ((VqStoredRef) obj).id);
        }
        return found;
    }

    private static native Object findObject0(int id);
}
