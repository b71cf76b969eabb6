#pragma once

#include <QString>

// A modal notice with an OK button only; every notice of the program has the title "提示".
class MessageBox
{
public:
    enum class Icon { Warning, Error };

    virtual ~MessageBox() = default;
    virtual void show(const QString &text, Icon icon) = 0;
};

class QtMessageBox final : public MessageBox
{
public:
    void show(const QString &text, Icon icon) override;
};
