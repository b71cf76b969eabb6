#include "platform/skin.h"

#include <QApplication>
#include <QStyleFactory>

namespace {
// Group captions sit on the frame's top edge, the way the window was laid out: children start
// 16 pixels below a frame's top, which leaves no room for a caption above the edge.
const QString kGroupBoxSheet =
    QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 7px; }"
                   "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px; "
                   "padding: 0 2px; }");
} // namespace

void FusionSkin::attach()
{
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    qApp->setStyleSheet(kGroupBoxSheet);
}
