#include "platform/text_box.h"

#include <QTextCursor>

TextBox::TextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    connect(this, &QPlainTextEdit::textChanged, this, &TextBox::userEdited);
}

QString TextBox::text() const
{
    if (m_exactText)
        return *m_exactText;
    return toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

void TextBox::setText(const QString &text)
{
    m_settingText = true;
    setPlainText(text);
    m_settingText = false;
    m_exactText = text;
    m_endsWithCr = text.endsWith(QLatin1Char('\r'));
}

void TextBox::append(const QString &text, Caret caret)
{
    QStringView piece(text);
    if (m_endsWithCr && piece.startsWith(QLatin1Char('\n')))
        piece = piece.mid(1);
    if (!text.isEmpty())
        m_endsWithCr = text.endsWith(QLatin1Char('\r'));

    const int keptAnchor = textCursor().anchor();
    const int keptPosition = textCursor().position();
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.beginEditBlock();
    end.insertText(piece.toString());
    end.endEditBlock();

    if (caret == Caret::ToEnd) {
        moveCursor(QTextCursor::End);
    } else if (textCursor().position() != keptPosition || textCursor().anchor() != keptAnchor) {
        // A caret standing at the end would have been carried along by the insertion.
        QTextCursor restored(document());
        restored.setPosition(keptAnchor);
        restored.setPosition(keptPosition, QTextCursor::KeepAnchor);
        setTextCursor(restored);
    }
}

void TextBox::userEdited()
{
    if (!m_settingText)
        m_exactText.reset();
}
