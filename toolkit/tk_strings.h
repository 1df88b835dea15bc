// TStrings and TStringList: the toolkit's string lists.
//
// TStrings is the interface (a list of texts, each with an optional object pointer that the list does
// not own); TStringList stores its texts itself; the grid hands out TStrings views of its rows and
// columns that read and write the cells directly.
//
// Property form used throughout the layer: a property P is read by P() and written by SetP(v); indexed
// properties take the index first (Strings(i), SetStrings(i, s)). Indexes out of range are forgiven:
// reads give an empty text or null, writes do nothing.
//
// Text() joins the lines with "\n" and ends each with it; SetText() accepts "\n", "\r\n" and "\r".
// Names and values follow the "name=value" line form.
#pragma once

#include "toolkit/tk_types.h"

#include <QString>
#include <QStringList>
#include <vector>

class TStrings {
public:
    virtual ~TStrings() = default;

    virtual int Count() const = 0;
    virtual QString Strings(int i) const = 0;
    virtual void SetStrings(int i, const QString& s) = 0;
    virtual void* Objects(int) const { return nullptr; }
    virtual void SetObjects(int, void*) {}
    virtual void Clear() = 0;
    // Inserts before index i (0 <= i <= Count()); out of range does nothing.
    virtual void Insert(int i, const QString& s) = 0;
    virtual void Delete(int i) = 0;
    // Appends and returns the index of the new line (-1 when the list takes no new lines).
    virtual int Add(const QString& s);
    virtual int AddObject(const QString& s, void* obj);
    virtual int IndexOf(const QString& s) const;
    virtual void Exchange(int a, int b);
    virtual void Move(int from, int to);
    // Inserts s after the last line that does not order after it (case ignored), so equal lines keep
    // their adding order; returns its index. The sorted lists of widget-backed strings use it.
    int InsertSortedCaseless(const QString& s);
    virtual void BeginUpdate() { ++updateCount_; }
    virtual void EndUpdate() { if (updateCount_ > 0) --updateCount_; }

    int GetCount() const { return Count(); }
    QString operator[](int i) const { return Strings(i); }
    int IndexOfObject(void* obj) const;
    void AddStrings(const TStrings* other);
    // Replaces this list's lines and objects by other's (null clears).
    virtual void Assign(const TStrings* other);
    QString Text() const;
    void SetText(const QString& text);
    // Comma form: lines joined by ","; lines holding a comma, a blank or a quote are quoted with '"'.
    QString CommaText() const;
    void SetCommaText(const QString& text);
    QString Names(int i) const;
    QString Values(const QString& name) const;
    void SetValues(const QString& name, const QString& value);
    QString ValueFromIndex(int i) const;
    int IndexOfName(const QString& name) const;
    QStringList toQStringList() const;
    void fromQStringList(const QStringList& l);

protected:
    int updateCount_ = 0;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
public:
    TStringList() = default;
    explicit TStringList(const QStringList& l) { fromQStringList(l); }

    int Count() const override { return int(items_.size()); }
    QString Strings(int i) const override;
    void SetStrings(int i, const QString& s) override;
    void* Objects(int i) const override;
    void SetObjects(int i, void* obj) override;
    void Clear() override;
    void Insert(int i, const QString& s) override;
    void Delete(int i) override;
    // A sorted list puts the line in its place; duplicates follow Duplicates().
    int Add(const QString& s) override;
    int AddObject(const QString& s, void* obj) override;
    int IndexOf(const QString& s) const override;
    void Exchange(int a, int b) override;
    void EndUpdate() override;

    bool Sorted() const { return sorted_; }
    void SetSorted(bool on);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates d) { duplicates_ = d; }
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool on);
    void Sort();
    // Sorts with a comparison of two indexes (<0, 0, >0), as the toolkit's CustomSort.
    void CustomSort(int (*compare)(TStringList* list, int a, int b));
    // In a sorted list: true when s is present; index is where it is or would be inserted.
    bool Find(const QString& s, int& index) const;

    TNotifyEvent OnChange;

private:
    struct Item {
        QString text;
        void* obj = nullptr;
    };
    int compare(const QString& a, const QString& b) const;
    void changed();

    std::vector<Item> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    bool pendingChange_ = false;
    TDuplicates duplicates_ = dupIgnore;
};
