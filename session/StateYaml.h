#pragma once
// The state file: a server's state (session/StateModel.h) as YAML and back, through yaml-cpp.
// The form is described in docs/state-format.md. Written in the model's fixed order, so two dumps
// of the same state are the same bytes; read strictly: a key the form does not know, a value of the
// wrong kind or a name given twice is refused with its line and column, and nothing is read.

#include <QByteArray>
#include <QString>

#include "session/StateModel.h"

namespace StateYaml {

// The file's text (UTF-8). The state is written as it stands: sort it first for the fixed order.
QByteArray Write(const ServerState& state);

struct ReadError {
    int line = 0;    // 1-based; 0 when the error has no place
    int column = 0;  // 1-based
    QString text;    // what is wrong, naming the key or the value
    QString where() const;  // "line 3, column 5"
};

// False with the error when the text is not a state file; the state is then left empty.
bool Read(const QByteArray& text, ServerState* state, ReadError* error);

}  // namespace StateYaml
