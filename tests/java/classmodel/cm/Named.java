package cm;

public interface Named {
    String NAME = "named";

    String name();
}
