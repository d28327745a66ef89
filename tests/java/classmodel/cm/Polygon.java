package cm;

public interface Polygon extends Shape, Named {
    int CORNERS = 3;
}
