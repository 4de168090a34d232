#include "engine/CommandQueue.h"

void CommandQueue::pushCommand(const QString& pseudoCommand)
{
    entries_.push_back({QueueEntry::Command, pseudoCommand});
    if (pseudoCommand == Pseudo::Quit)
        ++quitCount_;
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
    if (head.isCommand(Pseudo::Quit))
        --quitCount_;
    return head;
}

void CommandQueue::clear()
{
    entries_.clear();
    quitCount_ = 0;
}
