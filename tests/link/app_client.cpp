// A client process of the application-server tests: remote call mode, server dictionaries, no database.
//   app_client --server ADDR [--ca FILE] [--token T] [--tls-name N] [--insecure] [--home DIR] [--retry-ms N]
// It talks over standard input and output; its answers start with "@ " (Notify_Child reads them):
//   "call NAME [key=value ...]"  -> "@ <code> <out>": the call's code and its "out" (or its error text)
//   "dict ID"                    -> "@ <rows> stale=<0|1> <code>=<name>,...": Get_Dict as a grid asks
//   "wait ID CODE NAME"          -> "@ ok" once Get_Dict shows CODE named NAME ("-": CODE gone) and not
//                                   stale; "@ timeout" after 30 s
//   "watch"                      -> "@ <1|0>": follows the server's notices (Dict_Notify()->Start)
//   anything else, or the end of input, ends it.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "core/data/para.h"
#include "dict/dict_mgr.h"
#include "dict/dict_notify.h"
#include "dict/dict_serv.h"
#include "frame/log_mgr.h"
#include "link/r_call.h"

namespace {

std::string Str(TParaMgr& p, const char16_t* name) {
  char buf[4096] = {0};
  return p.Get_Str(name, buf, sizeof buf) ? buf : "";
}

std::string Show(TDict* d) {
  std::string out = std::to_string(d->Get_Row_Count()) + " stale=" + std::to_string(d->Is_Stale()) + " ";
  auto g = d->Lock();
  for (int r = 0; r < d->Get_Row_Count(); ++r) {
    if (r) out += ",";
    out += Zem_W_To_Utf8(d->Get_Row_Value(r, 0)) + "=" + Zem_W_To_Utf8(d->Get_Row_Value(r, 1));
  }
  return out;
}

bool Shows(const std::string& id, const std::string& code, const std::string& name) {
  TDict* d = Dict_Client_List()->Get_Dict(id.c_str(), 1);
  if (!d || d->Is_Stale()) return false;
  std::u16string held;
  const int found = d->Get_Name(map_wchar(Zem_Utf8_To_W(code).c_str()), &held);
  return name == "-" ? !found : found && Zem_W_To_Utf8(held.c_str()) == name;
}

void Answer(const std::string& text) {
  std::printf("@ %s\n", text.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // The transport and registry libraries lie beside the program.
  setenv("TARVOK_DLL_PATH", std::filesystem::read_symlink("/proc/self/exe").parent_path().c_str(), 0);
  Log_Mgr()->Set_File("/dev/stderr");  // stdout carries the answers
  Link_Register();
  Dict_Serv_Register();
  *R_Call_Local_Mode() = 0;
  Dict_Client_List()->Set_Dict_Kind(TDict_Client_List::DICT_KIND_NET);
  Pub_Para_Put_Int(u"dict_poll_interval_ms", 0);  // notices only
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--insecure") {
      Pub_Para_Put_Int(u"app_server_insecure", 1);
      continue;
    }
    if (i + 1 >= argc) return 2;
    const std::u16string v = Zem_Utf8_To_W(argv[++i]);
    if (a == "--server") Pub_Para_Put_WStr(u"app_server", v.c_str());
    else if (a == "--ca") Pub_Para_Put_WStr(u"app_server_ca", v.c_str());
    else if (a == "--token") Pub_Para_Put_WStr(u"app_server_token", v.c_str());
    else if (a == "--tls-name") Pub_Para_Put_WStr(u"app_server_tls_name", v.c_str());
    else if (a == "--home") Pub_Para_Put_WStr(u"app_home_path", v.c_str());
    else if (a == "--retry-ms") Pub_Para_Put_Int(u"dict_load_retry_ms", std::atoi(argv[i]));
    else return 2;
  }
  char line[4096];
  while (std::fgets(line, sizeof line, stdin)) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    if (cmd == "call") {
      std::string name, kv;
      in >> name;
      TParaMgr p;
      while (in >> kv) {
        const size_t eq = kv.find('=');
        if (eq != std::string::npos) p.Put_Str(Zem_Utf8_To_W(kv.substr(0, eq)).c_str(), kv.substr(eq + 1).c_str());
      }
      const int rc = R_Call(name.c_str(), &p);
      Answer(std::to_string(rc) + " " + (rc ? Str(p, u"_r_em_") : Str(p, u"out")));
    } else if (cmd == "dict") {
      std::string id;
      in >> id;
      TDict* d = Dict_Client_List()->Get_Dict(id.c_str(), 1);
      Answer(d ? Show(d) : "none");
    } else if (cmd == "wait") {
      std::string id, code, name;
      in >> id >> code >> name;
      bool seen = false;
      for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
           !(seen = Shows(id, code, name)) && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      Answer(seen ? "ok" : "timeout");
    } else if (cmd == "watch") {
      Answer(std::to_string(Dict_Notify()->Start()));
    } else {
      break;
    }
  }
  Dict_Notify()->Stop();
  return 0;
}
