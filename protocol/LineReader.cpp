#include "protocol/LineReader.h"

void LineReader::append(const QByteArray& bytes)
{
    if (empty_) {
        buffer_.clear();
        offset_ = scanFrom_ = 0;
        empty_ = false;
    }
    if (offset_ > 0 && (offset_ >= buffer_.size() / 2 || offset_ > (1 << 20)))
        compact();
    buffer_.append(bytes);
}

std::optional<QByteArray> LineReader::takeLine()
{
    if (const auto view = takeLineView())
        return view->toByteArray();
    return std::nullopt;
}

std::optional<QByteArrayView> LineReader::takeLineView()
{
    const qsizetype from = qMax(offset_, scanFrom_);
    const qsizetype cr = buffer_.indexOf("\r\n", from);
    if (cr < 0) {
        // A CR at the very end may still be followed by its LF in the next chunk.
        scanFrom_ = qMax(offset_, buffer_.size() - 1);
        return std::nullopt;
    }
    const QByteArrayView line(buffer_.constData() + offset_, cr - offset_);
    offset_ = cr + 2;
    scanFrom_ = offset_;
    ++taken_;
    // An emptied buffer starts again at its front (the bytes stay until the next append).
    if (offset_ == buffer_.size())
        empty_ = true;
    return line;
}

bool LineReader::hasCompleteLine() const
{
    return buffer_.indexOf("\r\n", qMax(offset_, scanFrom_)) >= 0;
}

void LineReader::clear()
{
    empty_ = false;
    buffer_ = QByteArray();  // the memory goes too: a huge reply must not stay held
    offset_ = scanFrom_ = 0;
}

qsizetype LineReader::discardPending()
{
    if (pending() == 0)
        return 0;
    qsizetype lines = 0;
    qsizetype from = offset_;
    for (;;) {
        const qsizetype cr = buffer_.indexOf("\r\n", from);
        if (cr < 0)
            break;
        ++lines;
        from = cr + 2;
    }
    if (from < buffer_.size())
        ++lines;  // a partial line
    clear();
    discarded_ += lines;
    return lines;
}

bool LineReader::partialLineTooLong(qsizetype maxBytes) const
{
    return pending() > maxBytes && !hasCompleteLine();
}

void LineReader::compact()
{
    buffer_.remove(0, offset_);
    scanFrom_ = qMax<qsizetype>(0, scanFrom_ - offset_);
    offset_ = 0;
}
