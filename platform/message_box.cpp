#include "platform/message_box.h"

#include <QMessageBox>

void QtMessageBox::show(const QString &text, Icon icon)
{
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::Critical,
                    QStringLiteral("提示"), text, QMessageBox::Ok, m_owner());
    box.exec();
}
