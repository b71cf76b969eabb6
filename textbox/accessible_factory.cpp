#include "textbox/accessible_factory.h"

#include "textbox/text_box.h"
#include "textbox/text_box_accessible.h"

namespace {
QAccessibleInterface *createFor(const QString &className, QObject *object)
{
    if (className == QLatin1String("TextBox") && object && object->isWidgetType())
        return new TextBoxAccessible(static_cast<TextBox *>(object));
    return nullptr;
}
} // namespace

void installTextBoxAccessibility()
{
    static const bool installed = (QAccessible::installFactory(&createFor), true);
    Q_UNUSED(installed);
}
