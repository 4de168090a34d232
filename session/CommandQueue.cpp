#include "session/CommandQueue.h"

void CommandQueue::pushCommand(const QString& pseudoCommand, int mark)
{
    entries_.push_back({QueueEntry::Command, pseudoCommand, mark});
    if (pseudoCommand == Pseudo::Quit) {
        ++quitCount_;
        if (pending_.serial == 0)
            pending_.serial = ++serial_;
        labels_.push_back(std::move(pending_));
        pending_ = ScriptLabel();
    }
}

quint64 CommandQueue::labelNextScript(const ScriptLabel& label)
{
    pending_ = label;
    pending_.serial = ++serial_;
    return pending_.serial;
}

std::pair<size_t, size_t> CommandQueue::rangeOf(quint64 serial) const
{
    size_t begin = 0;
    size_t script = 0;
    for (size_t i = 0; i < entries_.size() && script < labels_.size(); ++i) {
        if (!entries_[i].isCommand(Pseudo::Quit))
            continue;
        if (labels_[script].serial == serial)
            return {begin, i + 1};
        begin = i + 1;
        ++script;
    }
    return {0, 0};
}

bool CommandQueue::holdsScript(quint64 serial) const
{
    const auto [begin, end] = rangeOf(serial);
    return end > begin;
}

bool CommandQueue::setArgumentOf(quint64 serial, const QString& pseudoCommand, int argument,
                                 const QString& value)
{
    const auto [begin, end] = rangeOf(serial);
    for (size_t i = begin; i < end; ++i) {
        if (!entries_[i].isCommand(pseudoCommand))
            continue;
        const size_t at = i + 1 + size_t(argument);
        if (at >= end || entries_[at].kind != QueueEntry::Argument)
            return false;
        entries_[at].text = value;
        return true;
    }
    return false;
}

ScriptLabel CommandQueue::headLabel() const
{
    return labels_.empty() ? ScriptLabel() : labels_.front();
}

void CommandQueue::pushArgument(const QString& value)
{
    entries_.push_back({QueueEntry::Argument, value});
}

void CommandQueue::pushEndMarker()
{
    entries_.push_back({QueueEntry::EndMarker, Pseudo::EndOfPairs});
}

QueueEntry CommandQueue::take()
{
    if (entries_.empty())
        return {QueueEntry::Command, Pseudo::Null};
    QueueEntry head = std::move(entries_.front());
    entries_.pop_front();
    if (head.isCommand(Pseudo::Quit)) {
        --quitCount_;
        labels_.pop_front();
    }
    return head;
}

void CommandQueue::clear()
{
    entries_.clear();
    labels_.clear();
    pending_ = ScriptLabel();
    quitCount_ = 0;
}
