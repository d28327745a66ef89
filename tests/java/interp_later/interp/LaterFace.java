package interp;

/* A method more than LaterImpl, compiled earlier, implements. */
interface LaterFace {
    int one();
    int two();
}
