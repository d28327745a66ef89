package java.util.zip;

/** The archive's time stamps: MS-DOS date and time fields, taken here as UTC. */
final class DosTime {
    private DosTime() {
    }

    /** 1980-01-01 00:00, the earliest a field can hold. */
    static final int EARLIEST = (1 << 21) | (1 << 16);

    static int fromMillis(long ms) {
        long days = floorDiv(ms, 86400000L);
        long secs = (ms - days * 86400000L) / 1000;
        // Civil date from days since 1970-01-01.
        long z = days + 719468;
        long era = floorDiv(z, 146097);
        long doe = z - era * 146097;
        long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        long y = yoe + era * 400;
        long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        long mp = (5 * doy + 2) / 153;
        long d = doy - (153 * mp + 2) / 5 + 1;
        long m = mp < 10 ? mp + 3 : mp - 9;
        if (m <= 2) {
            y++;
        }
        if (y < 1980) {
            return EARLIEST;
        }
        if (y > 2107) {
            y = 2107;
        }
        return (int) ((y - 1980) << 25 | m << 21 | d << 16 | (secs / 3600) << 11 | ((secs / 60) % 60) << 5
                | (secs % 60) / 2);
    }

    static long toMillis(int dos) {
        long y = ((dos >>> 25) & 0x7F) + 1980;
        long m = (dos >>> 21) & 0xF;
        long d = (dos >>> 16) & 0x1F;
        long hh = (dos >>> 11) & 0x1F;
        long mm = (dos >>> 5) & 0x3F;
        long ss = (dos & 0x1F) * 2;
        // Days since 1970-01-01 from the civil date.
        long yy = m <= 2 ? y - 1 : y;
        long era = floorDiv(yy, 400);
        long yoe = yy - era * 400;
        long mp = m > 2 ? m - 3 : m + 9;
        long doy = (153 * mp + 2) / 5 + d - 1;
        long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        long days = era * 146097 + doe - 719468;
        return ((days * 24 + hh) * 60 + mm) * 60000L + ss * 1000L;
    }

    private static long floorDiv(long a, long b) {
        long q = a / b;
        return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
    }
}
