#pragma once

// The look of the whole application, attached once at start-up.
class Skin
{
public:
    virtual ~Skin() = default;
    virtual void attach() = 0;
};

// Qt's Fusion style: the same flat look on every desktop, independent of the user's theme.
class FusionSkin final : public Skin
{
public:
    void attach() override;
};
