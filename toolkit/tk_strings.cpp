// TStrings helpers and TStringList.
#include "toolkit/tk_strings.h"

#include <algorithm>

int TStrings::Add(const QString& s) {
    int n = Count();
    Insert(n, s);
    return Count() > n ? n : -1;
}

int TStrings::AddObject(const QString& s, void* obj) {
    int i = Add(s);
    if (i >= 0) SetObjects(i, obj);
    return i;
}

int TStrings::IndexOf(const QString& s) const {
    for (int i = 0, n = Count(); i < n; ++i)
        if (Strings(i).compare(s, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

int TStrings::IndexOfObject(void* obj) const {
    for (int i = 0, n = Count(); i < n; ++i)
        if (Objects(i) == obj) return i;
    return -1;
}

void TStrings::Exchange(int a, int b) {
    int n = Count();
    if (a < 0 || b < 0 || a >= n || b >= n || a == b) return;
    QString sa = Strings(a);
    void* oa = Objects(a);
    SetStrings(a, Strings(b));
    SetObjects(a, Objects(b));
    SetStrings(b, sa);
    SetObjects(b, oa);
}

void TStrings::Move(int from, int to) {
    int n = Count();
    if (from < 0 || to < 0 || from >= n || to >= n || from == to) return;
    QString s = Strings(from);
    void* o = Objects(from);
    Delete(from);
    Insert(to, s);
    SetObjects(to, o);
}

void TStrings::AddStrings(const TStrings* other) {
    if (!other || other == this) return;
    BeginUpdate();
    for (int i = 0, n = other->Count(); i < n; ++i) AddObject(other->Strings(i), other->Objects(i));
    EndUpdate();
}

void TStrings::Assign(const TStrings* other) {
    if (other == this) return;
    BeginUpdate();
    Clear();
    if (other) AddStrings(other);
    EndUpdate();
}

QString TStrings::Text() const {
    QString out;
    for (int i = 0, n = Count(); i < n; ++i) {
        out += Strings(i);
        out += u'\n';
    }
    return out;
}

void TStrings::SetText(const QString& text) {
    BeginUpdate();
    Clear();
    int start = 0;
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        QChar c = text[i];
        if (c == u'\n' || c == u'\r') {
            Add(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
            start = i + 1;
        }
    }
    if (start < n) Add(text.mid(start));
    EndUpdate();
}

QString TStrings::CommaText() const {
    QString out;
    for (int i = 0, n = Count(); i < n; ++i) {
        if (i) out += u',';
        QString s = Strings(i);
        bool quote = s.isEmpty() || s.contains(u',') || s.contains(u' ') || s.contains(u'"');
        if (quote) {
            s.replace(QStringLiteral("\""), QStringLiteral("\"\""));
            out += u'"' + s + u'"';
        } else {
            out += s;
        }
    }
    return out;
}

void TStrings::SetCommaText(const QString& text) {
    BeginUpdate();
    Clear();
    const int n = text.size();
    int i = 0;
    while (n > 0 && i <= n) {
        QString item;
        if (i < n && text[i] == u'"') {
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') { item += u'"'; i += 2; continue; }
                    ++i;
                    break;
                }
                item += text[i++];
            }
            while (i < n && text[i] != u',') ++i;  // anything after the closing quote up to the comma
        } else {
            int start = i;
            while (i < n && text[i] != u',') ++i;
            item = text.mid(start, i - start);
        }
        Add(item);
        ++i;  // past the comma (or the end)
        if (i == n && n > 0 && text[n - 1] == u',') { Add(QString()); break; }
    }
    EndUpdate();
}

QString TStrings::Names(int i) const {
    QString s = Strings(i);
    int eq = s.indexOf(u'=');
    return eq < 0 ? QString() : s.left(eq);
}

QString TStrings::ValueFromIndex(int i) const {
    QString s = Strings(i);
    int eq = s.indexOf(u'=');
    return eq < 0 ? QString() : s.mid(eq + 1);
}

int TStrings::IndexOfName(const QString& name) const {
    for (int i = 0, n = Count(); i < n; ++i) {
        QString s = Strings(i);
        int eq = s.indexOf(u'=');
        if (eq >= 0 && QStringView(s).left(eq).compare(name, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

QString TStrings::Values(const QString& name) const {
    int i = IndexOfName(name);
    return i < 0 ? QString() : ValueFromIndex(i);
}

void TStrings::SetValues(const QString& name, const QString& value) {
    int i = IndexOfName(name);
    if (value.isEmpty()) {
        if (i >= 0) Delete(i);
        return;
    }
    if (i < 0) Add(name + u'=' + value);
    else SetStrings(i, name + u'=' + value);
}

QStringList TStrings::toQStringList() const {
    QStringList l;
    l.reserve(Count());
    for (int i = 0, n = Count(); i < n; ++i) l << Strings(i);
    return l;
}

void TStrings::fromQStringList(const QStringList& l) {
    BeginUpdate();
    Clear();
    for (const QString& s : l) Add(s);
    EndUpdate();
}

// ---------------------------------------------------------------------------------------- TStringList

int TStringList::compare(const QString& a, const QString& b) const {
    return a.compare(b, caseSensitive_ ? Qt::CaseSensitive : Qt::CaseInsensitive);
}

void TStringList::changed() {
    if (updateCount_ > 0) {
        pendingChange_ = true;
        return;
    }
    pendingChange_ = false;
    if (OnChange) OnChange(nullptr);
}

void TStringList::EndUpdate() {
    TStrings::EndUpdate();
    if (updateCount_ == 0 && pendingChange_) changed();
}

QString TStringList::Strings(int i) const {
    if (i < 0 || i >= Count()) return QString();
    return items_[size_t(i)].text;
}

void TStringList::SetStrings(int i, const QString& s) {
    if (i < 0 || i >= Count()) return;
    items_[size_t(i)].text = s;
    changed();
}

void* TStringList::Objects(int i) const {
    if (i < 0 || i >= Count()) return nullptr;
    return items_[size_t(i)].obj;
}

void TStringList::SetObjects(int i, void* obj) {
    if (i < 0 || i >= Count()) return;
    items_[size_t(i)].obj = obj;
}

void TStringList::Clear() {
    if (items_.empty()) return;
    items_.clear();
    changed();
}

void TStringList::Insert(int i, const QString& s) {
    if (i < 0 || i > Count()) return;
    items_.insert(items_.begin() + i, Item{s, nullptr});
    changed();
}

void TStringList::Delete(int i) {
    if (i < 0 || i >= Count()) return;
    items_.erase(items_.begin() + i);
    changed();
}

int TStringList::Add(const QString& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const QString& s, void* obj) {
    int at = Count();
    if (sorted_) {
        if (Find(s, at)) {
            if (duplicates_ == dupIgnore || duplicates_ == dupError) return duplicates_ == dupIgnore ? at : -1;
            while (at < Count() && compare(items_[size_t(at)].text, s) == 0) ++at;
        }
    }
    items_.insert(items_.begin() + at, Item{s, obj});
    changed();
    return at;
}

int TStringList::IndexOf(const QString& s) const {
    if (sorted_) {
        int i = 0;
        return Find(s, i) ? i : -1;
    }
    for (int i = 0, n = Count(); i < n; ++i)
        if (compare(items_[size_t(i)].text, s) == 0) return i;
    return -1;
}

void TStringList::Exchange(int a, int b) {
    if (a < 0 || b < 0 || a >= Count() || b >= Count() || a == b) return;
    std::swap(items_[size_t(a)], items_[size_t(b)]);
    changed();
}

void TStringList::SetSorted(bool on) {
    if (on == sorted_) return;
    sorted_ = on;
    if (on) Sort();
}

void TStringList::SetCaseSensitive(bool on) {
    if (on == caseSensitive_) return;
    caseSensitive_ = on;
    if (sorted_) Sort();
}

void TStringList::Sort() {
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const Item& a, const Item& b) { return compare(a.text, b.text) < 0; });
    changed();
}

void TStringList::CustomSort(int (*cmp)(TStringList* list, int a, int b)) {
    if (!cmp || Count() < 2) return;
    // The comparison reads the list by index, so sort a permutation and apply it at the end.
    std::vector<int> order(items_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return cmp(this, a, b) < 0; });
    std::vector<Item> next;
    next.reserve(items_.size());
    for (int i : order) next.push_back(std::move(items_[size_t(i)]));
    items_.swap(next);
    changed();
}

bool TStringList::Find(const QString& s, int& index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = compare(items_[size_t(mid)].text, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (duplicates_ != dupAccept) lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

int TStrings::InsertSortedCaseless(const QString& s) {
    int lo = 0, hi = Count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (QString::compare(Strings(mid), s, Qt::CaseInsensitive) <= 0) lo = mid + 1; else hi = mid;
    }
    Insert(lo, s);
    return lo;
}
