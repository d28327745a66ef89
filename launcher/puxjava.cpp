/* puxjava: runs a Java class's main on the machine over the reference host, as the java
   command does.

     puxjava [-cp PATH] [-verify | -noverify] [-Xmx<size>] [-Xnofiles] [-D<name>=<value>] CLASS [ARGS...]

   The class library (classlib.zip beside this program) always comes first on the class
   path; -cp adds directories and zip or jar archives separated by ':' (default "."). The
   exit status is System.exit's, 0 after main returns, 1 after an uncaught exception
   (printed on standard error as java prints it) and 1 for every error of the launcher
   itself, which is one line on standard error. -Xnofiles runs the program on a host
   that refuses file access (the console still prints). user.dir is the working
   directory, as java has it, unless -D sets it. */
#include <dlfcn.h>
#include <limits.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

/* The host's headers put jni.h in the machine's form, whose env and JavaVM records
   vmjni.h defines. */
#include "refhost.h"
#include "vmjni.h"

namespace {

const char* const kUsage =
    "usage: puxjava [-cp PATH] [-verify | -noverify] [-Xmx<size>] [-Xnofiles] [-D<name>=<value>] CLASS [ARGS...]";

/* The machine's own heap; a name space's classes live on another one. */
const jint kMachineHeapKind = 2;

/* The library in classlib.zip is the 1.1-style one: its FileDescriptor uses the 1.1
   coding, which the machine picks for library version 1 only. */
const jint kLibraryVersion = 1;

struct Options {
  std::string classPath = ".";
  uint64_t heapBytes = 0;
  bool verify = true;
  bool noFiles = false;
  std::vector<std::pair<std::string, std::string>> properties;
  std::string mainClass;
  std::vector<std::string> arguments;
};

int Fail(const std::string& message) {
  fprintf(stderr, "puxjava: %s\n", message.c_str());
  return 1;
}

/* A size with an optional k, m or g; 0 when it is not one. */
uint64_t ParseSize(const char* text) {
  if (*text < '0' || *text > '9') return 0;
  char* end = nullptr;
  unsigned long long value = strtoull(text, &end, 10);
  uint64_t unit = 1;
  switch (*end) {
    case 'k': case 'K': unit = 1ull << 10; end++; break;
    case 'm': case 'M': unit = 1ull << 20; end++; break;
    case 'g': case 'G': unit = 1ull << 30; end++; break;
    default: break;
  }
  if (*end != 0 || value == 0 || value > (UINT64_MAX >> 30)) return 0;
  return value * unit;
}

/* false with the error's text for options the launcher cannot take. */
bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; i++) {
    const char* arg = argv[i];
    if (!strcmp(arg, "-cp")) {
      if (++i == argc) {
        *error = "-cp needs a class path";
        return false;
      }
      o->classPath = argv[i];
    } else if (!strcmp(arg, "-verify")) {
      o->verify = true;
    } else if (!strcmp(arg, "-noverify")) {
      o->verify = false;
    } else if (!strncmp(arg, "-Xmx", 4)) {
      o->heapBytes = ParseSize(arg + 4);
      if (o->heapBytes == 0) {
        *error = std::string("invalid heap size: ") + arg;
        return false;
      }
    } else if (!strcmp(arg, "-Xnofiles")) {
      o->noFiles = true;
    } else if (!strncmp(arg, "-D", 2)) {
      const char* eq = strchr(arg + 2, '=');
      std::string name = eq ? std::string(arg + 2, eq - (arg + 2)) : std::string(arg + 2);
      if (name.empty()) {
        *error = std::string("a property needs a name: ") + arg;
        return false;
      }
      o->properties.emplace_back(name, eq ? eq + 1 : "");
    } else {
      *error = std::string("unknown option ") + arg + " (" + kUsage + ")";
      return false;
    }
  }
  if (i == argc) {
    *error = std::string("no class to run (") + kUsage + ")";
    return false;
  }
  o->mainClass = argv[i++];
  for (; i < argc; i++) o->arguments.push_back(argv[i]);
  return true;
}

/* The directory of this program, where the build puts classlib.zip. */
std::string ProgramDirectory() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  char* slash = strrchr(path, '/');
  if (slash == nullptr) return ".";
  *slash = 0;
  return path[0] ? path : "/";
}

/* Command-line bytes as UTF-8 into UTF-16; a byte that starts no valid sequence stands
   for the Latin-1 character of that value. */
std::vector<jchar> Utf16(const std::string& text) {
  std::vector<jchar> out;
  const unsigned char* s = (const unsigned char*)text.data();
  size_t n = text.size();
  static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  for (size_t i = 0; i < n;) {
    unsigned c = s[i];
    int extra = c < 0x80 ? 0 : (c >= 0xC2 && c < 0xE0) ? 1 : (c >= 0xE0 && c < 0xF0) ? 2 : (c >= 0xF0 && c < 0xF5) ? 3 : -1;
    uint32_t code = extra > 0 ? c & (0x3Fu >> extra) : c;
    bool ok = extra >= 0 && i + extra < n;
    for (int k = 1; ok && k <= extra; k++) {
      if ((s[i + k] & 0xC0) != 0x80) ok = false;
      code = code << 6 | (s[i + k] & 0x3F);
    }
    if (!ok || code < kLeast[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      out.push_back((jchar)c);
      i++;
      continue;
    }
    if (code >= 0x10000) {
      out.push_back((jchar)(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back((jchar)(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back((jchar)code);
    }
    i += (size_t)extra + 1;
  }
  return out;
}

jstring NewJavaString(JNIEnv* env, const std::string& text) {
  std::vector<jchar> chars = Utf16(text);
  return env->functions->NewString(env, chars.empty() ? nullptr : chars.data(), (jsize)chars.size());
}

/* A throwable of the named class pending? */
bool PendingIs(JNIEnv* env, jthrowable pending, const char* className) {
  jclass cls = env->functions->FindClass(env, className);
  if (cls == nullptr) {
    env->functions->ExceptionClear(env);
    return false;
  }
  bool is = env->functions->IsInstanceOf(env, pending, cls) != 0;
  env->functions->DeleteLocalRef(env, cls);
  return is;
}

/* The java command's text for an exception main let escape, on System.err:
   'Exception in thread "main" ', then the throwable's trace. Without a usable
   System.err, the machine's own description goes to standard error. */
/* What a no-argument String method of the object answers ("" for null or a failure,
   which is cleared). */
std::string CallString(JNIEnv* env, jobject object, const char* method) {
  JNINativeInterface_ const* f = env->functions;
  std::string out;
  jclass cls = f->GetObjectClass(env, object);
  jmethodID id = cls ? f->GetMethodID(env, cls, method, "()Ljava/lang/String;") : nullptr;
  jstring text = id ? (jstring)f->CallObjectMethod(env, object, id) : nullptr;
  if (text != nullptr && f->ExceptionOccurred(env) == nullptr) {
    const char* utf = f->GetStringUTFChars(env, text, nullptr);
    if (utf != nullptr) {
      out = utf;
      f->ReleaseStringUTFChars(env, text, utf);
    }
  }
  f->ExceptionClear(env);
  return out;
}

void ReportUncaught(JNIEnv* env, jthrowable thrown) {
  JNINativeInterface_ const* f = env->functions;
  if (PendingIs(env, thrown, "java/lang/ThreadDeath")) return;
  const char* prefix = "Exception in thread \"main\" ";
  jclass system = f->FindClass(env, "java/lang/System");
  jfieldID errId = system ? f->GetStaticFieldID(env, system, "err", "Ljava/io/PrintStream;") : nullptr;
  jobject err = errId ? f->GetStaticObjectField(env, system, errId) : nullptr;
  if (err != nullptr) {
    jclass stream = f->GetObjectClass(env, err);
    jmethodID print = f->GetMethodID(env, stream, "print", "(Ljava/lang/String;)V");
    jclass throwable = f->FindClass(env, "java/lang/Throwable");
    jmethodID trace = throwable ? f->GetMethodID(env, throwable, "printStackTrace", "(Ljava/io/PrintStream;)V") : nullptr;
    jstring text = NewJavaString(env, prefix);
    if (print != nullptr && trace != nullptr && text != nullptr) {
      f->CallVoidMethod(env, err, print, text);
      if (f->ExceptionOccurred(env) == nullptr) {
        f->CallVoidMethod(env, thrown, trace, err);
        if (f->ExceptionOccurred(env) == nullptr) return;
      }
    }
  }
  f->ExceptionClear(env);
  fflush(stdout);
  fputs(prefix, stderr);
  fflush(stderr);
  f->Throw(env, thrown);
  f->ExceptionDescribe(env);
  f->ExceptionClear(env);
}

/* System.getProperties().put(name, value) for user.dir, then for each -D. */
bool SetProperties(JNIEnv* env, const Options& o) {
  std::vector<std::pair<std::string, std::string>> properties;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) != nullptr) properties.emplace_back("user.dir", cwd);
  properties.insert(properties.end(), o.properties.begin(), o.properties.end());
  JNINativeInterface_ const* f = env->functions;
  jclass system = f->FindClass(env, "java/lang/System");
  jmethodID get = system ? f->GetStaticMethodID(env, system, "getProperties", "()Ljava/util/Properties;") : nullptr;
  jobject props = get ? f->CallStaticObjectMethod(env, system, get) : nullptr;
  if (props == nullptr) return false;
  jclass cls = f->GetObjectClass(env, props);
  jmethodID put = f->GetMethodID(env, cls, "put", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;");
  if (put == nullptr) return false;
  for (const auto& p : properties) {
    jstring name = NewJavaString(env, p.first);
    jstring value = NewJavaString(env, p.second);
    if (name == nullptr || value == nullptr) return false;
    jobject old = f->CallObjectMethod(env, props, put, name, value);
    if (f->ExceptionOccurred(env) != nullptr) return false;
    if (old != nullptr) f->DeleteLocalRef(env, old);
    f->DeleteLocalRef(env, name);
    f->DeleteLocalRef(env, value);
  }
  return true;
}

/* The main thread as java names it: "main", normal priority (children inherit it). */
void NameMainThread(JNIEnv* env) {
  JNINativeInterface_ const* f = env->functions;
  jclass thread = f->FindClass(env, "java/lang/Thread");
  jmethodID current = thread ? f->GetStaticMethodID(env, thread, "currentThread", "()Ljava/lang/Thread;") : nullptr;
  jobject self = current ? f->CallStaticObjectMethod(env, thread, current) : nullptr;
  jmethodID setName = self ? f->GetMethodID(env, thread, "setName", "(Ljava/lang/String;)V") : nullptr;
  jmethodID setPriority = self ? f->GetMethodID(env, thread, "setPriority", "(I)V") : nullptr;
  jstring name = setName ? NewJavaString(env, "main") : nullptr;
  if (name != nullptr) f->CallVoidMethod(env, self, setName, name);
  if (setPriority != nullptr && f->ExceptionOccurred(env) == nullptr) f->CallVoidMethod(env, self, setPriority, 5);
  f->ExceptionClear(env);
}

/* The library and the machine agree on FileDescriptor's coding: FileDescriptor.out is
   handle 1, held as 2 under the 1.1 coding. */
bool LibraryMatches(JNIEnv* env) {
  JNINativeInterface_ const* f = env->functions;
  jclass fd = f->FindClass(env, "java/io/FileDescriptor");
  jfieldID outId = fd ? f->GetStaticFieldID(env, fd, "out", "Ljava/io/FileDescriptor;") : nullptr;
  jfieldID fdId = fd ? f->GetFieldID(env, fd, "fd", "I") : nullptr;
  jobject out = outId ? f->GetStaticObjectField(env, fd, outId) : nullptr;
  bool matches = out != nullptr && fdId != nullptr && f->GetIntField(env, out, fdId) == 2;
  f->ExceptionClear(env);
  return matches;
}

/* The machine, loaded from beside this program by its path: a name alone would send the
   loader probing a dozen directories first, at several microseconds a call. */
struct Machine {
  void(HOSTCALL* defaultArgs)(JNICreateArgs*);
  jint(HOSTCALL* create)(JavaVM**, JNIEnv**, JNICreateArgs*);
};

bool LoadMachine(const std::string& directory, Machine* m, std::string* error) {
  std::string path = directory + "/libpuxjvm.so";
  // Global: the host finds the machine's entry-point block among the process's symbols.
  void* lib = dlopen(path.c_str(), RTLD_LAZY | RTLD_GLOBAL);
  if (lib == nullptr) {
    const char* why = dlerror();
    *error = "cannot load the machine " + path + (why != nullptr ? std::string(": ") + why : std::string());
    return false;
  }
  m->defaultArgs = reinterpret_cast<decltype(m->defaultArgs)>(dlsym(lib, "JNI_GetDefaultJavaVMInitArgs"));
  m->create = reinterpret_cast<decltype(m->create)>(dlsym(lib, "JNI_CreateJavaVM"));
  if (m->defaultArgs == nullptr || m->create == nullptr) {
    *error = "the machine " + path + " lacks its invocation entries";
    return false;
  }
  return true;
}

int Run(const Options& o) {
  std::string directory = ProgramDirectory();
  Machine machine;
  std::string error;
  if (!LoadMachine(directory, &machine, &error)) return Fail(error);
  std::string library = directory + "/classlib.zip";
  if (access(library.c_str(), R_OK) != 0) return Fail("cannot read the class library " + library);
  refhost::MapArchive(library);
  refhost::SetClassPath(nullptr, library + ":" + o.classPath);
  if (o.heapBytes != 0) refhost::SetCapacityOfNewHeaps(kMachineHeapKind, o.heapBytes);
  if (o.noFiles) refhost::SetFileAccess(false);
  /* System.exit ends this process with its status. */
  refhost::SetFatalExitReturns(false);
  /* Filling new blocks and poisoning freed ones finds faults in tests; a program run
     does not pay for them. */
  refhost::SetBlockPatterns(false, false);

  JNICreateArgs args;
  machine.defaultArgs(&args);
  args.host = refhost::Functions();
  args.name = "main";
  args.runVerifier = o.verify ? 1 : 0;
  args.jdkVersion = kLibraryVersion;
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  if (machine.create(&vm, &env, &args) != 0 || env == nullptr) return Fail("could not create the Java virtual machine");
  JNINativeInterface_ const* f = env->functions;
  if (!LibraryMatches(env)) return Fail("the class library does not use the file-descriptor coding of library version 1");
  if (!SetProperties(env, o)) {
    f->ExceptionClear(env);
    return Fail("could not set the system properties");
  }
  NameMainThread(env);

  std::string slashed = o.mainClass;
  for (char& c : slashed)
    if (c == '.') c = '/';
  int status = 0;
  jclass cls = f->FindClass(env, slashed.c_str());
  if (cls == nullptr) {
    jthrowable pending = f->ExceptionOccurred(env);
    if (pending == nullptr || PendingIs(env, pending, "java/lang/NoClassDefFoundError") ||
        PendingIs(env, pending, "java/lang/ClassNotFoundException")) {
      f->ExceptionClear(env);
      /* A class the main class needs (its superclass, or one the verifier loads) may be
         the missing one: that one is named, as the cause. */
      std::string missing = pending != nullptr ? CallString(env, pending, "getMessage") : std::string();
      std::string dotted = missing;
      for (char& c : dotted)
        if (c == '/') c = '.';
      if (!missing.empty() && dotted != o.mainClass) {
        fprintf(stderr, "Error: Unable to initialize main class %s\nCaused by: %s\n", o.mainClass.c_str(),
                CallString(env, pending, "toString").c_str());
        return 1;
      }
      fprintf(stderr, "Error: Could not find or load main class %s (java.lang.NoClassDefFoundError: %s)\n",
              o.mainClass.c_str(), slashed.c_str());
      return 1;
    }
    /* The class was there, but its static initialiser failed: that escapes from main. */
    f->ExceptionClear(env);
    ReportUncaught(env, pending);
    status = 1;
  } else {
    jmethodID main = f->GetStaticMethodID(env, cls, "main", "([Ljava/lang/String;)V");
    if (main == nullptr) {
      f->ExceptionClear(env);
      fprintf(stderr,
              "Error: Main method not found in class %s, please define the main method as: "
              "public static void main(String[] args)\n",
              o.mainClass.c_str());
      return 1;
    }
    jclass string = f->FindClass(env, "java/lang/String");
    jobjectArray argv = string ? f->NewObjectArray(env, (jsize)o.arguments.size(), string, nullptr) : nullptr;
    for (size_t i = 0; argv != nullptr && i < o.arguments.size(); i++) {
      jstring arg = NewJavaString(env, o.arguments[i]);
      if (arg == nullptr) {
        argv = nullptr;
        break;
      }
      f->SetObjectArrayElement(env, argv, (jsize)i, arg);
      f->DeleteLocalRef(env, arg);
    }
    if (argv == nullptr) {
      f->ExceptionClear(env);
      return Fail("could not pass the arguments to main");
    }
    f->CallStaticVoidMethod(env, cls, main, argv);
    jthrowable thrown = f->ExceptionOccurred(env);
    if (thrown != nullptr) {
      f->ExceptionClear(env);
      ReportUncaught(env, thrown);
      status = 1;
    }
  }
  /* Waits for the threads that are not daemons; daemon threads are stopped. */
  vm->functions->DestroyJavaVM(vm);
  fflush(stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  /* Standard output may be a pipe whose reader has gone (`puxjava X | head -1`): the
     program learns of it from a failed write, as java's does, rather than being killed. */
  signal(SIGPIPE, SIG_IGN);
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) return Fail(error);
  return Run(options);
}
