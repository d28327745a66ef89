package java.lang;

public final class Void {

    public static final Class TYPE = Class.getPrimitiveClass("void");

    private Void() {
    }
}
