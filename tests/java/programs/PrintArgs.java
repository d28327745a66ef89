/* For the launcher's test: two system properties, then the arguments, with the UTF-16
   units of any argument that is not plain ASCII. */
public class PrintArgs {
    public static void main(String[] args) {
        System.out.println("pux.test=" + System.getProperty("pux.test"));
        System.out.println("empty=" + System.getProperty("empty"));
        System.out.println("args " + args.length);
        StringBuffer sb = new StringBuffer();
        for (int i = 0; i < args.length; i++) {
            String a = args[i];
            boolean ascii = true;
            for (int k = 0; k < a.length(); k++) {
                if (a.charAt(k) > 127) {
                    ascii = false;
                }
            }
            if (ascii) {
                sb.append(a);
            } else {
                for (int k = 0; k < a.length(); k++) {
                    sb.append((int) a.charAt(k));
                    if (k < a.length() - 1) {
                        sb.append(' ');
                    }
                }
            }
            sb.append('|');
        }
        System.out.println(sb);
    }
}
