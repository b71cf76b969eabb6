#include "platform/skin.h"

#include <QApplication>
#include <QStyleFactory>

void FusionSkin::attach()
{
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
}
