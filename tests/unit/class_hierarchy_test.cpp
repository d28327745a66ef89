/* A small hierarchy compiled by ecj from tests/java/classmodel, loaded through the
   reference host's class path: look-up of fields and methods by name and signature and
   the assignment rule over loaded classes, interfaces and superinterfaces. */
#include "class_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "refhost.h"
#include "vmliteral.h"

namespace class_test {
namespace {

/* The classes are compiled once per test process into a directory of its own (test
   cases may run as parallel processes), removed when the process ends; with debug
   information they also carry line-number and local-variable tables. */
std::string compiledDirs[2];

void RemoveCompiledClasses() {
  for (const std::string& dir : compiledDirs) {
    if (!dir.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    }
  }
}

std::string CompiledClasses(bool debug = false) {
  std::string& dir = compiledDirs[debug ? 1 : 0];
  if (!dir.empty()) return dir;
  std::string out = std::string(PUX_BUILD_DIR) + "/tmp/classmodel-" + std::to_string(getpid()) +
                    (debug ? "-g" : "");
  std::string cmd = "rm -rf '" + out + "' && mkdir -p '" + out +
                    "' && ecj -source 1.3 -target 1.1 -nowarn " + (debug ? "-g " : "-g:none ") +
                    "-bootclasspath '" + PUX_BUILD_DIR + "/classlib.zip' -d '" + out + "' '" +
                    PUX_SOURCE_DIR + "/tests/java/classmodel/cm/'*.java";
  if (system(cmd.c_str()) != 0) return "";
  if (compiledDirs[0].empty() && compiledDirs[1].empty()) atexit(RemoveCompiledClasses);
  dir = out;
  return dir;
}

class HierarchyTest : public ClassTest {
 protected:
  void SetUp() override {
    ClassTest::SetUp();
    std::string classes = CompiledClasses();
    ASSERT_FALSE(classes.empty()) << "ecj could not compile the test classes";
    refhost::SetClassPath(nullptr, classes + ":" + PUX_BUILD_DIR + "/classlib.zip");
    // Interface lists are arrays of java/lang/Class.
    VMClass* classArray = Find("[Ljava/lang/Class;");
    ASSERT_NE(nullptr, classArray);
    ns->GetArrayClassList()->SetReference(VMArrayClassList::VMClassArrayClassWord, classArray);
    // java/lang/Object as the library has it, then the classes under test.
    objectClass->ClearIsLoaded();
    ASSERT_EQ(0, objectClass->Load());
  }
  void TearDown() override {
    refhost::SetClassPath(nullptr, "");
    ClassTest::TearDown();
  }
  VMLoadableClass* Loaded(const char* name) {
    VMClass* cls = Find(name);
    EXPECT_NE(nullptr, cls) << name;
    if (cls == nullptr || !cls->GetIsLoadable()) return nullptr;
    VMLoadableClass* loadable = (VMLoadableClass*)cls;
    EXPECT_EQ(0, loadable->Load()) << name;
    return loadable;
  }
  VMDataMember* FieldOf(VMLoadableClass* cls, const char* name, const char* sig, bool supers) {
    return cls->FindField(Lit(name), Lit(sig), supers, host->GetCurrentEnv());
  }
  VMMethod* MethodOf(VMLoadableClass* cls, const char* name, const char* sig, bool supers) {
    return cls->FindMethod(Lit(name), Lit(sig), supers);
  }
};

TEST_F(HierarchyTest, ClassesLoadWithTheirSupertypes) {
  VMLoadableClass* square = Loaded("cm/Square");
  ASSERT_NE(nullptr, square);
  EXPECT_TRUE(square->GetIsLoaded());
  EXPECT_EQ(Find("cm/Base"), square->GetSuper());
  EXPECT_TRUE(square->GetIsPublic());
  EXPECT_FALSE(square->GetIsInterface());
  VMLoadableClass* polygon = Loaded("cm/Polygon");
  ASSERT_NE(nullptr, polygon);
  EXPECT_TRUE(polygon->GetIsInterface());
  EXPECT_EQ(0x1 | 0x200 | 0x400, polygon->GetFlags());
  EXPECT_EQ(Lit("cm"), square->GetPackage());
}

TEST_F(HierarchyTest, FieldsByNameAndSignature) {
  VMLoadableClass* square = Loaded("cm/Square");
  VMLoadableClass* base = Loaded("cm/Base");
  ASSERT_NE(nullptr, square);
  ASSERT_NE(nullptr, base);
  Loaded("cm/Polygon");
  Loaded("cm/Shape");
  Loaded("cm/Named");

  VMDataMember* id = FieldOf(square, "id", "I", true);
  ASSERT_NE(nullptr, id);
  EXPECT_EQ(square, id->GetDefinedIn());  // shadows Base.id
  VMDataMember* baseId = FieldOf(base, "id", "I", true);
  ASSERT_NE(nullptr, baseId);
  EXPECT_EQ(base, baseId->GetDefinedIn());
  EXPECT_NE(id, baseId);

  VMDataMember* stamp = FieldOf(square, "stamp", "J", true);
  ASSERT_NE(nullptr, stamp);
  EXPECT_TRUE(stamp->GetIsProtected());
  EXPECT_EQ(nullptr, FieldOf(square, "stamp", "J", false));
  EXPECT_EQ(nullptr, FieldOf(square, "stamp", "I", true));

  VMDataMember* sides = FieldOf(square, "SIDES", "I", true);
  ASSERT_NE(nullptr, sides);
  EXPECT_EQ(square, sides->GetDefinedIn());
  EXPECT_TRUE(sides->GetIsStatic());
  EXPECT_TRUE(sides->GetIsFinal());
  // Constants of interfaces, directly and through a superinterface.
  VMDataMember* corners = FieldOf(square, "CORNERS", "I", true);
  ASSERT_NE(nullptr, corners);
  EXPECT_EQ(Find("cm/Polygon"), corners->GetDefinedIn());
  VMDataMember* named = FieldOf(square, "NAME", "Ljava/lang/String;", true);
  ASSERT_NE(nullptr, named);
  EXPECT_EQ(Find("cm/Named"), named->GetDefinedIn());

  EXPECT_EQ(id, square->FindPublicField(Lit("id"), host->GetCurrentEnv()));
  EXPECT_EQ(nullptr, square->FindPublicField(Lit("side"), host->GetCurrentEnv()));
  EXPECT_EQ(named, base->FindPublicField(Lit("NAME"), host->GetCurrentEnv()));
}

TEST_F(HierarchyTest, MethodsByNameAndSignature) {
  VMLoadableClass* square = Loaded("cm/Square");
  VMLoadableClass* base = Loaded("cm/Base");
  ASSERT_NE(nullptr, square);
  ASSERT_NE(nullptr, base);
  VMMethod* size = MethodOf(square, "size", "()I", true);
  ASSERT_NE(nullptr, size);
  EXPECT_EQ(square, size->GetDefinedIn());
  VMMethod* scaled = MethodOf(square, "size", "(I)I", true);
  ASSERT_NE(nullptr, scaled);
  EXPECT_EQ(base, scaled->GetDefinedIn());
  EXPECT_EQ(nullptr, MethodOf(square, "size", "(I)I", false));
  EXPECT_TRUE(MethodOf(base, "size", "()I", false)->GetIsAbstract());
  VMMethod* tile = MethodOf(square, "tile", "(I)[Lcm/Square;", false);
  ASSERT_NE(nullptr, tile);
  EXPECT_EQ(Find("[Lcm/Square;"), tile->GetReturnClass());
  EXPECT_EQ(2u, tile->GetParameterWords());
  EXPECT_EQ(nullptr, MethodOf(square, "name", "()Ljava/lang/String;", false));
  EXPECT_NE(nullptr, MethodOf(square, "name", "()Ljava/lang/String;", true));
  EXPECT_NE(nullptr, MethodOf(square, "hashCode", "()I", true));  // java/lang/Object's

  VMLoadableClass* util = Loaded("cm/Util");
  ASSERT_NE(nullptr, util);
  VMMethod* store = MethodOf(util, "store", "(JDLjava/lang/Object;)V", false);
  ASSERT_NE(nullptr, store);
  EXPECT_TRUE(store->GetIsNative());
  EXPECT_TRUE(store->GetIsStatic());
  EXPECT_EQ(5u, store->GetParameterWords());
  EXPECT_EQ(0x10u, store->GetObjectBits());
  VMMethod* describe = MethodOf(util, "describe", "(Lcm/Shape;)Ljava/lang/String;", false);
  ASSERT_NE(nullptr, describe);
  EXPECT_TRUE(describe->GetIsSynchronized());
  EXPECT_TRUE(describe->GetIsDefault());
  EXPECT_EQ(Lit("Util"), MethodOf(util, "<init>", "()V", false)->GetQualifiedName());
}

TEST_F(HierarchyTest, AssignabilityOverLoadedInterfaces) {
  VMLoadableClass* square = Loaded("cm/Square");
  ASSERT_NE(nullptr, square);
  const char* loaded[] = {"cm/Base", "cm/Polygon", "cm/Shape", "cm/Named", "cm/Util"};
  for (const char* name : loaded) ASSERT_NE(nullptr, Loaded(name));
  struct {
    const char* from;
    const char* to;
    bool expected;
  } cases[] = {
      {"cm/Square", "cm/Base", true},       {"cm/Square", "cm/Polygon", true},
      {"cm/Square", "cm/Shape", true},      {"cm/Square", "cm/Named", true},
      {"cm/Base", "cm/Named", true},        {"cm/Base", "cm/Shape", false},
      {"cm/Polygon", "cm/Shape", true},     {"cm/Polygon", "cm/Named", true},
      {"cm/Shape", "cm/Polygon", false},    {"cm/Util", "cm/Shape", false},
      {"cm/Polygon", "java/lang/Object", true},
      {"[Lcm/Square;", "[Lcm/Shape;", true}, {"[Lcm/Polygon;", "[Lcm/Named;", true},
      {"[Lcm/Base;", "[Lcm/Polygon;", false}, {"[[Lcm/Square;", "[[Lcm/Named;", true},
      {"[[Lcm/Square;", "[Ljava/lang/Object;", true},
      {"[Lcm/Shape;", "java/io/Serializable", true}, {"[Lcm/Shape;", "cm/Shape", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, VMClass::AssignableFrom(Find(c.from), Find(c.to))) << c.from << " -> " << c.to;
  }
}

TEST_F(HierarchyTest, LoadingAllReferencesLoadsWhatThePoolNames) {
  VMLoadableClass* util = Loaded("cm/Util");
  ASSERT_NE(nullptr, util);
  // Named is a Class entry of Util's pool (the instanceof and the cast in describe);
  // Shape only appears in a descriptor.
  VMLoadableClass* named = (VMLoadableClass*)Find("cm/Named");
  VMLoadableClass* shape = (VMLoadableClass*)Find("cm/Shape");
  EXPECT_FALSE(named->GetIsLoaded());
  util->LoadAllReferences();
  EXPECT_TRUE(util->GetAllReferencesLoaded());
  EXPECT_TRUE(named->GetIsLoaded());
  EXPECT_TRUE(named->GetIsPrepared());
  EXPECT_TRUE(named->GetAllReferencesLoaded());  // and its own references in turn
  EXPECT_FALSE(shape->GetIsLoaded());
}

TEST_F(HierarchyTest, DebugTablesAreReadOnFirstDemand) {
  refhost::SetClassPath(nullptr, CompiledClasses(true) + ":" + PUX_BUILD_DIR + "/classlib.zip");
  VMLoadableClass* util = Loaded("cm/Util");
  ASSERT_NE(nullptr, util);
  VMMethod* twice = MethodOf(util, "twice", "(I)I", false);
  ASSERT_NE(nullptr, twice);
  VMStatus status = -1;
  VMshortArray* lines = twice->GetLineNumbers(&status);
  EXPECT_EQ(0, status);
  ASSERT_NE(nullptr, lines);
  EXPECT_GT(lines->GetSize(), 0u);
  EXPECT_TRUE(util->GetHaveDebugInfo());
  VMLocalDataMemberArray* locals = twice->GetLocalVariables(&status);
  EXPECT_EQ(0, status);
  ASSERT_NE(nullptr, locals);
  bool sawX = false;
  for (uint32_t i = 0; i < locals->GetSize(); i++) {
    VMLocalDataMember* local = locals->Get(i);
    if (local != nullptr && local->GetName() == Lit("x")) {
      sawX = true;
      EXPECT_EQ(Lit("I"), local->GetSignature());
      EXPECT_EQ(0, local->GetIndex());
      EXPECT_TRUE(local->GetIsLocal());
    }
  }
  EXPECT_TRUE(sawX);
}

TEST_F(HierarchyTest, EveryLibraryClassPreparesAndFindsItsOwnMembers) {
  std::vector<std::string> names;
  std::string root = std::string(PUX_BUILD_DIR) + "/classlib/classes/";
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    std::string path = entry.path().string();
    if (path.size() < 6 || path.compare(path.size() - 6, 6, ".class") != 0) continue;
    names.push_back(path.substr(root.size(), path.size() - root.size() - 6));
  }
  ASSERT_GT(names.size(), 100u);
  JNIEnv* env = host->GetCurrentEnv();
  for (const std::string& name : names) {
    VMClass* cls = Find(name.c_str());
    ASSERT_NE(nullptr, cls) << name;
    ASSERT_TRUE(cls->GetIsLoadable()) << name;
    VMLoadableClass* loadable = (VMLoadableClass*)cls;
    ASSERT_EQ(0, loadable->Prepare(nullptr)) << name;
    EXPECT_TRUE(VMClass::AssignableFrom(cls, objectClass)) << name;
    if (VMMethodArray* methods = loadable->GetMethods()) {
      for (uint32_t i = 0; i < methods->GetSize(); i++) {
        VMMethod* m = methods->Get(i);
        EXPECT_EQ(m, loadable->FindMethod(m->GetName(), m->GetSignature(), false)) << name;
      }
    }
    if (VMDataMemberArray* fields = loadable->GetDataMembers()) {
      for (uint32_t i = 0; i < fields->GetSize(); i++) {
        VMDataMember* f = fields->Get(i);
        EXPECT_EQ(f, loadable->FindField(f->GetName(), f->GetSignature(), false, env)) << name;
        if (!f->GetIsStatic()) {
          EXPECT_LT((uint32_t)f->GetIndex(), loadable->GetCreateSize()) << name;
          EXPECT_EQ(!f->GetClass()->GetIsPrimitive(), loadable->GetCreateBits()->Get((uint32_t)f->GetIndex()))
              << name << "." << (f->GetName() != nullptr);
        }
      }
    }
  }
}

}  // namespace
}  // namespace class_test
