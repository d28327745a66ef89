package loaderpkg;

public class Made {

    public int value;

    public Made(int value) {
        this.value = value;
    }
}
