package interp;

/* Gains the method that its subclass's super call was compiled to find farther up. */
class LaterMid extends LaterBase {
    int m() { return 2; }
}
