#include "engine/CommandQueue.h"

void CommandQueue::pushCommand(const QString& pseudoCommand, int mark)
{
    entries_.push_back({QueueEntry::Command, pseudoCommand, mark});
    if (pseudoCommand == Pseudo::Quit) {
        ++quitCount_;
        pending_.serial = ++serial_;
        labels_.push_back(std::move(pending_));
        pending_ = ScriptLabel();
    }
}

void CommandQueue::labelNextScript(const ScriptLabel& label)
{
    pending_ = label;
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
