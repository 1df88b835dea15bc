#include "core/text/text_util.h"

#include <locale.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<Zem_Text_Alloc_Hook> g_alloc_hook{nullptr};

// The C locale, made once; uselocale() switches only the calling thread.
locale_t C_Locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

class C_Locale_Scope {
 public:
  C_Locale_Scope() : old_(C_Locale() ? uselocale(C_Locale()) : static_cast<locale_t>(nullptr)) {}
  ~C_Locale_Scope() {
    if (old_) uselocale(old_);
  }

 private:
  locale_t old_;
};

}  // namespace

void Zem_Text_Set_Alloc_Hook(Zem_Text_Alloc_Hook hook) { g_alloc_hook.store(hook); }

void* Zem_Text_Alloc(size_t bytes, const char* tag) {
  Zem_Text_Alloc_Hook hook = g_alloc_hook.load(std::memory_order_relaxed);
  return hook ? hook(bytes, tag) : std::malloc(bytes);
}

void Zem_Text_Free(void* p) { std::free(p); }

int Zem_Fmt_Int(char* buf, int cap, int v) {
  if (!buf || cap <= 0) return 0;
  int n = std::snprintf(buf, static_cast<size_t>(cap), "%d", v);
  return n < 0 ? 0 : (n < cap ? n : cap - 1);
}

int Zem_Fmt_Double(char* buf, int cap, double v) {
  if (!buf || cap <= 0) return 0;
  C_Locale_Scope scope;
  int n = std::snprintf(buf, static_cast<size_t>(cap), "%f", v);
  return n < 0 ? 0 : (n < cap ? n : cap - 1);
}

int Zem_Read_Int(const char* s) {
  if (!s || !*s) return 0;
  errno = 0;
  long long v = C_Locale() ? strtoll_l(s, nullptr, 10, C_Locale()) : std::strtoll(s, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

double Zem_Read_Double(const char* s) {
  if (!s || !*s) return 0;
  return C_Locale() ? strtod_l(s, nullptr, C_Locale()) : std::strtod(s, nullptr);
}
