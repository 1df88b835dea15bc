// The Zem_pack unit in this process: entry points, start-up, unit order and counts, palette.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/pub_ptr.h"
#include "frame/startup/zem_names.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"

namespace {

TEST(ZemPack, VersionStrings) {
  EXPECT_STREQ(F_Dll_Ver(), "2023-10-17");
  EXPECT_STREQ(F_Std_Ver(), "std-2007.12.07.01");
  EXPECT_STREQ(F_Mid_Ver(), "mid-2006.12.07.01");
}

TEST(ZemPack, StartupBringsUpEverySingletonOnce) {
  EXPECT_EQ(Init_Tfa(), 1);
  const int created = Zem_Startup_Created_Count();
  std::vector<void*> first;
  for (const char* name : kZem_Startup_Names) {
    first.push_back(Get_Pub_Ptr(name));
    EXPECT_NE(first.back(), nullptr) << name;
  }
  EXPECT_TRUE(*static_cast<int*>(Get_Pub_Ptr("_R_Call_Local_Mode")) == 1 && *static_cast<int*>(Get_Pub_Ptr("exiting_flag")) == 0);
  // What was created, in the start-up order, is checked in a fresh process (modules_test.cpp).
  EXPECT_FALSE(Zem_Startup_Created("no_such_singleton"));
  EXPECT_TRUE(Zem_Startup_Created_Name(created) == nullptr && Zem_Startup_Created_Name(-1) == nullptr);

  EXPECT_EQ(Init_Tfa(), 1);
  EXPECT_EQ(Zem_Startup_Created_Count(), created);
  for (int k = 0; k < kZem_Startup_Name_Count; k++)
    EXPECT_EQ(Get_Pub_Ptr(kZem_Startup_Names[k]), first[static_cast<size_t>(k)]);
}

// The unit hooks record what ran, in order.
std::vector<std::string>& Trace() {
  static std::vector<std::string> t;
  return t;
}
void Mg_Init() { Trace().push_back("init Mg"); }
void Mg_Final() { Trace().push_back("final Mg"); }
void Mg_Register() { Trace().push_back("reg Mg"), RegisterComponents(kZem_Palette_Page, "TMG", nullptr); }
void Mtreeview_Init() { Trace().push_back("init Mtreeview"); }
void Mtreeview_Final() { Trace().push_back("final Mtreeview"); }
void Mtreeview_Register() { Trace().push_back("reg Mtreeview"), RegisterComponents(kZem_Palette_Page, "MTreeView", nullptr); }

TEST(ZemUnits, FixedOrderAndCounts) {
  const char* const order[] = {"Zem_pack", "Mtreeview", "Mstatusbar", "Mgs", "Treeview_ext",
                               "Mg", "Mdate", "Combobox_ext", "Mpickdate"};
  for (int i = 0; i < ZEM_UNIT_COUNT; i++) EXPECT_STREQ(Zem_Unit_Name(i), order[i]);
  EXPECT_TRUE(Zem_Unit_Name(ZEM_UNIT_COUNT) == nullptr && Zem_Unit_Name(-1) == nullptr);

  // Hooks handed in out of order still run in unit order.
  ASSERT_EQ(Zem_Unit_Set("Mg", Mg_Init, Mg_Final, Mg_Register), 1);
  ASSERT_EQ(Zem_Unit_Set("Mtreeview", Mtreeview_Init, Mtreeview_Final, Mtreeview_Register), 1);
  EXPECT_TRUE(Zem_Unit_Set("NoSuchUnit", Mg_Init, nullptr, nullptr) == 0 && Zem_Unit_Init_Count("NoSuchUnit") == -1);
  Trace().clear();

  Finalize();
  EXPECT_TRUE(Zem_Unit_Init_Count("Mg") == 0 && Trace().empty()) << "never initialized: nothing to undo";

  Initialize(), Initialize();
  for (const char* u : order) EXPECT_EQ(Zem_Unit_Init_Count(u), 2) << u;
  EXPECT_EQ(Trace(), (std::vector<std::string>{"init Mtreeview", "init Mg"}));

  Zem_Register_Units();
  ASSERT_EQ(Zem_Palette_Count(), 2);
  EXPECT_EQ(std::string(Zem_Palette_Get(0)->class_name) + " " + Zem_Palette_Get(1)->class_name, "MTreeView TMG");
  EXPECT_TRUE(std::u16string(Zem_Palette_Get(1)->page) == u"Zem_Pack" && Zem_Palette_Get(2) == nullptr);
  Zem_Register_Units();  // registering again replaces, one class per entry
  EXPECT_EQ(Zem_Palette_Count(), 2);

  Trace().clear(), Finalize();
  EXPECT_TRUE(Trace().empty()) << "not the last exit yet";
  Finalize();
  EXPECT_EQ(Trace(), (std::vector<std::string>{"final Mg", "final Mtreeview"}));
  for (const char* u : order) EXPECT_EQ(Zem_Unit_Init_Count(u), 0) << u;

  Zem_Unit_Set("Mg", nullptr, nullptr, nullptr), Zem_Unit_Set("Mtreeview", nullptr, nullptr, nullptr);
  EXPECT_EQ(RegisterComponents(nullptr, "TMG", nullptr), 0) << "a palette entry needs its page";
  EXPECT_EQ(RegisterComponents(kZem_Palette_Page, nullptr, nullptr), 0) << "and its class";
}

}  // namespace
