#pragma once

#include <QPlainTextEdit>

#include <optional>

// A multi-line text box that keeps text exact. A document stores line breaks, not the characters
// that made them, so text set from code ("AT" CR LF, a payload with a lone LF) is remembered as it
// was given and read back unchanged until the user edits it; what the user types reads back with
// CR LF line breaks, as a module expects.
class TextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TextBox(QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);

    enum class Caret { ToEnd, Keep };
    // Adds text at the end without touching what is already there, so the cost does not grow with
    // the box. CR LF, a lone CR and a lone LF each break the line once, also when a CR LF pair is
    // split across two calls.
    void append(const QString &text, Caret caret);

private:
    void userEdited();

    std::optional<QString> m_exactText;
    bool m_settingText = false;
    bool m_endsWithCr = false;
};
