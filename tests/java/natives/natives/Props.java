package natives;

import java.util.Properties;

// Properties objects for the system-properties native, and what it put into them.
public class Props {
    static Properties fresh() {
        return new Properties();
    }

    static Properties holding() {
        Properties p = new Properties();
        p.put("java.version", "old");
        p.put("other", "kept");
        return p;
    }

    static String get(Properties p, String key) {
        Object v = p.get(key);
        return v == null ? "<none>" : (String) v;
    }

    static int size(Properties p) {
        return p.size();
    }
}
