#pragma once
// How the window's actions hand their scripts to the shared builders (session/Scripts.h): the
// server of a tree node's record, and the refusal of a builder shown as the window shows it.

#include "session/Scripts.h"

class frmMain;

// The record as it is now: a script keeps these values even if the record changes before it runs.
// Its password is the one in memory, or none while the keyring's has not arrived.
ScriptServer ScriptServerOf(frmMain& w, const QString& serverKey);
// A script queued for that server without its password waits for it (or is dropped with the
// reason when it cannot be had).
void HoldForPassword(frmMain& w, const ScriptServer& server, quint64 serial);
// True when the script was queued (and waits for its password if need be); otherwise its refusal
// is shown and nothing changes.
bool Queued(frmMain& w, const ScriptServer& server, const QueuedScript& script);
