#include "protocol/AccountTable.h"

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

// Blocks are this large (a longer row gets a block of its own size).
static constexpr qsizetype BlockBytes = 1 << 20;

bool AccountTable::append(QByteArrayView nameAndKind, QByteArrayView password)
{
    return append(nameAndKind, {}, password);
}

bool AccountTable::append(QByteArrayView name, QByteArrayView kind, QByteArrayView password)
{
    const qsizetype nameBytes = name.size() + kind.size();
    const qsizetype rowBytes = nameBytes + password.size();
    if (!d_)
        d_ = std::make_shared<Data>();
    else if (d_.use_count() > 1)
        d_ = std::make_shared<Data>(*d_);  // shared: change a copy (the blocks' bytes stay shared)
    Data& d = *d_;
    if (qsizetype(d.total) + rowBytes > qsizetype(std::numeric_limits<quint32>::max()))
        return false;
    if (d.blocks.empty() || d.blocks.back().size() + rowBytes > d.blocks.back().capacity()) {
        d.blocks.emplace_back();
        d.blocks.back().reserve(qMax(BlockBytes, rowBytes));
        d.blockStarts.push_back(d.total);
    }
    QByteArray& block = d.blocks.back();
    block.append(name);
    block.append(kind);
    d.ends.push_back(d.total + quint32(nameBytes));
    block.append(password);
    d.total += quint32(rowBytes);
    d.ends.push_back(d.total);
    return true;
}

void AccountTable::clear()
{
    d_.reset();
}

QByteArrayView AccountTable::bytes(quint32 from, quint32 to) const
{
    // The block holding the row: the last one starting at or before it.
    const auto& starts = d_->blockStarts;
    const size_t block = size_t(std::upper_bound(starts.begin(), starts.end(), from) - starts.begin()) - 1;
    return QByteArrayView(d_->blocks[block].constData() + (from - starts[block]), qsizetype(to - from));
}

QByteArrayView AccountTable::nameAndKind(qsizetype row) const
{
    const auto& ends = d_->ends;
    const quint32 to = ends[size_t(2 * row)];
    const quint32 from = row == 0 ? 0 : ends[size_t(2 * row - 1)];
    return from == to ? QByteArrayView() : bytes(from, to);
}

QByteArrayView AccountTable::password(qsizetype row) const
{
    const auto& ends = d_->ends;
    const quint32 from = ends[size_t(2 * row)], to = ends[size_t(2 * row + 1)];
    return from == to ? QByteArrayView() : bytes(from, to);
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

std::vector<bool> Accounts::Holding(const AccountTable& table, const QString& pattern)
{
    std::vector<bool> holds(size_t(table.size()), pattern.isEmpty());
    if (pattern.isEmpty())
        return holds;
    // Per position of the pattern, which bytes fold to its character there: a name is then matched
    // with one table look-up per byte compared.
    // Each character is folded on its own, as the case-insensitive comparison of strings does.
    const qsizetype m = pattern.size();
    const auto& fold = FoldTable();
    std::vector<std::array<bool, 256>> matches(static_cast<size_t>(m));
    for (qsizetype j = 0; j < m; ++j) {
        const char16_t wanted = pattern.at(j).toCaseFolded().unicode();
        for (int c = 0; c < 256; ++c)
            matches[size_t(j)][size_t(c)] = fold[size_t(c)] == wanted;
    }
    const std::array<bool, 256>& first = matches[0];
    table.forEachNameAndKind([&](qsizetype row, QByteArrayView nameAndKind) {
        const qsizetype n = nameAndKind.size() - 1;  // without the kind letter
        const auto* name = reinterpret_cast<const uchar*>(nameAndKind.data());
        for (qsizetype i = 0; i + m <= n; ++i) {
            if (!first[name[i]])
                continue;
            qsizetype j = 1;
            while (j < m && matches[size_t(j)][name[i + j]])
                ++j;
            if (j == m) {
                holds[size_t(row)] = true;
                return;
            }
        }
    });
    return holds;
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
