/* Stored objects: a graph of 100,000 small objects (bench/java/StoredGraph: items in an
   array, each with an int, a long, a double, a shared group and the item before it)
   stored and read back through the serialization interface into the reference host's
   memory streams, as rows of type 0, 1 and 3; beside the reference machine (java -Xint)
   storing and reading the same graph with ObjectOutputStream and ObjectInputStream in
   memory (bench/jdk/StoredBenchJdk). Best of five runs each way; MB/s of the stored form,
   objects per second, and the size of both forms. Then the same for 20,000 items whose
   class has writeObject/readObject hooks of its own (the trailing section, type 0). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "bench_util.h"
#include "refhost.h"
#include "vm.h"
#include "vmjni.h"
#include "vmserial.h"

namespace {

const int kItems = 100000;

const int kHookedItems = 20000;

std::map<std::string, double> RunReference(const std::string& classes, int items, bool hooked) {
  std::map<std::string, double> out;
  std::string cmd = "java -Xint -cp '" + classes + ":" + std::string(PUX_BUILD_DIR) + "/benchjdk' StoredBenchJdk " +
                    std::to_string(items) + (hooked ? " hooked" : "") + " 2>/dev/null";
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char name[64];
    double value;
    while (fscanf(p, "%63s %lf", name, &value) == 2) out[name] = value;
    pclose(p);
  }
  return out;
}

struct Row {
  int type;
  size_t bytes;
  double write;
  double read;
  bool ok;
};

/* Stores and reads back a graph of items in each row type; false when a row failed. */
bool Measure(JNIEnv* env, JNISerialization* s, jclass graphClass, int items, bool hooked, std::initializer_list<int> types,
             const std::string& classes) {
  const JNINativeInterface_* f = env->functions;
  jmethodID build = f->GetStaticMethodID(env, graphClass, "build", "(IZ)[Ljava/lang/Object;");
  jmethodID check = f->GetStaticMethodID(env, graphClass, "check", "([Ljava/lang/Object;)J");
  jobject graph = build != NULL ? f->CallStaticObjectMethod(env, graphClass, build, items, (jboolean)hooked) : NULL;
  if (graph == NULL || check == NULL || f->ExceptionCheck(env)) {
    fprintf(stderr, "the graph cannot be made\n");
    return false;
  }
  jlong original = f->CallStaticLongMethod(env, graphClass, check, graph);
  // Objects of the graph: the items, the groups with their labels and chars, the array.
  const double objects = items + 100 * 3 + 1;
  std::vector<Row> rows;
  for (int type : types) {
    Row row = {type, 0, 0, 0, true};
    std::vector<uint8_t> stored;
    row.write = bench::Best([&] {
      void* stream = refhost::SerialStreamCreate();
      if (s->functions->WriteObject(env, s->serializer, type, graph, stream) != 0) row.ok = false;
      stored = refhost::SerialStreamBytes(stream);
      refhost::SerialStreamDestroy(stream);
    });
    row.bytes = stored.size();
    row.read = bench::Best([&] {
      void* stream = refhost::SerialStreamCreate(stored.data(), stored.size());
      jobject back = s->functions->ReadObject(env, s->deserializer, stream, NULL);
      refhost::SerialStreamDestroy(stream);
      if (back == NULL || f->CallStaticLongMethod(env, graphClass, check, back) != original) row.ok = false;
      if (back != NULL) f->DeleteLocalRef(env, back);
    });
    rows.push_back(row);
  }
  f->DeleteLocalRef(env, graph);

  std::map<std::string, double> ref = RunReference(classes, items, hooked);
  bool refOk = ref.count("check") != 0 && ref["check"] == ref["original"] && ref["original"] == (double)original;
  printf("%d small objects%s (%.0f objects in all), best of 5\n", items,
         hooked ? " whose class has hooks of its own" : "", objects);
  printf("%-34s %10s %10s %12s %10s %12s\n", "", "bytes", "write MB/s", "write obj/s", "read MB/s", "read obj/s");
  for (const Row& r : rows) {
    char label[64];
    snprintf(label, sizeof label, "puxjvm, stored type %d%s", r.type, r.ok ? "" : " (FAILED)");
    printf("%-34s %10zu %10.1f %12.0f %10.1f %12.0f\n", label, r.bytes, r.bytes / r.write / 1e6, objects / r.write,
           r.bytes / r.read / 1e6, objects / r.read);
  }
  if (ref.count("bytes") != 0) {
    double w = ref["write_ns"] / 1e9, rd = ref["read_ns"] / 1e9, b = ref["bytes"];
    printf("%-34s %10.0f %10.1f %12.0f %10.1f %12.0f%s\n", "java -Xint, Object streams", b, b / w / 1e6, objects / w,
           b / rd / 1e6, objects / rd, refOk ? "" : " (check differs!)");
    for (const Row& r : rows) {
      printf("type %d against java -Xint: write %.2fx as fast, read %.2fx as fast, %.2f of its size\n", r.type,
             w / r.write, rd / r.read, r.bytes / b);
    }
  } else {
    printf("java -Xint: not run (no java on the path, or StoredBenchJdk did not build)\n");
  }
  bool ok = true;
  for (const Row& r : rows) ok = ok && r.ok;
  return ok;
}

}  // namespace

int main() {
  std::string classes = std::string(PUX_BUILD_DIR) + "/testclasses/bench";
  JNI_SetHostFunctions(refhost::Functions());
  // The host's object streams of the trailing section are its library's (test doubles).
  refhost::SetClassPath(nullptr, classes + ":" + PUX_BUILD_DIR + "/classlib.zip:" + PUX_BUILD_DIR +
                                     "/testclasses/serial_host");
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.name = "bench";
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  if (JNI_CreateJavaVM(&vm, &env, &args) != 0) {
    fprintf(stderr, "machine creation failed\n");
    return 1;
  }
  refhost::SetHeapCapacity(vm->vm->GetHeap(), 1536u << 20);
  const JNINativeInterface_* f = env->functions;
  jclass graphClass = f->FindClass(env, "StoredGraph");
  JNISerialization* s = (JNISerialization*)f->CreateSerializationInterface(env, refhost::SerialSupport());
  if (graphClass == NULL || s == NULL) {
    fprintf(stderr, "StoredGraph or the interface not found\n");
    return 1;
  }
  bool ok = Measure(env, s, graphClass, kItems, false, {0, 1, 3}, classes);
  printf("\n");
  ok = Measure(env, s, graphClass, kHookedItems, true, {0}, classes) && ok;
  f->DestroySerializationInterface(env, s);
  vm->functions->DestroyJavaVM(vm);
  return ok ? 0 : 1;
}
