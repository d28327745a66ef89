import java.io.IOException;
import java.io.InvalidClassException;
import java.io.InvalidObjectException;
import java.io.NotActiveException;
import java.io.NotSerializableException;
import java.io.ObjectInputValidation;
import java.io.ObjectStreamConstants;
import java.io.ObjectStreamException;
import java.io.StreamCorruptedException;
import java.io.WriteAbortedException;

/* The exceptions and codes of the object streams as programs meet them: messages with and
   without their extra parts, the public fields, the class tree, and the format's codes. */
public class ObjectStreamTypes implements ObjectStreamConstants {
    static void show(String what, Exception e) {
        System.out.println(what + ": " + e + " | " + e.getMessage() + " | object stream " + (e instanceof ObjectStreamException)
                + ", io " + (e instanceof IOException));
    }

    static class Checked implements ObjectInputValidation {
        int value;

        public void validateObject() throws InvalidObjectException {
            if (value < 0) {
                throw new InvalidObjectException("negative value " + value);
            }
        }
    }

    public static void main(String[] args) throws Exception {
        InvalidClassException plain = new InvalidClassException("no reason given");
        show("invalid class", plain);
        System.out.println("classname " + plain.classname);
        InvalidClassException named = new InvalidClassException("a/b/C", "local class incompatible");
        show("invalid named class", named);
        named.classname = null;
        System.out.println("without its name: " + named.getMessage());
        named.classname = "D";
        System.out.println("renamed: " + named.getMessage());
        show("invalid class, no reason", new InvalidClassException("E", null));
        show("not serializable", new NotSerializableException("java.lang.Thread"));
        show("not serializable, no name", new NotSerializableException());
        show("corrupted", new StreamCorruptedException("invalid type code: 00"));
        show("corrupted, no reason", new StreamCorruptedException());
        show("not active", new NotActiveException("not in call to readObject"));
        show("invalid object", new InvalidObjectException("bad"));
        NotSerializableException cause = new NotSerializableException("Holder");
        WriteAbortedException aborted = new WriteAbortedException("writing aborted", cause);
        show("aborted", aborted);
        System.out.println("detail kept: " + (aborted.detail == cause));
        show("aborted, no detail", new WriteAbortedException("writing aborted", null));
        aborted.detail = null;
        System.out.println("detail dropped: " + aborted.getMessage());
        Checked c = new Checked();
        c.value = 3;
        c.validateObject();
        c.value = -4;
        try {
            c.validateObject();
            System.out.println("no failure");
        } catch (InvalidObjectException e) {
            show("validation", e);
        }
        System.out.println("magic " + Integer.toHexString(STREAM_MAGIC & 0xFFFF) + " version " + STREAM_VERSION);
        byte[] codes = {TC_BASE, TC_NULL, TC_REFERENCE, TC_CLASSDESC, TC_OBJECT, TC_STRING, TC_ARRAY, TC_CLASS,
                        TC_BLOCKDATA, TC_ENDBLOCKDATA, TC_RESET, TC_BLOCKDATALONG, TC_EXCEPTION};
        StringBuffer text = new StringBuffer("codes");
        for (int i = 0; i < codes.length; i++) {
            text.append(' ').append(Integer.toHexString(codes[i]));
        }
        System.out.println(text);
        System.out.println("handles from " + Integer.toHexString(baseWireHandle) + ", flags " + SC_WRITE_METHOD + " "
                + SC_SERIALIZABLE + " " + SC_EXTERNALIZABLE);
    }
}
