#pragma once
// How the window's actions hand their scripts to the shared builders (engine/Scripts.h): the
// server of a tree node's record, and the refusal of a builder shown as the window shows it.

#include "engine/Scripts.h"

class frmMain;

// The record as it is now: a script keeps these values even if the record changes before it runs.
ScriptServer ScriptServerOf(frmMain& w, const QString& serverKey);
// True when the script was queued; otherwise its refusal is shown and nothing changes.
bool Queued(frmMain& w, const QueuedScript& script);
