#pragma once
// Reading and filling the list and text controls the way the files and scripts need them.

#include <QString>
#include <QStringList>

class QListWidget;
class QPlainTextEdit;

QStringList ListItems(const QListWidget* list);
// The row of the list's selected entry, or -1 when none is selected.
int SelectedRow(const QListWidget* list);
// The text of a multi-line box exactly as it stands, lines ended by "\n". (The box's plain text
// would turn a no-break space into a space, and a saved file must hold what the server sent.)
QString BoxText(const QPlainTextEdit* box);
void AppendToBox(QPlainTextEdit* box, const QString& text);
