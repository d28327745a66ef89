/* LazyMissing: run by the launcher's tests without LazyMissingBase.class on the class
   path. The class the main class needs is the one missing, and the one named. */
public class LazyMissing {
    public static void main(String[] args) {
        System.out.println("start");
        LazyMissingBase b = new LazyMissingSub();
        System.out.println(b.name());
    }
}

class LazyMissingBase {
    String name() {
        return "base";
    }
}

class LazyMissingSub extends LazyMissingBase {
    String name() {
        return "sub";
    }
}
