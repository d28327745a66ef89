package java.lang;

/**
 * Math.random's generator, in the machine: the step of a generator shared by threads must be
 * taken by one of them at a time, which synchronized does not ensure on this machine.
 */
final class MathRandom {

    private MathRandom() {
    }

    static native double next();
}
