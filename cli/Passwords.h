#pragma once
// Where tazelctl's passwords come from: never the command line. The administrator password of a
// server given with --host comes from --password-file, TAZEL_PASSWORD or a prompt; a new account
// or link password from standard input (--password-stdin) or a prompt typed twice. Prompts read the
// terminal itself with echo off, so standard input stays free for data.

#include <QString>

// The first line of the file, without its line end. False (and why) when it cannot be read.
bool ReadPasswordFile(const QString& path, QString* password, QString* error);
// The first line of standard input, without its line end (at most 64 KiB). False, with the
// message and the exit code, when standard input cannot be read or the line is longer.
bool ReadPasswordStdin(QString* password, QString* error, int* exitCode);
// Asks on the terminal without echo; false when there is no terminal to ask on.
bool PromptPassword(const QString& prompt, QString* password, QString* error);
// Asks twice; false when there is no terminal or the two differ (*mismatch set).
bool PromptNewPassword(const QString& what, QString* password, bool* mismatch, QString* error);
