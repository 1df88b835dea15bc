// The grid's storage, shared by the files of TStringGrid only (not part of the toolkit's interface):
// the sizes of rows and columns with their positions (Axis) and the cell texts (CellStore).
#pragma once

#include "toolkit/tk_grid.h"

#include <QStringView>
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

// ================================================================================================ Axis
// Sizes of the rows (or columns) of one direction. While every size is the default, nothing is stored and
// positions are products; the first other size stores all sizes and a Fenwick tree of extents
// (size + grid line, 0 for a hidden one), so the position of an index and the index at a position take
// O(log n) even for a million rows. A second tree counts the shown indexes, so that the k-th shown row (how a
// screen reader numbers the rows) is found as quickly.
class TStringGrid::Axis {
public:
    Axis(int count, int def, int line) : n_(count), def_(def), line_(line) {}

    int count() const { return n_; }
    int defaultSize() const { return def_; }
    int size(int i) const {
        if (i < 0 || i >= n_) return 0;
        return sizes_.empty() ? def_ : sizes_[size_t(i)];
    }
    long long extent(int i) const {
        int s = size(i);
        return s > 0 ? (long long)s + line_ : 0;
    }
    // Rows appended one at a time cost O(log n) each: a new Fenwick node is the sum of the extents it
    // covers, read from the nodes already there. Cutting rows keeps the nodes below the cut as they are.
    void setCount(int n) {
        if (n == n_) return;
        flush();
        if (sizes_.empty()) {
            n_ = n;
            return;
        }
        if (n < n_) {
            n_ = n;
            sizes_.resize(size_t(n));
            tree_.resize(size_t(n) + 1);
            shown_.resize(size_t(n) + 1);
            return;
        }
        sizes_.resize(size_t(n), def_);
        if (n - n_ > n_) {
            n_ = n;
            build();
            return;
        }
        tree_.resize(size_t(n) + 1, 0);
        shown_.resize(size_t(n) + 1, 0);
        for (int i = n_ + 1; i <= n; ++i) {
            n_ = i;
            int low = i - (i & -i);
            tree_[size_t(i)] = prefix(i - 1) - prefix(low) + extent(i - 1);
            shown_[size_t(i)] = shownBefore(i - 1) - shownBefore(low) + (size(i - 1) > 0);
        }
    }
    void setDefault(int d) {
        def_ = d;
        sizes_.clear();
        tree_.clear();
        shown_.clear();
        dirty_ = false;
    }
    void setLine(int w) {
        line_ = w;
        if (!sizes_.empty()) build();
    }
    // Stores a size without updating the tree; the tree is rebuilt once on the next position query.
    // For batches that touch many sizes (a filter over a million rows).
    void setSizeLazy(int i, int s) {
        if (i < 0 || i >= n_) return;
        if (sizes_.empty()) {
            if (s == def_) return;
            sizes_.assign(size_t(n_), def_);
        }
        sizes_[size_t(i)] = s;
        dirty_ = true;
    }
    // Rows first .. first + n - 1 take the sizes of rows order[k].
    void reorder(int first, const std::vector<int>& order) {
        if (sizes_.empty()) return;
        std::vector<int> moved(order.size());
        for (size_t k = 0; k < order.size(); ++k) moved[k] = sizes_[size_t(order[k])];
        std::copy(moved.begin(), moved.end(), sizes_.begin() + first);
        build();
    }
    void setSize(int i, int s) {
        if (i < 0 || i >= n_) return;
        flush();
        if (sizes_.empty()) {
            if (s == def_) return;
            sizes_.assign(size_t(n_), def_);
            sizes_[size_t(i)] = s;
            build();
            return;
        }
        long long before = extent(i);
        const int wasShown = sizes_[size_t(i)] > 0;
        sizes_[size_t(i)] = s;
        long long delta = extent(i) - before;
        const int shownDelta = (s > 0) - wasShown;
        if (shownDelta != 0)
            for (int k = i + 1; k <= n_; k += k & -k) shown_[size_t(k)] += shownDelta;
        if (delta == 0) return;
        for (int k = i + 1; k <= n_; k += k & -k) tree_[size_t(k)] += delta;
    }
    void move(int from, int to) {
        if (sizes_.empty()) return;
        flush();
        int s = sizes_[size_t(from)];
        sizes_.erase(sizes_.begin() + from);
        sizes_.insert(sizes_.begin() + to, s);
        build();
    }
    // Sum of the extents of [0, i).
    long long prefix(int i) const {
        flush();
        if (i <= 0) return 0;
        if (i > n_) i = n_;
        if (sizes_.empty()) return (long long)i * unit();
        long long sum = 0;
        for (int k = i; k > 0; k -= k & -k) sum += tree_[size_t(k)];
        return sum;
    }
    // The largest i in [0, n] with prefix(i) <= off: the index whose extent holds pixel off (n when off is
    // past the end); hidden indexes are stepped over because they add nothing.
    int indexAt(long long off) const {
        flush();
        if (off < 0) return 0;
        if (sizes_.empty()) {
            long long u = unit();
            if (u == 0) return n_;
            long long i = off / u;
            return i >= n_ ? n_ : int(i);
        }
        int pos = 0;
        long long rem = off;
        int step = 1;
        while (step * 2 <= n_) step *= 2;
        for (; step > 0; step /= 2) {
            if (pos + step <= n_ && tree_[size_t(pos + step)] <= rem) {
                pos += step;
                rem -= tree_[size_t(pos)];
            }
        }
        return pos;
    }
    // The first shown index at or after i; n when none.
    int nextShown(int i) const {
        if (i < 0) i = 0;
        if (i >= n_) return n_;
        if (sizes_.empty()) return def_ > 0 ? i : n_;
        return indexAt(prefix(i));
    }
    // The last shown index at or before i; -1 when none.
    int prevShown(int i) const {
        if (i >= n_) i = n_ - 1;
        if (i < 0) return -1;
        if (sizes_.empty()) return def_ > 0 ? i : -1;
        long long end = prefix(i + 1);
        if (end == 0) return -1;
        return indexAt(end - 1);
    }

    // Shown (size > 0) indexes in [0, i).
    int shownBefore(int i) const {
        flush();
        if (i <= 0) return 0;
        if (i > n_) i = n_;
        if (sizes_.empty()) return def_ > 0 ? i : 0;
        int sum = 0;
        for (int k = i; k > 0; k -= k & -k) sum += shown_[size_t(k)];
        return sum;
    }
    // The index of the k-th shown index (from 0); n when there are not that many.
    int nthShown(int k) const {
        flush();
        if (k < 0) return n_;
        if (sizes_.empty()) return def_ > 0 && k < n_ ? k : n_;
        int pos = 0, rem = k;
        int step = 1;
        while (step * 2 <= n_) step *= 2;
        for (; step > 0; step /= 2) {
            if (pos + step <= n_ && shown_[size_t(pos + step)] <= rem) {
                pos += step;
                rem -= shown_[size_t(pos)];
            }
        }
        return pos;  // pos indexes hold exactly k shown ones, so index pos is the k-th (or n)
    }

    // Brings the tree up to date after lazy sizes.
    void flush() const {
        if (dirty_) const_cast<Axis*>(this)->build();
    }

private:
    long long unit() const { return def_ > 0 ? (long long)def_ + line_ : 0; }
    void build() {
        dirty_ = false;
        tree_.assign(size_t(n_) + 1, 0);
        shown_.assign(size_t(n_) + 1, 0);
        for (int i = 1; i <= n_; ++i) {
            tree_[size_t(i)] += extent(i - 1);
            shown_[size_t(i)] += size(i - 1) > 0;
            int j = i + (i & -i);
            if (j <= n_) {
                tree_[size_t(j)] += tree_[size_t(i)];
                shown_[size_t(j)] += shown_[size_t(i)];
            }
        }
    }

    int n_;
    int def_;
    int line_;
    std::vector<int> sizes_;         // empty while every size is def_
    std::vector<long long> tree_;    // Fenwick tree over extents, 1-based; valid with sizes_
    std::vector<int> shown_;         // Fenwick tree over 1 per shown index, likewise
    bool dirty_ = false;             // sizes_ changed lazily; tree_ to be rebuilt
};

// =========================================================================================== CellStore
// The texts of the cells: one block per row that has any text, none for an empty row.
//
// Row block (one malloc'ed piece of memory, 32-bit words first):
//   OFFSET          SIZE            CONTENT
//   0               4               nslots: cells held (columns 0 .. nslots-1; later ones are empty)
//   4               4               cap: room for texts, in UTF-16 code units
//   8               4 * nslots      ends[c]: end of cell c's text, in code units from the text start;
//                                   cell c spans [c ? ends[c-1] : 0, ends[c])
//   8 + 4 * nslots  2 * cap         the texts, back to back
class TStringGrid::CellStore {
public:
    ~CellStore() { setRowCount(0); }

    void setRowCount(int n) {
        for (size_t r = size_t(n); r < rows_.size(); ++r) std::free(rows_[r]);
        rows_.resize(size_t(n), nullptr);
    }

    QStringView get(int c, int r) const {
        const uint32_t* b = rows_[size_t(r)];
        if (!b || uint32_t(c) >= b[0]) return QStringView();
        uint32_t start = c ? b[2 + c - 1] : 0;
        uint32_t end = b[2 + c];
        return QStringView(text(b) + start, qsizetype(end - start));
    }

    void set(int c, int r, QStringView v, int slotsHint) {
        uint32_t*& b = rows_[size_t(r)];
        const uint32_t len = uint32_t(v.size());
        if (!b) {
            if (len == 0) return;
            b = make(uint32_t(std::max(slotsHint, c + 1)), std::max<uint32_t>(len, 8));
        } else if (uint32_t(c) >= b[0]) {
            if (len == 0) return;
            b = widen(b, uint32_t(c + 1));
        }
        const uint32_t nslots = b[0];
        uint32_t* ends = b + 2;
        const uint32_t start = c ? ends[c - 1] : 0;
        const uint32_t end = ends[c];
        const uint32_t total = ends[nslots - 1];
        const long long delta = (long long)len - (long long)(end - start);
        if (delta > 0 && total + delta > b[1]) {
            uint32_t cap = std::max<uint32_t>(uint32_t(total + delta), b[1] + b[1] / 2 + 8);
            void* grown = std::realloc(b, bytes(nslots, cap));
            assert(grown && "cell text allocation failed");
            b = static_cast<uint32_t*>(grown);
            b[1] = cap;
            ends = b + 2;
        }
        char16_t* t = text(b);
        if (delta != 0 && total > end)
            std::memmove(t + end + delta, t + end, size_t(total - end) * sizeof(char16_t));
        if (len) std::memcpy(t + start, v.utf16(), size_t(len) * sizeof(char16_t));
        for (uint32_t k = uint32_t(c); k < nslots; ++k) ends[k] = uint32_t((long long)ends[k] + delta);
        if (ends[nslots - 1] == 0) {  // the row holds no text any more
            std::free(b);
            b = nullptr;
        }
    }

    // Room for units code units of text in row r, so that cells set one after another do not grow the
    // row's memory on the way. A row without text gets its block here (with slotsHint cells): call it
    // only before a write that gives the row text.
    void reserve(int r, int slotsHint, uint32_t units) {
        uint32_t*& b = rows_[size_t(r)];
        if (units == 0) return;
        if (!b) {
            b = make(uint32_t(std::max(slotsHint, 1)), units);
            return;
        }
        if (b[1] >= units) return;
        void* grown = std::realloc(b, bytes(b[0], units));
        assert(grown && "cell text allocation failed");
        b = static_cast<uint32_t*>(grown);
        b[1] = units;
    }
    // Code units of text row r holds.
    uint32_t rowText(int r) const {
        const uint32_t* b = rows_[size_t(r)];
        return b ? b[2 + b[0] - 1] : 0;
    }

    // Empties the cells of columns n and beyond.
    void truncateCols(int n) {
        for (uint32_t*& b : rows_) {
            if (!b || b[0] <= uint32_t(n)) continue;
            uint32_t keep = n > 0 ? b[2 + n - 1] : 0;
            for (uint32_t k = uint32_t(n); k < b[0]; ++k) b[2 + k] = keep;
            if (keep == 0) {
                std::free(b);
                b = nullptr;
            }
        }
    }

    // Moves column from to to in every row: each block is rebuilt once, its texts copied in the new order.
    void moveCol(int from, int to) {
        const uint32_t need = uint32_t(std::max(from, to)) + 1;
        std::vector<uint32_t> order;
        for (uint32_t*& b : rows_) {
            if (!b) continue;
            if (uint32_t(from) >= b[0] && uint32_t(to) >= b[0]) continue;  // both empty
            if (b[0] < need) b = widen(b, need);
            const uint32_t n = b[0];
            order.resize(n);
            for (uint32_t k = 0; k < n; ++k) order[k] = k;
            order.erase(order.begin() + from);
            order.insert(order.begin() + to, uint32_t(from));
            uint32_t* m = make(n, b[1]);
            const char16_t* src = text(b);
            char16_t* dst = text(m);
            uint32_t at = 0;
            for (uint32_t k = 0; k < n; ++k) {
                uint32_t c = order[k];
                uint32_t start = c ? b[2 + c - 1] : 0, end = b[2 + c];
                std::memcpy(dst + at, src + start, size_t(end - start) * 2);
                at += end - start;
                m[2 + k] = at;
            }
            std::free(b);
            b = m;
        }
    }

    // Rows first .. first + n - 1 take the blocks of rows order[k]: pointers move, texts stay put.
    void reorder(int first, const std::vector<int>& order) {
        std::vector<uint32_t*> moved(order.size());
        for (size_t k = 0; k < order.size(); ++k) moved[k] = rows_[size_t(order[k])];
        std::copy(moved.begin(), moved.end(), rows_.begin() + first);
    }

    void moveRow(int from, int to) {
        uint32_t* b = rows_[size_t(from)];
        rows_.erase(rows_.begin() + from);
        rows_.insert(rows_.begin() + to, b);
    }

private:
    static size_t bytes(uint32_t nslots, uint32_t cap) { return (2 + size_t(nslots)) * 4 + size_t(cap) * 2; }
    static char16_t* text(uint32_t* b) { return reinterpret_cast<char16_t*>(b + 2 + b[0]); }
    static const char16_t* text(const uint32_t* b) { return reinterpret_cast<const char16_t*>(b + 2 + b[0]); }
    static uint32_t* make(uint32_t nslots, uint32_t cap) {
        uint32_t* b = static_cast<uint32_t*>(std::malloc(bytes(nslots, cap)));
        assert(b && "cell text allocation failed");
        b[0] = nslots;
        b[1] = cap;
        std::memset(b + 2, 0, size_t(nslots) * 4);
        return b;
    }
    // A copy of b with more nslots (the new cells empty).
    static uint32_t* widen(uint32_t* b, uint32_t nslots) {
        uint32_t old = b[0];
        uint32_t total = b[2 + old - 1];
        uint32_t* n = make(nslots, b[1]);
        std::memcpy(n + 2, b + 2, size_t(old) * 4);
        for (uint32_t k = old; k < nslots; ++k) n[2 + k] = total;
        std::memcpy(text(n), text(b), size_t(total) * 2);
        std::free(b);
        return n;
    }

    std::vector<uint32_t*> rows_;
};
