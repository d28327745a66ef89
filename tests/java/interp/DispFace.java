package interp;

public interface DispFace {
    int m();
}
