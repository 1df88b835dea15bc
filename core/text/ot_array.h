// OT_Array: the framework's one growable array. Access through At() creates the element when the
// index lies beyond the end (new slots read as zero). Pointer elements are not owned by the array.
//
// Growth: to index + delta slots (at least `initial`); with the defaults 30, then 50, 70, ... For
// large arrays this linear step would make a million appends quadratic, so once the array holds 4096
// slots it grows by at least half its size instead. Storage is released only by Clear().
#pragma once
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <type_traits>

template <class T>
class OT_Array {
  static_assert(std::is_trivially_copyable<T>::value, "OT_Array moves elements as raw bytes");

 public:
  typedef void* (*Alloc_Fn)(size_t);
  typedef void (*Release_Fn)(void*);

  explicit OT_Array(int initial = 30, int delta = 20)
      : initial_(initial < 1 ? 30 : initial), delta_(delta < 1 ? 20 : delta) {}
  OT_Array(const OT_Array&) = delete;
  OT_Array& operator=(const OT_Array&) = delete;
  virtual ~OT_Array() { Clear(); }

  // Prepares one new element; storage is already zero-filled, so nothing is left to do.
  virtual int Init_Item(T* /*item*/) { return 1; }

  T& At(int index) {
    if (index < 0) index = 0;
    if (index >= capacity_) Grow(index);
    if (index >= count_) count_ = index + 1;
    return data_[index];
  }
  T& operator[](int index) { return At(index); }
  // Read access within 0..Count()-1 that never grows (the caller checks the index).
  const T& Get(int index) const {
    assert(index >= 0 && index < count_ && "OT_Array::Get outside the elements in use");
    return data_[index];
  }

  void Add(T value) { At(count_) = value; }

  int Del(int index) {
    if (index < 0 || index >= count_) return 0;
    std::memmove(static_cast<void*>(data_ + index), data_ + index + 1, sizeof(T) * (count_ - index - 1));
    --count_;
    std::memset(static_cast<void*>(data_ + count_), 0, sizeof(T));
    if (position_ >= count_) position_ = count_ - 1;
    if (position_ < 0) position_ = 0;
    return 1;
  }

  int Remove(T value) {
    for (int i = 0; i < count_; ++i) {
      if (std::memcmp(&data_[i], &value, sizeof(T)) == 0) return Del(i);
    }
    return 1;
  }

  int Clear() {
    if (data_) release_(data_);
    data_ = nullptr;
    capacity_ = count_ = position_ = 0;
    return 1;
  }

  // Inserts value before index (0..count), moving the later elements up.
  void Insert(int index, T value) {
    if (index < 0) index = 0;
    if (index >= count_) { At(index) = value; return; }
    At(count_);  // one more slot
    std::memmove(static_cast<void*>(data_ + index + 1), data_ + index, sizeof(T) * (count_ - 1 - index));
    data_[index] = value;
  }

  // Cuts the count down to n (n below the count); the storage stays.
  void Truncate(int n) {
    if (n < 0) n = 0;
    if (n >= count_) return;
    std::memset(static_cast<void*>(data_ + n), 0, sizeof(T) * (count_ - n));
    count_ = n;
    if (position_ >= count_) position_ = count_ > 0 ? count_ - 1 : 0;
  }

  // Makes room for n elements without changing the count.
  void Reserve(int n) { if (n > capacity_) Grow(n - 1, false); }

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  int Delta() const { return delta_; }
  int Initial() const { return initial_; }
  T* Data() { return data_; }
  const T* Data() const { return data_; }
  int& Position() { return position_; }

  // The functions that obtain and return raw storage; owners that keep memory per element (Array_Str)
  // use the same pair.
  Alloc_Fn Allocator() const { return alloc_; }
  Release_Fn Releaser() const { return release_; }

  void Set_Allocator(Alloc_Fn a, Release_Fn r) {
    assert(!data_ && "the allocator can only change while the array holds no storage");
    alloc_ = a;
    release_ = r;
  }

 private:
  void Grow(int index, bool step = true) {
    long long cap = step ? static_cast<long long>(index) + delta_ : static_cast<long long>(index) + 1;
    if (cap < initial_) cap = initial_;
    if (capacity_ >= 4096 && cap < capacity_ + capacity_ / 2) cap = capacity_ + capacity_ / 2;
    if (cap > 0x7fffffff) cap = 0x7fffffff;
    T* fresh = static_cast<T*>(alloc_(sizeof(T) * static_cast<size_t>(cap)));
    if (!fresh) std::abort();  // out of memory: outside the design
    std::memset(static_cast<void*>(fresh), 0, sizeof(T) * static_cast<size_t>(cap));
    if (data_) {
      std::memcpy(static_cast<void*>(fresh), data_, sizeof(T) * static_cast<size_t>(capacity_));
      release_(data_);
    }
    int old = capacity_;
    data_ = fresh;
    capacity_ = static_cast<int>(cap);
    for (int i = old; i < capacity_; ++i) Init_Item(&data_[i]);
  }

  T* data_ = nullptr;
  int capacity_ = 0;
  int initial_;
  int delta_;
  int count_ = 0;
  int position_ = 0;
  Alloc_Fn alloc_ = std::malloc;
  Release_Fn release_ = std::free;
};
