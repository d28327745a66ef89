package cm;

public interface Shape {
    int SIDES = 0;

    double area();
}
