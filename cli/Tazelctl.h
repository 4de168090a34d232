#pragma once
// tazelctl: every action of the window from the command line. main() hands its arguments here.

#include <QStringList>

int RunTazelctl(const QStringList& arguments);
