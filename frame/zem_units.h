// The units of the package and the palette. They know no control, so they sit on the ground floor,
// where the control units (below the composition root) hand in their hooks. The package is made of
// units that the loader initializes in a fixed order (finalization in reverse): "Zem_pack" first, then
// the control units. Each control unit hands its hooks to the table with Zem_Unit_Set (from its own
// code, e.g. a static Zem_Unit_Registrar object); Initialize()/Finalize() then run them in the fixed
// order whatever the order in which they were handed in. Initialization counts entries; finalization
// runs the unit's final hook on the last exit. Register() of a control unit adds its one class to the
// palette page "Zem_Pack" with RegisterComponents.
#pragma once

enum {
  ZEM_UNIT_ZEM_PACK = 0,
  ZEM_UNIT_MTREEVIEW,
  ZEM_UNIT_MSTATUSBAR,
  ZEM_UNIT_MGS,
  ZEM_UNIT_TREEVIEW_EXT,
  ZEM_UNIT_MG,
  ZEM_UNIT_MDATE,
  ZEM_UNIT_COMBOBOX_EXT,
  ZEM_UNIT_MPICKDATE,
  ZEM_UNIT_COUNT
};

typedef void (*Zem_Unit_Fn)();

// Gives the unit named unit_name ("Mtreeview", "Mg", ...) its hooks; any may be null. init runs on
// the first entry, final on the last exit, reg from Zem_Register_Units. 1, or 0 for an unknown name.
int Zem_Unit_Set(const char* unit_name, Zem_Unit_Fn init, Zem_Unit_Fn final, Zem_Unit_Fn reg);
// The unit's name at an order position (0 .. ZEM_UNIT_COUNT-1), or null.
const char* Zem_Unit_Name(int order);
// How often the unit was entered minus how often it was left; -1 for an unknown name.
int Zem_Unit_Init_Count(const char* unit_name);

// Hands a control unit's hooks to the table from a static object of the unit.
struct Zem_Unit_Registrar {
  Zem_Unit_Registrar(const char* unit_name, Zem_Unit_Fn init, Zem_Unit_Fn final, Zem_Unit_Fn reg) {
    Zem_Unit_Set(unit_name, init, final, reg);
  }
};

extern "C" {
// The loader's entry points: every unit's initialization in order / finalization in reverse order.
__attribute__((visibility("default"))) void Initialize();
__attribute__((visibility("default"))) void Finalize();
// What a form designer does after loading: each control unit's Register(), in unit order.
__attribute__((visibility("default"))) void Zem_Register_Units();
}

// --- Palette ---------------------------------------------------------------------------------------
// The page every control of the package is registered on.
inline constexpr char16_t kZem_Palette_Page[] = u"Zem_Pack";

// Makes a new control under parent (a toolkit widget, may be null); the designer plugin calls it.
typedef void* (*Zem_Create_Fn)(void* parent);

struct Zem_Palette_Entry {
  const char16_t* page;    // static text, e.g. kZem_Palette_Page
  const char* class_name;  // static text, e.g. "TMG"
  Zem_Create_Fn create;    // may be null
  const char* unit;        // the unit whose Register() added it ("Mg"...); null when added outside
                           // Zem_Register_Units, so a palette can show where each class comes from
};

// Registers one class on a page (one class per call), noting the unit whose Register() is running. A
// class registered again replaces its entry. 1, or 0 for a null page or class name.
int RegisterComponents(const char16_t* page, const char* class_name, Zem_Create_Fn create);
int Zem_Palette_Count();
// The entry at index, or null.
const Zem_Palette_Entry* Zem_Palette_Get(int index);
