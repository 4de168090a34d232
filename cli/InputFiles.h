#pragma once
// What tazelctl reads as data: a file named on the command line, or standard input ("-" or no
// name). Only a regular file, a pipe or a socket is data; a folder, a terminal or a device is
// refused before it is read, and a read that fails is an error, never a shorter text: an upload of
// what could not be read would replace the server's file with nothing.

#include <QByteArray>
#include <QString>

// The input's name as messages give it: the path, or "standard input".
QString InputName(const QString& path);

// Reads the whole input. False, with the message (naming the input), when it is no file of data,
// cannot be opened, or a read fails.
bool ReadWholeInput(const QString& path, QByteArray* bytes, QString* error);

// Why the open descriptor is not an input of data (a folder, a terminal, a device), or an empty
// text when it is one.
QString InputKindProblem(int fd, const QString& name);
