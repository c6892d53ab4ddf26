#pragma once

#include "platform/Prompt.h"

namespace wendmoor {

// The modal questions and notices as message boxes.
class QtPrompt final : public Prompt {
public:
    [[nodiscard]] bool askYesNo(const QString& title, const QString& text) override;
    void notice(const QString& title, const QString& text) override;
};

} // namespace wendmoor
