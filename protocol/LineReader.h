#pragma once
// Received bytes not yet cut into reply lines.
//
// Only CR LF ends a line; a lone CR or LF stays part of the line. Cutting costs time linear in the
// amount received: lines are taken from a read offset, the consumed front is dropped only now and
// then, and the search for CR LF resumes where the last one stopped, so a long line arriving in
// many small chunks is not searched again from its start. The reader itself takes lines of any
// length; its owner caps them (see partialLineTooLong).

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

    // Empties the reader and lets go of its memory.
    void clear();
    // Drops everything buffered and not yet taken (lines no request asked for) and returns how many
    // lines that was, a partial line counting as one. The total is kept in discardedLines().
    qsizetype discardPending();
    qsizetype discardedLines() const { return discarded_; }
    // Lines taken so far, over the reader's life.
    qsizetype takenLines() const { return taken_; }
    bool hasCompleteLine() const;
    // True when no complete line is buffered and the partial line is longer than maxBytes.
    bool partialLineTooLong(qsizetype maxBytes) const;
    // Bytes buffered and not yet taken (a partial line, or lines not yet read).
    qsizetype pending() const { return buffer_.size() - offset_; }
    QByteArray pendingBytes() const { return buffer_.mid(offset_); }

private:
    void compact();

    QByteArray buffer_;
    qsizetype offset_ = 0;    // start of the first line not yet taken
    qsizetype scanFrom_ = 0;  // no CR LF starts before this position (from offset_ on)
    bool empty_ = false;      // every byte has been taken: the next append starts afresh
    qsizetype taken_ = 0;
    qsizetype discarded_ = 0; // lines dropped by discardPending, over the reader's life
};
