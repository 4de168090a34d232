#pragma once
// The account list of a domain in compact form: one byte array holding, row after row, the name
// with its kind letter and the password as the server sent them (Latin-1), and two end offsets per
// row. A million accounts cost their own bytes and eight more each, not two strings and a list
// entry. Copies share the bytes (implicit sharing), so the tree and the printout can hold the same
// list without a second copy.
//
// Also here: the tree's order of accounts (by name without regard to case, then as it stands) and
// the search in that order, on the bytes, so that neither needs a decoded string per account.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <initializer_list>
#include <iterator>

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
    void clear();

    qsizetype size() const { return ends_.size() / 2; }
    bool isEmpty() const { return ends_.isEmpty(); }
    QByteArrayView nameAndKind(qsizetype row) const;
    QByteArrayView password(qsizetype row) const;
    UserEntry at(qsizetype row) const;
    // Bytes held (text and offsets), for the benchmark's account of memory.
    qsizetype byteSize() const { return bytes_.capacity() + ends_.capacity() * qsizetype(sizeof(quint32)); }

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
    QByteArray bytes_;
    QList<quint32> ends_;  // per row: the end of the name and kind, then the end of the password
};

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

// The position in `order` of the account with exactly this name, or -1.
qsizetype Find(const AccountTable& table, const QList<quint32>& order, QByteArrayView name);
}  // namespace Accounts
