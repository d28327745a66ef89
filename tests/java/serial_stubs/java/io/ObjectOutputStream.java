package java.io;

/* Only for compiling the test classes whose hooks name it: the class library has no
   object streams yet, and the machine matches a hook by its name and signature alone. */
public class ObjectOutputStream {
}
