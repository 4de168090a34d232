#pragma once
// The plan: what makes a server hold a desired state, as a list of steps worked out from two states
// (what the server holds, what is wanted). Each step creates, changes or removes one thing, names
// it, says its old and new value (never a password: "(sensitive)"), and may depend on an earlier
// step (an account's details on the account's creation). Domains and accounts come first, their
// details next, custom domains after them, removals last. Nothing is removed without prune, and
// even then only inside the domains the desired state names; only what both sides state is
// compared (a state read with --accounts-only says nothing of details).
//
// The plan is shown by its lines and run by the PlanRunner; the front ends do nothing else with it.

#include <QString>
#include <QStringList>
#include <vector>

#include "session/StateModel.h"

struct PlanStep {
    enum Action { Create, Change, Destroy };
    enum Object { Domain, Account, Password, Alias, Variable, MailProc, Member, Pop3Link, CustomDomain };
    Action action = Create;
    Object object = Domain;
    QString domain;   // the domain, or the custom domain's name
    QString account;  // the account (or mailing list)
    QString item;     // the alias, the variable's name, the member's address, the link as user@server
    QString oldValue, newValue;  // as shown; empty for what has none (or is sensitive)
    bool sensitive = false;      // a password is changed: its values are never shown
    int dependsOn = -1;          // the step that must have been done first, or -1

    // What is sent:
    //  Account     the password and the kind letter ("U" or "M")
    //  Password    the new password
    //  Variable    the variables as name, value, ... : the server's, with the plan's changes up to this one
    //  Member      the access ("R" or "RW")
    //  Pop3Link    server, user, password, "APOP"/"CLR", "1"/"0" (enabled); Change with a password or
    //              authentication to change: remove and add it; with only the switch: switch it
    QStringList values;
    QString text;     // MailProc, CustomDomain: the whole file's text
    bool replaceLink = false;

    // "+ account example.com/zed (user)", "~ password example.com/bob", ...
    QString line() const;
    // What the step does, in words, for the journal and the run's rows: "add account zed@example.com".
    QString actionText() const;
    QString objectName() const;  // "account", "alias", ...
    QString target() const;      // "example.com/zed"
};

struct Plan {
    std::vector<PlanStep> steps;
    // Why the plan cannot be run at all (a value the wire cannot carry, an account without a
    // password to create it with, a kind that cannot change); empty when it can.
    QString refusal;
    int creates() const;
    int changes() const;
    int destroys() const;
    // "Plan: 2 to add, 1 to change, 0 to remove."
    QString summary() const;
};

// The plan that makes `current` (what the server holds) into `desired`. prune: what the server holds
// inside a desired domain that the desired state does not hold is removed.
Plan ComputePlan(const ServerState& current, const ServerState& desired, bool prune);

// True when the desired state names any detail of an account (aliases, variables, mailproc, members,
// POP3 links): only then must the server's details be read to compare.
bool StatesDetails(const ServerState& desired);
