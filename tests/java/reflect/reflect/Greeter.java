package reflect;

public interface Greeter {

    String hi();
}
