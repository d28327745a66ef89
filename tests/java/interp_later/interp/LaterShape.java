package interp;

/* Lost a method and a field; its static method is an instance one now, and its
   instance field a static one. */
class LaterShape {
    static int size = 3;
    int kind() { return 5; }
}
