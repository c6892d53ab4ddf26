#pragma once

#include <QString>

namespace wendmoor {

// Questions and notices that must be dealt with at once: modal message boxes.
class Prompt {
public:
    virtual ~Prompt() = default;
    // Yes and No buttons, No the default (what Enter answers); true for Yes.
    [[nodiscard]] virtual bool askYesNo(const QString& title, const QString& text) = 0;
    // An OK button only, no icon.
    virtual void notice(const QString& title, const QString& text) = 0;
};

} // namespace wendmoor
