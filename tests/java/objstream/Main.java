package objstream;

/* The cases that need a whole machine, run by the launcher: "threads N". */
public class Main {
    public static void main(String[] args) throws Exception {
        if (args.length == 2 && args[0].equals("threads")) {
            System.out.println(Cases.threads(Integer.parseInt(args[1])));
        }
    }
}
