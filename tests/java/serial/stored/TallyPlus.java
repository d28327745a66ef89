package stored;

/* Externalizable through its superclass's methods; its own field is not written. */
public class TallyPlus extends Tally {
    public int unwritten;
}
