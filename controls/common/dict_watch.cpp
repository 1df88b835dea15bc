// The hub between the dictionary change observers (listening thread) and the controls (their thread).
#include "controls/common/dict_watch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
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
  explicit Watch_Hub(QObject* parent) : QObject(parent) { Dict_Notify()->Add_Observer(&Watch_Hub::Changed, this); }
  ~Watch_Hub() override { Dict_Notify()->Remove_Observer(&Watch_Hub::Changed, this); }

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

  // On the listening thread: note the id and have the hub's thread deliver what is noted.
  static void Changed(void* ctx, const char* id) {
    auto* hub = static_cast<Watch_Hub*>(ctx);
    std::lock_guard<std::mutex> g(hub->lock_);
    hub->pending_.insert(id ? id : "");
    if (hub->scheduled_) return;
    hub->scheduled_ = true;
    QMetaObject::invokeMethod(hub, [hub] { hub->Deliver(); }, Qt::QueuedConnection);
  }

  void Deliver() {
    std::set<std::string> ids;
    {
      std::lock_guard<std::mutex> g(lock_);
      ids.swap(pending_);
      scheduled_ = false;
    }
    for (const std::string& id : ids) {
      // The dictionary is read again once, here, before any control asks for it.
      if (!id.empty() && Dict_Client_List()->Get_Dict(id.c_str(), 0)) Dict_Client_List()->Get_Dict(id.c_str(), 1);
      // A control's apply may make or drop watches: it runs over a copy.
      std::vector<Entry> now = entries_;
      for (Entry& e : now)
        if (e.control && e.apply) e.apply(id);
      g_delivered++;
    }
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.control; }),
                   entries_.end());
  }

  std::mutex lock_;
  std::set<std::string> pending_;
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
