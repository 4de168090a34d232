#pragma once
// The account list of a domain in compact form: the bytes of each row, the name with its kind
// letter and the password as the server sent them (Latin-1), one row after the other, and two end
// offsets per row. A million accounts cost their own bytes and eight more each, not two strings
// and a list entry. The bytes are kept in blocks of about a megabyte (a row never split), so a
// growing list is never copied to a larger buffer; copies of a table share its data (a table is
// copied before it is changed while shared), so the tree, the printout and a sorting thread can
// hold the same list without a second copy.
//
// Also here: the tree's order of accounts (by name without regard to case, then as it stands) and
// the search in that order, on the bytes, so that neither needs a decoded string per account.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <deque>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <vector>

// One row of the account list of a domain: the name followed by its kind letter, and the password.
struct UserEntry {
    QString nameAndKind;
    QString password;
};

class AccountTable {
public:
    AccountTable() = default;
    AccountTable(std::initializer_list<UserEntry> entries);
    AccountTable(const QList<UserEntry>& entries);  // NOLINT: a list of rows reads as a table

    // Appends a row. Text outside Latin-1 cannot have come from the wire and is stored as "?".
    // A table holds at most 4 GiB of text; a row beyond that is refused (false).
    bool append(const UserEntry& entry);
    bool append(QByteArrayView nameAndKind, QByteArrayView password);
    // The same row, its name and kind letter given apart (as the reader finds them in a line).
    bool append(QByteArrayView name, QByteArrayView kind, QByteArrayView password);
    void clear();

    qsizetype size() const { return d_ ? qsizetype(d_->ends.size() / 2) : 0; }
    bool isEmpty() const { return size() == 0; }
    QByteArrayView nameAndKind(qsizetype row) const;
    QByteArrayView password(qsizetype row) const;
    UserEntry at(qsizetype row) const;

    // Calls visit(row, nameAndKind) for every row in order, walking the blocks once (faster than
    // asking for each row, which looks its block up).
    template <typename Visit>
    void forEachNameAndKind(Visit&& visit) const;

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = UserEntry;
        using difference_type = qsizetype;
        using pointer = void;
        using reference = UserEntry;
        const_iterator(const AccountTable* table, qsizetype row) : table_(table), row_(row) {}
        UserEntry operator*() const { return table_->at(row_); }
        const_iterator& operator++() { ++row_; return *this; }
        bool operator==(const const_iterator& o) const { return row_ == o.row_; }
        bool operator!=(const const_iterator& o) const { return row_ != o.row_; }

    private:
        const AccountTable* table_;
        qsizetype row_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    struct Data {
        std::vector<QByteArray> blocks;
        std::vector<quint32> blockStarts;  // the offset of each block's first byte
        quint32 total = 0;                 // bytes in all blocks
        std::deque<quint32> ends;  // per row: the end of the name and kind, then of the password
    };
    QByteArrayView bytes(quint32 from, quint32 to) const;
    std::shared_ptr<Data> d_;
};

template <typename Visit>
void AccountTable::forEachNameAndKind(Visit&& visit) const
{
    if (!d_)
        return;
    const Data& d = *d_;
    size_t block = 0;
    quint32 from = 0;
    const qsizetype rows = size();
    for (qsizetype row = 0; row < rows; ++row) {
        const quint32 to = d.ends[size_t(2 * row)];
        while (block + 1 < d.blockStarts.size() && d.blockStarts[block + 1] <= from)
            ++block;
        visit(row, QByteArrayView(d.blocks[block].constData() + (from - d.blockStarts[block]), qsizetype(to - from)));
        from = d.ends[size_t(2 * row + 1)];
    }
}

namespace Accounts {
// The account's name as the tree shows it: the row's text without its last byte (the kind letter).
// Rows with no name before the letter are not shown.
inline QByteArrayView Name(const AccountTable& table, qsizetype row)
{
    const QByteArrayView e = table.nameAndKind(row);
    return e.size() < 2 ? QByteArrayView() : e.first(e.size() - 1);
}
inline char KindLetter(const AccountTable& table, qsizetype row)
{
    const QByteArrayView e = table.nameAndKind(row);
    return e.isEmpty() ? '\0' : e.back();
}

// The tree's order of Latin-1 names: by the case-folded text, then by the text as it stands
// (the same order as comparing the decoded strings that way). Negative, zero or positive.
int Compare(QByteArrayView a, QByteArrayView b);

// The rows of the table the tree shows, in the tree's order: rows without a name are left out,
// and of a name listed twice the first row stays.
QList<quint32> DisplayOrder(const AccountTable& table);

// Which rows of the table have a name that holds the pattern, without regard to case (as
// QString::contains with Qt::CaseInsensitive decides it for the decoded name): one flag per row.
std::vector<bool> Holding(const AccountTable& table, const QString& pattern);

// The position in `order` of the account with exactly this name, or -1.
qsizetype Find(const AccountTable& table, const QList<quint32>& order, QByteArrayView name);
}  // namespace Accounts
