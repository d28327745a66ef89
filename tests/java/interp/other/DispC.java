package interp.other;

public class DispC extends DispB {
    public int m() { return 3; }
}
