// The three process-wide packs and their by-name helpers. The packs are shared by every module
// through the registry; each helper holds the pack's lock for its one get or put.
#include "core/data/para.h"
#include "frame/singleton.h"

namespace {

TParaMgr* g_pub = nullptr;
TParaMgr* g_tmp = nullptr;
TParaMgr* g_rep = nullptr;

int Get_Str_In(TParaMgr* m, const map_wchar& name, char* buf, int size) {
  if (!m || !buf) return 0;
  std::lock_guard<std::mutex> hold(m->Lock());
  return m->Get_Str(name, buf, size);
}

int Get_WStr_In(TParaMgr* m, const map_wchar& name, wchar16* buf, int size) {
  if (!m || !buf) return 0;
  std::lock_guard<std::mutex> hold(m->Lock());
  return m->Get_WStr(name, buf, size);
}

int Get_Int_In(TParaMgr* m, const map_wchar& name, int* value) {
  if (!m) return 0;
  std::lock_guard<std::mutex> hold(m->Lock());
  return m->Get_Int(name, value);
}

int Put_Str_In(TParaMgr* m, const map_wchar& name, const char* value) {
  if (!m) return 0;
  std::lock_guard<std::mutex> hold(m->Lock());
  return m->Put_Str(name, value) ? 1 : 0;
}

int Put_WStr_In(TParaMgr* m, const map_wchar& name, const wchar16* value) {
  if (!m) return 0;
  std::lock_guard<std::mutex> hold(m->Lock());
  return m->Put_WStr(name, value) ? 1 : 0;
}

int Put_Int_In(TParaMgr* m, const map_wchar& name, int value) {
  if (!m) return 0;
  std::lock_guard<std::mutex> hold(m->Lock());
  return m->Put_Int(name, value) ? 1 : 0;
}

}  // namespace

TParaMgr* Pub_Para_Mgr() { return Zem_Singleton<TParaMgr>("pub_para_mgr", g_pub); }
TParaMgr* Tmp_Para_Mgr() { return Zem_Singleton<TParaMgr>("tmp_para_mgr", g_tmp); }
TParaMgr* Rep_Call_Para() { return Zem_Singleton<TParaMgr>("rep_call_para", g_rep); }

int Pub_Para_Get_Str(const map_wchar& name, char* buf, int size) { return Get_Str_In(Pub_Para_Mgr(), name, buf, size); }
int Pub_Para_Get_WStr(const map_wchar& name, wchar16* buf, int size) { return Get_WStr_In(Pub_Para_Mgr(), name, buf, size); }
int Pub_Para_Get_Int(const map_wchar& name, int* value) { return Get_Int_In(Pub_Para_Mgr(), name, value); }
int Pub_Para_Put_Str(const map_wchar& name, const char* value) { return Put_Str_In(Pub_Para_Mgr(), name, value); }
int Pub_Para_Put_WStr(const map_wchar& name, const wchar16* value) { return Put_WStr_In(Pub_Para_Mgr(), name, value); }
int Pub_Para_Put_Int(const map_wchar& name, int value) { return Put_Int_In(Pub_Para_Mgr(), name, value); }

int Tmp_Para_Get_Str(const map_wchar& name, char* buf, int size) { return Get_Str_In(Tmp_Para_Mgr(), name, buf, size); }
int Tmp_Para_Get_WStr(const map_wchar& name, wchar16* buf, int size) { return Get_WStr_In(Tmp_Para_Mgr(), name, buf, size); }
int Tmp_Para_Get_Int(const map_wchar& name, int* value) { return Get_Int_In(Tmp_Para_Mgr(), name, value); }
int Tmp_Para_Put_Str(const map_wchar& name, const char* value) { return Put_Str_In(Tmp_Para_Mgr(), name, value); }
int Tmp_Para_Put_WStr(const map_wchar& name, const wchar16* value) { return Put_WStr_In(Tmp_Para_Mgr(), name, value); }
int Tmp_Para_Put_Int(const map_wchar& name, int value) { return Put_Int_In(Tmp_Para_Mgr(), name, value); }

int Rep_Call_Para_Get_Str(const map_wchar& name, char* buf, int size) { return Get_Str_In(Rep_Call_Para(), name, buf, size); }
int Rep_Call_Para_Get_WStr(const map_wchar& name, wchar16* buf, int size) { return Get_WStr_In(Rep_Call_Para(), name, buf, size); }
int Rep_Call_Para_Get_Int(const map_wchar& name, int* value) { return Get_Int_In(Rep_Call_Para(), name, value); }
int Rep_Call_Para_Put_Str(const map_wchar& name, const char* value) { return Put_Str_In(Rep_Call_Para(), name, value); }
int Rep_Call_Para_Put_WStr(const map_wchar& name, const wchar16* value) { return Put_WStr_In(Rep_Call_Para(), name, value); }
int Rep_Call_Para_Put_Int(const map_wchar& name, int value) { return Put_Int_In(Rep_Call_Para(), name, value); }
