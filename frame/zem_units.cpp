// The unit table, the loader entry points and the palette list.
#include "frame/zem_units.h"

#include <cstring>
#include <vector>

namespace {

struct Unit {
  const char* name;
  Zem_Unit_Fn init;
  Zem_Unit_Fn final;
  Zem_Unit_Fn reg;
  int count;
};

// Constant-initialized, so control units may hand in their hooks from static constructors in any order.
Unit g_units[ZEM_UNIT_COUNT] = {
    {"Zem_pack", nullptr, nullptr, nullptr, 0},     {"Mtreeview", nullptr, nullptr, nullptr, 0},
    {"Mstatusbar", nullptr, nullptr, nullptr, 0},   {"Mgs", nullptr, nullptr, nullptr, 0},
    {"Treeview_ext", nullptr, nullptr, nullptr, 0}, {"Mg", nullptr, nullptr, nullptr, 0},
    {"Mdate", nullptr, nullptr, nullptr, 0},        {"Combobox_ext", nullptr, nullptr, nullptr, 0},
    {"Mpickdate", nullptr, nullptr, nullptr, 0},
};

Unit* Find_Unit(const char* name) {
  if (!name) return nullptr;
  for (Unit& u : g_units)
    if (std::strcmp(u.name, name) == 0) return &u;
  return nullptr;
}

std::vector<Zem_Palette_Entry>& Palette() {
  static std::vector<Zem_Palette_Entry>* list = new std::vector<Zem_Palette_Entry>();
  return *list;
}

// The unit whose Register() Zem_Register_Units is running (null outside it).
const char* g_registering = nullptr;

}  // namespace

int Zem_Unit_Set(const char* unit_name, Zem_Unit_Fn init, Zem_Unit_Fn final, Zem_Unit_Fn reg) {
  Unit* u = Find_Unit(unit_name);
  if (!u) return 0;
  u->init = init;
  u->final = final;
  u->reg = reg;
  return 1;
}

const char* Zem_Unit_Name(int order) {
  if (order < 0 || order >= ZEM_UNIT_COUNT) return nullptr;
  return g_units[order].name;
}

int Zem_Unit_Init_Count(const char* unit_name) {
  Unit* u = Find_Unit(unit_name);
  return u ? u->count : -1;
}

extern "C" void Initialize() {
  for (Unit& u : g_units) {
    if (u.count++ == 0 && u.init) u.init();
  }
}

extern "C" void Finalize() {
  for (int i = ZEM_UNIT_COUNT - 1; i >= 0; i--) {
    Unit& u = g_units[i];
    if (u.count <= 0) continue;  // never entered: nothing to undo
    if (--u.count == 0 && u.final) u.final();
  }
}

extern "C" void Zem_Register_Units() {
  for (Unit& u : g_units) {
    if (!u.reg) continue;
    g_registering = u.name;
    u.reg();
    g_registering = nullptr;
  }
}

int RegisterComponents(const char16_t* page, const char* class_name, Zem_Create_Fn create) {
  if (!page || !class_name) return 0;
  for (Zem_Palette_Entry& e : Palette()) {
    if (std::strcmp(e.class_name, class_name) == 0) {
      e = {page, class_name, create, g_registering};
      return 1;
    }
  }
  Palette().push_back({page, class_name, create, g_registering});
  return 1;
}

int Zem_Palette_Count() { return static_cast<int>(Palette().size()); }

const Zem_Palette_Entry* Zem_Palette_Get(int index) {
  if (index < 0 || index >= Zem_Palette_Count()) return nullptr;
  return &Palette()[static_cast<size_t>(index)];
}
