package java.util.zip;

/* The newer generation's ZipEntry rows: initFields is not built here (InternalError "nyi"),
   initIDs answers nothing. check() answers 0 or the number of the first failed check. */
public class ZipEntry {
    static native void initIDs();

    native void initFields(long jzentry);

    public static int check() {
        initIDs();
        try {
            new ZipEntry().initFields(1L);
            return 1;
        } catch (InternalError e) {
            return "nyi: java_util_zip_ZipEntry_initFields".equals(e.getMessage()) ? 0 : 2;
        }
    }
}
