import java.io.*;
/* The JDK's side of the verifier's mutant test: for each record of a pack that mutate.py
   wrote (a key whose first component names the mutant and whose rest is the class file's
   path, then the class file), defines the mutant and the unmutated classes of a seed
   folder in a loader of their own, links it (run with -Xverify:all) and prints the key
   and "ok" or what refused it with its message. Compiled at test time against the JDK it
   runs on. */
public class MutantDriver {
    static byte[] read(File f) throws IOException {
        byte[] b = new byte[(int) f.length()];
        DataInputStream d = new DataInputStream(new FileInputStream(f));
        d.readFully(b);
        d.close();
        return b;
    }
    public static void main(String[] args) throws Exception {
        final File seeds = new File(args[0]);
        DataInputStream pack = new DataInputStream(new BufferedInputStream(new FileInputStream(args[1])));
        StringBuffer out = new StringBuffer();
        while (true) {
            String rel;
            try {
                rel = pack.readUTF();
            } catch (EOFException e) {
                break;
            }
            final byte[] bytes = new byte[pack.readInt()];
            pack.readFully(bytes);
            String name = rel.substring(rel.indexOf('/') + 1, rel.length() - 6).replace('/', '.');
            final String mutant = name;
            ClassLoader l = new ClassLoader(MutantDriver.class.getClassLoader()) {
                protected synchronized Class loadClass(String n, boolean resolve) throws ClassNotFoundException {
                    Class c = findLoadedClass(n);
                    if (c != null) return c;
                    try {
                        if (n.equals(mutant)) return defineClass(n, bytes, 0, bytes.length);
                        File f = new File(seeds, n.replace('.', '/') + ".class");
                        if (f.exists()) { byte[] b = read(f); return defineClass(n, b, 0, b.length); }
                    } catch (IOException e) { throw new ClassNotFoundException(n); }
                    return super.loadClass(n, resolve);
                }
            };
            String verdict;
            try {
                Class c = Class.forName(name, false, l);
                c.getDeclaredMethods();
                verdict = "ok";
            } catch (Throwable t) {
                verdict = t.getClass().getName() + " " + String.valueOf(t.getMessage()).replace('\n', ' ');
            }
            out.append(rel).append(' ').append(verdict).append('\n');
        }
        pack.close();
        System.out.print(out);
    }
}
