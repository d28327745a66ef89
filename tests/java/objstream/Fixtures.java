package objstream;

import java.io.Externalizable;
import java.io.IOException;
import java.io.ObjectInput;
import java.io.ObjectInputStream;
import java.io.ObjectOutput;
import java.io.ObjectOutputStream;
import java.io.Serializable;

/* The classes the object-stream tests write, read and forge streams of. Each declares
   serial version 1, so that a stream built by hand names it without working out its
   default version. */
class Fixtures {
}

class Foo implements Serializable {
    private static final long serialVersionUID = 1L;
    int v;
    Foo next;
}

class Holder implements Serializable {
    private static final long serialVersionUID = 1L;
    Foo foo;
    Object any;
}

class Flags implements Serializable {
    private static final long serialVersionUID = 1L;
    boolean z;
}

/* The evolved form of a class that, in the streams of the tests, had "int old" and "int same". */
class Evolved implements Serializable {
    private static final long serialVersionUID = 1L;
    int same;
    String added = "not from the stream";
}

class NotSer {
    int x;
}

class NotSerHolder implements Serializable {
    private static final long serialVersionUID = 1L;
    Object what;
}

class OnlyIntCtorBase {
    int baseValue;

    OnlyIntCtorBase(int v) {
        baseValue = v;
    }
}

class NoValidCtor extends OnlyIntCtorBase implements Serializable {
    private static final long serialVersionUID = 1L;
    int own;

    NoValidCtor() {
        super(3);
    }
}

class PrivateCtorBase {
    private PrivateCtorBase() {
    }

    PrivateCtorBase(int x) {
    }
}

class PrivateCtorChild extends PrivateCtorBase implements Serializable {
    private static final long serialVersionUID = 1L;

    PrivateCtorChild() {
        super(1);
    }
}

class Counted {
    static int constructed;
    int setByConstructor;

    Counted() {
        constructed++;
        setByConstructor = 41;
    }
}

class CountedChild extends Counted implements Serializable {
    private static final long serialVersionUID = 1L;
    int own = 5;
}

/* Public hooks in a class and its subclass: each class's own hook runs for its own part. */
class HookA implements Serializable {
    private static final long serialVersionUID = 1L;
    transient String log = "";

    public void writeObject(ObjectOutputStream out) throws IOException {
        out.writeUTF("A");
    }

    public void readObject(ObjectInputStream in) throws IOException {
        log = (log == null ? "" : log) + "A:" + in.readUTF() + " ";
    }
}

class HookB extends HookA {
    private static final long serialVersionUID = 1L;

    public void writeObject(ObjectOutputStream out) throws IOException {
        out.writeUTF("B");
    }

    public void readObject(ObjectInputStream in) throws IOException {
        log = (log == null ? "" : log) + "B:" + in.readUTF() + " ";
    }
}

/* A hook that reads far past what it wrote. */
class Greedy implements Serializable {
    private static final long serialVersionUID = 1L;
    int x = 1;

    private void writeObject(ObjectOutputStream out) throws IOException {
        out.defaultWriteObject();
        out.writeInt(5);
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
        in.readInt();
        in.readInt();
    }
}

class Ext implements Externalizable {
    private static final long serialVersionUID = 1L;
    int value;

    public Ext() {
    }

    public void writeExternal(ObjectOutput out) throws IOException {
        out.writeInt(value);
    }

    public void readExternal(ObjectInput in) throws IOException {
        value = in.readInt();
    }
}

class ExtNoPublicCtor implements Externalizable {
    private static final long serialVersionUID = 1L;

    ExtNoPublicCtor() {
    }

    public void writeExternal(ObjectOutput out) {
    }

    public void readExternal(ObjectInput in) {
    }
}

class Link implements Serializable {
    private static final long serialVersionUID = 1L;
    Link next;
    int n;
}

/* A hooked link: every level of the list nests the hooks' native calls. */
class HookedLink implements Serializable {
    private static final long serialVersionUID = 1L;
    HookedLink next;

    private void writeObject(ObjectOutputStream out) throws IOException {
        out.defaultWriteObject();
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
    }
}
