// Array_Str: a list of owned narrow strings. TSeparate_Str: splits narrow text at a set of separator
// characters into items; a double-byte character is never split, even when its second byte has the
// code of a separator.
#pragma once
#include "core/text/ot_array.h"

class Array_Str : public OT_Array<char*> {
 public:
  explicit Array_Str(int initial = 30, int delta = 20) : OT_Array<char*>(initial, delta) {}
  // Only the slot storage goes with the array; owners call Free_All for the strings.
  ~Array_Str() override = default;
  int Add(const char* text);  // copies; 0 for null
  int Free_All();
  const char* Str(int i) const { return (i >= 0 && i < Count()) ? Get(i) : nullptr; }
};

struct LSeparate_Item_Stru {
  char* text;      // the item, NUL-terminated, owned
  char* text2;     // second text for owners, owned, null unless set
  int sep;         // the separator that ended the item, 0 for the last item of the text
  int reserved;
};

class TSeparate_Str : public OT_Array<LSeparate_Item_Stru*> {
 public:
  // separators: up to 59 characters (more are cut off); raw 0 drops white space around items.
  explicit TSeparate_Str(const char* separators = ",", int raw = 0);
  ~TSeparate_Str() override;
  // Adds c to the separator set unless it is there (or is NUL); 0 only when the set is full.
  int Add_Sep(char c);
  // Appends the items of text to the list (earlier items stay); a separator at the very end adds no
  // empty item, an empty or (unless raw) all-blank text adds none. 1, or 0 when memory is short.
  int Separate(const char* text);
  // Frees every item (text, second text, record) and empties the list.
  int Clear();
  const char* Separators() const { return seps_; }
  // Item i's text, or null outside 0..Count()-1.
  const char* Item(int i) const { return (i >= 0 && i < Count()) ? Get(i)->text : nullptr; }
  LSeparate_Item_Stru* Item_Rec(int i) const { return (i >= 0 && i < Count()) ? Get(i) : nullptr; }

 private:
  char seps_[60] = {0};
  int raw_ = 0;
};
