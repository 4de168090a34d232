#pragma once
// The steps of a script: what the driver does for each pseudo-command.
//
// A local step runs at once and the driver goes on with the next entry; a request step sends one
// request line and waits for its reply. The table gives, per pseudo-command, the arguments it takes
// from the queue, the progress text shown before it acts, the value it stores into CurrentCommand
// (so the reply reader knows what to expect) and, for requests, the command word on the wire.

#include <QString>

struct Step {
    enum Kind { Local, Request };
    QString entry;     // the pseudo-command
    Kind kind;
    int arguments;     // fixed arguments taken from the queue ("<%uservarsset%>" then takes pairs)
    QString status;    // progress text; empty leaves the status bar as it is
    QString current;   // CurrentCommand while it runs; empty leaves it as it is
    QString word;      // the command word sent (requests)
};

// The row of a pseudo-command, or null for an entry that is no step.
const Step* FindStep(const QString& entry);
