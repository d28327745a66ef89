#include "verifier_support.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "vmbasicblock_verify.h"
#include "vmclass.h"
#include "vmliteral.h"
#include "vmnamespace.h"

namespace verifier_test {

namespace {

std::vector<std::string>& Scratch() {
  static std::vector<std::string> dirs;
  return dirs;
}

void RemoveScratch() {
  for (const std::string& d : Scratch()) (void)system(("rm -rf '" + d + "'").c_str());
}

void ListTree(const std::string& root, const std::string& prefix, std::vector<std::string>* out) {
  DIR* d = opendir((root + "/" + prefix).c_str());
  if (d == nullptr) return;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string rel = prefix.empty() ? name : prefix + "/" + name;
    struct stat st;
    if (stat((root + "/" + rel).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode))
      ListTree(root, rel, out);
    else if (rel.size() > 6 && rel.compare(rel.size() - 6, 6, ".class") == 0)
      out->push_back(rel.substr(0, rel.size() - 6));
  }
  closedir(d);
}

}  // namespace

std::string ScratchDir(const std::string& tag) {
  static int counter = 0;
  std::string dir = std::string(PUX_BUILD_DIR) + "/tmp/verifier-" + tag + "-" + std::to_string(getpid()) + "-" +
                    std::to_string(++counter);
  (void)system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
  if (Scratch().empty()) atexit(RemoveScratch);
  Scratch().push_back(dir);
  return dir;
}

std::string Assemble(const std::string& dir, const std::vector<std::pair<std::string, std::string>>& sources) {
  std::string files;
  for (const auto& [name, source] : sources) {
    std::string file = dir + "/" + name + ".j";
    std::ofstream(file) << source;
    files += " '" + file + "'";
  }
  std::string log = dir + "/jasmin.log";
  if (system(("jasmin -d '" + dir + "'" + files + " >'" + log + "' 2>&1").c_str()) != 0) {
    std::ifstream in(log);
    return "jasmin failed: " + std::string(std::istreambuf_iterator<char>(in), {});
  }
  for (const auto& [name, source] : sources) {
    std::fstream out(dir + "/" + name + ".class", std::ios::in | std::ios::out | std::ios::binary);
    const char version[4] = {0, 3, 0, 45};
    out.seekp(4);
    out.write(version, 4);
    if (!out) return "no class file for " + name;
  }
  return "";
}

std::string CompileSuite(const std::string& folder) {
  static std::map<std::string, std::string> done;
  auto it = done.find(folder);
  if (it != done.end()) return it->second;
  std::string out = ScratchDir("ecj-" + folder);
  std::string cmd = "ecj -source 1.3 -target 1.1 -nowarn -g:none -bootclasspath '" + std::string(PUX_BUILD_DIR) +
                    "/classlib.zip' -d '" + out + "' $(find '" + PUX_SOURCE_DIR + "/tests/java/" + folder +
                    "' -name '*.java') >/dev/null 2>&1";
  std::string result = system(cmd.c_str()) == 0 ? out : "";
  done[folder] = result;
  return result;
}

std::vector<std::string> ClassesIn(const std::string& path) {
  std::vector<std::string> names;
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".zip") == 0) {
    std::string cmd = "python3 -c \"import zipfile,sys; [print(n[:-6]) for n in zipfile.ZipFile(sys.argv[1]).namelist() "
                      "if n.endswith('.class')]\" '" + path + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return names;
    char line[1024];
    while (fgets(line, sizeof line, p) != nullptr) {
      std::string s(line);
      while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
      names.push_back(s);
    }
    pclose(p);
    return names;
  }
  ListTree(path, "", &names);
  return names;
}

bool WriteClass(const std::string& dir, const std::string& name, const Bytes& bytes) {
  std::string file = dir + "/" + name + ".class";
  std::string parent = file.substr(0, file.rfind('/'));
  (void)system(("mkdir -p '" + parent + "'").c_str());
  return classfile_test::WriteFileBytes(file, bytes);
}

bool Machine::Create(const std::string& classDir, bool verify) {
  if (!world.Create(classDir)) return false;
  if (verify)
    world.ns->SetRunVerifier();
  else
    world.ns->ClearRunVerifier();
  return true;
}

void Machine::Destroy() { world.Destroy(); }

VMStatus Machine::Prepare(const std::string& name) {
  VMLoadableClass* cls = world.Class(name.c_str());
  if (cls == nullptr) return -1;
  return cls->Prepare(nullptr);
}

bool Judge::Create() { return world.Create(std::string(PUX_BUILD_DIR) + "/classlib.zip"); }

void Judge::Destroy() {
  for (VMLoadableClass* c : loose) world.DropLoose(c);
  loose.clear();
  world.Destroy();
}

std::string Judge::Stage(VMMethod* m) {
  if (VMStatus s = VMBasicBlock::BuildBlocks(m)) return s == VMStatus_VerifyError ? "flow" : "flow " + std::to_string(s);
  if (VMStatus s = verify::CheckKinds(m)) return s == VMStatus_VerifyError ? "kinds" : "kinds " + std::to_string(s);
  if (VMStatus s = verify::CheckTypes(m)) return s == VMStatus_VerifyError ? "types" : "types " + std::to_string(s);
  return "ok";
}

std::string Judge::Verdict(const MethodSpec& spec, classfile_test::ClassBuilder* given, VMMethod** method) {
  classfile_test::ClassBuilder local;
  classfile_test::ClassBuilder& b = given != nullptr ? *given : local;
  std::string name = "vt/J" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  b.thisClass = b.Class(name);
  b.superClass = b.Class("java/lang/Object");
  b.AddMethod(spec.access, spec.name, spec.descriptor,
              {classfile_test::Attribute{b.Utf8("Code"), b.Code(spec.maxStack, spec.maxLocals, spec.code, spec.handlers)}});
  Bytes bytes = b.Build();
  VMLoadableClass* shell = world.LooseShell(name.c_str());
  if (shell == nullptr) return "no shell";
  loose.push_back(shell);
  VMStatus s = world.loader->Load(shell, bytes.data(), (uint32_t)bytes.size());
  if (s != 0) return "load " + std::to_string(s);
  VMMethod* m = shell->FindMethod(world.Lit(spec.name.c_str()), world.Lit(spec.descriptor.c_str()), false);
  if (m == nullptr) return "no method";
  if (method != nullptr) *method = m;
  return Stage(m);
}

std::string Judge::Verdict(const Bytes& code, uint16_t stack, uint16_t locals, const char* descriptor) {
  MethodSpec spec;
  spec.code = code;
  spec.maxStack = stack;
  spec.maxLocals = locals;
  spec.descriptor = descriptor;
  return Verdict(spec);
}

}  // namespace verifier_test
