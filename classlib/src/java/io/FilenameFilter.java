package java.io;

/** Chooses the names that File.list(FilenameFilter) returns. */
public interface FilenameFilter {
    boolean accept(File dir, String name);
}
