#include "replies/AccountTable.h"

#include <QChar>
#include <algorithm>
#include <array>
#include <limits>

AccountTable::AccountTable(std::initializer_list<UserEntry> entries)
{
    for (const UserEntry& e : entries)
        append(e);
}

AccountTable::AccountTable(const QList<UserEntry>& entries)
{
    for (const UserEntry& e : entries)
        append(e);
}

bool AccountTable::append(const UserEntry& entry)
{
    return append(entry.nameAndKind.toLatin1(), entry.password.toLatin1());
}

bool AccountTable::append(QByteArrayView nameAndKind, QByteArrayView password)
{
    const qsizetype end = bytes_.size() + nameAndKind.size() + password.size();
    if (end > qsizetype(std::numeric_limits<quint32>::max()))
        return false;
    bytes_.append(nameAndKind);
    ends_.append(quint32(bytes_.size()));
    bytes_.append(password);
    ends_.append(quint32(bytes_.size()));
    return true;
}

void AccountTable::clear()
{
    bytes_ = QByteArray();
    ends_ = QList<quint32>();
}

QByteArrayView AccountTable::nameAndKind(qsizetype row) const
{
    const quint32 from = row == 0 ? 0 : ends_.at(2 * row - 1);
    return QByteArrayView(bytes_.constData() + from, ends_.at(2 * row) - from);
}

QByteArrayView AccountTable::password(qsizetype row) const
{
    const quint32 from = ends_.at(2 * row);
    return QByteArrayView(bytes_.constData() + from, ends_.at(2 * row + 1) - from);
}

UserEntry AccountTable::at(qsizetype row) const
{
    return {QString::fromLatin1(nameAndKind(row)), QString::fromLatin1(password(row))};
}

namespace {

// Each Latin-1 character case-folded as QString::toCaseFolded folds it (one character to one:
// the micro sign folds to the Greek mu, outside Latin-1, which is why the table is 16-bit).
const std::array<char16_t, 256>& FoldTable()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int c = 0; c < 256; ++c)
            t[size_t(c)] = QChar(char16_t(c)).toCaseFolded().unicode();
        return t;
    }();
    return table;
}

}  // namespace

int Accounts::Compare(QByteArrayView a, QByteArrayView b)
{
    const auto& fold = FoldTable();
    const qsizetype n = std::min(a.size(), b.size());
    int raw = 0;  // the first difference as the bytes stand, for names equal when folded
    for (qsizetype i = 0; i < n; ++i) {
        const uchar x = uchar(a[i]), y = uchar(b[i]);
        if (x == y)
            continue;
        const char16_t fx = fold[x], fy = fold[y];
        if (fx != fy)
            return fx < fy ? -1 : 1;
        if (raw == 0)
            raw = x < y ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return raw;
}

QList<quint32> Accounts::DisplayOrder(const AccountTable& table)
{
    QList<quint32> order;
    order.reserve(table.size());
    for (qsizetype row = 0; row < table.size(); ++row)
        if (!Name(table, row).isEmpty())
            order.append(quint32(row));
    // Ties go to the earlier row, so the first of a name listed twice comes first.
    const auto less = [&table](quint32 x, quint32 y) {
        const int c = Compare(Name(table, x), Name(table, y));
        return c != 0 ? c < 0 : x < y;
    };
    if (!std::is_sorted(order.begin(), order.end(), less))  // servers mostly list in order
        std::sort(order.begin(), order.end(), less);
    order.erase(std::unique(order.begin(), order.end(),
                            [&table](quint32 x, quint32 y) { return Name(table, x) == Name(table, y); }),
                order.end());
    order.squeeze();
    return order;
}

qsizetype Accounts::Find(const AccountTable& table, const QList<quint32>& order, QByteArrayView name)
{
    const auto it = std::lower_bound(order.begin(), order.end(), name, [&table](quint32 row, QByteArrayView n) {
        return Compare(Name(table, row), n) < 0;
    });
    if (it == order.end() || Name(table, *it) != name)
        return -1;
    return it - order.begin();
}
