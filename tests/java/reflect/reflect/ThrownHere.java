package reflect;

public class ThrownHere extends Exception {
}
