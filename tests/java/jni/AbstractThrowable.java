public abstract class AbstractThrowable extends Exception {
}
