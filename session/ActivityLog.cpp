#include "session/ActivityLog.h"

ActivityLog::ActivityLog(QObject* parent) : QAbstractTableModel(parent) {}

int ActivityLog::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int ActivityLog::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ActivityLog::text(int row, Column column) const
{
    if (row < 0 || row >= int(rows_.size()))
        return QString();
    const Row& r = rows_[size_t(row)];
    switch (column) {
    case TimeColumn:
        // A row of another day (from the journal) says which day.
        return r.started.date() == QDate::currentDate() ? r.started.toString(QStringLiteral("HH:mm:ss"))
                                                        : r.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case ServerColumn: return r.server;
    case KindColumn:
        return r.note ? QStringLiteral("note") : r.read ? QStringLiteral("read") : QStringLiteral("change");
    case ActionColumn: return r.action;
    case OutcomeColumn: return r.outcome;
    case ColumnCount: break;
    }
    return QString();
}

QVariant ActivityLog::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return text(index.row(), Column(index.column()));
}

QVariant ActivityLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const names[] = {"Time", "Server", "Kind", "Action", "Outcome"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

void ActivityLog::scriptStarted(const ScriptLabel& label)
{
    append({QDateTime::currentDateTime(), label.server, label.kind == ScriptLabel::Read, false,
            label.action.isEmpty() ? QStringLiteral("(unnamed action)") : label.action,
            QStringLiteral("running"), label.serial, QString(), label.session});
}

void ActivityLog::note(const QString& server, const QString& text)
{
    append({QDateTime::currentDateTime(), server, false, true, text, QString(), 0, QString(), nullptr});
}

void ActivityLog::addPast(const QDateTime& started, const QString& server, const QString& action,
                          const QString& outcome)
{
    Row row{started.toLocalTime(), server, false, false, action, outcome, 0, QString(), nullptr, true};
    append(std::move(row));
}

void ActivityLog::append(Row row)
{
    if (int(rows_.size()) >= MaxRows) {
        beginRemoveRows({}, 0, 0);
        rows_.pop_front();
        endRemoveRows();
    }
    const int at = int(rows_.size());
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
}

int ActivityLog::rowOf(const ScriptLabel& label) const
{
    // The script is the last one started; look back in case of a row without an end. Serials are
    // each session's own: two sessions at work each have a script of serial 1.
    for (int row = int(rows_.size()) - 1; row >= 0; --row) {
        const Row& r = rows_[size_t(row)];
        if (!r.note && !r.past && r.serial == label.serial && r.session == label.session)
            return row;
    }
    return -1;
}

void ActivityLog::stepEnded(const ScriptLabel& label, int mark, const ScriptOutcome& outcome)
{
    Q_UNUSED(mark)
    const int row = rowOf(label);
    if (row >= 0 && outcome.kind != ScriptOutcome::Done && rows_[size_t(row)].stepFailure.isEmpty())
        rows_[size_t(row)].stepFailure = outcome.text();
}

void ActivityLog::scriptEnded(const ScriptLabel& label, const ScriptOutcome& outcome)
{
    const int row = rowOf(label);
    QString text = outcome.text();
    if (row >= 0) {
        Row& r = rows_[size_t(row)];
        if (outcome.kind == ScriptOutcome::Done && !r.stepFailure.isEmpty())
            text = r.stepFailure;
        r.outcome = text;
        emit dataChanged(index(row, OutcomeColumn), index(row, OutcomeColumn));
    }
    emit finished(Summary(label, text));
}

QString ActivityLog::Summary(const ScriptLabel& label, const QString& outcome)
{
    const QString action = label.action.isEmpty() ? QStringLiteral("(unnamed action)") : label.action;
    return action + QStringLiteral(": ") + outcome;
}
