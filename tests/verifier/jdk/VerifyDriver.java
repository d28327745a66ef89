/* The JDK's side of the verifier's differential test: loads and links each class named on
   the command line (run with -Xverify:all) and prints "<class> ok", or the class name of
   what refused it. Compiled at test time against the JDK it runs on. */
public class VerifyDriver {
    public static void main(String[] args) {
        StringBuffer out = new StringBuffer();
        for (int i = 0; i < args.length; i++) {
            String verdict;
            try {
                Class.forName(args[i], true, VerifyDriver.class.getClassLoader());
                verdict = "ok";
            } catch (Throwable t) {
                verdict = t.getClass().getName();
            }
            out.append(args[i]).append(' ').append(verdict).append('\n');
        }
        System.out.print(out);
        System.out.flush();
    }
}
