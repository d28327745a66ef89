package stored;

/* The middle of the chain: plain fields, stored with the records. */
public class TierMid extends TierBase {
    public long mid;
    public Object link;
}
