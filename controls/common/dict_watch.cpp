// The hub between the dictionary change observers (listening thread) and the controls (their thread).
#include "controls/common/dict_watch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <vector>

#include "dict/dict_mgr.h"
#include "dict/dict_notify.h"

namespace {

std::atomic<long long> g_delivered{0};

class Watch_Hub : public QObject {
 public:
  explicit Watch_Hub(QObject* parent) : QObject(parent) {
    Dict_Notify()->Add_Observer(&Watch_Hub::Changed, this);
    Dict_Client_List()->Add_Reload_Observer(&Watch_Hub::Reloaded, this);
  }
  ~Watch_Hub() override {
    Dict_Notify()->Remove_Observer(&Watch_Hub::Changed, this);
    Dict_Client_List()->Remove_Reload_Observer(&Watch_Hub::Reloaded, this);
  }

  void Add(QObject* control, std::function<void(const std::string&)> apply) {
    for (Entry& e : entries_) {
      if (e.control == control) {
        e.apply = std::move(apply);
        return;
      }
    }
    entries_.push_back({control, std::move(apply)});
  }

 private:
  struct Entry {
    QPointer<QObject> control;
    std::function<void(const std::string&)> apply;
  };

  // On the listening thread: a notice. Noted, and the hub's thread reads the dictionary.
  static void Changed(void* ctx, const char* id) { static_cast<Watch_Hub*>(ctx)->Note(&Watch_Hub::notices_, id); }
  // On the thread that read the dictionary again: its controls follow.
  static void Reloaded(void* ctx, const char* id) { static_cast<Watch_Hub*>(ctx)->Note(&Watch_Hub::reloaded_, id); }

  void Note(std::set<std::string> Watch_Hub::*which, const char* id) {
    std::lock_guard<std::mutex> g(lock_);
    (this->*which).insert(id ? id : "");
    if (scheduled_) return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, [this] { Deliver(); }, Qt::QueuedConnection);
  }

  // A notice of a dictionary this process holds is read here, before any control asks for it; the
  // controls follow once it was read (Reloaded, also when a later look-up's retry reads it). One whose
  // read had to wait (this thread's session is busy in an outer call: the wait box's event loop runs
  // this) keeps its mark and comes back here shortly. Notices of dictionaries not held (other tables,
  // or "" when notices were missed) go to the controls at once.
  void Deliver() {
    std::set<std::string> notices, reloaded;
    {
      std::lock_guard<std::mutex> g(lock_);
      notices.swap(notices_);
      reloaded.swap(reloaded_);
      scheduled_ = false;
    }
    std::set<std::string> tell = reloaded, later;
    for (const std::string& id : notices) {
      if (id.empty() || !Dict_Client_List()->Get_Dict(id.c_str(), 0)) {
        tell.insert(id);
        continue;
      }
      Dict_Client_List()->Get_Dict(id.c_str(), 1);
      if (Dict_Client_List()->Is_Marked(id)) later.insert(id);
    }
    if (!later.empty()) {
      {
        std::lock_guard<std::mutex> g(lock_);
        waiting_.insert(later.begin(), later.end());
      }
      QTimer::singleShot(kAgain_Ms, this, [this] { Read_Marked(); });
    }
    for (const std::string& id : tell) {
      // A control's apply may make or drop watches: it runs over a copy.
      std::vector<Entry> now = entries_;
      for (Entry& e : now)
        if (e.control && e.apply) e.apply(id);
      g_delivered++;
    }
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.control; }),
                   entries_.end());
  }

  // The notices whose read had to wait: read now (a look-up may have read them meanwhile).
  void Read_Marked() {
    std::set<std::string> ids;
    {
      std::lock_guard<std::mutex> g(lock_);
      ids.swap(waiting_);
    }
    for (const std::string& id : ids)
      if (Dict_Client_List()->Is_Marked(id)) Note(&Watch_Hub::notices_, id.c_str());
  }

  static const int kAgain_Ms = 250;
  std::mutex lock_;
  std::set<std::string> notices_, reloaded_, waiting_;
  bool scheduled_ = false;
  std::vector<Entry> entries_;
};

Watch_Hub* g_hub = nullptr;

}  // namespace

void Zem_Dict_Watch(QObject* control, std::function<void(const std::string& id)> apply) {
  if (!control || !QCoreApplication::instance()) return;
  if (!g_hub) {
    g_hub = new Watch_Hub(QCoreApplication::instance());
    QObject::connect(g_hub, &QObject::destroyed, [] { g_hub = nullptr; });
  }
  g_hub->Add(control, std::move(apply));
}

long long Zem_Dict_Watch_Delivered() { return g_delivered.load(); }
