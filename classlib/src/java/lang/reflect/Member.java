package java.lang.reflect;

public interface Member {

    // The `which` argument of the machine's member queries.
    int PUBLIC = 0;
    int DECLARED = 1;

    Class getDeclaringClass();

    String getName();

    int getModifiers();
}
