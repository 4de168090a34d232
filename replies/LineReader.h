#pragma once
// Received bytes not yet cut into reply lines.
//
// Only CR LF ends a line; a lone CR or LF stays part of the line. Cutting costs time linear in the
// amount received: lines are taken from a read offset, the consumed front is dropped only now and
// then, and the search for CR LF resumes where the last one stopped, so a long line arriving in
// many small chunks is not searched again from its start. Lines of any length are read.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

class LineReader {
public:
    void append(const QByteArray& bytes);

    // The next complete line without its CR LF, or nothing while only a partial line is buffered.
    std::optional<QByteArray> takeLine();
    // The same without a copy: the view stays valid only until the reader is next changed.
    std::optional<QByteArrayView> takeLineView();

    void clear();
    bool hasCompleteLine() const;
    // Bytes buffered and not yet taken (a partial line, or lines not yet read).
    qsizetype pending() const { return buffer_.size() - offset_; }
    QByteArray pendingBytes() const { return buffer_.mid(offset_); }

private:
    void compact();

    QByteArray buffer_;
    qsizetype offset_ = 0;    // start of the first line not yet taken
    qsizetype scanFrom_ = 0;  // no CR LF starts before this position (from offset_ on)
    bool empty_ = false;      // every byte has been taken: the next append starts afresh
};
