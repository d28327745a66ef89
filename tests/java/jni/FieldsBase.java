public interface FieldsBase {
    int INHERITED = 5;
}
