package java.io;

/** The codes of the standard object stream format. */
public interface ObjectStreamConstants {
    short STREAM_MAGIC = (short) 0xaced;
    short STREAM_VERSION = 5;

    byte TC_BASE = 0x70;
    byte TC_NULL = 0x70;
    byte TC_REFERENCE = 0x71;
    byte TC_CLASSDESC = 0x72;
    byte TC_OBJECT = 0x73;
    byte TC_STRING = 0x74;
    byte TC_ARRAY = 0x75;
    byte TC_CLASS = 0x76;
    byte TC_BLOCKDATA = 0x77;
    byte TC_ENDBLOCKDATA = 0x78;
    byte TC_RESET = 0x79;
    byte TC_BLOCKDATALONG = 0x7A;
    byte TC_EXCEPTION = 0x7B;
    /** The last code of this generation of the format. */
    byte TC_MAX = 0x7B;

    /** The first handle a stream assigns. */
    int baseWireHandle = 0x7e0000;

    /** Class descriptor flags: the class writes data of its own, is Serializable, is Externalizable. */
    byte SC_WRITE_METHOD = 0x01;
    byte SC_SERIALIZABLE = 0x02;
    byte SC_EXTERNALIZABLE = 0x04;
}
