package interp;

class LaterCall {
    static int run() { return ((LaterFace) new LaterImpl()).two(); }
}
