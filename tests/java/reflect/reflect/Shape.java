package reflect;

/** An abstract class that implements Greeter without declaring its method. */
public abstract class Shape implements Greeter {

    public Shape() {
    }

    public abstract double area();
}
