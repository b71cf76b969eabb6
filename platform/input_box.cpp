#include "platform/input_box.h"

#include <QInputDialog>
#include <QLineEdit>

#include <limits>

QString QtInputBox::ask(const QString &prompt, const QString &title, const QString &defaultAnswer)
{
    QInputDialog dialog(m_owner());
    dialog.setWindowTitle(title);
    // Prompts break their lines with CR LF; a label wants plain line feeds.
    dialog.setLabelText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    dialog.setTextValue(defaultAnswer);
    // QLineEdit would silently cut a pasted answer at 32767 characters.
    if (auto *edit = dialog.findChild<QLineEdit *>())
        edit->setMaxLength(std::numeric_limits<int>::max());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}
