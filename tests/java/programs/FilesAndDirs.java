import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;

/*
 * Making, listing, renaming and deleting files and directories in an empty
 * working directory. Listings are sorted: their order is the host's.
 */
public class FilesAndDirs {
    static void touch(File f, int bytes) throws IOException {
        FileOutputStream out = new FileOutputStream(f);
        out.write(new byte[bytes]);
        out.close();
    }

    static String list(File dir) {
        String[] names = dir.list();
        if (names == null) {
            return "null";
        }
        for (int i = 1; i < names.length; i++) {
            for (int j = i; j > 0 && names[j - 1].compareTo(names[j]) > 0; j--) {
                String t = names[j];
                names[j] = names[j - 1];
                names[j - 1] = t;
            }
        }
        StringBuffer b = new StringBuffer("[");
        for (int i = 0; i < names.length; i++) {
            b.append(i == 0 ? "" : ", ").append(names[i]);
        }
        return b.append("]").toString();
    }

    static String describe(File f) {
        /* A directory's length is whatever the file system says: not shown. */
        return f.getName() + ": exists " + f.exists() + ", file " + f.isFile() + ", directory " + f.isDirectory()
                + (f.isDirectory() ? "" : ", length " + f.length());
    }

    public static void main(String[] args) throws IOException {
        File top = new File("top");
        System.out.println("mkdir " + top.mkdir() + ", again " + top.mkdir());
        System.out.println(describe(top));
        System.out.println("empty: " + list(top));

        File deep = new File(new File(new File(top, "a"), "b"), "c");
        System.out.println("mkdirs " + deep.mkdirs() + ", again " + deep.mkdirs());
        System.out.println(describe(deep));

        for (int i = 0; i < 9; i++) {
            touch(new File(top, "file" + i), i * 100);
        }
        touch(new File(top, ".hidden"), 1);
        System.out.println("listed: " + list(top));
        System.out.println(describe(new File(top, "file7")));
        System.out.println(describe(new File(top, ".hidden")));
        File missing = new File(top, "missing");
        System.out.println(describe(missing));
        System.out.println("list of a file: " + list(new File(top, "file1")));
        System.out.println("list of nothing: " + list(missing));
        System.out.println("can read " + new File(top, "file1").canRead() + ", can write "
                + new File(top, "file1").canWrite());
        System.out.println("modified recently: "
                + (Math.abs(new File(top, "file1").lastModified() - System.currentTimeMillis()) < 600000));
        System.out.println("missing modified: " + missing.lastModified());

        /* Renaming leaves both File objects as they were. */
        File from = new File(top, "file3");
        File to = new File(top, "renamed");
        System.out.println("rename " + from.renameTo(to));
        System.out.println("  source path unchanged: " + from.getPath().equals(new File(top, "file3").getPath()));
        System.out.println("  " + describe(from));
        System.out.println("  " + describe(to));
        System.out.println("rename missing " + missing.renameTo(new File(top, "other")));
        System.out.println("rename directory " + new File(top, "a").renameTo(new File(top, "z")));
        System.out.println("listed: " + list(top));
        System.out.println("z holds " + list(new File(top, "z")));

        /* Delete: files, then empty directories only. */
        System.out.println("delete a full directory " + top.delete());
        System.out.println("delete missing " + missing.delete());
        String[] names = top.list();
        int deleted = 0;
        for (int i = 0; i < names.length; i++) {
            File f = new File(top, names[i]);
            if (f.isFile() && f.delete()) {
                deleted++;
            }
        }
        System.out.println("deleted " + deleted + " files, left " + list(top));
        File z = new File(top, "z");
        System.out.println("delete z/b/c " + new File(new File(z, "b"), "c").delete() + ", z/b "
                + new File(z, "b").delete() + ", z " + z.delete() + ", top " + top.delete());
        System.out.println(describe(top));
        System.out.println("working directory: " + list(new File(".")));

        /* equals and hashCode follow the path. */
        File p = new File("x");
        File q = new File("x");
        System.out.println("equal files " + p.equals(q) + ", same hash " + (p.hashCode() == q.hashCode()));
    }
}
