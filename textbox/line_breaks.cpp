#include "textbox/line_breaks.h"

namespace {
bool isBreak(QChar c)
{
    return c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}
} // namespace

QString LineBreaks::normalize(QStringView piece)
{
    if (piece.isEmpty())
        return QString();
    const bool endsWithCr = piece.back() == u'\r';
    if (m_afterCr && piece.front() == u'\n')
        piece = piece.sliced(1);
    m_afterCr = endsWithCr;

    QString result(piece.size(), Qt::Uninitialized);
    QChar *out = result.data();
    for (qsizetype i = 0; i < piece.size(); ++i) {
        const QChar c = piece[i];
        if (!isBreak(c)) {
            *out++ = c;
            continue;
        }
        *out++ = u'\n';
        if (c == u'\r' && i + 1 < piece.size() && piece[i + 1] == u'\n')
            ++i;
    }
    result.truncate(out - result.constData());
    return result;
}
