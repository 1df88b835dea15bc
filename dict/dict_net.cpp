// Dictionaries loaded from the application server.
#include "dict/dict_net.h"

#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/data/key_set.h"
#include "core/data/para.h"
#include "dict/cache_file.h"
#include "dict/dict_db.h"
#include "dict/dict_mgr.h"
#include "frame/log_mgr.h"
#include "link/r_call.h"

int Dict_Run_Fetch_Filter(TDict* d) {
  if (!d) return 1;
  if (Dict_Fetch_Filter_Fn f = Dict_Fetch_Filter_Mgr()->Find(d->Dict_Id().c_str())) f(d);
  return 1;
}

namespace {

// Packs must carry query areas for these calls.
void Need_Dbio_Hooks() {
  if (!Para_Dbio_Hooks().pack) Sqlca_Set_Para_Hooks();
}

}  // namespace

// The server is asked under the loaders' lock alone; the reply is applied, filtered and indexed in one
// step under the rows lock.
int TDict_Net::Load_Since(int mode, int since) {
  auto load = Load_Lock();
  const std::string id = Id_Copy();
  if (id.empty()) return 0;
  if (since < 0) since = Is_Loaded() ? Time_Stamp() : 0;
  Need_Dbio_Hooks();
  TParaMgr para;
  para.Put_Str(u"dict_id", id.c_str());
  para.Put_Int(u"time_stamp", since);
  const int rc = Zem_R_Call("Dict_Load_Data", &para, 1);
  away_ = R_Call_Server_Away(rc);
  if (rc != 0) {
    Log_Printf("dict %s: Dict_Load_Data failed\n", id.c_str());
    return 0;
  }
  int part_sync = 0;
  para.Get_Int(u"part_sync", &part_sync);
  auto guard = Lock();
  int ok = part_sync == 0 ? Unpack_Dict(&para) : Unpack_Part(&para);
  if (!ok) return 0;
  // Before the filter: the file keeps the rows as the server sent them at this stamp.
  if (part_sync == 0 && File_Cache()) Write_Net_Cache(&para);
  Set_Load_Mode(mode);
  Set_Loaded(1);
  Set_Load_Failed(0);
  if (TDict* ext = Ext_Dict()) ext->Set_Loaded(1);
  // The unpack indexed the rows; a filter that changes them needs the index again.
  if (Dict_Fetch_Filter_Mgr()->Find(Dict_Id().c_str())) {
    Dict_Run_Fetch_Filter(this);
    Build_Index();
    if (TDict* ext = Ext_Dict()) ext->Build_Index();
  }
  return 1;
}

int TDict_Net::Load(int mode) {
  if (Load_Since(mode, -1)) return 1;
  return away_ && !Has_Rows() && Serve_Cache(mode);
}

namespace {

// The cache files of server dictionaries are written by a thread of their own: a load does not wait
// for the disk (the file serves only when the server is away). A later transfer of the same file
// replaces one not yet written. What is pending is written when the process ends normally (the
// static object's destructor); a process killed meanwhile leaves the file as it was, whole.
class Net_Cache_Writer {
 public:
  ~Net_Cache_Writer() {
    {
      std::lock_guard<std::mutex> g(lock_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  void Put(const std::string& path, std::string bytes) {
    std::lock_guard<std::mutex> g(lock_);
    pending_[path].swap(bytes);
    if (!thread_.joinable()) thread_ = std::thread(&Net_Cache_Writer::Run, this);
    wake_.notify_all();
  }
  void Flush() {
    std::unique_lock<std::mutex> l(lock_);
    idle_.wait(l, [this] { return pending_.empty() && !writing_; });
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> l(lock_);
    for (;;) {
      wake_.wait(l, [this] { return stop_ || !pending_.empty(); });
      if (pending_.empty()) return;  // stopping, all written
      auto it = pending_.begin();
      const std::string path = it->first;
      std::string bytes;
      bytes.swap(it->second);
      pending_.erase(it);
      writing_ = true;
      l.unlock();
      if (Dict_Make_Cache_Dir(path.substr(0, path.rfind('/')))) Dict_Write_Cache_File(path, bytes.data(), bytes.size());
      l.lock();
      writing_ = false;
      idle_.notify_all();
    }
  }

  std::mutex lock_;
  std::condition_variable wake_, idle_;
  std::map<std::string, std::string> pending_;
  bool writing_ = false;
  bool stop_ = false;
  std::thread thread_;
};

Net_Cache_Writer& Cache_Writer() {
  static Net_Cache_Writer w;
  return w;
}

}  // namespace

void Dict_Net_Cache_Flush() { Cache_Writer().Flush(); }

std::string TDict_Net::Net_Cache_Path() const { return Dict_Cache_Path(Dict_Id(), ".net"); }

void TDict_Net::Write_Net_Cache(TParaMgr* transfer) {
  std::string bytes;
  if (!transfer->Pack_Para_Into(&bytes)) return;
  Cache_Writer().Put(Net_Cache_Path(), std::move(bytes));
}

int TDict_Net::Serve_Cache(int mode) {
  std::string path;
  {
    auto guard = Lock();
    if (!File_Cache()) return 0;
    path = Net_Cache_Path();
  }
  std::unique_ptr<uint8_t[]> buf;
  size_t len = 0;
  if (!Dict_Read_Cache_File(path, &buf, &len)) return 0;
  TParaMgr transfer;
  auto guard = Lock();
  if (!transfer.Unpack_Para(buf.get(), len) || !Unpack_Dict(&transfer)) {
    Log_Printf("dict %s: the cache file %s does not read as a dictionary\n", Dict_Id().c_str(), path.c_str());
    return 0;
  }
  Log_Printf("dict %s: the application server is away; serving the cache file %s (stamp %d), stale\n",
             Dict_Id().c_str(), path.c_str(), Time_Stamp());
  Set_Load_Mode(mode);
  Set_Loaded(1);
  Set_Load_Failed(0);
  Set_Stale(1);
  if (TDict* ext = Ext_Dict()) ext->Set_Loaded(1);
  if (Dict_Fetch_Filter_Mgr()->Find(Dict_Id().c_str())) {
    Dict_Run_Fetch_Filter(this);
    Build_Index();
    if (TDict* ext = Ext_Dict()) ext->Build_Index();
  }
  return 1;
}

int TDict_Net::Refresh() { return Rebuild(nullptr, 0); }

// Whole: a dictionary asked for from nothing. Changes only: a copy of live's rows and stamp, and the
// changes since that stamp.
int TDict_Net::Load_Fresh(TDict& live, int changes_only) {
  if (changes_only && live.Is_Loaded() && !live.Load_Failed()) {
    if (!Copy_Rows_From(live)) return 0;
    return Load_Since(live.Load_Mode(), Time_Stamp());
  }
  Set_Dict_Id(static_cast<TDict_Net&>(live).Id_Copy().c_str());
  return Load_Since(live.Load_Mode(), 0);
}

std::string TDict_Net::Id_Copy() {
  auto guard = Lock();
  return Dict_Id();
}

int TDict_Net::Is_Time_Stamp_Changed() {
  auto load = Load_Lock();
  TParaMgr para;
  para.Put_Str(u"dict_id", Id_Copy().c_str());
  if (Zem_R_Call("Dict_Get_Time_Stamp", &para, 1) != 0) return 0;
  int serv = 0;
  if (!para.Get_Int(u"time_stamp", &serv) || serv == Time_Stamp()) return 0;
  Set_Local_Version(Time_Stamp());
  return 1;
}

int TDict_Net::Load_Part_Data(TSQLCA* keys) {
  if (!keys) return 1;
  auto load = Load_Lock();
  std::vector<std::u16string> missing = Missing_Codes(keys);
  if (missing.empty()) return 1;
  Need_Dbio_Hooks();
  TSQLCA lst;
  lst.Set_Field_Count(1);
  lst.Set_Field_Name(0, u"code");
  lst.Set_Field_Type(0, 'S');
  for (const std::u16string& c : missing) {
    lst.Add_Row();
    lst.Set_Value(0, c.c_str());
  }
  TParaMgr para;
  const std::string id = Id_Copy();
  para.Put_Str(u"dict_id", id.c_str());
  para.Put_Int(u"time_stamp", Time_Stamp());
  if (!para.Put_Sqlca_Para(u"lst_key", &lst)) return 0;
  if (Zem_R_Call("Dict_Load_Part_Data", &para, 1) != 0) {
    Log_Printf("dict %s: Dict_Load_Part_Data failed\n", id.c_str());
    return 0;
  }
  TSQLCA got;
  if (!para.Get_Sqlca_Para(u"part_data_pack", &got)) return 0;
  if (got.Get_Row_Count() == 0) return 1;
  auto guard = Lock();
  DBDataMgr* d = Data();
  if (d->Get_Field_Count() == 0) {
    // Nothing held yet: the reply gives the fields too.
    unsigned len = 0;
    uint8_t* buf = got.Data()->Pack_Data(&len);
    if (!buf) return 0;
    int ok = d->Unpack_Data(buf, static_cast<int>(len));
    std::free(buf);
    if (!ok) return 0;
  } else if (got.Get_Field_Count() != d->Get_Field_Count() || !d->Append_Data(got.Data())) {
    Log_Printf("dict %s: part data does not fit the dictionary\n", Dict_Id().c_str());
    return 0;
  }
  Build_Index();
  return 1;
}

int TDict_Net::Check_Dict() {
  auto load = Load_Lock();
  if (!Is_Time_Stamp_Changed()) return 1;
  return Load(Load_Mode());
}

int TDict_Net::Serv_Call_Then_Load(const char* call, TSQLCA* keys) {
  auto load = Load_Lock();
  const std::string id = Id_Copy();
  if (id.empty()) return 0;
  Need_Dbio_Hooks();
  TParaMgr para;
  para.Put_Str(u"dict_id", id.c_str());
  if (keys && !para.Put_Sqlca_Para(u"lst_key", keys)) return 0;
  if (Zem_R_Call(call, &para, 1) != 0) {
    Log_Printf("dict %s: %s failed\n", id.c_str(), call);
    return 0;
  }
  return Load(Load_Mode());
}

int TDict_Net::Serv_Refresh() { return Serv_Call_Then_Load("Dict_Serv_Refresh", nullptr); }

int TDict_Net::Serv_Refresh_Keys(TSQLCA* keys) {
  if (!keys) return 0;
  return Serv_Call_Then_Load("Dict_Refresh_Dict_Key", keys);
}

int TDict_Net::Serv_Set_Time_Stamp() { return Serv_Call_Then_Load("Dict_Set_Time_Stamp", nullptr); }
