// zem_host_cli: a minimal host. It loads libzem_pack.so from its own folder, brings the framework up,
// prints the versions and which registry names are present, then registers a host function the way
// a host application does and shows that the package finds it.
//
// Usage: zem_host_cli            (TARVOK_DLL_PATH defaults to the program's folder)
// Exit code 0 when everything worked, 1 otherwise.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/host_funcs.h"
#include "frame/startup/zem_names.h"

namespace {

typedef int (*Int_Fn)();
typedef const char* (*Text_Fn)();
typedef const char* (*Name_Fn)(int);
typedef int (*Set_Fn)(const char*, void*);
typedef void* (*Get_Fn)(const char*);

std::string Own_Dir() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string s(path, static_cast<size_t>(n));
  size_t slash = s.rfind('/');
  return slash == std::string::npos ? "." : s.substr(0, slash);
}

template <class Fn>
Fn Need(void* lib, const char* name, bool* ok) {
  Fn fn = reinterpret_cast<Fn>(dlsym(lib, name));
  if (!fn) {
    std::fprintf(stderr, "zem_host_cli: libzem_pack.so lacks %s\n", name);
    *ok = false;
  }
  return fn;
}

// The host's input box, as a host would register it; this one answers without asking.
int Cli_Inp_Str_W(const char16_t* /*prompt*/, char16_t* buffer, int max_len,
                  const char16_t* /*title*/) {
  static const char16_t answer[] = u"zem";
  const int len = static_cast<int>(sizeof answer / sizeof answer[0]) - 1;
  if (!buffer || max_len < len) return 0;
  std::memcpy(buffer, answer, sizeof answer);
  return 1;
}

std::string Narrow(const char16_t* s) {
  std::string out;  // the answer is ASCII
  for (; *s; s++) out += static_cast<char>(*s < 0x80 ? *s : '?');
  return out;
}

}  // namespace

int main() {
  const std::string dir = Own_Dir();
  // The package finds the registry library through this variable; beside the program by default.
  setenv("TARVOK_DLL_PATH", dir.c_str(), 0);
  std::printf("TARVOK_DLL_PATH=%s\n", std::getenv("TARVOK_DLL_PATH"));

  const std::string pack_file = dir + "/libzem_pack.so";
  void* pack = dlopen(pack_file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!pack) {
    std::fprintf(stderr, "zem_host_cli: cannot load %s: %s\n", pack_file.c_str(), dlerror());
    return 1;
  }
  bool ok = true;
  auto init_tfa = Need<Int_Fn>(pack, "Init_Tfa", &ok);
  auto dll_ver = Need<Text_Fn>(pack, "F_Dll_Ver", &ok);
  auto std_ver = Need<Text_Fn>(pack, "F_Std_Ver", &ok);
  auto mid_ver = Need<Text_Fn>(pack, "F_Mid_Ver", &ok);
  auto pack_set = Need<Set_Fn>(pack, "App_Set_Pub_Ptr", &ok);
  auto shared_get = Need<Get_Fn>(pack, "Zem_Get_Shared_Ptr", &ok);
  auto created_name = Need<Name_Fn>(pack, "Zem_Startup_Created_Name", &ok);
  if (!ok) return 1;

  std::printf("Init_Tfa: %d\n", init_tfa());
  std::printf("F_Dll_Ver: %s\nF_Std_Ver: %s\nF_Mid_Ver: %s\n", dll_ver(), std_ver(), mid_ver());

  auto created_by_pack = [&](const char* name) {
    for (int i = 0; created_name(i); i++)
      if (std::strcmp(created_name(i), name) == 0) return true;
    return false;
  };
  int found = 0;
  std::printf("registry names:\n");
  for (const char* name : kZem_Startup_Names) {
    void* p = shared_get(name);
    found += p != nullptr;
    std::printf("  %-24s %s\n", name, !p ? "absent" : created_by_pack(name) ? "created" : "found");
  }
  for (const char* name : kZem_Other_Singleton_Names) {
    void* p = shared_get(name);
    std::printf("  %-24s %s\n", name, !p ? "absent" : created_by_pack(name) ? "created" : "found");
  }
  std::printf("start-up names present: %d of %d\n", found, kZem_Startup_Name_Count);
  if (found != kZem_Startup_Name_Count) ok = false;

  // Register the host function where the package looks: the process-wide registry library when it
  // loads from the same folder, else the package's own table.
  const std::string kdm_file = std::string(std::getenv("TARVOK_DLL_PATH")) + "/kdm_pub_ptr.so";
  Set_Fn host_set = pack_set;
  const char* where = "libzem_pack.so";
  if (void* kdm = dlopen(kdm_file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (auto kdm_set = reinterpret_cast<Set_Fn>(dlsym(kdm, "App_Set_Pub_Ptr"))) {
      host_set = kdm_set;
      where = "kdm_pub_ptr.so";
    }
  }
  Gui_Inp_Str_W_Fn inp = Cli_Inp_Str_W;
  int reg = host_set(kGui_Inp_Str_W, reinterpret_cast<void*>(inp));
  std::printf("registered %s through %s: %d\n", kGui_Inp_Str_W, where, reg);

  auto seen = reinterpret_cast<Gui_Inp_Str_W_Fn>(shared_get(kGui_Inp_Str_W));
  if (seen != inp) {
    std::printf("the package does not find %s\n", kGui_Inp_Str_W);
    return 1;
  }
  char16_t buffer[61] = u"";
  int answer = seen(u"查找内容", buffer, 60, nullptr);
  std::printf("the package finds %s; calling it gives %d \"%s\"\n", kGui_Inp_Str_W, answer,
              Narrow(buffer).c_str());
  return ok && answer == 1 ? 0 : 1;
}
