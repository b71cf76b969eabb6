#pragma once

#include "platform/message_box.h"

#include <QString>

// A modal question with a title, a prompt of one or more lines and an editable default answer.
// OK returns the answer as edited; Cancel or closing the box returns an empty string.
class InputBox
{
public:
    virtual ~InputBox() = default;
    virtual QString ask(const QString &prompt, const QString &title, const QString &defaultAnswer) = 0;
};

class QtInputBox final : public InputBox
{
public:
    explicit QtInputBox(DialogOwner owner) : m_owner(std::move(owner)) {}
    QString ask(const QString &prompt, const QString &title, const QString &defaultAnswer) override;

private:
    DialogOwner m_owner;
};
