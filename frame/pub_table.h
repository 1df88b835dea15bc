// The registry table of one module: 200 named pointers, names of at most 59 characters. Both the local
// table of every framework copy and the process-wide registry library are made of this one class, so
// they behave the same.
//
// Layout (static storage, zero at load, so usable before any constructor runs):
//   count            int32               used entries, 0..200
//   entries[200]     name[60], void*     name NUL-terminated (59 characters at most), pointer never null
// Entries are never removed or reordered; the table does not own what it points to. No lock: names are
// registered during start-up on the main thread, other threads only read afterwards.
#pragma once
#include <cstring>

struct TPub_Table {
  enum { kMaxEntries = 200, kNameSize = 60 };
  struct Entry {
    char name[kNameSize];
    void* ptr;
  };
  int count;
  Entry entries[kMaxEntries];

  // 1 when stored or replaced; 0 for a null name or pointer, or a new name when the table is full.
  // A name longer than 59 characters cannot be held and is refused with 0 rather than cut, so that
  // two long names sharing their first 59 characters never meet in one entry.
  int Set(const char* name, void* ptr) {
    if (!ptr || !name || std::strlen(name) >= kNameSize) return 0;
    for (int i = 0; i < count; i++) {
      if (std::strcmp(entries[i].name, name) == 0) {
        entries[i].ptr = ptr;
        return 1;
      }
    }
    if (count >= kMaxEntries) return 0;
    std::memcpy(entries[count].name, name, std::strlen(name) + 1);
    entries[count].ptr = ptr;
    count++;
    return 1;
  }

  // The pointer of the first entry with exactly this name, or null.
  void* Get(const char* name) const {
    if (!name || std::strlen(name) >= kNameSize) return nullptr;
    for (int i = 0; i < count; i++)
      if (std::strcmp(entries[i].name, name) == 0) return entries[i].ptr;
    return nullptr;
  }
};
