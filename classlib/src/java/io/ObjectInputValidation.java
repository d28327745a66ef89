package java.io;

/** A check run on an object once the whole graph around it has been read. */
public interface ObjectInputValidation {
    void validateObject() throws InvalidObjectException;
}
