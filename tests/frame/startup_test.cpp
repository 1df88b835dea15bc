// The Zem_pack unit in this process: entry points, start-up, unit order and counts, palette.
#include <gtest/gtest.h>

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

// The unit table's order; the real units and their palette classes are checked where the package is
// loaded as a form designer loads it (tests/designer).
TEST(ZemUnits, FixedOrderAndForgivingEntries) {
  const char* const order[] = {"Zem_pack", "Mtreeview", "Mstatusbar", "Mgs", "Treeview_ext",
                               "Mg", "Mdate", "Combobox_ext", "Mpickdate"};
  for (int i = 0; i < ZEM_UNIT_COUNT; i++) EXPECT_STREQ(Zem_Unit_Name(i), order[i]);
  EXPECT_TRUE(Zem_Unit_Name(ZEM_UNIT_COUNT) == nullptr && Zem_Unit_Name(-1) == nullptr);
  EXPECT_TRUE(Zem_Unit_Set("NoSuchUnit", nullptr, nullptr, nullptr) == 0 && Zem_Unit_Init_Count("NoSuchUnit") == -1);
  Finalize();
  EXPECT_EQ(Zem_Unit_Init_Count("Mg"), 0) << "never initialized: nothing to undo, no count below zero";
  EXPECT_EQ(RegisterComponents(nullptr, "TMG", nullptr), 0) << "a palette entry needs its page";
  EXPECT_EQ(RegisterComponents(kZem_Palette_Page, nullptr, nullptr), 0) << "and its class";
}

}  // namespace
