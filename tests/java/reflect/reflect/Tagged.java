package reflect;

public interface Tagged {

    String TAG = "tag";
}
