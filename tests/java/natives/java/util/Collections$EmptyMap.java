package java.util;

// What the third library generation puts into every Thread; the tests' stand-in for it.
public class Collections$EmptyMap {
    public Collections$EmptyMap() {
    }
}
