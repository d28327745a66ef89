package java.util;

import java.io.BufferedWriter;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.OutputStreamWriter;
import java.io.PrintStream;
import java.io.PrintWriter;

/**
 * A table of string keys and values, with a second table of defaults, that
 * reads and writes itself in the text format of property files.
 *
 * The machine fills the system properties by calling put, found in Hashtable.
 */
public class Properties extends Hashtable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 4112578634029874840L;

    /** Looked up when a key is missing here; may be null. */
    protected Properties defaults;

    public Properties() {
        this(null);
    }

    public Properties(Properties defaults) {
        this.defaults = defaults;
    }

    /** Same as put, for string keys and values. */
    public synchronized Object setProperty(String key, String value) {
        return put(key, value);
    }

    /**
     * The value of key here or, failing that, in the defaults; null when it
     * is in neither. Values that are not strings count as missing.
     */
    public String getProperty(String key) {
        Object v = super.get(key);
        if (v instanceof String) {
            return (String) v;
        }
        if (defaults != null) {
            return defaults.getProperty(key);
        }
        return null;
    }

    public String getProperty(String key, String defaultValue) {
        String v = getProperty(key);
        return v == null ? defaultValue : v;
    }

    /** Every key, those of the defaults included, each once. */
    public Enumeration propertyNames() {
        Hashtable all = new Hashtable();
        collect(all);
        return all.keys();
    }

    private synchronized void collect(Hashtable all) {
        if (defaults != null) {
            defaults.collect(all);
        }
        for (Enumeration e = keys(); e.hasMoreElements();) {
            Object key = e.nextElement();
            all.put(key, get(key));
        }
    }

    /**
     * Reads properties from the bytes of in, each taken as an ISO 8859-1
     * character. Each logical line holds a key, then optionally '=' or ':'
     * (with blanks around it, or just blanks), then the value. Lines whose
     * first non-blank is '#' or '!' are comments. A line ending in an odd
     * number of backslashes goes on in the next line. Escapes \t, \n, \r,
     * \f and backslash-u with four hex digits stand for their chars; a
     * backslash before any other char stands for that char.
     */
    public synchronized void load(InputStream in) throws IOException {
        LineSource src = new LineSource(in);
        StringBuffer logical = new StringBuffer();
        String line;
        while ((line = src.next()) != null) {
            int start = skipBlanks(line, 0);
            if (start == line.length()) {
                continue;
            }
            char first = line.charAt(start);
            if (first == '#' || first == '!') {
                continue;
            }
            logical.setLength(0);
            String part = line.substring(start);
            while (endsInContinuation(part)) {
                logical.append(part.substring(0, part.length() - 1));
                String more = src.next();
                if (more == null) {
                    part = "";
                    break;
                }
                part = more.substring(skipBlanks(more, 0));
            }
            logical.append(part);
            // A continued line that joins to nothing holds no entry.
            if (logical.length() > 0) {
                parseEntry(logical.toString());
            }
        }
    }

    private static boolean isBlank(char c) {
        return c == ' ' || c == '\t' || c == '\f';
    }

    private static int skipBlanks(String s, int i) {
        while (i < s.length() && isBlank(s.charAt(i))) {
            i++;
        }
        return i;
    }

    private static boolean endsInContinuation(String s) {
        int n = 0;
        for (int i = s.length() - 1; i >= 0 && s.charAt(i) == '\\'; i--) {
            n++;
        }
        return (n & 1) == 1;
    }

    private void parseEntry(String s) {
        int len = s.length();
        int i = 0;
        while (i < len) {
            char c = s.charAt(i);
            if (c == '\\') {
                i += 2;
                continue;
            }
            if (c == '=' || c == ':' || isBlank(c)) {
                break;
            }
            i++;
        }
        int keyEnd = i < len ? i : len;
        int v = skipBlanks(s, keyEnd);
        if (v < len && (s.charAt(v) == '=' || s.charAt(v) == ':')) {
            v = skipBlanks(s, v + 1);
        }
        String key = unescape(s.substring(0, keyEnd));
        String value = v < len ? unescape(s.substring(v)) : "";
        put(key, value);
    }

    private static String unescape(String s) {
        int len = s.length();
        StringBuffer out = new StringBuffer(len);
        int i = 0;
        while (i < len) {
            char c = s.charAt(i++);
            if (c != '\\') {
                out.append(c);
                continue;
            }
            if (i >= len) {
                break;
            }
            c = s.charAt(i++);
            switch (c) {
                case 't':
                    out.append('\t');
                    break;
                case 'n':
                    out.append('\n');
                    break;
                case 'r':
                    out.append('\r');
                    break;
                case 'f':
                    out.append('\f');
                    break;
                case 'u': {
                    if (i + 4 > len) {
                        throw new IllegalArgumentException("Malformed \\uxxxx encoding.");
                    }
                    int value = 0;
                    for (int k = 0; k < 4; k++) {
                        int d = Character.digit(s.charAt(i++), 16);
                        if (d < 0) {
                            throw new IllegalArgumentException("Malformed \\uxxxx encoding.");
                        }
                        value = (value << 4) | d;
                    }
                    out.append((char) value);
                    break;
                }
                default:
                    out.append(c);
                    break;
            }
        }
        return out.toString();
    }

    /**
     * Writes the properties of this table (not the defaults) in the format
     * that load reads, after a comment line holding header when it is not
     * null. Failures are ignored; store reports them.
     */
    public synchronized void save(OutputStream out, String header) {
        try {
            store(out, header);
        } catch (IOException e) {
            // The historical save reports nothing.
        }
    }

    /**
     * Writes the properties of this table (not the defaults) in the format
     * that load reads, in ISO 8859-1, after a comment line holding header
     * when it is not null. Chars outside printable ASCII are written as
     * backslash-u escapes. The stream is flushed, not closed.
     */
    public synchronized void store(OutputStream out, String header) throws IOException {
        BufferedWriter w = new BufferedWriter(new OutputStreamWriter(out, "8859_1"));
        if (header != null) {
            w.write("#");
            w.write(escape(header, false, true));
            w.newLine();
        }
        for (Enumeration e = keys(); e.hasMoreElements();) {
            Object k = e.nextElement();
            Object v = get(k);
            w.write(escape(String.valueOf(k), true, false));
            w.write("=");
            w.write(escape(String.valueOf(v), false, false));
            w.newLine();
        }
        w.flush();
    }

    private static final String HEX = "0123456789ABCDEF";

    private static String escape(String s, boolean isKey, boolean isComment) {
        int len = s.length();
        StringBuffer out = new StringBuffer(len + 8);
        for (int i = 0; i < len; i++) {
            char c = s.charAt(i);
            if (c < 0x20 || c > 0x7E) {
                if (isComment) {
                    if (c == '\n' || c == '\r') {
                        // Keep the comment on one line.
                        c = ' ';
                    }
                    if (c <= 0xFF) {
                        out.append(c);
                        continue;
                    }
                }
                switch (c) {
                    case '\t':
                        out.append("\\t");
                        break;
                    case '\n':
                        out.append("\\n");
                        break;
                    case '\r':
                        out.append("\\r");
                        break;
                    case '\f':
                        out.append("\\f");
                        break;
                    default:
                        out.append("\\u");
                        out.append(HEX.charAt((c >> 12) & 0xF));
                        out.append(HEX.charAt((c >> 8) & 0xF));
                        out.append(HEX.charAt((c >> 4) & 0xF));
                        out.append(HEX.charAt(c & 0xF));
                        break;
                }
                continue;
            }
            if (isComment) {
                out.append(c);
                continue;
            }
            switch (c) {
                case '\\':
                    out.append("\\\\");
                    break;
                case ' ':
                    if (isKey || i == 0) {
                        out.append('\\');
                    }
                    out.append(' ');
                    break;
                case '=':
                case ':':
                case '#':
                case '!':
                    out.append('\\');
                    out.append(c);
                    break;
                default:
                    out.append(c);
                    break;
            }
        }
        return out.toString();
    }

    /** Prints every property, defaults included, long values cut, for debugging. */
    public void list(PrintStream out) {
        out.println("-- listing properties --");
        Hashtable all = new Hashtable();
        collect(all);
        for (Enumeration e = all.keys(); e.hasMoreElements();) {
            Object key = e.nextElement();
            out.println(key + "=" + shorten(all.get(key)));
        }
    }

    public void list(PrintWriter out) {
        out.println("-- listing properties --");
        Hashtable all = new Hashtable();
        collect(all);
        for (Enumeration e = all.keys(); e.hasMoreElements();) {
            Object key = e.nextElement();
            out.println(key + "=" + shorten(all.get(key)));
        }
    }

    private static String shorten(Object value) {
        String s = String.valueOf(value);
        if (s.length() > 40) {
            return s.substring(0, 37) + "...";
        }
        return s;
    }
}
